// Diaries of known size for the benchmarks: a hundred years of daily notes and more.
#pragma once

#include <cstddef>
#include <string>

#include "diary/note_map.h"

namespace bench {

struct Date {
    int year = 2000;
    int month = 1;
    int day = 1;
};

// Days since 1970-01-01 in the proleptic Gregorian calendar, and back.
long DaysFromCivil(const Date& date);
Date CivilFromDays(long days);

// "ddmmyy", as the program files a day.
std::string KeyOf(const Date& date);

// The length of the short notes the first figures were measured with; the other sizes are the
// heavy, realistic diaries (a hundred years of long days, ten years of medium ones).
inline constexpr std::size_t kShortNoteBytes = 100;

// The note the benchmarks file under a key: `bytes` GBK bytes exactly, Chinese and ASCII mixed,
// unique per key, never ending in half a double-byte character. Up to kShortNoteBytes it is one
// Chinese line and one ASCII line padded with dots, as it always was; longer notes go on with
// lines picked by the key, so no two days read alike.
std::string NoteTextFor(std::string_view key, std::size_t bytes = kShortNoteBytes);

// `count` notes of `bytes` bytes each, one per day, the last of them on `last`, oldest first. Up to
// 36,524 of them the keys are distinct dates (keys repeat every hundred years); beyond that the
// six-digit keys 000000 to 999999 that are not already used follow, so a million notes are a
// million keys.
NoteMap MakeDiary(std::size_t count, const Date& last, std::size_t bytes = kShortNoteBytes);

} // namespace bench
