// A big run's days coming in a slice at a time and its whole save written off the window's thread:
// the state waits for the save, typing meanwhile stays in the journal, and the close waits for the
// save within its budget.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "diary/notes_file.h"
#include "session_support.h"

namespace {

using namespace session_test;

// The i-th of many distinct days (MMDDYY): 28 a month, 12 months a year, from 2000.
std::string ManyDay(std::size_t i) {
    const std::size_t day = i % 28 + 1, month = i / 28 % 12 + 1, year = i / (28 * 12);
    char key[8];
    std::snprintf(key, sizeof key, "%02zu%02zu%02zu", month, day, year % 100);
    return key;
}

// The run under way brings `days` days from the server, none of them typed into here.
void BringDays(Bench& bench, std::size_t days) {
    bench.runner.next = SyncOutcome{};
    bench.runner.next.report.status = SyncStatus::kOk;
    bench.runner.next.hasState = true;
    for (std::size_t i = 0; i < days; ++i)
        bench.runner.next.days.push_back({ManyDay(i), "", "server " + ManyDay(i), false});
    bench.runner.Bring();
}

// What a start after a crash now reads: the notes file and every journal left.
NoteMap Recovered(const FakeFileSystem& disk) {
    FakeFileSystem fs = disk;
    DiaryKeeper keeper(fs, Place(), RunStamp{2, 2});
    NoteMap notes;
    keeper.Start(notes, [](const RunStamp&) { return false; });
    return notes;
}

NoteMap OnDisk(const FakeFileSystem& fs) {
    NoteMap notes;
    if (const auto file = fs.files.find(L"T\\nts.ini"); file != fs.files.end())
        DecodeNotes(file->second, notes);
    return notes;
}

int OwnJournals(const FakeFileSystem& fs) {
    int n = 0;
    for (const auto& [path, bytes] : fs.files)
        n += path.find(L"journal-1-1-") != FsPath::npos;
    return n;
}

TEST(SessionSaveAside, TheStateIsKeptOnlyOnceTheSaveHoldingTheDaysHasLanded) {
    struct Case {
        const char* name;
        bool saveFails;      // the notes file cannot be flushed
        bool accountChanges; // while the save is written
        bool stateKept;
    };
    const Case cases[] = {
        {"the save lands", false, false, true},
        {"the save fails: the state on disk stays", true, false, false},
        {"the account changed: the save lands, the state is no one's", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench("dav.example.org");
        bench.platform.holdAside = true;
        bench.FirstRunUnderWay();
        BringDays(bench, 40);
        bench.session.RunEnded("");
        EXPECT_TRUE(bench.session.Saving());
        EXPECT_LE(bench.session.WakeInMs().value_or(kNever), kSaveLookMs);
        EXPECT_FALSE(bench.runner.kept.has_value());
        EXPECT_EQ(OnDisk(bench.fs).GetNote(ManyDay(39)), "");
        if (c.saveFails)
            bench.fs.FailNth(FsOp::kFlush, 1, FileError::kDiskFull);
        if (c.accountChanges)
            bench.session.KeepAccount(AccountOf("other.example.org"), "secret", bench.secrets);
        bench.Advance(kSaveLookMs);
        EXPECT_TRUE(bench.session.Saving()) << "nothing lands before the thread is done";
        bench.platform.Land();
        bench.Advance(kSaveLookMs);
        EXPECT_FALSE(bench.session.Saving());
        EXPECT_EQ(bench.runner.kept.has_value() && bench.runner.kept->has_value(), c.stateKept);
        EXPECT_EQ(OnDisk(bench.fs).GetNote(ManyDay(39)), c.saveFails ? "" : "server " + ManyDay(39));
        EXPECT_EQ(bench.session.GetNote(ManyDay(39)), "server " + ManyDay(39));
    }
}

TEST(SessionSaveAside, NothingTypedWhileTheSaveIsWrittenIsLostWhateverCrashesWhen) {
    Bench bench("dav.example.org");
    bench.platform.holdAside = true;
    bench.FirstRunUnderWay();
    bench.session.ShowDay("123199"); // a day the run does not bring
    BringDays(bench, 40);
    bench.session.RunEnded("");
    // Typing journalled after its pause, and a note filed on another day, both after the save began.
    bench.session.Typed();
    bench.platform.ms += 2500;
    bench.session.Tick([] { return std::string("typed while saving"); });
    bench.session.FileNote("typed while saving"); // as the window does before showing another day
    bench.session.ShowDay("123099");
    ASSERT_TRUE(bench.session.WriteJournal("filed while saving"));
    bench.session.FileNote("filed while saving");
    const auto check = [&](const char* when, bool daysOnDisk) {
        SCOPED_TRACE(when);
        const NoteMap after = Recovered(bench.fs);
        EXPECT_EQ(after.GetNote("123199"), "typed while saving");
        EXPECT_EQ(after.GetNote("123099"), "filed while saving");
        EXPECT_EQ(after.GetNote(ManyDay(7)), daysOnDisk ? "server " + ManyDay(7) : "");
    };
    check("before the save lands", false);
    bench.platform.Land();
    check("landed, not yet settled", true);
    bench.Advance(kSaveLookMs);
    ASSERT_FALSE(bench.session.Saving());
    EXPECT_GT(OwnJournals(bench.fs), 0) << "the journal holds what the saved file does not";
    check("settled", true);
    bench.session.Save(std::string("filed while saving"));
    EXPECT_EQ(OwnJournals(bench.fs), 0) << "a save holding everything settles the journal";
    check("saved at close", true);
}

TEST(SessionSaveAside, ABigRunComesInASliceATickAndTheBoxKeepsItsTyping) {
    Bench bench("dav.example.org");
    bench.platform.holdAside = true;
    bench.FirstRunUnderWay();
    const std::size_t days = 2 * kAppliedAtOnce + 100;
    const std::string last = ManyDay(days - 1);
    BringDays(bench, days);
    const SessionChanges first = bench.session.RunEnded("");
    EXPECT_TRUE(first.markDays);
    EXPECT_EQ(bench.session.GetNote(ManyDay(kAppliedAtOnce - 1)), "server " + ManyDay(kAppliedAtOnce - 1));
    EXPECT_EQ(bench.session.GetNote(ManyDay(kAppliedAtOnce)), "");
    EXPECT_EQ(bench.session.WakeInMs(), 0u);
    // The user shows the last day and types into it between two slices.
    bench.session.ShowDay(last);
    bench.session.Typed();
    bench.session.Tick([] { return std::string("mine"); });
    EXPECT_EQ(bench.session.GetNote(ManyDay(2 * kAppliedAtOnce - 1)),
              "server " + ManyDay(2 * kAppliedAtOnce - 1));
    EXPECT_FALSE(bench.session.Saving());
    bench.session.Tick([] { return std::string("mine"); });
    // The last slice filed the box before the save, and the day keeps it.
    EXPECT_TRUE(bench.session.Saving());
    EXPECT_EQ(bench.session.GetNote(last), "mine");
    bench.platform.Land();
    bench.Advance(kSaveLookMs);
    EXPECT_EQ(OnDisk(bench.fs).GetNote(last), "mine");
    EXPECT_EQ(OnDisk(bench.fs).GetNote(ManyDay(days - 2)), "server " + ManyDay(days - 2));
    ASSERT_TRUE(bench.runner.kept.has_value() && bench.runner.kept->has_value());
}

TEST(SessionSaveAside, TheCloseWaitsForASaveInFlightWithinItsBudget) {
    struct Case {
        const char* name;
        std::uint64_t landsAfterMs;
        bool ending;
        std::uint64_t waited; // by the close's save
        bool closeRuns;       // the close's sync starts a run
    };
    const Case cases[] = {
        {"lands within the close's budget", 1000, false, 1000, true},
        {"never lands: the close goes after four seconds", kNever, false, kSyncAtCloseMs, false},
        {"never lands at a sign-out: after one and a half", kNever, true, kSyncAtEndSessionMs, false},
        {"lands after the sign-out's budget", 2000, true, kSyncAtEndSessionMs, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench("dav.example.org");
        bench.platform.holdAside = true;
        bench.platform.landsAfterMs = c.landsAfterMs;
        bench.FirstRunUnderWay();
        BringDays(bench, 40);
        bench.session.RunEnded("");
        bench.runner.End(); // as far as the fake goes: the run waits for nothing any more
        bench.session.Typed();
        if (c.ending)
            bench.session.Ending();
        const std::uint64_t before = bench.platform.ms;
        bench.session.Save(std::string("the box at close"));
        EXPECT_EQ(bench.platform.ms - before, c.waited);
        const std::size_t jobs = bench.runner.jobs.size();
        bench.runner.ranAfterMs = kNever;
        bench.session.CloseSync();
        EXPECT_EQ(bench.runner.jobs.size() > jobs, c.closeRuns);
        EXPECT_LE(bench.platform.ms - before, c.ending ? kSyncAtEndSessionMs : kSyncAtCloseMs);
        EXPECT_EQ(Recovered(bench.fs).GetNote("010127"), "the box at close");
    }
}

// Random typing, filing, journalling, big runs, saves landing and ticks, with a crash looked at after
// every step: a start from what the disk holds then has every note filed and every text journalled,
// and the run's state is kept only once the notes file holds every day it brought.
TEST(SessionSaveAside, RandomStepsLoseNothingAndKeepNoStateAheadOfTheDiary) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        Bench bench("dav.example.org");
        bench.platform.holdAside = true;
        bench.session.LoadAccount();
        std::map<std::string, std::string> safe; // filed or journalled by the user
        std::size_t brought = 0;
        std::string boxText = bench.session.GetNote(bench.session.ShownDay());
        const char* mine[] = {"123197", "123198", "123199"};
        for (int step = 0; step < 60; ++step) {
            std::string box = "text " + std::to_string(step);
            // The box as the window reads it: what it shows, typed into or not.
            const auto read = [&] { return boxText; };
            switch (random() % 7) {
            case 0: // file a note on one of the user's days
                bench.session.ShowDay(mine[random() % 3]);
                // As the window does: the typing journalled, then filed.
                if (bench.session.WriteJournal(box))
                    safe[bench.session.ShownDay()] = box;
                bench.session.FileNote(box);
                boxText = box;
                break;
            case 1: // typing in the box, journalled once it pauses
                bench.session.Typed();
                boxText = box;
                bench.platform.ms += 2500;
                bench.session.Tick(read);
                safe[bench.session.ShownDay()] = box;
                bench.session.FileNote(box);
                break;
            case 2: // a big run brings its days
                if (bench.runner.phase == FakeRunner::Phase::kRunning) {
                    brought = 40 + random() % (kAppliedAtOnce + 40);
                    BringDays(bench, brought);
                    bench.session.RunEnded(bench.session.GetNote(bench.session.ShownDay()));
                }
                break;
            case 3:
                bench.platform.Land();
                break;
            case 4:
                if (bench.runner.phase == FakeRunner::Phase::kKeeping) {
                    bench.runner.End();
                    bench.session.RunFinished();
                }
                break;
            default:
                bench.platform.ms += random() % 2 ? kSaveLookMs : 400'000;
                bench.session.Tick(read);
                break;
            }
            const NoteMap after = Recovered(bench.fs);
            for (const auto& [key, text] : safe)
                ASSERT_EQ(after.GetNote(key), text) << "step " << step;
            if (bench.runner.kept && *bench.runner.kept) {
                ASSERT_EQ(OnDisk(bench.fs).GetNote(ManyDay(brought - 1)), "server " + ManyDay(brought - 1));
            }
        }
    }
}

} // namespace
