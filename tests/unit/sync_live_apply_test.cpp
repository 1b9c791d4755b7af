// A finished sync brought into a diary that moved on meanwhile: untouched days take the synced text
// (journal first), typed days keep the typing and are joined by the next run.
#include <gtest/gtest.h>

#include <optional>

#include "diary/note_join.h"
#include "fake_caldav_server.h"
#include "sync/live_apply.h"
#include "sync/sync_run.h"

namespace {

constexpr int kPivot = 2027;
const std::string kDay = "081226"; // 2026-12-08
const std::string kDate = "20261208";

struct Given {
    std::optional<std::string> live; // nullopt: the diary has no note for the day
    std::string snapshot, synced;
    bool typing = false;
    bool journalWorks = true;
    std::vector<ForeignEntry> foreign = {}; // other clients' entries of the day in the run's state
};
struct Then {
    std::string live;
    bool taken = false;
    std::optional<SyncDayState> state = std::nullopt;
};
struct Case {
    const char* name;
    Given given;
    std::optional<SyncDayState> before; // the run's new state for the day
    Then then;
};

// One case: the diary and the run's state as given, the synced day applied, and what they are after.
void RunCase(const Case& c) {
    SCOPED_TRACE(c.name);
    NoteMap live;
    live.SetNote("010126", "other day");
    if (c.given.live) {
        live.SetNote(kDay, *c.given.live);
    }
    SyncState state;
    state.days["20261207"] = {"/c/other.ics", "e9", "other"};
    if (c.before) {
        state.days[kDate] = *c.before;
    }
    if (!c.given.foreign.empty()) {
        state.foreign["/c/phone.ics"] = ForeignResource{"p1", c.given.foreign};
    }
    std::vector<std::string> journalled;
    const auto record = [&](std::string_view key, std::string_view text) {
        // Journalled while the diary still holds what the text replaces.
        EXPECT_EQ(live.FindNote(key), c.given.snapshot);
        journalled.push_back(std::string(key) + "=" + std::string(text));
        return c.given.journalWorks;
    };
    const LiveApplyReport report = ApplySyncedDays(
        live, state, {{kDay, c.given.snapshot, c.given.synced, c.given.typing}}, kPivot, record);

    EXPECT_EQ(live.GetNote(kDay), c.then.live);
    EXPECT_EQ(live.GetNote("010126"), "other day");
    EXPECT_EQ(report.taken.size(), c.then.taken ? 1u : 0u);
    EXPECT_EQ(report.kept.size(), c.then.taken ? 0u : 1u);
    const auto it = state.days.find(kDate);
    EXPECT_EQ(it != state.days.end() ? std::optional<SyncDayState>(it->second) : std::nullopt, c.then.state);
    EXPECT_EQ(state.days["20261207"], (SyncDayState{"/c/other.ics", "e9", "other"}));
    if (c.then.taken || !c.given.journalWorks) {
        EXPECT_EQ(journalled, std::vector<std::string>{kDay + "=" + c.given.synced});
    } else {
        EXPECT_TRUE(journalled.empty());
    }
}

TEST(SyncLiveApply, Table) {
    const std::string sep = kNotePartSeparator;
    // What the server gave the run for the day, and what a day kept out of the run stays agreed on.
    const SyncDayState server{"/c/d.ics", "e2", "b"};
    const SyncDayState agreedA{"/c/d.ics", "", "a"};
    const Case cases[] = {
        {"untouched day takes the server's text", {"a", "a", "b"}, server, {"b", true, server}},
        {"untouched new day", {std::nullopt, "", "b"}, server, {"b", true, server}},
        {"untouched day emptied there", {"a", "a", ""}, std::nullopt, {"", true, std::nullopt}},
        {"filed since: kept, compared from the snapshot", {"a+", "a", "b"}, server, {"a+", false, agreedA}},
        {"typing not filed yet", {"a", "a", "b", true}, server, {"a", false, agreedA}},
        {"deleted there while typed here: entry back to read again",
         {"a+", "a", ""},
         std::nullopt,
         {"a+", false, SyncDayState{"", "", "a"}}},
        {"new there while typed into an empty day: nothing agreed",
         {"x", "", "b"},
         server,
         {"x", false, std::nullopt}},
        {"journal refused: the day is not changed",
         {"a", "a", "b", false, false},
         server,
         {"a", false, agreedA}},
        {"a phone's entry is no part of what was agreed",
         {"a" + sep + "f+", "a" + sep + "f", "b" + sep + "f", false, true, {{{2026, 12, 8}, "f"}}},
         server,
         {"a" + sep + "f+", false, agreedA}},
    };
    for (const Case& c : cases)
        RunCase(c);
}

TEST(SyncLiveApply, EachDayOnItsOwn) {
    NoteMap live;
    live.SetNote("011226", "one");
    live.SetNote("021226", "two typed");
    SyncState state;
    const LiveApplyReport report = ApplySyncedDays(live, state,
                                                   {{"011226", "one", "ONE", false},
                                                    {"021226", "two", "TWO", false},
                                                    {"011226", "one", "ONE", false}, // named twice
                                                    {"031226", "", "THREE", false}},
                                                   kPivot, {});
    EXPECT_EQ(report.taken, (std::vector<std::string>{"011226", "031226"}));
    EXPECT_EQ(report.kept, (std::vector<std::string>{"021226"}));
    EXPECT_EQ(live.GetNote("011226"), "ONE");
    EXPECT_EQ(live.GetNote("021226"), "two typed");
    EXPECT_EQ(live.GetNote("031226"), "THREE");
    EXPECT_EQ(state.days["20261202"].base, "two");
}

// The whole round: a run on a copy while the user types over the day the server changed, the
// result applied, the typing filed, the next run. Both texts reach both sides, and another run
// changes nothing. Against each kind of listing the server may offer.
TEST(SyncLiveApply, TypingDuringARunIsJoinedByTheNext) {
    for (const bool tokens : {true, false}) {
        SCOPED_TRACE(tokens ? "sync tokens" : "ETags only");
        FakeCalDavServer server;
        server.supportsSync = tokens;
        CalDavClient client(server);
        const SyncOptions options{std::string(FakeCalDavServer::kOrigin) + "/", kPivot, 1700000000, {}};
        NoteMap live;
        live.SetNote(kDay, "mine");
        live.SetNote("091226", "quiet day");
        SyncState state;
        ASSERT_EQ(RunSync(client, live, state, options).status, SyncStatus::kOk);

        // The other PC changes both days.
        NoteMap other = live;
        SyncState otherState;
        ASSERT_EQ(RunSync(client, other, otherState, options).status, SyncStatus::kOk);
        other.SetNote(kDay, "theirs");
        other.SetNote("091226", "quiet day, edited there");
        ASSERT_EQ(RunSync(client, other, otherState, options).status, SyncStatus::kOk);

        // This PC's run works on a copy; meanwhile the user types into the day.
        const NoteMap snapshot = live;
        NoteMap copy = snapshot;
        const SyncReport report = RunSync(client, copy, state, options);
        ASSERT_EQ(report.status, SyncStatus::kOk);
        live.SetNote(kDay, "mine, typed on");
        std::vector<LiveDay> days;
        for (const std::string& key : report.changedKeys) {
            days.push_back({key, snapshot.GetNote(key), copy.GetNote(key), false});
        }
        ApplySyncedDays(live, state, days, kPivot, {});
        EXPECT_EQ(live.GetNote("091226"), "quiet day, edited there");
        EXPECT_EQ(live.GetNote(kDay), "mine, typed on");

        ASSERT_EQ(RunSync(client, live, state, options).status, SyncStatus::kOk);
        const std::string note = live.GetNote(kDay);
        EXPECT_NE(note.find("mine, typed on"), std::string::npos) << note;
        EXPECT_NE(note.find("theirs"), std::string::npos) << note;
        ASSERT_EQ(RunSync(client, other, otherState, options).status, SyncStatus::kOk);
        EXPECT_EQ(other.GetNote(kDay), note);

        const SyncReport again = RunSync(client, live, state, options);
        EXPECT_EQ(again.pushed + again.pulled, 0);
    }
}

} // namespace
