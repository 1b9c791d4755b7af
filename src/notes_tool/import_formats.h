// Reading the json, csv and iCalendar files back into notes, with the bytes their hex fields carry.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "notes_tool/diary_dates.h"
#include "notes_tool/export_formats.h"
#include "notes_tool/notes_scan.h"

namespace notes_tool {

struct ImportOptions {
    // The hundred years that end with it are the days a key can name; a date outside them would
    // be filed under the key of a day a century away, and is refused.
    int pivot = 2027;
    // A key that names no day (a damaged or foreign file's) is taken only from a note that says
    // it has no date ("date": null, an empty date cell) and only while this is true; the tool
    // allows it only into an empty diary, where the notes are copied as they were.
    bool allowUndated = true;
    // iCalendar: also the VEVENTs (all-day and timed) with a DESCRIPTION or SUMMARY.
    bool includeEvents = false;
    // The local date of a UTC instant (seconds since 1970), for iCalendar times written in UTC.
    std::function<Date(std::int64_t)> localDateOf;
};

struct Imported {
    std::vector<DiaryEntry> entries;
    // Empty when the whole input was read; else where and why it was not, as "at byte N: ...",
    // "note N: ..." or "line N: ...", and no entries.
    std::string error;
};

// A text's bytes come from "gbk_hex" when it is there, else from "text"; the key's from
// "key_gbk_hex", else "key", else the date. A "stored_hex" that holds exactly this key and text
// gives the entry's stored form; one that holds anything else (the note was edited) is not used.
Imported ImportJson(std::string_view bytes, const ImportOptions& options = {});
// The same, read as it streams in: each note goes to `each` as soon as it is read, so a large
// export is never held whole. Returns the error, empty when the whole input was read; notes handed
// on before an error are to be dropped by the caller.
std::string ReadJson(std::istream& in, const ImportOptions& options,
                     const std::function<void(DiaryEntry&&)>& each);
// RFC 4180 with a header naming the columns (date, key, text, gbk_hex, key_gbk_hex, stored_hex;
// others are ignored); line ends CR LF or LF; an empty date or hex field counts as absent.
Imported ImportCsv(std::string_view bytes, const ImportOptions& options = {});
// RFC 5545: every VJOURNAL (and with includeEvents every VEVENT) with a start day, its text the
// DESCRIPTION, else the SUMMARY. Entries of one day are joined in order of their start as append
// joins them. This tool's own X-QUILLIDAR-GBK-HEX gives the bytes back.
Imported ImportIcs(std::string_view bytes, const ImportOptions& options = {});

// The format a name's extension or, failing that, the first bytes say: json, csv or ics; nullopt
// for anything else.
std::optional<Format> GuessImportFormat(std::string_view name, std::string_view head);

} // namespace notes_tool
