// Where the selected day goes: the keys that move it (a day, a week, back to today) and whether the
// window follows the date past midnight.
#pragma once

#include <cstdint>
#include <optional>

namespace quill {

// Virtual-key codes, spelled out so this file needs no Windows header.
inline constexpr unsigned kVkHome = 0x24;
inline constexpr unsigned kVkLeft = 0x25;
inline constexpr unsigned kVkUp = 0x26;
inline constexpr unsigned kVkRight = 0x27;
inline constexpr unsigned kVkDown = 0x28;

struct DayMove {
    bool toToday = false;
    int days = 0; // when not toToday: forward (positive) or back
    friend bool operator==(const DayMove&, const DayMove&) = default;
};

// Ctrl with an arrow (a day, a week) or Home (today). With Shift the note box's own word selection
// stays; with Alt the key is the system's.
std::optional<DayMove> DayMoveOfKey(unsigned vk, bool ctrl, bool shift, bool alt);

struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// The day `move` leads to from `from`; none before the year 1601 or after 9999, which no month
// calendar shows, and none from a date that is no date.
std::optional<CivilDate> DateAfterMove(CivilDate from, DayMove move, CivilDate today);

// Whether the local date at `now` differs from the one at `lastLooked` (seconds since 1970, UTC),
// the last instant the window read the clock; false when it had not read it yet.
bool DateChangedSince(std::int64_t lastLooked, std::int64_t now);

enum class DayFollow { Stay, ToToday };

// The date changed under an open window. A box with nothing unfiled moves to the new today, as a
// fresh start would show it; typing that is not filed stays on the day it was typed for, and goes
// wherever the user's next day switch files it.
DayFollow FollowAtDateChange(bool dateChanged, bool unfiledTyping);

} // namespace quill
