// quillidar-notes' exports: each format's exact bytes, json and csv back to the same file, ics
// folding and escaping, and the dates of keys.
#include <gtest/gtest.h>

#include "test_bytes.h"
#include "notes_tool/diary_dates.h"
#include "notes_tool/export_formats.h"
#include "notes_tool/filing.h"
#include "notes_tool/import_formats.h"
#include "notes_tool/text_codec.h"
#include "notes_tool_helpers.h"

namespace {

using namespace notes_tool;
using namespace std::string_literals;

constexpr std::int64_t kStamp = 1796724000; // 2026-12-08 10:00:00 UTC

ExportOptions Options() {
    ExportOptions options;
    options.pivot = 2027;
    options.stamp = kStamp;
    return options;
}

// tests/data/tool/small.nts, spelled out: Chinese text with CR LF and a tab; quotes, commas, a
// semicolon and a backslash; a 200-byte first line; a text in the wide form; a byte that is no
// GBK; a second, hidden copy of a day; a key that names no date.
std::string SmallDiary() {
    std::string longLine = "x";
    for (int i = 0; i < 19; ++i) {
        longLine += "长长的一行";
    }
    longLine += "长长的一.";
    std::string file = Int32(7);
    file += WrittenEntry("081226", "今天下雪了。\r\n第二行\t有制表符");
    file += WrittenEntry("150399", "He said \"hi\", then; left \\ done");
    file += WrittenEntry("010127", longLine + "\r\n第二行");
    file += "\x06"
            "091226" +
            WideString(u"宽字符 note");
    file += WrittenEntry("101226", "坏字节"
                                   "\xFF"
                                   "在这里");
    file += WrittenEntry("081226", "第二份，看不见");
    file += WrittenEntry("310226", "no such day");
    return file;
}

TEST(NotesToolExport, TheSmallDiaryInEachFormat) {
    const std::string diary = ReadSample("tool/small.nts");
    ASSERT_EQ(Hex(diary), Hex(SmallDiary()));
    const struct {
        Format format;
        const char* golden;
    } cases[] = {{Format::kJson, "tool/small.json"},
                 {Format::kCsv, "tool/small.csv"},
                 {Format::kMd, "tool/small.md"},
                 {Format::kTxt, "tool/small.txt"},
                 {Format::kIcs, "tool/small.ics"}};
    for (const auto& c : cases) {
        EXPECT_EQ(ExportNotes(c.format, EntriesOf(diary), Options()), ReadSample(c.golden)) << c.golden;
    }
}

// Files the widget loads whole, in every odd form a file can take: import of the export into an
// empty diary must give each back exactly.
TEST(NotesToolExport, JsonAndCsvImportGiveTheFileBackByteForByte) {
    const std::string t300(300, 't');
    const std::string t70000(70000, 'u');
    const std::vector<std::pair<const char*, std::string>> diaries = {
        {"small", ReadSample("tool/small.nts")},
        {"one note", ReadSample("nts_one_note.bin")},
        {"empty", ReadSample("nts_empty.bin")},
        {"wide text", ReadSample("nts_wide_text.bin")},
        {"wide keys and texts", ReadSample("e2e_wide_tagged.bin")},
        {"blank texts and copies", Nts({{"010126", ""}, {"010126", " \r\n"}, {"010126", "a"}})},
        {"no GBK in key and text", Nts({{"\xFF"
                                         "10126",
                                         "\x81\x20"
                                         "x"},
                                        {"\x80\x80", "\xFE"}})},
        {"lone CR, LF and controls", Nts({{"010126", "a\rb\nc\x01\x1B[0m\x7F\t"}})},
        {"U+FFFD itself", Nts({{"010126", "\x84\x31\xA4\x37"}})},
        {"csv's own characters in the key", Nts({{"01,\"26", "k"}, {"", "empty key"}})},
        {"16- and 32-bit lengths", Nts({{"010126", t300}, {"020126", t70000}})},
        {"a longer length form than needed", Int32(1) + "\xFF\x06\x00"s + "010126\x01x"},
        {"bytes after a zero", Int32(1) + "\x06"
                                          "010126"
                                          "\x05"
                                          "ab\0cd"s},
        {"a lone surrogate in the wide form", Int32(1) +
                                                  "\x06"
                                                  "010126" +
                                                  WideString(u"a\xD800")},
        {"a wide key", Int32(1) + WideString(u"050126") +
                           "\x02"
                           "ok"},
    };
    for (const auto& [name, diary] : diaries) {
        for (const Format format : {Format::kJson, Format::kCsv}) {
            const std::string exported = ExportNotes(format, EntriesOf(diary), Options());
            ASSERT_TRUE(Utf16FromUtf8(exported)) << name << ": exports are UTF-8";
            const Imported back = format == Format::kJson ? ImportJson(exported) : ImportCsv(exported);
            ASSERT_EQ(back.error, "") << name << "\n" << exported;
            FilingCounts counts;
            EXPECT_EQ(Hex(FileNotes({}, back.entries, OnConflict::kKeep, counts)), Hex(diary))
                << name << (format == Format::kJson ? " json" : " csv");
        }
    }
}

TEST(NotesToolExport, IcsLinesFoldAt75OctetsNeverInsideACharacter) {
    // "DESCRIPTION:" is 12 octets: 62 letters fill the line to 74, and the next character, three
    // octets long, would end at 77.
    const std::string ics =
        ExportNotes(Format::kIcs, {{"010126", std::string(62, 'a') + "日", {}}}, Options());
    EXPECT_NE(ics.find("\r\nDESCRIPTION:" + std::string(62, 'a') + "\r\n " + U8(u8"日") + "\r\n"),
              std::string::npos);

    std::string mixed = "x";
    for (int i = 0; i < 120; ++i) {
        mixed += i % 3 ? "字" : "\x94\x39\xFC\x36"; // U+1F600: four octets in UTF-8
    }
    for (const std::string& text : {std::string(200, 'a'), std::string(63, 'b'), std::string(64, 'b'), mixed,
                                    "a,b;c\\" + std::string(100, ',')}) {
        const std::string out = ExportNotes(Format::kIcs, {{"010126", text, {}}}, Options());
        std::size_t start = 0;
        std::string unfolded;
        while (start < out.size()) {
            const std::size_t end = out.find("\r\n", start);
            ASSERT_NE(end, std::string::npos);
            const std::string line = out.substr(start, end - start);
            EXPECT_LE(line.size(), 75u) << line;
            EXPECT_TRUE(Utf16FromUtf8(line)) << "a character split at a fold: " << line;
            unfolded += line[0] == ' ' ? line.substr(1) : "\n" + line;
            start = end + 2;
        }
        EXPECT_NE(unfolded.find("\nSUMMARY:"), std::string::npos);
        std::string escaped;
        for (const char c : Utf8FromNotes(text)) {
            escaped += c == ',' || c == ';' || c == '\\' ? "\\"s + c : std::string(1, c);
        }
        EXPECT_NE(unfolded.find("\nDESCRIPTION:" + escaped + "\n"), std::string::npos) << text.substr(0, 20);
    }
}

TEST(NotesToolExport, IcsTextEscapesAndCarriesWhatItCannotHold) {
    const struct {
        std::string text;
        std::string description;
        bool hex; // the note's bytes ride along because DESCRIPTION cannot give them back
    } cases[] = {
        {"a,b;c\\d: e", "a\\,b\\;c\\\\d: e", false},
        {"one\r\ntwo\r\n", "one\\ntwo\\n", false},
        {"tab\there", "tab\there", false},
        {"one\ntwo", "one\\ntwo", true},
        {"one\rtwo", "one\\ntwo", true},
        {"bell\x07", "bell" + U8(u8"\uFFFD"), true},
        {"del\x7F", "del" + U8(u8"\uFFFD"), true},
        {"\x1B[0mescape", U8(u8"\uFFFD") + "[0mescape", true},
        {"bad"
         "\xFF",
         "bad" + U8(u8"\uFFFD"), true},
        {"雪", U8(u8"雪"), false},
    };
    for (const auto& c : cases) {
        const std::string ics = ExportNotes(Format::kIcs, {{"010126", c.text, {}}}, Options());
        EXPECT_NE(ics.find("\r\nDESCRIPTION:" + c.description + "\r\n"), std::string::npos) << ics;
        EXPECT_EQ(ics.find("\r\nX-QUILLIDAR-GBK-HEX:" + HexOf(c.text) + "\r\n") != std::string::npos, c.hex)
            << ics;
        // No control character but the tab reaches any value: SUMMARY and UID included.
        for (std::size_t i = 0; i < ics.size(); ++i) {
            const auto b = static_cast<unsigned char>(ics[i]);
            const bool lineEnd = ics.compare(i, 2, "\r\n") == 0 || (b == '\n' && i > 0 && ics[i - 1] == '\r');
            EXPECT_FALSE((b < 0x20 && b != '\t' && !lineEnd) || b == 0x7F) << "byte " << i << " of\n" << ics;
        }
    }
}

// What each structure-reading client would take for structure comes out as the text it is.
TEST(NotesToolExport, MarkdownAndHtmlShowEveryNoteAsItsText) {
    const struct {
        Format format;
        std::string text;
        std::string shown; // the text as it stands in the export
    } cases[] = {
        {Format::kMd, "# not a heading", "\\# not a heading"},
        {Format::kMd, "---", "\\-\\-\\-"},
        {Format::kMd, "<script>alert(1)</script>", "\\<script\\>alert\\(1\\)\\</script\\>"},
        {Format::kMd, "1. * [x](y) `c` _e_ &amp;", "1\\. \\* \\[x\\]\\(y\\) \\`c\\` \\_e\\_ \\&amp;"},
        {Format::kMd, "    code?", "&#32;&#32;&#32;&#32;code?"},
        {Format::kMd, "one\r\ntwo\r\n\r\nthree", "one\\\r\ntwo\r\n\r\nthree"},
        {Format::kHtml, "<b>&\"'", "&lt;b&gt;&amp;&quot;&#39;"},
        {Format::kHtml, "one\r\ntwo\x01", "one\ntwo" + U8(u8"\uFFFD")},
    };
    for (const auto& c : cases) {
        const std::string out = ExportNotes(c.format, {{"010126", c.text, {}}}, Options());
        EXPECT_NE(out.find(c.shown), std::string::npos) << c.text << "\n" << out;
    }
    const std::string page = ExportNotes(
        Format::kHtml, {{"020226", "b", {}}, {"010126", "a", {}}, {"050126", "c", {}}, {"310226", "d", {}}},
        Options());
    EXPECT_NE(page.find("<h2>January 2026</h2>\r\n<article><h3>2026-01-01 " + U8(u8"农历冬月十三 元旦") +
                        "</h3><div class=\"note\">a</div></article>\r\n<article><h3>2026-01-05 " +
                        U8(u8"农历冬月十七 小寒") + "</h3>"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("</section>\r\n<section>\r\n<h2>February 2026</h2>"), std::string::npos) << page;
    EXPECT_NE(page.find("<h2>Notes of no calendar day</h2>\r\n<article><h3>310226</h3>"), std::string::npos)
        << page;
}

TEST(NotesToolExport, AnEmptyCalendarStillHoldsAComponent) {
    ExportOptions options = Options();
    options.from = Date{2030, 1, 1};
    const std::string ics = ExportNotes(Format::kIcs, {{"010126", "a", {}}}, options);
    EXPECT_EQ(ics,
              "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quillidar//quillidar-notes//EN\r\n"
              "BEGIN:X-QUILLIDAR-EMPTY\r\nX-QUILLIDAR-NOTES:0\r\nEND:X-QUILLIDAR-EMPTY\r\nEND:VCALENDAR\r\n");
}

TEST(NotesToolExport, FormatsAreNamedInAnyCase) {
    const struct {
        const char* name;
        std::optional<Format> format;
    } cases[] = {{"out.ICS", Format::kIcs},     {"out.MD", Format::kMd},        {"out.Csv", Format::kCsv},
                 {"out.markdown", Format::kMd}, {"a.b/out.HTM", Format::kHtml}, {"out.pdf", std::nullopt},
                 {"out", std::nullopt},         {"dir.json/out", std::nullopt}, {"out.", std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(FormatOfFileName(c.name), c.format) << c.name;
    }
}

TEST(DiaryDates, DaysAsPeopleSayThem) {
    const Date today{2026, 3, 1};
    const struct {
        const char* text;
        std::optional<Date> date;
    } cases[] = {
        {"today", today},
        {"yesterday", Date{2026, 2, 28}},
        {"tomorrow", Date{2026, 3, 2}},
        {"-3", Date{2026, 2, 26}},
        {"+31", Date{2026, 4, 1}},
        {"-365", Date{2025, 3, 1}},
        {"12-08", Date{2026, 12, 8}},
        {"02-29", std::nullopt},
        {"2024-02-29", Date{2024, 2, 29}},
        {"081226", Date{2026, 12, 8}},
        {"081299", Date{1999, 12, 8}},
        {"310226", std::nullopt},
        {"Today", std::nullopt},
        {"-", std::nullopt},
        {"3", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDay(c.text, today, 2027), c.date) << c.text;
    }
    for (const std::int64_t day : {-719468LL, -1LL, 0LL, 59LL, 20795LL, 2932896LL}) {
        EXPECT_EQ(DayNumber(DateOfDayNumber(day)), day);
    }
}

TEST(NotesToolExport, CsvQuotesEveryTextAndAKeyOnlyWhenItMust) {
    const std::string csv = ExportNotes(
        Format::kCsv, {{"010126", "plain", {}}, {"a,b", "say \"x\"", {}}, {"c\"d", "", {}}}, Options());
    EXPECT_EQ(csv, "date,key,text\r\n"
                   "2026-01-01,010126,\"plain\"\r\n"
                   ",\"a,b\",\"say \"\"x\"\"\"\r\n"
                   ",\"c\"\"d\",\"\"\r\n");
}

TEST(NotesToolExport, FromAndToKeepTheDaysBetweenAndEveryKeyWithoutADate) {
    const std::vector<DiaryEntry> entries = {{"150399", "old", {}},
                                             {"081226", "in", {}},
                                             {"310226", "no date", {}},
                                             {"311226", "last", {}},
                                             {"010127", "after", {}}};
    ExportOptions options = Options();
    options.from = Date{2026, 12, 8};
    options.to = Date{2026, 12, 31};
    EXPECT_EQ(ExportNotes(Format::kTxt, entries, options),
              "2026-12-08\r\nin\r\n\r\n2026-12-31\r\nlast\r\n\r\n310226\r\nno date\r\n\r\n");
}

TEST(DiaryDates, AKeyTakesTheYearOfItsHundredYearWindow) {
    const struct {
        const char* key;
        int pivot;
        const char* date; // nullptr: no date
    } cases[] = {
        {"081226", 2027, "2026-12-08"}, {"010127", 2027, "2027-01-01"}, {"010128", 2027, "1928-01-01"},
        {"150399", 2027, "1999-03-15"}, {"290228", 2027, "1928-02-29"}, {"290200", 2027, "2000-02-29"},
        {"290201", 2027, nullptr},      {"290200", 2199, nullptr},      {"290200", 2403, "2400-02-29"},
        {"010100", 2100, "2100-01-01"}, {"010100", 2099, "2000-01-01"}, {"310426", 2027, nullptr},
        {"000126", 2027, nullptr},      {"011326", 2027, nullptr},      {"01012", 2027, nullptr},
        {"0101260", 2027, nullptr},     {"0a0126", 2027, nullptr},      {"010199", 100, "0099-01-01"},
        {"311299", 9999, "9999-12-31"},
    };
    for (const auto& c : cases) {
        const auto date = DateOfKey(c.key, c.pivot);
        EXPECT_EQ(date ? IsoDate(*date) : "none", c.date ? c.date : "none") << c.key << " " << c.pivot;
        if (date) {
            EXPECT_EQ(KeyOfDate(*date), c.key);
        }
    }
    for (const char* bad :
         {"2026-02-29", "2026-13-01", "2026-1-01", "20261208", "0000-01-01", "2026-12-08 "}) {
        EXPECT_FALSE(ParseIsoDate(bad)) << bad;
    }
    EXPECT_EQ(KeyOfDayArgument("2024-02-29"), "290224");
    EXPECT_EQ(KeyOfDayArgument("081226"), "081226");
    EXPECT_FALSE(KeyOfDayArgument("08122"));
}

} // namespace
