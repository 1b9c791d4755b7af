// What a day is: its lunar date, its term, its festivals and its official mark, and the caption a
// month view prints under it.
#include "almanac/almanac.h"

namespace almanac {

namespace {

struct Festival {
    int month;
    int day;
    const char* name;
};

// Lunar festivals fall in ordinary months only: 闰五月初五 is no 端午.
const Festival kLunarFestivals[] = {
    {1, 1, "春节"},  {1, 15, "元宵"}, {2, 2, "龙抬头"}, {5, 5, "端午"},  {7, 7, "七夕"},
    {7, 15, "中元"}, {8, 15, "中秋"}, {9, 9, "重阳"},   {12, 8, "腊八"}, {12, 23, "小年"},
};

const Festival kSolarFestivals[] = {
    {1, 1, "元旦"},   {2, 14, "情人节"}, {3, 8, "妇女节"},  {3, 12, "植树节"},
    {5, 1, "劳动节"}, {5, 4, "青年节"},  {6, 1, "儿童节"},  {7, 1, "建党节"},
    {8, 1, "建军节"}, {9, 10, "教师节"}, {10, 1, "国庆节"}, {12, 25, "圣诞节"},
};

constexpr int kQingming = 6, kDongzhi = 23;

} // namespace

DayFacts FactsOf(Date date, const HolidaySchedule& schedule) {
    DayFacts facts;
    facts.date = date;
    if (!date.ok()) {
        return facts;
    }
    facts.lunar = LunarOf(date);
    facts.term = SolarTermOn(date);
    if (facts.lunar && !facts.lunar->leap) {
        for (const Festival& f : kLunarFestivals) {
            if (f.month == facts.lunar->month && f.day == facts.lunar->day) {
                facts.festivals.push_back(f.name);
            }
        }
    }
    // 除夕 is the eve of 正月初一: the 29th or the 30th of the twelfth month.
    if (facts.lunar && facts.lunar->month == 12 && facts.lunar->day == facts.lunar->monthDays) {
        const std::optional<LunarDate> next = LunarOf(DateOfDayNumber(DayNumber(date) + 1));
        if (next && next->month == 1 && next->day == 1 && !next->leap) {
            facts.festivals.push_back("除夕");
        }
    }
    for (const Festival& f : kSolarFestivals) {
        if (f.month == MonthOf(date) && f.day == DayOf(date)) {
            facts.festivals.push_back(f.name);
        }
    }
    if (facts.term == kQingming || facts.term == kDongzhi) {
        facts.festivals.push_back(SolarTermName(facts.term));
    }
    facts.off = schedule.MarkOn(date);
    return facts;
}

std::string CellCaption(const DayFacts& facts) {
    if (!facts.festivals.empty()) {
        return facts.festivals.front();
    }
    if (facts.term >= 0) {
        return SolarTermName(facts.term);
    }
    if (!facts.lunar) {
        return {};
    }
    if (facts.lunar->day == 1) {
        return LunarMonthName(facts.lunar->month, facts.lunar->leap);
    }
    return LunarDayName(facts.lunar->day);
}

} // namespace almanac
