// One diary day as one calendar resource: a VJOURNAL whose UID and href come from the date, so two
// PCs that both hold a note for a day meet on the same resource; and the reader of what a server
// holds, which tells this program's entries from other clients'.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SyncDate {
    int year = 0;
    int month = 0;
    int day = 0;

    friend auto operator<=>(const SyncDate&, const SyncDate&) = default;
};

// The date a diary key ("081226") names in the hundred years that end with the pivot year, as the
// notes tool reads keys; nullopt for a key that names no day.
std::optional<SyncDate> SyncDateOfKey(std::string_view key, int pivot);
std::string KeyOfSyncDate(const SyncDate& date);
// "20261208", and back (a real day of the years 1 to 9999 only).
std::string CompactDate(const SyncDate& date);
std::optional<SyncDate> ParseCompactDate(std::string_view text);

// "quillidar-day-20261208": the same on every PC, and nothing a person or another client would
// choose. The href is the UID with ".ics", so it needs no escaping in a URL.
std::string UidOfDay(const SyncDate& date);
std::string HrefNameOfDay(const SyncDate& date);

// The notes' bytes (GB18030 that keeps GBK) as UTF-8; a byte that starts no valid code is U+FFFD.
std::string Utf8OfNoteBytes(std::string_view bytes);
// UTF-8 from a server as the notes' bytes; what is no UTF-8 becomes U+FFFD, never an error.
std::string NoteBytesOfUtf8(std::string_view utf8);

// The resource of one day: VCALENDAR with one VJOURNAL, DTSTART;VALUE=DATE, the note in DESCRIPTION
// and its first line in SUMMARY. Bytes that are no valid text, or that TEXT cannot carry, travel
// also as X-QUILLIDAR-GBK-HEX, as the notes tool's ics export carries them. stamp: DTSTAMP, seconds
// since 1970 UTC.
// firstOfDay: the resource is made, not replaced (If-None-Match), and says so with
// X-QUILLIDAR-NEW-DAY, the mark of the text it was made with: a PC that agreed on another text of
// the day knows then that the writer never saw it (a collection made again) and compares afresh.
// keptMark, when given, is the mark written instead: the one of the resource being replaced, carried
// on so that it still tells after edits which upload the day's resource stems from, or a new one's
// that tells this upload from another of the same text.
std::string EncodeDayResource(const SyncDate& date, std::string_view noteBytes, std::int64_t stamp,
                              bool firstOfDay = false, std::string_view keptMark = {});
// The mark X-QUILLIDAR-NEW-DAY carries of a text: 16 hex digits of its checksum.
std::string NewDayMark(std::string_view noteBytes);

// Limits on what one resource may cost: a larger body is refused whole.
inline constexpr std::size_t kMaxResourceBytes = 2u << 20;
inline constexpr std::size_t kMaxResourceLines = 50000;
inline constexpr std::size_t kMaxIcsLineBytes = 1u << 20;
inline constexpr std::size_t kMaxResourceDepth = 16;

struct ResourceEntry {
    std::string uid;
    SyncDate date;
    std::string text;   // the notes' bytes; empty for an entry with nothing written in it
    bool ours = false;  // the UID is the one this program gives its date
    std::string newDay; // X-QUILLIDAR-NEW-DAY: the mark of the text the resource was made with
};

struct ResourceRead {
    std::vector<ResourceEntry> entries;
    std::string error; // empty when the resource was read; else why not, and no entries
};

// Every VJOURNAL with a start day. DTSTART may be a date, a floating or TZID date-time (its date is
// the day) or a UTC time (localDateOf gives the day; UTC's date without it). Several DESCRIPTIONs
// are one text, lines apart; an entry with none has its SUMMARY for its text. X-QUILLIDAR-GBK-HEX is taken
// only while the text still shows those bytes (the DESCRIPTION, or with none the SUMMARY as their first
// line): another client that edits the text keeps the property it does not know, and its edit must win
// over the stale bytes.
ResourceRead ReadCalendarResource(std::string_view bytes,
                                  const std::function<SyncDate(std::int64_t)>& localDateOf = {});
