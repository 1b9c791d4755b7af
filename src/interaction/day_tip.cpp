// The tooltip over the days of either view.
#include "interaction/day_tip.h"

#include <commctrl.h>
#include <windowsx.h>

#include "ui/common_controls.h"
#include "ui/text.h"

namespace {

constexpr UINT_PTR kSubclassId = 0x4C54; // the calendar's subclass, ours alone
constexpr UINT_PTR kToolId = 1;

// The monitor's work area around `at`, where the tooltip must stay.
RECT WorkAreaAt(POINT at) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(::MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcWork;
}

} // namespace

DayTip::~DayTip() {
    if (m_calendar)
        ui::RemoveWindowSubclass(m_calendar, &DayTip::CalendarProc, kSubclassId);
    if (m_tip)
        ::DestroyWindow(m_tip);
}

void DayTip::Create(HWND owner, TextOf textOf) {
    m_textOf = std::move(textOf);
    m_owner = owner;
    m_tip = ::CreateWindowExW(
        WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!m_tip)
        return;
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    // Tracked: the tooltip goes where it is told, when it is told, and never pops by itself.
    ti.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    ti.hwnd = owner;
    ti.uId = kToolId;
    ti.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(m_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    // A width makes it take the lines as lines.
    ::SendMessageW(m_tip, TTM_SETMAXTIPWIDTH, 0, 600);
}

void DayTip::WatchCalendar(HWND calendar) {
    if (ui::SetWindowSubclass(calendar, &DayTip::CalendarProc, kSubclassId,
                              reinterpret_cast<DWORD_PTR>(this)))
        m_calendar = calendar;
}

LRESULT CALLBACK DayTip::CalendarProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR data) {
    auto* self = reinterpret_cast<DayTip*>(data);
    switch (msg) {
    case WM_MOUSEMOVE:
        self->OnCalendarMouse(window, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        break;
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_SHOWWINDOW:
        self->Hide();
        break;
    case WM_NCDESTROY:
        self->Hide();
        ui::RemoveWindowSubclass(window, &DayTip::CalendarProc, kSubclassId);
        self->m_calendar = nullptr;
        break;
    default:
        break;
    }
    return ui::DefSubclassProc(window, msg, wParam, lParam);
}

void DayTip::OnCalendarMouse(HWND calendar, POINT at) {
    MCHITTESTINFO hit{};
    hit.cbSize = sizeof hit;
    hit.pt = at;
    const auto part = static_cast<UINT>(MonthCal_HitTest(calendar, &hit));
    // Only the month's own days: a leading or trailing one is the calendar's way to another month.
    if (part != MCHT_CALENDARDATE) {
        Over(calendar, std::nullopt, {});
        return;
    }
    const auto day = almanac::MakeDate(hit.st.wYear, hit.st.wMonth, hit.st.wDay);
    RECT cell = hit.rc;
    if (cell.right <= cell.left || cell.bottom <= cell.top) {
        // A calendar that leaves the day's rectangle out (older comctl32, some Wine builds): a cell's
        // size from the calendar's seven columns and eight rows around the pointer.
        RECT client{};
        ::GetClientRect(calendar, &client);
        const int w = (client.right - client.left) / 8;
        const int h = (client.bottom - client.top) / 9;
        cell = {at.x - w / 2, at.y - h / 2, at.x + w / 2, at.y + h / 2};
    }
    Over(calendar, day, cell);
}

void DayTip::Over(HWND window, std::optional<almanac::Date> day, const RECT& cell) {
    if (!m_tip)
        return;
    if (!day) {
        Hide();
        return;
    }
    if (window == m_shownOver && day == m_shownDay)
        return;
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = window;
    ::TrackMouseEvent(&track);

    m_text = ui::Wide(m_textOf ? m_textOf(*day) : std::string());
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = m_owner;
    ti.uId = kToolId;
    ti.lpszText = m_text.data();
    ::SendMessageW(m_tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));

    // Below the day, or above it where the screen ends; shifted left to stay on the monitor.
    POINT corners[2] = {{cell.left, cell.top}, {cell.right, cell.bottom}};
    ::MapWindowPoints(window, HWND_DESKTOP, corners, 2);
    const LRESULT size = ::SendMessageW(m_tip, TTM_GETBUBBLESIZE, 0, reinterpret_cast<LPARAM>(&ti));
    const int width = LOWORD(size);
    const int height = HIWORD(size);
    const RECT work = WorkAreaAt(corners[0]);
    int x = corners[0].x;
    int y = corners[1].y + 2;
    if (y + height > work.bottom)
        y = corners[0].y - height - 2;
    if (x + width > work.right)
        x = work.right - width;
    if (x < work.left)
        x = work.left;
    ::SendMessageW(m_tip, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
    if (!m_shownDay)
        ::SendMessageW(m_tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
    m_shownOver = window;
    m_shownDay = day;
}

void DayTip::Hide() {
    if (!m_tip || !m_shownDay)
        return;
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = m_owner;
    ti.uId = kToolId;
    ::SendMessageW(m_tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
    m_shownDay.reset();
    m_shownOver = nullptr;
}
