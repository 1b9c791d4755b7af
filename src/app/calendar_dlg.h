// The calendar window: title strip with clock and menu box, month calendar, note box.
// Declared and defined in app/, one file per side of the window:
//   calendar_dlg.cpp          construction, OnInitDialog, OnOK, OnCancel, OnEndSession, the message switch
//   calendar_days.cpp         day selection, bold days
//   calendar_notes.cpp        notes load and save, the crash journal's records
//   calendar_settings_io.cpp  settings load and save
//   calendar_look.cpp         colours, outline, painting, DPI changes
//   calendar_clock.cpp        the timers: clock tick, journal check, tray tries
//   calendar_menu.cpp         context menu and its commands, title font, Help, About box
//   calendar_drag.cpp         dragging
//   calendar_tray.cpp         tray icon
//   calendar_sync.cpp         the sync: its account, its runs off the window's thread, what they bring
// The parts it holds are small classes of the folders below, each with its own state and Win32
// calls: the title strip, the note box, the context menu, the tray icon, the crash journal and the
// lunar view (with the tooltip over the days of both views).
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "appearance/calendar_settings.h"
#include "app/sync_dlg.h"
#include "app/sync_worker.h"
#include "appearance/title_strip.h"
#include "diary/day_keys.h"
#include "diary/note_box.h"
#include "diary/note_map.h"
#include "files/win_file_system.h"
#include "interaction/context_menu.h"
#include "interaction/lunar_view.h"
#include "interaction/placement.h"
#include "interaction/tray_icon.h"
#include "interaction/tray_record.h"
#include "res/resource.h"
#include "safety/crash_journal.h"
#include "safety/diary_keeper.h"
#include "safety/safety_store.h"
#include "ui/dialog.h"
#include "ui/handle.h"

class SingleInstance;

// The tray's message and icon id, as the tray's record defines them.
inline constexpr UINT WM_TRAYNOTIFY = quill::kTrayCallbackMessage;
inline constexpr UINT ID_TRAYICON = quill::kTrayIconId;
// The clock wakes at the changes of its text; the others run only while they have work.
inline constexpr UINT_PTR ID_TIMER_CLOCK = 1;
inline constexpr UINT_PTR ID_TIMER_TRAY = 2;
inline constexpr UINT_PTR ID_TIMER_JOURNAL = 3;
inline constexpr UINT_PTR ID_TIMER_SYNC = 4;
// The sync's thread says its run ended, and later that its state is kept.
inline constexpr UINT WM_SYNC_RAN = WM_APP + 20;
inline constexpr UINT WM_SYNC_SAVED = WM_APP + 21;
// How long the sync after the save may hold a close, and a sign-out.
inline constexpr unsigned kSyncAtCloseMs = 4000;
inline constexpr unsigned kSyncAtEndSessionMs = 1500;

class CCalendarDlg : public ui::Dialog, private SyncSetupHost {
  public:
    enum { IDD = IDD_CALENDAR };

    // The window tells `instance` where it is, so that a later start can call it forward.
    explicit CCalendarDlg(SingleInstance& instance, HWND parent = nullptr);
    ~CCalendarDlg() override;

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
    void OnSysCommand(UINT nID, LPARAM lParam);
    HICON OnQueryDragIcon();
    void OnEndSession(BOOL bEnding);
    // The notes, the journal and the settings, as the window's ways out save them; the window stays.
    void SaveRun();
    // Ends the boxes and menus open over the window, so that a window that was ended closes now.
    void EndNestedLoops();

    // Diary (calendar_days.cpp, calendar_notes.cpp).
    bool LoadNotes(NoteMap& notes);
    bool SaveNotes(const NoteMap& notes);
    void AddFirstNote(NoteMap& notes);
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
    std::string GetNote(const std::string& key) const { return m_notes.GetNote(key); }

    // The crash journal (safety/crash_journal.cpp).
    void JournalTick();
    void NoticeTyping();
    bool WriteJournal();

    // Settings, look and timers (calendar_settings_io.cpp, calendar_look.cpp, calendar_clock.cpp).
    bool LoadSettings(CalendarSettings& settings);
    void SetDefaultSettings(CalendarSettings& settings);
    bool SaveSettings(CalendarSettings& settings);
    void ApplySettings(CalendarSettings& settings);
    void SetColorScheme(int scheme);
    void SetCornerStyle(int style);
    void ChooseTitleFont();
    void OnPaint();
    BOOL OnEraseBkgnd(HDC hdc);
    // The window met a display of another DPI: `suggested` is where the system wants it at that DPI.
    void OnDpiChanged(int dpi, const RECT& suggested);
    void RedrawWhole();
    void OnTimer(UINT_PTR nIDEvent);
    // The clock's text as the strip shows it now.
    std::string ClockTextShown();
    // Sets the clock's timer to just after the next change of its text, from the system time now.
    void ArmClock();
    // The journal's due check runs only while typing waits to be journalled.
    void ArmJournalCheck();

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
    void OpenHelp();
    // False when the notification area did not take the icon.
    bool InstallTrayIcon(bool bBalloon);
    // The first add of the icon, tried again a few times over the first minute.
    void OnTrayTimer();
    void RemoveTrayIcon();
    // The shell's notification area was made anew (the taskbar restarted): the icon goes back in.
    void OnTaskbarCreated();
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void ShowAboutBox();
    // What a left click on the tray icon does; also the answer to a later start of the program.
    void ComeForward();

    // The sync (calendar_sync.cpp). Without an account none of it runs: no thread, no timer.
    void LoadSyncAccountAtStart();
    // A run no sooner than `delayMs` from now, nor before the back-off after failures ends.
    void ScheduleSync(unsigned delayMs);
    // False when no run could start (sync off, the diary not read, a run under way).
    bool StartSync();
    void OnSyncTimer();
    void OnSyncRan();
    void OnSyncSaved();
    // The run's changes brought into the diary, then the worker told to keep the state; with
    // `saveNotes` (at close) the notes file is written before that. Days taken.
    std::size_t ApplySyncOutcome(bool saveNotes);
    // A note was filed with a new text: it goes to the server a few seconds later.
    void NoteFiled();
    // The sync after the save at close, given at most `budgetMs`; then cancelled.
    void CloseSync(unsigned budgetMs);
    void ShowSyncDialog();
    void ShowSyncTip();
    void TellSyncDialog();
    int SyncPivot() const;
    SyncAccount KeptSyncAccount(bool& passwordKept) override;
    std::string KeepSyncAccount(const SyncAccount& account, const std::string& password) override;
    void SyncNow() override;
    std::string SyncStatusLineNow() override;
    void SetSyncDialog(HWND dialog) override { m_syncDialog = dialog; }

    // The icon drawn at each size it is shown at, not one image scaled: the window's two at its DPI,
    // the notification area's at the session's.
    ui::Icon m_iconBig;
    ui::Icon m_iconSmall;
    ui::Icon m_iconTray;
    void LoadIcons(int dpi);
    int m_nFileKey = 0;
    bool m_bShowBalloon = false;
    // Failed first adds of the tray icon so far.
    int m_nTrayFailedTries = 0;
    HWND m_calendar = nullptr;
    HWND m_edit = nullptr;
    // The controls' font once the window has met another DPI; until then the dialog manager's.
    ui::Font m_dialogFont;
    NoteBox m_noteBox;
    CalendarSettings m_settings;
    // The window rectangle (screen coordinates) as last placed or read.
    RECT m_rcWindow{};
    quill::WindowDrag m_drag;
    TitleStrip m_strip;
    ContextMenu m_contextMenu;
    LunarView m_lunar;
    TrayIcon m_tray;
    NoteMap m_notes;
    std::string m_strDateKey;
    // The month ("mmyy") whose bold days the calendar shows; empty when they must be set again.
    std::string m_strMarkedMonth;
    // The user changed the note box since its note was put there: only then is its text read back.
    bool m_bNoteEdited = false;
    // A data file that exists but could not be loaded is copied aside before it is replaced.
    bool m_bNotesUnreadable = false;
    bool m_bSettingsUnreadable = false;
    // Set once the diary and the settings are in memory. Until then nothing may write them: a
    // set-up that stopped half-way would save an empty diary over the real one.
    bool m_bNotesLoaded = false;
    bool m_bSettingsLoaded = false;
    // The diary's safety folder, journal and copies; made when the notes are read.
    WinFileSystem m_fs;
    std::unique_ptr<DiaryKeeper> m_keeper;
    CrashJournal m_journal;
    // The sync's account, its last try as recorded, and when the back-off lets the next one start.
    std::optional<SyncAccount> m_syncAccount;
    SyncLastRun m_syncLast;
    ULONGLONG m_syncNotBefore = 0;
    // A note was filed while a run was under way: another run follows it.
    bool m_bSyncAgain = false;
    // The close's sync ran (or had no account): later ways out do not start another.
    bool m_bSyncClosed = false;
    // WM_ENDSESSION: the sync after the save gets only a moment.
    bool m_bEnding = false;
    HWND m_syncDialog = nullptr;
    SyncWorker m_syncWorker;
    SingleInstance* m_pInstance;
};

// The one calendar window; set by its constructor and never cleared.
extern CCalendarDlg* g_pCalendarDlg;
