// Model-based test of the sync: two PCs and a phone edit one collection at random and sync in random
// order while the server answers a batch of writes in any order, cuts connections, fails and is
// overtaken by another device's write, a PC's state is now and then lost, the phone writes entries
// with the very words of a PC's note, and the collection is deleted and made again (at its path or
// another, taking its old sync tokens or not, or left for a PC to make again). After the faults
// stop, every PC converges on the same diary, nothing typed on a PC is lost, and another sync
// changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "diary/note_join.h"
#include "fake_caldav_server.h"
#include "sync/sync_run.h"

namespace {

const std::string kRoot = std::string(FakeCalDavServer::kOrigin) + "/";
const std::string kKeys[] = {"081226", "091226", "311226"};

struct Pc {
    NoteMap notes;
    SyncState state;
};

std::string Journal(const std::string& uid, const std::string& day, const std::string& text) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VJOURNAL\r\nUID:" + uid +
           "\r\nDTSTART;VALUE=DATE:" + day + "\r\nDESCRIPTION:" + text +
           "\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n";
}

// A note on one line, its parts apart by " / ".
std::string Flat(std::string text) {
    const std::string separator = kNotePartSeparator;
    for (std::size_t at = 0; (at = text.find(separator, at)) != std::string::npos;) {
        text.replace(at, separator.size(), " / ");
    }
    return text;
}

class SyncModel : public ::testing::TestWithParam<unsigned> {};

TEST_P(SyncModel, ConvergesAndLosesNothing) {
    std::mt19937 rng(GetParam());
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    FakeCalDavServer server;
    server.supportsSync = GetParam() % 3 != 0;
    server.etagOnPut = GetParam() % 4 != 1;
    // Odd seeds have the writes of a batch carried out and answered in any order.
    std::mt19937 arrival(GetParam() * 7919u);
    if (GetParam() % 2) {
        server.reorder = [&](std::size_t n) {
            std::vector<std::size_t> order(n);
            for (std::size_t i = 0; i < n; ++i)
                order[i] = i;
            std::shuffle(order.begin(), order.end(), arrival);
            return order;
        };
    }
    CalDavClient client(server);
    Pc pcs[2];
    const SyncOptions options{kRoot, 2027, 1700000000, {}};
    // Tokens; dropped: emptied or replaced on purpose. What a PC typed goes only when a PC empties
    // it: the phone's removals and a collection made again drop only what the phone wrote.
    std::set<std::string> typed, onPc, dropped;
    int next = 0;
    auto token = [&] {
        const std::string t = std::string("<").append(std::to_string(++next)) + ">";
        typed.insert(t);
        return t;
    };
    auto tokensIn = [&](std::string_view text, bool phoneOnly = true) {
        for (const std::string& t : typed) {
            if (text.find(t) != std::string_view::npos && !(phoneOnly && onPc.count(t)))
                dropped.insert(t);
        }
    };
    // What a resource says, unfolded: a token may be cut across a folded line of the raw bytes.
    auto tokensOnServer = [&](const std::string& data) {
        std::string texts;
        for (const ResourceEntry& e : ReadCalendarResource(data).entries) {
            texts += e.text + "|";
        }
        tokensIn(texts);
    };
    auto phoneEditsOurs = [&](const std::string& path) {
        const auto it = server.Resources().find(path);
        if (it == server.Resources().end() || path.find("quillidar-day-") == std::string::npos) {
            return;
        }
        const ResourceRead read = ReadCalendarResource(it->second.data);
        if (read.entries.size() != 1)
            return;
        // A phone appends to the entry's text, and keeps the properties it does not know.
        std::string data = it->second.data;
        const std::size_t end = data.find("\r\nX-QUILLIDAR-GBK-HEX");
        const std::size_t desc = data.find("\r\nEND:VJOURNAL");
        data.insert(end != std::string::npos && end < desc ? end : desc, "\r\n " + token());
        server.Write(path, data);
    };
    std::vector<std::string> phoneEntries;

    std::string trail; // what happened, said when an invariant fails
    for (int step = 0; step < 120; ++step) {
        const int what = pick(12);
        const int who = pick(2);
        Pc& pc = pcs[who];
        const std::string key = kKeys[pick(3)];
        trail += std::to_string(step) + ": " + std::to_string(what) + " pc" + std::to_string(who) + " " + key;
        if (what < 3) {
            const std::string note = pc.notes.GetNote(key);
            const std::string t = token();
            onPc.insert(t);
            pc.notes.SetNote(key, note.empty() ? t : note + " " + t);
            trail += " typed " + t;
        } else if (what == 3) {
            trail += " emptied";
            tokensIn(pc.notes.GetNote(key), false);
            pc.notes.SetNote(key, "");
        } else if (what == 4 && pick(3) == 0) {
            // The phone writes an entry of its own with the same words as the first line of a PC's
            // note of that day.
            const std::string note = pc.notes.GetNote(key);
            const std::string line = note.substr(0, note.find("\r\n"));
            if (server.CollectionPath().empty() || IsBlankNote(line))
                continue;
            const std::string path = server.CollectionPath() + "same-" + std::to_string(step) + ".ics";
            server.Write(
                path, Journal("same-" + std::to_string(step), CompactDate(*SyncDateOfKey(key, 2027)), line));
            phoneEntries.push_back(path);
            trail += " same words " + line + " " + path;
        } else if (what == 4) {
            // The phone writes an entry of its own, or replaces the text of one it wrote.
            const bool replace = !phoneEntries.empty() && pick(2) == 0;
            const std::string path =
                replace ? phoneEntries[static_cast<std::size_t>(pick(static_cast<int>(phoneEntries.size())))]
                        : server.CollectionPath() + "phone-" + std::to_string(step) + ".ics";
            if (server.CollectionPath().empty())
                continue;
            if (replace && server.Resources().count(path))
                tokensOnServer(server.Resources().at(path).data);
            server.Write(path, Journal("phone-" + std::to_string(step),
                                       "2026120" + std::to_string(8 + pick(2)), token()));
            if (!replace)
                phoneEntries.push_back(path);
        } else if (what == 5 && !server.Resources().empty()) {
            auto it = server.Resources().begin();
            std::advance(it, pick(static_cast<int>(server.Resources().size())));
            phoneEditsOurs(it->first);
        } else if (what == 6 && !phoneEntries.empty()) {
            // The phone removes one of its entries.
            const std::string path =
                phoneEntries[static_cast<std::size_t>(pick(static_cast<int>(phoneEntries.size())))];
            if (server.Resources().count(path)) {
                tokensOnServer(server.Resources().at(path).data);
                server.Remove(path);
            }
        } else if (what == 7 && pick(4) == 0) {
            pc.state = SyncState{}; // a damaged state file is dropped: the next sync starts afresh
            trail += " state lost";
        } else if (what == 7 && pick(5) == 0) {
            // The collection deleted and made again: what only the server held is gone on purpose.
            for (const auto& [path, resource] : server.Resources()) {
                tokensOnServer(resource.data);
            }
            const std::string where[] = {"same", "", "/cal/user/again/", server.CollectionPath()};
            const bool lenient = pick(2) == 0;
            const std::string at = where[pick(4)];
            server.Recreate(lenient, at);
            trail += " recreated " + at + (lenient ? " lenient" : "");
            if (pick(2) == 0) {
                // Another PC (or this one after setting up again) gets there first.
                Pc& first = pcs[pick(2)];
                first.state = SyncState{};
                RunSync(client, first.notes, first.state, options);
                trail += " and synced";
            }
        } else {
            // A sync, perhaps with a fault somewhere in it.
            const int fault = pick(6);
            if (fault == 0) {
                FakeCalDavServer::Fault f;
                f.after = pick(6);
                f.error = TransportError::kCut;
                f.applyFirst = pick(2) == 0;
                server.faults.push_back(f);
            } else if (fault == 1) {
                FakeCalDavServer::Fault f;
                f.after = pick(6);
                f.status = pick(2) ? 503 : 507;
                server.faults.push_back(f);
            } else if (fault == 2) {
                server.beforeWrite = phoneEditsOurs; // overtaken: a 412, then a merge
            } else if (fault == 3) {
                FakeCalDavServer::Fault f;
                f.after = pick(4);
                f.error = TransportError::kTimeout;
                server.faults.push_back(f);
            }
            const SyncReport r = RunSync(client, pc.notes, pc.state, options);
            trail += " sync " + std::to_string(static_cast<int>(r.status)) + " +" + std::to_string(r.pushed) +
                     " -" + std::to_string(r.pulled) + " x" + std::to_string(r.deletedHere) + "/" +
                     std::to_string(r.deletedThere) + " [" + Flat(pcs[0].notes.GetNote(key)) + " | " +
                     Flat(pcs[1].notes.GetNote(key)) + "]";
            server.faults.clear();
            server.beforeWrite = nullptr;
        }
        trail += "\n";
    }

    // Faults over: a few rounds bring everyone together.
    for (int round = 0; round < 3; ++round) {
        for (Pc& pc : pcs) {
            ASSERT_EQ(RunSync(client, pc.notes, pc.state, options).status, SyncStatus::kOk);
        }
    }
    if (std::getenv("QUILL_MODEL_DUMP")) {
        for (const auto& [path, r] : server.Resources())
            std::fprintf(stderr, "SERVER %s etag=%s\n%s\n", path.c_str(), r.etag.c_str(), r.data.c_str());
        for (int i = 0; i < 2; ++i)
            for (const auto& [d, st] : pcs[i].state.days)
                std::fprintf(stderr, "PC%d %s href=%s etag=%s made=%s base=%s\n", i, d.c_str(),
                             st.href.c_str(), st.etag.c_str(), st.made.c_str(), Flat(st.base).c_str());
        for (int i = 0; i < 2; ++i)
            for (const auto& [h, f] : pcs[i].state.foreign)
                std::fprintf(stderr, "PC%d foreign %s etag=%s n=%zu\n", i, h.c_str(), f.etag.c_str(),
                             f.entries.size());
    }
    EXPECT_EQ(pcs[0].notes.Entries().size(), pcs[1].notes.Entries().size());
    for (const std::string& key : kKeys) {
        EXPECT_EQ(pcs[0].notes.GetNote(key), pcs[1].notes.GetNote(key)) << key << "\n" << trail;
    }
    // Nothing typed is lost: every token is in the diary unless it was emptied or replaced on purpose.
    std::string all;
    for (const std::string& key : kKeys) {
        all += pcs[0].notes.GetNote(key) + "|";
    }
    for (const std::string& t : typed) {
        if (!dropped.count(t)) {
            EXPECT_NE(all.find(t), std::string::npos) << t << " lost; diary " << all << "\n" << trail;
        }
    }
    // Every phone entry still on the server shows in its day, once.
    for (const std::string& path : phoneEntries) {
        if (!server.Resources().count(path))
            continue;
        const ResourceRead read = ReadCalendarResource(server.Resources().at(path).data);
        ASSERT_EQ(read.entries.size(), 1u);
        const std::string note = pcs[0].notes.GetNote(KeyOfSyncDate(read.entries[0].date));
        EXPECT_TRUE(HoldsNotePart(note, read.entries[0].text)) << note;
    }
    // And another sync changes nothing and costs one request, and one more that asks after an agreed
    // day when the listing came by sync token.
    for (Pc& pc : pcs) {
        const auto before = pc.notes.Entries();
        const SyncState state = pc.state;
        const int writes = server.writes, requests = client.Requests();
        const SyncReport report = RunSync(client, pc.notes, pc.state, options);
        EXPECT_EQ(report.status, SyncStatus::kOk);
        EXPECT_EQ(pc.notes.Entries(), before);
        EXPECT_EQ(server.writes, writes);
        EXPECT_LE(client.Requests() - requests, 2);
    }
}

// A PC that agreed on a day, while the collection is made again and another PC uploads the day anew
// (with the very text the day was first made with, or another) and a phone then edits it: what was
// typed here after the first upload is kept, not replaced by the other PC's older text.
TEST(SyncNewDay, AnUploadAnewThenEditedIsNoEditOfTheAgreedText) {
    const struct {
        std::string otherText; // the other PC's note when it uploads the day anew
        bool stateKept;        // the other PC's state survives (it finds the collection gone)
    } cases[] = {{"first", false}, {"first", true}, {"other", false}};
    for (const auto& c : cases) {
        FakeCalDavServer server;
        CalDavClient client(server);
        const SyncOptions options{kRoot, 2027, 1700000000, {}};
        Pc here, there;
        here.notes.SetNote("081226", "first");
        ASSERT_EQ(RunSync(client, here.notes, here.state, options).status, SyncStatus::kOk);
        ASSERT_EQ(RunSync(client, there.notes, there.state, options).status, SyncStatus::kOk);
        ASSERT_EQ(there.notes.GetNote("081226"), "first");
        here.notes.SetNote("081226", "first typed here");
        ASSERT_EQ(RunSync(client, here.notes, here.state, options).status, SyncStatus::kOk);

        server.Recreate(false, "same");
        there.notes.SetNote("081226", c.otherText);
        if (!c.stateKept) {
            there.state = SyncState{};
        }
        ASSERT_EQ(RunSync(client, there.notes, there.state, options).status, SyncStatus::kOk);
        const std::string path = server.CollectionPath() + "quillidar-day-20261208.ics";
        ASSERT_TRUE(server.Resources().count(path)) << c.otherText;
        std::string data = server.Resources().at(path).data;
        data.insert(data.find("\r\nEND:VJOURNAL"), "\r\n phone");
        server.Write(path, data);

        ASSERT_EQ(RunSync(client, here.notes, here.state, options).status, SyncStatus::kOk);
        const std::string note = here.notes.GetNote("081226");
        EXPECT_NE(note.find("typed here"), std::string::npos) << c.otherText << ": " << note;
        EXPECT_NE(note.find("phone"), std::string::npos) << c.otherText << ": " << note;
    }
}

// A note whose words a phone's entry repeats, then the collection made again, then a run that finds
// it so and is cut at any of its requests: the words stay this PC's own, on every later run, even
// after the phone's entry (gone with the old collection) is never seen again.
TEST(SyncMadeAgain, ARunCutAfterFindingItKeepsTheWordsTypedHere) {
    const struct {
        bool lenient;    // the old token is taken by the empty collection
        bool otherFirst; // another PC sets it up and uploads its own note of the day first
    } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const auto& c : cases) {
        for (int cutAt = 0; cutAt < 8; ++cutAt) {
            SCOPED_TRACE(testing::Message() << "lenient " << c.lenient << " other first " << c.otherFirst
                                            << " cut at " << cutAt);
            FakeCalDavServer server;
            CalDavClient client(server);
            const SyncOptions options{kRoot, 2027, 1700000000, {}};
            Pc here;
            here.notes.SetNote("081226", "run");
            here.notes.SetNote("091226", "read");
            here.notes.SetNote("311226", "rest");
            ASSERT_EQ(RunSync(client, here.notes, here.state, options).status, SyncStatus::kOk);
            server.Write(server.CollectionPath() + "same.ics", Journal("same", "20261208", "run"));
            ASSERT_EQ(RunSync(client, here.notes, here.state, options).status, SyncStatus::kOk);
            ASSERT_EQ(here.notes.GetNote("081226"), "run");

            server.Recreate(c.lenient, "same");
            if (c.otherFirst) {
                Pc other;
                other.notes.SetNote("081226", "other");
                ASSERT_EQ(RunSync(client, other.notes, other.state, options).status, SyncStatus::kOk);
            }
            FakeCalDavServer::Fault fault;
            fault.after = cutAt;
            fault.error = TransportError::kCut;
            server.faults.push_back(fault);
            RunSync(client, here.notes, here.state, options);
            server.faults.clear();
            for (int run = 0; run < 2; ++run) {
                ASSERT_EQ(RunSync(client, here.notes, here.state, options).status, SyncStatus::kOk);
            }
            EXPECT_TRUE(HoldsNotePart(here.notes.GetNote("081226"), "run"))
                << Flat(here.notes.GetNote("081226"));
            EXPECT_EQ(here.notes.GetNote("091226"), "read");
        }
    }
}

// QUILL_SYNC_SEEDS=first-last sweeps other seeds when hunting a fault. Without it, the first two
// thousand and the seeds that once lost a note: a same-words phone entry then a collection made
// again and a run cut short (2498, 3232), a token cut across a folded line (6830), a day uploaded
// anew by another PC and removed there after a run here was cut before it (6915), a day written
// without an ETag in reply, then gone with its collection made again under the old tokens (17741),
// a day's agreement forgotten by a cut run while a phone's entry of its words was shown (26382).
std::vector<unsigned> Seeds() {
    const char* range = std::getenv("QUILL_SYNC_SEEDS");
    unsigned first = 1, last = 2000;
    if (range && std::sscanf(range, "%u-%u", &first, &last) < 2)
        last = first;
    std::vector<unsigned> seeds;
    for (unsigned seed = first; seed <= last; ++seed)
        seeds.push_back(seed);
    if (!range)
        seeds.insert(seeds.end(), {2498, 3232, 6830, 6915, 17741, 26382});
    return seeds;
}

INSTANTIATE_TEST_SUITE_P(Seeds, SyncModel, ::testing::ValuesIn(Seeds()));

} // namespace
