// The keys that move the selected day, the dates they lead to, and the window's rule at midnight.
#include "diary/day_move.h"

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
    if (date.year < kFirstYear || date.year > kLastYear || date.month < 1 || date.month > 12 || date.day < 1)
        return false;
    std::int64_t y = 0, m = 0, d = 0;
    CivilFromDays(DaysFromCivil(date.year, date.month, date.day), y, m, d);
    return m == date.month && d == date.day;
}

} // namespace

std::optional<CivilDate> DateAfterMove(CivilDate from, DayMove move, CivilDate today) {
    const CivilDate start = move.toToday ? today : from;
    if (!IsDate(start))
        return std::nullopt;
    std::int64_t y = 0, m = 0, d = 0;
    CivilFromDays(DaysFromCivil(start.year, start.month, start.day) + (move.toToday ? 0 : move.days), y, m,
                  d);
    if (y < kFirstYear || y > kLastYear)
        return std::nullopt;
    return CivilDate{static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
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
