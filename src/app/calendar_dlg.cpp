// The calendar window's construction, set-up order, message switch and its two ways out.
#include "app/calendar_dlg.h"

#include <windowsx.h>

#include <ctime>

#include "app/single_instance.h"
#include "appearance/paint_geometry.h"
#include "appearance/settings_file.h"
#include "appearance/settings_limits.h"
#include "diary/date_key.h"
#include "interaction/placement_glue.h"
#include "safety/safety_win.h"
#include "ui/dpi.h"

CCalendarDlg* g_pCalendarDlg = nullptr;

namespace {

// One step of a way out or of the set-up: whatever it throws, the steps after it still run.
template <typename Step> void Attempt(Step step) {
    try {
        step();
    } catch (...) {
        ui::ReportCaught("a step of the way out");
    }
}

// Ends the boxes and menus open over the window, so that a window that was ended closes now.
void EndNestedLoops(HWND calendar) {
    // Each box opened over the window runs its own modal loop, and the window's own loop cannot end
    // before theirs do: left open, the process would live on with its window hidden and the box on
    // screen, after the session's end or an upgrade's call to close.
    ::EndMenu();
    const HWND owner = ::GetWindow(calendar, GW_OWNER);
    struct Context {
        HWND calendar;
        HWND owner;
    } context{calendar, owner};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM lParam) -> BOOL {
            const auto* c = reinterpret_cast<const Context*>(lParam);
            wchar_t cls[16] = {};
            if (window != c->calendar && window != c->owner && ::IsWindowVisible(window) &&
                ::GetClassNameW(window, cls, 16) && lstrcmpW(cls, L"#32770") == 0)
                ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&context));
}

// The About item at the foot of the system menu.
void AddAboutToSystemMenu(HWND window) {
    if (HMENU sysMenu = ::GetSystemMenu(window, FALSE)) {
        wchar_t text[128] = {};
        if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 128) > 0 && text[0]) {
            ::AppendMenuW(sysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(sysMenu, MF_STRING, IDM_ABOUTBOX, text);
        }
    }
}

// The template leaves the note box short of the window's foot; it reaches it at run time.
void StretchNoteBox(HWND window, HWND edit, int extension) {
    RECT rcEdit{};
    ::GetWindowRect(edit, &rcEdit);
    rcEdit.bottom += extension;
    ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rcEdit), 2);
    ::MoveWindow(edit, rcEdit.left, rcEdit.top, rcEdit.right - rcEdit.left, rcEdit.bottom - rcEdit.top, TRUE);
}

} // namespace

CCalendarDlg::CCalendarDlg(SingleInstance& instance, HWND parent)
    : ui::Dialog(IDD, parent), m_session([this](const SessionChanges& changes) { Show(changes); }),
      m_pInstance(&instance) {
    g_pCalendarDlg = this;
}

void CCalendarDlg::DoDataExchange() {
    m_calendar = GetDlgItem(IDC_CALENDAR);
    m_edit = GetDlgItem(IDC_EDIT);
}

BOOL CCalendarDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    DoDataExchange();
    // The template came out at the display's DPI; everything drawn here in pixels follows it.
    ui::TakeOverDpiChanges(m_hWnd);
    m_strip.SetDpi(ui::WindowDpi(m_hWnd));
    m_noteBox.Attach(m_edit);
    AttachDayKeys(m_calendar);
    AttachDayKeys(m_edit);
    DiarySession& diary = m_session.diary;
    // Before the settings place the window: with the lunar view chosen it is taller.
    m_lunar.Attach(m_hWnd, m_calendar, m_edit, [&diary](almanac::Date day) {
        return diary.GetNote(DateKeyOfDate(almanac::YearOf(day), almanac::MonthOf(day), almanac::DayOf(day)));
    });
    // The box's default limit (30,000 characters under Wine, 32,767 on Windows) would cut a long
    // paste short and refuse typing into a longer note read from the file; 0 lifts it to the most
    // a multi-line box takes.
    ::SendMessageW(m_edit, EM_SETLIMITTEXT, 0, 0);
    AddAboutToSystemMenu(m_hWnd);
    m_icons.Load(m_hWnd, ui::WindowDpi(m_hWnd));

    CalendarSettings& settings = diary.Settings();
    settings.m_nCornerRadius = kDefaultCornerRadius;
    std::unique_ptr<DiaryKeeper> keeper;
    Attempt([&] {
        keeper = std::make_unique<DiaryKeeper>(m_session.fs, TempDiaryPlace(), CurrentRun(), NarrowFromUtf16);
    });
    // Without a keeper the window shows, but this run never writes a diary it did not read.
    diary.LoadNotes(std::move(keeper), RunIsRunning);
    if (!diary.LoadSettings())
        SetDefaultSettings(settings);
    // A file written by hand or damaged may hold a size or a format the window cannot draw; values in
    // range pass as they are, so the next save writes the bytes it read.
    settings = quill::ShowableSettings(settings);
    ApplySettings(settings);
    diary.SettingsTaken();
    BuildContextMenu();
    m_contextMenu.CheckItem(quill::kCmdLunarView, m_lunar.On());
    StretchNoteBox(m_hWnd, m_edit, m_strip.Metrics().noteBoxExtension);

    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    m_strip.Layout(client.right);

    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    m_strip.ClockShownAt(now);
    // ApplySettings put today's note into the box.
    diary.ShowDay(DateKeyOfInstant(now));

    ArmClock();
    // The icon goes in at the tray timer's first tick: timers come after the first paint, so the
    // window is on screen without waiting for the notification area to take the icon.
    ::SetTimer(m_hWnd, ID_TIMER_TRAY, 10, nullptr);
    MarkNoteDays();
    m_session.Report(m_hWnd, WM_SYNC_RAN, WM_SYNC_ENDED);
    Show(diary.LoadAccount());
    m_pInstance->Publish(m_hWnd);
    return TRUE;
}

void CCalendarDlg::SaveRun() {
    DiarySession& diary = m_session.diary;
    Attempt([&] {
        // Where the window stands goes into the settings, the monitor's work area considered.
        ::GetWindowRect(m_hWnd, &m_rcWindow);
        const quill::ScreenPoint at = PlacementFor(m_hWnd, {m_rcWindow.left, m_rcWindow.top});
        diary.Settings().m_nPosX = at.x;
        diary.Settings().m_nPosY = at.y;
    });
    // A box that could not be read files nothing: its day keeps the note it had.
    std::optional<std::string> typed;
    Attempt([&] { typed = CurrentNoteText(); });
    diary.Save(typed ? std::optional<std::string_view>(*typed) : std::nullopt);
}

void CCalendarDlg::OnOK() {
    // A second start from now on waits for this one to end instead of calling it forward.
    Attempt([&] { m_pInstance->Publish(nullptr); });
    // Nothing may wake the window between its save and its end: a tray try would put the icon back.
    for (const UINT_PTR id : {ID_TIMER_CLOCK, ID_TIMER_TRAY, ID_TIMER_SESSION})
        ::KillTimer(m_hWnd, id);
    SaveRun();
    // The tray icon last, so that a window that stays open is never left without it.
    Attempt([&] { m_tray.icon.Remove(); });
    // The local save came first; the sync after it holds only a hidden process, and a sign-out
    // barely at all, and never longer than its budget.
    if (m_session.diary.WillSyncAtClose())
        ::ShowWindow(m_hWnd, SW_HIDE);
    Attempt([&] { m_session.diary.CloseSync(); });
    ui::Dialog::OnOK();
    // However the close came (the tray's menu while a box was open, the installer, a sign-out), a
    // box left open would keep the process alive with no window a later start could show.
    Attempt([&] { EndNestedLoops(m_hWnd); });
}

void CCalendarDlg::OnCancel() {
    // Escape, Alt+F4 and the close command end the widget as OK does. Ending it without saving
    // threw away the note just typed, the settings changed and the window moved: to the person at
    // the keyboard that is a lost note, whatever a journal set aside where nobody looks.
    OnOK();
}

void CCalendarDlg::OnEndSession(BOOL bEnding) {
    // Not ending: another program refused the sign-out, and the user goes on with the widget.
    if (!bEnding)
        return;
    m_session.diary.Ending();
    // Saved again, in case the query was never sent or the user typed after it.
    OnOK();
}

void CCalendarDlg::OnSysCommand(UINT nID, LPARAM) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
        ShowAboutBox();
}

INT_PTR CCalendarDlg::OnNotify(UINT id, NMHDR* header) {
    if (id == IDC_CALENDAR && header->code == MCN_SELCHANGE) {
        LRESULT result = 0;
        // Typing just before the click reaches the journal before the note is filed, while the day
        // it was typed into is still the selected one.
        NoticeTyping();
        DiarySession& diary = m_session.diary;
        if (diary.JournalPending())
            diary.WriteJournal(CurrentNoteText());
        OnSelChangeCalendar(header, &result);
        m_lunar.Refresh();
        // A journal that could not be written now is tried again after a pause.
        Show({});
        return SetMsgResult(result);
    }
    return FALSE;
}

INT_PTR CCalendarDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (msg) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            OnSysCommand(static_cast<UINT>(wParam), lParam);
            return TRUE;
        }
        return FALSE;
    case WM_PAINT:
        OnPaint();
        return TRUE;
    case WM_QUERYDRAGICON:
        // One of the few dialog messages whose answer is the procedure's own return value.
        return reinterpret_cast<INT_PTR>(m_icons.Big());
    case WM_MOUSEMOVE:
        OnMouseMove(static_cast<UINT>(wParam), pt);
        return FALSE;
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wParam), pt);
        return FALSE;
    case WM_LBUTTONUP:
        OnLButtonUp(static_cast<UINT>(wParam), pt);
        return FALSE;
    case WM_CAPTURECHANGED:
        OnCaptureChanged();
        return FALSE;
    case WM_CONTEXTMENU:
        return OnContextMenu(reinterpret_cast<HWND>(wParam), pt);
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return SetMsgResult(0);
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        // The clock's tick is answered here: the default handling has nothing to do for a timer
        // without a callback, and passing a hundred ticks a second on to it is not free.
        return wParam == ID_TIMER_CLOCK;
    case WM_DAY_MOVE:
        MoveSelection(wParam != 0, static_cast<int>(lParam));
        return TRUE;
    case WM_TRAYNOTIFY:
        return SetMsgResult(OnTrayNotify(wParam, lParam));
    case WM_HELP:
        return SetMsgResult(OnHelpInfo(reinterpret_cast<HELPINFO*>(lParam)));
    case WM_ERASEBKGND:
        return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    default:
        return OnSystemMessage(msg, wParam, lParam);
    }
}

INT_PTR CCalendarDlg::OnSystemMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SYNC_RAN: {
        // Typing in the box that is not filed yet belongs to the day it shows, and stays there.
        NoticeTyping();
        Show(m_session.diary.RunEnded(CurrentNoteText()));
        return TRUE;
    }
    case WM_SYNC_ENDED:
        Show(m_session.diary.RunFinished());
        return TRUE;
    case WM_QUERYENDSESSION:
        // Saved now, without ending: the session may still be cancelled by another program, and if
        // it ends, WM_ENDSESSION finds little left to write.
        SaveRun();
        return SetMsgResult(TRUE);
    case WM_ENDSESSION:
        OnEndSession(static_cast<BOOL>(wParam));
        return SetMsgResult(0);
    case WM_TIMECHANGE:
        // The clock was set: the wait in hand was measured against the old time.
        OnTimer(ID_TIMER_CLOCK);
        return TRUE;
    case WM_POWERBROADCAST:
        // Timers do not run while the machine sleeps; on waking the clock shows the time at once.
        if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND)
            OnTimer(ID_TIMER_CLOCK);
        return SetMsgResult(TRUE);
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
    case WM_SETTINGCHANGE:
        // Only top-level windows hear of these; the grid reads the system's colours as it paints.
        m_lunar.SystemColorsChanged();
        return FALSE;
    default:
        // Registered at run time, so it cannot be a case of its own.
        if (msg == SingleInstance::ComeForwardMessage()) {
            ComeForward();
            return TRUE;
        }
        if (msg == TrayIcon::TaskbarCreatedMessage()) {
            m_tray.OnTaskbarCreated(m_hWnd, ID_TIMER_TRAY);
            return TRUE;
        }
        return ui::Dialog::OnMessage(msg, wParam, lParam);
    }
}
