// Lunar dates and solar terms read from the generated table (almanac_table.cpp).
#include "almanac/almanac.h"
#include "almanac/almanac_table.h"

namespace almanac {

namespace {

std::uint32_t YearWord(int lunarYear) {
    return table::kLunarYears[lunarYear - kFirstYear];
}

int LeapOfWord(std::uint32_t word) {
    return static_cast<int>((word >> 13) & 0xF);
}

int MonthCount(std::uint32_t word) {
    return LeapOfWord(word) != 0 ? 13 : 12;
}

int MonthLength(std::uint32_t word, int slot) {
    return (word >> slot) & 1 ? 30 : 29;
}

std::int64_t NewYearDay(int lunarYear) {
    const Date jan1{std::chrono::year{lunarYear}, std::chrono::January, std::chrono::day{1}};
    return DayNumber(jan1) + static_cast<std::int64_t>((YearWord(lunarYear) >> 17) & 0x3F);
}

// The month number and leap flag of a month's place in its year.
void MonthOfSlot(int leap, int slot, int& month, bool& isLeap) {
    if (leap == 0 || slot < leap) {
        month = slot + 1;
        isLeap = false;
    } else if (slot == leap) {
        month = leap;
        isLeap = true;
    } else {
        month = slot;
        isLeap = false;
    }
}

const std::int64_t kLastDay = 47846; // 2100-12-31

const char* const kDigits[] = {"", "一", "二", "三", "四", "五", "六", "七", "八", "九", "十"};
const char* const kStems[] = {"甲", "乙", "丙", "丁", "戊", "己", "庚", "辛", "壬", "癸"};
const char* const kBranches[] = {"子", "丑", "寅", "卯", "辰", "巳", "午", "未", "申", "酉", "戌", "亥"};
const char* const kAnimals[] = {"鼠", "牛", "虎", "兔", "龙", "蛇", "马", "羊", "猴", "鸡", "狗", "猪"};
const char* const kTerms[] = {"小寒", "大寒", "立春", "雨水", "惊蛰", "春分", "清明", "谷雨",
                              "立夏", "小满", "芒种", "夏至", "小暑", "大暑", "立秋", "处暑",
                              "白露", "秋分", "寒露", "霜降", "立冬", "小雪", "大雪", "冬至"};

int Mod(int value, int by) {
    return ((value % by) + by) % by;
}

} // namespace

std::optional<LunarDate> LunarOf(Date date) {
    if (!date.ok()) {
        return std::nullopt;
    }
    const int year = YearOf(date);
    const std::int64_t day = DayNumber(date);
    if (year < kFirstYear || year > kLastYear || day > kLastDay) {
        return std::nullopt;
    }
    int lunarYear = year;
    std::int64_t start = NewYearDay(year);
    if (day < start) {
        if (year == kFirstYear) {
            return std::nullopt;
        }
        lunarYear = year - 1;
        start = NewYearDay(lunarYear);
    }
    const std::uint32_t word = YearWord(lunarYear);
    const int count = MonthCount(word);
    for (int slot = 0; slot < count; ++slot) {
        const int length = MonthLength(word, slot);
        if (day < start + length) {
            LunarDate lunar;
            lunar.year = lunarYear;
            MonthOfSlot(LeapOfWord(word), slot, lunar.month, lunar.leap);
            lunar.day = static_cast<int>(day - start) + 1;
            lunar.monthDays = length;
            return lunar;
        }
        start += length;
    }
    return std::nullopt; // the table's years leave no gap; only a damaged table gets here
}

std::optional<Date> SolarOf(int lunarYear, int month, bool leap, int day) {
    if (lunarYear < kFirstYear || lunarYear > kLastYear || month < 1 || month > 12 || day < 1 || day > 30) {
        return std::nullopt;
    }
    const std::uint32_t word = YearWord(lunarYear);
    const int leapMonth = LeapOfWord(word);
    if (leap && leapMonth != month) {
        return std::nullopt;
    }
    const int slot = (leapMonth != 0 && (month > leapMonth || leap)) ? month : month - 1;
    if (day > MonthLength(word, slot)) {
        return std::nullopt;
    }
    std::int64_t start = NewYearDay(lunarYear);
    for (int i = 0; i < slot; ++i) {
        start += MonthLength(word, i);
    }
    const std::int64_t result = start + day - 1;
    if (result > kLastDay) {
        return std::nullopt;
    }
    return DateOfDayNumber(result);
}

int LeapMonthOf(int lunarYear) {
    if (lunarYear < kFirstYear || lunarYear > kLastYear) {
        return 0;
    }
    return LeapOfWord(YearWord(lunarYear));
}

std::string LunarMonthName(int month, bool leap) {
    if (month < 1 || month > 12) {
        return {};
    }
    std::string name = leap ? "闰" : "";
    if (month == 1) {
        name += "正";
    } else if (month == 11) {
        name += "冬";
    } else if (month == 12) {
        name += "腊";
    } else {
        name += kDigits[month];
    }
    return name + "月";
}

std::string LunarDayName(int day) {
    if (day < 1 || day > 30) {
        return {};
    }
    if (day == 10) {
        return "初十";
    }
    if (day == 20) {
        return "二十";
    }
    if (day == 30) {
        return "三十";
    }
    static const char* const kTens[] = {"初", "十", "廿"};
    return std::string(kTens[day / 10]) + kDigits[day % 10];
}

std::string GanzhiOfYear(int lunarYear) {
    // 1984 was 甲子.
    const int cycle = Mod(lunarYear - 1984, 60);
    return std::string(kStems[cycle % 10]) + kBranches[cycle % 12];
}

std::string ZodiacOfYear(int lunarYear) {
    return kAnimals[Mod(lunarYear - 1984, 12)];
}

std::optional<Date> SolarTermDate(int year, int index) {
    if (year < kFirstYear || year > kLastYear || index < 0 || index > 23) {
        return std::nullopt;
    }
    const std::uint8_t* bytes = table::kTerms + (year - kFirstYear) * 6;
    const int bit = 2 * index;
    const int offset = (bytes[bit / 8] >> (bit % 8)) & 3;
    return Date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(index / 2 + 1)},
                std::chrono::day{static_cast<unsigned>(table::kTermBase[index] + offset)}};
}

int SolarTermOn(Date date) {
    if (!date.ok()) {
        return -1;
    }
    const int first = 2 * (MonthOf(date) - 1);
    for (int index = first; index < first + 2; ++index) {
        const std::optional<Date> term = SolarTermDate(YearOf(date), index);
        if (term && *term == date) {
            return index;
        }
    }
    return -1;
}

std::string SolarTermName(int index) {
    return index >= 0 && index < 24 ? kTerms[index] : "";
}

std::string LunarDateText(const LunarDate& lunar) {
    return GanzhiOfYear(lunar.year) + "年" + LunarMonthName(lunar.month, lunar.leap) +
           LunarDayName(lunar.day);
}

} // namespace almanac
