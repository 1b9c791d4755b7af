// Other clients' entries held in the sync state by their length and checksum: found again in the
// note that shows them, written and read as their own record, and never taken for words typed here.
#include <gtest/gtest.h>

#include <optional>

#include "diary/note_join.h"
#include "sync/sync_state.h"
#include "sync/three_way.h"

namespace {

const std::string kSep = kNotePartSeparator;

ForeignEntry Held(std::string_view text) {
    ForeignEntry e{{2026, 12, 8}, std::string(text)};
    HoldAsSumWhenShown(text, e); // a note of the text alone shows it
    EXPECT_TRUE(e.HeldAsSum()) << text;
    return e;
}

// Where a note shows an entry: only as a run of whole parts, never inside one.
TEST(SyncHeldSum, FoundOnlyAsWholeParts) {
    const struct {
        const char* what;
        std::string entry, note;
        bool found;
    } cases[] = {
        {"the whole note", "ph", "ph", true},
        {"the last part", "ph", "a" + kSep + "ph", true},
        {"the first part", "ph", "ph" + kSep + "a", true},
        {"between parts", "ph", "a" + kSep + "ph" + kSep + "b", true},
        {"an entry of two parts", "x" + kSep + "y", "a" + kSep + "x" + kSep + "y", true},
        {"inside a part", "ph", "a" + kSep + "phone", false},
        {"the end of a part", "ph", "aph", false},
        {"edited", "ph", "a" + kSep + "ph!", false},
        {"a part of a two-part entry only", "x" + kSep + "y", "a" + kSep + "x", false},
        {"an empty note", "ph", "", false},
    };
    for (const auto& c : cases) {
        const ForeignEntry e = Held(c.entry);
        const std::optional<std::string_view> found = ForeignTextIn(c.note, e);
        EXPECT_EQ(found.has_value(), c.found) << c.what;
        if (found) {
            EXPECT_EQ(*found, c.entry) << c.what;
        }
        // Its text is let go only where the note shows it.
        ForeignEntry kept{{2026, 12, 8}, c.entry};
        HoldAsSumWhenShown(c.note, kept);
        EXPECT_EQ(kept.HeldAsSum(), c.found) << c.what;
        const ForeignEntry asText{{2026, 12, 8}, c.entry};
        EXPECT_EQ(kept, c.found ? e : asText) << c.what;
    }
}

// The own text of a note is what it was with the entries' texts themselves, whether they are held
// as sums or not, and an entry the note no longer shows never takes a part typed here with it.
TEST(SyncHeldSum, OwnTextAsWithTheTexts) {
    const struct {
        const char* what;
        std::string note, base;
        std::vector<std::string> entries;
    } cases[] = {
        {"unchanged", "a" + kSep + "ph", "a", {"ph"}},
        {"typed after", "a" + kSep + "ph" + kSep + "b", "a", {"ph"}},
        {"the entry cut out", "a", "a", {"ph"}},
        {"the entry edited", "a" + kSep + "ph!", "a", {"ph"}},
        {"the entry's words typed here too", "ph" + kSep + "ph", "ph", {"ph"}},
        {"two entries of one text", "a" + kSep + "ph", "a", {"ph", "ph"}},
        {"one of two entries cut out", "a" + kSep + "q", "a", {"ph", "q"}},
        {"an entry of two parts", "a" + kSep + "x" + kSep + "y", "a", {"x" + kSep + "y"}},
        {"emptied", "", "a", {"ph"}},
        {"never agreed", "b" + kSep + "ph", "", {"ph"}},
    };
    for (const auto& c : cases) {
        std::vector<ForeignEntry> held;
        for (const std::string& text : c.entries) {
            held.push_back(Held(text));
        }
        std::vector<ForeignEntry*> pointers;
        for (ForeignEntry& e : held) {
            pointers.push_back(&e);
        }
        const std::vector<std::string> texts = ForeignTextsIn(c.note, pointers, true);
        EXPECT_EQ(OwnTextOfNote(c.note, c.base, texts), OwnTextOfNote(c.note, c.base, c.entries)) << c.what;
        // What the note shows of them, and nothing it does not.
        for (const std::string& shown : ForeignTextsIn(c.note, pointers, false)) {
            EXPECT_TRUE(ForeignTextIn(c.note, Held(shown)).has_value()) << c.what;
        }
    }
}

// The record of an entry held as its sum: read back as written, and anything else refused whole.
TEST(SyncHeldSum, StateRecord) {
    SyncState state;
    state.collection = "https://h/cal/u/quillidar/";
    state.foreign["/cal/u/quillidar/phone.ics"] = {"\"7\"",
                                                   {Held("from the phone"), {{2026, 12, 9}, "as text"}}};
    const std::string bytes = EncodeSyncState(state);
    EXPECT_NE(bytes.find("\nseen 20261208 14 "), std::string::npos);
    SyncState read;
    ASSERT_TRUE(DecodeSyncState(bytes, read));
    EXPECT_EQ(read, state);
    const std::string line = "seen 20261208 14 " + bytes.substr(bytes.find("\nseen ") + 18, 16);
    const struct {
        const char* what;
        std::string record;
    } refused[] = {
        {"a length of 0", "seen 20261208 0 0123456789abcdef"},
        {"a length with a leading 0", "seen 20261208 014 0123456789abcdef"},
        {"a length of no digits", "seen 20261208 1x 0123456789abcdef"},
        {"a short checksum", "seen 20261208 14 0123456789abcde"},
        {"a checksum of capitals", "seen 20261208 14 0123456789ABCDEF"},
        {"no day", "seen 20261332 14 0123456789abcdef"},
        {"a field missing", "seen 20261208 14"},
    };
    for (const auto& c : refused) {
        SyncState one;
        one.collection = state.collection;
        const std::string good = EncodeSyncState(one);
        // The same file with the record put after a foreign resource, sealed anew.
        std::string body = good.substr(0, good.rfind("end "));
        body += "foreign /p.ics \\e\n" + c.record + "\n";
        std::uint64_t sum = SyncFileChecksum(body);
        char end[64];
        std::snprintf(end, sizeof end, "end 5 %016llx\n", static_cast<unsigned long long>(sum));
        EXPECT_FALSE(DecodeSyncState(body + end, read)) << c.what;
        // The same record well formed is taken.
        std::string fine = good.substr(0, good.rfind("end ")) + "foreign /p.ics \\e\n" + line + "\n";
        std::snprintf(end, sizeof end, "end 5 %016llx\n",
                      static_cast<unsigned long long>(SyncFileChecksum(fine)));
        EXPECT_TRUE(DecodeSyncState(fine + end, read)) << c.what;
    }
}

} // namespace
