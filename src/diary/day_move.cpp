// The keys that move the selected day, the dates they lead to, and the window's rule at midnight.
#include "diary/day_move.h"

#include "almanac/almanac.h"
#include "diary/date_key.h"

namespace quill {

std::optional<DayMove> DayMoveOfKey(unsigned vk, bool ctrl, bool shift, bool alt) {
    if (!ctrl || shift || alt)
        return std::nullopt;
    switch (vk) {
    case kVkLeft:
        return DayMove{false, -1};
    case kVkRight:
        return DayMove{false, 1};
    case kVkUp:
        return DayMove{false, -7};
    case kVkDown:
        return DayMove{false, 7};
    case kVkHome:
        return DayMove{true, 0};
    default:
        return std::nullopt;
    }
}

namespace {

constexpr int kFirstYear = 1601;
constexpr int kLastYear = 9999;

bool IsDate(const CivilDate& date) {
    return date.year >= kFirstYear && date.year <= kLastYear &&
           almanac::MakeDate(date.year, date.month, date.day).has_value();
}

} // namespace

std::optional<CivilDate> DateAfterMove(CivilDate from, DayMove move, CivilDate today) {
    const CivilDate start = move.toToday ? today : from;
    if (!IsDate(start))
        return std::nullopt;
    const almanac::Date first = *almanac::MakeDate(start.year, start.month, start.day);
    const almanac::Date to =
        almanac::DateOfDayNumber(almanac::DayNumber(first) + (move.toToday ? 0 : move.days));
    const int y = almanac::YearOf(to), m = almanac::MonthOf(to), d = almanac::DayOf(to);
    if (y < kFirstYear || y > kLastYear)
        return std::nullopt;
    return CivilDate{y, m, d};
}

bool DateChangedSince(std::int64_t lastLooked, std::int64_t now) {
    if (lastLooked < 0)
        return false;
    // Every zone's offset is whole minutes, so within one minute the date cannot change: the clock's
    // tick pays for the local-time conversions once a minute at most.
    if (lastLooked / 60 == now / 60)
        return false;
    const std::string before = DateKeyOfInstant(lastLooked);
    const std::string after = DateKeyOfInstant(now);
    return !before.empty() && !after.empty() && before != after;
}

DayFollow FollowAtDateChange(bool dateChanged, bool unfiledTyping) {
    return dateChanged && !unfiledTyping ? DayFollow::ToToday : DayFollow::Stay;
}

} // namespace quill
