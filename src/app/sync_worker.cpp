// The sync's thread: the run on a copy, the hand-over to the window, the state kept afterwards.
#include "app/sync_worker.h"

#include <ctime>

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

namespace {

SyncDate LocalDateOf(std::int64_t utcSeconds) {
    const quill::LocalMinute at = LocalMinuteAt(utcSeconds);
    return {at.year, at.month, at.day};
}

} // namespace

SyncWorker::~SyncWorker() {
    Cancel();
    Abandon();
    Join();
}

bool SyncWorker::Busy() {
    std::lock_guard lock(m_mutex);
    return m_thread.joinable() && !m_done;
}

bool SyncWorker::Start(SyncJob job, HWND window, UINT ranMessage, UINT savedMessage) {
    if (Busy())
        return false;
    // The last run's thread has only its end left: the state it keeps is written by now or soon.
    Join();
    std::lock_guard lock(m_mutex);
    m_done = false;
    m_cancelled = false;
    m_stop = false;
    m_ran = false;
    m_outcome.reset();
    m_verdict = Verdict::kNone;
    m_keepState.reset();
    try {
        m_thread = std::thread(&SyncWorker::Run, this, std::move(job), window, ranMessage, savedMessage);
    } catch (...) {
        ui::ReportCaught("starting the sync's thread");
        return false;
    }
    return true;
}

void SyncWorker::Run(SyncJob job, HWND window, UINT ranMessage, UINT savedMessage) {
    RunSteps(std::move(job), window, ranMessage, savedMessage);
    std::lock_guard lock(m_mutex);
    m_done = true;
}

void SyncWorker::RunSteps(SyncJob job, HWND window, UINT ranMessage, UINT savedMessage) {
    WinFileSystem fs;
    SyncOutcome outcome;
    try {
        WinCredentialStore secrets;
        TransportOptions options;
        options.url = job.account.serverUrl;
        options.user = job.account.user;
        options.password = secrets.Load(CredentialTarget(job.account)).value_or(std::string());
        SyncStatus why = SyncStatus::kOk;
        std::unique_ptr<WinHttpTransport> transport = WinHttpTransport::Open(options, why);
        options.password.assign(options.password.size(), '\0');
        if (!transport) {
            outcome.report.status = why;
        } else {
            {
                std::lock_guard lock(m_mutex);
                m_transport = transport.get();
                if (m_cancelled)
                    transport->Cancel();
            }
            // Unpublished before the transport goes, however the run ends: a Cancel from the
            // window must never reach a transport that is gone.
            struct Unpublish {
                SyncWorker* worker;
                ~Unpublish() {
                    std::lock_guard lock(worker->m_mutex);
                    worker->m_transport = nullptr;
                }
            } unpublish{this};
            SyncSessionInput input;
            input.account = job.account;
            input.folder = job.folder;
            input.pivot = job.pivot;
            input.now = job.now;
            input.localDateOf = LocalDateOf;
            input.stop = &m_stop;
            // The run works on the snapshot itself, which it was made for: the notes before are in
            // the report, so the diary is not held a third time for a big first pull.
            SyncSessionResult result = RunSyncSession(*transport, job.snapshot, fs, input);
            outcome.report = std::move(result.report);
            outcome.state = std::move(result.state);
            outcome.stateFileSum = result.stateFileSum;
            outcome.hasState = true;
            const std::vector<std::string>& keys = outcome.report.changedKeys;
            for (std::size_t i = 0; i < keys.size(); ++i)
                outcome.days.push_back({keys[i], std::move(outcome.report.changedFrom[i]),
                                        job.snapshot.GetNote(keys[i]), false});
            outcome.report.changedFrom.clear();
        }
    } catch (...) {
        ui::ReportCaught("the sync's run");
        outcome = SyncOutcome{};
        outcome.report.status = SyncStatus::kBadReply;
    }
    job.snapshot.Clear();

    std::unique_lock lock(m_mutex);
    if (m_cancelled) {
        // Cut short on purpose: what it did on the server is found again by the next run.
        m_ran = true;
        m_changed.notify_all();
        return;
    }
    m_outcome = std::move(outcome);
    m_ran = true;
    m_changed.notify_all();
    lock.unlock();
    ::PostMessageW(window, ranMessage, 0, 0);
    lock.lock();
    m_changed.wait(lock, [&] { return m_verdict != Verdict::kNone; });
    if (m_verdict != Verdict::kKeep)
        return;
    std::optional<SyncState> state = std::move(m_keepState);
    SyncReport report = m_outcome ? m_outcome->report : SyncReport{};
    const std::uint64_t stateFileSum = m_outcome ? m_outcome->stateFileSum : 0;
    lock.unlock();
    try {
        // The notes the run changed are in the journal by now: the state may say they are agreed.
        if (state)
            KeepSyncState(fs, job.folder + kSyncStateFileName, *state, stateFileSum);
        const SyncLastRun last =
            RecordSyncTry(fs, job.folder, report, static_cast<std::int64_t>(std::time(nullptr)));
        lock.lock();
        m_last = last;
        lock.unlock();
    } catch (...) {
        ui::ReportCaught("keeping the sync's state");
    }
    ::PostMessageW(window, savedMessage, 0, 0);
}

std::optional<SyncOutcome> SyncWorker::TakeOutcome() {
    std::lock_guard lock(m_mutex);
    std::optional<SyncOutcome> outcome;
    if (m_ran && m_verdict == Verdict::kNone && m_outcome) {
        outcome = std::move(m_outcome);
        m_outcome.emplace(); // the report stays for the record
        m_outcome->report = outcome->report;
        m_outcome->stateFileSum = outcome->stateFileSum;
    }
    return outcome;
}

void SyncWorker::Finish(std::optional<SyncState> state) {
    std::lock_guard lock(m_mutex);
    m_keepState = std::move(state);
    m_verdict = Verdict::kKeep;
    m_changed.notify_all();
}

void SyncWorker::Abandon() {
    std::lock_guard lock(m_mutex);
    if (m_verdict == Verdict::kNone)
        m_verdict = Verdict::kDrop;
    m_changed.notify_all();
}

void SyncWorker::Cancel() {
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_stop = true;
    if (m_transport)
        m_transport->Cancel();
}

bool SyncWorker::WaitRan(DWORD ms) {
    std::unique_lock lock(m_mutex);
    if (!m_thread.joinable())
        return false;
    return m_changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_ran; }) &&
           m_outcome.has_value();
}

void SyncWorker::Join() {
    std::thread thread;
    {
        std::lock_guard lock(m_mutex);
        thread = std::move(m_thread);
    }
    if (thread.joinable())
        thread.join();
}

SyncLastRun SyncWorker::LastRun() {
    std::lock_guard lock(m_mutex);
    return m_last;
}
