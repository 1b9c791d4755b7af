// The sync with big diaries and unkind servers: multiget batches split down to the entry that
// cannot be taken, a run cut short keeping what it read, the state file's compact form (and the
// first version's, still read), and a run that changes nothing writing nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>

#include "fake_caldav_server.h"
#include "fake_file_system.h"
#include "sync/day_resource.h"
#include "sync/sync_run.h"
#include "sync/sync_session.h"
#include "sync/sync_state.h"

namespace {

const std::string kRoot = std::string(FakeCalDavServer::kOrigin) + "/";

std::size_t HrefsIn(const HttpRequest& request) {
    std::size_t n = 0;
    for (std::size_t at = request.body.find("<d:href>"); at != std::string::npos;
         at = request.body.find("<d:href>", at + 1)) {
        ++n;
    }
    return n;
}

bool IsMultiget(const HttpRequest& request) {
    return request.method == "REPORT" && request.body.find("calendar-multiget") != std::string::npos;
}

std::string DayPath(const FakeCalDavServer& server, int day) {
    char name[64];
    std::snprintf(name, sizeof name, "quillidar-day-202612%02d.ics", day);
    return server.CollectionPath() + name;
}

std::string KeyOf(int day) {
    char key[8];
    std::snprintf(key, sizeof key, "%02d1226", day);
    return key;
}

// A server holding days 1..n written by another PC, and a PC that joins it.
struct Joining {
    FakeCalDavServer server;
    CalDavClient client{server};
    NoteMap notes;
    SyncState state;
    SyncOptions options{kRoot, 2027, 0, {}};

    explicit Joining(int n) {
        std::string url;
        EXPECT_EQ(client.Discover(kRoot, url), SyncStatus::kOk);
        for (int d = 1; d <= n; ++d) {
            server.Write(DayPath(server, d), EncodeDayResource({2026, 12, d}, "day " + std::to_string(d), 0));
        }
    }
};

TEST(SyncScale, FailingBatchesAreSplitDownToTheEntryLeftOut) {
    struct Case {
        const char* what;
        std::size_t largestReadable; // a multiget of more hrefs is refused; 0: none is
        std::vector<int> poisoned;   // days whose presence makes a reply unreadable
        TransportError error;        // how a refused multiget fails; kNone: an unreadable 207
        SyncStatus status;
        std::size_t refused;
    } cases[] = {
        {"replies too large past 7 entries", 7, {}, TransportError::kTooLarge, SyncStatus::kOk, 0},
        {"replies unreadable past 3 entries", 3, {}, TransportError::kNone, SyncStatus::kOk, 0},
        {"one entry unreadable", 0, {17}, TransportError::kNone, SyncStatus::kBadReply, 1},
        {"one entry too large", 0, {30}, TransportError::kTooLarge, SyncStatus::kTooLarge, 1},
        {"three entries unreadable", 0, {1, 2, 31}, TransportError::kNone, SyncStatus::kBadReply, 3},
        {"two too large", 0, {4, 5}, TransportError::kTooLarge, SyncStatus::kTooLarge, 2},
        {"no reply readable at all", 1, {}, TransportError::kNone, SyncStatus::kBadReply, 31},
    };
    for (const Case& c : cases) {
        Joining pc(31);
        std::set<std::string> poisoned;
        for (const int d : c.poisoned) {
            poisoned.insert(DayPath(pc.server, d));
        }
        const bool nothingReadable = c.largestReadable == 1;
        pc.server.answer = [&](const HttpRequest& request, HttpResponse& reply) {
            if (!IsMultiget(request)) {
                return false;
            }
            bool refuse = nothingReadable || (c.largestReadable && HrefsIn(request) > c.largestReadable);
            for (const std::string& path : poisoned) {
                refuse = refuse || request.body.find(path) != std::string::npos;
            }
            if (!refuse) {
                return false;
            }
            reply = {};
            reply.error = c.error;
            reply.status = c.error == TransportError::kNone ? 207 : 0;
            reply.body = "<d:multistatus xmlns:d=\"DAV:\"><d:response>";
            return true;
        };
        const int before = pc.client.Requests();
        const SyncReport report = RunSync(pc.client, pc.notes, pc.state, pc.options);
        EXPECT_EQ(report.status, c.status) << c.what;
        EXPECT_EQ(report.refused.size(), nothingReadable ? 0 : c.refused) << c.what;
        if (nothingReadable) {
            EXPECT_EQ(pc.notes.size(), 0u) << c.what;
            // Given up after the first batch, not split entry by entry through the whole listing.
            EXPECT_LE(pc.client.Requests() - before, 2 * 31 + 4) << c.what;
            continue;
        }
        EXPECT_TRUE(report.reachedEnd) << c.what;
        for (int d = 1; d <= 31; ++d) {
            const bool left = std::count(c.poisoned.begin(), c.poisoned.end(), d) != 0;
            EXPECT_EQ(pc.notes.GetNote(KeyOf(d)), left ? "" : "day " + std::to_string(d))
                << c.what << " " << d;
        }
        EXPECT_EQ(pc.server.writes, 0) << c.what; // nothing left out is written over
        // An entry too large is not asked for again while it stays as it is, and is read once it
        // is written anew; one whose reply could not be read is asked for again at the next run.
        std::size_t multigetHrefs = 0;
        pc.server.answer = [&](const HttpRequest& request, HttpResponse&) {
            multigetHrefs += IsMultiget(request) ? HrefsIn(request) : 0;
            return false;
        };
        if (c.status == SyncStatus::kTooLarge) {
            EXPECT_EQ(RunSync(pc.client, pc.notes, pc.state, pc.options).status, SyncStatus::kOk) << c.what;
            EXPECT_EQ(multigetHrefs, 0u) << c.what;
            for (const int d : c.poisoned) {
                pc.server.Write(DayPath(pc.server, d),
                                EncodeDayResource({2026, 12, d}, "day " + std::to_string(d), 0));
            }
        }
        const SyncReport again = RunSync(pc.client, pc.notes, pc.state, pc.options);
        EXPECT_EQ(again.status, SyncStatus::kOk) << c.what;
        EXPECT_EQ(multigetHrefs, c.poisoned.size()) << c.what;
        for (int d = 1; d <= 31; ++d) {
            EXPECT_EQ(pc.notes.GetNote(KeyOf(d)), "day " + std::to_string(d)) << c.what << " " << d;
        }
    }
}

TEST(SyncScale, RunCutShortKeepsWhatItRead) {
    // 1,200 days: three slices of the fetch; the connection goes at the nth multiget.
    struct Case {
        int cutAtMultiget; // from 1
        bool someRead;
    } cases[] = {{1, false}, {2, true}, {11, true}, {24, true}};
    for (const Case& c : cases) {
        Joining pc(0);
        for (int i = 0; i < 1200; ++i) {
            const SyncDate date = {1928 + i / 12, 1 + i % 12, 1};
            pc.server.Write(pc.server.CollectionPath() + HrefNameOfDay(date),
                            EncodeDayResource(date, "n", 0));
        }
        const std::size_t total = pc.server.Resources().size();
        int multigets = 0;
        pc.server.answer = [&](const HttpRequest& request, HttpResponse& reply) {
            if (IsMultiget(request) && ++multigets == c.cutAtMultiget) {
                reply = {};
                reply.error = TransportError::kCut;
                return true;
            }
            return false;
        };
        const SyncReport cut = RunSync(pc.client, pc.notes, pc.state, pc.options);
        EXPECT_EQ(cut.status, SyncStatus::kCut) << c.cutAtMultiget;
        EXPECT_FALSE(cut.reachedEnd);
        EXPECT_EQ(pc.state.days.size() > 0, c.someRead) << c.cutAtMultiget;
        EXPECT_EQ(pc.notes.size(), pc.state.days.size()) << c.cutAtMultiget; // every note read is agreed
        EXPECT_TRUE(pc.state.token.empty()) << c.cutAtMultiget;              // the rest are listed again
        EXPECT_EQ(pc.server.writes, 0);
        // The next run fetches only what the first did not read, and ends with every day.
        std::size_t asked = 0;
        pc.server.answer = [&](const HttpRequest& request, HttpResponse&) {
            asked += IsMultiget(request) ? HrefsIn(request) : 0;
            return false;
        };
        const std::size_t had = pc.state.days.size();
        const SyncReport rest = RunSync(pc.client, pc.notes, pc.state, pc.options);
        EXPECT_EQ(rest.status, SyncStatus::kOk) << c.cutAtMultiget;
        EXPECT_EQ(asked, total - had) << c.cutAtMultiget;
        EXPECT_EQ(pc.notes.size(), total);
        EXPECT_EQ(pc.server.writes, 0);
    }
}

TEST(SyncScale, StopEndsTheRunBetweenDays) {
    // Asked to stop during the first push of 28 days, and during a pull of as many.
    for (const bool pushing : {true, false}) {
        Joining pc(pushing ? 0 : 28);
        if (pushing) {
            for (int d = 1; d <= 28; ++d) {
                pc.notes.SetNote(KeyOf(d), "mine " + std::to_string(d));
            }
        }
        std::atomic<bool> stop{false};
        pc.options.stop = &stop;
        int requests = 0, after = 0;
        pc.server.answer = [&](const HttpRequest&, HttpResponse&) {
            after += stop.load();
            if (++requests == 5) {
                stop = true;
            }
            return false;
        };
        const NoteMap before = pc.notes;
        const SyncReport report = RunSync(pc.client, pc.notes, pc.state, pc.options);
        EXPECT_EQ(report.status, SyncStatus::kCut) << pushing;
        EXPECT_FALSE(report.reachedEnd);
        EXPECT_LE(after, 1) << pushing; // the request under way at most, none after it
        // Every day is as it was or fully synced.
        for (int d = 1; d <= 28; ++d) {
            const auto agreed = pc.state.days.find(CompactDate({2026, 12, d}));
            if (agreed == pc.state.days.end()) {
                EXPECT_EQ(pc.notes.GetNote(KeyOf(d)), before.GetNote(KeyOf(d))) << d;
            } else {
                EXPECT_EQ(pc.notes.GetNote(KeyOf(d)), agreed->second.base) << d;
            }
        }
        stop = false;
        EXPECT_EQ(RunSync(pc.client, pc.notes, pc.state, pc.options).status, SyncStatus::kOk);
        EXPECT_EQ(pc.state.days.size(), 28u);
        EXPECT_EQ(pc.server.Resources().size(), 28u);
    }
}

TEST(SyncScale, EntryLeftOutKeepsThePace) {
    struct Case {
        SyncReport report;
        int failures; // after two such tries in a row
    } cases[] = {
        {{SyncStatus::kTooLarge, 3, 2, 0, 0, 0, {"/big.ics"}, {}, {}, true}, 0},
        {{SyncStatus::kConflict, 0, 0, 0, 0, 0, {}, {}, {}, true}, 0},
        {{SyncStatus::kTooLarge, 0, 0, 0, 0, 0, {}, {}, {}, false}, 2}, // a listing too large: no day seen
        {{SyncStatus::kCut, 0, 5, 0, 0, 0, {}, {}, {}, false}, 2},
    };
    for (const Case& c : cases) {
        FakeFileSystem fs;
        const FsPath folder = L"C:\\safety\\";
        RecordSyncTry(fs, folder, c.report, 100);
        const SyncLastRun last = RecordSyncTry(fs, folder, c.report, 200);
        EXPECT_EQ(last.failures, c.failures) << static_cast<int>(c.report.status);
        EXPECT_EQ(last.status, c.report.status);
        EXPECT_EQ(last.succeeded, c.failures ? 0 : 200);
        EXPECT_EQ(last.pushed, c.failures ? 0 : c.report.pushed);
        // Never the hour of a password refused because of one entry.
        EXPECT_LE(BackoffSeconds(last.status, last.failures), 1800);
    }
}

SyncState SampleState() {
    SyncState s;
    s.collection = "https://h/cal/u/quillidar/";
    s.name = "My diary";
    s.token = "http://h/ns/sync/42";
    s.days["20261208"] = {"/cal/u/quillidar/quillidar-day-20261208.ics", "\"e 1\"", "note\r\n\xC4\xE3 \\s"};
    s.days["20261209"] = {"/x.ics", "", "-"};
    s.days["20261210"] = {"/y y.ics", "W/\"\\\"", std::string("a\0b\n\r\\e", 8)};
    s.foreign["/cal/u/quillidar/phone.ics"] = {"W/\"7\"", {{{2026, 12, 8}, "\\e"}, {{2026, 12, 9}, ""}}};
    s.foreign["/cal/u/quillidar/big.ics"] = {"\"9\"", {}};
    return s;
}

std::string Hex(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
        out += two;
    }
    return out.empty() ? "-" : out;
}

std::string Sealed(std::string body, std::size_t records) {
    char sum[17];
    std::snprintf(sum, sizeof sum, "%016llx", static_cast<unsigned long long>(SyncFileChecksum(body)));
    return body + "end " + std::to_string(records) + " " + sum + "\n";
}

TEST(SyncScale, StateFileIsCompactAndReadsBothVersions) {
    const SyncState state = SampleState();
    const std::string bytes = EncodeSyncState(state);
    EXPECT_TRUE(bytes.starts_with("quillidar-sync 2\n"));
    SyncState read;
    ASSERT_TRUE(DecodeSyncState(bytes, read));
    EXPECT_EQ(read, state);
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        EXPECT_FALSE(DecodeSyncState(bytes.substr(0, at), read)) << at;
        EXPECT_EQ(read, SyncState{});
    }
    // The escapes as written, and fields that no writer makes.
    EXPECT_NE(bytes.find("day 20261208 \\h \"e\\s1\" note\\r\\n\xC4\xE3 \\\\s\n"), std::string::npos);
    EXPECT_NE(bytes.find("day 20261209 /x.ics \\e -\n"), std::string::npos);
    const std::string body = "quillidar-sync 2\ncollection https://h/c/\ntoken \\e\nlisting sync\n";
    ASSERT_TRUE(DecodeSyncState(Sealed(body, 3), read));
    EXPECT_EQ(read.collection, "https://h/c/");
    for (const std::string bad : {"a\\", "\\x", "a\\e", "\\E", "", "\\h", "a\\ b"}) {
        EXPECT_FALSE(DecodeSyncState(Sealed(body + "day 20261208 /a.ics e " + bad + "\n", 4), read)) << bad;
    }

    // The first version's hexadecimal file of the same state reads as the same state.
    std::string v1 = "quillidar-sync 1\ncollection " + Hex(state.collection) + "\nname " + Hex(state.name) +
                     "\ntoken " + Hex(state.token) + "\nlisting sync\n";
    std::size_t records = 4;
    for (const auto& [date, day] : state.days) {
        v1 += "day " + date + " " + Hex(day.href) + " " + Hex(day.etag) + " " + Hex(day.base) + "\n";
        ++records;
    }
    for (const auto& [href, resource] : state.foreign) {
        v1 += "foreign " + Hex(href) + " " + Hex(resource.etag) + "\n";
        ++records;
        for (const ForeignEntry& e : resource.entries) {
            v1 += "entry " + CompactDate(e.date) + " " + Hex(e.text) + "\n";
            ++records;
        }
    }
    ASSERT_TRUE(DecodeSyncState(Sealed(v1, records), read));
    EXPECT_EQ(read, state);

    // The mark a day's resource bore when agreed comes back as written; a file without it (an older
    // writer's) reads with it unknown, and a mark that belongs to no day is damage.
    SyncState marked = state;
    marked.days["20261208"].made = "00ff00ff00ff00ff";
    marked.days["20261209"].made = kNoDayMark;
    ASSERT_TRUE(DecodeSyncState(EncodeSyncState(marked), read));
    EXPECT_EQ(read, marked);
    EXPECT_EQ(read.days["20261210"].made, "");
    const std::string day = "day 20261208 /a.ics e b\n";
    const struct {
        std::string records;
        bool reads;
        std::string made;
    } marks[] = {
        {day, true, ""},
        {day + "made 0a0b\n", true, "0a0b"},
        {day + "made none\n", true, kNoDayMark},
        {"made 0a0b\n" + day, false, ""},
        {day + "made 0a0b\nmade 0a0c\n", false, ""},
        {day + "foreign /p.ics e\nmade 0a0b\n", false, ""},
        {day + "made 0a0b 0a0c\n", false, ""},
    };
    for (const auto& m : marks) {
        const std::string text = body + m.records;
        const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) - 1;
        EXPECT_EQ(DecodeSyncState(Sealed(text, lines), read), m.reads) << m.records;
        if (m.reads) {
            EXPECT_EQ(read.days["20261208"].made, m.made) << m.records;
        }
    }

    // A diary's worth of Chinese notes: the file is about the notes' size, not twice it.
    SyncState big;
    big.collection = "https://h/c/";
    std::size_t notes = 0;
    for (int i = 0; i < 3650; ++i) {
        const SyncDate date{2016 + i / 365, 1 + (i % 365) / 31 % 12, 1 + i % 28};
        std::string text;
        for (int w = 0; w < 60; ++w) {
            text += "\xBD\xF1\xCC\xEC \xCF\xC2\xD3\xEA\r\n"; // 今天 下雨
        }
        notes += text.size();
        big.days[CompactDate(date)] = {"/c/" + HrefNameOfDay(date), "\"" + std::to_string(i) + "\"", text};
    }
    const std::string file = EncodeSyncState(big);
    EXPECT_LT(static_cast<double>(file.size()), 1.6 * static_cast<double>(notes))
        << file.size() << " " << notes;
    ASSERT_TRUE(DecodeSyncState(file, read));
    EXPECT_EQ(read, big);
}

TEST(SyncScale, StateIsWrittenOnlyWhenItChanged) {
    struct Case {
        const char* what;
        bool changeNote;   // a note filed between the runs
        bool firstVersion; // the state on disk is of the first, hexadecimal, version
        bool expectWrite;
    } cases[] = {
        {"nothing changed", false, false, false},
        {"a note changed", true, false, true},
        {"an old state is written anew", false, true, true},
    };
    for (const Case& c : cases) {
        FakeCalDavServer server;
        FakeFileSystem fs;
        const FsPath folder = L"C:\\safety\\";
        SyncSessionInput input;
        input.account.serverUrl = kRoot;
        input.account.collection = kCollectionName;
        input.folder = folder;
        NoteMap notes;
        notes.SetNote("081226", "a");
        notes.SetNote("091226", "b");
        // The run after a push lists the pushes themselves, and moves the token on.
        for (int settle = 0; settle < 2; ++settle) {
            SyncSessionResult first = RunSyncSession(server, notes, fs, input);
            ASSERT_EQ(first.report.status, SyncStatus::kOk) << c.what;
            ASSERT_EQ(KeepSyncState(fs, folder + kSyncStateFileName, first.state, first.stateMark).outcome,
                      SaveOutcome::kSaved);
        }
        if (c.firstVersion) {
            std::string& bytes = fs.files[folder + kSyncStateFileName];
            SyncState held;
            ASSERT_TRUE(DecodeSyncState(bytes, held));
            std::string v1 = "quillidar-sync 1\ncollection " + Hex(held.collection) + "\ntoken " +
                             Hex(held.token) + "\nlisting sync\n";
            for (const auto& [date, day] : held.days) {
                v1 += "day " + date + " " + Hex(day.href) + " " + Hex(day.etag) + " " + Hex(day.base) + "\n";
            }
            bytes = Sealed(v1, 3 + held.days.size());
        }
        if (c.changeNote) {
            notes.SetNote("081226", "a, later");
        }
        const int writes = fs.Calls(FsOp::kWrite);
        SyncSessionResult second = RunSyncSession(server, notes, fs, input);
        ASSERT_EQ(second.report.status, SyncStatus::kOk) << c.what;
        ASSERT_EQ(KeepSyncState(fs, folder + kSyncStateFileName, second.state, second.stateMark).outcome,
                  SaveOutcome::kSaved);
        EXPECT_EQ(fs.Calls(FsOp::kWrite) > writes, c.expectWrite) << c.what;
        EXPECT_EQ(LoadSyncState(fs, folder + kSyncStateFileName), second.state) << c.what;
        EXPECT_TRUE(fs.files[folder + kSyncStateFileName].starts_with("quillidar-sync 2\n")) << c.what;
    }
}

// Other clients' entries by day, as the run looks each day up: in the order of their resources'
// hrefs, then of the entries in one, and nothing for a day none of them holds.
TEST(SyncScale, ForeignEntriesAreFoundByDayInTheirOrder) {
    using Resources = std::map<std::string, ForeignResource>;
    const SyncDate d8{2026, 12, 8}, d9{2026, 12, 9};
    struct Case {
        const char* what;
        Resources resources;
        std::map<std::string, std::vector<std::string>> expected;
    };
    const Case cases[] = {
        {"none", {}, {}},
        {"a resource of no diary day", {{"/c/x.ics", {"e", {}}}}, {}},
        {"one resource, two entries of one day",
         {{"/c/a.ics", {"e", {{d8, "first"}, {d8, "second"}}}}},
         {{"20261208", {"first", "second"}}}},
        {"two resources of one day, by href",
         {{"/c/b.ics", {"e", {{d8, "of b"}}}}, {"/c/a.ics", {"e", {{d8, "of a"}}}}},
         {{"20261208", {"of a", "of b"}}}},
        {"entries of two days kept apart",
         {{"/c/a.ics", {"e", {{d9, "a9"}, {d8, "a8"}}}}, {"/c/b.ics", {"e", {{d8, "b8"}}}}},
         {{"20261208", {"a8", "b8"}}, {"20261209", {"a9"}}}},
    };
    for (const Case& c : cases) {
        std::map<std::string, std::vector<std::string>> got;
        Resources resources = c.resources;
        const ForeignTextsByDay byDay = IndexForeignByDay(resources);
        for (const auto& [day, entry] : byDay) {
            const std::string date = std::to_string(day);
            got[date] = ForeignTextsOf(byDay, date, "", false);
        }
        EXPECT_TRUE(ForeignTextsOf(byDay, "20261207", "", false).empty()) << c.what;
        EXPECT_EQ(got, c.expected) << c.what;
    }
}

// A PC joining a collection asks for each entry once, in multigets of the batch's size, whatever
// the entries' names; a run after it asks for none. What a pull costs grows with the entries, one
// request per batch, and never with the days already taken.
TEST(SyncScale, JoiningPullAsksForEachEntryOnce) {
    struct Case {
        int entries;
        bool phoneNames; // written under names of another client's, as a phone or a seeded server
        bool supportsSync;
    } cases[] = {
        {0, false, true},    {1, false, true},    {50, false, true}, {51, true, true},
        {1201, false, true}, {1201, true, false}, {730, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.entries) + (c.phoneNames ? " phone" : " own") +
                     (c.supportsSync ? " sync" : " etags"));
        Joining pc(0);
        pc.server.supportsSync = c.supportsSync;
        for (int i = 0; i < c.entries; ++i) {
            const SyncDate date{1930 + i / 336, 1 + i / 28 % 12, 1 + i % 28};
            const std::string name =
                c.phoneNames ? "phone-" + std::to_string(i) + ".ics" : HrefNameOfDay(date);
            pc.server.Write(pc.server.CollectionPath() + name, EncodeDayResource(date, std::to_string(i), 0));
        }
        std::size_t multigets = 0;
        std::map<std::string, int> asked;
        pc.server.answer = [&](const HttpRequest& request, HttpResponse&) {
            if (IsMultiget(request)) {
                ++multigets;
                for (std::size_t at = request.body.find("<d:href>"); at != std::string::npos;
                     at = request.body.find("<d:href>", at + 1)) {
                    ++asked[request.body.substr(at + 8, request.body.find('<', at + 8) - at - 8)];
                }
            }
            return false;
        };
        const SyncReport first = RunSync(pc.client, pc.notes, pc.state, pc.options);
        ASSERT_EQ(first.status, SyncStatus::kOk);
        EXPECT_EQ(first.pulled, c.entries);
        EXPECT_EQ(pc.notes.size(), static_cast<std::size_t>(c.entries));
        EXPECT_EQ(multigets, (c.entries + kMultigetBatch - 1) / kMultigetBatch);
        EXPECT_EQ(asked.size(), static_cast<std::size_t>(c.entries));
        EXPECT_TRUE(std::all_of(asked.begin(), asked.end(), [](const auto& a) { return a.second == 1; }));
        multigets = 0;
        const SyncReport again = RunSync(pc.client, pc.notes, pc.state, pc.options);
        EXPECT_EQ(again.status, SyncStatus::kOk);
        EXPECT_EQ(again.pulled + again.pushed, 0);
        EXPECT_EQ(multigets, 0u);
    }
}

SyncState StateOfDays(int days, std::size_t textBytes) {
    SyncState state = SampleState();
    for (int i = 0; i < days; ++i) {
        const SyncDate date{1930 + i / 336, 1 + i / 28 % 12, 1 + i % 28};
        const std::string n = std::to_string(i);
        state.foreign["/cal/u/quillidar/phone-" + n + ".ics"] = {
            "W/" + n, {{date, std::string(textBytes, 'a' + i % 26)}}};
    }
    return state;
}

// The state is written as it is made, a piece at a time: the file holds the same bytes as the
// state encoded whole, a write that fails part way leaves the old file and nothing beside it, and
// an unchanged state is still told apart by its sum without a write.
TEST(SyncScale, StateIsWrittenInPiecesAsItIsMade) {
    struct Case {
        const char* what;
        int days;
        std::size_t textBytes;
        int failWrite; // the n-th write of the new file fails; 0: none
        int writesAtLeast;
    } cases[] = {
        {"small, one piece", 0, 0, 0, 1},
        {"three megabytes, several pieces", 3000, 1000, 0, 3},
        {"the first piece refused", 3000, 1000, 1, 1},
        {"a later piece refused", 3000, 1000, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFileSystem fs;
        const FsPath path = L"C:\\safety\\sync-state";
        fs.files[path] = "old";
        const SyncState state = StateOfDays(c.days, c.textBytes);
        const std::string whole = EncodeSyncState(state);
        const int writes = fs.Calls(FsOp::kWrite);
        if (c.failWrite) {
            fs.FailNth(FsOp::kWrite, c.failWrite, FileError::kDiskFull);
        }
        const SaveResult saved = KeepSyncStateFile(fs, path, state, SyncFileChecksum("old"));
        EXPECT_GE(fs.Calls(FsOp::kWrite) - writes, c.writesAtLeast);
        if (c.failWrite) {
            EXPECT_EQ(saved.outcome, SaveOutcome::kFailed);
            EXPECT_EQ(fs.files[path], "old");
            EXPECT_EQ(fs.files.size(), 1u);
            continue;
        }
        ASSERT_EQ(saved.outcome, SaveOutcome::kSaved);
        EXPECT_EQ(fs.files[path], whole);
        const int before = fs.Calls(FsOp::kWrite);
        std::uint64_t sum = 0;
        EXPECT_EQ(LoadSyncStateFile(fs, path, nullptr, &sum), state);
        EXPECT_EQ(sum, SyncFileChecksum(whole));
        EXPECT_EQ(KeepSyncStateFile(fs, path, state, sum).outcome, SaveOutcome::kSaved);
        EXPECT_EQ(fs.Calls(FsOp::kWrite), before);
    }
}

} // namespace
