// The calendar layer: what it reads of each shape a calendar comes in, what both writers write, and
// notes written and read back through random folds.
#include <gtest/gtest.h>

#include <random>

#include "ical/journal.h"
#include "notes_tool/export_formats.h"
#include "notes_tool/import_formats.h"
#include "sync/day_resource.h"
#include "text/text_codec.h"

namespace {

using ical::Calendar;
using ical::Component;

const std::string kHead = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\n";
const std::string kTail = "END:VCALENDAR\r\n";

std::string Journal(const std::string& lines) {
    return "BEGIN:VJOURNAL\r\n" + lines + "END:VJOURNAL\r\n";
}

// The text of one journal, from each way a line can be written.
TEST(IcalReader, TextOfAJournal) {
    const struct {
        const char* what;
        std::string lines;
        std::string text;
    } cases[] = {
        {"a folded line, a space and a tab continue it", "DESCRI\r\n PTION:a\r\n\tb\r\n c\r\n", "abc"},
        {"a fold inside a UTF-8 sequence joins its bytes", "DESCRIPTION:\xE9\r\n \x9B\xAA\r\n",
         "\xE9\x9B\xAA"},
        {"escaped marks, both cases of a break", "DESCRIPTION:a\\, b\\; c\\\\ d\\ne\\Nf\\x\r\n",
         "a, b; c\\ d\r\ne\r\nfx"},
        {"a SUMMARY only: the title is the text", "SUMMARY:title\\, one\r\n", "title, one"},
        {"a DESCRIPTION wins over the SUMMARY", "SUMMARY:title\r\nDESCRIPTION:body\r\n", "body"},
        {"several DESCRIPTIONs are one text", "DESCRIPTION:one\r\nDESCRIPTION:two\r\n", "one\r\ntwo"},
        {"parameters and a colon in the value", "DESCRIPTION;LANGUAGE=zh;X-A=\"b;c:d\":e:f\r\n", "e:f"},
        {"nothing written", "UID:u\r\n", ""},
    };
    for (const auto& c : cases) {
        const Calendar read = ical::ReadCalendar(kHead + Journal(c.lines) + kTail);
        ASSERT_EQ(read.error, "") << c.what;
        ASSERT_EQ(read.components.size(), 1u) << c.what;
        EXPECT_EQ(read.components[0].Text(), c.text) << c.what;
    }
}

// One row per shape of a calendar: what its components are, or the error that refuses it.
TEST(IcalReader, Shapes) {
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> kinds; // of the components read, in order
        std::vector<std::string> texts;
        std::string error; // a prefix of it; empty when read
    } cases[] = {
        {"journals and events in order; VALARM and VTIMEZONE passed over",
         kHead +
             "BEGIN:VTIMEZONE\r\nTZID:z\r\nBEGIN:STANDARD\r\nDESCRIPTION:no\r\nEND:STANDARD\r\nEND:"
             "VTIMEZONE\r\n" +
             Journal("DESCRIPTION:j\r\nBEGIN:VALARM\r\nDESCRIPTION:alarm\r\nEND:VALARM\r\n") +
             "BEGIN:VEVENT\r\nSUMMARY:e\r\nEND:VEVENT\r\n" + kTail,
         {"VJOURNAL", "VEVENT"},
         {"j", "e"},
         ""},
        {"two calendars one after another",
         kHead + Journal("DESCRIPTION:1\r\n") + kTail + kHead + Journal("DESCRIPTION:2\r\n") + kTail,
         {"VJOURNAL", "VJOURNAL"},
         {"1", "2"},
         ""},
        {"LF line ends, lower-case names, a byte order mark",
         "\xEF\xBB\xBF"
         "begin:vcalendar\nbegin:vjournal\ndescription:x\nend:VJOURNAL\nEND:vcalendar\n",
         {"VJOURNAL"},
         {"x"},
         ""},
        {"no calendar at all", "BEGIN:VCARD\r\nEND:VCARD\r\n", {}, {}, "line 1: no BEGIN:VCALENDAR"},
        {"empty", "", {}, {}, "line 1: no BEGIN:VCALENDAR"},
        {"garbage", "\x01\x02 not: a ; calendar\r\n", {}, {}, "line 1: no BEGIN:VCALENDAR"},
        {"an END of something not open",
         kHead + "END:VJOURNAL\r\n" + kTail,
         {},
         {},
         "line 4: END:VJOURNAL closes no BEGIN:VJOURNAL"},
        {"truncated in a journal",
         kHead + "BEGIN:VJOURNAL\r\nDESCRIPTION:cut",
         {},
         {},
         "BEGIN:VJOURNAL is never closed"},
        {"truncated after the journal",
         kHead + Journal("DESCRIPTION:x\r\n"),
         {},
         {},
         "BEGIN:VCALENDAR is never closed"},
    };
    for (const auto& c : cases) {
        const Calendar read = ical::ReadCalendar(c.text);
        EXPECT_EQ(read.error.substr(0, c.error.size()), c.error) << c.what;
        EXPECT_EQ(read.error.empty(), c.error.empty()) << c.what;
        std::vector<std::string> kinds, texts;
        for (const Component& k : read.components) {
            kinds.push_back(k.kind);
            texts.push_back(k.Text());
        }
        EXPECT_EQ(kinds, c.kinds) << c.what;
        EXPECT_EQ(texts, c.texts) << c.what;
    }
}

// What a calendar may cost: each limit refuses the whole of it.
TEST(IcalReader, Limits) {
    const std::string deep = kHead + "BEGIN:A\r\nBEGIN:B\r\nBEGIN:C\r\nEND:C\r\nEND:B\r\nEND:A\r\n" + kTail;
    const struct {
        const char* what;
        std::string text;
        ical::Limits limits;
        bool refused;
    } cases[] = {
        {"no limits", deep, {}, false},
        {"four deep is the most", deep, {SIZE_MAX, SIZE_MAX, 4}, false},
        {"three deep is too few", deep, {SIZE_MAX, SIZE_MAX, 3}, true},
        {"as many lines as allowed", kHead + kTail, {4, SIZE_MAX, SIZE_MAX}, false},
        {"a line too many", kHead + kTail, {3, SIZE_MAX, SIZE_MAX}, true},
        {"a folded line too long",
         kHead + "X:" + std::string(40, 'a') + "\r\n " + std::string(40, 'a') + "\r\n" + kTail,
         {SIZE_MAX, 80, SIZE_MAX},
         true},
        {"a line as long as allowed",
         kHead + "X:" + std::string(78, 'a') + "\r\n" + kTail,
         {SIZE_MAX, 80, SIZE_MAX},
         false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!ical::ReadCalendar(c.text, c.limits).error.empty(), c.refused) << c.what;
    }
}

// Every form DTSTART comes in, and what names no start.
TEST(IcalReader, StartForms) {
    using ical::StartForm;
    const almanac::Date day = *almanac::MakeDate(2026, 12, 8);
    const std::int64_t midnight = almanac::DayNumber(day) * 86400;
    const struct {
        std::string line;
        std::optional<StartForm> form; // nullopt: no start
        std::int64_t instant = 0;
        std::string why;
    } cases[] = {
        {"DTSTART;VALUE=DATE:20261208", StartForm::kDate, midnight, ""},
        {"DTSTART:20261208", StartForm::kDate, midnight, ""},
        {"DTSTART:20261208T093000", StartForm::kFloating, midnight + 34200, ""},
        {"DTSTART;TZID=\"Asia/Shanghai\":20261208T235959", StartForm::kZoned, midnight + 86399, ""},
        {"DTSTART:20261208T000000Z", StartForm::kUtc, midnight, ""},
        {"DTSTART:20261208T235960Z", StartForm::kUtc, midnight + 86400, ""}, // a leap second
        {"DTSTART:2026120", std::nullopt, 0, "DTSTART 2026120 is no date or date-time"},
        {"DTSTART:20261208X093000", std::nullopt, 0, "DTSTART 20261208X093000 is no date or date-time"},
        {"DTSTART:20260230", std::nullopt, 0, "DTSTART 20260230 is no day"},
        {"DTSTART:00001208", std::nullopt, 0, "DTSTART 00001208 is no day"},
        {"DTSTART:2026-208", std::nullopt, 0, "DTSTART 2026-208 is no day"},
        {"DTSTART:20261208T240000", std::nullopt, 0, "DTSTART 20261208T240000 is no time"},
        {"DTSTART:20261208T236000", std::nullopt, 0, "DTSTART 20261208T236000 is no time"},
        {"DTSTART:20261208T0930+0", std::nullopt, 0, "DTSTART 20261208T0930+0 is no time"},
        {"DTSTART:20261208T093000+", std::nullopt, 0, "DTSTART 20261208T093000+ is no time"},
        {"DTSTART:", std::nullopt, 0, "DTSTART  is no date or date-time"},
    };
    for (const auto& c : cases) {
        const std::vector<ical::Property> p = ical::ReadProperties(c.line);
        ASSERT_EQ(p.size(), 1u);
        std::string why;
        const std::optional<ical::Start> start = ical::ReadStart(p[0], &why);
        ASSERT_EQ(start.has_value(), c.form.has_value()) << c.line;
        EXPECT_EQ(why, c.why) << c.line;
        if (start) {
            EXPECT_EQ(start->form, *c.form) << c.line;
            EXPECT_EQ(start->Instant(), c.instant) << c.line;
            EXPECT_EQ(start->day, day) << c.line;
        }
    }
}

// The bytes beside the text stand while the text shows them, for both readers alike.
TEST(IcalReader, CarriedBytes) {
    using ical::CarriedState;
    const struct {
        std::string lines;
        CarriedState state;
        std::string bytes;
    } cases[] = {
        {"DESCRIPTION:x\r\n", CarriedState::kNone, ""},
        {"DESCRIPTION:bad\xEF\xBF\xBD\r\nX-QUILLIDAR-GBK-HEX:626164ff\r\n", CarriedState::kTaken, "bad\xFF"},
        {"DESCRIPTION:edited\r\nX-QUILLIDAR-GBK-HEX:626164ff\r\n", CarriedState::kStale, ""},
        {"DESCRIPTION:bad\xEF\xBF\xBD\r\nX-QUILLIDAR-GBK-HEX:626164f\r\n", CarriedState::kMalformed, ""},
        {"DESCRIPTION:bad\xEF\xBF\xBD\r\nX-QUILLIDAR-GBK-HEX:62616zff\r\n", CarriedState::kMalformed, ""},
        // No DESCRIPTION: the title that is still the first line keeps all the lines.
        {"SUMMARY:one\r\nX-QUILLIDAR-GBK-HEX:6f6e650a74776f\r\n", CarriedState::kTaken, "one\ntwo"},
        {"SUMMARY:renamed\r\nX-QUILLIDAR-GBK-HEX:6f6e650a74776f\r\n", CarriedState::kStale, ""},
        {"X-QUILLIDAR-GBK-HEX:0a74776f\r\n", CarriedState::kTaken, "\ntwo"},
        {"X-QUILLIDAR-GBK-HEX:6f6e65\r\n", CarriedState::kStale, ""},
    };
    for (const auto& c : cases) {
        const Calendar read = ical::ReadCalendar(kHead + Journal(c.lines) + kTail);
        ASSERT_EQ(read.components.size(), 1u) << c.lines;
        const ical::Carried carried = ical::CarriedBytes(read.components[0]);
        EXPECT_EQ(carried.state, c.state) << c.lines;
        EXPECT_EQ(carried.bytes, c.bytes) << c.lines;
    }
}

// What the layer gives each of its readers where they used to disagree, side by side.
TEST(IcalReader, BothReadersAgree) {
    const struct {
        const char* what;
        std::string lines;
        std::string text; // the notes' bytes both readers file
        SyncDate day;
    } cases[] = {
        {"a title that still shows the bytes keeps the lines the title lost",
         "DTSTART;VALUE=DATE:20261208\r\nSUMMARY:one\r\nX-QUILLIDAR-GBK-HEX:6f6e650d0a74776f\r\n",
         "one\r\ntwo",
         {2026, 12, 8}},
        {"an edited title wins over the bytes",
         "DTSTART;VALUE=DATE:20261208\r\nSUMMARY:new\r\nX-QUILLIDAR-GBK-HEX:6f6e650d0a74776f\r\n",
         "new",
         {2026, 12, 8}},
        {"a UTC time before 1970 with no local day given: the date written",
         "DTSTART:19691231T120000Z\r\nDESCRIPTION:x\r\n",
         "x",
         {1969, 12, 31}},
        {"a zoned time: the date written",
         "DTSTART;TZID=Asia/Shanghai:20261208T235900\r\nDESCRIPTION:x\r\n",
         "x",
         {2026, 12, 8}},
    };
    for (const auto& c : cases) {
        const std::string ics = kHead + Journal("UID:u\r\n" + c.lines) + kTail;
        const ResourceRead sync = ReadCalendarResource(ics);
        ASSERT_EQ(sync.error, "") << c.what;
        ASSERT_EQ(sync.entries.size(), 1u) << c.what;
        EXPECT_EQ(sync.entries[0].text, c.text) << c.what;
        EXPECT_EQ(sync.entries[0].date, c.day) << c.what;
        notes_tool::ImportOptions options;
        options.pivot = c.day.year + 1;
        const notes_tool::Imported tool = notes_tool::ImportIcs(ics, options);
        ASSERT_EQ(tool.error, "") << c.what;
        ASSERT_EQ(tool.entries.size(), 1u) << c.what;
        EXPECT_EQ(tool.entries[0].text, c.text) << c.what;
        EXPECT_EQ(tool.entries[0].key, KeyOfSyncDate(c.day)) << c.what;
    }
}

// Both writers, pinned byte for byte: what lies between DTSTART and END:VJOURNAL is the same in the
// sync's resource and the tool's export.
TEST(IcalWriter, BothWritersPinned) {
    const std::string cjk = "\xC4\xE3\xBA\xC3\xCA\xC0\xBD\xE7"; // four characters in GBK
    std::string longCjk;
    for (int i = 0; i < 7; ++i) {
        longCjk += cjk;
    }
    const struct {
        const char* what;
        std::string note; // the notes' bytes
        std::string body; // SUMMARY to the line before END:VJOURNAL
    } cases[] = {
        {"CJK folded between characters", longCjk,
         "SUMMARY:"
         "\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95"
         "\x8C\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95"
         "\x8C"
         "\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C\xE4\xBD\xA0\xE5\xA5\xBD\r\n"
         " \xE4\xB8\x96\xE7\x95\x8C\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C\r\n"
         "DESCRIPTION:"
         "\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7"
         "\x95\x8C\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7"
         "\x95"
         "\x8C\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C\xE4\xBD\xA0\r\n"
         " \xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C\r\n"},
        {"a long line folded at 75 octets, then 74 after the space", std::string(90, 'x'),
         "SUMMARY:" + std::string(67, 'x') + "\r\n " + std::string(23, 'x') +
             "\r\nDESCRIPTION:" + std::string(63, 'x') + "\r\n " + std::string(27, 'x') + "\r\n"},
        {"a tab kept, a control character and a lone LF carried as hex", "tab\there, \x01 and a lone\nLF",
         "SUMMARY:tab\there\\, \xEF\xBF\xBD and a lone\r\n"
         "DESCRIPTION:tab\there\\, \xEF\xBF\xBD and a lone\\nLF\r\n"
         "X-QUILLIDAR-GBK-HEX:74616209686572652c200120616e642061206c6f6e650a4c46\r\n"},
        {"commas, semicolons, backslashes and a line break", "a, b; c\\ d\r\nnext",
         "SUMMARY:a\\, b\\; c\\\\ d\r\nDESCRIPTION:a\\, b\\; c\\\\ d\\nnext\r\n"},
        {"an empty note", "", "SUMMARY:\r\nDESCRIPTION:\r\n"},
        {"bytes that are no text", "\x81\x30 cut \xFF",
         "SUMMARY:\xEF\xBF\xBD"
         "0 cut \xEF\xBF\xBD\r\n"
         "DESCRIPTION:\xEF\xBF\xBD"
         "0 cut \xEF\xBF\xBD\r\n"
         "X-QUILLIDAR-GBK-HEX:81302063757420ff\r\n"},
    };
    const std::int64_t stamp = 1765186200; // 2025-12-08 09:30:00 UTC
    for (const auto& c : cases) {
        EXPECT_EQ(
            EncodeDayResource({2026, 12, 8}, c.note, stamp),
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quillidar//diary sync//EN\r\nBEGIN:VJOURNAL\r\n"
            "UID:quillidar-day-20261208\r\nDTSTAMP:20251208T093000Z\r\nDTSTART;VALUE=DATE:20261208\r\n" +
                c.body + "END:VJOURNAL\r\nEND:VCALENDAR\r\n")
            << c.what;
        notes_tool::ExportOptions options;
        options.stamp = stamp;
        EXPECT_EQ(
            notes_tool::ExportNotes(notes_tool::Format::kIcs, {{"081226", c.note, {}}}, options),
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quillidar//quillidar-notes//EN\r\nBEGIN:VJOURNAL\r\n"
            "UID:081226@quillidar\r\nDTSTAMP:20251208T093000Z\r\nDTSTART;VALUE=DATE:20261208\r\n" +
                c.body + "END:VJOURNAL\r\nEND:VCALENDAR\r\n")
            << c.what;
    }
}

// The marks each writer adds, and where: the sync's before the text, the tool's key after it.
TEST(IcalWriter, Marks) {
    const std::string resource = EncodeDayResource({2026, 12, 8}, "x", 0, false, "00ff00ff00ff00ff");
    EXPECT_NE(
        resource.find("DTSTART;VALUE=DATE:20261208\r\nX-QUILLIDAR-NEW-DAY:00ff00ff00ff00ff\r\nSUMMARY:x\r\n"),
        std::string::npos);
    const std::string made = EncodeDayResource({2026, 12, 8}, "x", 0, true);
    EXPECT_NE(made.find("X-QUILLIDAR-NEW-DAY:" + NewDayMark("x") + "\r\nSUMMARY:x\r\n"), std::string::npos);
    const std::string undated =
        notes_tool::ExportNotes(notes_tool::Format::kIcs, {{"\xFF\xFE", "x", {}}}, {});
    EXPECT_NE(
        undated.find("UID:\xEF\xBF\xBD\xEF\xBF\xBD@quillidar\r\nDTSTAMP:19700101T000000Z\r\nSUMMARY:x\r\n"
                     "DESCRIPTION:x\r\nX-QUILLIDAR-KEY-GBK-HEX:fffe\r\nEND:VJOURNAL\r\n"),
        std::string::npos);
}

// DTSTAMP of instants far apart, the years kept to four digits.
TEST(IcalWriter, UtcStamp) {
    const std::vector<std::pair<std::int64_t, std::string>> cases = {
        {0, "19700101T000000Z"},
        {-1, "19691231T235959Z"},
        {1765186200, "20251208T093000Z"},
        {253402300799LL, "99991231T235959Z"},
        {-62167219200LL, "00000101T000000Z"},
    };
    for (const auto& [seconds, stamp] : cases) {
        EXPECT_EQ(ical::UtcStamp(seconds), stamp) << seconds;
    }
}

// Random text written and read back, its lines folded again at random points (inside UTF-8
// sequences too, as another program may fold), gives the text back whenever TEXT can carry it, and
// says so when it cannot.
TEST(IcalRoundTrip, RandomNotesThroughRandomFolds) {
    std::mt19937 random(20261208);
    const std::vector<std::string> pieces = {
        "a",  "Z",    " ",  ",",       ";", "\\", ":", "\"", "\r\n", "\t", "\xE9\x9B\xAA", "\xF0\x9F\x98\x80",
        "\n", "\x01", "\r", "\xC3\xA9"};
    for (int round = 0; round < 400; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 120);
        for (int i = 0; i < length; ++i) {
            text += pieces[random() % pieces.size()];
        }
        ical::JournalEntry entry;
        entry.uid = "u," + std::to_string(round);
        entry.stamp = "20261208T000000Z";
        entry.day = almanac::MakeDate(2026, 12, 8);
        entry.text = text;
        const std::string bytes = *text_codec::NotesFromUtf8(text);
        entry.noteBytes = bytes;
        std::string written = ical::CalendarHead("p") + ical::JournalLines(entry) + ical::CalendarTail();
        // Unfold, then fold each line again wherever the dice say.
        std::string refolded;
        for (const ical::Property& p : ical::ReadProperties(written)) {
            std::string line = p.name;
            for (const auto& [name, value] : p.params) {
                line += ";" + name + "=" + value;
            }
            line += ":" + p.value;
            for (std::size_t at = 0; at < line.size();) {
                const std::size_t piece = 1 + random() % 40;
                refolded += at == 0 ? "" : " ";
                refolded.append(line, at, piece);
                refolded += random() % 2 ? "\r\n" : "\n";
                at += piece;
            }
        }
        const Calendar read = ical::ReadCalendar(refolded);
        ASSERT_EQ(read.error, "") << round;
        ASSERT_EQ(read.components.size(), 1u) << round;
        const Component& c = read.components[0];
        EXPECT_EQ(c.uid, entry.uid);
        const bool carried = c.Mark(ical::kBytesHex) != nullptr;
        bool exact = true;
        ical::EscapeText(text, &exact);
        EXPECT_EQ(carried, !exact) << round;
        if (exact) {
            EXPECT_EQ(c.Text(), text) << round;
        } else {
            const ical::Carried back = ical::CarriedBytes(c);
            EXPECT_EQ(back.state, ical::CarriedState::kTaken) << round;
            EXPECT_EQ(back.bytes, bytes) << round;
        }
        ASSERT_TRUE(c.start);
        EXPECT_EQ(ical::ReadStart(*c.start)->day, entry.day);
    }
}

} // namespace
