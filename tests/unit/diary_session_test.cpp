// The diary session under the window: when the sync runs, how it backs off, "sync again", the
// close's budget, an account changed while a run is in flight, and a model of them all together.
#include <gtest/gtest.h>

#include <random>

#include "diary/notes_file.h"
#include "session_support.h"

using namespace session_test;

namespace {

std::uint64_t WakeOf(Bench& bench) {
    return bench.session.WakeInMs().value_or(kNever);
}

TEST(SessionSchedule, EachRunIsDueWhenTheLastOneLeftIt) {
    struct Case {
        const char* name;
        std::vector<SyncStatus> runs; // the runs before, in order
        bool filedDuringLast;
        std::uint64_t due; // ms from the last run's end
        int failures;
    };
    const Case cases[] = {
        {"after a success, five minutes", {SyncStatus::kOk}, false, 300'000, 0},
        {"after one failure, thirty seconds", {SyncStatus::kOffline}, false, 30'000, 1},
        {"after two failures, a minute", {SyncStatus::kOffline, SyncStatus::kTimeout}, false, 60'000, 2},
        {"after seven failures, half an hour at most", std::vector<SyncStatus>(7, SyncStatus::kOffline),
         false, 1'800'000, 7},
        {"a password refused waits an hour", {SyncStatus::kUnauthorized}, false, 3'600'000, 1},
        {"a success after failures resets the pace",
         {SyncStatus::kOffline, SyncStatus::kOffline, SyncStatus::kOk},
         false,
         300'000,
         0},
        {"a note filed during a good run: five seconds", {SyncStatus::kOk}, true, 5'000, 0},
        {"a note filed during a failed run waits for the back-off", {SyncStatus::kOffline}, true, 30'000, 1},
        {"a password refused by a server restarting, then taken: the ordinary pace",
         {SyncStatus::kUnauthorized, SyncStatus::kOk},
         false,
         300'000,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench("dav.example.org");
        bench.session.LoadAccount();
        for (std::size_t i = 0; i < c.runs.size(); ++i) {
            bench.Advance(WakeOf(bench));
            ASSERT_TRUE(bench.runner.Running());
            if (c.filedDuringLast && i + 1 == c.runs.size())
                bench.session.FileNote("typed while it ran");
            bench.Complete(c.runs[i]);
        }
        EXPECT_EQ(WakeOf(bench), c.due);
        EXPECT_EQ(bench.session.LastRun().failures, c.failures);
        bench.Advance(c.due - 1);
        EXPECT_FALSE(bench.runner.Running());
        bench.Advance(1);
        EXPECT_TRUE(bench.runner.Running());
    }
}

TEST(SessionSchedule, RunsStartAtTheFirstTickAndFiveSecondsAfterAFiledNote) {
    struct Case {
        const char* name;
        bool account;
        bool fileNote;
        std::uint64_t due;
    };
    const Case cases[] = {
        {"the first run after the first paint", true, false, 10},
        {"a note filed before it does not delay it", true, true, 10},
        {"without an account nothing runs", false, true, kNever},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench(c.account ? "dav.example.org" : nullptr);
        bench.session.LoadAccount();
        if (c.fileNote)
            bench.session.FileNote("a new note");
        EXPECT_EQ(WakeOf(bench), c.due);
    }
    // Idle after a success, a note filed brings the next run forward to five seconds.
    Bench bench("dav.example.org");
    bench.FirstRunUnderWay();
    bench.Complete(SyncStatus::kOk);
    bench.Advance(60'000);
    bench.session.FileNote("later");
    EXPECT_EQ(WakeOf(bench), 5'000u);
    // The same text filed again is no news.
    bench.Advance(5'000);
    bench.Complete(SyncStatus::kOk);
    bench.session.FileNote("later");
    EXPECT_EQ(WakeOf(bench), 300'000u);
}

TEST(SessionSchedule, SyncNowSkipsTheBackOffAndDuringARunAsksForAnother) {
    struct Case {
        const char* name;
        bool duringRun;
        SyncStatus before;
        bool startsNow;
        std::uint64_t dueAfterRun;
    };
    const Case cases[] = {
        {"after a failure: at once", false, SyncStatus::kOffline, true, kNever},
        {"after a refused password: at once", false, SyncStatus::kUnauthorized, true, kNever},
        {"during a run: another follows it", true, SyncStatus::kOk, false, 5'000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench("dav.example.org");
        bench.FirstRunUnderWay();
        if (!c.duringRun)
            bench.Complete(c.before);
        const std::size_t jobs = bench.runner.jobs.size();
        bench.session.SyncNow();
        EXPECT_EQ(bench.runner.jobs.size() > jobs, c.startsNow);
        if (c.duringRun) {
            bench.Complete(SyncStatus::kOk);
            EXPECT_EQ(WakeOf(bench), c.dueAfterRun);
        }
        EXPECT_EQ(bench.runner.refusedStarts, 0);
    }
}

TEST(SessionSchedule, AStartThatFindsNoThreadIsTriedAgainOnTheBackOff) {
    enum class Ask { kFirstTick, kFiledNote, kSyncNow, kSyncNowDuringRun };
    struct Case {
        const char* name;
        Ask ask;
        int fails;         // starts in a row that fail
        SyncStatus before; // how the run before the one asked for ended
        std::uint64_t due; // ms from the last failed start to the next try
    };
    const Case cases[] = {
        {"the first run: thirty seconds", Ask::kFirstTick, 1, SyncStatus::kOk, 30'000},
        {"twice: a minute", Ask::kFirstTick, 2, SyncStatus::kOk, 60'000},
        {"seven times: half an hour at most", Ask::kFirstTick, 7, SyncStatus::kOk, 1'800'000},
        {"five seconds after a filed note", Ask::kFiledNote, 1, SyncStatus::kOk, 30'000},
        {"sync now", Ask::kSyncNow, 1, SyncStatus::kOk, 30'000},
        {"sync now after a refused password", Ask::kSyncNow, 1, SyncStatus::kUnauthorized, 30'000},
        {"sync again after a run", Ask::kSyncNowDuringRun, 1, SyncStatus::kOk, 30'000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench("dav.example.org");
        bench.session.LoadAccount();
        if (c.ask != Ask::kFirstTick) {
            bench.Advance(WakeOf(bench));
            if (c.ask == Ask::kSyncNowDuringRun)
                bench.session.SyncNow();
            bench.runner.startsToFail = c.fails;
            bench.Complete(c.before);
        } else {
            bench.runner.startsToFail = c.fails;
        }
        if (c.ask == Ask::kFiledNote)
            bench.session.FileNote("filed after the run");
        if (c.ask == Ask::kSyncNow)
            bench.session.SyncNow();
        for (int i = 0; i < c.fails; ++i) {
            if (i > 0 || c.ask != Ask::kSyncNow)
                bench.Advance(WakeOf(bench));
            ASSERT_FALSE(bench.runner.Running());
        }
        const std::size_t jobs = bench.runner.jobs.size();
        const SyncLastRun record = bench.session.LastRun();
        EXPECT_EQ(WakeOf(bench), c.due);
        bench.Advance(c.due - 1);
        EXPECT_FALSE(bench.runner.Running());
        bench.Advance(1);
        ASSERT_TRUE(bench.runner.Running());
        EXPECT_EQ(bench.runner.jobs.size(), jobs + 1);
        // No request was made: how the server answered last is still what the record says.
        EXPECT_EQ(bench.session.LastRun(), record);
        // Once a run starts again the pace is a run's: a later failed start begins at thirty seconds.
        bench.Complete(SyncStatus::kOk);
        EXPECT_EQ(WakeOf(bench), 300'000u);
        bench.runner.startsToFail = 1;
        bench.Advance(WakeOf(bench));
        EXPECT_EQ(WakeOf(bench), 30'000u);
    }
}

TEST(SessionClose, AStartThatFailsAtTheCloseWaitsForNothing) {
    // Every pairing of the way out (close, sign-out) with starts that failed before it or not.
    for (int pairing = 0; pairing < 4; ++pairing) {
        const bool ending = pairing & 1, failedBefore = pairing & 2;
        SCOPED_TRACE(std::string(ending ? "sign-out" : "close") +
                     (failedBefore ? " after failed starts" : ""));
        Bench bench("dav.example.org");
        bench.FirstRunUnderWay();
        bench.Complete(SyncStatus::kOk);
        if (failedBefore) {
            bench.runner.startsToFail = 1;
            bench.session.SyncNow();
        }
        bench.session.SettingsTaken();
        bench.runner.startsToFail = 1;
        if (ending)
            bench.session.Ending();
        bench.session.Save("typed before the close");
        const std::uint64_t start = bench.platform.ms;
        bench.session.CloseSync();
        EXPECT_EQ(bench.platform.ms, start);
        EXPECT_FALSE(bench.runner.forsaken);
        EXPECT_FALSE(bench.runner.cancelled);
        EXPECT_EQ(bench.session.WakeInMs(), std::nullopt);
        NoteMap onDisk;
        ASSERT_TRUE(DecodeNotes(bench.fs.files.at(L"T\\nts.ini"), onDisk));
        EXPECT_EQ(onDisk.GetNote("010127"), "typed before the close");
        // Nothing is left scheduled, so nothing starts after the close.
        const std::size_t jobs = bench.runner.jobs.size();
        bench.Advance(2'000'000);
        bench.session.SyncNow();
        EXPECT_EQ(bench.runner.jobs.size(), jobs);
    }
}

TEST(SessionAccount, AnAccountChangedDuringARunGetsNothingOfIt) {
    struct Case {
        const char* name;
        const char* newHost; // nullptr: the sync turned off
        bool outcomeRacesCancel;
    };
    const Case cases[] = {
        {"another server", "other.example.org", false},
        {"another server, the outcome already on its way", "other.example.org", true},
        {"the sync turned off", nullptr, false},
        {"the sync turned off, the outcome already on its way", nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench("dav.example.org");
        bench.FirstRunUnderWay();
        ASSERT_TRUE(bench.runner.Running());
        bench.runner.ignoresCancel = c.outcomeRacesCancel;
        SyncAccount changed;
        if (c.newHost)
            changed = AccountOf(c.newHost);
        EXPECT_EQ(bench.session.KeepAccount(changed, "", bench.secrets), AccountKept::kKept);
        EXPECT_TRUE(bench.runner.cancelled);
        // The old server's run ends with a day it pulled and a failure it met.
        bench.Complete(SyncStatus::kUnauthorized, {{"020127", "", "from the old server", false}});
        EXPECT_EQ(bench.session.GetNote("020127"), "");
        EXPECT_FALSE(bench.runner.kept.has_value());
        EXPECT_EQ(bench.session.LastRun(), SyncLastRun{});
        EXPECT_EQ(LoadSyncLastRun(bench.fs, bench.session.Folder()), SyncLastRun{});
        // The new account's first run comes on its own, and its record is its own.
        if (c.newHost) {
            bench.session.SyncNow();
            ASSERT_TRUE(bench.runner.Running());
            EXPECT_EQ(bench.runner.jobs.back().account.serverUrl, AccountOf(c.newHost).serverUrl);
            bench.Complete(SyncStatus::kOk);
            EXPECT_EQ(bench.session.LastRun().status, SyncStatus::kOk);
            EXPECT_NE(bench.session.LastRun().succeeded, 0);
        } else {
            bench.Advance(3'600'000);
            EXPECT_FALSE(bench.runner.Running());
        }
    }
}

TEST(SessionAccount, AFailureOnlyTheUserCanMendIsToldOnce) {
    Bench bench("dav.example.org");
    bench.FirstRunUnderWay();
    bench.runner.next = SyncOutcome{};
    bench.runner.next.report.status = SyncStatus::kUnauthorized;
    bench.runner.Bring();
    bench.session.RunEnded(bench.session.GetNote(bench.session.ShownDay()));
    bench.runner.End();
    EXPECT_TRUE(bench.session.RunFinished().tellUser);
    bench.session.SyncNow();
    bench.runner.Bring();
    bench.session.RunEnded(bench.session.GetNote(bench.session.ShownDay()));
    bench.runner.End();
    EXPECT_FALSE(bench.session.RunFinished().tellUser);
    EXPECT_EQ(LoadSyncLastRun(bench.fs, bench.session.Folder()).failures, 2);
}

// A server that refused the right password while it restarted is found again by the widget's own
// tries, with no restart and no sync now, and a later refusal is news again.
TEST(SessionAccount, APasswordRefusedForAWhileIsTriedAgainAndToldAgainLater) {
    struct Case {
        const char* name;
        std::vector<SyncStatus> runs;
        std::vector<bool> told; // after each run
    };
    const Case cases[] = {
        {"refused, taken", {SyncStatus::kUnauthorized, SyncStatus::kOk}, {true, false}},
        {"refused twice, taken",
         {SyncStatus::kUnauthorized, SyncStatus::kUnauthorized, SyncStatus::kOk},
         {true, false, false}},
        {"refused, taken, refused again",
         {SyncStatus::kUnauthorized, SyncStatus::kOk, SyncStatus::kUnauthorized},
         {true, false, true}},
        {"refused, server down, refused",
         {SyncStatus::kUnauthorized, SyncStatus::kOffline, SyncStatus::kUnauthorized},
         {true, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench("dav.example.org");
        bench.FirstRunUnderWay();
        for (std::size_t i = 0; i < c.runs.size(); ++i) {
            if (i > 0)
                bench.Advance(WakeOf(bench));
            ASSERT_TRUE(bench.runner.Running()) << "run " << i << " never started";
            EXPECT_EQ(bench.Complete(c.runs[i]).tellUser, c.told[i]) << "after run " << i;
        }
        EXPECT_EQ(bench.session.LastRun().status, c.runs.back());
    }
}

TEST(SessionClose, EveryWaitOfTheCloseFitsItsBudgetAndNoNoteIsLost) {
    struct Case {
        const char* name;
        bool ending;
        bool runInFlight;        // a run on an older copy is under way at the close
        std::uint64_t ranAfter;  // the close's run brings its outcome after this long
        std::uint64_t endsAfter; // ...and its state is written after this long
        bool pulled;             // the day it brought is in the diary (saved before its state)
        bool recorded;           // the try was recorded
    };
    const Case cases[] = {
        {"a quick run", false, false, 300, 100, true, true},
        {"a run that never returns", false, false, kNever, 0, false, false},
        {"a run that returns after the budget", false, false, 5'000, 0, false, false},
        {"a state still being written at the budget", false, false, 3'000, kNever, true, false},
        {"an older run that never ends", false, true, 0, kNever, false, false},
        {"sign-out, a quick run", true, false, 300, 100, true, true},
        {"sign-out, a run that never returns", true, false, kNever, 0, false, false},
        {"sign-out, a run that returns after its budget", true, false, 2'000, 0, false, false},
        {"sign-out, a state still being written", true, false, 1'000, kNever, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench("dav.example.org");
        bench.FirstRunUnderWay();
        if (!c.runInFlight)
            bench.Complete(SyncStatus::kOk);
        bench.session.SettingsTaken();
        bench.runner.ranAfterMs = c.ranAfter;
        bench.runner.endsAfterMs = c.endsAfter;
        bench.runner.next = SyncOutcome{};
        bench.runner.next.hasState = true;
        bench.runner.next.report.pulled = 1;
        bench.runner.next.days = {{"030127", "", "pulled at close", false}};
        if (c.ending)
            bench.session.Ending();
        const SyncLastRun before = LoadSyncLastRun(bench.fs, bench.session.Folder());
        bench.session.Save("typed before the close");
        const std::uint64_t start = bench.platform.ms;
        bench.session.CloseSync();
        const std::uint64_t waited = bench.platform.ms - start;
        EXPECT_LE(waited, c.ending ? 1'500u : 4'000u);
        EXPECT_EQ(bench.runner.forsaken, !c.recorded);
        // The note typed is in the notes file whatever became of the sync.
        NoteMap onDisk;
        ASSERT_TRUE(DecodeNotes(bench.fs.files.at(L"T\\nts.ini"), onDisk));
        EXPECT_EQ(onDisk.GetNote("010127"), "typed before the close");
        EXPECT_EQ(onDisk.GetNote("030127"), c.pulled ? "pulled at close" : "");
        const SyncLastRun after = LoadSyncLastRun(bench.fs, bench.session.Folder());
        EXPECT_EQ(after.pulled, c.recorded ? 1 : before.pulled);
        // A later way out starts nothing more.
        const std::size_t jobs = bench.runner.jobs.size();
        bench.runner.End();
        bench.session.CloseSync();
        bench.session.SyncNow();
        EXPECT_EQ(bench.runner.jobs.size(), jobs);
    }
}

TEST(SessionTimer, TheTimerIsSetOnlyWhenSomethingFallsDueSooner) {
    struct Step {
        const char* what;
        std::uint64_t advance;
        bool typed;
        bool tick;
        std::optional<std::uint64_t> set; // the wait the window sets its timer to, if any
    };
    // Typing every 50 ms: the journal's check is set once, not pushed back at every key, so steady
    // typing reaches the journal while it goes on.
    const Step steps[] = {
        {"the first key", 0, true, false, 200},
        {"a key 50 ms later", 50, true, false, std::nullopt},
        {"another", 50, true, false, std::nullopt},
        {"the timer fires", 100, false, true, 200},
        {"a key after it", 50, true, false, std::nullopt},
    };
    Bench bench;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        bench.platform.ms += step.advance;
        if (step.typed)
            bench.session.Typed();
        if (step.tick)
            bench.session.Tick([] { return std::string("typed"); });
        EXPECT_EQ(bench.session.TimerToSet(), step.set);
    }
    // A sync falling due sooner than the timer set sets it again.
    Bench synced("dav.example.org");
    synced.session.Typed();
    EXPECT_EQ(synced.session.TimerToSet(), 200u);
    synced.session.LoadAccount();
    EXPECT_EQ(synced.session.TimerToSet(), 10u);
}

TEST(SessionJournal, TypingReachesTheJournalAfterAPauseOrTenSecondsOfIt) {
    struct Case {
        const char* name;
        std::uint64_t keyEveryMs;
        std::uint64_t typingMs;
        bool writtenWhileTyping;
    };
    const Case cases[] = {
        {"a pause of two seconds", 2'500, 2'500, true},
        {"steady typing, within ten seconds", 100, 10'100, true},
        {"steady typing, not yet ten seconds", 100, 9'000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bool written = false;
        for (std::uint64_t t = 0; t <= c.typingMs; t += c.keyEveryMs) {
            bench.session.Typed();
            bench.platform.ms += c.keyEveryMs;
            bench.session.Tick([&] {
                written = true;
                return std::string("typed so far");
            });
        }
        EXPECT_EQ(written, c.writtenWhileTyping);
        // Nothing was filed: the journal holds the typing, the diary its note as it was.
        EXPECT_EQ(bench.session.GetNote("010127"), "");
    }
}

TEST(SessionSettings, OnlyAWindowThatTookItsSettingsSavesThem) {
    struct Case {
        const char* name;
        bool taken;
        bool saved;
    };
    const Case cases[] = {
        {"taken: saved, and read back", true, true},
        {"never taken: the file is left alone", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        EXPECT_FALSE(bench.session.LoadSettings());
        bench.session.Settings().m_nPosX = 321;
        if (c.taken)
            bench.session.SettingsTaken();
        EXPECT_EQ(bench.session.SaveSettings(), c.saved);
        EXPECT_EQ(bench.fs.files.count(L"T\\qlw.ini") == 1, c.saved);
        Bench again;
        again.fs.files = bench.fs.files;
        EXPECT_EQ(again.session.LoadSettings(), c.saved);
        EXPECT_EQ(again.session.Settings().m_nPosX == 321, c.saved);
    }
}

TEST(SessionSave, TheWayOutFilesTheBoxUnlessItCouldNotBeRead) {
    struct Case {
        const char* name;
        std::optional<std::string> typed;
        const char* saved;
    };
    const Case cases[] = {
        {"the box's text is filed and saved", "typed at the close", "typed at the close"},
        {"an emptied box empties the day", "", ""},
        {"a box that could not be read files nothing", std::nullopt, "filed before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bench.session.FileNote("filed before");
        bench.session.Save(c.typed ? std::optional<std::string_view>(*c.typed) : std::nullopt);
        NoteMap onDisk;
        ASSERT_TRUE(DecodeNotes(bench.fs.files.at(L"T\\nts.ini"), onDisk));
        EXPECT_EQ(onDisk.GetNote("010127"), c.saved);
    }
}

TEST(SessionSave, ADiaryNotReadIsNeverWrittenNorSynced) {
    FakeFileSystem fs;
    TestPlatform platform;
    FakeRunner runner{platform};
    DiarySession session{fs, platform, runner};
    EXPECT_FALSE(session.LoadNotes(nullptr, {}));
    session.ShowDay("010127");
    session.Typed();
    EXPECT_FALSE(session.WriteJournal("typed"));
    session.SettingsTaken();
    session.Save(std::string_view("typed"));
    EXPECT_EQ(fs.files.count(L"T\\nts.ini"), 0u);
    session.LoadAccount();
    EXPECT_FALSE(session.Account().has_value());
    session.SyncNow();
    EXPECT_TRUE(runner.jobs.empty());
}

TEST(SessionOutcome, DaysComeInUnlessTypedAndAWholeSaveComesBeforeTheState) {
    struct Case {
        const char* name;
        std::size_t days; // brought by the run, the shown day first
        bool boxTyped;    // the box holds typing for the shown day, not filed
        bool showNote;    // the box shows the day's new text
        bool savedWhole;  // the notes file holds the run's days before the state is kept
    };
    const Case cases[] = {
        {"one day, the shown one", 1, false, true, false},
        {"the shown day typed into keeps the typing", 1, true, false, false},
        {"thirty-three days are saved whole", 33, false, true, true},
        {"saved whole, the typing filed first", 33, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench("dav.example.org");
        bench.FirstRunUnderWay();
        bench.runner.next = SyncOutcome{};
        bench.runner.next.hasState = true;
        for (std::size_t i = 0; i < c.days; ++i) {
            // Days of January, then of February.
            const std::size_t day = i < 28 ? i + 1 : i - 27;
            const std::string key = (day < 10 ? "0" : "") + std::to_string(day) + (i < 28 ? "0127" : "0227");
            bench.runner.next.days.push_back({key, "", "from the server", false});
        }
        bench.runner.Bring();
        const std::string typed = c.boxTyped ? "typing in the box" : "";
        const SessionChanges changes = bench.session.RunEnded(typed);
        EXPECT_EQ(changes.showNote, c.showNote);
        EXPECT_EQ(changes.markDays, c.days > 1 || !c.boxTyped);
        EXPECT_EQ(bench.session.GetNote("010127"),
                  c.boxTyped ? (c.savedWhole ? typed : "") : "from the server");
        EXPECT_EQ(bench.session.GetNote("020127"), c.days > 1 ? "from the server" : "");
        ASSERT_TRUE(bench.runner.kept.has_value());
        const auto file = bench.fs.files.find(L"T\\nts.ini");
        NoteMap onDisk;
        if (file != bench.fs.files.end())
            DecodeNotes(file->second, onDisk);
        EXPECT_EQ(onDisk.GetNote("020127") == "from the server", c.savedWhole);
    }
}

// The model's invariants after each step.
void CheckModel(Bench& bench, const std::map<std::string, std::string>& filed, int hosts) {
    ASSERT_EQ(bench.runner.refusedStarts, 0);
    // A sync nothing is running for is always due again, whatever failed to start.
    if (!bench.runner.Running() && !bench.session.JournalPending()) {
        ASSERT_NE(bench.session.WakeInMs(), std::nullopt);
    }
    for (const auto& [key, text] : filed)
        ASSERT_EQ(bench.session.GetNote(key), text);
    // A record is this account's: its runs report the number of the account they ran for.
    const SyncLastRun& last = bench.session.LastRun();
    if (last.tried != 0 && last.status == SyncStatus::kOk) {
        ASSERT_EQ(last.pushed, hosts);
    }
}

// Random commands against a reference of what was filed: no filed note is lost, the record is the
// current account's, at most one run is under way, and a sync with no run under way is always due.
TEST(SessionModel, RandomCommandsKeepEveryFiledNoteAndOneRecordPerAccount) {
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        Bench bench("a.example.org");
        bench.session.LoadAccount();
        std::map<std::string, std::string> filed;
        int hosts = 0;
        std::string host = "a.example.org";
        const char* days[] = {"010127", "020127", "030127"};
        for (int step = 0; step < 80; ++step) {
            switch (random() % 9) {
            case 0: { // select a day and type into it
                bench.session.ShowDay(days[random() % 3]);
                bench.session.Typed();
                const std::string text = "note " + std::to_string(step);
                bench.session.FileNote(text);
                filed[bench.session.ShownDay()] = text;
                break;
            }
            case 1:
                bench.Advance(random() % 400'000);
                break;
            case 2:
                bench.session.SyncNow();
                break;
            case 3: // the run under way brings its outcome: a day nobody typed into, from the server
                if (bench.runner.phase == FakeRunner::Phase::kRunning) {
                    bench.runner.next = SyncOutcome{};
                    bench.runner.next.report.status = random() % 2 ? SyncStatus::kOk : SyncStatus::kOffline;
                    bench.runner.next.report.pushed = hosts;
                    bench.runner.next.hasState = true;
                    bench.runner.Bring();
                    bench.session.RunEnded(bench.session.GetNote(bench.session.ShownDay()));
                    // A cancelled run's thread just ends, and the window hears of it.
                    if (bench.runner.phase == FakeRunner::Phase::kIdle)
                        bench.session.RunFinished();
                }
                break;
            case 4:
                if (bench.runner.phase == FakeRunner::Phase::kKeeping ||
                    (bench.runner.cancelled && bench.runner.phase != FakeRunner::Phase::kIdle)) {
                    bench.runner.End();
                    bench.session.RunFinished();
                }
                break;
            case 5: // another account, or the sync off and on again
                host = std::to_string(++hosts) + ".example.org";
                bench.session.KeepAccount(random() % 3 ? AccountOf(host.c_str()) : SyncAccount{}, "",
                                          bench.secrets);
                if (!bench.session.Account())
                    bench.session.KeepAccount(AccountOf(host.c_str()), "", bench.secrets);
                // As the dialog does once an account is kept.
                bench.session.SyncNow();
                break;
            case 6: // the next starts find no thread to run on
                bench.runner.startsToFail = static_cast<int>(random() % 3);
                break;
            default:
                bench.Advance(random() % 6'000);
                break;
            }
            ASSERT_NO_FATAL_FAILURE(CheckModel(bench, filed, hosts));
        }
        bench.session.Save(bench.session.GetNote(bench.session.ShownDay()));
        bench.runner.ranAfterMs = random() % 2 ? 100 : kNever;
        bench.session.CloseSync();
        NoteMap onDisk;
        ASSERT_TRUE(DecodeNotes(bench.fs.files.at(L"T\\nts.ini"), onDisk));
        for (const auto& [key, text] : filed)
            EXPECT_EQ(onDisk.GetNote(key), text);
    }
}

} // namespace
