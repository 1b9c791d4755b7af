// iCalendar content lines, shared by the notes tool's ics files and the sync's resources: folding,
// TEXT escapes, and reading lines back with their parameters.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ical {

// One line of the calendar, unfolded.
struct Property {
    std::size_t line = 0;                      // where it starts, from 1
    std::string name;                          // upper case
    std::map<std::string, std::string> params; // names upper case, values unquoted
    std::string value;
};

// The line folded at 75 octets, never inside a UTF-8 sequence, each piece ended by CR LF.
std::string FoldLine(std::string_view line);

// An RFC 5545 TEXT value of UTF-8 text. CR LF, CR and LF all become \n; a control character TEXT
// may not hold (C0 but the tab, and DEL) becomes U+FFFD. *exact becomes false when the value will
// not give the text back byte for byte.
std::string EscapeText(std::string_view utf8, bool* exact);
// \n and \N are a line break (CR LF, as notes have them); \\ \; \, and any other escaped mark are
// the mark itself.
std::string UnescapeText(std::string_view value);

// The content lines, unfolded (a line that starts with a space or a tab continues the one before).
// Reading stops, and *truncated becomes true, once maxLines lines or a logical line longer than
// maxLineBytes would be read: a hostile calendar costs at most that much.
std::vector<Property> ReadProperties(std::string_view text, std::size_t maxLines = SIZE_MAX,
                                     std::size_t maxLineBytes = SIZE_MAX, bool* truncated = nullptr);

std::string UpperAscii(std::string_view text);

} // namespace ical
