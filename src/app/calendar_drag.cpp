// Moving the captionless window: a press on its background drags it; a press on the menu box opens
// the context menu instead.
#include <windows.h>

#include "app/calendar_dlg.h"
#include "interaction/placement.h"

void CCalendarDlg::OnLButtonDown(UINT, POINT point) {
    const RECT& menuBox = m_strip.MenuBox();
    if (quill::IsInMenuBox({menuBox.left, menuBox.top, menuBox.right, menuBox.bottom}, {point.x, point.y})) {
        ShowContextMenuAtBox();
        return;
    }
    m_drag.Begin({point.x, point.y});
    ::SetCapture(m_hWnd);
}

void CCalendarDlg::OnMouseMove(UINT nFlags, POINT) {
    if (!m_drag.Active())
        return;
    // The message's own point is relative to where the window was; the cursor is where it is now.
    POINT cursor{};
    ::GetCursorPos(&cursor);
    if (const auto pos = m_drag.Follow({cursor.x, cursor.y}, (nFlags & MK_LBUTTON) != 0)) {
        ::MoveWindow(m_hWnd, pos->x, pos->y, m_rcWindow.right - m_rcWindow.left,
                     m_rcWindow.bottom - m_rcWindow.top, TRUE);
    } else {
        // The button came up where this window never heard of it.
        ::ReleaseCapture();
    }
}

void CCalendarDlg::OnLButtonUp(UINT, POINT) {
    m_drag.End();
    ::ReleaseCapture();
}

void CCalendarDlg::OnCaptureChanged() {
    // Whoever took the capture has the mouse now; following it any further would be a drag nobody holds.
    m_drag.End();
}
