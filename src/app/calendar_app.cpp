// Start-up: the owner dialog runs the calendar window from its own initialisation and ends
// before its modal loop begins, so the owner is never shown.
#include "app/calendar_app.h"

#include "app/calendar_dlg.h"
#include "app/single_instance.h"
#include "res/resource.h"
#include "ui/common_controls.h"

BOOL CCalendarApp::InitInstance() {
    // First of all, before any file is read: a second copy on this temporary folder would edit the
    // same notes, and whichever closed last would overwrite what the other had saved.
    SingleInstance instance;
    if (!instance.Claim())
        return FALSE;

    // The month-calendar class of the calendar template comes from here.
    ui::InitCommonControls(ICC_DATE_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES);

    CParent owner(instance);
    owner.DoModal();
    return FALSE;
}

CParent::CParent(SingleInstance& instance, HWND parent)
    : ui::Dialog(IDD_PARENT, parent), m_pInstance(&instance) {}

BOOL CParent::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    // Dialogs made without a parent are owned by this still invisible window: an owned window
    // gets no taskbar button.
    ui::Dialog::s_mainWnd = m_hWnd;
    {
        CCalendarDlg dlg(*m_pInstance);
        dlg.DoModal();
    }
    // Ending the owner inside its own initialisation keeps the dialog manager from ever showing it.
    OnCancel();
    ui::Dialog::s_mainWnd = nullptr;
    return TRUE;
}
