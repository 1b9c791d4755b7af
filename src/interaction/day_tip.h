// The tooltip over the days: one tracking tooltip that follows the pointer from day to day over the
// month calendar or the lunar grid, set anew only when the day under it changes, and placed beside
// the day, never over it.
#pragma once
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "almanac/almanac.h"

class DayTip {
  public:
    using TextOf = std::function<std::string(almanac::Date)>;

    DayTip() = default;
    DayTip(const DayTip&) = delete;
    DayTip& operator=(const DayTip&) = delete;
    ~DayTip();

    // The tooltip, owned by `owner`; its words come from `textOf`.
    void Create(HWND owner, TextOf textOf);
    // The month calendar's days, found by its own hit test.
    void WatchCalendar(HWND calendar);
    // The pointer is over `day` of `window`, whose cell is `cell` (client coordinates); none hides it.
    void Over(HWND window, std::optional<almanac::Date> day, const RECT& cell);
    void Hide();

  private:
    static LRESULT CALLBACK CalendarProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR data);
    void OnCalendarMouse(HWND calendar, POINT at);

    HWND m_owner = nullptr;
    HWND m_tip = nullptr;
    HWND m_calendar = nullptr;
    TextOf m_textOf;
    // What is shown now: the window and day, so a move within the day leaves the tooltip alone.
    HWND m_shownOver = nullptr;
    std::optional<almanac::Date> m_shownDay;
    std::wstring m_text;
};
