// quillidar-notes' import: filing with the window's rule and the three conflict modes, and json and
// csv that are not what they should be.
#include <gtest/gtest.h>

#include "test_bytes.h"
#include "notes_tool/filing.h"
#include "notes_tool/import_formats.h"
#include "notes_tool/text_codec.h"
#include "notes_tool_helpers.h"

namespace {

using namespace notes_tool;
using namespace std::string_literals;

using Notes = std::vector<std::pair<std::string, std::string>>;

std::vector<DiaryEntry> Entries(const Notes& notes) {
    return EntriesOf(Nts(notes));
}

std::string Counted(const FilingCounts& c) {
    return std::to_string(c.restored) + " restored " + std::to_string(c.added) + " added " +
           std::to_string(c.unchanged) + " unchanged " + std::to_string(c.replaced) + " replaced " +
           std::to_string(c.appended) + " appended " + std::to_string(c.kept) + " kept " +
           std::to_string(c.deleted) + " deleted " + std::to_string(c.blank) + " blank";
}

TEST(FileNotes, EachConflictModeOnEachKindOfDay) {
    // 030126 holds a blank entry, as a file may: the window shows no note for that day.
    const Notes target = {{"010126", "a"}, {"020126", "b"}, {"030126", " "}, {"060126", "x\r\n----\r\ny"}};
    const std::string sep = kAppendSeparator;
    const struct {
        const char* what;
        Notes incoming;
        OnConflict mode;
        Notes expected;
        const char* counts;
    } cases[] = {
        {"a new day",
         {{"040126", "d"}},
         OnConflict::kKeep,
         {target[0], target[1], target[2], target[3], {"040126", "d"}},
         "0 restored 1 added 0 unchanged 0 replaced 0 appended 0 kept 0 deleted 0 blank"},
        {"the same note",
         {{"010126", "a"}},
         OnConflict::kReplace,
         target,
         "0 restored 0 added 1 unchanged 0 replaced 0 appended 0 kept 0 deleted 0 blank"},
        {"a day that shows no note",
         {{"030126", "c"}},
         OnConflict::kKeep,
         {target[0], target[1], target[3], {"030126", "c"}},
         "0 restored 1 added 0 unchanged 0 replaced 0 appended 0 kept 0 deleted 0 blank"},
        {"keep",
         {{"020126", "B"}},
         OnConflict::kKeep,
         target,
         "0 restored 0 added 0 unchanged 0 replaced 0 appended 1 kept 0 deleted 0 blank"},
        {"replace",
         {{"020126", "B"}},
         OnConflict::kReplace,
         {target[0], target[2], target[3], {"020126", "B"}},
         "0 restored 0 added 0 unchanged 1 replaced 0 appended 0 kept 0 deleted 0 blank"},
        {"append",
         {{"020126", "B"}},
         OnConflict::kAppend,
         {target[0], target[2], target[3], {"020126", "b" + sep + "B"}},
         "0 restored 0 added 0 unchanged 0 replaced 1 appended 0 kept 0 deleted 0 blank"},
        {"append of a part already there",
         {{"060126", "y"}, {"060126", "x"}},
         OnConflict::kAppend,
         target,
         "0 restored 0 added 2 unchanged 0 replaced 0 appended 0 kept 0 deleted 0 blank"},
        {"a blank text, replacing",
         {{"010126", "\r\n"}},
         OnConflict::kReplace,
         {target[1], target[2], target[3]},
         "0 restored 0 added 0 unchanged 0 replaced 0 appended 0 kept 1 deleted 0 blank"},
        {"a blank text, keeping",
         {{"010126", ""}},
         OnConflict::kKeep,
         target,
         "0 restored 0 added 0 unchanged 0 replaced 0 appended 1 kept 0 deleted 0 blank"},
        {"a blank text, appending",
         {{"010126", ""}},
         OnConflict::kAppend,
         target,
         "0 restored 0 added 0 unchanged 0 replaced 0 appended 1 kept 0 deleted 0 blank"},
        {"a blank text for a day without a note",
         {{"050126", " "}},
         OnConflict::kReplace,
         target,
         "0 restored 0 added 0 unchanged 0 replaced 0 appended 0 kept 0 deleted 1 blank"},
        // One import's copies of a day are filed one after the other.
        {"two copies, keep",
         {{"050126", "x"}, {"050126", "y"}},
         OnConflict::kKeep,
         {target[0], target[1], target[2], target[3], {"050126", "x"}},
         "0 restored 1 added 0 unchanged 0 replaced 0 appended 1 kept 0 deleted 0 blank"},
        {"two copies, replace",
         {{"050126", "x"}, {"050126", "y"}},
         OnConflict::kReplace,
         {target[0], target[1], target[2], target[3], {"050126", "y"}},
         "0 restored 1 added 0 unchanged 1 replaced 0 appended 0 kept 0 deleted 0 blank"},
        {"two copies, append",
         {{"050126", "x"}, {"050126", "y"}},
         OnConflict::kAppend,
         {target[0], target[1], target[2], target[3], {"050126", "x" + sep + "y"}},
         "0 restored 1 added 0 unchanged 0 replaced 1 appended 0 kept 0 deleted 0 blank"},
    };
    for (const auto& c : cases) {
        FilingCounts counts;
        EXPECT_EQ(Hex(FileNotes(Entries(target), Entries(c.incoming), c.mode, counts)), Hex(Nts(c.expected)))
            << c.what;
        EXPECT_EQ(Counted(counts), c.counts) << c.what;
    }
}

// The priorities of gbk_hex and stored_hex are what the round trips of the export test rest on;
// these are the fields a person editing an export changes.
TEST(ImportJson, FieldsAPersonMayHaveEdited) {
    const struct {
        const char* what;
        std::string note;
        std::string key;
        std::string text;
        bool stored;
    } cases[] = {
        {"a date alone gives the key", R"({"date": "2026-12-08", "text": "t"})", "081226", "t", false},
        {"a null date", R"({"date": null, "key": "310226", "text": "t"})", "310226", "t", false},
        // Edited since the export: the stored form is of another text and is not used.
        {"stored_hex of an edited entry",
         R"({"key": "010126", "text": "xy", "stored_hex": "06303130313236056162006364"})", "010126", "xy",
         false},
    };
    for (const auto& c : cases) {
        const Imported imported =
            ImportJson(R"({"format": "quillidar-notes", "version": 1, "notes": [)" + c.note + "]}");
        ASSERT_EQ(imported.error, "") << c.what;
        ASSERT_EQ(imported.entries.size(), 1u);
        EXPECT_EQ(Hex(imported.entries[0].key), Hex(c.key)) << c.what;
        EXPECT_EQ(Hex(imported.entries[0].text), Hex(c.text)) << c.what;
        EXPECT_EQ(!imported.entries[0].stored.empty(), c.stored) << c.what;
    }
}

TEST(ImportJson, InputThatIsNoDiaryIsRefusedWithWhereAndWhy) {
    const std::string head = R"({"format": "quillidar-notes", "version": 1, "notes": [)";
    const struct {
        std::string json;
        const char* error; // its start
    } cases[] = {
        {"{\"format\": ", "at byte 11: parse error at line 1, column 12"},
        {"[1]", "not an export of this tool"},
        {R"({"format": "quillidar-notes", "version": 2, "notes": []})",
         "version 2 is not one this program reads (1)"},
        {R"({"format": "quillidar-notes", "version": 1})", "no \"notes\" list"},
        {head + R"({"key": "010126", "text": "a"}, 7]})", "note 2: not an object"},
        {head + R"({"key": "010126"}]})", "note 1: no text"},
        {head + R"({"text": "a"}]})", "note 1: no key and no date"},
        {head + R"({"key": 10126, "text": "a"}]})", "note 1: key is not a string"},
        {head + R"({"date": "2026-12-09", "key": "081226", "text": "a"}]})",
         "note 1: date 2026-12-09 does not match key 081226"},
        {head + R"({"date": "2026-02-30", "text": "a"}]})",
         "note 1: date \"2026-02-30\" is no day written YYYY-MM-DD"},
        {head + R"({"key": "010126", "text": "a", "gbk_hex": "abc"}]})",
         "note 1: gbk_hex is not an even number of hexadecimal digits"},
        {head + R"({"key": "010126", "text": "a\u0000b"}]})",
         "note 1: a zero byte, which the notes file cannot hold"},
    };
    for (const auto& c : cases) {
        const Imported imported = ImportJson(c.json);
        EXPECT_EQ(imported.error.substr(0, std::string(c.error).size()), c.error) << c.json;
        EXPECT_TRUE(imported.entries.empty());
    }
}

TEST(ImportCsv, WhatEditorsAndSpreadsheetsLeaveIsRead) {
    const struct {
        const char* what;
        std::string csv;
        std::vector<std::pair<std::string, std::string>> notes;
    } cases[] = {
        {"a byte order mark, LF line ends, a blank last line, columns in another order",
         "\xEF\xBB\xBFtext,key\n\"a\",010126\n\n",
         {{"010126", "a"}}},
        {"an empty key and a date", "date,key,text\r\n2026-12-08,,\"t\"\r\n", {{"081226", "t"}}},
        {"an empty key without a date is the empty key", "date,key,text\r\n,,\"t\"\r\n", {{"", "t"}}},
        {"line breaks and quotes inside a text",
         "key,text\r\n010126,\"a\r\n\"\"b\"\",c\"\r\n",
         {{"010126", "a\r\n\"b\",c"}}},
        {"a column this tool does not know", "key,mood,text\r\n010126,ok,x\r\n", {{"010126", "x"}}},
        {"no last line end", "key,text\r\n010126,x", {{"010126", "x"}}},
    };
    for (const auto& c : cases) {
        const Imported imported = ImportCsv(c.csv);
        ASSERT_EQ(imported.error, "") << c.what;
        ASSERT_EQ(imported.entries.size(), c.notes.size()) << c.what;
        for (std::size_t i = 0; i < c.notes.size(); ++i) {
            EXPECT_EQ(imported.entries[i].key, c.notes[i].first) << c.what;
            EXPECT_EQ(imported.entries[i].text, c.notes[i].second) << c.what;
        }
    }
}

TEST(ImportCsv, InputThatIsNoDiaryIsRefusedWithWhereAndWhy) {
    const struct {
        std::string csv;
        const char* error;
    } cases[] = {
        {"key,text\r\n010126,\"caf\xC3\"\r\n", "at byte 21: not UTF-8"},
        {"key,text\r\n010126,\"open\r\n", "at byte 17: a quoted field is not closed"},
        {"key,text\r\n010126,a\"b\r\n", "at byte 18: a quote inside a field that does not start with one"},
        {"key,text\r\n010126,\"a\"b\r\n",
         "at byte 20: a closing quote is followed by more than a comma or a line end"},
        {"key,text\r\n010126,a,b\r\n", "at byte 10, record 1: 3 fields, the header has 2"},
        {"date,key\r\n2026-12-08,081226\r\n",
         "the header has no text column, or neither a key nor a date column"},
        {"key,key,text\r\n", "the header names column key twice"},
        {"date,key,text\r\n2026-12-08,091226,\"t\"\r\n",
         "at byte 15, record 1: date 2026-12-08 does not match key 091226"},
        {"", "no header line"},
    };
    for (const auto& c : cases) {
        const Imported imported = ImportCsv(c.csv);
        EXPECT_EQ(imported.error, c.error) << c.csv;
        EXPECT_TRUE(imported.entries.empty());
    }
}

TEST(TextCodec, Utf8IsReadStrictlyAndBytesTravelAsHex) {
    const struct {
        std::string utf8;
        std::size_t bad; // npos: valid
    } cases[] = {
        {U8(u8"日记 😀"), std::string::npos},
        {"a\x80", 1},
        {"\xC0\xAF", 0},
        {"ab\xED\xA0\x80", 2},
        {"\xF4\x90\x80\x80", 0},
        {"x\xE6\x97", 1},
        {"\xE6\x97\x41", 0},
        {"\xF8\x88\x80\x80\x80", 0},
    };
    for (const auto& c : cases) {
        std::size_t bad = std::string::npos;
        EXPECT_EQ(Utf16FromUtf8(c.utf8, &bad).has_value(), c.bad == std::string::npos) << Hex(c.utf8);
        EXPECT_EQ(bad, c.bad) << Hex(c.utf8);
    }
    EXPECT_EQ(Utf8FromUtf16(u"a\xD800z\xDC00"), U8(u8"a\uFFFDz\uFFFD"));
    EXPECT_EQ(HexOf("\x00\x7F\xFF"s), "007fff");
    EXPECT_EQ(BytesOfHex("007FfF"), "\x00\x7F\xFF"s);
    EXPECT_FALSE(BytesOfHex("0"));
    EXPECT_FALSE(BytesOfHex("0g"));
}

// An imported text that is only a piece of a part the day holds is a part of its own: it is
// appended, never taken for one already there.
TEST(FileNotes, AppendComparesWholePartsNotPieces) {
    const std::string sep = kAppendSeparator;
    const struct {
        std::string existing, incoming, expected;
    } cases[] = {
        {"old" + sep + "newer", "new", "old" + sep + "newer" + sep + "new"},
        {"old" + sep + "new", "ne", "old" + sep + "new" + sep + "ne"},
        {"older", "old", "older" + sep + "old"},
        {"old" + sep + "new", "new", "old" + sep + "new"},
        {"old" + sep + "new", "old", "old" + sep + "new"},
    };
    for (const auto& c : cases) {
        FilingCounts counts;
        EXPECT_EQ(Hex(FileNotes(Entries({{"010126", c.existing}}), Entries({{"010126", c.incoming}}),
                                OnConflict::kAppend, counts)),
                  Hex(Nts({{"010126", c.expected}})))
            << c.incoming;
    }
}

TEST(ImportRules, DatesKeysAndMembersThatWouldMisfileAreRefused) {
    const std::string head = R"({"format": "quillidar-notes", "version": 1, "notes": [)";
    ImportOptions into;
    into.allowUndated = false;
    const struct {
        bool csv;
        std::string input;
        ImportOptions options;
        const char* error; // its start; empty: read
    } cases[] = {
        {false,
         head + R"({"date": "2100-05-05", "text": "a"}]})",
         {},
         "note 1: date 2100-05-05 is outside the hundred years a key can name, 1928 to 2027"},
        {false, head + R"({"date": "1900-01-01", "text": "a"}]})", {}, "note 1: date 1900-01-01 is outside"},
        {false, head + R"({"date": "0001-01-01", "text": "a"}]})", {}, "note 1: date 0001-01-01 is outside"},
        {false, head + R"({"date": "9999-12-31", "text": "a"}]})", {}, "note 1: date 9999-12-31 is outside"},
        {false, head + R"({"date": "2100-05-05", "text": "a"}]})", {2150, true, false, {}}, ""},
        {false, head + R"({"key": "abc", "text": "a"}]})", {}, "note 1: key \"abc\" names no day"},
        {false, head + R"({"key": "", "text": "a"}]})", {}, "note 1: key \"\" names no day"},
        {false, head + R"({"key": "2112266", "text": "a"}]})", {}, "note 1: key \"2112266\" names no day"},
        {false, head + R"({"date": null, "key": "310226", "text": "a"}]})", into,
         "note 1: key \"310226\" names no day, and a note filed under it would never show"},
        {true, "key,text\r\n11226,a\r\n", {}, "at byte 10, record 1: key \"11226\" names no day"},
        {true, "date,text\r\n2100-05-05,a\r\n", {}, "at byte 11, record 1: date 2100-05-05 is outside"},
        {false,
         head + R"({"key": "010126", "text": "a"}], "notes": []})",
         {},
         "the file names \"notes\" twice"},
        {false,
         head + R"({"key": "010126", "text": "a", "text": "b"}]})",
         {},
         "note 1: names \"text\" twice"},
        {false, head + R"({"key": "010126", "text": "a", "mood": {"x": [1]}}]})", {}, ""},
        {false, head + R"({"key": "010126", "text": ["a"]}]})", {}, "note 1: text is not a string"},
        {false, R"({"notes": [], "version": 1})", {}, "not an export of this tool"},
        // The byte named is the file's, the mark at its start counted.
        {true, "\xEF\xBB\xBFkey,text\r\n010126,\"caf\xC3\"\r\n", {}, "at byte 24: not UTF-8"},
        {true, "\xEF\xBB\xBFkey,text\r\n010126,a\"b\r\n", {}, "at byte 21: a quote inside a field"},
        {true, "\xEF\xBB\xBFkey,text\r\n010126,a,b\r\n", {}, "at byte 13, record 1: 3 fields"},
    };
    for (const auto& c : cases) {
        const Imported imported = c.csv ? ImportCsv(c.input, c.options) : ImportJson(c.input, c.options);
        EXPECT_EQ(imported.error.substr(0, std::string(c.error).size()), c.error) << c.input;
        EXPECT_EQ(imported.entries.empty(), *c.error != '\0') << c.input;
    }
}

TEST(ImportIcs, JournalsAndEventsComeInOnTheirLocalDay) {
    const std::string head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\n";
    const std::string tz =
        "BEGIN:VTIMEZONE\r\nTZID:Asia/Shanghai\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
        "TZOFFSETFROM:+0800\r\nTZOFFSETTO:+0800\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
    const std::string end = "END:VCALENDAR\r\n";
    auto journal = [](const std::string& start, const std::string& body) {
        return "BEGIN:VJOURNAL\r\nUID:u\r\n" + start + "\r\n" + body + "END:VJOURNAL\r\n";
    };
    ImportOptions events;
    events.includeEvents = true;
    ImportOptions east; // the diary is kept eight hours east of UTC
    east.localDateOf = [](std::int64_t s) { return DateOfDayNumber((s + 8 * 3600) / 86400); };
    const std::string sep = kAppendSeparator;
    const struct {
        const char* what;
        std::string ics;
        ImportOptions options;
        Notes notes;
    } cases[] = {
        {"folded lines and escapes",
         head +
             journal("DTSTART;VALUE=DATE:20261208",
                     "DESCRIPTION:a\\, b\\; c\\\\ d\\nsecond \r\n line " + U8(u8"雪\r\n ") + "\r\n") +
             end,
         {},
         {{"081226", "a, b; c\\ d\r\nsecond line "
                     "雪"}}},
        {"a journal with a summary only",
         head + journal("DTSTART:20261208", "SUMMARY:s\r\n") + end,
         {},
         {{"081226", "s"}}},
        {"events only on request",
         head + "BEGIN:VEVENT\r\nDTSTART:20261208T090000\r\nSUMMARY:meet\r\nEND:VEVENT\r\n" + end,
         {},
         {}},
        {"a timed event with a TZID falls on its own date",
         head + tz +
             "BEGIN:VEVENT\r\nDTSTART;TZID=\"Asia/"
             "Shanghai\":20261208T233000\r\nSUMMARY:late\r\nEND:VEVENT\r\n" +
             end,
         events,
         {{"081226", "late"}}},
        {"a time in UTC falls on the local day",
         head + journal("DTSTART:20261208T170000Z", "DESCRIPTION:east\r\n") + end,
         east,
         {{"091226", "east"}}},
        {"entries of one day are joined in order of their start",
         head + journal("DTSTART:20261208T120000", "DESCRIPTION:noon\r\n") +
             journal("DTSTART:20261208T080000",
                     "DESCRIPTION:morning\r\nBEGIN:VALARM\r\nDESCRIPTION:no\r\nEND:VALARM\r\n") +
             journal("DTSTART;VALUE=DATE:20261208", "DESCRIPTION:day\r\n") + end,
         {},
         {{"081226", "day" + sep + "morning" + sep + "noon"}}},
        {"LF line ends and a byte order mark",
         "\xEF\xBB\xBF"
         "BEGIN:VCALENDAR\nBEGIN:VJOURNAL\nDTSTART:20261201\nDESCRIPTION:x\nEND:VJOURNAL\nEND:VCALENDAR\n",
         {},
         {{"011226", "x"}}},
    };
    for (const auto& c : cases) {
        const Imported imported = ImportIcs(c.ics, c.options);
        ASSERT_EQ(imported.error, "") << c.what;
        Notes got;
        for (const DiaryEntry& e : imported.entries) {
            got.push_back({e.key, e.text});
        }
        EXPECT_EQ(got, c.notes) << c.what;
    }
    const struct {
        std::string ics;
        const char* error;
    } refused[] = {
        {"BEGIN:VCARD\r\nEND:VCARD\r\n", "line 1: no BEGIN:VCALENDAR"},
        {head + journal("DTSTART:21000505", "DESCRIPTION:x\r\n") + end,
         "line 6: the day 2100-05-05 is outside the hundred years a key can name"},
        {head + journal("X-NOTHING:1", "DESCRIPTION:x\r\n") + end, "line 4: VJOURNAL has no DTSTART"},
        {head + "BEGIN:VJOURNAL\r\n", "BEGIN:VJOURNAL is never closed"},
    };
    for (const auto& c : refused) {
        const Imported imported = ImportIcs(c.ics);
        EXPECT_EQ(imported.error.substr(0, std::string(c.error).size()), c.error) << c.ics;
    }
}

// The export read back: every note, its bytes from the hex where DESCRIPTION cannot carry them,
// a key's copies joined as append joins them.
TEST(ImportIcs, TheToolsOwnExportComesBack) {
    const Imported imported = ImportIcs(ReadSample("tool/small.ics"));
    ASSERT_EQ(imported.error, "");
    Notes got;
    for (const DiaryEntry& e : imported.entries) {
        got.push_back({e.key, e.text});
    }
    const std::vector<DiaryEntry> small = EntriesOf(ReadSample("tool/small.nts"));
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0], std::make_pair(small[1].key, small[1].text));
    EXPECT_EQ(got[1], std::make_pair(small[0].key, small[0].text + kAppendSeparator + small[5].text));
    EXPECT_EQ(got[3], std::make_pair(small[4].key, small[4].text)) << "the bytes of the hex";
    EXPECT_EQ(got[5], std::make_pair(small[6].key, small[6].text)) << "the key of no day from its UID";
}

// The hex gives the bytes back only while DESCRIPTION still says what they say: a calendar program
// that edits the text keeps the property it does not know, and its edit wins.
TEST(ImportIcs, EditedTextWinsOverTheBytesItReplaced) {
    const std::string head =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VJOURNAL\r\nDTSTART;VALUE=DATE:20261208\r\n";
    const std::string end = "END:VJOURNAL\r\nEND:VCALENDAR\r\n";
    const struct {
        std::string properties;
        std::string text; // the note's bytes after the import
    } cases[] = {
        {"DESCRIPTION:bad\xEF\xBF\xBD\r\nX-QUILLIDAR-GBK-HEX:626164ff\r\n", "bad\xFF"},
        {"DESCRIPTION:one\\ntwo\r\nX-QUILLIDAR-GBK-HEX:6f6e650a74776f\r\n", "one\ntwo"},
        {"DESCRIPTION:edited\r\nX-QUILLIDAR-GBK-HEX:626164ff\r\n", "edited"},
        {"DESCRIPTION:one\\ntwo more\r\nX-QUILLIDAR-GBK-HEX:6f6e650a74776f\r\n", "one\r\ntwo more"},
        // With no DESCRIPTION the title speaks: the bytes while it is still their first line, else the
        // title as edited.
        {"SUMMARY:bad\xEF\xBF\xBD\r\nX-QUILLIDAR-GBK-HEX:626164ff\r\n", "bad\xFF"},
        {"SUMMARY:one\r\nX-QUILLIDAR-GBK-HEX:6f6e650d0a74776f\r\n", "one\r\ntwo"},
        {"SUMMARY:bad\r\nX-QUILLIDAR-GBK-HEX:626164ff\r\n", "bad"},
    };
    for (const auto& c : cases) {
        const Imported imported = ImportIcs(head + c.properties + end);
        ASSERT_EQ(imported.error, "") << c.properties;
        ASSERT_EQ(imported.entries.size(), 1u) << c.properties;
        EXPECT_EQ(imported.entries[0].text, c.text) << c.properties;
    }
}

} // namespace
