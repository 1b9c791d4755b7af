// The lunar view: a month grid of the program's own in the month calendar's place, each day with its
// lunar day, term or festival and its 休/班 mark, and the tooltip over the days of either view. The
// month calendar stays underneath as the one record of the selected day: the grid reads the day from
// it and files a pick through it, as a click on the calendar would.
#pragma once
#include <windows.h>

#include <array>
#include <functional>
#include <string>

#include "almanac/almanac.h"
#include "appearance/color_scheme.h"
#include "interaction/day_tip.h"
#include "interaction/lunar_grid_accessible.h"
#include "interaction/month_grid.h"
#include "interaction/view_choice.h"
#include "ui/handle.h"

class LunarView : private GridAccessSource {
  public:
    // A day's note, empty when it has none.
    using NoteOf = std::function<std::string(almanac::Date)>;

    LunarView() = default;
    LunarView(const LunarView&) = delete;
    LunarView& operator=(const LunarView&) = delete;
    ~LunarView();

    // The tooltip for both views and the grid, shown at once when the view's file chose it. The
    // window may grow to hold the grid; the caller shapes its outline after this.
    void Attach(HWND dialog, HWND calendar, HWND edit, NoteOf noteOf);
    bool On() const { return m_choice.lunar; }
    // The other view, kept in the view's file; the selected day and the note box stay.
    void Toggle();
    void SetColors(const quill::ColorScheme& scheme);
    // The selected day or the days with notes changed.
    void Refresh();
    // The system's colours or high contrast changed: the grid repaints with them at once.
    void SystemColorsChanged();
    // The window met another DPI and scaled the calendar and the note box by `newDpi / oldDpi`.
    void DpiChanged(int oldDpi, int newDpi);

  private:
    static LRESULT CALLBACK GridProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnGridMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void Show(bool on);
    // The window grown (or given back) by what the grid needs beyond the calendar's height.
    void Fit();
    void MakeFonts();
    void Paint(HDC dc, const RECT& client);
    quill::GridLayout Layout() const;
    std::chrono::weekday FirstDay() const;
    almanac::Date Selected() const;
    almanac::Date Today() const;
    // Selects the day through the month calendar and tells the window, as a click on the calendar does.
    void Select(almanac::Date day);
    void OnKey(UINT key);
    void OnMouseMove(POINT at);
    void SaveChoice() const;
    // The selected day's name is the grid's own name, and the selection and the focus move to its
    // cell for a screen reader.
    void Announce();
    // The cell of the selected day, as the reader counts them.
    long SelectedChild() const;
    // The days of the month the grid shows.
    std::array<almanac::Date, quill::kGridCells> ShownDays() const;

    // GridAccessSource
    int CellCount() const override { return quill::kGridCells; }
    std::wstring GridName() const override;
    std::wstring CellName(int cell) const override;
    RECT CellRect(int cell) const override;
    int SelectedCell() const override;
    bool GridHasFocus() const override { return m_grid && ::GetFocus() == m_grid; }
    void SelectCell(int cell) override;

    HWND m_dialog = nullptr;
    HWND m_calendar = nullptr;
    HWND m_edit = nullptr;
    HWND m_grid = nullptr;
    NoteOf m_noteOf;
    // The built-in years and the holidays file's, read at start.
    almanac::HolidaySchedule m_schedule = almanac::HolidaySchedule::BuiltIn();
    // Made at a reader's first request; told when the grid goes.
    LunarGridAccessible* m_accessible = nullptr;
    DayTip m_tip;
    quill::ColorScheme m_scheme = quill::StartupColors();
    quill::ViewChoice m_choice;
    int m_dpi = 96;
    // Pixels the window grew by for the grid; given back when the calendar returns.
    int m_grown = 0;
    int m_wheel = 0;
    ui::Font m_fontNumber;
    ui::Font m_fontBold;
    ui::Font m_fontCaption;
    ui::Font m_fontBadge;
    ui::Font m_fontTitle;
    ui::Font m_fontHead;
};
