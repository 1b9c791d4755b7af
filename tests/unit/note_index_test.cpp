// The note list's key index against a plain walk of the list: many keys, repeats, removals and
// compactions, so probe chains form and are broken up.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "diary/note_map.h"
#include "diary/notes_file.h"

namespace {

// The list as the plain sequence it is: GetNote walks it, SetNote removes every entry of the key.
struct PlainList {
    std::vector<NoteEntry> entries;

    std::string Get(const std::string& key) const {
        for (const NoteEntry& e : entries) {
            if (e.m_strKey == key) {
                return e.m_strText;
            }
        }
        return {};
    }
    void Set(const std::string& key, const std::string& text) {
        std::erase_if(entries, [&](const NoteEntry& e) { return e.m_strKey == key; });
        if (!IsBlankNote(text)) {
            entries.push_back({key, text});
        }
    }
};

NoteMap Raw(const std::vector<NoteEntry>& entries) {
    NoteMap notes;
    for (const NoteEntry& e : entries) {
        notes.Append(e);
    }
    return notes;
}

struct IndexCase {
    const char* name;
    int keys;        // distinct keys in play
    int operations;  // SetNote and Append calls
    int appendEvery; // every n-th operation appends raw (duplicates), 0 for never
    int blankEvery;  // every n-th SetNote files a blank text, 0 for never
    int loadEvery;   // every n-th operation saves the list and loads it back (entries in the block)
    int refileEvery; // every n-th operation files a key's note again unchanged (as a day left unedited)
};

class NoteIndexTest : public ::testing::TestWithParam<IndexCase> {};

TEST_P(NoteIndexTest, AgreesWithAPlainWalk) {
    const IndexCase& c = GetParam();
    std::mt19937 random(20261207);
    NoteMap notes;
    PlainList plain;
    for (int op = 1; op <= c.operations; ++op) {
        const std::string key = std::to_string(100000 + random() % c.keys);
        if (c.loadEvery && op % c.loadEvery == 0) {
            // What was edited since the last load is apart; the file brings it all into one block.
            const std::string saved = EncodeNotes(notes);
            ASSERT_EQ(saved, EncodeNotes(Raw(plain.entries))) << op;
            ASSERT_TRUE(DecodeNotes(std::string(saved), notes)) << op;
            continue;
        }
        if (c.refileEvery && op % c.refileEvery == 0) {
            notes.SetNote(key, notes.FindNote(key));
            plain.Set(key, plain.Get(key));
            continue;
        }
        if (c.appendEvery && op % c.appendEvery == 0) {
            const std::string text = "raw " + std::to_string(op);
            notes.Append({key, text});
            plain.entries.push_back({key, text});
            continue;
        }
        const std::string text =
            c.blankEvery && op % c.blankEvery == 0 ? " \r\n" : "note " + std::to_string(op);
        notes.SetNote(key, text);
        plain.Set(key, text);
    }
    ASSERT_EQ(notes.Entries(), plain.entries);
    EXPECT_EQ(EncodeNotes(notes), EncodeNotes(Raw(plain.entries)));
    for (int k = 0; k < c.keys + 5; ++k) {
        const std::string key = std::to_string(100000 + k);
        EXPECT_EQ(notes.GetNote(key), plain.Get(key)) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, NoteIndexTest,
                         ::testing::Values(IndexCase{"FewKeysManyEdits", 7, 2000, 0, 5, 0, 0},
                                           IndexCase{"ManyKeysGrowing", 5000, 8000, 0, 0, 0, 0},
                                           IndexCase{"DuplicatesFromAFile", 300, 4000, 3, 7, 0, 0},
                                           IndexCase{"MostlyDeleted", 2000, 6000, 0, 2, 0, 0},
                                           IndexCase{"EditsBetweenLoads", 400, 6000, 0, 6, 500, 0},
                                           IndexCase{"LoadedDuplicatesRefiled", 50, 4000, 4, 9, 700, 3},
                                           IndexCase{"MostlyRefiled", 3000, 9000, 0, 0, 2500, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NoteIndexTest, ReserveKeepsWhatIsThere) {
    NoteMap notes;
    notes.Append({"010126", "a"});
    notes.Append({"010126", "b"});
    notes.Reserve(100000);
    notes.Append({"020126", "c"});
    EXPECT_EQ(notes.GetNote("010126"), "a");
    notes.SetNote("010126", "d");
    EXPECT_EQ(notes.Entries(), (std::vector<NoteEntry>{{"020126", "c"}, {"010126", "d"}}));
}

// A loaded diary keeps its file's bytes as one block: paging through every day and leaving each
// note as it was must not copy the notes, and removing loaded entries must not touch the others.
TEST(NoteIndexTest, RefilingALoadedDiaryCopiesNoNote) {
    NoteMap source;
    for (int day = 0; day < 3000; ++day) {
        source.Append({std::to_string(100000 + day), std::string(500, static_cast<char>('a' + day % 26))});
    }
    const std::string file = EncodeNotes(source);
    NoteMap notes;
    ASSERT_TRUE(DecodeNotes(std::string(file), notes));
    const std::size_t loaded = notes.HeldBytes();
    EXPECT_LT(loaded, file.size() + file.size() / 4);
    for (int day = 0; day < 3000; ++day) {
        const std::string key = std::to_string(100000 + day);
        notes.SetNote(key, notes.FindNote(key));
    }
    EXPECT_LT(notes.HeldBytes(), loaded + file.size() / 8);
    notes.SetNote("100007", "");
    notes.SetNote("102999", "edited");
    EXPECT_EQ(notes.size(), 2999u);
    EXPECT_EQ(notes.GetNote("100008"), std::string(500, 'i'));
    EXPECT_EQ(notes.GetNote("102999"), "edited");
    NoteMap back;
    ASSERT_TRUE(DecodeNotes(EncodeNotes(notes), back));
    EXPECT_EQ(back.Entries(), notes.Entries());
}

} // namespace
