// Calendars of journal entries, read and written: the one VJOURNAL reader and writer of the notes
// tool's ics files and the sync's day resources. What a note is, which day it files under and what a
// failure costs stay with each caller; this layer knows the shapes of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "almanac/almanac.h"
#include "ical/content_line.h"

namespace ical {

// The bytes of a note that TEXT cannot carry exactly, as hexadecimal digits beside the text.
inline constexpr char kBytesHex[] = "X-QUILLIDAR-GBK-HEX";
// The bytes of the key of a note that files under no day.
inline constexpr char kKeyBytesHex[] = "X-QUILLIDAR-KEY-GBK-HEX";
// The sync's mark of the text a day's resource was made with.
inline constexpr char kNewDayMark[] = "X-QUILLIDAR-NEW-DAY";

// ---- values

// "20261208": a real day of the years 1 to 9999, and back.
std::string DateValue(almanac::Date date);
std::optional<almanac::Date> ParseDateValue(std::string_view text);
// DTSTAMP's form: "20261208T093000Z" of seconds since 1970 UTC, its year kept to 0 .. 9999.
std::string UtcStamp(std::int64_t seconds);
// A text up to its first line break.
std::string_view FirstLine(std::string_view text);

enum class StartForm {
    kDate,     // DTSTART;VALUE=DATE:20261208, or eight digits alone
    kFloating, // 20261208T093000: the time wherever the reader is
    kZoned,    // TZID=...:20261208T093000: the time where that zone is
    kUtc,      // 20261208T093000Z
};

struct Start {
    almanac::Date day; // the date as written (for kUtc, UTC's date)
    StartForm form = StartForm::kDate;
    int seconds = 0; // into the day as written; 0 for a date
    // Seconds since 1970 of the time as written: UTC's for kUtc, the entry's own clock otherwise.
    std::int64_t Instant() const;
};

// DTSTART as a date or date-time; nullopt, and *why in words when given, for anything else.
std::optional<Start> ReadStart(const Property& start, std::string* why = nullptr);

// ---- reading

// VJOURNAL or VEVENT at the top of a calendar, with what decides its day and its text. Components
// inside it (VALARM) and beside it (VTIMEZONE) are passed over.
struct Component {
    std::size_t line = 0; // of its BEGIN
    std::string kind;     // "VJOURNAL" or "VEVENT"
    std::optional<Property> start;
    std::vector<std::string> descriptions;    // as written, escaped
    std::optional<std::string> summary;       // the last one, escaped
    std::optional<std::string> uid;           // unescaped
    std::map<std::string, std::string> marks; // X- properties, the last of each name, as written

    // DESCRIPTIONs unescaped and joined by line breaks; the SUMMARY when there is none.
    std::string Text() const;
    const std::string* Mark(std::string_view name) const;
};

// What one calendar may cost; the defaults cost what the file is.
struct Limits {
    std::size_t maxLines = SIZE_MAX;
    std::size_t maxLineBytes = SIZE_MAX;
    std::size_t maxDepth = SIZE_MAX;
};

struct Calendar {
    std::vector<Component> components; // in the order they end
    std::string error; // empty when the whole calendar was read; else where and why not, and no components
};

// One calendar or several one after another (a server's and an export's both start with BEGIN:VCALENDAR),
// CR LF or LF, folded, with a byte order mark or none.
Calendar ReadCalendar(std::string_view text, const Limits& limits = {});

enum class CarriedState {
    kNone,      // no X-QUILLIDAR-GBK-HEX
    kMalformed, // not an even number of hexadecimal digits
    kStale,     // the text says something else now: another program edited it and kept the mark
    kTaken,     // the bytes, which the text still shows
};
struct Carried {
    CarriedState state = CarriedState::kNone;
    std::string bytes;
};
// The note's bytes the hex carries, taken only while the text still says what they say: a
// DESCRIPTION that shows them, or with no DESCRIPTION a SUMMARY that is their first line (a program
// that keeps only titles dropped the rest without changing it).
Carried CarriedBytes(const Component& component);

// ---- writing

// BEGIN:VCALENDAR, VERSION and PRODID, and the END, each line ended by CR LF.
std::string CalendarHead(std::string_view productId);
std::string CalendarTail();
// NAME:value folded, and the same with the value a TEXT of UTF-8 (*exact as EscapeText has it).
std::string Line(std::string_view name, std::string_view value);
std::string TextLine(std::string_view name, std::string_view utf8, bool* exact);

struct JournalEntry {
    std::string uid;                                        // written as TEXT
    std::string_view stamp;                                 // DTSTAMP as UtcStamp writes it
    std::optional<almanac::Date> day;                       // DTSTART;VALUE=DATE, none for a note of no day
    std::vector<std::pair<std::string, std::string>> marks; // X- lines before the text
    std::string text;           // UTF-8: the first line in SUMMARY, all of it in DESCRIPTION
    std::string_view noteBytes; // the note as stored, carried as hex unless exact
    bool exact = true;          // the text gives noteBytes back; TEXT may still not
    std::string keyHex;         // the key's bytes for a note of no day, when not empty
};
// One VJOURNAL from BEGIN to END.
std::string JournalLines(const JournalEntry& entry);

} // namespace ical
