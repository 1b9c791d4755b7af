// The lunar view's month grid as data: which day sits in which cell, where the parts of the grid are at
// a size, what a point hits, and where the keys, the buttons and the wheel take the selection.
#pragma once

#include <array>
#include <chrono>
#include <optional>

namespace quill {

using GridDate = std::chrono::year_month_day;

inline constexpr int kGridRows = 6;
inline constexpr int kGridColumns = 7;
inline constexpr int kGridCells = kGridRows * kGridColumns;

// The days the month calendar itself accepts; the grid never selects outside them.
inline constexpr GridDate kGridFirstDay{std::chrono::year{1601}, std::chrono::January, std::chrono::day{1}};
inline constexpr GridDate kGridLastDay{std::chrono::year{9999}, std::chrono::December, std::chrono::day{31}};

// The 42 days shown for `month`, row by row from the first day of the week. The month's first day is
// always in the first row; a month that starts on the week's first day gets a whole row of the month
// before, as the month calendar shows it.
std::array<GridDate, kGridCells> GridDays(std::chrono::year_month month, std::chrono::weekday firstDay);

// The cell of `day` in `month`'s grid, or none when the grid does not show it.
std::optional<int> CellOf(std::chrono::year_month month, std::chrono::weekday firstDay, GridDate day);

// The ISO 8601 week number of the row starting on `rowStart` (the week holding that row's Thursday).
int WeekNumberOfRow(GridDate rowStart);

struct GridRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const GridRect&, const GridRect&) = default;
};

// Sizes in pixels at the window's DPI, from the font the grid draws with.
struct GridSizes {
    int titleHeight = 0;   // the month title and its two buttons
    int headerHeight = 0;  // the weekday names
    int weekColumn = 0;    // the week numbers; 0 without them
    int minCellWidth = 0;  // a day's number and its two-character caption side by side with a badge
    int minCellHeight = 0; // the number above the caption
};

struct GridLayout {
    GridRect whole;
    GridRect title;
    GridRect prev;
    GridRect next;
    GridRect header;
    std::array<GridRect, kGridCells> cells{};
    std::array<GridRect, kGridRows> weeks{};
};

// The grid laid out in `width` by `height`. Cells share what is left after the title, the header and
// the week column, the remainder going to the last row and column so the grid ends at the edge; they
// never get smaller than the sizes ask (the grid then runs past the area rather than cut a character).
GridLayout LayoutGrid(int width, int height, const GridSizes& sizes);

// The least area that holds the grid at these sizes.
GridRect GridMinimum(const GridSizes& sizes);

enum class GridPart { None, Prev, Next, Title, Header, Day, WeekNumber };

struct GridHit {
    GridPart part = GridPart::None;
    int index = -1; // the cell for Day, the row for WeekNumber
    friend bool operator==(const GridHit&, const GridHit&) = default;
};

GridHit HitTestGrid(const GridLayout& layout, int x, int y);

// `day` moved by whole months, its day of the month cut to the target month's length (31 January and
// one month is the last day of February), and kept within the grid's days.
GridDate AddMonths(GridDate day, int months);

// `day` moved by days, kept within the grid's days.
GridDate AddDays(GridDate day, int days);

enum class GridKey { Left, Right, Up, Down, PageUp, PageDown, Home, End, Other };

// Where a key takes the selection: a day, a week, a month, today. End is the month's last day, as the
// month calendar of newer systems does. Other keys leave it.
GridDate MoveByKey(GridDate selected, GridKey key, GridDate today);

// The wheel: deltas are summed until they make a notch (120), so a fine-grained wheel turns months at
// the same rate as a notched one. Away from the user (positive) is the month before. Returns the months
// to move and keeps the rest in `pending`; a turn the other way drops what was pending.
int WheelMonths(int& pending, int delta);

} // namespace quill
