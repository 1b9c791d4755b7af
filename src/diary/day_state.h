// Which days of the selected month carry a note, as the month calendar's day-state words.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "diary/note_map.h"

// Bit d-1 is set when the first note filed under "dd" + the selected key's month and year (its
// last four characters, or the whole key when shorter) is not blank.
std::uint32_t NoteDaysMask(const NoteMap& notes, std::string_view selectedKey);

// The day-state words for a calendar that shows `monthCount` months, partly shown ones included.
// The first of them is the partly shown month before the selection's, so the mask goes to the
// second; a calendar that reports a single month gets it on that one.
std::vector<std::uint32_t> DayStateWords(int monthCount, std::uint32_t mask);
