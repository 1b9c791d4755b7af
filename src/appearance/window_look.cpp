// The calendar window's own look: colour scheme, outline, title font, and the paint handler.
#include <windows.h>

#include "app/calendar_dlg.h"
#include "appearance/color_scheme.h"
#include "appearance/font_glue.h"
#include "appearance/paint_geometry.h"
#include "interaction/placement_glue.h"
#include "ui/text.h"

namespace {

RECT ToRect(const quill::ClientRect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

quill::ClientRect ToClientRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

TRIVERTEX ToVertex(const quill::GradientVertex& v) {
    TRIVERTEX t{};
    t.x = v.x;
    t.y = v.y;
    t.Red = v.red;
    t.Green = v.green;
    t.Blue = v.blue;
    t.Alpha = v.alpha;
    return t;
}

} // namespace

void CCalendarDlg::RedrawWhole() {
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CCalendarDlg::SetColorScheme(int scheme) {
    m_settings.m_nColorScheme = scheme;
    if (auto colors = quill::FindColorScheme(scheme)) {
        m_crBack = colors->back;
        m_crAccent = colors->accent;
        m_crText = colors->text;
    }
    MonthCal_SetColor(m_calendar, MCSC_BACKGROUND, m_crBack);
    MonthCal_SetColor(m_calendar, MCSC_MONTHBK, m_crBack);
    MonthCal_SetColor(m_calendar, MCSC_TEXT, m_crText);
    MonthCal_SetColor(m_calendar, MCSC_TITLEBK, m_crAccent);
    MonthCal_SetColor(m_calendar, MCSC_TITLETEXT, m_crBack);
    MonthCal_SetColor(m_calendar, MCSC_TRAILINGTEXT, m_crBack);
    m_penAccent.reset(::CreatePen(PS_SOLID, 1, m_crAccent));
    m_penText.reset(::CreatePen(PS_SOLID, 1, m_crText));
    m_brAccent.reset(::CreateSolidBrush(m_crAccent));
}

void CCalendarDlg::SetCornerStyle(int style) {
    m_settings.m_nCornerStyle = style;
    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    const quill::CornerRegion shape =
        quill::CornerRegionFor(style, rc.right - rc.left, rc.bottom - rc.top, m_settings.m_nCornerRadius);
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
    const quill::ScreenRect desktop = DesktopRect();
    if (!quill::IsPointOnDesktop(desktop, {settings.m_nPosX, settings.m_nPosY})) {
        const quill::ScreenPoint centred = quill::CenterOnDesktop(desktop, ToScreenRect(m_rcWindow));
        settings.m_nPosX = centred.x;
        settings.m_nPosY = centred.y;
    }
    ::MoveWindow(m_hWnd, settings.m_nPosX, settings.m_nPosY, m_rcWindow.right - m_rcWindow.left,
                 m_rcWindow.bottom - m_rcWindow.top, TRUE);
    SetColorScheme(settings.m_nColorScheme);
    SetCornerStyle(settings.m_nCornerStyle);
    const LOGFONTW lf = ToLogFontW(settings.m_lfFont);
    m_fontTitle.reset(::CreateFontIndirectW(&lf));
    ::SetWindowTextW(m_edit, ui::Wide(GetNote(GetSelectedDateKey())).c_str());
    RedrawWhole();
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
    {
        ui::Brush back(::CreateSolidBrush(m_crBack));
        ::FillRect(dc, &rcClient, back.get());
    }

    if (auto gradient =
            quill::TitleGradientFor(m_settings.m_nGradient, m_crBack, m_crAccent, ToClientRect(m_rcTitle))) {
        TRIVERTEX vertices[2] = {ToVertex(gradient->start), ToVertex(gradient->end)};
        GRADIENT_RECT rect{0, 1};
        ::GradientFill(dc, vertices, 2, &rect, 1,
                       gradient->direction == quill::GradientDirection::Vertical ? GRADIENT_FILL_RECT_V
                                                                                 : GRADIENT_FILL_RECT_H);
    }

    {
        ui::SelectGuard font(dc, m_fontTitle.get());
        ui::SelectGuard pen(dc, m_penText.get());
        ui::SelectGuard brush(dc, m_brAccent.get());

        ::FrameRect(dc, &rcClient, m_brAccent.get());
        ::FrameRect(dc, &m_rcMenuButton, m_brAccent.get());

        const auto corners = quill::MenuTriangle();
        POINT triangle[3];
        for (int i = 0; i < 3; ++i)
            triangle[i] = POINT{corners[i].x, corners[i].y};
        ::Polygon(dc, triangle, 3);

        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, m_crText);
        const std::wstring text = ui::Wide(FormatClockText(m_settings.m_nTimeFormat, true));
        RECT rcText = ToRect(
            quill::ClockTextRect(ToClientRect(m_rcTitle), m_settings.m_lfFont.lfHeight, m_nTitleHeight));
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rcText, DT_CENTER | DT_TOP);

        ui::SelectGuard line(dc, m_penAccent.get());
        const quill::LineSegment under = quill::StripUnderline(ToClientRect(m_rcTitle));
        ::MoveToEx(dc, under.from.x, under.from.y, nullptr);
        ::LineTo(dc, under.to.x, under.to.y);
    }
    ::EndPaint(m_hWnd, &ps);

    ::RedrawWindow(m_edit, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}
