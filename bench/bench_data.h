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

// The note the benchmarks file under a key: about 100 GBK bytes, Chinese and ASCII, unique per key.
std::string NoteTextFor(std::string_view key);

// `count` notes, one per day, the last of them on `last`, oldest first. Up to 36,524 of them the
// keys are distinct dates (keys repeat every hundred years); beyond that the six-digit keys
// 000000 to 999999 that are not already used follow, so a million notes are a million keys.
NoteMap MakeDiary(std::size_t count, const Date& last);

} // namespace bench
