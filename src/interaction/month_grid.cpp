// The lunar view's month grid as data: cells, week numbers, layout, hit test and the selection's moves.
#include "interaction/month_grid.h"

#include <algorithm>

namespace quill {
namespace {

using std::chrono::days;
using std::chrono::sys_days;

GridDate Clamp(sys_days day) {
    return GridDate{std::clamp(day, sys_days{kGridFirstDay}, sys_days{kGridLastDay})};
}

} // namespace

std::array<GridDate, kGridCells> GridDays(std::chrono::year_month month, std::chrono::weekday firstDay) {
    const sys_days first{month / std::chrono::day{1}};
    // weekday subtraction is modulo 7, 0 to 6; a month starting on the week's first day shows a week of
    // the month before, as the month calendar does, so the lead is 1 to 7.
    int lead = static_cast<int>((std::chrono::weekday{first} - firstDay).count());
    if (lead == 0)
        lead = 7;
    std::array<GridDate, kGridCells> out{};
    for (int i = 0; i < kGridCells; ++i)
        out[static_cast<std::size_t>(i)] = GridDate{first + days{i - lead}};
    return out;
}

std::optional<int> CellOf(std::chrono::year_month month, std::chrono::weekday firstDay, GridDate day) {
    const auto shown = GridDays(month, firstDay);
    const auto offset = (sys_days{day} - sys_days{shown[0]}).count();
    if (offset < 0 || offset >= kGridCells)
        return std::nullopt;
    return static_cast<int>(offset);
}

int WeekNumberOfRow(GridDate rowStart) {
    // The Thursday among the row's seven days decides the ISO year and week, whichever day starts it.
    const sys_days start{rowStart};
    const sys_days thursday = start + (std::chrono::Thursday - std::chrono::weekday{start});
    const std::chrono::year isoYear = GridDate{thursday}.year();
    const sys_days jan1{isoYear / std::chrono::January / 1};
    return static_cast<int>((thursday - jan1).count() / 7) + 1;
}

GridLayout LayoutGrid(int width, int height, const GridSizes& sizes) {
    GridLayout l;
    const GridRect least = GridMinimum(sizes);
    width = std::max(width, least.right);
    height = std::max(height, least.bottom);
    l.whole = {0, 0, width, height};
    l.title = {0, 0, width, sizes.titleHeight};
    const int button = std::min(sizes.titleHeight, width / 4);
    l.prev = {0, 0, button, sizes.titleHeight};
    l.next = {width - button, 0, width, sizes.titleHeight};
    const int top = sizes.titleHeight + sizes.headerHeight;
    l.header = {sizes.weekColumn, sizes.titleHeight, width, top};
    const int cellWidth = (width - sizes.weekColumn) / kGridColumns;
    const int cellHeight = (height - top) / kGridRows;
    for (int row = 0; row < kGridRows; ++row) {
        const int y0 = top + row * cellHeight;
        const int y1 = row == kGridRows - 1 ? height : y0 + cellHeight;
        l.weeks[static_cast<std::size_t>(row)] = {0, y0, sizes.weekColumn, y1};
        for (int column = 0; column < kGridColumns; ++column) {
            const int x0 = sizes.weekColumn + column * cellWidth;
            const int x1 = column == kGridColumns - 1 ? width : x0 + cellWidth;
            l.cells[static_cast<std::size_t>(row * kGridColumns + column)] = {x0, y0, x1, y1};
        }
    }
    return l;
}

GridRect GridMinimum(const GridSizes& sizes) {
    return {0, 0, sizes.weekColumn + kGridColumns * sizes.minCellWidth,
            sizes.titleHeight + sizes.headerHeight + kGridRows * sizes.minCellHeight};
}

GridHit HitTestGrid(const GridLayout& layout, int x, int y) {
    if (!layout.whole.Contains(x, y))
        return {};
    if (layout.prev.Contains(x, y))
        return {GridPart::Prev, -1};
    if (layout.next.Contains(x, y))
        return {GridPart::Next, -1};
    if (layout.title.Contains(x, y))
        return {GridPart::Title, -1};
    if (layout.header.Contains(x, y))
        return {GridPart::Header, -1};
    for (int row = 0; row < kGridRows; ++row) {
        if (layout.weeks[static_cast<std::size_t>(row)].Contains(x, y))
            return {GridPart::WeekNumber, row};
    }
    for (int i = 0; i < kGridCells; ++i) {
        if (layout.cells[static_cast<std::size_t>(i)].Contains(x, y))
            return {GridPart::Day, i};
    }
    return {};
}

GridDate AddMonths(GridDate day, int months) {
    const std::chrono::year_month target = day.year() / day.month() + std::chrono::months{months};
    if (target.year() < kGridFirstDay.year())
        return kGridFirstDay;
    if (target.year() > kGridLastDay.year())
        return kGridLastDay;
    const std::chrono::day last = (target / std::chrono::last).day();
    return GridDate{target / std::min(day.day(), last)};
}

GridDate AddDays(GridDate day, int count) {
    return Clamp(sys_days{day} + days{count});
}

GridDate MoveByKey(GridDate selected, GridKey key, GridDate today) {
    switch (key) {
    case GridKey::Left:
        return AddDays(selected, -1);
    case GridKey::Right:
        return AddDays(selected, 1);
    case GridKey::Up:
        return AddDays(selected, -7);
    case GridKey::Down:
        return AddDays(selected, 7);
    case GridKey::PageUp:
        return AddMonths(selected, -1);
    case GridKey::PageDown:
        return AddMonths(selected, 1);
    case GridKey::Home:
        return today;
    case GridKey::End:
        return GridDate{selected.year() / selected.month() / std::chrono::last};
    case GridKey::Other:
        break;
    }
    return selected;
}

int WheelMonths(int& pending, int delta) {
    constexpr int kNotch = 120;
    if ((pending > 0 && delta < 0) || (pending < 0 && delta > 0))
        pending = 0;
    pending += delta;
    const int notches = pending / kNotch;
    pending -= notches * kNotch;
    return -notches;
}

} // namespace quill
