// End-to-end tests of the diary's file: what reaches "nts.ini" on close from files as found at start,
// damaged or not, notes longer than the edit control takes, bytes that read as something else, and
// characters GBK lacks.
#include "diary_run.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace e2e::diary {
namespace {

// A notes file as found at start, what the note box shows, and what "关闭" leaves in "nts.ini" when
// nothing was touched. Keys of days that never come (day 32 and up) keep today's note out of the way.
struct FileCase {
    const char* name;
    std::function<std::string(const std::string& todayKey)> file;
    std::function<std::string(const std::string& todayKey)> shown;
    std::function<std::string(const std::string& todayKey)> saved;
    // Kept aside under a name of its own before the save replaces it: damaged, or holding bytes
    // after the entries its count announced.
    bool unreadable;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

std::string LongText() {
    std::string text;
    for (int i = 0; text.size() < 70000; ++i)
        text += "\xC8\xD5\xBC\xC7 line " + std::to_string(i) + " a=b\t\r\n";
    return text;
}

auto Fixed(std::string bytes) {
    return [bytes](const std::string&) { return bytes; };
}
auto Sample(const char* name) {
    return [name](const std::string&) { return SampleFile(name); };
}
auto GreetingOnly() {
    return [](const std::string& key) { return NotesBytes({{key, kGreeting}}); };
}

class DiaryFile : public ::testing::TestWithParam<FileCase> {
  protected:
    SafetyFolderAside m_safety;
};

TEST_P(DiaryFile, LoadsAndSavesAsExpected) {
    const FileCase& c = GetParam();
    const std::string key = TodayKey();
    const std::string original = c.file(key);

    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", original));
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(run.Note(), c.shown(key));
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), c.saved(key)));

    std::vector<std::wstring> copies;
    for (const std::wstring& name : run.App().TempFiles()) {
        if (name.starts_with(L"nts.ini.unreadable-")) {
            copies.push_back(name);
            EXPECT_TRUE(SameBytes(run.File(name.c_str()), original)) << "copy " << ToGbk(name);
        }
    }
    EXPECT_EQ(copies.size(), c.unreadable ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Diary, DiaryFile,
    ::testing::Values(
        FileCase{"CountThreeWithTwoEntries", Sample("e2e_count3_two_entries.bin"), Fixed(kGreeting),
                 GreetingOnly(), true},
        FileCase{"ThirtyTwoBitLengthPastTheEnd", Sample("e2e_huge_length32.bin"), Fixed(kGreeting),
                 GreetingOnly(), true},
        FileCase{"SixtyFourBitLengthTooBig", Sample("e2e_length64_too_big.bin"), Fixed(kGreeting),
                 GreetingOnly(), true},
        FileCase{"TooShortForTheCount", Fixed(std::string("\x01\x00\x00", 3)), Fixed(kGreeting),
                 GreetingOnly(), true},
        FileCase{"NegativeCountIsAnEmptyList",
                 Fixed("\xFF\xFF\xFF\xFF\x06"
                       "320126\x01x"),
                 Fixed(""), Fixed(std::string(4, '\0')), true},
        FileCase{"CountOneOfSeven",
                 Fixed(std::string("\x01\x00\x00\x00", 4) + NotesBytes({{"320126", "e1"},
                                                                        {"330126", "e2"},
                                                                        {"340126", "e3"},
                                                                        {"350126", "e4"},
                                                                        {"360126", "e5"},
                                                                        {"370126", "e6"},
                                                                        {"380126", "e7"}})
                                                                .substr(4)),
                 Fixed(""), Fixed(NotesBytes({{"320126", "e1"}})), true},
        FileCase{"WideTaggedAreSavedNarrow", Sample("e2e_wide_tagged.bin"), Fixed(""),
                 Fixed(NotesBytes({{"320126", "narrow"},
                                   {"330126", "\xBF\xED\xD7\xD6\xB7\xFB note"},
                                   {"340126", "\xBA\xF3"}})),
                 false},
        FileCase{"ZeroByteCutsAndTrailingBytesGo", Sample("e2e_zero_byte_and_tail.bin"), Fixed(""),
                 Fixed(NotesBytes({{"320126", "ab"}, {"330126", "\xCE\xB2\xB0\xCD=tail"}})), true},
        FileCase{"DuplicatesOfTodayBecomeTheFirstOneFiledLast",
                 [](const std::string& key) {
                     return NotesBytes({{key, "first"}, {"320126", "x"}, {key, ""}, {key, "third"}});
                 },
                 Fixed("first"),
                 [](const std::string& key) {
                     return NotesBytes({{"320126", "x"}, {key, "first"}});
                 },
                 false},
        FileCase{"TabsLineBreaksAndEqualsSigns",
                 [](const std::string& key) {
                     return NotesBytes({{key, "a=b\tc\r\n\r\n\"d\"=\te\r\n"}});
                 },
                 Fixed("a=b\tc\r\n\r\n\"d\"=\te\r\n"),
                 [](const std::string& key) {
                     return NotesBytes({{key, "a=b\tc\r\n\r\n\"d\"=\te\r\n"}});
                 },
                 false},
        FileCase{"LongNoteOfTodayIsKeptWhole",
                 [](const std::string& key) {
                     return NotesBytes({{key, LongText()}});
                 },
                 Fixed(LongText()),
                 [](const std::string& key) {
                     return NotesBytes({{key, LongText()}});
                 },
                 false}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

// Notes longer than the edit control takes by default, put there the two ways a user does.
struct LongCase {
    const char* name;
    std::size_t stored; // characters of today's note in the file at start
    std::size_t pasted;
    std::wstring_view typed;
};

void PrintTo(const LongCase& c, std::ostream* os) {
    *os << c.name;
}

// Hanzi, ASCII and line breaks, cut to exactly `length` characters.
std::wstring LongWide(std::size_t length, wchar_t tag) {
    std::wstring text;
    for (int i = 0; text.size() < length; ++i)
        text += std::wstring(1, tag) + L"日记第" + std::to_wstring(i) + L"行 a=b\r\n";
    text.resize(length);
    if (text.back() == L'\r')
        text.back() = L'.';
    return text;
}

class DiaryLongNote : public ::testing::TestWithParam<LongCase> {
  protected:
    SafetyFolderAside m_safety;
};

TEST_P(DiaryLongNote, IsKeptToTheLastCharacter) {
    const LongCase& c = GetParam();
    const std::string key = TodayKey();
    const std::wstring stored = LongWide(c.stored, L'S');
    const std::wstring pasted = LongWide(c.pasted, L'P');

    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", c.stored ? NotesBytes({{key, ToGbk(stored)}})
                                                             : std::string(4, '\0')));
    ASSERT_TRUE(run.Start());
    ASSERT_EQ(TextW(run.note).size(), stored.size());
    if (!pasted.empty()) {
        ASSERT_TRUE(run.PasteNote(pasted));
    }
    if (!c.typed.empty()) {
        ASSERT_TRUE(run.TypeNote(c.typed));
    }
    const std::wstring expected = stored + pasted + std::wstring(c.typed);
    const std::wstring shown = TextW(run.note);
    EXPECT_EQ(shown.size(), expected.size());
    EXPECT_TRUE(shown == expected) << "the note box does not hold every character";
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), NotesBytes({{key, ToGbk(expected)}})));
}

INSTANTIATE_TEST_SUITE_P(
    Diary, DiaryLongNote,
    ::testing::Values(LongCase{"PasteOf40000Characters", 0, 40000, L""},
                      LongCase{"TypingIntoALoaded50000CharacterNote", 50000, 0, L"\u5B8C!"}),
    [](const ::testing::TestParamInfo<LongCase>& info) { return std::string(info.param.name); });

// Bytes that read as something else than they are: shown as well as they can be, and written back
// untouched when nobody edits them, after the selection has been away and back.
struct KeptBytesCase {
    const char* name;
    std::string bytes;
    std::wstring shown;
};

void PrintTo(const KeptBytesCase& c, std::ostream* os) {
    *os << c.name;
}

class DiaryKeptBytes : public ::testing::TestWithParam<KeptBytesCase> {
  protected:
    SafetyFolderAside m_safety;
};

TEST_P(DiaryKeptBytes, UneditedNoteIsWrittenBackAsItWasRead) {
    const KeptBytesCase& c = GetParam();
    const SYSTEMTIME today = Today();
    const Neighbour next = NeighbourOf(today);
    // In the order the filing leaves them in: today's note is filed last, at the close.
    const std::string file = NotesBytes({{KeyOf(next.day), "next \xC8\xD5"}, {TodayKey(), c.bytes}});

    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", file));
    ASSERT_TRUE(run.Start());
    EXPECT_TRUE(TextW(run.note) == c.shown) << "shown as " << ToGbk(TextW(run.note));
    ASSERT_TRUE(run.Select(next.day, next.toward));
    EXPECT_EQ(run.Note(), "next \xC8\xD5");
    ASSERT_TRUE(run.Select(today, next.back));
    EXPECT_TRUE(TextW(run.note) == c.shown);
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), file));
}

INSTANTIATE_TEST_SUITE_P(
    Diary, DiaryKeptBytes,
    ::testing::Values(KeptBytesCase{"LeadByteBeforeASpace", "ab\x81 cd", L"ab\xFFFD cd"},
                      KeptBytesCase{"LeadByteAtTheEnd", "ab\x81", L"ab\xFFFD"},
                      KeptBytesCase{"ByteFF", "x\xFFy", L"x\xFFFDy"},
                      KeptBytesCase{"FourByteControlCharacter", "\x81\x30\x81\x30", L"\x0080"},
                      // U+E76C, whose own code is A2 E3: saving it anew would change the bytes.
                      KeptBytesCase{"SecondCodeOfACharacter", "\x83\x36\xC7\x39", L"\xE76C"}),
    [](const ::testing::TestParamInfo<KeptBytesCase>& info) { return std::string(info.param.name); });

// Characters GBK lacks are saved in their GB18030 codes and come back as they were typed.
TEST_F(Diary, CharactersBeyondGbkSurviveSaveAndRestart) {
    const std::string key = TodayKey();
    const std::wstring typed = L"日记 \U0001F600 한국어 \u01F9 €";
    const std::string bytes = "\xC8\xD5\xBC\xC7 "
                              "\x94\x39\xFC\x36 "
                              "\x83\x36\x84\x33\x82\x37\xF4\x30\x83\x32\xEB\x35 "
                              "\xA8\xBF "
                              "\x80";

    DiaryRun run;
    ASSERT_TRUE(run.App().WriteTempFile(L"nts.ini", std::string(4, '\0')));
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.TypeNote(typed));
    ASSERT_TRUE(TextW(run.note) == typed) << "typed as " << ToGbk(TextW(run.note));
    ASSERT_TRUE(run.Close());
    EXPECT_TRUE(SameBytes(run.File(L"nts.ini"), NotesBytes({{key, bytes}})));

    DiaryRun again(run);
    ASSERT_TRUE(again.Start());
    EXPECT_TRUE(TextW(again.note) == typed) << "shown as " << ToGbk(TextW(again.note));
    ASSERT_TRUE(again.Close());
    EXPECT_TRUE(SameBytes(again.File(L"nts.ini"), NotesBytes({{key, bytes}})));
}

} // namespace
} // namespace e2e::diary
