// The note list's ordering, duplicate and blank rules, and the notes file byte for byte.
#include <gtest/gtest.h>

#include "held_bytes.h"
#include "test_bytes.h"

#include <cstdlib>
#include <fstream>
#include <new>
#include <iterator>
#include <random>
#include <sstream>

#include "diary/notes_file.h"

#if defined(__GNUC__) && !defined(__clang__)
// operator new is replaced below with malloc and free; GCC cannot see that the pair matches.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

using namespace std::string_literals;

NoteMap Raw(std::initializer_list<NoteEntry> entries) {
    NoteMap notes;
    for (const NoteEntry& e : entries) {
        notes.Append(e);
    }
    return notes;
}

using Entries = std::vector<NoteEntry>;

TEST(IsBlankNote, OnlyTheSixAsciiSpacesAreBlank) {
    EXPECT_TRUE(IsBlankNote(""));
    EXPECT_TRUE(IsBlankNote(" \t\n\v\f\r"));
    EXPECT_TRUE(IsBlankNote("\r\n\r\n"));
    for (const std::string& text : {"x"s, " . "s, "\xA1\xA1"s, "\x00"s, "\x85"s, "\xA0"s, " \x1F"s}) {
        EXPECT_FALSE(IsBlankNote(text)) << text;
    }
}

TEST(NoteMap, SetNoteRemovesEveryCopyAndAppendsUnlessBlank) {
    const NoteMap loaded =
        Raw({{"010126", "a"}, {"020126", "b"}, {"010126", "c"}, {"030126", ""}, {"010126", "d"}});
    EXPECT_EQ(loaded.GetNote("010126"), "a") << "the first copy wins";
    EXPECT_EQ(loaded.GetNote("030126"), "");
    EXPECT_EQ(loaded.GetNote("040126"), "");

    NoteMap notes = loaded;
    notes.SetNote("010126", "new");
    EXPECT_EQ(notes.Entries(), (Entries{{"020126", "b"}, {"030126", ""}, {"010126", "new"}}));

    for (const std::string& blank : {""s, " "s, "\r\n\r\n"s, "\t \v\f"s}) {
        NoteMap cleared = loaded;
        cleared.SetNote("010126", blank);
        EXPECT_EQ(cleared.Entries(), (Entries{{"020126", "b"}, {"030126", ""}}));
        EXPECT_EQ(cleared.GetNote("010126"), "");
    }

    notes.SetNote("020126", "b2");
    notes.SetNote("999999", " ");
    EXPECT_EQ(notes.Entries(), (Entries{{"030126", ""}, {"010126", "new"}, {"020126", "b2"}}));
    EXPECT_EQ(EncodeNotes(notes), EncodeNotes(Raw({{"030126", ""}, {"010126", "new"}, {"020126", "b2"}})));
}

TEST(NoteMap, SetNoteWithAKeyOrTextTakenFromTheListItself) {
    NoteMap notes = Raw({{"010126", "a"}, {"020126", "b"}});
    notes.SetNote(notes.begin()->m_strKey, notes.begin()->m_strText);
    EXPECT_EQ(notes.Entries(), (Entries{{"020126", "b"}, {"010126", "a"}}));
}

// The list against the plain linear list it must behave like, over many random edits, so the
// index and the compaction are checked where they matter: duplicates, removals, re-appends.
TEST(NoteMap, BehavesLikeTheLinearList) {
    std::mt19937 random(12345);
    NoteMap notes;
    Entries model;
    auto key = [&] { return std::to_string(random() % 40); };
    for (int step = 0; step < 20000; ++step) {
        const unsigned action = random() % 10;
        if (action < 2) {
            NoteEntry e{key(), std::to_string(step)};
            notes.Append(e);
            model.push_back(e);
        } else if (action < 8) {
            const std::string k = key();
            const std::string text = random() % 4 == 0 ? " \r\n"s : std::to_string(step);
            notes.SetNote(k, text);
            std::erase_if(model, [&](const NoteEntry& e) { return e.m_strKey == k; });
            if (!IsBlankNote(text)) {
                model.push_back({k, text});
            }
        } else if (action == 8) {
            const std::string k = key();
            auto first =
                std::find_if(model.begin(), model.end(), [&](const NoteEntry& e) { return e.m_strKey == k; });
            ASSERT_EQ(notes.GetNote(k), first == model.end() ? "" : first->m_strText) << step;
        } else if (random() % 200 == 0) {
            notes.Clear();
            model.clear();
        }
        ASSERT_EQ(notes.size(), model.size()) << step;
    }
    EXPECT_EQ(notes.Entries(), model);
}

TEST(NotesFile, WorkedExamplesByteForByte) {
    EXPECT_EQ(EncodeNotes(NoteMap{}), ReadData("nts_empty.bin"));
    const NoteMap one = Raw({{"071226", "俺的第一篇日记.."}});
    EXPECT_EQ(EncodeNotes(one), ReadData("nts_one_note.bin"));
    EXPECT_EQ(EncodeNotes(Raw({{"", "ab\r\nc"}})), "\x01\x00\x00\x00\x00\x05"
                                                   "ab\r\nc"s);

    NoteMap back = Raw({{"x", "left over"}});
    ASSERT_TRUE(DecodeNotes(ReadData("nts_one_note.bin"), back));
    EXPECT_EQ(back.Entries(),
              (Entries{{"071226", "\xB0\xB3\xB5\xC4\xB5\xDA\xD2\xBB\xC6\xAA\xC8\xD5\xBC\xC7.."}}));
    ASSERT_TRUE(DecodeNotes(ReadData("nts_empty.bin"), back));
    EXPECT_TRUE(back.empty());
}

TEST(NotesFile, RoundTripKeepsOrderDuplicatesAndEveryByte) {
    const NoteMap notes = Raw({
        {"010126", "a=b \"quoted\"\ttab\r\nline two"},
        {"020126", std::string(254, 'x')},
        {"030126", std::string(255, 'y')},
        {"040126", std::string(65533, '\xB0')},
        {"050126", std::string(65534, '=')},
        {"010126", " "},
        {"\xFF\x80key", "\xA1\xA1"},
    });
    const std::string bytes = EncodeNotes(notes);
    NoteMap back;
    ASSERT_TRUE(DecodeNotes(bytes, back));
    EXPECT_EQ(back.Entries(), notes.Entries());
    EXPECT_EQ(EncodeNotes(back), bytes);
    EXPECT_NE(bytes.find("\x06"
                         "020126\xFE"s),
              std::string::npos);
    EXPECT_NE(bytes.find("\x06"
                         "030126\xFF\xFF\x00"s),
              std::string::npos);
    EXPECT_NE(bytes.find("\x06"
                         "040126\xFF\xFD\xFF"s),
              std::string::npos);
    EXPECT_NE(bytes.find("\x06"
                         "050126\xFF\xFF\xFF\xFE\xFF\x00\x00"s),
              std::string::npos);
}

TEST(NotesFile, CountsBelowTheEntriesLoadWhatTheyCountAndReportTheRestUnread) {
    const std::string seven =
        EncodeNotes(Raw({{"1", "a"}, {"2", "b"}, {"3", "c"}, {"4", "d"}, {"5", "e"}, {"6", "f"}, {"7", "g"}}))
            .substr(4);
    const struct {
        std::string count;
        std::size_t loaded;
        std::size_t unread;
    } cases[] = {
        {"\x00\x00\x00\x00"s, 0, 0},
        {"\xFF\xFF\xFF\xFF"s, 0, seven.size()},
        {"\x00\x00\x00\x80"s, 0, seven.size()},
        {"\x01\x00\x00\x00"s, 1, seven.size() - 4},
        {"\x07\x00\x00\x00"s, 7, 0},
    };
    for (const auto& c : cases) {
        NoteMap notes = Raw({{"1", "2"}});
        std::size_t unread = 99;
        const std::string bytes = c.count + (c.loaded == 0 && c.unread == 0 ? "" : seven);
        EXPECT_TRUE(DecodeNotes(bytes, notes, {}, &unread)) << c.loaded;
        EXPECT_EQ(notes.size(), c.loaded);
        EXPECT_EQ(unread, c.unread) << c.loaded;
    }
}

TEST(NotesFile, AForgedCountCostsMemoryOnlyForTheEntriesThatArrive) {
    // One large note announced as two thousand million: what is reserved must follow the note.
    NoteMap one;
    one.Append({"071226", std::string(1 << 20, 'x')});
    const std::string bytes = "\xFF\xFF\xFF\x7F"s + EncodeNotes(one).substr(4);
    NoteMap notes;
    const std::size_t asked = held_bytes::Asked();
    const bool ok = DecodeNotes(bytes, notes);
    const std::size_t allocated = held_bytes::Asked() - asked;
    EXPECT_FALSE(ok);
    EXPECT_EQ(notes.size(), 1u);
    EXPECT_LT(allocated, 2 * bytes.size()) << "bytes allocated for a file of " << bytes.size();
}

TEST(NotesFile, EveryCutOfAValidFileFailsAndKeepsTheWholeEntriesBeforeIt) {
    const NoteMap notes = Raw({{"071226", "first"}, {"081226", std::string(300, 'n')}, {"091226", ""}});
    const std::string bytes = EncodeNotes(notes);
    const std::size_t ends[] = {4 + 7 + 6, 4 + 7 + 6 + 7 + 303, bytes.size()};
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        NoteMap back;
        EXPECT_FALSE(DecodeNotes(std::string_view(bytes).substr(0, cut), back)) << cut;
        const std::size_t whole =
            std::count_if(std::begin(ends), std::end(ends), [&](std::size_t e) { return e <= cut; });
        EXPECT_EQ(back.size(), whole) << cut;
    }
}

TEST(NotesFile, ACountLargerThanTheEntriesFails) {
    NoteMap notes;
    EXPECT_FALSE(DecodeNotes("\x03\x00\x00\x00\x01"
                             "a\x01"
                             "b\x01"
                             "c\x01"
                             "d"s,
                             notes));
    EXPECT_EQ(notes.Entries(), (Entries{{"a", "b"}, {"c", "d"}}));
    EXPECT_FALSE(DecodeNotes("\xFF\xFF\xFF\x7F"s, notes)) << "a forged count costs nothing";
}

TEST(NotesFile, BytesAfterTheLastEntryAreIgnoredAndNotWrittenBack) {
    const std::string file = ReadData("nts_one_note.bin");
    NoteMap notes;
    ASSERT_TRUE(DecodeNotes(file + "\x00\xFF trailing"s, notes));
    EXPECT_EQ(EncodeNotes(notes), file);
}

TEST(NotesFile, WideTextsLoadConvertedAndSaveNarrow) {
    NoteMap notes;
    ASSERT_TRUE(DecodeNotes(ReadData("nts_wide_text.bin"), notes, [](std::u16string_view wide) {
        return wide == u"a中b" ? "a\xD6\xD0"
                                 "b"s
                               : "?"s;
    }));
    const Entries expected{{"010126", "x"},
                           {"020126", "a\xD6\xD0"
                                      "b"}};
    EXPECT_EQ(notes.Entries(), expected);
    EXPECT_EQ(EncodeNotes(notes), "\x02\x00\x00\x00\x06"
                                  "010126\x01x\x06"
                                  "020126\x04"
                                  "a\xD6\xD0"
                                  "b"s);
}

TEST(NotesFile, ZeroBytesCutKeysAndTexts) {
    NoteMap notes;
    ASSERT_TRUE(DecodeNotes("\x01\x00\x00\x00\x07"
                            "071226\x00\x05"
                            "ab\x00"
                            "cd"s,
                            notes));
    EXPECT_EQ(notes.Entries(), (Entries{{"071226", "ab"}}));
    // Long texts are searched a word at a time: a zero at every place of a word and of the tail,
    // and bytes with the high bit set (GBK) that must not look like zeros.
    const std::string text = "\xC4\xE3\x80\xFF\x01\x7F\xB0\xA1 words and more\xD2\xBB";
    for (std::size_t zero = 0; zero <= text.size(); ++zero) {
        std::string cut = text;
        if (zero < cut.size()) {
            cut[zero] = '\0';
        }
        ASSERT_TRUE(DecodeNotes("\x01\x00\x00\x00\x06"
                                "071226"s +
                                    static_cast<char>(cut.size()) + cut,
                                notes));
        EXPECT_EQ(notes.GetNote("071226"), text.substr(0, zero)) << zero;
    }
}

} // namespace

TEST(NotesFile, EncodingWithANoteMatchesFilingItInACopy) {
    NoteMap notes;
    notes.Append({"071226", "first"});
    notes.Append({"081226", "second"});
    notes.Append({"071226", "a duplicate from the file"});
    notes.Append({"091226", "   "});
    const struct {
        std::string key;
        std::string text;
    } cases[] = {
        {"071226", "replaces both copies, goes last"},
        {"071226", " \t\r\n"},
        {"101226", "a new day"},
        {"101226", ""},
        {"091226", "blank entry from the file replaced"},
        {"", "the empty key"},
    };
    for (const auto& c : cases) {
        NoteMap copy = notes;
        copy.SetNote(c.key, c.text);
        EXPECT_EQ(EncodeNotesWithNote(notes, c.key, c.text), EncodeNotes(copy)) << c.key << " / " << c.text;
    }
    EXPECT_EQ(notes.size(), 4u) << "the list itself is untouched";
}

// The diary written a piece at a time is the diary encoded whole, whatever its size against a piece,
// and a piece refused stops the writing there.
TEST(NotesFile, WrittenInPiecesAsEncodedWhole) {
    const std::size_t sizes[] = {0, 1, 1000, (1u << 20) / 600, (1u << 20) / 600 + 1, 5000};
    for (const std::size_t n : sizes) {
        NoteMap notes;
        for (std::size_t i = 0; i < n; ++i) {
            notes.Append({std::to_string(100000 + i % 7000),
                          std::string(580 + i % 40, static_cast<char>('a' + i % 26))});
        }
        notes.SetNote("010101", "filed last");
        std::string pieces;
        std::size_t count = 0;
        EXPECT_TRUE(WriteNotes(notes, [&](std::string_view piece) {
            pieces += piece;
            ++count;
            EXPECT_LE(piece.size(), (1u << 20) + 1200) << n;
            return true;
        }));
        EXPECT_EQ(pieces, EncodeNotes(notes)) << n;
        std::size_t asked = 0;
        EXPECT_EQ(WriteNotes(notes, [&](std::string_view) { return ++asked < 2; }), count < 2) << n;
        EXPECT_EQ(asked, std::min<std::size_t>(count, 2)) << n;
    }
}
