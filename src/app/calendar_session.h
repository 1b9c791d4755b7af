// The window's diary session and what it stands on in Windows: the file system, the clocks, the
// sync's thread, and the answers to the sync dialog's questions. The window forwards its commands
// here and shows what they changed.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "app/sync_dlg.h"
#include "app/sync_worker.h"
#include "files/win_file_system.h"
#include "session/diary_session.h"

class WinSessionPlatform : public SessionPlatform {
  public:
    std::uint64_t NowMs() override;
    std::int64_t NowSeconds() override;
    int Today() override;
    std::string FileStamp() override;
    int Pivot() override;
    FsPath SettingsFile(bool forSave) override;
    std::vector<FsPath> LeftoversOf(const FsPath& file) override;
    std::function<StagedCopies()> StageCopies(const FsPath& folder, const std::string& bytes,
                                              int today) override;
    std::function<bool(std::uint64_t ms)> RunAside(std::function<void()> work) override;
    WideToNarrow Narrower() override;
};

class CalendarSession : public SyncSetupHost {
  public:
    // `show` is called with what the sync dialog's commands changed.
    explicit CalendarSession(std::function<void(const SessionChanges&)> show);

    // The sync's thread reports to `window` with these messages.
    void Report(HWND window, UINT ranMessage, UINT endedMessage) {
        worker.Report(window, ranMessage, endedMessage);
    }
    // The status line's changes reach the sync dialog while it is open.
    void TellSyncDialog();
    bool SyncDialogOpen() const { return m_syncDialog != nullptr; }

    SyncAccount KeptSyncAccount(bool& passwordKept) override;
    std::string KeepSyncAccount(const SyncAccount& account, const std::string& password) override;
    void SyncNow() override;
    std::string SyncStatusLineNow() override;
    void SetSyncDialog(HWND dialog) override { m_syncDialog = dialog; }

    WinFileSystem fs;
    WinSessionPlatform platform;
    SyncWorker worker;
    DiarySession diary{fs, platform, worker};

  private:
    std::function<void(const SessionChanges&)> m_show;
    HWND m_syncDialog = nullptr;
};
