// The sync's thread: the run on a copy, the hand-over to the session, the state kept afterwards.
#include "app/sync_worker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "files/win_file_system.h"
#include "sync/credentials_win.h"
#include "sync/sync_session.h"
#include "sync/winhttp_transport.h"
#include "ui/dialog.h"

quill::LocalMinute LocalMinuteAt(std::int64_t utcSeconds) {
    // Windows counts 100 ns from 1601; the sync, seconds from 1970.
    const ULONGLONG ticks = (static_cast<ULONGLONG>(utcSeconds) + 11644473600ull) * 10000000ull;
    const FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal{}, local{};
    if (!::FileTimeToSystemTime(&utc, &universal) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return {1970, 1, 1, 0, 0};
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute};
}

struct SyncWorker::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    HWND window = nullptr;
    UINT ranMessage = 0;
    UINT endedMessage = 0;
    WinHttpTransport* transport = nullptr; // the run's, while it is open
    bool cancelled = false;
    std::atomic<bool> stop{false}; // cancelled, for the run's own loops to see
    bool running = false;          // a thread has work left
    bool ran = false;              // the outcome is set (or was taken)
    std::optional<SyncOutcome> outcome;
    enum class Verdict { kNone, kKeep, kDrop } verdict = Verdict::kNone;
    std::optional<SyncState> keepState;
};

namespace {

using Shared = SyncWorker::Shared;

SyncDate LocalDateOf(std::int64_t utcSeconds) {
    const quill::LocalMinute at = LocalMinuteAt(utcSeconds);
    return {at.year, at.month, at.day};
}

// The transport of the job's account, published so that a Cancel from the window reaches it.
std::unique_ptr<WinHttpTransport> OpenTransport(Shared& shared, const SyncAccount& account, SyncStatus& why) {
    WinCredentialStore secrets;
    TransportOptions options;
    options.url = account.serverUrl;
    options.user = account.user;
    options.password = secrets.Load(CredentialTarget(account)).value_or(std::string());
    std::unique_ptr<WinHttpTransport> transport = WinHttpTransport::Open(options, why);
    options.password.assign(options.password.size(), '\0');
    if (transport) {
        std::lock_guard lock(shared.mutex);
        shared.transport = transport.get();
        if (shared.cancelled)
            transport->Cancel();
    }
    return transport;
}

SyncOutcome RunOnce(Shared& shared, SyncJob& job, FileSystem& fs) {
    SyncOutcome outcome;
    SyncStatus why = SyncStatus::kOk;
    std::unique_ptr<WinHttpTransport> transport = OpenTransport(shared, job.account, why);
    if (!transport) {
        outcome.report.status = why;
        return outcome;
    }
    // Unpublished before the transport goes, however the run ends: a Cancel from the window must
    // never reach a transport that is gone.
    struct Unpublish {
        Shared& shared;
        ~Unpublish() {
            std::lock_guard lock(shared.mutex);
            shared.transport = nullptr;
        }
    } unpublish{shared};
    SyncSessionInput input;
    input.account = job.account;
    input.folder = job.folder;
    input.pivot = job.pivot;
    input.now = job.now;
    input.localDateOf = LocalDateOf;
    input.stop = &shared.stop;
    // The run works on the snapshot itself, which it was made for: the notes before are in the
    // report, so the diary is not held a third time for a big first pull.
    SyncSessionResult result = RunSyncSession(*transport, job.snapshot, fs, input);
    outcome.report = std::move(result.report);
    outcome.state = std::move(result.state);
    outcome.stateMark = std::move(result.stateMark);
    outcome.hasState = true;
    const std::vector<std::string>& keys = outcome.report.changedKeys;
    for (std::size_t i = 0; i < keys.size(); ++i)
        outcome.days.push_back(
            {keys[i], std::move(outcome.report.changedFrom[i]), job.snapshot.GetNote(keys[i]), false});
    outcome.report.changedFrom.clear();
    return outcome;
}

// Hands the outcome over and waits for the session's word; the state to keep, if any.
std::optional<SyncState> HandOver(Shared& shared, SyncOutcome outcome) {
    std::unique_lock lock(shared.mutex);
    shared.ran = true;
    if (shared.cancelled) {
        // Cut short on purpose: what it did on the server is found again by the next run.
        shared.changed.notify_all();
        return std::nullopt;
    }
    shared.outcome = std::move(outcome);
    shared.changed.notify_all();
    lock.unlock();
    ::PostMessageW(shared.window, shared.ranMessage, 0, 0);
    lock.lock();
    shared.changed.wait(lock, [&] { return shared.verdict != Shared::Verdict::kNone; });
    if (shared.verdict != Shared::Verdict::kKeep)
        return std::nullopt;
    return std::move(shared.keepState);
}

void RunThread(std::shared_ptr<Shared> shared, SyncJob job) {
    WinFileSystem fs;
    SyncOutcome outcome;
    try {
        outcome = RunOnce(*shared, job, fs);
    } catch (...) {
        ui::ReportCaught("the sync's run");
        outcome = SyncOutcome{};
        outcome.report.status = SyncStatus::kBadReply;
    }
    job.snapshot.Clear();
    const SyncStateMark stateMark = std::move(outcome.stateMark);
    const std::optional<SyncState> state = HandOver(*shared, std::move(outcome));
    try {
        // The notes the run changed are safe by now: the state may say they are agreed. Written to a
        // new file and moved over the old one, so a process that ends meanwhile leaves the old one.
        if (state)
            KeepSyncState(fs, job.folder + kSyncStateFileName, *state, stateMark);
    } catch (...) {
        ui::ReportCaught("keeping the sync's state");
    }
    std::unique_lock lock(shared->mutex);
    shared->running = false;
    shared->changed.notify_all();
    const HWND window = shared->window;
    const UINT ended = shared->endedMessage;
    lock.unlock();
    ::PostMessageW(window, ended, 0, 0);
}

} // namespace

SyncWorker::SyncWorker() : m_shared(std::make_shared<Shared>()) {}

SyncWorker::~SyncWorker() {
    Cancel();
    // A close has already waited what it may, and left its run: nothing more is waited for. Any
    // other run gets a moment, not the process's life.
    if (m_thread.joinable() && !WaitEnded(500))
        m_thread.detach();
}

void SyncWorker::Report(HWND window, UINT ranMessage, UINT endedMessage) {
    std::lock_guard lock(m_shared->mutex);
    m_shared->window = window;
    m_shared->ranMessage = ranMessage;
    m_shared->endedMessage = endedMessage;
}

bool SyncWorker::Running() {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->running;
}

bool SyncWorker::Start(SyncJob job) {
    if (Running())
        return false;
    // The last run's thread has only its end left.
    Join();
    std::lock_guard lock(m_shared->mutex);
    Shared& s = *m_shared;
    s.cancelled = false;
    s.stop = false;
    s.ran = false;
    s.outcome.reset();
    s.verdict = Shared::Verdict::kNone;
    s.keepState.reset();
    s.running = true;
    try {
        m_thread = std::thread(RunThread, m_shared, std::move(job));
    } catch (...) {
        if (!m_startFailureTold)
            ui::ReportCaught("starting the sync's thread");
        m_startFailureTold = true;
        s.running = false;
        return false;
    }
    m_startFailureTold = false;
    return true;
}

std::optional<SyncOutcome> SyncWorker::TakeOutcome() {
    std::lock_guard lock(m_shared->mutex);
    Shared& s = *m_shared;
    std::optional<SyncOutcome> outcome;
    if (s.ran && !s.cancelled && s.verdict == Shared::Verdict::kNone && s.outcome)
        outcome = std::move(s.outcome);
    s.outcome.reset();
    return outcome;
}

void SyncWorker::Finish(std::optional<SyncState> state) {
    std::lock_guard lock(m_shared->mutex);
    m_shared->keepState = std::move(state);
    m_shared->verdict = Shared::Verdict::kKeep;
    m_shared->changed.notify_all();
}

void SyncWorker::Cancel() {
    std::lock_guard lock(m_shared->mutex);
    Shared& s = *m_shared;
    s.cancelled = true;
    s.stop = true;
    if (s.verdict == Shared::Verdict::kNone)
        s.verdict = Shared::Verdict::kDrop;
    if (s.transport)
        s.transport->Cancel();
    s.changed.notify_all();
}

bool SyncWorker::WaitRan(std::uint64_t ms) {
    std::unique_lock lock(m_shared->mutex);
    Shared& s = *m_shared;
    if (!s.running)
        return s.ran && s.outcome.has_value();
    return s.changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return s.ran; }) &&
           s.outcome.has_value();
}

bool SyncWorker::WaitEnded(std::uint64_t ms) {
    {
        std::unique_lock lock(m_shared->mutex);
        Shared& s = *m_shared;
        if (!s.changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !s.running; }))
            return false;
    }
    // Only the thread's return is left.
    Join();
    return true;
}

void SyncWorker::Forsake() {
    if (m_thread.joinable())
        m_thread.detach();
}

void SyncWorker::Join() {
    if (m_thread.joinable())
        m_thread.join();
}
