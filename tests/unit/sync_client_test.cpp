// The CalDAV client against the in-memory server: discovery, the multistatus reader, and every
// fault class mapped to a status and a back-off.
#include <gtest/gtest.h>

#include "diary/note_join.h"
#include "fake_caldav_server.h"
#include "sync/day_resource.h"
#include "sync/multistatus.h"
#include "sync/xml_events.h"
#include "sync/sync_run.h"

namespace {

const std::string kRoot = std::string(FakeCalDavServer::kOrigin) + "/";

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

FakeCalDavServer::Fault Cut(TransportError error) {
    FakeCalDavServer::Fault f;
    f.error = error;
    return f;
}

FakeCalDavServer::Fault Answer(int after, int status, std::string body = {}) {
    FakeCalDavServer::Fault f;
    f.after = after;
    f.status = status;
    f.body = std::move(body);
    return f;
}

TEST(SyncClient, DiscoversOrMakesTheCollection) {
    FakeCalDavServer server;
    CalDavClient client(server);
    std::string url;
    // The events calendar of the same name holds no journals: a collection of our own is made.
    ASSERT_EQ(client.Discover(kRoot, url), SyncStatus::kOk);
    EXPECT_EQ(url, kRoot + "cal/user/quillidar/");
    EXPECT_EQ(server.CollectionPath(), "/cal/user/quillidar/");
    // Found again, from the root and from the collection's own address, without a second one.
    for (const std::string& start : {kRoot, url}) {
        std::string again;
        ASSERT_EQ(client.Discover(start, again), SyncStatus::kOk);
        EXPECT_EQ(again, url);
    }
    server.needsAuth = true;
    EXPECT_EQ(client.Discover(kRoot, url), SyncStatus::kUnauthorized);
}

TEST(SyncClient, MultistatusReader) {
    const std::string ns = "<d:multistatus xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">";
    const Multistatus m = ReadMultistatus(
        ns + "<d:response><d:href> /a.ics </d:href><d:propstat><d:prop><d:getetag>\"1\"</d:getetag>"
             "<c:calendar-data>BEGIN&#58;X</c:calendar-data></d:prop><d:status>HTTP/1.1 200 "
             "OK</d:status></d:propstat>"
             "<d:propstat><d:prop><d:displayname>no</d:displayname></d:prop><d:status>HTTP/1.1 404 Not Found"
             "</d:status></d:propstat></d:response><d:response><d:href>/b.ics</d:href><d:status>HTTP/1.1 404 "
             "Not Found</d:status></d:response><d:sync-token>t9</d:sync-token></d:multistatus>");
    ASSERT_EQ(m.error, "");
    ASSERT_EQ(m.responses.size(), 2u);
    EXPECT_EQ(m.responses[0].href, "/a.ics");
    EXPECT_EQ(m.responses[0].props.etag, "\"1\"");
    EXPECT_EQ(m.responses[0].props.calendarData, "BEGIN:X");
    EXPECT_FALSE(m.responses[0].props.displayName); // only from a 2xx propstat
    EXPECT_EQ(m.responses[1].status, 404);
    EXPECT_EQ(m.syncToken, "t9");
    const std::string bad[] = {
        "",
        "<x/>",
        ns + "<d:response>",
        "<!DOCTYPE m [<!ENTITY a \"aaaa\">]><d:multistatus xmlns:d=\"DAV:\">&a;</d:multistatus>",
        ns + Repeat("<d:x>", kMaxXmlDepth + 1),
        ns + "<d:response><d:href>" + std::string(kMaxDavText + 1, 'a') +
            "</d:href></d:response></d:multistatus>",
    };
    for (const std::string& body : bad) {
        const Multistatus r = ReadMultistatus(body);
        EXPECT_NE(r.error, "") << body.substr(0, 60);
        EXPECT_TRUE(r.responses.empty());
    }
}

// Handed on as read, a reply gives the same responses in the same order as kept whole, the same
// token and the same refusals, the limit on their number included.
TEST(SyncClient, MultistatusReaderHandsResponsesOn) {
    const std::string ns = "<d:multistatus xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">";
    const std::string member =
        "<d:response><d:href>/m.ics</d:href><d:propstat><d:prop><d:getetag>\"2\"</d:getetag>"
        "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
    const std::string replies[] = {
        ns + "</d:multistatus>",
        ns + member + "<d:sync-token>t</d:sync-token></d:multistatus>",
        ns + "<d:response><d:href>/a.ics</d:href><d:status>HTTP/1.1 404 Not Found</d:status></d:response>" +
            member +
            "<d:response><d:href>/c.ics</d:href><d:propstat><d:prop><c:calendar-data>X</c:calendar-data>"
            "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response></d:multistatus>",
        ns + member + "<d:response>",
        ns + Repeat(member, kMaxDavResponses + 1) + "</d:multistatus>",
    };
    for (const std::string& reply : replies) {
        SCOPED_TRACE(reply.substr(0, 200));
        const Multistatus kept = ReadMultistatus(reply);
        std::vector<DavResponse> handed;
        const Multistatus read =
            ReadMultistatus(reply, [&](DavResponse& r) { handed.push_back(std::move(r)); });
        EXPECT_EQ(read.error, kept.error);
        EXPECT_EQ(read.syncToken, kept.syncToken);
        EXPECT_TRUE(read.responses.empty());
        if (!kept.error.empty()) {
            continue; // what was handed on before the fault is the caller's to drop
        }
        ASSERT_EQ(handed.size(), kept.responses.size());
        for (std::size_t i = 0; i < handed.size(); ++i) {
            EXPECT_EQ(handed[i].href, kept.responses[i].href);
            EXPECT_EQ(handed[i].status, kept.responses[i].status);
            EXPECT_EQ(handed[i].props.etag, kept.responses[i].props.etag);
            EXPECT_EQ(handed[i].props.calendarData, kept.responses[i].props.calendarData);
        }
    }
}

TEST(SyncClient, FaultsMapToStatusesAndBackoff) {
    struct Case {
        FakeCalDavServer::Fault fault;
        SyncStatus status;
        bool needsUser;
    } cases[] = {
        {Cut(TransportError::kResolve), SyncStatus::kOffline, false},
        {Cut(TransportError::kConnect), SyncStatus::kOffline, false},
        {Cut(TransportError::kTimeout), SyncStatus::kTimeout, false},
        {Cut(TransportError::kCut), SyncStatus::kCut, false},
        {Cut(TransportError::kCertificate), SyncStatus::kCertificate, true},
        {Cut(TransportError::kRedirect), SyncStatus::kRedirect, true},
        {Cut(TransportError::kTooLarge), SyncStatus::kTooLarge, false},
        {Answer(0, 401), SyncStatus::kUnauthorized, true},
        {Answer(1, 404), SyncStatus::kCollectionGone, true}, // the PUT
        {Answer(1, 409), SyncStatus::kConflict, false},      // the PUT
        {Answer(1, 413), SyncStatus::kTooLarge, false},
        {Answer(0, 503), SyncStatus::kServerError, false},
        {Answer(0, 507), SyncStatus::kServerFull, false},
        {Answer(0, 207, "<d:multistatus xmlns:d=\"DAV:\"><d:response>"), SyncStatus::kBadReply, false},
        {Answer(0, 207, "not xml"), SyncStatus::kBadReply, false},
    };
    for (const Case& c : cases) {
        FakeCalDavServer server;
        CalDavClient client(server);
        std::string url;
        ASSERT_EQ(client.Discover(kRoot, url), SyncStatus::kOk);
        NoteMap notes;
        notes.SetNote("081226", "kept");
        SyncState state;
        state.collection = url;
        server.faults.push_back(c.fault);
        const SyncReport report = RunSync(client, notes, state, {});
        EXPECT_EQ(report.status, c.status) << static_cast<int>(c.fault.error) << " " << c.fault.status;
        EXPECT_EQ(NeedsUser(report.status), c.needsUser);
        EXPECT_GT(BackoffSeconds(report.status, 1), 0);
        EXPECT_FALSE(DescribeSyncStatus(report.status).empty());
        // No note changes because of a fault, and the next run does the work.
        EXPECT_EQ(notes.GetNote("081226"), "kept");
        EXPECT_EQ(RunSync(client, notes, state, {}).status, SyncStatus::kOk);
        EXPECT_EQ(server.Resources().size(), 1u);
    }
    // Transient faults back off further each time, up to half an hour.
    EXPECT_LT(BackoffSeconds(SyncStatus::kOffline, 1), BackoffSeconds(SyncStatus::kOffline, 3));
    EXPECT_EQ(BackoffSeconds(SyncStatus::kOffline, 50), 1800);
    EXPECT_EQ(BackoffSeconds(SyncStatus::kOk, 1), 0);
}

// With sync tokens, a second request asks after one agreed day, which tells the collection the
// token was given for from one made again that takes the old token.
TEST(SyncClient, NothingChangedIsOneRequestAndACheck) {
    for (const bool tokens : {true, false}) {
        FakeCalDavServer server;
        server.supportsSync = tokens;
        CalDavClient client(server);
        NoteMap notes;
        notes.SetNote("081226", "a");
        notes.SetNote("091226", "b");
        SyncState state;
        SyncOptions options{kRoot, 2027, 0, {}};
        ASSERT_EQ(RunSync(client, notes, state, options).status, SyncStatus::kOk);
        ASSERT_EQ(RunSync(client, notes, state, options).status, SyncStatus::kOk);
        const int before = client.Requests();
        const SyncReport report = RunSync(client, notes, state, options);
        EXPECT_EQ(report.status, SyncStatus::kOk);
        EXPECT_EQ(client.Requests() - before, tokens ? 2 : 1) << "tokens " << tokens;
        EXPECT_EQ(state.token.empty(), !tokens);
    }
}

// A listing the server sends in pages is one listing: the members of the later pages are neither
// missed nor, on a listing from the start, taken for removed.
TEST(SyncClient, PagedListingIsWhole) {
    for (const std::size_t pageSize : {1u, 2u, 4u, 5u, 6u}) {
        FakeCalDavServer server;
        CalDavClient client(server);
        NoteMap notes;
        const std::string keys[] = {"011226", "021226", "031226", "041226", "051226"};
        for (const std::string& key : keys) {
            notes.SetNote(key, "note " + key);
        }
        SyncState state;
        const SyncOptions options{kRoot, 2027, 0, {}};
        ASSERT_EQ(RunSync(client, notes, state, options).status, SyncStatus::kOk);
        server.pageSize = pageSize;
        Listing listing;
        ASSERT_EQ(client.ListChanges(state.collection, "", listing), SyncStatus::kOk) << pageSize;
        EXPECT_EQ(listing.changes.size(), 5u) << pageSize;
        EXPECT_TRUE(listing.complete) << pageSize;
        // A state that lost its token lists from the start; one day changed on the phone meanwhile.
        server.Write(server.CollectionPath() + "quillidar-day-20261203.ics",
                     EncodeDayResource({2026, 12, 3}, "phone", 0));
        state.token.clear();
        const SyncReport report = RunSync(client, notes, state, options);
        EXPECT_EQ(report.status, SyncStatus::kOk) << pageSize;
        for (const std::string& key : keys) {
            EXPECT_EQ(notes.GetNote(key), key == "031226" ? "phone" : "note " + key) << pageSize;
        }
        EXPECT_EQ(server.Resources().size(), 5u) << pageSize;
    }
}

// One PC with one note, about to sync with an empty server.
struct SyncedOnce {
    FakeCalDavServer server;
    CalDavClient client{server};
    NoteMap notes = [] {
        NoteMap n;
        n.SetNote("011226", "here");
        return n;
    }();
    SyncState state;
    SyncOptions options{kRoot, 2027, 0, {}};
};

// A token listing the server refuses, or fails on with a token it lost, becomes a listing of every
// ETag; a server failing every listing, or busy, is a failed run.
TEST(SyncClient, RefusedTokenListingFallsBackToTheETags) {
    const struct {
        int status;
        bool everyListingFails;
        SyncStatus expected;
    } cases[] = {
        {400, false, SyncStatus::kOk},          {403, false, SyncStatus::kOk},
        {409, false, SyncStatus::kOk},          {412, false, SyncStatus::kOk},
        {500, false, SyncStatus::kOk},          {500, true, SyncStatus::kServerError},
        {503, false, SyncStatus::kServerError},
    };
    for (const auto& c : cases) {
        SyncedOnce pc;
        auto& [server, client, notes, state, options] = pc;
        ASSERT_EQ(RunSync(client, notes, state, options).status, SyncStatus::kOk);
        ASSERT_FALSE(state.token.empty());
        server.Write(server.CollectionPath() + "quillidar-day-20261202.ics",
                     EncodeDayResource({2026, 12, 2}, "phone", 0));
        server.answer = [&](const HttpRequest& request, HttpResponse& reply) {
            const bool tokenListing =
                request.method == "REPORT" && request.body.find("sync-collection") != std::string::npos;
            if (!tokenListing && !(c.everyListingFails && request.method == "PROPFIND")) {
                return false;
            }
            reply = {};
            reply.status = c.status;
            return true;
        };
        const SyncReport report = RunSync(client, notes, state, options);
        EXPECT_EQ(report.status, c.expected) << c.status;
        EXPECT_EQ(notes.GetNote("011226"), "here") << c.status;
        EXPECT_EQ(notes.GetNote("021226"), c.expected == SyncStatus::kOk ? "phone" : "") << c.status;
    }
}

// Days the diary's two-digit years cannot hold are left alone and counted, never dropped unsaid.
TEST(SyncRun, DaysOutsideTheDiaryYearsAreCounted) {
    const struct {
        SyncDate date;
        int outOfYears;
    } cases[] = {{{2027, 12, 31}, 0}, {{1928, 1, 1}, 0}, {{2028, 1, 1}, 1}, {{1927, 12, 31}, 1}};
    for (const auto& c : cases) {
        SyncedOnce pc;
        auto& [server, client, notes, state, options] = pc;
        ASSERT_EQ(RunSync(client, notes, state, options).status, SyncStatus::kOk);
        server.Write(server.CollectionPath() + "phone-1.ics", EncodeDayResource(c.date, "phone", 0));
        const SyncReport report = RunSync(client, notes, state, options);
        EXPECT_EQ(report.status, SyncStatus::kOk) << c.date.year;
        EXPECT_EQ(report.outOfYears, c.outOfYears) << c.date.year;
        EXPECT_EQ(notes.size(), c.outOfYears ? 1u : 2u) << c.date.year;
    }
}

// A side that lost every note is not a side that deleted them.
TEST(SyncRun, LostSideIsNoDeletion) {
    for (const bool serverLost : {true, false}) {
        FakeCalDavServer server;
        CalDavClient client(server);
        NoteMap notes;
        const std::string keys[] = {"081226", "091226", "101226"};
        for (const std::string& key : keys) {
            notes.SetNote(key, "note " + key);
        }
        SyncState state;
        const SyncOptions options{kRoot, 2027, 0, {}};
        ASSERT_EQ(RunSync(client, notes, state, options).status, SyncStatus::kOk);
        NoteMap loaded = notes;
        if (serverLost) {
            server.Recreate();
        } else {
            loaded.Clear(); // the diary did not load
        }
        ASSERT_EQ(RunSync(client, loaded, state, options).status, SyncStatus::kOk);
        for (const std::string& key : keys) {
            EXPECT_EQ(loaded.GetNote(key), "note " + key) << serverLost;
        }
        EXPECT_EQ(server.Resources().size(), 3u);
    }
}

TEST(SyncClient, LargeEntryIsLeftAlone) {
    FakeCalDavServer server;
    CalDavClient client(server);
    NoteMap notes;
    notes.SetNote("081226", "mine");
    SyncState state;
    SyncOptions options{kRoot, 2027, 0, {}};
    ASSERT_EQ(RunSync(client, notes, state, options).status, SyncStatus::kOk);
    const std::string path = server.CollectionPath() + "quillidar-day-20261208.ics";
    server.Write(path,
                 "BEGIN:VCALENDAR\r\nBEGIN:VJOURNAL\r\nUID:quillidar-day-20261208\r\nDTSTART:20261208\r\n"
                 "DESCRIPTION:" +
                     std::string(10u << 20, 'x') + "\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n");
    const SyncReport report = RunSync(client, notes, state, options);
    EXPECT_EQ(report.status, SyncStatus::kTooLarge);
    EXPECT_EQ(notes.GetNote("081226"), "mine");
    EXPECT_EQ(server.Resources().at(path).data.size() > (10u << 20), true); // not overwritten
}

} // namespace

namespace {

// Two PCs and a phone, step by step: what each side ends with.
TEST(SyncRun, Scenarios) {
    const std::string day = "quillidar-day-20261208.ics";
    struct Step {
        char who; // '1', '2': a PC types (text) or empties (empty text); 'p': the phone writes
                  // its own entry (text) or removes it (empty); 's': PC 1 then PC 2 sync
        std::string text;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::string note;   // both PCs' note of 08.12.26 afterwards
        std::string server; // our entry's text on the server; "-" for none
    } cases[] = {
        {"one side's note reaches the other", {{'1', "a"}, {'s', ""}}, "a", "a"},
        {"both typed: both kept, the first to sync first",
         {{'1', "a"}, {'2', "b"}, {'s', ""}, {'s', ""}},
         "a\r\n----\r\nb",
         "a\r\n----\r\nb"},
        {"emptied on one, gone on the other", {{'1', "a"}, {'s', ""}, {'1', ""}, {'s', ""}}, "", "-"},
        {"emptied on one, edited on the other: the edit stays",
         {{'1', "a"}, {'s', ""}, {'1', ""}, {'2', "a2"}, {'s', ""}, {'s', ""}},
         "a2",
         "a2"},
        {"a phone's entry shows, and is not copied into ours",
         {{'1', "a"}, {'p', "ph"}, {'s', ""}},
         "a\r\n----\r\nph",
         "a"},
        {"a phone's entry alone", {{'p', "ph"}, {'s', ""}, {'s', ""}}, "ph", "-"},
        {"a phone's entry removed goes from the notes",
         {{'1', "a"}, {'p', "ph"}, {'s', ""}, {'p', ""}, {'s', ""}},
         "a",
         "a"},
        {"a phone's entry with our very words takes nothing of ours, even when it goes",
         {{'1', "run"}, {'s', ""}, {'p', "run"}, {'s', ""}, {'s', ""}, {'p', ""}, {'s', ""}},
         "run",
         "run"},
        {"a phone's entry emptied here shows again while the phone keeps it",
         {{'p', "ph"}, {'s', ""}, {'1', ""}, {'s', ""}, {'s', ""}},
         "ph",
         "-"},
        {"a phone's entry cut out of a note here shows again, the rest is ours",
         {{'1', "a"}, {'p', "ph"}, {'s', ""}, {'1', "a"}, {'s', ""}, {'s', ""}},
         "a\r\n----\r\nph",
         "a"},
        {"a phone's entry edited here becomes ours; the phone's stays",
         {{'p', "ph"}, {'s', ""}, {'1', "ph!"}, {'s', ""}, {'s', ""}},
         "ph!\r\n----\r\nph",
         "ph!"},
    };
    for (const Case& c : cases) {
        FakeCalDavServer server;
        CalDavClient client(server);
        NoteMap notes[2];
        SyncState states[2];
        const SyncOptions options{kRoot, 2027, 0, {}};
        std::string collection;
        ASSERT_EQ(client.Discover(kRoot, collection), SyncStatus::kOk);
        for (const Step& s : c.steps) {
            if (s.who == '1' || s.who == '2') {
                notes[s.who - '1'].SetNote("081226", s.text);
            } else if (s.who == 'p') {
                const std::string path = server.CollectionPath() + "phone.ics";
                if (s.text.empty()) {
                    server.Remove(path);
                } else {
                    server.Write(
                        path,
                        "BEGIN:VCALENDAR\r\nBEGIN:VJOURNAL\r\nUID:phone\r\nDTSTART;VALUE=DATE:20261208\r\n"
                        "DESCRIPTION:" +
                            s.text + "\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n");
                }
            } else {
                for (int pc = 0; pc < 2; ++pc) {
                    ASSERT_EQ(RunSync(client, notes[pc], states[pc], options).status, SyncStatus::kOk)
                        << c.name;
                }
            }
        }
        for (int pc = 0; pc < 2; ++pc) {
            EXPECT_EQ(notes[pc].GetNote("081226"), c.note) << c.name << " PC " << pc + 1;
        }
        const auto ours = server.Resources().find(server.CollectionPath() + day);
        if (c.server == "-") {
            EXPECT_EQ(ours, server.Resources().end()) << c.name;
        } else {
            ASSERT_NE(ours, server.Resources().end()) << c.name;
            const ResourceRead read = ReadCalendarResource(ours->second.data);
            ASSERT_EQ(read.entries.size(), 1u);
            EXPECT_EQ(read.entries[0].text, c.server) << c.name;
        }
        // The phone's entry is never rewritten or removed by a PC.
        const auto phone = server.Resources().find(server.CollectionPath() + "phone.ics");
        if (phone != server.Resources().end()) {
            EXPECT_EQ(phone->second.etag.empty(), false);
            EXPECT_EQ(ReadCalendarResource(phone->second.data).entries[0].uid, "phone");
        }
    }
}

} // namespace

namespace {

// Another client that wrote an entry of its own under our name for a day keeps it.
TEST(SyncRun, ForeignEntryUnderOurNameIsNeverWritten) {
    FakeCalDavServer server;
    CalDavClient client(server);
    std::string collection;
    ASSERT_EQ(client.Discover(kRoot, collection), SyncStatus::kOk);
    const std::string path = server.CollectionPath() + "quillidar-day-20261208.ics";
    const std::string theirs =
        "BEGIN:VCALENDAR\r\nBEGIN:VJOURNAL\r\nUID:other\r\nDTSTART;VALUE=DATE:20261208\r\n"
        "DESCRIPTION:theirs\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n";
    server.Write(path, theirs);
    NoteMap notes;
    notes.SetNote("081226", "mine");
    SyncState state;
    const SyncReport report = RunSync(client, notes, state, {kRoot, 2027, 0, {}});
    EXPECT_EQ(report.status, SyncStatus::kConflict);
    EXPECT_EQ(server.Resources().at(path).data, theirs);
    EXPECT_EQ(notes.GetNote("081226"), "mine\r\n----\r\ntheirs"); // shown, and nothing typed lost
}

// A collection deleted and made again, however the server takes the old state, and whether or not
// it gave ETags to the days written: every note stays, and what the server lost is uploaded again.
TEST(SyncRun, CollectionMadeAgainLosesNothing) {
    const std::string keys[] = {"011226", "021226", "031226", "041226", "051226"};
    for (int row = 0; row < 8; ++row) {
        const int how = row % 4; // tokens refused, taken while empty, gone (404), another PC first
        FakeCalDavServer server;
        server.etagOnPut = row < 4;
        CalDavClient client(server);
        NoteMap a, b;
        SyncState stateA, stateB;
        const SyncOptions options{kRoot, 2027, 0, {}};
        for (const std::string& key : keys) {
            a.SetNote(key, "A " + key);
        }
        ASSERT_EQ(RunSync(client, a, stateA, options).status, SyncStatus::kOk);
        server.Recreate(how == 1, how == 2 ? "" : "same");
        if (how == 3) {
            b.SetNote("031226", "B's own");
            ASSERT_EQ(RunSync(client, b, stateB, options).status, SyncStatus::kOk);
        }
        const SyncReport report = RunSync(client, a, stateA, options);
        EXPECT_EQ(report.status, SyncStatus::kOk) << row;
        EXPECT_EQ(report.deletedHere, 0) << row;
        for (const std::string& key : keys) {
            EXPECT_TRUE(HoldsNotePart(a.GetNote(key), "A " + key)) << row << " " << key;
        }
        if (how == 3) {
            EXPECT_TRUE(HoldsNotePart(a.GetNote("031226"), "B's own")) << a.GetNote("031226");
        }
        EXPECT_EQ(server.Resources().size(), 5u) << row;
        // And the next run of the same PC changes nothing.
        const SyncReport again = RunSync(client, a, stateA, options);
        EXPECT_EQ(again.pushed + again.pulled + again.deletedHere + again.deletedThere, 0) << row;
    }
}

// A run that read a day uploaded anew (into a collection made again) but was stopped before it
// settled it forgets that day's agreement; what was typed here must still be told from a phone's entry of the
// same words once that entry is gone with the old collection, however the run was stopped.
TEST(SyncRun, ForgottenAgreementStillTellsWordsTypedHere) {
    for (const int status : {507, 503, 0}) { // 0: the connection cut
        FakeCalDavServer server;
        server.supportsSync = false; // listed whole by ETags: what tells a day made anew is its mark
        CalDavClient client(server);
        const SyncOptions options{kRoot, 2027, 0, {}};
        NoteMap a, b;
        SyncState stateA, stateB;
        a.SetNote("091226", "run");
        ASSERT_EQ(RunSync(client, a, stateA, options).status, SyncStatus::kOk);
        server.Write(server.CollectionPath() + "phone.ics",
                     "BEGIN:VCALENDAR\r\nBEGIN:VJOURNAL\r\nUID:phone\r\nDTSTART;VALUE=DATE:20261209\r\n"
                     "DESCRIPTION:run\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n");
        ASSERT_EQ(RunSync(client, a, stateA, options).status, SyncStatus::kOk);
        ASSERT_EQ(a.GetNote("091226"), "run"); // the phone's words are the note's own: shown once
        server.Recreate(false, "same");
        b.SetNote("091226", "B's");
        ASSERT_EQ(RunSync(client, b, stateB, options).status, SyncStatus::kOk);
        server.answer = [&](const HttpRequest& request, HttpResponse& reply) {
            if (request.method != "PUT") {
                return false;
            }
            reply.status = status;
            reply.error = status ? TransportError::kNone : TransportError::kCut;
            return true;
        };
        EXPECT_NE(RunSync(client, a, stateA, options).status, SyncStatus::kOk) << status;
        server.answer = nullptr;
        for (int run = 0; run < 2; ++run) {
            ASSERT_EQ(RunSync(client, a, stateA, options).status, SyncStatus::kOk) << status;
            ASSERT_EQ(RunSync(client, b, stateB, options).status, SyncStatus::kOk) << status;
        }
        for (const NoteMap* pc : {&a, &b}) {
            EXPECT_TRUE(HoldsNotePart(pc->GetNote("091226"), "run"))
                << status << " " << pc->GetNote("091226");
            EXPECT_TRUE(HoldsNotePart(pc->GetNote("091226"), "B's"))
                << status << " " << pc->GetNote("091226");
        }
    }
}

} // namespace
