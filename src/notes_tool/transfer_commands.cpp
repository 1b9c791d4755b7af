// export and import: a diary written out in another format, and notes of another format filed in.
#include "notes_tool/transfer_commands.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <sstream>

#include "notes_tool/diary_dates.h"
#include "notes_tool/export_formats.h"
#include "notes_tool/filing.h"
#include "notes_tool/import_formats.h"
#include "notes_tool/lunar_days.h"
#include "notes_tool/text_codec.h"

namespace notes_tool {

namespace {

Date DayOption(const ToolHost& host, const std::string& name, const std::string& value, int pivot) {
    if (const auto date = ParseDay(value, host.today, pivot)) {
        return *date;
    }
    if (const auto date = ParseLunarWords(value, host.today)) {
        return *date;
    }
    Fail("",
         name + " \"" + value +
             "\" is no day: YYYY-MM-DD, MM-DD, today, yesterday, tomorrow, -N or a six-digit key",
         kExitUsage);
}

// Entries read from the diary's bytes one at a time: an export holds the file once, plus a few
// bytes a note, whatever the size of the diary.
EntrySource SourceOf(const std::string& bytes, const std::vector<std::size_t>& offsets) {
    return {offsets.size(), [&bytes, &offsets](std::size_t i) {
                const std::string_view rest = std::string_view(bytes).substr(offsets[i]);
                return DiaryEntryAt(rest);
            }};
}

} // namespace

void SetUpExport(CLI::App& command, ExportArguments& o, int defaultPivot) {
    AddFileOption(command, o.file, "FILE");
    o.formatOption =
        command
            .add_option(
                "--format", o.format,
                "json, csv, md, txt, ics or html (default: from OUT's extension; json to standard output)")
            ->check(CLI::IsMember({"json", "csv", "md", "txt", "ics", "html"}, CLI::ignore_case));
    o.outOption =
        command.add_option("-o,--output", o.out, "the file to write (default, or -: standard output)");
    o.fromOption = command.add_option("--from", o.from, "leave out the days before this one");
    o.toOption = command.add_option("--to", o.to, "leave out the days after this one");
    AddPivotOption(command, o.pivot, defaultPivot);
}

namespace {

// --from and --to as days, refused when they leave no day between them.
ExportOptions RangeOf(const ToolHost& host, const ExportArguments& o) {
    ExportOptions options;
    options.pivot = o.pivot;
    if (GivenOption(o.fromOption)) {
        options.from = DayOption(host, "--from", o.from, o.pivot);
    }
    if (GivenOption(o.toOption)) {
        options.to = DayOption(host, "--to", o.to, o.pivot);
    }
    if (options.from && options.to && *options.from > *options.to) {
        Fail("", "--from " + o.from + " comes after --to " + o.to, kExitUsage);
    }
    return options;
}

} // namespace

void RunExport(Tool& tool, const ExportArguments& o) {
    ToolHost& host = tool.Host();
    const NamedFile source = tool.NotesFile(o.file.Given(), o.file.name);
    ExportOptions options = RangeOf(host, o);
    const bool toStandardOutput = !GivenOption(o.outOption) || o.out == "-";
    std::optional<NamedFile> target;
    if (!toStandardOutput) {
        target = tool.Named(o.out);
        tool.RefuseSame(*target, source);
    }
    std::optional<Format> format = FormatOfName(o.format);
    if (!GivenOption(o.formatOption) && !toStandardOutput) {
        // A name that says no format would otherwise get json under a name that promises another.
        format = FormatOfFileName(o.out);
        if (!format) {
            Fail(o.out,
                 "its extension names no format this tool writes (json, csv, md, txt, ics, html); give "
                 "--format",
                 kExitUsage);
        }
    }
    std::string bytes;
    const std::vector<std::size_t> offsets = tool.LoadOffsets(source, bytes);
    if (host.fixedStamp) {
        options.stamp = *host.fixedStamp;
    } else if (const auto modified = host.fs->ModifiedTime(source.path)) {
        // The file layer's times are Windows file times: 100 ns steps since 1601.
        options.stamp = static_cast<std::int64_t>(*modified / 10000000) - 11644473600;
    }
    const EntrySource entries = SourceOf(bytes, offsets);
    const Format chosen = format.value_or(Format::kJson);
    std::size_t written = 0;
    if (target) {
        tool.StreamFile(*target,
                        [&](const Sink& sink) { written = WriteExport(chosen, entries, options, sink); });
    } else {
        written = WriteExport(chosen, entries, options, tool.StandardOutput());
    }
    if (written == 0 && chosen == Format::kIcs) {
        tool.Warn(target ? target->name : "-",
                  "no notes to export; the calendar holds only an empty placeholder");
    }
}

void SetUpImport(CLI::App& command, ImportArguments& o, int defaultPivot) {
    command.add_option("IN", o.in, "the json, csv or ics file; - for standard input")->required();
    o.formatOption = command.add_option("--format", o.format, "json, csv or ics (default: from IN)")
                         ->check(CLI::IsMember({"json", "csv", "ics"}, CLI::ignore_case));
    AddFileOption(command, o.file, "--into");
    AddConflictOption(command, o.onConflict, "when the day holds another note: keep, replace or append");
    command.add_flag("--include-events", o.includeEvents,
                     "ics: also the calendar's events (all-day and timed), not only its journal entries");
    AddPivotOption(command, o.pivot, defaultPivot);
}

namespace {

std::optional<Format> ImportFormat(const ImportArguments& o, const NamedFile& source) {
    if (GivenOption(o.formatOption)) {
        return FormatOfName(o.format);
    }
    if (source.name != "-") {
        if (const auto byName = FormatOfFileName(source.name);
            byName && (*byName == Format::kJson || *byName == Format::kCsv || *byName == Format::kIcs)) {
            return byName;
        }
    }
    return std::nullopt;
}

void AppendInt32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// The diary an import files into, as the widget would load it; one it could not load whole is
// copied aside before it is replaced, as the widget does.
struct ImportTarget {
    NamedFile file;
    std::string old;
    bool existed = false;
    NotesScan scan;
    bool restoring = false; // no diary yet, or one without entries: the import is written as it is
};

ImportTarget OpenImportTarget(Tool& tool, const ImportArguments& o, const NamedFile& source) {
    ImportTarget target;
    target.file = tool.NotesFile(o.file.Given(), o.file.name);
    if (source.name != "-") {
        tool.RefuseSame(target.file, source);
    }
    tool.RefuseRunningWidget(target.file);
    const FileError error = LoadFile(*tool.Host().fs, target.file.path, target.old);
    if (error != FileError::kNone && error != FileError::kNotFound) {
        Fail(target.file.name, Reading(error));
    }
    target.existed = error == FileError::kNone;
    target.scan = ScanNotes(target.old);
    target.restoring = !target.existed || target.scan.entries.empty();
    return target;
}

// What an import brings in. Into an empty diary the notes are written as they are read: a large
// json export is never held whole, nor its notes one by one beside the file they make.
struct Incoming {
    bool restoring = false;
    std::string restored; // the new diary: its count, filled in once every note is read, then its entries
    std::size_t restoredCount = 0;
    std::vector<DiaryEntry> entries;

    void Restart() {
        restored.clear();
        AppendInt32(restored, 0);
    }
    void Take(DiaryEntry&& entry) {
        if (restoring) {
            restored += entry.stored.empty() ? WrittenEntry(entry.key, entry.text) : entry.stored;
            ++restoredCount;
        } else {
            entries.push_back(std::move(entry));
        }
    }
};

// A json file is read as it streams where the host can open one; returns whether it was.
bool ReadStreamedJson(Tool& tool, const NamedFile& source, std::optional<Format>& kind,
                      const ImportOptions& options, Incoming& incoming, std::string& why) {
    const ToolHost& host = tool.Host();
    if ((kind && *kind != Format::kJson) || source.name == "-" || !host.openInput) {
        return false;
    }
    std::unique_ptr<std::istream> in = host.openInput(source.path);
    if (!in) {
        tool.Read(source); // names why it cannot be read
        Fail(source.name, "cannot be read");
    }
    const auto first = in->peek();
    if (!kind && first != std::char_traits<char>::eof() && first == '{') {
        kind = Format::kJson;
    }
    if (kind != Format::kJson) {
        return false;
    }
    in->seekg(0, std::ios::end);
    const auto size = in->tellg();
    in->seekg(0);
    if (incoming.restoring && size > 0) {
        // The diary is never longer than its json: reserved address space costs nothing until it
        // is written, and the file then grows in place.
        incoming.restored.reserve(static_cast<std::size_t>(size));
    }
    incoming.Restart();
    why = ReadJson(*in, options, [&](DiaryEntry&& entry) { incoming.Take(std::move(entry)); });
    return true;
}

void ReadWhole(Tool& tool, const NamedFile& source, std::optional<Format>& kind, const ImportOptions& options,
               Incoming& incoming, std::string& why) {
    const std::string input = tool.ReadInput(source);
    if (!kind) {
        kind = GuessImportFormat(source.name == "-" ? "" : source.name, input);
    }
    if (!kind) {
        Fail(source.name, "is neither json, csv nor ics: only those can be imported", kExitUsage);
    }
    incoming.Restart();
    if (*kind == Format::kJson) {
        why = ReadJson(*std::make_unique<std::istringstream>(input), options,
                       [&](DiaryEntry&& entry) { incoming.Take(std::move(entry)); });
        return;
    }
    Imported imported = *kind == Format::kCsv ? ImportCsv(input, options) : ImportIcs(input, options);
    why = imported.error;
    for (DiaryEntry& entry : imported.entries) {
        incoming.Take(std::move(entry));
    }
}

// The diary's bytes once the incoming notes are in it.
std::string ImportedBytes(const ImportTarget& target, Incoming& incoming, const ImportArguments& o,
                          const NamedFile& source, FilingCounts& counts) {
    if (target.restoring) {
        counts.restored = incoming.restoredCount;
        const auto n = static_cast<std::uint32_t>(incoming.restoredCount);
        for (int i = 0; i < 4; ++i) {
            incoming.restored[static_cast<std::size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
        }
        return std::move(incoming.restored);
    }
    NoteMap shown;
    for (const StoredEntry& entry : target.scan.entries) {
        shown.Append({entry.key.value, entry.text.value});
    }
    for (std::size_t i = 0; i < incoming.entries.size(); ++i) {
        const DiaryEntry& entry = incoming.entries[i];
        if (!DateOfKey(entry.key, o.pivot) && shown.GetNote(entry.key) != entry.text) {
            Fail(source.name, "note " + std::to_string(i + 1) + ": key \"" + Utf8FromNotes(entry.key) +
                                  "\" names no day, and a note filed under it would never show");
        }
    }
    return FileNotes(DiaryEntries(target.old, target.scan.entries), incoming.entries,
                     *OnConflictOfName(o.onConflict), counts);
}

} // namespace

void RunImport(Tool& tool, const ImportArguments& o) {
    const NamedFile source = tool.Named(o.in);
    const ImportTarget target = OpenImportTarget(tool, o, source);

    ImportOptions options;
    options.pivot = o.pivot;
    // A note of no calendar day is carried back into a diary that already holds it (a diary's own
    // export imported again); filed anew it would never show, which is checked once it is read.
    options.allowUndated = true;
    options.includeEvents = o.includeEvents;
    options.localDateOf = tool.Host().localDateOf;

    Incoming incoming;
    incoming.restoring = target.restoring;
    std::optional<Format> kind = ImportFormat(o, source);
    std::string why;
    if (!ReadStreamedJson(tool, source, kind, options, incoming, why)) {
        ReadWhole(tool, source, kind, options, incoming, why);
    }
    if (!why.empty()) {
        Fail(source.name, why);
    }

    FilingCounts counts;
    const std::string bytes = ImportedBytes(target, incoming, o, source, counts);
    const std::string summary =
        target.restoring ? Count(counts.restored, "entry", "entries") + " restored into an empty diary"
                         : Filed(counts);
    // Nothing was filed: the file stays as it is, even where writing it again would change how
    // its strings are stored.
    const bool changed = counts.added + counts.replaced + counts.appended + counts.deleted > 0;
    const bool keepAside = target.existed && (target.scan.damaged || target.scan.unread > 0);
    if (target.existed && !keepAside && (bytes == target.old || (!target.restoring && !changed))) {
        tool.Out(target.file.name + ": " + summary + "; nothing changed, the file is left as it was\n");
        return;
    }
    tool.SaveDiary(target.file, bytes, target.existed, target.scan, summary);
}

} // namespace notes_tool
