// A diary session on a folder in memory, with a clock the test moves and a sync runner it drives
// by hand: each run starts, brings its outcome, keeps its state and ends when the test says, or
// within a wait as the test set it up.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fake_file_system.h"
#include "session/diary_session.h"

namespace session_test {

inline constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

class TestPlatform : public SessionPlatform {
  public:
    std::uint64_t ms = 1000;
    std::uint64_t NowMs() override { return ms; }
    std::int64_t NowSeconds() override { return 1'800'000'000 + static_cast<std::int64_t>(ms / 1000); }
    int Today() override { return 20270101; }
    std::string FileStamp() override { return "20270101-000000"; }
    int Pivot() override { return 2027; }
    FsPath SettingsFile(bool) override { return L"T\\qlw.ini"; }
    std::vector<FsPath> LeftoversOf(const FsPath&) override { return {}; }

    // With `holdAside`, work meant for another thread waits until the test lands it, or until a
    // wait of at least `landsAfterMs` (kNever: none lands it; a wait without end always does).
    bool holdAside = false;
    std::uint64_t landsAfterMs = kNever;
    std::function<void()> held;
    std::function<bool(std::uint64_t)> RunAside(std::function<void()> work) override {
        if (!holdAside)
            return SessionPlatform::RunAside(std::move(work));
        held = std::move(work);
        return [this](std::uint64_t wait) {
            if (held && (wait == kNever || landsAfterMs <= wait)) {
                ms += wait == kNever ? 0 : landsAfterMs;
                Land();
            } else if (held) {
                ms += wait;
            }
            return !held;
        };
    }
    void Land() {
        if (held)
            std::exchange(held, nullptr)();
    }
};

class FakeRunner : public SyncRunner {
  public:
    enum class Phase { kIdle, kRunning, kOutcome, kKeeping };
    explicit FakeRunner(TestPlatform& clock) : m_clock(clock) {}

    Phase phase = Phase::kIdle;
    std::vector<SyncJob> jobs;
    int refusedStarts = 0; // starts asked for while a run was under way
    int startsToFail = 0;  // the next starts find no thread to run on
    bool cancelled = false;
    bool forsaken = false;
    bool ignoresCancel = false; // an outcome that raced the cancel is still handed over
    std::optional<std::optional<SyncState>> kept;
    // What the next outcome holds, and how long the waits at close take (kNever: not at all).
    SyncOutcome next;
    std::uint64_t ranAfterMs = 0;
    std::uint64_t endsAfterMs = 0;

    bool Start(SyncJob job) override {
        if (phase != Phase::kIdle) {
            ++refusedStarts;
            return false;
        }
        if (startsToFail > 0) {
            --startsToFail;
            return false;
        }
        jobs.push_back(std::move(job));
        phase = Phase::kRunning;
        cancelled = false;
        kept.reset();
        return true;
    }
    bool Running() override { return phase != Phase::kIdle; }
    std::optional<SyncOutcome> TakeOutcome() override {
        if (phase != Phase::kOutcome || !m_ready || (cancelled && !ignoresCancel))
            return std::nullopt;
        std::optional<SyncOutcome> outcome = std::move(m_ready);
        m_ready.reset();
        return outcome;
    }
    void Finish(std::optional<SyncState> state) override {
        kept = std::move(state);
        phase = Phase::kKeeping;
    }
    void Cancel() override { cancelled = true; }
    bool WaitRan(std::uint64_t ms) override {
        if (phase == Phase::kRunning && ranAfterMs <= ms) {
            m_clock.ms += ranAfterMs;
            Bring();
        } else if (phase == Phase::kRunning) {
            m_clock.ms += ms;
        }
        return phase == Phase::kOutcome;
    }
    bool WaitEnded(std::uint64_t ms) override {
        if (phase == Phase::kIdle)
            return true;
        if (endsAfterMs > ms) {
            m_clock.ms += ms;
            return false;
        }
        m_clock.ms += endsAfterMs;
        phase = Phase::kIdle;
        return true;
    }
    void Forsake() override { forsaken = true; }

    // The run's outcome waits (a cancelled run ends instead).
    void Bring() {
        if (cancelled && !ignoresCancel) {
            phase = Phase::kIdle;
            return;
        }
        m_ready = next;
        phase = Phase::kOutcome;
    }
    // The run's thread ends.
    void End() { phase = Phase::kIdle; }

  private:
    TestPlatform& m_clock;
    std::optional<SyncOutcome> m_ready;
};

class MemorySecrets : public SecretStore {
  public:
    bool Save(std::string_view target, std::string_view, std::string_view secret) override {
        kept[std::string(target)] = std::string(secret);
        return true;
    }
    std::optional<std::string> Load(std::string_view target) override {
        const auto it = kept.find(std::string(target));
        return it == kept.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    bool Remove(std::string_view target) override { return kept.erase(std::string(target)) > 0; }
    std::map<std::string, std::string> kept;
};

inline const std::vector<FsPath> kRoots = {L"L\\Quillidar\\"};

inline DiaryPlace Place() {
    return {L"T\\nts.ini", kRoots, L"C:\\USERS\\T\\"};
}

inline SyncAccount AccountOf(const char* host) {
    SyncAccount account;
    account.serverUrl = std::string("https://") + host + "/dav/";
    account.user = "me";
    return account;
}

// A session whose diary was read from the fake folder, showing day "010127".
struct Bench {
    FakeFileSystem fs;
    TestPlatform platform;
    FakeRunner runner{platform};
    MemorySecrets secrets;
    DiarySession session{fs, platform, runner};

    explicit Bench(const char* host = nullptr) {
        session.LoadNotes(std::make_unique<DiaryKeeper>(fs, Place(), RunStamp{1, 1}),
                          [](const RunStamp&) { return false; });
        session.ShowDay("010127");
        if (host)
            session.KeepAccount(AccountOf(host), "secret", secrets);
    }
    // The run under way brings a report of `status` and its thread ends; what its end changed.
    SessionChanges Complete(SyncStatus status, std::vector<LiveDay> days = {}) {
        runner.next = SyncOutcome{};
        runner.next.report.status = status;
        runner.next.hasState = true;
        runner.next.days = std::move(days);
        runner.Bring();
        session.RunEnded(session.GetNote(session.ShownDay()));
        runner.End();
        return session.RunFinished();
    }
    // The account read at start, and its first run started at the first tick.
    void FirstRunUnderWay() {
        session.LoadAccount();
        Advance(10);
    }
    void Advance(std::uint64_t ms) {
        platform.ms += ms;
        session.Tick([] { return std::string(); });
    }
};

} // namespace session_test
