// The sync's small dialog: server address, user name, password, "sync now" and the last result.
// What it keeps and when a sync runs is the window's: the dialog only reads and writes its fields.
#pragma once
#include <windows.h>

#include <string>

#include "app/sync_check.h"
#include "sync/sync_account.h"
#include "ui/dialog.h"

// Message the window sends the open dialog when the status line has something new to say.
inline constexpr UINT WM_SYNC_STATUS = WM_APP + 22;
// The account's check posts its SyncStatus (wParam) to the dialog.
inline constexpr UINT WM_SYNC_CHECKED = WM_APP + 31;

class SyncSetupHost {
  public:
    virtual ~SyncSetupHost() = default;
    // The account kept now (serverUrl empty when sync is off) and whether a password is kept for it.
    virtual SyncAccount KeptSyncAccount(bool& passwordKept) = 0;
    // Keeps the account and, when typed, the password (an empty one keeps the kept one); an empty
    // address turns sync off. Empty when kept; else what went wrong, for the status line (GBK).
    virtual std::string KeepSyncAccount(const SyncAccount& account, const std::string& password) = 0;
    // Runs a sync at once, whatever the back-off.
    virtual void SyncNow() = 0;
    // The status line as it stands (GBK).
    virtual std::string SyncStatusLineNow() = 0;
    // The dialog's window while it is open, null after: it is sent WM_SYNC_STATUS.
    virtual void SetSyncDialog(HWND dialog) = 0;
};

class CSyncDlg : public ui::Dialog {
  public:
    explicit CSyncDlg(SyncSetupHost& host, HWND parent = nullptr);

  protected:
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    BOOL OnCommand(UINT id, UINT code, HWND control) override;
    void OnOK() override;
    void OnCancel() override;

  private:
    // What is typed is checked with the server and kept only once the server took it; `close`: the
    // dialog ends then ("确定"), else it stays ("立即同步"). A sync follows either way.
    void Submit(bool close);
    void OnChecked(SyncStatus status);
    // While the server is asked, only "取消" and the fields stay live.
    void EnableButtons(bool enable);
    void ShowStatus(const std::string& gbk);

    SyncSetupHost& m_host;
    SyncCheck m_check;
    // The account being checked and the password as typed (empty: the kept one), until the answer.
    SyncAccount m_checked;
    std::string m_typedPassword;
    bool m_closeAfterCheck = false;
};
