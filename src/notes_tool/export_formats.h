// The diary in the five export formats: json and csv (which import reads back), md, txt and ics.
// Every export is UTF-8 with CR LF line ends, as the notes themselves have.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "notes_tool/diary_dates.h"
#include "notes_tool/notes_scan.h"

namespace notes_tool {

enum class Format { kJson, kCsv, kMd, kTxt, kIcs };

std::optional<Format> FormatOfName(std::string_view name);

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

// A note's text up to its first line break.
std::string_view FirstLine(std::string_view text);

// The separator between an existing note and the text appended to it.
inline constexpr char kAppendSeparator[] = "\r\n----\r\n";
inline constexpr char kJsonFormatName[] = "quillidar-notes";
inline constexpr int kJsonVersion = 1;

} // namespace notes_tool
