// The diary session's Windows side: clocks, the local calendar, where the settings live, the copies'
// thread, and the sync dialog's account kept with its password in the Credential Manager.
#include "app/calendar_session.h"

#include <chrono>
#include <ctime>
#include <future>

#include "appearance/settings_file.h"
#include "interaction/sync_status_text.h"
#include "notes_tool/diary_dates.h"
#include "safety/safety_win.h"
#include "sync/credentials_win.h"
#include "ui/dialog.h"

std::uint64_t WinSessionPlatform::NowMs() {
    return ::GetTickCount64();
}

std::int64_t WinSessionPlatform::NowSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

int WinSessionPlatform::Today() {
    return LocalDayNumber();
}

std::string WinSessionPlatform::FileStamp() {
    return LocalFileStamp();
}

int WinSessionPlatform::Pivot() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return notes_tool::DefaultPivot(now.wYear);
}

FsPath WinSessionPlatform::SettingsFile(bool forSave) {
    const FsPath path = GetTempFilePath(kSettingsFileName);
    if (forSave)
        EnsureFolderOf(path);
    return path;
}

std::vector<FsPath> WinSessionPlatform::LeftoversOf(const FsPath& file) {
    return ::LeftoversOf(file);
}

std::function<StagedCopies()> WinSessionPlatform::StageCopies(const FsPath& folder, const std::string& bytes,
                                                              int today) {
    // A diary of decades is tens of megabytes: its copies are written on a second thread while the
    // notes file is written, so the writes share the disk's time instead of following each other
    // (below a megabyte, starting the thread costs more than it saves).
    constexpr std::size_t kWorthAThread = 1 << 20;
    if (bytes.size() < kWorthAThread)
        return {};
    try {
        auto staging = std::make_shared<std::future<StagedCopies>>(
            std::async(std::launch::async, [&bytes, folder, today] {
                WinFileSystem own;
                return DiaryKeeper::StageCopies(own, folder, bytes, today);
            }));
        return [staging]() -> StagedCopies {
            try {
                return staging->get();
            } catch (...) {
                ui::ReportCaught("the copies' thread");
                return {};
            }
        };
    } catch (...) {
        // No thread to be had: the copies are written after the save, as they always could be.
        ui::ReportCaught("starting the copies' thread");
        return {};
    }
}

std::function<bool(std::uint64_t ms)> WinSessionPlatform::RunAside(std::function<void()> work) {
    try {
        auto done = std::make_shared<std::future<void>>(std::async(std::launch::async, work));
        return [done](std::uint64_t ms) {
            // A wait without end in milliseconds does not fit the clock's count: it is a wait.
            if (ms > 0x7FFFFFFF) {
                done->wait();
                return true;
            }
            return done->wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
        };
    } catch (...) {
        // No thread to be had: the work is done here, as it always could be.
        ui::ReportCaught("starting the save's thread");
        work();
        return {};
    }
}

WideToNarrow WinSessionPlatform::Narrower() {
    return NarrowFromUtf16;
}

CalendarSession::CalendarSession(std::function<void(const SessionChanges&)> show) : m_show(std::move(show)) {}

void CalendarSession::TellSyncDialog() {
    if (m_syncDialog)
        ::PostMessageW(m_syncDialog, WM_SYNC_STATUS, 0, 0);
}

SyncAccount CalendarSession::KeptSyncAccount(bool& passwordKept) {
    passwordKept = false;
    if (!diary.Account())
        return {};
    WinCredentialStore secrets;
    passwordKept = secrets.Load(CredentialTarget(*diary.Account())).has_value();
    return *diary.Account();
}

std::string CalendarSession::KeepSyncAccount(const SyncAccount& account, const std::string& password) {
    WinCredentialStore secrets;
    const AccountKept kept = diary.KeepAccount(account, password, secrets);
    SessionChanges changes;
    changes.syncStatus = true;
    m_show(changes);
    switch (kept) {
    case AccountKept::kKept:
        return {};
    case AccountKept::kBadAddress:
        return std::string(quill::kSyncBadAddress);
    case AccountKept::kNoPassword:
        return std::string(quill::kSyncNoPassword);
    case AccountKept::kNotSaved:
        break;
    }
    return std::string(quill::kSyncNotSaved);
}

void CalendarSession::SyncNow() {
    m_show(diary.SyncNow());
}

std::string CalendarSession::SyncStatusLineNow() {
    if (!diary.Account())
        return std::string(quill::kSyncOff);
    if (diary.SyncRunning())
        return std::string(quill::kSyncRunning);
    bool passwordKept = false;
    KeptSyncAccount(passwordKept);
    return quill::SyncDialogLine(diary.LastRun(), passwordKept, platform.NowSeconds(), LocalMinuteAt);
}
