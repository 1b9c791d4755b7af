// The link control's behaviour. Leaving is found by polling the cursor every 100 ms, so a pointer
// that leaves with a button held down still turns the link back to normal.
#include "interaction/link_static.h"

#include <shellapi.h>

#include "res/resource.h"
#include "ui/common_controls.h"
#include "ui/dpi.h"
#include "ui/text.h"

namespace {

HFONT MakeLinkFont(bool hovered, int dpi) {
    const quill::LinkFont f = quill::LinkFontFor(hovered, dpi);
    return ::CreateFontW(f.height, 0, 0, 0, f.weight, FALSE, f.underline ? TRUE : FALSE, FALSE, 0, 0, 0, 0, 0,
                         ui::Wide(f.face).c_str());
}

} // namespace

CLinkStatic::~CLinkStatic() {
    if (m_hWnd && ::IsWindow(m_hWnd))
        ui::RemoveWindowSubclass(m_hWnd, &CLinkStatic::SubclassProc, 0);
}

void CLinkStatic::SubclassDlgItem(int id, HWND dialog) {
    m_hWnd = ::GetDlgItem(dialog, id);
    if (!m_hWnd)
        return;
    PreSubclassWindow();
    ui::SetWindowSubclass(m_hWnd, &CLinkStatic::SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

void CLinkStatic::ApplyLook(const quill::LinkLook& look) {
    m_crNormalText = look.normal.text;
    m_crHoverText = look.hover.text;
    m_crNormalBack = look.normal.back;
    m_crHoverBack = look.hover.back;
    m_crNormalBorder = look.normal.border;
    m_crHoverBorder = look.hover.border;
    m_nRadius = look.radius;
}

quill::LinkLook CLinkStatic::CurrentLook() const {
    quill::LinkLook look;
    look.normal = {m_crNormalText, m_crNormalBack, m_crNormalBorder};
    look.hover = {m_crHoverText, m_crHoverBack, m_crHoverBorder};
    look.radius = m_nRadius;
    return look;
}

void CLinkStatic::PreSubclassWindow() {
    // The box's corners and the fonts are sized for the display the About box opened on.
    const int dpi = ui::WindowDpi(m_hWnd);
    ApplyLook(quill::InitialLinkLook(dpi));
    m_bHover = false;
    m_strURL.clear();
    m_toolTip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, m_hWnd, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    m_pFontNormal.reset(MakeLinkFont(false, dpi));
    m_pFontHover.reset(MakeLinkFont(true, dpi));
}

void CLinkStatic::SetToolTipText(const std::string& text) {
    if (!m_toolTip)
        return;
    ::SendMessageW(m_toolTip, TTM_ACTIVATE, TRUE, 0);
    std::wstring wide = ui::Wide(text);
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    // The tooltip subclasses the control and relays its mouse messages itself: a dialog's modal loop
    // offers no hook where the control could pass them on.
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = ::GetParent(m_hWnd);
    ti.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
    ti.lpszText = wide.data();
    ::SendMessageW(m_toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void CLinkStatic::SetLinkStyle(int preset) {
    ApplyLook(quill::ApplyLinkPreset(CurrentLook(), preset, ::GetSysColor(COLOR_BTNFACE)));
    Redraw();
}

void CLinkStatic::Redraw() {
    ::UpdateWindow(m_hWnd);
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

HBRUSH CLinkStatic::CtlColor(HDC dc) const {
    ::SetTextColor(dc, m_bHover ? m_crHoverText : m_crNormalText);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

LRESULT CALLBACK CLinkStatic::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                           DWORD_PTR self) {
    auto* link = reinterpret_cast<CLinkStatic*>(self);
    if (msg == WM_NCDESTROY) {
        ui::RemoveWindowSubclass(hwnd, &CLinkStatic::SubclassProc, 0);
        link->m_hWnd = nullptr;
        return ui::DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    return link->OnMessage(msg, wParam, lParam);
}

LRESULT CLinkStatic::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_MOUSEMOVE: {
        const quill::LinkEffects fx = m_hover.OnMouseMove();
        m_bHover = m_hover.IsHovered();
        if (fx.setHoverFont)
            ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_pFontHover.get()), TRUE);
        if (fx.startTimer)
            ::SetTimer(m_hWnd, quill::kLinkLeaveTimerId, quill::kLinkLeavePeriodMs, nullptr);
        break;
    }
    case WM_TIMER: {
        RECT rc{};
        ::GetWindowRect(m_hWnd, &rc);
        POINT cursor{};
        ::GetCursorPos(&cursor);
        const quill::LinkEffects fx = m_hover.OnTimer(
            static_cast<unsigned>(wParam), {rc.left, rc.top, rc.right, rc.bottom}, {cursor.x, cursor.y});
        if (fx.setNormalFont)
            ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_pFontNormal.get()), TRUE);
        m_bHover = m_hover.IsHovered();
        if (fx.killTimer)
            ::KillTimer(m_hWnd, quill::kLinkLeaveTimerId);
        if (fx.redraw)
            Redraw();
        break;
    }
    case WM_SETCURSOR:
        ::SetCursor(::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LINKHAND)));
        return FALSE;
    case WM_ERASEBKGND: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        RECT rc{};
        ::GetWindowRect(m_hWnd, &rc);
        ::MapWindowPoints(HWND_DESKTOP, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        m_rcLink = rc;
        const COLORREF border = m_bHover ? m_crHoverBorder : m_crNormalBorder;
        const COLORREF back = m_bHover ? m_crHoverBack : m_crNormalBack;
        ui::Pen pen(::CreatePen(PS_SOLID, 1, border));
        ui::Brush brush(::CreateSolidBrush(back));
        {
            ui::SelectGuard selPen(dc, pen.get());
            ui::SelectGuard selBrush(dc, brush.get());
            ::BeginPath(dc);
            ::RoundRect(dc, m_rcLink.left, m_rcLink.top, m_rcLink.right, m_rcLink.bottom, m_nRadius,
                        m_nRadius);
            ::EndPath(dc);
            ::StrokeAndFillPath(dc);
        }
        ::SetBkColor(dc, back);
        return ui::DefSubclassProc(m_hWnd, msg, wParam, lParam);
    }
    case WM_LBUTTONUP:
        if (!m_strURL.empty())
            ::ShellExecuteW(nullptr, L"open", ui::Wide(m_strURL).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        break;
    default:
        break;
    }
    return ui::DefSubclassProc(m_hWnd, msg, wParam, lParam);
}
