// Clock text of the title strip: our own expansion of strftime-style patterns, and the clock formats.
#include "appearance/clock_format.h"

#include <array>
#include <cstdint>
#include <limits>

namespace quill {
namespace {

constexpr std::array<std::string_view, 7> kDayAbbrev{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 7> kDayName{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                   "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 12> kMonthAbbrev{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 12> kMonthName{"January",   "February", "March",    "April",
                                                      "May",       "June",     "July",     "August",
                                                      "September", "October",  "November", "December"};

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

bool IsGbkLead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}
bool IsGbkTrail(unsigned char c) {
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

// Bytes taken by the character at `pos`: two for a lead byte with a valid trail byte, else one.
std::size_t CharLength(std::string_view text, std::size_t pos) {
    if (pos + 1 < text.size() && IsGbkLead(static_cast<unsigned char>(text[pos])) &&
        IsGbkTrail(static_cast<unsigned char>(text[pos + 1]))) {
        return 2;
    }
    return 1;
}

// Appends into the caller's fixed buffer; once anything fails to fit, the whole text is void.
class ClockWriter {
  public:
    explicit ClockWriter(ClockTextBuffer& out) : out_(out) {}

    void Put(char c) {
        if (length_ >= kClockTextCapacity - 1) {
            overflow_ = true;
            return;
        }
        out_[length_++] = c;
    }

    void Put(std::string_view text) {
        for (char c : text) {
            Put(c);
        }
    }

    // At least `width` digits, zero-padded unless the '#' flag asked for no leading zeros. Every field
    // is non-negative once the time has been validated.
    void Number(int field, int width, bool noLeadingZeros) {
        auto value = static_cast<unsigned>(field);
        char digits[12];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        for (int pad = noLeadingZeros ? 0 : width - count; pad > 0; --pad) {
            Put('0');
        }
        while (count > 0) {
            Put(digits[--count]);
        }
    }

    std::size_t Finish() {
        if (overflow_) {
            length_ = 0;
        }
        out_[length_] = '\0';
        return length_;
    }

  private:
    ClockTextBuffer& out_;
    std::size_t length_ = 0;
    bool overflow_ = false;
};

int Hour12(int hour) {
    return hour % 12 == 0 ? 12 : hour % 12;
}

int WeekOfYearSundayFirst(const ClockTime& t) {
    return (t.yearday + 7 - t.weekday) / 7;
}

int WeekOfYearMondayFirst(const ClockTime& t) {
    return (t.yearday + 7 - (t.weekday + 6) % 7) / 7;
}

void ShortDate(ClockWriter& w, const ClockTime& t, bool alt) {
    w.Number(t.month, 2, alt);
    w.Put('/');
    w.Number(t.day, 2, alt);
    w.Put('/');
    w.Number(t.year % 100, 2, alt);
}

void LongDate(ClockWriter& w, const ClockTime& t, bool alt) {
    w.Put(kDayName[static_cast<std::size_t>(t.weekday)]);
    w.Put(", ");
    w.Put(kMonthName[static_cast<std::size_t>(t.month - 1)]);
    w.Put(' ');
    w.Number(t.day, 2, alt);
    w.Put(", ");
    w.Number(t.year, 4, alt);
}

void TimeOfDay(ClockWriter& w, const ClockTime& t, bool alt) {
    w.Number(t.hour, 2, alt);
    w.Put(':');
    w.Number(t.minute, 2, alt);
    w.Put(':');
    w.Number(t.second, 2, alt);
}

void UtcOffset(ClockWriter& w, int minutesEast) {
    w.Put(minutesEast < 0 ? '-' : '+');
    const std::int64_t magnitude = minutesEast < 0 ? -std::int64_t{minutesEast} : std::int64_t{minutesEast};
    w.Number(static_cast<int>(magnitude / 60), 2, false);
    w.Number(static_cast<int>(magnitude % 60), 2, false);
}

// The date as %x writes it: "%#x" the long form.
void DateOf(ClockWriter& w, const ClockTime& t, bool alt) {
    if (alt) {
        LongDate(w, t, alt);
    } else {
        ShortDate(w, t, alt);
    }
}

// The conversions that write one number: its value and its least width.
struct NumberConversion {
    char conversion;
    int width;
    int (*value)(const ClockTime& t);
};

constexpr NumberConversion kNumberConversions[] = {
    {'d', 2, [](const ClockTime& t) { return t.day; }},
    {'H', 2, [](const ClockTime& t) { return t.hour; }},
    {'I', 2, [](const ClockTime& t) { return Hour12(t.hour); }},
    {'j', 3, [](const ClockTime& t) { return t.yearday + 1; }},
    {'m', 2, [](const ClockTime& t) { return t.month; }},
    {'M', 2, [](const ClockTime& t) { return t.minute; }},
    {'S', 2, [](const ClockTime& t) { return t.second; }},
    {'U', 2, [](const ClockTime& t) { return WeekOfYearSundayFirst(t); }},
    {'w', 1, [](const ClockTime& t) { return t.weekday; }},
    {'W', 2, [](const ClockTime& t) { return WeekOfYearMondayFirst(t); }},
    {'y', 2, [](const ClockTime& t) { return t.year % 100; }},
    {'Y', 1, [](const ClockTime& t) { return t.year; }},
};

void Convert(ClockWriter& w, char conversion, bool alt, const ClockTime& t, const ClockZone& zone) {
    for (const NumberConversion& number : kNumberConversions) {
        if (number.conversion == conversion) {
            w.Number(number.value(t), number.width, alt);
            return;
        }
    }
    switch (conversion) {
    case 'a':
        w.Put(kDayAbbrev[static_cast<std::size_t>(t.weekday)]);
        break;
    case 'A':
        w.Put(kDayName[static_cast<std::size_t>(t.weekday)]);
        break;
    case 'b':
        w.Put(kMonthAbbrev[static_cast<std::size_t>(t.month - 1)]);
        break;
    case 'B':
        w.Put(kMonthName[static_cast<std::size_t>(t.month - 1)]);
        break;
    case 'c':
        DateOf(w, t, alt);
        w.Put(' ');
        TimeOfDay(w, t, alt);
        break;
    case 'p':
        w.Put(t.hour < 12 ? "AM" : "PM");
        break;
    case 'x':
        DateOf(w, t, alt);
        break;
    case 'X':
        TimeOfDay(w, t, alt);
        break;
    case 'z':
        if (const auto& offset = t.isdst ? zone.daylightOffset : zone.standardOffset) {
            UtcOffset(w, *offset);
        }
        break;
    case 'Z':
        w.Put(t.isdst ? zone.daylightName : zone.standardName);
        break;
    case '%':
        w.Put('%');
        break;
    default:
        break;
    }
}

int ToIntOrInvalid(std::int64_t value) {
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return -1;
    }
    return static_cast<int>(value);
}

} // namespace

ClockTime ClockTimeFromTm(const std::tm& tm) {
    ClockTime t;
    t.year = ToIntOrInvalid(std::int64_t{tm.tm_year} + 1900);
    t.month = ToIntOrInvalid(std::int64_t{tm.tm_mon} + 1);
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.weekday = tm.tm_wday;
    t.yearday = tm.tm_yday;
    t.isdst = tm.tm_isdst > 0;
    return t;
}

bool IsValidClockTime(const ClockTime& t) {
    return InRange(t.year, 0, 9999) && InRange(t.month, 1, 12) && InRange(t.day, 1, 31) &&
           InRange(t.hour, 0, 23) && InRange(t.minute, 0, 59) && InRange(t.second, 0, 60) &&
           InRange(t.weekday, 0, 6) && InRange(t.yearday, 0, 365);
}

std::size_t ExpandClockPattern(std::string_view pattern, const ClockTime& time, const ClockZone& zone,
                               ClockTextBuffer& out) {
    ClockWriter w(out);
    if (!IsValidClockTime(time)) {
        return w.Finish();
    }
    if (const std::size_t zero = pattern.find('\0'); zero != std::string_view::npos) {
        pattern = pattern.substr(0, zero);
    }
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        if (pattern[pos] != '%') {
            const std::size_t length = CharLength(pattern, pos);
            w.Put(pattern.substr(pos, length));
            pos += length;
            continue;
        }
        ++pos;
        bool alt = false;
        if (pos < pattern.size() && pattern[pos] == '#') {
            alt = true;
            ++pos;
        }
        if (pos >= pattern.size()) {
            break;
        }
        const std::size_t length = CharLength(pattern, pos);
        if (length == 1) {
            Convert(w, pattern[pos], alt, time, zone);
        }
        pos += length;
    }
    return w.Finish();
}

std::string ExpandClockPattern(std::string_view pattern, const ClockTime& time, const ClockZone& zone) {
    ClockTextBuffer buffer;
    const std::size_t length = ExpandClockPattern(pattern, time, zone, buffer);
    return std::string(buffer, length);
}

std::string_view ClockPatternFor(int timeFormat, std::string_view customPattern) {
    if (timeFormat == kTimeFormatCustom) {
        return customPattern;
    }
    for (const ClockFormat& format : kFixedClockFormats) {
        if (format.id == timeFormat) {
            return format.pattern;
        }
    }
    return {};
}

} // namespace quill
