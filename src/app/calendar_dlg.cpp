// The calendar window's construction, set-up order, message switch and its two ways out.
#include "app/calendar_dlg.h"

#include <commctrl.h>
#include <windowsx.h>

#include <ctime>

#include "ui/text.h"

CCalendarDlg* g_pCalendarDlg = nullptr;

CCalendarDlg::CCalendarDlg(HWND parent) : ui::Dialog(IDD, parent) {
    m_bShowBalloon = false;
    m_timeShown = 0;
    m_hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    g_pCalendarDlg = this;
}

CCalendarDlg::~CCalendarDlg() = default;

void CCalendarDlg::DoDataExchange() {
    m_calendar = GetDlgItem(IDC_CALENDAR);
    m_edit = GetDlgItem(IDC_EDIT);
}

BOOL CCalendarDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    DoDataExchange();

    if (HMENU sysMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        wchar_t text[128] = {};
        if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 128) > 0 && text[0]) {
            ::AppendMenuW(sysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(sysMenu, MF_STRING, IDM_ABOUTBOX, text);
        }
    }

    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_bDragging = false;
    m_nTitleHeight = 23;

    LoadNotesOrFirstNote();
    LoadSettingsOrDefaults();
    ApplySettings();
    BuildContextMenu();

    // The template leaves the note box short of the window's foot; it reaches it at run time.
    RECT rcEdit{};
    ::GetWindowRect(m_edit, &rcEdit);
    rcEdit.bottom += 13;
    ::MapWindowPoints(HWND_DESKTOP, m_hWnd, reinterpret_cast<POINT*>(&rcEdit), 2);
    ::MoveWindow(m_edit, rcEdit.left, rcEdit.top, rcEdit.right - rcEdit.left, rcEdit.bottom - rcEdit.top, TRUE);

    ::GetClientRect(m_hWnd, &m_rcWindow);
    RECT rcClient{};
    ::GetClientRect(m_hWnd, &rcClient);
    m_rcTitle = RECT{0, 0, rcClient.right, m_nTitleHeight};
    m_rcMenuButton = RECT{0, 0, 17, m_nTitleHeight + 1};

    m_timeShown = static_cast<std::int64_t>(std::time(nullptr));
    m_strDateKey = DateKeyOfInstant(m_timeShown);

    ::SetTimer(m_hWnd, 1, 10, nullptr);
    InstallTrayIcon(m_bShowBalloon);
    MarkNoteDays();
    return TRUE;
}

void CCalendarDlg::OnOK() {
    RemoveTrayIcon();
    StoreCurrentNote();
    SaveSettingsOnClose();
    SaveNotesOnClose();
    ui::Dialog::OnOK();
}

void CCalendarDlg::OnCancel() {
    // Escape is a discard: nothing of this run is written.
    RemoveTrayIcon();
    ui::Dialog::OnCancel();
}

void CCalendarDlg::OnEndSession(BOOL) {
    // Saved whether or not the session really ends: the window closes either way.
    OnOK();
}

void CCalendarDlg::OnSysCommand(UINT nID, LPARAM) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
        ShowAboutBox();
}

HICON CCalendarDlg::OnQueryDragIcon() { return m_hIcon; }

INT_PTR CCalendarDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            OnSysCommand(static_cast<UINT>(wParam), lParam);
            return TRUE;
        }
        return FALSE;
    case WM_QUERYDRAGICON:
        // One of the few dialog messages whose answer is the procedure's own return value.
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_QUERYENDSESSION:
        return SetMsgResult(TRUE);
    case WM_ENDSESSION:
        OnEndSession(static_cast<BOOL>(wParam));
        return FALSE;
    default:
        return ui::Dialog::OnMessage(msg, wParam, lParam);
    }
}

BOOL CCalendarDlg::OnCommand(WPARAM wParam, LPARAM lParam) { return ui::Dialog::OnCommand(wParam, lParam); }
