// The sync state kept by what changed: a change is one sealed batch in the state's log, read back
// as the state that was kept; a batch cut short, damaged or of another state file is never read;
// and the log gives way to the state written whole once it has grown, or cannot be added to.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>

#include "fake_file_system.h"
#include "sync/sync_state.h"

namespace {

const FsPath kPath = L"C:\\safety\\sync-state";
const FsPath kLog = L"C:\\safety\\sync-state-log";

// The d-th of a run of valid dates, 28 to a month.
std::string DateOf(int d) {
    char date[9];
    std::snprintf(date, sizeof date, "%04d%02d%02d", 2000 + d / 336, d / 28 % 12 + 1, d % 28 + 1);
    return date;
}

SyncState Diary(int days) {
    SyncState state;
    state.collection = "http://127.0.0.1:5232/cal/user/quillidar/";
    state.token = "t1";
    for (int d = 0; d < days; ++d) {
        const std::string date = DateOf(d);
        state.days[date] = {state.collection.substr(21) + "quillidar-day-" + date + ".ics",
                            "\"e" + std::to_string(d) + "\"", "今天 " + std::to_string(d) + "\r\n第二行",
                            std::string(16, 'a') + "-" + std::string(16, 'b')};
    }
    state.foreign["/cal/user/quillidar/phone-1.ics"] = {"\"p1\"",
                                                        {{{2000, 1, 1}, "跑步"}, {{2000, 1, 2}, "x y"}}};
    state.foreign["/cal/user/quillidar/phone 2.ics"] = {"\"p2\"", {}};
    return state;
}

struct Kept {
    FakeFileSystem fs;
    SyncState state = Diary(40);

    Kept() { EXPECT_EQ(SaveSyncState(fs, kPath, state).outcome, SaveOutcome::kSaved); }

    // One run: the state as read, a change to it, and the state kept.
    SaveResult Run(const std::function<void(SyncState&)>& change) {
        SyncStateMark mark;
        SyncState read = LoadSyncState(fs, kPath, nullptr, &mark);
        EXPECT_EQ(read, state);
        change(read);
        const SaveResult kept = KeepSyncState(fs, kPath, read, mark);
        if (kept.outcome == SaveOutcome::kSaved) {
            state = read;
        }
        return kept;
    }
};

TEST(SyncStateLog, EachChangeIsAddedAndReadBack) {
    const struct {
        const char* what;
        std::function<void(SyncState&)> change;
    } cases[] = {
        {"a day's agreed text", [](SyncState& s) { s.days.begin()->second.base = "改了"; }},
        {"a day's ETag only", [](SyncState& s) { s.days.rbegin()->second.etag = "\"new\""; }},
        {"a day's mark forgotten", [](SyncState& s) { s.days.begin()->second.made = kForgottenMark; }},
        {"a new day",
         [](SyncState& s) {
             s.days["20261209"] = {"/elsewhere/x y.ics", "", "新的", ""};
         }},
        {"a day gone", [](SyncState& s) { s.days.erase(s.days.begin()); }},
        {"every day gone", [](SyncState& s) { s.days.clear(); }},
        {"an entry's text",
         [](SyncState& s) { s.foreign.at("/cal/user/quillidar/phone-1.ics").entries[0].text = "散步"; }},
        {"a resource gone", [](SyncState& s) { s.foreign.erase("/cal/user/quillidar/phone 2.ics"); }},
        {"a new resource",
         [](SyncState& s) {
             s.foreign["/p\\3.ics"] = {"\"p3\"", {{{2026, 12, 9}, "新"}}};
         }},
        {"the token moved on", [](SyncState& s) { s.token = "t2"; }},
        {"a name given", [](SyncState& s) { s.name = "日记 2"; }},
        {"listed by ETags from now", [](SyncState& s) { s.etagsOnly = true; }},
    };
    for (const auto& c : cases) {
        Kept kept;
        const std::string whole = kept.fs.files[kPath];
        const int writes = kept.fs.Calls(FsOp::kWrite);
        ASSERT_EQ(kept.Run(c.change).outcome, SaveOutcome::kSaved) << c.what;
        EXPECT_EQ(kept.fs.files[kPath], whole) << c.what << ": the state file is left as it was";
        ASSERT_TRUE(kept.fs.files.count(kLog)) << c.what;
        EXPECT_LT(kept.fs.files[kLog].size(), whole.size() / 2) << c.what;
        EXPECT_EQ(kept.fs.Calls(FsOp::kWrite), writes + 1) << c.what << ": one append";
        EXPECT_EQ(LoadSyncState(kept.fs, kPath), kept.state) << c.what;
        // Kept again unchanged, nothing is written.
        ASSERT_EQ(kept.Run([](SyncState&) {}).outcome, SaveOutcome::kSaved) << c.what;
        EXPECT_EQ(kept.fs.Calls(FsOp::kWrite), writes + 1) << c.what;
    }
}

// A run that changes one day of a ten-year state adds about that day to the disk, not the state.
TEST(SyncStateLog, OneChangedDayOfTenYearsWritesAboutThatDay) {
    FakeFileSystem fs;
    SyncState state = Diary(3652);
    ASSERT_EQ(SaveSyncState(fs, kPath, state).outcome, SaveOutcome::kSaved);
    const std::size_t whole = fs.files[kPath].size();
    SyncStateMark mark;
    state = LoadSyncState(fs, kPath, nullptr, &mark);
    state.days.begin()->second.base += " 又一句";
    state.token = "t2";
    ASSERT_EQ(KeepSyncState(fs, kPath, state, mark).outcome, SaveOutcome::kSaved);
    EXPECT_LT(fs.files[kLog].size(), 600u);
    EXPECT_EQ(fs.files[kPath].size(), whole);
    EXPECT_EQ(LoadSyncState(fs, kPath), state);
}

// What is read when the log was cut, damaged, or left beside a state written whole since: the
// batches before the fault, never a part of one; the next keep then writes the state whole.
TEST(SyncStateLog, OnlyWholeBatchesOfThisStateFileAreRead) {
    Kept kept;
    std::vector<SyncState> states{kept.state};
    std::vector<std::size_t> ends{0};
    for (int run = 0; run < 3; ++run) {
        ASSERT_EQ(kept.Run([run](SyncState& s) {
                          std::next(s.days.begin(), run)->second.base = "第" + std::to_string(run);
                      })
                      .outcome,
                  SaveOutcome::kSaved);
        states.push_back(kept.state);
        ends.push_back(kept.fs.files[kLog].size());
    }
    const std::string log = kept.fs.files[kLog];
    for (std::size_t cut = 0; cut < log.size(); ++cut) {
        for (const bool flip : {false, true}) {
            FakeFileSystem fs = kept.fs;
            if (flip) {
                fs.files[kLog][cut] = static_cast<char>(fs.files[kLog][cut] ^ 0x20);
            } else {
                fs.files[kLog].resize(cut);
            }
            std::size_t whole = 0;
            while (whole + 1 < ends.size() && ends[whole + 1] <= cut) {
                ++whole;
            }
            SyncStateMark mark;
            const SyncState read = LoadSyncState(fs, kPath, nullptr, &mark);
            ASSERT_EQ(read, states[whole]) << "cut at " << cut << (flip ? " by a flipped bit" : "");
            SyncState next = read;
            next.token = "after";
            ASSERT_EQ(KeepSyncState(fs, kPath, next, mark).outcome, SaveOutcome::kSaved);
            ASSERT_EQ(LoadSyncState(fs, kPath), next) << cut;
        }
    }
    // A state written whole by another writer since: the log's batches are of the old one.
    FakeFileSystem fs = kept.fs;
    SyncState other = Diary(3);
    ASSERT_EQ(SaveSyncStateWhole(fs, kPath, other).outcome, SaveOutcome::kSaved);
    EXPECT_EQ(LoadSyncState(fs, kPath), other);
}

TEST(SyncStateLog, GivesWayToTheWholeState) {
    const struct {
        const char* what;
        FsOp op;
        FileError error;
    } cases[] = {
        {"the log grown past a quarter of the state", FsOp::kCount, FileError::kNone},
        {"the append refused", FsOp::kWrite, FileError::kAccessDenied},
        {"the disk full during the append", FsOp::kFlush, FileError::kDiskFull},
    };
    for (const auto& c : cases) {
        Kept kept;
        ASSERT_EQ(kept.Run([](SyncState& s) { s.token = "t2"; }).outcome, SaveOutcome::kSaved);
        ASSERT_TRUE(kept.fs.files.count(kLog));
        const std::string whole = kept.fs.files[kPath];
        int runs = 1;
        if (c.op == FsOp::kCount) {
            for (; kept.fs.files.count(kLog) && runs < 1000; ++runs) {
                kept.Run([runs](SyncState& s) {
                    s.days.begin()->second.base = std::string(300, 'x') + std::to_string(runs);
                });
            }
            // A quarter of the state or the floor under it, whichever is more, before it gives way.
            EXPECT_GT(runs, 100) << c.what;
        } else {
            kept.fs.FailNth(c.op, 1, c.error);
            EXPECT_EQ(kept.Run([](SyncState& s) { s.token = "t3"; }).outcome, SaveOutcome::kSaved) << c.what;
        }
        EXPECT_FALSE(kept.fs.files.count(kLog)) << c.what;
        EXPECT_NE(kept.fs.files[kPath], whole) << c.what;
        EXPECT_EQ(LoadSyncState(kept.fs, kPath), kept.state) << c.what;
    }
}

// Runs at random over one state: changes, keeps, the log cut or the state written whole between
// them. What is read is always the state last kept, or one kept before it when the log was cut.
TEST(SyncStateLog, ModelOfManyRuns) {
    std::mt19937 random(20261209);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 20; ++round) {
        Kept kept;
        std::vector<std::pair<std::size_t, SyncState>> batches; // the log's length after each
        for (int step = 0; step < 60; ++step) {
            const int what = pick(8);
            if (what == 0 && kept.fs.files.count(kLog)) {
                std::string& log = kept.fs.files[kLog];
                log.resize(static_cast<std::size_t>(pick(static_cast<int>(log.size()) + 1)));
                while (!batches.empty() && batches.back().first > log.size()) {
                    batches.pop_back();
                }
                const SyncState expected =
                    batches.empty() ? LoadSyncStateFile(kept.fs, kPath) : batches.back().second;
                ASSERT_EQ(LoadSyncState(kept.fs, kPath), expected) << round << " " << step;
                kept.state = expected;
                continue;
            }
            const SaveResult saved = kept.Run([&](SyncState& s) {
                const std::string date = DateOf(pick(60));
                if (what == 1) {
                    s.days.erase(date);
                } else if (what == 2) {
                    s.foreign["/f" + std::to_string(pick(4))] = {"\"" + std::to_string(step) + "\"",
                                                                 {{{2000, 1, 3}, "词"}}};
                } else {
                    s.days[date] = {"/d/" + date, "\"" + std::to_string(step) + "\"",
                                    "文 " + std::to_string(step), ""};
                }
            });
            ASSERT_EQ(saved.outcome, SaveOutcome::kSaved);
            if (kept.fs.files.count(kLog)) {
                batches.emplace_back(kept.fs.files[kLog].size(), kept.state);
            } else {
                batches.clear();
            }
            ASSERT_EQ(LoadSyncState(kept.fs, kPath), kept.state) << round << " " << step;
        }
    }
}

} // namespace
