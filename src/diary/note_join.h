// Two texts of one day kept side by side: how a note typed on one side meets a note changed on the
// other, so that neither is dropped.
#pragma once

#include <string>
#include <string_view>

// The line that parts two texts of one day, CR LF around it as the note box writes line breaks.
inline constexpr char kNotePartSeparator[] = "\r\n----\r\n";

// True when `part` is one of the note's separator-delimited parts, exactly.
bool HoldsNotePart(std::string_view note, std::string_view part);

// The existing note, the separator and the incoming text; the existing note alone when it already
// holds the incoming text as one of its parts, so that meeting the same text twice changes nothing.
std::string JoinNoteParts(std::string_view existing, std::string_view incoming);
