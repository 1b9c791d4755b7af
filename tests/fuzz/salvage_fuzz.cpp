// libFuzzer harness for quillidar-notes' reading of notes files: check must read every input as the
// widget's loader does, salvage must never crash and always write a file the widget loads whole,
// and a file that loads whole must come back byte for byte through a json and a csv export.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "diary/notes_file.h"
#include "notes_tool/export_formats.h"
#include "notes_tool/filing.h"
#include "notes_tool/import_formats.h"
#include "notes_tool/notes_scan.h"

using namespace notes_tool;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const NotesScan scan = ScanNotes(bytes);
    NoteMap notes;
    std::size_t unread = 0;
    const bool loads = DecodeNotes(bytes, notes, {}, &unread);
    if (loads == scan.damaged || notes.size() != scan.entries.size() || (loads && unread != scan.unread)) {
        std::abort();
    }
    std::size_t i = 0;
    for (const NoteEntry& entry : notes) {
        if (entry.m_strKey != scan.entries[i].key.value || entry.m_strText != scan.entries[i].text.value) {
            std::abort();
        }
        ++i;
    }

    const Salvaged salvaged = Salvage(bytes);
    NoteMap recovered;
    std::size_t left = 1;
    if (!DecodeNotes(salvaged.bytes, recovered, {}, &left) || left != 0 ||
        recovered.size() != scan.entries.size() + salvaged.found) {
        std::abort();
    }

    if (loads && scan.unread == 0 && scan.count >= 0 &&
        static_cast<std::size_t>(scan.count) == scan.entries.size()) {
        const std::vector<DiaryEntry> entries = DiaryEntries(bytes, scan.entries);
        ExportOptions options;
        for (const Format format : {Format::kJson, Format::kCsv}) {
            const Imported back = format == Format::kJson ? ImportJson(ExportNotes(format, entries, options))
                                                          : ImportCsv(ExportNotes(format, entries, options));
            FilingCounts counts;
            if (!back.error.empty() || FileNotes({}, back.entries, OnConflict::kKeep, counts) != bytes) {
                std::abort();
            }
        }
        for (const Format format : {Format::kMd, Format::kTxt, Format::kIcs}) {
            ExportNotes(format, entries, options);
        }
    }
    return 0;
}
