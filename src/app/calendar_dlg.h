// The calendar window: title strip with clock and menu box, month calendar, note box.
// Declared once here; each subsystem folder defines the members it owns:
//   app/          construction, OnInitDialog, OnOK, OnCancel, OnEndSession, the message switch
//   diary/        notes load and save, day selection, bold days
//   appearance/   settings load and save, colours, outline, painting, clock, CTimeDlg
//   interaction/  context menu and commands, dragging, tray icon, About box
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

#include "appearance/calendar_settings.h"
#include "diary/note_map.h"
#include "diary/safety_store.h"
#include "res/resource.h"
#include "ui/dialog.h"
#include "ui/handle.h"

class SingleInstance;

inline constexpr UINT WM_TRAYNOTIFY = 117;
inline constexpr UINT ID_TRAYICON = 118;
inline constexpr UINT_PTR ID_TIMER_CLOCK = 1;

class CCalendarDlg : public ui::Dialog {
  public:
    enum { IDD = IDD_CALENDAR };

    // The window tells `instance` where it is, so that a later start can call it forward.
    explicit CCalendarDlg(SingleInstance& instance, HWND parent = nullptr);
    ~CCalendarDlg() override;

  protected:
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange();
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

  public:
    // Shell (app/).
    void OnSysCommand(UINT nID, LPARAM lParam);
    HICON OnQueryDragIcon();
    void OnEndSession(BOOL bEnding);

    // Diary (diary/).
    bool LoadNotes(NoteMap& notes);
    bool SaveNotes(const NoteMap& notes);
    void AddFirstNote(NoteMap& notes);
    std::string GetSelectedDateKey();
    std::string CurrentNoteText();
    void StoreCurrentNote();
    void MarkNoteDays();
    void OnSelChangeCalendar(NMHDR* pNMHDR, LRESULT* pResult);
    std::string GetNote(const std::string& key) const { return m_notes.GetNote(key); }
    void SetNote(const std::string& key, const std::string& text) { m_notes.SetNote(key, text); }

    // Safety copies and the crash journal (diary/safety_win.cpp).
    void JournalTick();
    void NoticeTyping();
    void JournalNoteFiled();
    bool WriteJournal();
    void CloseJournal(bool bNotesSaved);
    void DiscardJournal();

    // Settings and look (appearance/).
    bool LoadSettings(CalendarSettings& settings);
    void SetDefaultSettings(CalendarSettings& settings);
    bool SaveSettings(CalendarSettings& settings);
    void ApplySettings(CalendarSettings& settings);
    void SetColorScheme(int scheme);
    void SetCornerStyle(int style);
    void OnPaint();
    BOOL OnEraseBkgnd(HDC hdc);
    void RedrawWhole();
    std::string FormatClockText(int nFormat, bool bExpand);
    void OnTimer(UINT_PTR nIDEvent);

    // Interaction (interaction/).
    void BuildContextMenu();
    void ShowContextMenu(POINT ptScreen);
    void OnLButtonDown(UINT nFlags, POINT point);
    void OnMouseMove(UINT nFlags, POINT point);
    void OnLButtonUp(UINT nFlags, POINT point);
    BOOL OnHelpInfo(HELPINFO* pHelpInfo);
    void OpenHelp();
    void InstallTrayIcon(bool bBalloon);
    void RemoveTrayIcon();
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void ShowAboutBox();

    HWND GetHwnd() const { return m_hWnd; }

    HICON m_hIcon = nullptr;
    int m_nTitleHeight = 0;
    int m_nFileKey = 0;
    bool m_bDragging = false;
    bool m_bShowBalloon = false;
    ui::Pen m_penAccent;
    ui::Pen m_penText;
    ui::Brush m_brAccent;
    HWND m_calendar = nullptr;
    CalendarSettings m_settings;
    COLORREF m_crBack = 0;
    COLORREF m_crAccent = 0;
    COLORREF m_crText = 0;
    std::int64_t m_timeShown = 0;
    // The last second the clock tick compared; -1 before the first tick.
    std::int64_t m_timeChecked = -1;
    HWND m_edit = nullptr;
    ui::Font m_fontTitle;
    RECT m_rcWindow{};
    RECT m_rcTitle{};
    RECT m_rcMenuButton{};
    // The context menu owns its four submenus once they are appended to it.
    ui::Menu m_menu;
    HMENU m_menuTimeFormat = nullptr;
    HMENU m_menuColor = nullptr;
    HMENU m_menuStyle = nullptr;
    HMENU m_menuTitle = nullptr;
    POINT m_ptDragAnchor{};
    NOTIFYICONDATAW m_nid{};
    NoteMap m_notes;
    std::string m_strDateKey;
    // The user changed the note box since its note was put there: only then is its text read back.
    bool m_bNoteEdited = false;
    // A data file that exists but could not be loaded is copied aside before it is replaced.
    bool m_bNotesUnreadable = false;
    bool m_bSettingsUnreadable = false;
    // Set once the diary and the settings are in memory. Until then nothing may write them: a
    // set-up that stopped half-way would save an empty diary over the real one.
    bool m_bNotesLoaded = false;
    bool m_bSettingsLoaded = false;
    // Where the notes came from at start, and the journals of ended runs found then.
    NotesRecovery m_recovery;
    // This run's journal, once written; what the note box last saw typed, and when.
    std::wstring m_strJournalPath;
    ULONGLONG m_nTypedAt = 0;
    // When the typing not yet in the journal began.
    ULONGLONG m_nDueSince = 0;
    bool m_bJournalDue = false;

  private:
    // What a left click on the tray icon does; also the answer to a later start of the program.
    void ComeForward();

    SingleInstance* m_pInstance;
};

// The one calendar window; set by its constructor and never cleared.
extern CCalendarDlg* g_pCalendarDlg;
