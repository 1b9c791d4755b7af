// Moving the captionless window: a press on its background drags it; a press on the menu box opens
// the context menu instead.
#include <windows.h>

#include "app/calendar_dlg.h"
#include "interaction/placement.h"

void CCalendarDlg::OnLButtonDown(UINT, POINT point) {
    const RECT& menuBox = m_strip.MenuBox();
    const quill::ClientRect box{menuBox.left, menuBox.top, menuBox.right, menuBox.bottom};
    if (quill::IsInMenuBox(box, {point.x, point.y})) {
        const quill::ClientPoint drop = quill::MenuDropPoint(box);
        POINT pt{drop.x, drop.y};
        ::ClientToScreen(m_hWnd, &pt);
        ShowContextMenu(pt);
        return;
    }
    m_ptDragAnchor = point;
    m_bDragging = true;
    ::SetCapture(m_hWnd);
}

void CCalendarDlg::OnMouseMove(UINT, POINT) {
    if (!m_bDragging)
        return;
    // The message's own point is relative to where the window was; the cursor is where it is now.
    POINT cursor{};
    ::GetCursorPos(&cursor);
    const quill::ScreenPoint pos =
        quill::DragPosition({cursor.x, cursor.y}, {m_ptDragAnchor.x, m_ptDragAnchor.y});
    ::MoveWindow(m_hWnd, pos.x, pos.y, m_rcWindow.right - m_rcWindow.left, m_rcWindow.bottom - m_rcWindow.top,
                 TRUE);
}

void CCalendarDlg::OnLButtonUp(UINT, POINT) {
    m_bDragging = false;
    ::ReleaseCapture();
}
