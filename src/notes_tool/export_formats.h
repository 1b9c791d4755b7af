// The diary in the export formats: json and csv (which import reads back), md, txt, ics and html.
// Every export is UTF-8 with CR LF line ends, as the notes themselves have.
#pragma once

#include "diary/note_join.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ical/journal.h"
#include "notes_tool/diary_dates.h"
#include "notes_tool/notes_scan.h"

namespace notes_tool {

enum class Format { kJson, kCsv, kMd, kTxt, kIcs, kHtml };

// "json", "csv", "md", "txt", "ics" or "html", in any case.
std::optional<Format> FormatOfName(std::string_view name);
// The format a file name's extension names, in any case (".markdown", ".htm" too); nullopt for a
// name without one, or with one no format has.
std::optional<Format> FormatOfFileName(std::string_view name);

struct ExportOptions {
    int pivot = 2027;
    std::optional<Date> from; // notes of days before it are left out
    std::optional<Date> to;   // notes of days after it are left out
    std::int64_t stamp = 0;   // ics DTSTAMP, seconds since 1970-01-01 UTC
};

// json and csv keep the file's order, duplicates and blank texts included, so import gives the
// file back; md, txt and ics are in date order. A note whose key names no date is never left out:
// it comes after the dated ones, and --from/--to cannot place it.
std::string ExportNotes(Format format, const std::vector<DiaryEntry>& entries, const ExportOptions& options);

// The notes to export, read one at a time, so that a large diary is never held twice.
struct EntrySource {
    std::size_t size = 0;
    std::function<DiaryEntry(std::size_t)> at;
};
// Takes the export's bytes a piece at a time, in order.
using Sink = std::function<void(std::string_view)>;
// The same bytes as ExportNotes, handed to the sink in pieces of some 64 KiB as they are made. Returns
// the number of notes written.
std::size_t WriteExport(Format format, const EntrySource& source, const ExportOptions& options,
                        const Sink& sink);

// A JSON string of UTF-8 text, every control character escaped.
std::string JsonString(std::string_view utf8);
// Text that CommonMark and pandoc render as these very characters, line breaks included.
std::string MarkdownText(std::string_view utf8);
// A note's text up to its first line break.
using ical::FirstLine;

// The separator between an existing note and the text appended to it.
inline constexpr const char* kAppendSeparator = kNotePartSeparator;
inline constexpr char kJsonFormatName[] = "quillidar-notes";
inline constexpr int kJsonVersion = 1;

} // namespace notes_tool
