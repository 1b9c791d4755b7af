// The note list's key index against a plain walk of the list: many keys, repeats, removals and
// compactions, so probe chains form and are broken up.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "diary/note_map.h"

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

struct IndexCase {
    const char* name;
    int keys;        // distinct keys in play
    int operations;  // SetNote and Append calls
    int appendEvery; // every n-th operation appends raw (duplicates), 0 for never
    int blankEvery;  // every n-th SetNote files a blank text, 0 for never
};

class NoteIndexTest : public ::testing::TestWithParam<IndexCase> {};

TEST_P(NoteIndexTest, AgreesWithAPlainWalk) {
    const IndexCase& c = GetParam();
    std::mt19937 random(20261207);
    NoteMap notes;
    PlainList plain;
    for (int op = 1; op <= c.operations; ++op) {
        const std::string key = std::to_string(100000 + random() % c.keys);
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
    for (int k = 0; k < c.keys + 5; ++k) {
        const std::string key = std::to_string(100000 + k);
        EXPECT_EQ(notes.GetNote(key), plain.Get(key)) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, NoteIndexTest,
                         ::testing::Values(IndexCase{"FewKeysManyEdits", 7, 2000, 0, 5},
                                           IndexCase{"ManyKeysGrowing", 5000, 8000, 0, 0},
                                           IndexCase{"DuplicatesFromAFile", 300, 4000, 3, 7},
                                           IndexCase{"MostlyDeleted", 2000, 6000, 0, 2}),
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

} // namespace
