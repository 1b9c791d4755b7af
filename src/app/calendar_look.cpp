// The calendar window's own look: colour scheme, outline, settings applied, the paint handler, and the
// whole window scaled when it meets a display of another DPI.
#include <windows.h>

#include "app/calendar_dlg.h"
#include "appearance/clock.h"
#include "appearance/clock_format.h"
#include "appearance/color_scheme.h"
#include "appearance/paint_geometry.h"
#include "interaction/placement_glue.h"
#include "ui/text.h"

void CCalendarDlg::SetColorScheme(int scheme) {
    m_session.diary.Settings().m_nColorScheme = scheme;
    m_strip.SetScheme(scheme);
    MonthCal_SetColor(m_calendar, MCSC_BACKGROUND, m_strip.Back());
    MonthCal_SetColor(m_calendar, MCSC_MONTHBK, m_strip.Back());
    MonthCal_SetColor(m_calendar, MCSC_TEXT, m_strip.Text());
    MonthCal_SetColor(m_calendar, MCSC_TITLEBK, m_strip.Accent());
    MonthCal_SetColor(m_calendar, MCSC_TITLETEXT, m_strip.Back());
    MonthCal_SetColor(m_calendar, MCSC_TRAILINGTEXT, m_strip.Back());
    m_lunar.SetColors({m_strip.Back(), m_strip.Accent(), m_strip.Text()});
}

void CCalendarDlg::SetCornerStyle(int style) {
    m_session.diary.Settings().m_nCornerStyle = style;
    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    const quill::CornerRegion shape = quill::CornerRegionFor(
        style, rc.right - rc.left, rc.bottom - rc.top,
        quill::ScaleForDpi(m_session.diary.Settings().m_nCornerRadius, m_strip.Metrics().dpi));
    HRGN region = shape.kind == quill::RegionKind::RoundRect
                      ? ::CreateRoundRectRgn(shape.rect.left, shape.rect.top, shape.rect.right,
                                             shape.rect.bottom, shape.ellipseWidth, shape.ellipseHeight)
                      : ::CreateRectRgn(shape.rect.left, shape.rect.top, shape.rect.right, shape.rect.bottom);
    // The window owns the region once SetWindowRgn accepts it; on refusal it is still ours.
    if (region && !::SetWindowRgn(m_hWnd, region, TRUE))
        ::DeleteObject(region);
}

void CCalendarDlg::ApplySettings(CalendarSettings& settings) {
    ::GetWindowRect(m_hWnd, &m_rcWindow);
    const quill::ScreenPoint at = PlacementFor(m_hWnd, {settings.m_nPosX, settings.m_nPosY});
    settings.m_nPosX = at.x;
    settings.m_nPosY = at.y;
    ::MoveWindow(m_hWnd, at.x, at.y, m_rcWindow.right - m_rcWindow.left, m_rcWindow.bottom - m_rcWindow.top,
                 TRUE);
    ::GetWindowRect(m_hWnd, &m_rcWindow);
    SetColorScheme(settings.m_nColorScheme);
    SetCornerStyle(settings.m_nCornerStyle);
    m_strip.SetFont(settings.m_lfFont);
    ::SetWindowTextW(m_edit, ui::Wide(m_session.diary.GetNote(GetSelectedDateKey())).c_str());
    RedrawWhole(m_hWnd);
}

BOOL CCalendarDlg::OnEraseBkgnd(HDC) {
    // The paint handler covers the whole client area; the default erase is left as it is.
    return FALSE;
}

void CCalendarDlg::OnPaint() {
    PAINTSTRUCT ps{};
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    if (!dc)
        return;
    RECT rcClient{};
    ::GetClientRect(m_hWnd, &rcClient);
    const CalendarSettings& settings = m_session.diary.Settings();
    // The same table the tick reads: the menu's item texts are made from it too.
    const std::string_view clock = m_strip.ShownText(
        quill::ClockNowSeconds(), quill::ClockPatternFor(settings.m_nTimeFormat, settings.m_strCustomFormat));
    m_strip.Paint(dc, rcClient, settings, ui::Wide(std::string(clock)));
    ::EndPaint(m_hWnd, &ps);

    // The fill above may have covered the note box; the clock's paint, once a second, never reaches
    // it, and repainting the box then would double the cost of every tick that changes the text.
    RECT rcEdit{};
    ::GetWindowRect(m_edit, &rcEdit);
    ::MapWindowPoints(HWND_DESKTOP, m_hWnd, reinterpret_cast<POINT*>(&rcEdit), 2);
    RECT overlap{};
    if (::IntersectRect(&overlap, &rcEdit, &ps.rcPaint))
        ::RedrawWindow(m_edit, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CCalendarDlg::OnDpiChanged(int dpi, const RECT& suggested) {
    m_icons.Load(m_hWnd, dpi);
    const int old = m_strip.Metrics().dpi;
    // The controls' font first: the month calendar sizes its cells from it.
    HFONT current = reinterpret_cast<HFONT>(::SendMessageW(m_calendar, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    if (current && ::GetObjectW(current, sizeof lf, &lf) == sizeof lf) {
        lf.lfHeight = quill::RescaleForDpi(lf.lfHeight, old, dpi);
        ui::Font scaled(::CreateFontIndirectW(&lf));
        if (scaled) {
            for (HWND control : {m_calendar, m_edit})
                ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(scaled.get()), FALSE);
            // The controls hold the old font until now; it is deleted only after they let go of it.
            m_dialogFont = std::move(scaled);
        }
    }
    for (HWND control : {m_calendar, m_edit}) {
        RECT r{};
        ::GetWindowRect(control, &r);
        ::MapWindowPoints(HWND_DESKTOP, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        const auto scale = [&](LONG v) { return quill::RescaleForDpi(static_cast<int>(v), old, dpi); };
        ::MoveWindow(control, scale(r.left), scale(r.top), scale(r.right) - scale(r.left),
                     scale(r.bottom) - scale(r.top), FALSE);
    }
    ::SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ::GetWindowRect(m_hWnd, &m_rcWindow);
    m_strip.SetDpi(dpi);
    m_lunar.DpiChanged(old, dpi);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    m_strip.Layout(client.right);
    SetCornerStyle(m_session.diary.Settings().m_nCornerStyle);
    // A month calendar given a new font lays itself out again and forgets the bold days.
    MarkNoteDays();
    // A drag carried across the monitors' border keeps the same point of the window under the cursor.
    m_drag.Rescale(old, dpi);
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}
