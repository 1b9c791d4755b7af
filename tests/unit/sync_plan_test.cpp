// One day's plan, a row per situation a day can be in; and the writes carried out several at a time
// against the in-memory server, with a device that gets there first, connections cut in the middle
// of a batch, replies too slow, a stop, and replies that come back out of order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <set>

#include "fake_caldav_server.h"
#include "sync/day_plan.h"
#include "sync/day_resource.h"
#include "sync/sync_run.h"
#include "sync/sync_state.h"

namespace {

const std::string kRoot = std::string(FakeCalDavServer::kOrigin) + "/";
const std::string kMark = NewDayMark("agreed") + "-0123456789abcdef";
const std::string kOtherMark = NewDayMark("theirs") + "-fedcba9876543210";

TEST(SyncPlan, EverySituationOfADay) {
    using O = std::optional<std::string>;
    const struct {
        const char* what;
        std::string own;
        O base;
        std::string made;
        O remote;
        std::string etag, newDay;
        DayAction action;
        DayWrite write;
        std::string text, keptMark;
        bool baseKept;
    } cases[] = {
        {"as agreed", "agreed", "agreed", kMark, "agreed", "e1", kMark, DayAction::kNothing, DayWrite::kNone,
         "agreed", "", true},
        {"the same new text on both", "new", "agreed", kMark, "new", "e1", kMark, DayAction::kAgree,
         DayWrite::kNone, "new", "", true},
        {"emptied on both", "", "agreed", kMark, std::nullopt, "", "", DayAction::kForget, DayWrite::kNone,
         "", "", true},
        {"new here, none there", "mine", std::nullopt, "", std::nullopt, "", "", DayAction::kPush,
         DayWrite::kCreate, "mine", "", false},
        {"edited here", "edited", "agreed", kMark, "agreed", "e1", kMark, DayAction::kPush,
         DayWrite::kReplace, "edited", kMark, true},
        {"edited here, the entry unmarked", "edited", "agreed", kNoDayMark, "agreed", "e1", kNoDayMark,
         DayAction::kPush, DayWrite::kReplace, "edited", "", true},
        {"edited here, a mark no writer here makes", "edited", "agreed", "x-y", "agreed", "e1", "x-y",
         DayAction::kPush, DayWrite::kReplace, "edited", "", true},
        {"edited here, the entry's ETag unknown", "edited", "agreed", kMark, "agreed", "", kMark,
         DayAction::kPush, DayWrite::kReread, "edited", "", true},
        {"emptied here", "", "agreed", kMark, "agreed", "e1", kMark, DayAction::kDeleteRemote,
         DayWrite::kDelete, "", "", true},
        {"emptied here, the entry's ETag unknown", "", "agreed", kMark, "agreed", "", kMark,
         DayAction::kDeleteRemote, DayWrite::kReread, "", "", true},
        {"edited there", "agreed", "agreed", kMark, "theirs", "e2", kMark, DayAction::kPull, DayWrite::kNone,
         "theirs", "", true},
        {"gone there", "agreed", "agreed", kMark, std::nullopt, "", "", DayAction::kDeleteLocal,
         DayWrite::kNone, "", "", true},
        {"edited on both", "mine", "agreed", kMark, "theirs", "e2", kMark, DayAction::kJoin,
         DayWrite::kReplace, "theirs\r\n----\r\nmine", kMark, true},
        {"made anew by a writer that never saw the base", "agreed", "agreed", kMark, "theirs", "e2",
         kOtherMark, DayAction::kJoin, DayWrite::kReplace, "theirs\r\n----\r\nagreed", kOtherMark, false},
        {"made anew, an older state without the mark", "agreed", "agreed", "", "theirs", "e2",
         NewDayMark("theirs") + "-1", DayAction::kJoin, DayWrite::kReplace, "theirs\r\n----\r\nagreed", "",
         false},
        {"edited since made, an older state without the mark", "agreed", "agreed", "", "theirs", "e2",
         NewDayMark("first"), DayAction::kPull, DayWrite::kNone, "theirs", "", true},
        {"unmarked and edited there", "agreed", "agreed", kMark, "theirs", "e2", kNoDayMark, DayAction::kPull,
         DayWrite::kNone, "theirs", "", true},
        {"agreement forgotten, the upload gone since", "agreed", "agreed", kForgottenMark, std::nullopt, "",
         "", DayAction::kPush, DayWrite::kCreate, "agreed", "", false},
        {"agreement forgotten, the upload still there", "agreed", "agreed", kForgottenMark, "theirs", "e2",
         kOtherMark, DayAction::kJoin, DayWrite::kReplace, "theirs\r\n----\r\nagreed", kOtherMark, false},
        {"agreement forgotten, the server as here", "agreed", "agreed", kForgottenMark, "agreed", "e2", kMark,
         DayAction::kAgree, DayWrite::kNone, "agreed", "", false},
    };
    for (const auto& c : cases) {
        DaySides sides{c.own, c.base, c.made, RemoteDay{c.remote, c.etag, "/cal/d.ics", c.newDay}};
        const DayPlan plan = PlanDay(sides);
        EXPECT_EQ(plan.decision.action, c.action) << c.what;
        EXPECT_EQ(plan.write, c.write) << c.what;
        EXPECT_EQ(plan.decision.text, c.text) << c.what;
        EXPECT_EQ(plan.keptMark, c.keptMark) << c.what;
        EXPECT_EQ(plan.base.has_value(), c.baseKept && c.base.has_value()) << c.what;
        // Planned again on its own footing, the plan is the same.
        sides.base = plan.base;
        EXPECT_EQ(PlanDay(sides).decision, plan.decision) << c.what;
    }
}

std::string KeyOf(int day) {
    char key[8];
    std::snprintf(key, sizeof key, "%02d1226", day);
    return key;
}

std::string DayPath(const FakeCalDavServer& server, int day) {
    char name[64];
    std::snprintf(name, sizeof name, "quillidar-day-202612%02d.ics", day);
    return server.CollectionPath() + name;
}

// A PC with `days` notes of December 2026 and a collection set up for it.
struct Pushing {
    FakeCalDavServer server;
    CalDavClient client{server};
    NoteMap notes;
    SyncState state;
    SyncOptions options{kRoot, 2027, 0, {}};

    explicit Pushing(int days) {
        for (int d = 1; d <= days; ++d) {
            notes.SetNote(KeyOf(d), "mine " + std::to_string(d));
        }
        std::string url;
        EXPECT_EQ(client.Discover(kRoot, url), SyncStatus::kOk);
        state.collection = url;
    }

    // Every agreed day is what the server holds, under the ETag it gave.
    void ExpectStateConfirmed(const std::string& what) const {
        for (const auto& [date, day] : state.days) {
            const auto it = server.Resources().find(day.href);
            ASSERT_NE(it, server.Resources().end()) << what << " " << date;
            EXPECT_EQ(it->second.etag, day.etag) << what << " " << date;
            const ResourceRead read = ReadCalendarResource(it->second.data);
            ASSERT_EQ(read.entries.size(), 1u) << what;
            EXPECT_EQ(read.entries[0].text, day.base) << what << " " << date;
        }
    }
};

// Two whole batches of writes and two days over.
constexpr int kBatch = static_cast<int>(kWritesAtOnce);
constexpr int kPushDays = 2 * kBatch + 2;

TEST(SyncInFlight, AFirstPushGoesSeveralWritesAtATime) {
    Pushing pc(kPushDays);
    const SyncReport report = RunSync(pc.client, pc.notes, pc.state, pc.options);
    EXPECT_EQ(report.status, SyncStatus::kOk);
    EXPECT_EQ(report.pushed, kPushDays);
    EXPECT_EQ(pc.server.batches, (std::vector<std::size_t>{kWritesAtOnce, kWritesAtOnce, 2}));
    EXPECT_EQ(pc.state.days.size(), static_cast<std::size_t>(kPushDays));
    pc.ExpectStateConfirmed("first push");
}

TEST(SyncInFlight, FaultsInABatchKeepWhatTheServerConfirmed) {
    const struct {
        const char* what;
        int after;            // the request of the run the fault meets (0: the listing)
        TransportError error; // kNone: answered with `status`
        int status;
        bool applyFirst;
        SyncStatus ended;
    } cases[] = {
        {"the first write of a batch reset", 1, TransportError::kCut, 0, false, SyncStatus::kCut},
        {"the second write reset", 2, TransportError::kCut, 0, false, SyncStatus::kCut},
        {"the last write reset after it was carried out", kBatch, TransportError::kCut, 0, true,
         SyncStatus::kCut},
        {"a write of the second batch past its deadline", kBatch + 2, TransportError::kTimeout, 0, false,
         SyncStatus::kTimeout},
        {"a write refused by a full server", 3, TransportError::kNone, 507, false, SyncStatus::kServerFull},
        {"a write met a server error", 2, TransportError::kNone, 503, false, SyncStatus::kServerError},
    };
    for (const auto& c : cases) {
        Pushing pc(kPushDays);
        FakeCalDavServer::Fault fault;
        fault.after = c.after;
        fault.error = c.error;
        fault.status = c.status;
        fault.applyFirst = c.applyFirst;
        pc.server.faults.push_back(fault);
        const SyncReport report = RunSync(pc.client, pc.notes, pc.state, pc.options);
        EXPECT_EQ(report.status, c.ended) << c.what;
        EXPECT_FALSE(report.reachedEnd) << c.what;
        // The other writes of the batch the fault was in still count: only the one that failed is
        // left, with the days after the batch.
        EXPECT_EQ(pc.state.days.size(),
                  static_cast<std::size_t>(c.after <= kBatch ? kBatch - 1 : 2 * kBatch - 1))
            << c.what;
        pc.ExpectStateConfirmed(c.what);
        pc.server.faults.clear();
        EXPECT_EQ(RunSync(pc.client, pc.notes, pc.state, pc.options).status, SyncStatus::kOk) << c.what;
        EXPECT_EQ(pc.state.days.size(), static_cast<std::size_t>(kPushDays)) << c.what;
        pc.ExpectStateConfirmed(c.what);
        for (int d = 1; d <= kPushDays; ++d) {
            EXPECT_EQ(pc.notes.GetNote(KeyOf(d)), "mine " + std::to_string(d)) << c.what;
        }
    }
}

TEST(SyncInFlight, ADayAnotherDeviceGotToFirstIsJoinedAlone) {
    for (const int overtaken : {1, 2, 4}) {
        Pushing pc(4);
        // The phone writes its own text of that day just before the PC's write of it lands.
        const std::string path = DayPath(pc.server, overtaken);
        pc.server.answer = [&](const HttpRequest& request, HttpResponse&) {
            if (request.method == "PUT" && CalDavClient::PathOfUrl(request.url) == path &&
                !pc.server.Resources().count(path)) {
                pc.server.Write(path, EncodeDayResource({2026, 12, overtaken}, "phone", 0));
            }
            return false;
        };
        const SyncReport report = RunSync(pc.client, pc.notes, pc.state, pc.options);
        EXPECT_EQ(report.status, SyncStatus::kOk) << overtaken;
        EXPECT_EQ(report.pushed, 4) << overtaken;
        EXPECT_EQ(report.joined, 1) << overtaken;
        EXPECT_EQ(pc.notes.GetNote(KeyOf(overtaken)), "phone\r\n----\r\nmine " + std::to_string(overtaken));
        pc.ExpectStateConfirmed("overtaken");
    }
}

TEST(SyncInFlight, AStopLeavesTheWritesNotSentYet) {
    Pushing pc(kPushDays);
    std::atomic<bool> stop{false};
    pc.options.stop = &stop;
    int puts = 0, sentAfter = 0;
    pc.server.answer = [&](const HttpRequest& request, HttpResponse&) {
        sentAfter += stop.load();
        if (request.method == "PUT" && ++puts == kBatch + 2) {
            stop = true; // while the second batch is under way
        }
        return false;
    };
    const SyncReport report = RunSync(pc.client, pc.notes, pc.state, pc.options);
    EXPECT_EQ(report.status, SyncStatus::kCut);
    EXPECT_EQ(sentAfter, 0);
    EXPECT_EQ(pc.state.days.size(), static_cast<std::size_t>(kBatch + 2));
    pc.ExpectStateConfirmed("stopped");
    stop = false;
    EXPECT_EQ(RunSync(pc.client, pc.notes, pc.state, pc.options).status, SyncStatus::kOk);
    EXPECT_EQ(pc.state.days.size(), static_cast<std::size_t>(kPushDays));
}

TEST(SyncInFlight, RepliesInAnyOrderAreTakenForTheirOwnDays) {
    for (const unsigned seed : {1u, 2u, 3u, 4u}) {
        Pushing pc(9);
        std::mt19937 rng(seed);
        pc.server.reorder = [&](std::size_t n) {
            std::vector<std::size_t> order(n);
            for (std::size_t i = 0; i < n; ++i) {
                order[i] = i;
            }
            std::shuffle(order.begin(), order.end(), rng);
            return order;
        };
        ASSERT_EQ(RunSync(pc.client, pc.notes, pc.state, pc.options).status, SyncStatus::kOk);
        // Every day edited here, and every other one by the phone just before the PC's write of it
        // lands, so some replies of a batch are 412s.
        std::set<std::string> overtaken;
        for (int d = 1; d <= 9; ++d) {
            pc.notes.SetNote(KeyOf(d), "again " + std::to_string(d));
        }
        pc.server.answer = [&](const HttpRequest& request, HttpResponse&) {
            const std::string path = CalDavClient::PathOfUrl(request.url);
            const int d = std::atoi(path.substr(path.size() - 6, 2).c_str());
            if (request.method == "PUT" && d % 2 && overtaken.insert(path).second) {
                pc.server.Write(path, EncodeDayResource({2026, 12, d}, "phone", 0));
            }
            return false;
        };
        const SyncReport report = RunSync(pc.client, pc.notes, pc.state, pc.options);
        EXPECT_EQ(report.status, SyncStatus::kOk) << seed;
        EXPECT_EQ(report.joined, 5) << seed;
        pc.ExpectStateConfirmed("out of order");
        for (int d = 1; d <= 9; ++d) {
            const std::string note = pc.notes.GetNote(KeyOf(d));
            EXPECT_NE(note.find("again " + std::to_string(d)), std::string::npos) << seed << " " << note;
            EXPECT_EQ(note.find("phone") != std::string::npos, d % 2 == 1) << seed << " " << note;
        }
    }
}

} // namespace
