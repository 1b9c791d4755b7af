// The sync's side in the window: the account read at start, when runs start (after the first paint,
// a few seconds after a note is filed, every few minutes, after the save at close), what a finished
// run brings into the diary, and what the tray and the dialog say about it. The runs themselves are
// the worker's, off this thread.
#include <windows.h>

#include <ctime>

#include "app/calendar_dlg.h"
#include "interaction/sync_status_text.h"
#include "interaction/tray_record.h"
#include "notes_tool/diary_dates.h"
#include "sync/credentials_win.h"
#include "sync/live_apply.h"
#include "ui/text.h"

namespace {

constexpr unsigned kSyncAfterFilingMs = 5000;
constexpr unsigned kSyncEveryMs = 5 * 60 * 1000;
constexpr unsigned kSyncAtStartMs = 10; // timers fire only after the first paint
// Up to this many days a run brought are journalled one by one; more are saved as a whole diary.
constexpr std::size_t kJournalledDaysAtMost = 32;

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

} // namespace

int CCalendarDlg::SyncPivot() const {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return notes_tool::DefaultPivot(now.wYear);
}

void CCalendarDlg::LoadSyncAccountAtStart() {
    // Read at every start, so an account set up by the notes tool is taken without the dialog.
    if (!m_bNotesLoaded || !m_keeper || m_keeper->Folder().empty())
        return;
    m_syncAccount = LoadSyncAccount(m_fs, m_keeper->Folder());
    if (!m_syncAccount)
        return;
    m_syncLast = LoadSyncLastRun(m_fs, m_keeper->Folder());
    ShowSyncTip();
    ScheduleSync(kSyncAtStartMs);
}

void CCalendarDlg::ScheduleSync(unsigned delayMs) {
    if (!m_syncAccount || m_bSyncClosed)
        return;
    const ULONGLONG now = ::GetTickCount64();
    const ULONGLONG due = std::max<ULONGLONG>(now + delayMs, m_syncNotBefore);
    ::SetTimer(m_hWnd, ID_TIMER_SYNC, static_cast<UINT>(std::min<ULONGLONG>(due - now, 0x7FFFFFFF)), nullptr);
}

void CCalendarDlg::OnSyncTimer() {
    ::KillTimer(m_hWnd, ID_TIMER_SYNC);
    if (!StartSync() && m_syncWorker.Busy())
        m_bSyncAgain = true;
}

bool CCalendarDlg::StartSync() {
    // A diary that was not read is never synced: the server would take its emptiness for deletions.
    if (!m_syncAccount || !m_bNotesLoaded || !m_keeper || m_keeper->Folder().empty() || m_syncWorker.Busy())
        return false;
    SyncJob job;
    job.account = *m_syncAccount;
    job.folder = m_keeper->Folder();
    job.pivot = SyncPivot();
    job.now = Now();
    try {
        job.snapshot = m_notes;
    } catch (...) {
        ui::ReportCaught("the sync's copy of the diary");
        return false;
    }
    m_bSyncAgain = false;
    if (!m_syncWorker.Start(std::move(job), m_hWnd, WM_SYNC_RAN, WM_SYNC_SAVED))
        return false;
    TellSyncDialog();
    return true;
}

std::size_t CCalendarDlg::ApplySyncOutcome(bool saveNotes) {
    std::optional<SyncOutcome> outcome = m_syncWorker.TakeOutcome();
    if (!outcome)
        return 0;
    if (!outcome->hasState || !m_bNotesLoaded || !m_keeper) {
        m_syncWorker.Finish(std::nullopt);
        return 0;
    }
    // Typing in the box that is not filed yet belongs to the day it shows, and stays there.
    NoticeTyping();
    const std::string shownKey = m_strDateKey;
    const bool boxTyped = CurrentNoteText() != GetNote(shownKey);
    for (LiveDay& day : outcome->days)
        day.typing = day.key == shownKey && boxTyped;
    // Each journal record is flushed on its own: a first sync that brings years of notes is saved
    // once, as a whole file, instead of thousands of flushes while the window waits.
    const bool whole = saveNotes || outcome->days.size() > kJournalledDaysAtMost;
    const RecordDay journal = [&](std::string_view key, std::string_view text) {
        return m_keeper->Record(key, text, m_notes);
    };
    LiveApplyReport applied;
    try {
        applied = ApplySyncedDays(m_notes, outcome->state, outcome->days, SyncPivot(),
                                  whole ? RecordDay() : journal);
    } catch (...) {
        ui::ReportCaught("bringing the sync's changes in");
        // Whatever was filed is journalled; the state on disk stays as it was, which only makes the
        // next run compare those days again.
        m_syncWorker.Finish(std::nullopt);
        return 0;
    }
    if (!applied.taken.empty()) {
        MarkNoteDays();
        // New day states alone do not repaint the month calendar (Wine's does not): without this a
        // note from another PC turns its day bold only at the next selection.
        ::InvalidateRect(m_calendar, nullptr, FALSE);
        for (const std::string& key : applied.taken) {
            if (key == shownKey) {
                ::SetWindowTextW(m_edit, ui::Wide(GetNote(shownKey)).c_str());
                ::SendMessageW(m_edit, EM_SETMODIFY, FALSE, 0);
                m_bNoteEdited = false;
            }
        }
    }
    // The notes first: the state may say a day is agreed only once the diary holds it on disk.
    // A save settles the journal, typing in it included: the box is filed first, as at close.
    if (whole && !applied.taken.empty()) {
        StoreCurrentNote();
        if (!SaveNotes(m_notes)) {
            m_syncWorker.Finish(std::nullopt);
            return applied.taken.size();
        }
    }
    m_syncWorker.Finish(std::move(outcome->state));
    return applied.taken.size();
}

void CCalendarDlg::OnSyncRan() {
    ApplySyncOutcome(false);
}

void CCalendarDlg::OnSyncSaved() {
    m_syncWorker.Join();
    if (!m_syncAccount)
        return;
    m_syncLast = m_syncWorker.LastRun();
    ShowSyncTip();
    const bool ok = m_syncLast.status == SyncStatus::kOk;
    if (!ok && NeedsUser(m_syncLast.status) && !m_syncLast.userTold && m_keeper) {
        // Trying again changes nothing until the user acts: said once, not at every try.
        m_tray.ShowBalloon(quill::kSyncFailedTitle, quill::SyncStatusText(m_syncLast.status));
        m_syncLast.userTold = true;
        SaveSyncLastRun(m_fs, m_keeper->Folder(), m_syncLast);
    }
    // A run that saw every day but left an entry out keeps the ordinary pace.
    const bool paced = ok || m_syncLast.failures == 0;
    m_syncNotBefore =
        paced ? 0
              : ::GetTickCount64() +
                    1000ull * static_cast<unsigned>(BackoffSeconds(m_syncLast.status, m_syncLast.failures));
    // After a success the next look is in a few minutes; after a failure, when the back-off ends.
    ScheduleSync(m_bSyncAgain ? kSyncAfterFilingMs : paced ? kSyncEveryMs : 0);
    TellSyncDialog();
}

void CCalendarDlg::NoteFiled() {
    if (!m_syncAccount)
        return;
    if (m_syncWorker.Busy())
        m_bSyncAgain = true;
    else
        ScheduleSync(kSyncAfterFilingMs);
}

void CCalendarDlg::CloseSync(unsigned budgetMs) {
    if (m_bSyncClosed)
        return;
    m_bSyncClosed = true;
    ::KillTimer(m_hWnd, ID_TIMER_SYNC);
    if (!m_syncAccount)
        return;
    const ULONGLONG deadline = ::GetTickCount64() + budgetMs;
    // A run on an older copy gives way to one on what was just saved.
    if (m_syncWorker.Busy()) {
        m_syncWorker.Cancel();
        m_syncWorker.Abandon();
    }
    m_syncWorker.Join();
    if (!StartSync())
        return;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline || !m_syncWorker.WaitRan(static_cast<DWORD>(deadline - now))) {
        // The sign-out or the close is not held up: the run ends here and keeps nothing, so the
        // notes and the state on disk stay as the save left them.
        m_syncWorker.Cancel();
        m_syncWorker.Abandon();
        m_syncWorker.Join();
        return;
    }
    ApplySyncOutcome(true);
    m_syncWorker.Join();
}

void CCalendarDlg::ShowSyncDialog() {
    // One box at a time: a second sync box would keep whichever account was confirmed last, and any
    // box open over the window is what the user has to answer first.
    if (m_syncDialog || !::IsWindowEnabled(m_hWnd)) {
        ComeForward();
        return;
    }
    CSyncDlg dlg(*this);
    dlg.DoModal();
}

void CCalendarDlg::ShowSyncTip() {
    if (!m_syncAccount) {
        m_tray.SetTip({});
        return;
    }
    m_tray.SetTip(quill::SyncTrayTip(quill::MakeTrayRecord(false).tip, m_syncLast, Now(), LocalMinuteAt));
}

void CCalendarDlg::TellSyncDialog() {
    if (m_syncDialog)
        ::PostMessageW(m_syncDialog, WM_SYNC_STATUS, 0, 0);
}

SyncAccount CCalendarDlg::KeptSyncAccount(bool& passwordKept) {
    passwordKept = false;
    if (!m_syncAccount)
        return {};
    WinCredentialStore secrets;
    passwordKept = secrets.Load(CredentialTarget(*m_syncAccount)).has_value();
    return *m_syncAccount;
}

std::string CCalendarDlg::KeepSyncAccount(const SyncAccount& typed, const std::string& password) {
    if (!m_bNotesLoaded || !m_keeper || m_keeper->Folder().empty())
        return std::string(quill::kSyncNotSaved);
    const FsPath& folder = m_keeper->Folder();
    WinCredentialStore secrets;
    if (typed.serverUrl.empty()) {
        // Sync off: the account and its password go; the state stays, so turning it on again
        // compares afresh instead of taking anything for deleted.
        if (!RemoveSyncAccount(m_fs, folder))
            return std::string(quill::kSyncNotSaved);
        if (m_syncAccount)
            secrets.Remove(CredentialTarget(*m_syncAccount));
        m_syncAccount.reset();
        ::KillTimer(m_hWnd, ID_TIMER_SYNC);
        m_syncWorker.Cancel();
        m_syncWorker.Abandon();
        m_syncLast = {};
        ShowSyncTip();
        TellSyncDialog();
        return {};
    }
    // Refused before anything is kept: the password would otherwise wait for a sync that can never
    // run, or cross the network in the clear.
    const std::optional<SyncOrigin> origin = OriginOfSyncUrl(typed.serverUrl);
    if (!origin || (origin->scheme == "http" && !origin->loopback))
        return std::string(quill::kSyncBadAddress);
    SyncAccount account = typed;
    account.collection = m_syncAccount ? m_syncAccount->collection : std::string(kCollectionName);
    const std::string target = CredentialTarget(account);
    if (!password.empty() && !secrets.Save(target, account.user, password))
        return std::string(quill::kSyncNoPassword);
    if (SaveSyncAccount(m_fs, folder, account).outcome != SaveOutcome::kSaved)
        return std::string(quill::kSyncNotSaved);
    // A password is only ever sent to the host it was given for: one kept for another server or
    // user is not carried over, and goes.
    if (m_syncAccount && CredentialTarget(*m_syncAccount) != target)
        secrets.Remove(CredentialTarget(*m_syncAccount));
    if (!m_syncAccount || !(*m_syncAccount == account)) {
        // Another server or user: what the last tries with the old one said is no news of this one.
        m_syncLast = {};
        SaveSyncLastRun(m_fs, folder, m_syncLast);
        m_syncNotBefore = 0;
    }
    m_syncAccount = account;
    ShowSyncTip();
    return {};
}

void CCalendarDlg::SyncNow() {
    if (!m_syncAccount) {
        TellSyncDialog();
        return;
    }
    // The user asked: the back-off does not apply.
    m_syncNotBefore = 0;
    if (!StartSync() && m_syncWorker.Busy())
        m_bSyncAgain = true;
}

std::string CCalendarDlg::SyncStatusLineNow() {
    if (!m_syncAccount)
        return std::string(quill::kSyncOff);
    if (m_syncWorker.Busy())
        return std::string(quill::kSyncRunning);
    bool passwordKept = false;
    KeptSyncAccount(passwordKept);
    return quill::SyncDialogLine(m_syncLast, passwordKept, Now(), LocalMinuteAt);
}
