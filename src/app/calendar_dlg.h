// The calendar window: title strip with clock and menu box, month calendar, note box.
// Declared once here; each subsystem folder defines the members it owns.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

#include "res/resource.h"
#include "ui/dialog.h"
#include "ui/handle.h"

class CCalendarDlg : public ui::Dialog {
  public:
    enum { IDD = IDD_CALENDAR };

    explicit CCalendarDlg(HWND parent = nullptr);
    ~CCalendarDlg() override;

  protected:
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange();
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    // Shell.
    void OnSysCommand(UINT nID, LPARAM lParam);
    HICON OnQueryDragIcon();
    void OnEndSession(BOOL bEnding);

    // Set-up and shutdown steps whose work lives in the diary, appearance and interaction folders.
    void LoadNotesOrFirstNote();
    void LoadSettingsOrDefaults();
    void ApplySettings();
    void BuildContextMenu();
    void InstallTrayIcon(bool bBalloon);
    void RemoveTrayIcon();
    void MarkNoteDays();
    void StoreCurrentNote();
    void SaveSettingsOnClose();
    void SaveNotesOnClose();
    std::string DateKeyOfInstant(std::int64_t t) const;
    void ShowAboutBox();

  public:
    HICON m_hIcon = nullptr;
    int m_nTitleHeight = 0;
    int m_nFileKey = 0;
    bool m_bDragging = false;
    bool m_bShowBalloon = false;
    ui::Pen m_penAccent;
    ui::Pen m_penText;
    ui::Brush m_brAccent;
    HWND m_calendar = nullptr;
    COLORREF m_crBack = 0;
    COLORREF m_crAccent = 0;
    COLORREF m_crText = 0;
    std::int64_t m_timeShown = 0;
    HWND m_edit = nullptr;
    ui::Font m_fontTitle;
    RECT m_rcWindow{};
    RECT m_rcTitle{};
    RECT m_rcMenuButton{};
    ui::Menu m_menu;
    HMENU m_menuTimeFormat = nullptr;
    HMENU m_menuColor = nullptr;
    HMENU m_menuStyle = nullptr;
    HMENU m_menuTitle = nullptr;
    POINT m_ptDragAnchor{};
    NOTIFYICONDATAW m_nid{};
    std::string m_strDateKey;
};

// The one calendar window; set by its constructor and never cleared.
extern CCalendarDlg* g_pCalendarDlg;
