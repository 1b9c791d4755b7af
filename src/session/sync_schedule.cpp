// The diary session's sync: when runs start (after the first paint, a few seconds after a note is
// filed, every few minutes, after the save at close), the back-off after failures, what a finished
// run brings into the diary, the one record of how the last try went, and the close's budget.
#include <algorithm>
#include <iterator>
#include <limits>

#include "session/diary_session.h"
#include "sync/sync_session.h"

SessionChanges DiarySession::LoadAccount() {
    SessionChanges changes;
    const FsPath folder = Folder();
    if (folder.empty())
        return changes;
    m_account = LoadSyncAccount(m_fs, folder);
    if (!m_account)
        return changes;
    m_last = LoadSyncLastRun(m_fs, folder);
    Schedule(kSyncAtStartMs);
    changes.syncStatus = true;
    return changes;
}

void DiarySession::Schedule(std::uint64_t delayMs) {
    if (!m_account || m_syncClosed)
        return;
    const std::uint64_t due = std::max(m_platform.NowMs() + delayMs, m_notBefore);
    m_syncDue = m_syncDue ? std::min(*m_syncDue, due) : due;
}

bool DiarySession::StartSync() {
    // A diary that was not read is never synced: the server would take its emptiness for deletions.
    const FsPath folder = Folder();
    if (!m_account || folder.empty() || m_runner.Running())
        return false;
    SyncJob job;
    job.account = *m_account;
    job.folder = folder;
    job.pivot = m_platform.Pivot();
    job.now = m_platform.NowSeconds();
    try {
        job.snapshot = m_notes;
    } catch (...) {
        StartRefused();
        return false;
    }
    m_syncAgain = false;
    m_syncDue.reset();
    if (!m_runner.Start(std::move(job))) {
        StartRefused();
        return false;
    }
    m_startsRefused = 0;
    m_run = Run{*m_account, std::nullopt};
    return true;
}

void DiarySession::StartRefused() {
    // No run began, so none will end to schedule the next: it is put off here, on the pace of a
    // server briefly down. The record of tries stays the server's: no request was made.
    if (m_startsRefused < std::numeric_limits<int>::max())
        ++m_startsRefused;
    m_notBefore = m_platform.NowMs() +
                  1000ull * static_cast<unsigned>(BackoffSeconds(SyncStatus::kOffline, m_startsRefused));
    m_syncDue.reset();
    Schedule(0);
}

SessionChanges DiarySession::SyncNow() {
    SessionChanges changes;
    changes.syncStatus = true;
    if (!m_account || m_syncClosed)
        return changes;
    m_notBefore = 0;
    if (!StartSync() && m_runner.Running())
        m_syncAgain = true;
    return changes;
}

SessionChanges DiarySession::RunEnded(std::string_view typed) {
    return ApplyOutcome(false, typed);
}

SessionChanges DiarySession::ApplyOutcome(bool atClose, std::optional<std::string_view> typed) {
    SessionChanges changes;
    std::optional<SyncOutcome> outcome = m_runner.TakeOutcome();
    if (!outcome)
        return changes;
    // A run of an account given up since is no news of this one, and its days are another
    // server's: nothing of it comes in, nothing of it is kept or recorded.
    if (!m_run || !m_account || !(m_run->account == *m_account)) {
        m_runner.Cancel();
        return changes;
    }
    m_run->report = outcome->report;
    if (!outcome->hasState || !m_notesLoaded || !m_keeper) {
        m_runner.Finish(std::nullopt);
        return changes;
    }
    // Each journal record is flushed on its own: a first sync that brings years of notes is saved
    // once, as a whole file, instead of thousands of flushes while the window waits; and its days
    // come in a slice at a time, between the window's messages.
    const bool whole = atClose || outcome->days.size() > kJournalledDaysAtMost;
    m_applying = Applying{std::move(*outcome), 0, whole, false};
    changes = ApplySlice(typed, atClose);
    if (atClose)
        KeepStateAfterSave(m_stateAfterSave && SaveNotes());
    return changes;
}

SessionChanges DiarySession::ApplySlice(std::optional<std::string_view> typed, bool rest) {
    SessionChanges changes;
    Applying& applying = *m_applying;
    std::vector<LiveDay>& days = applying.outcome.days;
    const std::size_t from = applying.next;
    const std::size_t to = rest ? days.size() : std::min(days.size(), from + kAppliedAtOnce);
    applying.next = to;
    std::vector<LiveDay> slice(std::make_move_iterator(days.begin() + static_cast<std::ptrdiff_t>(from)),
                               std::make_move_iterator(days.begin() + static_cast<std::ptrdiff_t>(to)));
    // Typing in the box that is not filed yet belongs to the day it shows, and stays there.
    const bool boxTyped = typed && *typed != m_notes.FindNote(m_shownDay);
    for (LiveDay& day : slice)
        day.typing = boxTyped && day.key == m_shownDay;
    const RecordDay journal = [&](std::string_view key, std::string_view text) {
        return m_keeper->Record(key, text, m_notes);
    };
    LiveApplyReport applied;
    try {
        applied = ApplySyncedDays(m_notes, applying.outcome.state, slice, m_platform.Pivot(),
                                  applying.whole ? RecordDay() : journal);
    } catch (...) {
        // What came in stays, to be saved with the diary; the state on disk stays as it was, which
        // only makes the next run compare those days again.
        m_applying.reset();
        m_runner.Finish(std::nullopt);
        return changes;
    }
    if (!applied.taken.empty()) {
        applying.taken = true;
        changes.markDays = true;
        if (std::find(applied.taken.begin(), applied.taken.end(), m_shownDay) != applied.taken.end()) {
            changes.showNote = true;
            m_noteEdited = false;
        }
    }
    if (applying.next < days.size())
        return changes;
    Applying done = std::move(applying);
    m_applying.reset();
    if (!done.whole || !done.taken) {
        m_runner.Finish(std::move(done.outcome.state));
        return changes;
    }
    // The notes first: the state may say a day is agreed only once the diary holds them on disk.
    // The box is filed first, as at close, so the save holds it too.
    if (boxTyped)
        changes |= FileNote(*typed);
    if (rest) {
        // The caller saves now, and keeps the state by what that save did.
        m_stateAfterSave = std::move(done.outcome.state);
        return changes;
    }
    // Seconds of writing for a big diary: off the window's thread, and the state kept once the save
    // has landed.
    if (!SaveAside(std::move(done.outcome.state)))
        m_runner.Finish(std::nullopt);
    return changes;
}

void DiarySession::KeepStateAfterSave(bool saved) {
    if (!m_stateAfterSave)
        return;
    std::optional<SyncState> state = std::move(m_stateAfterSave);
    m_stateAfterSave.reset();
    m_runner.Finish(saved ? std::move(state) : std::nullopt);
}

SessionChanges DiarySession::RecordTry() {
    SessionChanges changes;
    std::optional<Run> run = std::move(m_run);
    m_run.reset();
    const FsPath folder = Folder();
    if (!run || !run->report || !m_account || !(run->account == *m_account) || folder.empty())
        return changes;
    m_last = RecordSyncTry(m_fs, folder, *run->report, m_platform.NowSeconds());
    changes.syncStatus = true;
    if (m_last.status != SyncStatus::kOk && NeedsUser(m_last.status) && !m_last.userTold) {
        // Trying again changes nothing until the user acts: said once, not at every try.
        changes.tellUser = true;
        m_last.userTold = true;
        SaveSyncLastRun(m_fs, folder, m_last);
    }
    return changes;
}

SessionChanges DiarySession::RunFinished() {
    if (m_runner.Running())
        return {};
    SessionChanges changes = RecordTry();
    if (!m_account || m_syncClosed)
        return changes;
    changes.syncStatus = true;
    const bool ok = m_last.status == SyncStatus::kOk;
    // A run that saw every day but left an entry out keeps the ordinary pace.
    const bool paced = ok || m_last.failures == 0;
    m_notBefore = paced ? 0
                        : m_platform.NowMs() +
                              1000ull * static_cast<unsigned>(BackoffSeconds(m_last.status, m_last.failures));
    // After a success the next look is in a few minutes; after a failure, when the back-off ends.
    m_syncDue.reset();
    Schedule(m_syncAgain ? kSyncAfterFilingMs : paced ? kSyncEveryMs : 0);
    return changes;
}

void DiarySession::DropRun() {
    // Days already in stay, to be saved with the diary; the given-up run's state is no one's.
    m_applying.reset();
    m_stateAfterSave.reset();
    ForgetSavedRun();
    m_runner.Cancel();
    m_run.reset();
    m_syncDue.reset();
    m_syncAgain = false;
}

AccountKept DiarySession::KeepAccount(const SyncAccount& typed, const std::string& password,
                                      SecretStore& secrets) {
    const FsPath folder = Folder();
    if (folder.empty())
        return AccountKept::kNotSaved;
    if (typed.serverUrl.empty()) {
        // Sync off: the account and its password go; the state stays, so turning it on again
        // compares afresh instead of taking anything for deleted.
        if (!RemoveSyncAccount(m_fs, folder))
            return AccountKept::kNotSaved;
        if (m_account)
            secrets.Remove(CredentialTarget(*m_account));
        m_account.reset();
        DropRun();
        m_last = {};
        return AccountKept::kKept;
    }
    // Refused before anything is kept: the password would otherwise wait for a sync that can never
    // run, or cross the network in the clear.
    const std::optional<SyncOrigin> origin = OriginOfSyncUrl(typed.serverUrl);
    if (!origin || (origin->scheme == "http" && !origin->loopback))
        return AccountKept::kBadAddress;
    SyncAccount account = typed;
    account.collection = m_account ? m_account->collection : std::string(kCollectionName);
    const std::string target = CredentialTarget(account);
    if (!password.empty() && !secrets.Save(target, account.user, password))
        return AccountKept::kNoPassword;
    if (SaveSyncAccount(m_fs, folder, account).outcome != SaveOutcome::kSaved)
        return AccountKept::kNotSaved;
    // A password is only ever sent to the host it was given for: one kept for another server or
    // user is not carried over, and goes.
    if (m_account && CredentialTarget(*m_account) != target)
        secrets.Remove(CredentialTarget(*m_account));
    if (!m_account || !(*m_account == account)) {
        // Another server or user: what the last tries with the old one said is no news of this
        // one, and a run with the old one under way ends here, keeping nothing.
        DropRun();
        m_last = {};
        SaveSyncLastRun(m_fs, folder, m_last);
        m_notBefore = 0;
    }
    m_account = account;
    return AccountKept::kKept;
}

void DiarySession::CloseSync() {
    if (m_syncClosed)
        return;
    m_syncClosed = true;
    m_syncDue.reset();
    if (!m_account)
        return;
    const std::uint64_t budget = m_ending ? kSyncAtEndSessionMs : kSyncAtCloseMs;
    const std::uint64_t deadline = m_platform.NowMs() + (budget - std::min(budget, m_closeWaitedMs));
    const auto left = [&] {
        const std::uint64_t now = m_platform.NowMs();
        return deadline > now ? deadline - now : 0;
    };
    // Nothing after the budget is waited for: a run that did not end in time is left to the
    // process's exit, and it keeps only whole files, so the notes saved before and the state on
    // disk stay as they were and the next start compares afresh.
    const auto giveUp = [&] {
        ForgetSavedRun();
        m_runner.Cancel();
        m_runner.Forsake();
        m_run.reset();
    };
    // A save still in flight outlasted the close's budget: its run's state is never kept, and no
    // run starts on a diary not yet on disk.
    if (!SettleSaving(left())) {
        giveUp();
        return;
    }
    // A run on an older copy gives way to one on what was just saved.
    if (m_runner.Running()) {
        m_runner.Cancel();
        m_run.reset();
        if (!m_runner.WaitEnded(left())) {
            m_runner.Forsake();
            return;
        }
    }
    if (left() == 0 || !StartSync())
        return;
    if (!m_runner.WaitRan(left())) {
        giveUp();
        return;
    }
    ApplyOutcome(true, std::nullopt);
    if (!m_runner.WaitEnded(left())) {
        giveUp();
        return;
    }
    RecordTry();
}
