// The sync's portable rules: three-way decisions, the day-to-resource mapping, the state file.
#include <gtest/gtest.h>

#include "diary/note_join.h"
#include "fake_file_system.h"
#include "sync/day_resource.h"
#include "sync/ical_text.h"
#include "sync/sync_state.h"
#include "sync/three_way.h"

namespace {

using O = std::optional<std::string_view>;
using S = std::optional<std::string>;
constexpr std::nullopt_t kNone = std::nullopt;

std::string J(std::string_view a, std::string_view b) {
    return JoinNoteParts(a, b);
}

TEST(SyncThreeWay, Table) {
    struct Case {
        S local, remote, base;
        DayAction action;
        std::string text;
    } cases[] = {
        {kNone, kNone, kNone, DayAction::kNothing, ""},
        {"a", "a", "a", DayAction::kNothing, "a"},
        {"a", "a", kNone, DayAction::kAgree, "a"},
        {"b", "b", "a", DayAction::kAgree, "b"},
        {kNone, kNone, "a", DayAction::kForget, ""},
        {" \r\n", "", "a", DayAction::kForget, ""}, // blank is no note
        {"a", kNone, kNone, DayAction::kPush, "a"},
        {kNone, "a", kNone, DayAction::kPull, "a"},
        {"a", "b", kNone, DayAction::kJoin, J("b", "a")}, // two PCs meet on one day
        {"b", "a", "a", DayAction::kPush, "b"},
        {"a", "b", "a", DayAction::kPull, "b"},
        {kNone, "a", "a", DayAction::kDeleteRemote, ""},
        {"a", kNone, "a", DayAction::kDeleteLocal, ""},
        {"b", "c", "a", DayAction::kJoin, J("c", "b")},
        {kNone, "c", "a", DayAction::kPull, "c"},               // emptied here, edited there: the edit stays
        {"b", kNone, "a", DayAction::kPush, "b"},               // emptied there, edited here
        {"b", J("c", "b"), "a", DayAction::kPull, J("c", "b")}, // the server already joined it
        {J("c", "b"), "c", "a", DayAction::kPush, J("c", "b")}, // this side already joined it
    };
    for (const Case& c : cases) {
        const auto view = [](const S& s) { return s ? O(*s) : O(); };
        const DayDecision d = DecideDay(view(c.local), view(c.remote), view(c.base));
        EXPECT_EQ(d.action, c.action)
            << c.local.value_or("-") << "|" << c.remote.value_or("-") << "|" << c.base.value_or("-");
        EXPECT_EQ(d.text, c.text);
        // Carried out, the same decision on the outcome changes nothing.
        const O after = d.text.empty() ? O() : O(d.text);
        EXPECT_EQ(DecideDay(after, after, after).action, DayAction::kNothing);
        // Nothing typed is lost: every side's text is in the outcome unless it was the agreed one
        // (or deliberately emptied against an unchanged other side).
        for (const S& side : {c.local, c.remote}) {
            if (side && !side->empty() && side != c.base &&
                side->find_first_not_of(" \r\n") != std::string::npos) {
                EXPECT_NE(d.text.find(*side), std::string::npos) << *side;
            }
        }
    }
}

TEST(SyncThreeWay, RemoveParts) {
    const std::string sep = kNotePartSeparator;
    struct Case {
        std::string note;
        std::vector<std::string> parts;
        std::string left;
    } cases[] = {
        {"f", {"f"}, ""},
        {"a" + sep + "f", {"f"}, "a"},
        {"f" + sep + "a", {"f"}, "a"},
        {"a" + sep + "f" + sep + "b", {"f"}, "a" + sep + "b"},
        {"a" + sep + "ff", {"f"}, "a" + sep + "ff"}, // only whole parts
        {"af", {"f"}, "af"},
        {"f" + sep + "f", {"f"}, ""},
        {"a", {""}, "a"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RemoveNoteParts(c.note, c.parts), c.left) << c.note;
    }
}

// A note's own text is told from other clients' entries by where each part came from: what the
// last run appended for them, taken once and from the end, never a part typed here with the same words.
TEST(SyncThreeWay, OwnTextOfNote) {
    const std::string sep = kNotePartSeparator;
    struct Case {
        std::string note, base;
        std::vector<std::string> entries;
        std::string own;
    } cases[] = {
        {"run", "run", {"run"}, "run"},                                 // the same words: shown once, ours
        {"a" + sep + "p", "a", {"p"}, "a"},                             // unchanged
        {"a" + sep + "p" + sep + "new", "a", {"p"}, "a" + sep + "new"}, // typed after the entry
        {"run" + sep + "x", "run", {"run"}, "run" + sep + "x"},         // the entry added nothing: all ours
        {"p" + sep + "p", "p", {"q", "p"}, "p" + sep + "p"},            // the entry q went from the note
        {"a" + sep + "p" + sep + "p2", "a", {"p", "p2"}, "a"},
        {"p", "", {"p"}, ""},               // only the entry
        {"p!", "", {"p"}, "p!"},            // the entry edited here is ours
        {"p" + sep + "a", "a", {"p"}, "a"}, // moved up, still the entry's
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OwnTextOfNote(c.note, c.base, c.entries), c.own) << c.note;
    }
}

TEST(SyncMapping, DaysKeysAndNames) {
    struct Case {
        std::string key;
        int pivot;
        std::optional<SyncDate> date;
    } cases[] = {
        {"081226", 2027, SyncDate{2026, 12, 8}}, {"010128", 2027, SyncDate{1928, 1, 1}},
        {"290224", 2027, SyncDate{2024, 2, 29}}, {"290223", 2027, std::nullopt},
        {"320126", 2027, std::nullopt},          {"08122", 2027, std::nullopt},
        {"0812a6", 2027, std::nullopt},          {"311299", 2100, SyncDate{2099, 12, 31}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SyncDateOfKey(c.key, c.pivot), c.date) << c.key;
        if (c.date) {
            EXPECT_EQ(KeyOfSyncDate(*c.date), c.key);
            EXPECT_EQ(ParseCompactDate(CompactDate(*c.date)), c.date);
        }
    }
    EXPECT_EQ(UidOfDay({2026, 12, 8}), "quillidar-day-20261208");
    EXPECT_EQ(HrefNameOfDay({7, 1, 2}), "quillidar-day-00070102.ics");
    EXPECT_FALSE(ParseCompactDate("20260230"));
}

// Notes in their own bytes: text, line breaks, marks TEXT escapes, GBK, bytes that are no text.
TEST(SyncMapping, ResourceRoundTrip) {
    const std::string notes[] = {
        "plain",
        "two\r\nlines, with; marks\\ and a long line " + std::string(200, 'x'),
        "\xC4\xE3\xBA\xC3 \xCA\xC0\xBD\xE7", // GBK
        "lone\nLF and \x01 control",         // TEXT cannot carry these: the hex does
        "\x81\x30 cut code \xFF",            // no valid text
    };
    for (const std::string& note : notes) {
        const std::string ics = EncodeDayResource({2026, 12, 8}, note, 0);
        for (std::size_t at = 0; at < ics.size();) {
            const std::size_t eol = ics.find("\r\n", at);
            EXPECT_LE(eol - at, 75u); // folded
            at = eol + 2;
        }
        const ResourceRead read = ReadCalendarResource(ics);
        ASSERT_EQ(read.error, "");
        ASSERT_EQ(read.entries.size(), 1u);
        EXPECT_TRUE(read.entries[0].ours);
        EXPECT_EQ(read.entries[0].date, (SyncDate{2026, 12, 8}));
        EXPECT_EQ(read.entries[0].text, note);
    }
}

TEST(SyncMapping, ReadsOtherClients) {
    const std::string head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n";
    struct Case {
        std::string body;
        std::vector<std::tuple<std::string, SyncDate, std::string, bool>> entries; // uid, day, text, ours
        bool fails = false;
    } cases[] = {
        // Folded, escaped, a phone's UID, a TZID time: its written day.
        {head + "BEGIN:VJOURNAL\r\nUID:phone-1\r\nDTSTART;TZID=Asia/Shanghai:20261208T235900\r\nDESCRI\r\n "
                "PTION:a\\, b\\nc\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n",
         {{"phone-1", {2026, 12, 8}, "a, b\r\nc", false}}},
        // Several components, a VEVENT passed by, LF line ends, lower-case names.
        {"begin:vcalendar\nBEGIN:VEVENT\nDTSTART:20261208\nDESCRIPTION:no\nEND:VEVENT\nBEGIN:VJOURNAL\nUID:"
         "quillidar-day-20261209\nDTSTART;VALUE=DATE:20261209\nDESCRIPTION:x\nEND:VJOURNAL\nBEGIN:"
         "VJOURNAL\nUID:u2\nDTSTART:20261210T010000Z\nDESCRIPTION:y\nEND:VJOURNAL\nend:vcalendar\n",
         {{"quillidar-day-20261209", {2026, 12, 9}, "x", true}, {"u2", {2026, 12, 10}, "y", false}}},
        // Our UID on another day is not our entry of that day.
        {head + "BEGIN:VJOURNAL\r\nUID:quillidar-day-20261208\r\nDTSTART;VALUE=DATE:20261209\r\nDESCRIPTION:"
                "m\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n",
         {{"quillidar-day-20261208", {2026, 12, 9}, "m", false}}},
        // A stale hex beside an edited text: the edit wins.
        {head + "BEGIN:VJOURNAL\r\nUID:quillidar-day-20261208\r\nDTSTART;VALUE=DATE:20261208\r\nDESCRIPTION:"
                "edited\r\nX-QUILLIDAR-GBK-HEX:ff\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n",
         {{"quillidar-day-20261208", {2026, 12, 8}, "edited", true}}},
        // No day, no entry; bad UTF-8 becomes U+FFFD (GB18030 84 31 A4 37), never an error.
        {head + "BEGIN:VJOURNAL\r\nUID:a\r\nDESCRIPTION:x\r\nEND:VJOURNAL\r\nBEGIN:VJOURNAL\r\nUID:"
                "b\r\nDTSTART:20261208\r\nDESCRIPTION:\xC3\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n",
         {{"b", {2026, 12, 8}, "\x84\x31\xA4\x37", false}}},
        // A title and no description: the title is the text; with a description, the description.
        {head + "BEGIN:VJOURNAL\r\nUID:s\r\nDTSTART:20261208\r\nSUMMARY:\xE8\xB7\x91\xE6\xAD\xA5\\, 5km\r\n"
                "END:VJOURNAL\r\nBEGIN:VJOURNAL\r\nUID:t\r\nDTSTART:20261209\r\nSUMMARY:title\r\n"
                "DESCRIPTION:body\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n",
         {{"s", {2026, 12, 8}, "\xC5\xDC\xB2\xBD, 5km", false}, {"t", {2026, 12, 9}, "body", false}}},
        {"BEGIN:VJOURNAL\r\nEND:VJOURNAL\r\n", {}, true},
        {head + "BEGIN:VJOURNAL\r\nEND:VCALENDAR\r\n", {}, true},
        {head + "BEGIN:VJOURNAL\r\n", {}, true},
        {head + "X:" + std::string(kMaxIcsLineBytes + 1, 'a') + "\r\nEND:VCALENDAR\r\n", {}, true},
        {std::string(kMaxResourceBytes + 1, 'a'), {}, true},
    };
    for (const Case& c : cases) {
        const ResourceRead read = ReadCalendarResource(c.body);
        EXPECT_EQ(!read.error.empty(), c.fails) << c.body.substr(0, 80);
        ASSERT_EQ(read.entries.size(), c.entries.size()) << c.body.substr(0, 80);
        for (std::size_t i = 0; i < c.entries.size(); ++i) {
            EXPECT_EQ(read.entries[i].uid, std::get<0>(c.entries[i]));
            EXPECT_EQ(read.entries[i].date, std::get<1>(c.entries[i]));
            EXPECT_EQ(read.entries[i].text, std::get<2>(c.entries[i]));
            EXPECT_EQ(read.entries[i].ours, std::get<3>(c.entries[i]));
        }
    }
    // A UTC time falls on the local day the caller says.
    const ResourceRead utc =
        ReadCalendarResource(head + "BEGIN:VJOURNAL\r\nUID:z\r\nDTSTART:20261208T200000Z\r\nDESCRIPTION:"
                                    "t\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n",
                             [](std::int64_t) {
                                 return SyncDate{2026, 12, 9};
                             });
    ASSERT_EQ(utc.entries.size(), 1u);
    EXPECT_EQ(utc.entries[0].date, (SyncDate{2026, 12, 9}));
}

SyncState SampleState() {
    SyncState s;
    s.collection = "https://h/cal/u/quillidar/";
    s.token = "http://h/ns/sync/42";
    s.etagsOnly = true;
    s.days["20261208"] = {"/cal/u/quillidar/quillidar-day-20261208.ics", "\"e 1\"", "note\r\n\xC4\xE3"};
    s.days["20261209"] = {"/x.ics", "", "x"};
    s.foreign["/cal/u/quillidar/phone.ics"] = {"W/\"7\"",
                                               {{{2026, 12, 8}, "from the phone"}, {{2026, 12, 9}, ""}}};
    s.foreign["/cal/u/quillidar/big.ics"] = {"\"9\"", {}};
    return s;
}

TEST(SyncStateFile, RoundTripAndDamage) {
    const SyncState state = SampleState();
    const std::string bytes = EncodeSyncState(state);
    SyncState read;
    ASSERT_TRUE(DecodeSyncState(bytes, read));
    EXPECT_EQ(read, state);
    ASSERT_TRUE(DecodeSyncState(EncodeSyncState(SyncState{}), read));
    EXPECT_EQ(read, SyncState{});
    // Every cut and every changed byte is refused, and leaves an empty state.
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        EXPECT_FALSE(DecodeSyncState(bytes.substr(0, at), read)) << at;
        EXPECT_EQ(read, SyncState{});
        std::string flipped = bytes;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x04);
        EXPECT_FALSE(DecodeSyncState(flipped, read)) << at;
    }
}

TEST(SyncStateFile, SavedAtomically) {
    FakeFileSystem fs;
    const FsPath path = L"C:\\safety\\sync-state";
    bool damaged = true;
    EXPECT_EQ(LoadSyncState(fs, path, &damaged), SyncState{});
    EXPECT_FALSE(damaged); // none yet is no damage
    ASSERT_EQ(SaveSyncState(fs, path, SampleState()).outcome, SaveOutcome::kSaved);
    EXPECT_EQ(LoadSyncState(fs, path, &damaged), SampleState());
    EXPECT_FALSE(damaged);
}

} // namespace
