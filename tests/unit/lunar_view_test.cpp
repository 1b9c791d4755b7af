// The lunar view's portable rules: the grid's days, layout, hit test and moves; its colours and sizes;
// the view's own file.
#include <gtest/gtest.h>

#include <set>

#include "fake_file_system.h"
#include "interaction/holiday_source.h"
#include "interaction/lunar_look.h"
#include "interaction/month_grid.h"
#include "interaction/view_choice.h"

namespace quill {
namespace {

using namespace std::chrono;
using std::chrono::day;

constexpr GridDate D(int y, unsigned m, unsigned d) {
    return GridDate{year{y}, month{m}, day{d}};
}

TEST(MonthGrid, FirstCellAndTheMonthsFirstDay) {
    struct Case {
        year_month month;
        weekday firstDay;
        GridDate firstCell;
        int cellOfFirst;
    } cases[] = {
        {year{2026} / December, Monday, D(2026, 11, 30), 1}, // 1 Dec 2026 is a Tuesday
        {year{2026} / December, Sunday, D(2026, 11, 29), 2},
        {year{2026} / June, Monday, D(2026, 5, 25), 7},     // starts on Monday: a whole week before
        {year{2026} / February, Sunday, D(2026, 1, 25), 7}, // starts on Sunday
        {year{2026} / February, Monday, D(2026, 1, 26), 6},
        {year{2000} / March, Monday, D(2000, 2, 28), 2}, // leap February reaches the grid
        {year{1601} / January, Monday, D(1600, 12, 25), 7},
    };
    for (const Case& c : cases) {
        const auto shown = GridDays(c.month, c.firstDay);
        EXPECT_EQ(shown[0], c.firstCell) << static_cast<int>(c.month.year());
        EXPECT_EQ(CellOf(c.month, c.firstDay, c.month / day{1}), c.cellOfFirst);
        // Consecutive days, and the whole month inside the grid.
        for (int i = 1; i < kGridCells; ++i)
            EXPECT_EQ((sys_days{shown[i]} - sys_days{shown[i - 1]}).count(), 1);
        EXPECT_TRUE(CellOf(c.month, c.firstDay, GridDate{c.month / last}).has_value());
        EXPECT_EQ(weekday{sys_days{shown[0]}}, c.firstDay);
    }
    EXPECT_FALSE(CellOf(year{2026} / December, Monday, D(2026, 11, 29)).has_value());
    EXPECT_FALSE(CellOf(year{2026} / December, Monday, D(2027, 1, 11)).has_value());
}

TEST(MonthGrid, WeekNumbersAreIso) {
    struct Case {
        GridDate rowStart;
        int week;
    } cases[] = {
        {D(2026, 12, 7), 50},  {D(2026, 12, 28), 53}, {D(2027, 1, 4), 1},   {D(2020, 12, 28), 53},
        {D(2021, 1, 4), 1},    {D(2018, 12, 31), 1},  {D(2026, 12, 6), 50}, // a Sunday row: its Thursday
        {D(2015, 12, 27), 53}, {D(2024, 1, 1), 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WeekNumberOfRow(c.rowStart), c.week) << static_cast<int>(c.rowStart.year());
}

TEST(MonthGrid, LayoutCoversTheAreaWithoutOverlap) {
    const GridSizes sizes = GridSizesAt(96);
    struct Case {
        int width;
        int height;
    } cases[] = {{306, 260}, {400, 300}, {GridMinimum(sizes).right, GridMinimum(sizes).bottom}, {10, 10}};
    for (const Case& c : cases) {
        const GridLayout l = LayoutGrid(c.width, c.height, sizes);
        EXPECT_GE(l.whole.right, c.width);
        EXPECT_GE(l.whole.right, GridMinimum(sizes).right);
        for (int i = 0; i < kGridCells; ++i) {
            const GridRect& r = l.cells[i];
            EXPECT_GE(r.Width(), sizes.minCellWidth);
            EXPECT_GE(r.Height(), sizes.minCellHeight);
            if (i % kGridColumns) {
                EXPECT_EQ(r.left, l.cells[i - 1].right);
            }
            if (i >= kGridColumns) {
                EXPECT_EQ(r.top, l.cells[i - kGridColumns].bottom);
            }
        }
        EXPECT_EQ(l.cells[kGridCells - 1].right, l.whole.right);
        EXPECT_EQ(l.cells[kGridCells - 1].bottom, l.whole.bottom);
        EXPECT_EQ(l.cells[0].left, sizes.weekColumn);
        EXPECT_EQ(l.cells[0].top, sizes.titleHeight + sizes.headerHeight);
    }
}

TEST(MonthGrid, HitTestFindsEachPart) {
    const GridSizes sizes = GridSizesAt(96);
    const GridLayout l = LayoutGrid(320, 280, sizes);
    auto centre = [](const GridRect& r) { return std::pair{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; };
    for (int i = 0; i < kGridCells; ++i) {
        auto [x, y] = centre(l.cells[i]);
        EXPECT_EQ(HitTestGrid(l, x, y), (GridHit{GridPart::Day, i}));
        // Corners belong to the cell whose left and top they are.
        EXPECT_EQ(HitTestGrid(l, l.cells[i].left, l.cells[i].top), (GridHit{GridPart::Day, i}));
    }
    for (int row = 0; row < kGridRows; ++row) {
        auto [x, y] = centre(l.weeks[row]);
        EXPECT_EQ(HitTestGrid(l, x, y), (GridHit{GridPart::WeekNumber, row}));
    }
    struct Case {
        int x;
        int y;
        GridHit hit;
    } cases[] = {
        {centre(l.prev).first, centre(l.prev).second, {GridPart::Prev, -1}},
        {centre(l.next).first, centre(l.next).second, {GridPart::Next, -1}},
        {160, 2, {GridPart::Title, -1}},
        {160, sizes.titleHeight + 1, {GridPart::Header, -1}},
        {-1, 100, {}},
        {320, 100, {}},
        {100, 280, {}},
        {2, sizes.titleHeight + 1, {}}, // over the week column's head
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitTestGrid(l, c.x, c.y), c.hit) << c.x << "," << c.y;
}

TEST(MonthGrid, KeysMoveTheSelection) {
    const GridDate today = D(2026, 12, 9);
    struct Case {
        GridDate from;
        GridKey key;
        GridDate to;
    } cases[] = {
        {D(2026, 12, 9), GridKey::Left, D(2026, 12, 8)},
        {D(2026, 12, 1), GridKey::Left, D(2026, 11, 30)},
        {D(2026, 12, 31), GridKey::Right, D(2027, 1, 1)},
        {D(2026, 12, 3), GridKey::Up, D(2026, 11, 26)},
        {D(2026, 12, 28), GridKey::Down, D(2027, 1, 4)},
        {D(2026, 3, 31), GridKey::PageUp, D(2026, 2, 28)},
        {D(2024, 3, 31), GridKey::PageUp, D(2024, 2, 29)},
        {D(2026, 1, 31), GridKey::PageDown, D(2026, 2, 28)},
        {D(2026, 12, 15), GridKey::PageDown, D(2027, 1, 15)},
        {D(1990, 5, 5), GridKey::Home, today},
        {D(2026, 2, 3), GridKey::End, D(2026, 2, 28)},
        {D(2026, 2, 3), GridKey::Other, D(2026, 2, 3)},
        // The month calendar's ends hold.
        {kGridFirstDay, GridKey::Left, kGridFirstDay},
        {kGridFirstDay, GridKey::PageUp, kGridFirstDay},
        {kGridLastDay, GridKey::Down, kGridLastDay},
        {kGridLastDay, GridKey::PageDown, kGridLastDay},
        {D(9999, 12, 28), GridKey::Down, kGridLastDay},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MoveByKey(c.from, c.key, today), c.to) << static_cast<int>(c.key);
}

TEST(MonthGrid, MonthsThereAndBackStayInTheMonth) {
    // A model check: any day, any run of month steps, always a real day of the expected month, and
    // never a day later in the month than where it started.
    for (int start = 0; start < 400; start += 7) {
        const GridDate from{sys_days{D(2023, 1, 1)} + days{start}};
        for (int step = -14; step <= 14; ++step) {
            const GridDate to = AddMonths(from, step);
            ASSERT_TRUE(to.ok());
            EXPECT_EQ(to.year() / to.month(), from.year() / from.month() + months{step});
            EXPECT_LE(to.day(), from.day());
        }
    }
}

TEST(MonthGrid, WheelTurnsAMonthANotch) {
    struct Case {
        std::vector<int> deltas;
        int months;
        int pending;
    } cases[] = {
        {{120}, -1, 0},         {{-120}, 1, 0},
        {{240}, -2, 0},         {{40, 40, 40}, -1, 0}, // a fine wheel's three steps are one notch
        {{40, 40}, 0, 80},      {{80, -40}, 0, -40},   // turning back drops what was pending
        {{-100, -100}, 1, -80},
    };
    for (const Case& c : cases) {
        int pending = 0;
        int total = 0;
        for (int delta : c.deltas)
            total += WheelMonths(pending, delta);
        EXPECT_EQ(total, c.months);
        EXPECT_EQ(pending, c.pending);
    }
}

TEST(LunarLook, EverySchemeReads) {
    for (int scheme = 0; scheme < kColorSchemeCount; ++scheme) {
        const GridPalette p = PaletteOf(*FindColorScheme(scheme));
        struct Pair {
            Colorref fore;
            Colorref back;
            double least;
        } pairs[] = {
            {p.text, p.back, 4.5},
            {p.weekend, p.back, 3.0},
            {p.selectText, p.selectBack, 2.0},
            {p.faint, p.back, 1.5},
            {p.weekendFaint, p.back, 1.3},
            {p.badgeText, p.restBadge, 3.0},
            {p.badgeText, p.workBadge, 3.0},
            {p.titleText, p.titleBack, 2.0},
        };
        for (const Pair& pair : pairs)
            EXPECT_GE(ContrastRatio(pair.fore, pair.back), pair.least) << scheme;
        // Faint days are told from the month's own.
        EXPECT_NE(p.faint, p.text);
        EXPECT_NE(p.weekendFaint, p.weekend);
    }
}

TEST(LunarLook, HighContrastUsesOnlyTheSystemsColours) {
    const ContrastColors themes[] = {
        {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(26, 235, 255), Rgb(0, 0, 0), Rgb(63, 242, 63),
         Rgb(255, 255, 0)},
        {Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(55, 0, 110), Rgb(255, 255, 255), Rgb(96, 0, 0),
         Rgb(0, 0, 159)},
    };
    for (const ContrastColors& c : themes) {
        const GridPalette p = ContrastPalette(c);
        const std::set<Colorref> system{c.window,        c.windowText, c.highlight,
                                        c.highlightText, c.grayText,   c.hotLight};
        for (Colorref used :
             {p.back, p.text, p.faint, p.weekend, p.weekendFaint, p.titleBack, p.titleText, p.selectBack,
              p.selectText, p.todayFrame, p.restBadge, p.workBadge, p.badgeText, p.weekNumber})
            EXPECT_TRUE(system.count(used)) << std::hex << used;
        EXPECT_EQ(p.back, c.window);
        EXPECT_EQ(p.text, c.windowText);
        EXPECT_GE(ContrastRatio(p.badgeText, p.workBadge), 3.0);
    }
}

TEST(LunarLook, CharactersAtLeastElevenPixelsAndScaled) {
    struct Case {
        int dpi;
        int least;
    } cases[] = {{96, 12}, {120, 15}, {144, 18}, {192, 24}};
    for (const Case& c : cases) {
        const GridFonts f = GridFontsAt(c.dpi);
        for (int height : {f.number, f.caption, f.badge, f.title, f.head})
            EXPECT_GE(height, c.least) << c.dpi;
        const GridSizes s = GridSizesAt(c.dpi);
        EXPECT_GE(s.minCellWidth, 2 * f.caption + f.badge);
        EXPECT_GE(s.minCellHeight, f.number + f.caption);
        EXPECT_GE(s.titleHeight, f.title);
        EXPECT_GE(s.headerHeight, f.head);
    }
    // Twice the DPI, about twice the grid.
    const GridRect small = GridMinimum(GridSizesAt(96));
    const GridRect large = GridMinimum(GridSizesAt(192));
    EXPECT_NEAR(large.right, 2 * small.right, 2 * kGridColumns);
    EXPECT_NEAR(large.bottom, 2 * small.bottom, 2 * kGridRows);
}

TEST(ViewChoice, FileReadsAndRoundTrips) {
    struct Case {
        std::string_view bytes;
        bool lunar;
    } cases[] = {
        {"", false},
        {"[view]\r\nlunar=1\r\n", true},
        {"[view]\nlunar=1", true},
        {"lunar=0\r\n", false},
        {"lunar=1\r\nlunar=0\r\n", false}, // the last word holds
        {"lunar=2\r\n", false},
        {"lunar = 1\r\n", false},
        {"\xFF\xFE\x00l", false},
        {"Lunar=1", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeViewChoice(c.bytes).lunar, c.lunar) << c.bytes;
    for (bool lunar : {false, true})
        EXPECT_EQ(DecodeViewChoice(EncodeViewChoice({lunar})), ViewChoice{lunar});
}

// The window's holidays: the file of the first safety folder that holds one, read as the tool reads
// it; a file that cannot be read or has a fault leaves the newer year unmarked and the built-in years
// as they are.
TEST(HolidaySource, TheFirstFolderWithAFileGivesTheNewerYear) {
    const FsPath first = L"C:\\safety\\a\\";
    const FsPath second = L"C:\\safety\\b\\";
    const FsPath name = L"holidays.txt";
    const std::string good = "quillidar-holidays 1\nyear 2030\n2030-01-01 rest newyear\n";
    const std::string faulty = good + "2030-01-02 work newyear\n"; // a Wednesday is no make-up day
    struct Case {
        const char* what;
        std::string inFirst; // empty: no file
        std::string inSecond;
        bool readFails;
        almanac::DayOff newYear2030;
    } cases[] = {
        {"no file", "", "", false, almanac::DayOff::None},
        {"in the first folder", good, "", false, almanac::DayOff::Rest},
        {"in the second folder only", "", good, false, almanac::DayOff::Rest},
        {"a faulty file", faulty, "", false, almanac::DayOff::None},
        {"a faulty first hides a good second", faulty, good, false, almanac::DayOff::None},
        {"a file that cannot be read", good, "", true, almanac::DayOff::None},
    };
    for (const Case& c : cases) {
        FakeFileSystem fs;
        if (!c.inFirst.empty())
            fs.files[first + name] = c.inFirst;
        if (!c.inSecond.empty())
            fs.files[second + name] = c.inSecond;
        if (c.readFails)
            fs.FailNth(FsOp::kRead, 1, FileError::kSharing);
        const almanac::HolidaySchedule schedule = ScheduleFromFolders(fs, {first, second});
        EXPECT_EQ(almanac::FactsOf(D(2030, 1, 1), schedule).off, c.newYear2030) << c.what;
        EXPECT_EQ(almanac::FactsOf(D(2030, 1, 2), schedule).off, almanac::DayOff::None) << c.what;
        EXPECT_EQ(almanac::FactsOf(D(2026, 10, 1), schedule).off, almanac::DayOff::Rest) << c.what;
    }
}

} // namespace
} // namespace quill
