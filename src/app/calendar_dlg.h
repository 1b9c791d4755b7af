// The calendar window: title strip with clock and menu box, month calendar, note box.
// Declared and defined in app/, one file per side of the window:
//   calendar_dlg.cpp          construction, OnInitDialog, OnOK, OnCancel, OnEndSession, the message switch
//   calendar_days.cpp         day selection, bold days
//   calendar_notes.cpp        the note box's typing, the session's changes shown, its timer
//   calendar_settings_io.cpp  the settings' defaults and the window's place in them
//   calendar_look.cpp         colours, outline, painting, DPI changes
//   calendar_clock.cpp        the timers: clock tick, session, tray tries
//   calendar_menu.cpp         context menu and its commands, title font, Help, About box
//   calendar_drag.cpp         dragging
//   calendar_tray.cpp         tray icon
//   calendar_sync.cpp         the sync's dialog, tip and messages
// The diary itself (notes, keeper, journal, settings record, the sync's schedule) is the diary
// session's (calendar_session.h, over session/diary_session.h): the window paints and forwards. The
// parts it holds are small classes, each with its own state and Win32 calls: the title strip, the
// note box, the context menu, the tray icon, the icons and the lunar view (with the tooltip over
// the days of both views).
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/calendar_session.h"
#include "app/calendar_tray.h"
#include "app/window_icons.h"
#include "appearance/title_strip.h"
#include "diary/day_keys.h"
#include "diary/note_box.h"
#include "interaction/context_menu.h"
#include "interaction/lunar_view.h"
#include "interaction/placement.h"
#include "interaction/tray_record.h"
#include "res/resource.h"
#include "ui/dialog.h"
#include "ui/handle.h"

class SingleInstance;

// The tray's message and icon id, as the tray's record defines them.
inline constexpr UINT WM_TRAYNOTIFY = quill::kTrayCallbackMessage;
inline constexpr UINT ID_TRAYICON = quill::kTrayIconId;
// The clock wakes at the changes of its text; the others run only while they have work.
inline constexpr UINT_PTR ID_TIMER_CLOCK = 1;
inline constexpr UINT_PTR ID_TIMER_TRAY = 2;
// The session's: the journal after a pause in the typing, the sync when it is due.
inline constexpr UINT_PTR ID_TIMER_SESSION = 3;
// The sync's thread says its run's outcome waits, and later that the thread has ended.
inline constexpr UINT WM_SYNC_RAN = WM_APP + 20;
inline constexpr UINT WM_SYNC_ENDED = WM_APP + 21;

class CCalendarDlg : public ui::Dialog {
  public:
    enum { IDD = IDD_CALENDAR };

    // The window tells `instance` where it is, so that a later start can call it forward.
    explicit CCalendarDlg(SingleInstance& instance, HWND parent = nullptr);

  protected:
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCommand(UINT id, UINT code, HWND control) override;
    INT_PTR OnNotify(UINT id, NMHDR* header) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

  private:
    void DoDataExchange();

    // Shell (calendar_dlg.cpp).
    // Messages of the shell, the system and the sync's thread, outside the window's own handlers.
    INT_PTR OnSystemMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnEndSession(BOOL bEnding);
    // The notes, the journal and the settings, as the window's ways out save them; the window stays.
    void SaveRun();

    // Diary (calendar_days.cpp, calendar_notes.cpp).
    std::string GetSelectedDateKey();
    std::string CurrentNoteText();
    void StoreCurrentNote();
    void MarkNoteDays();
    void OnSelChangeCalendar(NMHDR* pNMHDR, LRESULT* pResult);
    // A day key, or the date changing at midnight: the calendar is set to the day and the note box
    // follows as after a click. `toToday` or a number of days from the selected one.
    void MoveSelection(bool toToday, int days);
    // At a tick of the clock whose last look was at `lastLooked`: past midnight, the selection
    // follows the new today unless typing waits to be filed.
    void FollowDate(std::int64_t lastLooked, std::int64_t now);
    // The box's modified flag, taken down and told to the session.
    void NoticeTyping();
    // What a command of the session changed, shown; its timer set when it must be.
    void Show(const SessionChanges& changes);

    // Settings, look and timers (calendar_settings_io.cpp, calendar_look.cpp, calendar_clock.cpp).
    void SetDefaultSettings(CalendarSettings& settings);
    void ApplySettings(CalendarSettings& settings);
    void SetColorScheme(int scheme);
    void SetCornerStyle(int style);
    void ChooseTitleFont();
    void OnPaint();
    BOOL OnEraseBkgnd(HDC hdc);
    // The window met a display of another DPI: `suggested` is where the system wants it at that DPI.
    void OnDpiChanged(int dpi, const RECT& suggested);
    void OnTimer(UINT_PTR nIDEvent);
    // Sets the clock's timer to just after the next change of its text, from the system time now.
    void ArmClock();

    // Menu, dragging, tray (calendar_menu.cpp, calendar_drag.cpp, calendar_tray.cpp).
    void BuildContextMenu();
    void ShowContextMenu(POINT ptScreen);
    // The menu dropped from the menu box, as a click on the box opens it.
    void ShowContextMenuAtBox();
    // Shift+F10 or the menu key, in the window or the month calendar.
    BOOL OnContextMenu(HWND from, POINT screen);
    void OnLButtonDown(UINT nFlags, POINT point);
    void OnMouseMove(UINT nFlags, POINT point);
    void OnLButtonUp(UINT nFlags, POINT point);
    void OnCaptureChanged();
    BOOL OnHelpInfo(HELPINFO* pHelpInfo);
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void ShowAboutBox();
    // What a left click on the tray icon does; also the answer to a later start of the program.
    void ComeForward();

    // The sync (calendar_sync.cpp). Without an account none of it runs: no thread, no timer.
    void ShowSyncDialog();
    void ShowSyncTip();

    WindowIcons m_icons;
    HWND m_calendar = nullptr;
    HWND m_edit = nullptr;
    // The controls' font once the window has met another DPI; until then the dialog manager's.
    ui::Font m_dialogFont;
    NoteBox m_noteBox;
    // The window rectangle (screen coordinates) as last placed or read.
    RECT m_rcWindow{};
    quill::WindowDrag m_drag;
    TitleStrip m_strip;
    ContextMenu m_contextMenu;
    LunarView m_lunar;
    CalendarTray m_tray;
    // The month ("mmyy") whose bold days the calendar shows; empty when they must be set again.
    std::string m_strMarkedMonth;
    // The notes, the keeper, the journal, the settings and the sync, and what they stand on.
    CalendarSession m_session;
    SingleInstance* m_pInstance;
};

// The whole window painted again, its background first.
inline void RedrawWhole(HWND window) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// The one calendar window; set by its constructor and never cleared.
extern CCalendarDlg* g_pCalendarDlg;
