// Reading the json and csv exports back into notes, with the bytes their hex fields carry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "notes_tool/export_formats.h"
#include "notes_tool/notes_scan.h"

namespace notes_tool {

struct Imported {
    std::vector<DiaryEntry> entries;
    // Empty when the whole input was read; else where and why it was not, as "at byte N: ..." or
    // "note N: ...", and no entries.
    std::string error;
};

// A text's bytes come from "gbk_hex" when it is there, else from "text"; the key's from
// "key_gbk_hex", else "key", else the date. A "stored_hex" that holds exactly this key and text
// gives the entry's stored form; one that holds anything else (the note was edited) is not used.
Imported ImportJson(std::string_view bytes);
// RFC 4180 with a header naming the columns (date, key, text, gbk_hex, key_gbk_hex, stored_hex;
// others are ignored); line ends CR LF or LF; an empty date or hex field counts as absent.
Imported ImportCsv(std::string_view bytes);

// json for a name ending in ".json", csv for ".csv"; otherwise json when the input starts with '{'.
Format GuessImportFormat(std::string_view name, std::string_view bytes);

} // namespace notes_tool
