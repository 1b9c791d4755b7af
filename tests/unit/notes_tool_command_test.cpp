// quillidar-notes' commands end to end over a folder in memory: what each prints, its exit status,
// the files afterwards, and that a failing command writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "fake_file_system.h"
#include "test_bytes.h"
#include "notes_tool/export_formats.h"
#include "notes_tool/lunar_days.h"
#include "notes_tool/tool_commands.h"
#include "notes_tool_helpers.h"

namespace {

using namespace notes_tool;
using namespace std::string_literals;

using Files = std::map<std::string, std::string>;

FsPath PathOf(std::string_view name) {
    return FsPath(name.begin(), name.end());
}

struct Folder {
    FakeFileSystem fs;
    std::set<FsPath> running; // files a running widget holds
    ToolHost host;

    explicit Folder(const Files& files) {
        for (const auto& [name, bytes] : files) {
            fs.files[PathOf(name)] = bytes;
        }
        host.fs = &fs;
        host.pathOf = PathOf;
        host.defaultNotes = L"nts.ini";
        host.defaultNotesName = "nts.ini";
        host.today = {2026, 12, 8};
        host.fixedStamp = 1796724000;
        host.fileStamp = [] { return std::string("20261208-100000"); };
        host.sameFile = [](const FsPath& a, const FsPath& b) { return a == b; };
        host.widgetRunningOn = [this](const FsPath& path) { return running.count(path) > 0; };
    }

    ToolRun Run(const std::vector<std::string>& args) { return RunNotesTool(args, host); }

    Files Now() const {
        Files files;
        for (const auto& [path, bytes] : fs.files) {
            files[std::string(path.begin(), path.end())] = bytes;
        }
        return files;
    }
};

const std::string kSmall = ReadSample("tool/small.nts");
const std::string kCut = ReadSample("e2e_count3_two_entries.bin");
const std::string kTail = ReadSample("e2e_zero_byte_and_tail.bin");

struct Case {
    const char* what;
    Files before;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
    Files after{}; // empty: the files as before
};

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        Folder folder(c.before);
        const ToolRun run = folder.Run(c.args);
        EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.err;
        EXPECT_EQ(run.out, c.out) << c.what;
        EXPECT_EQ(run.err, c.err) << c.what;
        const Files expected = c.after.empty() ? c.before : c.after;
        EXPECT_EQ(folder.Now(), expected) << c.what;
    }
}

TEST(NotesToolCommand, ReadingCommands) {
    const std::string search = Nts({{"010126", "丂 is 81 40\r\nsay a@b"}, {"020126", "雪下了"}});
    RunCases({
        {"list",
         {{"d.nts", Nts({{"081226", "今天下雪了。\r\n第二行"},
                         {"150399", "old"},
                         {"101226", "坏"
                                    "\xFF"
                                    "在"},
                         {"310226", "no such day"}})}},
         {"list", "d.nts", "--pivot", "2027"},
         0,
         U8(u8"2026-12-08\t081226\t20\t今天下雪了。\n1999-03-15\t150399\t3\told\n2026-12-"
            u8"10\t101226\t5\t坏\uFFFD在\n"
            "310226\t310226\t11\tno such day\n"),
         ""},
        {"list takes the widget's file when FILE is left out",
         {{"nts.ini", Nts({{"010126", "a"}})}},
         {"list"},
         0,
         "2026-01-01\t010126\t1\ta\n",
         ""},
        {"a file with bytes after its last entry is listed, with a warning",
         {{"t.nts", kTail}},
         {"list", "t.nts"},
         0,
         "320126\t320126\t2\tab\n330126\t330126\t9\t" + U8(u8"尾巴=tail\n"),
         "quillidar-notes: t.nts: 5 bytes after the last entry are not read; salvage recovers any entries "
         "among them\n"},
        {"show: the first copy, as the window",
         {{"d.nts", kSmall}},
         {"show", "2026-12-08", "d.nts"},
         0,
         U8(u8"今天下雪了。\r\n第二行\t有制表符"),
         ""},
        {"show by key", {{"d.nts", kSmall}}, {"show", "310226", "d.nts"}, 0, "no such day", ""},
        {"show of a day without a note: a script tells it from an empty note",
         {{"d.nts", kSmall}},
         {"show", "2026-12-11", "d.nts"},
         1,
         "",
         "quillidar-notes: d.nts: no note on 2026-12-11\n"},
        {"show of no day",
         {{"d.nts", kSmall}},
         {"show", "2026-02-30", "d.nts"},
         2,
         "",
         "quillidar-notes: DATE \"2026-02-30\" is no day: YYYY-MM-DD, MM-DD, today, yesterday, tomorrow, -N, "
         "a six-digit key or a lunar date (" +
             U8(u8"农历八月十五, 农历2026年闰四月初一") + ")\n"},
        // 丂 is the bytes 81 40, and 40 is '@': characters are compared, not bytes.
        {"search in characters",
         {{"s.nts", search}},
         {"search", "@", "s.nts"},
         0,
         "2026-01-01\t010126\tsay a@b\n",
         ""},
        {"search's regex . is one character",
         {{"s.nts", search}},
         {"search", U8(u8"雪.了"), "s.nts", "--regex"},
         0,
         U8(u8"2026-01-02\t020126\t雪下了\n"),
         ""},
    });
}

TEST(NotesToolCommand, ARegexOverALongLineNeitherCrashesNorStalls) {
    Folder folder({{"long.nts", Nts({{"010126", std::string(200000, 'a') + "\r\nb"}})}});
    const ToolRun run = folder.Run({"search", "--regex", "^(a|b)*$", "long.nts"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out == "2026-01-01\t010126\t" + std::string(200000, 'a') + "\n2026-01-01\t010126\tb\n");
}

TEST(NotesToolCommand, FailuresWriteNothingAndSayOneLine) {
    RunCases({
        {"a damaged file",
         {{"cut.nts", kCut}},
         {"export", "cut.nts", "--format", "json"},
         1,
         "",
         "quillidar-notes: cut.nts: damaged at byte 32: the count says 3 entries but the file ends after 2 "
         "(check "
         "tells more, salvage recovers what is left)\n"},
        {"no such file", {}, {"list", "none.nts"}, 1, "", "quillidar-notes: none.nts: no such file\n"},
        {"the output is the input",
         {{"d.nts", kSmall}},
         {"export", "d.nts", "-o", "d.nts"},
         2,
         "",
         "quillidar-notes: d.nts: is the input file d.nts, which is never written over\n"},
        {"salvage over its input",
         {{"cut.nts", kCut}},
         {"salvage", "cut.nts", "-o", "cut.nts"},
         2,
         "",
         "quillidar-notes: cut.nts: is the input file cut.nts, which is never written over\n"},
        {"an import into the file it reads",
         {{"x.json", "{}"}},
         {"import", "x.json", "--into", "x.json"},
         2,
         "",
         "quillidar-notes: x.json: is the input file x.json, which is never written over\n"},
        {"merge over one of its inputs",
         {{"a.nts", kSmall}, {"b.nts", kSmall}},
         {"merge", "a.nts", "b.nts", "-o", "b.nts"},
         2,
         "",
         "quillidar-notes: b.nts: is the input file b.nts, which is never written over\n"},
        {"--from after --to",
         {{"d.nts", kSmall}},
         {"export", "d.nts", "--from", "2026-12-09", "--to", "2026-12-08"},
         2,
         "",
         "quillidar-notes: --from 2026-12-09 comes after --to 2026-12-08\n"},
        {"an import that is no diary",
         {{"in.json", "{\"format\": \"quillidar-notes\", \"version\": 1, \"notes\": [{}]}"}},
         {"import", "in.json", "--into", "d.nts"},
         1,
         "",
         "quillidar-notes: in.json: note 1: no key and no date\n"},
    });
}

TEST(NotesToolCommand, UsageErrorsNameTheProblemOnOneLine) {
    const struct {
        std::vector<std::string> args;
        const char* start;
    } cases[] = {
        {{"list", "d.nts", "--pivot", "99"}, "quillidar-notes: --pivot: Value 99 not in range 100 to 9999"},
        {{"export", "d.nts", "--format", "xml"},
         "quillidar-notes: --format: xml not in {json,csv,md,txt,ics,html}"},
        {{"frobnicate"}, "quillidar-notes: there is no command frobnicate (see quillidar-notes help)"},
        {{"exprot"},
         "quillidar-notes: there is no command exprot; did you mean export? (see quillidar-notes help)"},
        {{"help", "serach"}, "quillidar-notes: there is no command serach; did you mean search?"},
        {{"export", "d.nts", "-o", "out.pdf"},
         "quillidar-notes: out.pdf: its extension names no format this tool writes (json, csv, md, txt, ics, "
         "html); give --format"},
        {{"export", "d.nts", "-o", "noextension"},
         "quillidar-notes: noextension: its extension names no format"},
        {{"show", "yesterdy", "d.nts"}, "quillidar-notes: DATE \"yesterdy\" is no day"},
        {{"search", "(", "d.nts", "--regex"},
         "quillidar-notes: TEXT is no regular expression this search can run "},
    };
    for (const auto& c : cases) {
        Folder folder({{"d.nts", kSmall}});
        const ToolRun run = folder.Run(c.args);
        EXPECT_EQ(run.status, kExitUsage) << c.start;
        EXPECT_EQ(run.err.rfind(c.start, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(NotesToolCommand, ExportsGoToTheNamedFileInTheFormatItsNameSays) {
    Folder folder({{"d.nts", kSmall}});
    const ToolRun run = folder.Run({"export", "d.nts", "--pivot", "2027", "-o", "out.ics"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(folder.Now().at("out.ics"), ReadSample("tool/small.ics"));
    EXPECT_EQ(folder.Now().size(), 2u);
}

TEST(NotesToolCommand, CheckReportsWhatTheWidgetWouldDo) {
    RunCases({
        {"a whole file",
         {{"w.nts", ReadSample("e2e_wide_tagged.bin")}},
         {"check", "w.nts"},
         0,
         "file: w.nts\nsize: 64 bytes\ncount: 3\nentries: 3\ndistinct keys: 3\nduplicates: 0\nblank texts: "
         "0\n"
         "wide-tagged strings: 2\nunread bytes: 0\nstatus: loads\nofficial holidays: 2007 to 2026\n",
         ""},
        {"duplicates and unread bytes",
         {{"t.nts", Nts({{"010126", "a"}, {"010126", " "}}) + "xyz"}},
         {"check", "t.nts"},
         0,
         "file: t.nts\nsize: 25 bytes\ncount: 2\nentries: 2\ndistinct keys: 1\nduplicates: 1\nblank texts: "
         "1\n"
         "wide-tagged strings: 0\nunread bytes: 3\nstatus: loads, but the widget copies the file aside "
         "before its "
         "next save, for the bytes it does not read\nofficial holidays: 2007 to 2026\n",
         ""},
        {"a damaged file",
         {{"cut.nts", kCut}},
         {"check", "cut.nts"},
         1,
         "file: cut.nts\nsize: 32 bytes\ncount: 3\nentries: 2 (before the damage)\ndistinct keys: "
         "2\nduplicates: 0\n"
         "blank texts: 0\nwide-tagged strings: 0\nstatus: damaged at byte 32: the count says 3 entries but "
         "the file "
         "ends after 2\n",
         "quillidar-notes: cut.nts: damaged at byte 32: the count says 3 entries but the file ends after "
         "2\n"},
    });
}

TEST(NotesToolCommand, CheckListsWhatTheWidgetKeepsAsideAndWhatOfItTheDiaryLacks) {
    Folder folder({{"d.nts", Nts({{"010126", "same"}})},
                   {"S\\kept-20261208-100000-nts.ini", Nts({{"010126", "same"}, {"020126", "only here"}})},
                   {"S\\legacy-nts-20261201.ini", Nts({{"010126", "same"}})},
                   {"S\\nts.ini.unreadable-20261208-100000", "\x05\x00"}});
    folder.host.keptFolders = [](const FsPath&) { return std::vector<FsPath>{L"S\\"}; };
    const ToolRun run = folder.Run({"check", "d.nts"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("kept aside: S\\kept-20261208-100000-nts.ini: 1 notes the diary lacks\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("kept aside: S\\legacy-nts-20261201.ini: 0 notes the diary lacks\n"),
              std::string::npos);
    EXPECT_NE(run.out.find("S\\nts.ini.unreadable-20261208-100000: not readable"), std::string::npos);
}

TEST(NotesToolCommand, SalvageWritesWhatCanBeRecovered) {
    const std::string a = WrittenEntry("010126", "first");
    const std::string c = WrittenEntry("030126", "third");
    const std::string damaged = Int32(3) + a +
                                "\x06"
                                "020126"
                                "\x60"
                                "second" +
                                c;
    RunCases(
        {{"damaged",
          {{"x.nts", damaged}},
          {"salvage", "x.nts", "-o", "y.nts"},
          0,
          "x.nts: 1 entry before the damage at byte 24 (the text of entry 2 needs 96 bytes but only 19 are "
          "left), 1 more found after it, 14 bytes skipped\ny.nts: 2 entries written\n",
          "",
          {{"x.nts", damaged}, {"y.nts", Int32(2) + a + c}}}});
}

TEST(NotesToolCommand, ImportFilesIntoTheDiaryAndKeepsADamagedOneAside) {
    const std::string json = R"({"format": "quillidar-notes", "version": 1, "notes": [
        {"key": "010126", "text": "new"}, {"key": "020126", "text": "b"}]})";
    const std::string target = Nts({{"010126", "old"}, {"020126", "b"}});
    RunCases({
        {"append into the widget's file",
         {{"in.json", json}, {"nts.ini", target}},
         {"import", "in.json", "--on-conflict", "append"},
         0,
         "nts.ini: 0 added, 0 replaced, 1 appended, 0 kept, 0 deleted, 1 unchanged, 0 blank\n",
         "",
         {{"in.json", json}, {"nts.ini", Nts({{"020126", "b"}, {"010126", "old\r\n----\r\nnew"}})}}},
        {"keep changes nothing and writes nothing",
         {{"in.json", json}, {"nts.ini", target}},
         {"import", "in.json"},
         0,
         "nts.ini: 0 added, 0 replaced, 0 appended, 1 kept, 0 deleted, 1 unchanged, 0 blank; nothing "
         "changed, the "
         "file is left as it was\n",
         ""},
        {"a missing target is created",
         {{"in.json", json}},
         {"import", "in.json", "--into", "new.nts"},
         0,
         "new.nts: 2 entries restored into an empty diary\n",
         "",
         {{"in.json", json}, {"new.nts", Nts({{"010126", "new"}, {"020126", "b"}})}}},
        {"a damaged target is copied aside first",
         {{"in.json", json}, {"cut.nts", kCut}},
         {"import", "in.json", "--into", "cut.nts"},
         0,
         "cut.nts: 2 added, 0 replaced, 0 appended, 0 kept, 0 deleted, 0 unchanged, 0 blank\n"
         "cut.nts: the old file was damaged at byte 32 (the count says 3 entries but the file ends after 2); "
         "it is "
         "kept as cut.nts.unreadable-20261208-100000\n",
         "",
         {{"in.json", json},
          {"cut.nts.unreadable-20261208-100000", kCut},
          {"cut.nts",
           Nts({{"320126", "第一条"}, {"330126", "second"}, {"010126", "new"}, {"020126", "b"}})}}},
    });
}

TEST(NotesToolCommand, NothingIsWrittenWhereItWouldBeLost) {
    const std::string json =
        R"({"format": "quillidar-notes", "version": 1, "notes": [{"key": "010126", "text": "n"}]})";
    const Files before = {{"in.json", json}, {"nts.ini", Nts({{"020126", "b"}})}};
    {
        Folder folder(before);
        folder.running.insert(L"nts.ini");
        const ToolRun run = folder.Run({"import", "in.json"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err,
                  "quillidar-notes: nts.ini: Quillidar is running on this diary and would save over it when "
                  "closed; close it first\n");
        EXPECT_EQ(folder.Now(), before);
    }
    {
        Folder folder(before);
        folder.fs.SetCapacity(json.size() + 10);
        const ToolRun run = folder.Run({"import", "in.json"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "quillidar-notes: nts.ini: cannot be written: the disk is full\n");
        EXPECT_EQ(folder.Now(), before) << "no new file left behind";
    }
    {
        Folder folder(before);
        folder.fs.HoldOpen(L"nts.ini");
        const ToolRun run = folder.Run({"import", "in.json"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "quillidar-notes: nts.ini: another program holds it\n");
        EXPECT_EQ(folder.Now(), before);
    }
}

// The copy aside of a diary the widget could not read whole takes the first name not yet taken,
// and the message names the file that holds the old bytes.
TEST(NotesToolCommand, TheCopyAsideIsTheFileTheMessageNames) {
    const std::string stamp = "t.nts.unreadable-20261208-100000";
    for (const int taken : {0, 1, 2}) {
        Files before = {{"t.nts", kTail}};
        for (int n = 1; n <= taken; ++n) {
            before[stamp + (n == 1 ? "" : "-" + std::to_string(n))] = "earlier";
        }
        const std::string aside = stamp + (taken == 0 ? "" : "-" + std::to_string(taken + 1));
        Folder folder(before);
        const ToolRun run = folder.Run({"add", "2026-12-08", "hi", "--into", "t.nts"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("; it is kept as " + aside + "\n"), std::string::npos) << run.out;
        EXPECT_EQ(folder.Now()[aside], kTail) << taken;
    }
}

TEST(NotesToolCommand, MergeIsTheUnionOfTwoDiaries) {
    const std::string a = Nts({{"010126", "a"}, {"020126", "home"}});
    const std::string b = Nts({{"020126", "work"}, {"030126", "c"}});
    RunCases(
        {{"replace",
          {{"a.nts", a}, {"b.nts", b}},
          {"merge", "a.nts", "b.nts", "-o", "m.nts", "--on-conflict", "replace"},
          0,
          "m.nts: 2 entries of a.nts, and from b.nts: 1 added, 1 replaced, 0 appended, 0 kept, 0 deleted, 0 "
          "unchanged, 0 blank\n",
          "",
          {{"a.nts", a},
           {"b.nts", b},
           {"m.nts", Nts({{"010126", "a"}, {"020126", "work"}, {"030126", "c"}})}}}});
}

TEST(NotesToolCommand, NewCommandsAndWhatScriptsRelyOn) {
    const std::string day = Nts({{"081226", "old"}});
    const std::string json = ReadSample("tool/small.json");
    // A diary holding a wide string and a second copy of a key: writing it again would store it
    // otherwise, so an import that files nothing must leave its bytes alone.
    const std::string odd = ReadSample("tool/small.nts");
    const std::string sep = kAppendSeparator;
    RunCases({
        {"add appends a part to the day's note",
         {{"d.nts", day}},
         {"add", "today", "new", "--into", "d.nts"},
         0,
         "d.nts: a part added to the note of 2026-12-08\n",
         "",
         {{"d.nts", Nts({{"081226", "old" + sep + "new"}})}}},
        {"add starts a new day's note, a line break as CR LF",
         {{"d.nts", day}},
         {"add", "-1", "a\nb", "--into", "d.nts"},
         0,
         "d.nts: a note added on 2026-12-07\n",
         "",
         {{"d.nts", Nts({{"081226", "old"}, {"071226", "a\r\nb"}})}}},
        {"add of a blank text",
         {{"d.nts", day}},
         {"add", "today", " ", "--into", "d.nts"},
         2,
         "",
         "quillidar-notes: TEXT is blank: add files no blank part (edit deletes a note)\n"},
        {"show takes the days people say", {{"d.nts", day}}, {"show", "12-08", "d.nts"}, 0, "old", ""},
        {"list quotes a first line that holds a tab or a control character",
         {{"d.nts", Nts({{"081226", "a\tb\x01"}, {"091226", "\"q"}})}},
         {"list", "d.nts"},
         0,
         "2026-12-08\t081226\t4\t\"a\\tb\\u0001\"\n2026-12-09\t091226\t2\t\"\\\"q\"\n",
         ""},
        {"search quotes the same way",
         {{"d.nts", Nts({{"081226", "x\ty\r\nz"}})}},
         {"search", "x", "d.nts"},
         0,
         "2026-12-08\t081226\t\"x\\ty\"\n",
         ""},
        {"an import that files nothing leaves an oddly stored diary as it is",
         {{"in.json", json}, {"d.nts", odd}},
         {"import", "in.json", "--into", "d.nts"},
         0,
         "d.nts: 0 added, 0 replaced, 0 appended, 1 kept, 0 deleted, 6 unchanged, 0 blank; nothing changed, "
         "the "
         "file is left as it was\n",
         ""},
        {"an import of what is neither json, csv nor ics",
         {{"notes.md", "# diary\r\n"}, {"d.nts", day}},
         {"import", "notes.md", "--into", "d.nts"},
         2,
         "",
         "quillidar-notes: notes.md: is neither json, csv nor ics: only those can be imported\n"},
        {"salvage of bytes that are no diary writes nothing",
         {{"junk.bin", "PK\x03\x04 this is no diary, only some text with 123456 digits in it"}},
         {"salvage", "junk.bin", "-o", "out.nts"},
         1,
         "",
         "quillidar-notes: junk.bin: does not look like a notes file: no entry reads from its start, and no "
         "entry "
         "was found in it; nothing is written (--force writes what was found)\n"},
        {"stats",
         {{"d.nts", Nts({{"071226", "今天 two words"},
                         {"081226", "x"},
                         {"011126", " "},
                         {"310226", "z"},
                         {"311226", "a b"}})}},
         {"stats", "d.nts"},
         0,
         "period\tnotes\twords\tcharacters\n2026\t3\t7\t16\n2026-12\t3\t7\t16\nall\t3\t7\t16\n"
         "longest streak: 2 days, 2026-12-07 to 2026-12-08\nnot counted: 1 note of no calendar day\n",
         ""},
    });
}

TEST(NotesToolCommand, StreamsAndTheUsage) {
    {
        Folder folder({{"d.nts", kSmall}});
        std::string streamed;
        folder.host.writeOut = [&](std::string_view piece) { streamed += piece; };
        const ToolRun run = folder.Run({"export", "d.nts", "--pivot", "2027", "-o", "-"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(streamed, ReadSample("tool/small.json"));
    }
    {
        Folder folder({{"d.nts", kSmall}});
        const ToolRun run = folder.Run({"export", "d.nts", "--pivot", "2027", "-o", "OUT.ICS"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(folder.Now().at("OUT.ICS"), ReadSample("tool/small.ics"));
        EXPECT_EQ(folder.Now().size(), 2u) << "nothing left beside it";
    }
    {
        std::istringstream in(ReadSample("tool/small.csv"));
        Folder folder({});
        folder.host.standardInput = &in;
        const ToolRun run = folder.Run({"import", "-", "--into", "new.nts"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(folder.Now().at("new.nts"), kSmall);
    }
    {
        Folder folder({{"d.nts", Nts({{"081226", "old"}})}});
        folder.running.insert(L"d.nts");
        const ToolRun run = folder.Run({"add", "today", "x", "--into", "d.nts"});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("Quillidar is running on this diary"), std::string::npos);
    }
    {
        Folder folder({{"d.nts", Nts({{"081226", "old"}})}});
        folder.host.editText = [](std::string& text, std::string&) {
            text += "\nmore\n"; // an editor's line end at the end of the file
            return true;
        };
        const ToolRun run = folder.Run({"edit", "2026-12-08", "--into", "d.nts"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(folder.Now().at("d.nts"), Nts({{"081226", "old\r\nmore"}}));
    }
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"help"}, {"help", "export"}}) {
        Folder folder({});
        const ToolRun run = folder.Run(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find("Usage: "), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("--from") != std::string::npos, args.size() == 2) << run.out << run.err;
    }
}

// ---- the Chinese calendar

TEST(NotesToolLunar, LunarDatesOnTheCommandLine) {
    const Date today{2026, 12, 8}; // 丙午年十月三十
    const struct {
        std::string text;
        std::optional<Date> words, digits;
    } cases[] = {
        {U8(u8"农历八月十五"), Date{2026, 9, 25}, std::nullopt},
        {U8(u8"农历正月初一"), Date{2026, 2, 17}, std::nullopt}, // this lunar year's, though past
        {U8(u8"农历腊月廿九"), Date{2027, 2, 5}, std::nullopt},
        {U8(u8"农历十二月廿九"), Date{2027, 2, 5}, std::nullopt},
        {U8(u8"农历2033年闰冬月初一"), Date{2033, 12, 22}, std::nullopt},
        {U8(u8"农历2033年闰十一月初一"), Date{2033, 12, 22}, std::nullopt},
        {U8(u8"农历2027年正月初一"), Date{2027, 2, 6}, std::nullopt},
        {U8(u8"农历2026年闰四月初一"), std::nullopt, std::nullopt}, // 2026 has no leap month
        {U8(u8"农历2026年腊月三十"), std::nullopt, std::nullopt},   // a 29-day month
        {U8(u8"农历八月三十一"), std::nullopt, std::nullopt},
        {U8(u8"农历1900年正月初一"), std::nullopt, std::nullopt},
        {U8(u8"八月十五"), std::nullopt, std::nullopt},
        {"2026-08-15", std::nullopt, Date{2026, 9, 25}},
        {"2033-L11-01", std::nullopt, Date{2033, 12, 22}},
        {U8(u8"2033-闰11-01"), std::nullopt, Date{2033, 12, 22}},
        {"2033-11-01", std::nullopt, Date{2033, 11, 22}},
        {"2026-L04-01", std::nullopt, std::nullopt},
        {"2026-8-15", std::nullopt, std::nullopt},
        {"2026-08-31", std::nullopt, std::nullopt},
        {"2101-01-01", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseLunarWords(c.text, today), c.words) << c.text;
        EXPECT_EQ(ParseLunarDigits(c.text), c.digits) << c.text;
    }
}

TEST(NotesToolLunar, CalPrintsTheMonthWithItsMarks) {
    Folder folder({{"d.nts", Nts({{"170226", "new year"}, {"180226", " "}})}});
    const ToolRun run = folder.Run({"cal", "2026-02", "d.nts"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string want = U8(u8"2026-02  乙巳年 蛇\n"
                                u8" 一      二      三      四      五      六      日\n"
                                u8"                                                 1\n"
                                u8"                                                十四\n"
                                u8" 2       3       4       5       6       7       8\n"
                                u8"十五    十六    立春    十八    十九    二十    廿一\n"
                                u8" 9      10      11      12      13      14 班   15 休\n"
                                u8"廿二    小年    廿四    廿五    廿六    情人节  廿八\n"
                                u8"16 休   17*休   18 休   19 休   20 休   21 休   22 休\n"
                                u8"除夕    春节    雨水    初三    初四    初五    初六\n"
                                u8"23 休   24      25      26      27      28 班\n"
                                u8"初七    初八    初九    初十    十一    十二\n");
    EXPECT_EQ(run.out, want) << run.out;
    // A lone argument that is no month is the file; a month out of range is refused.
    EXPECT_EQ(folder.Run({"cal", "d.nts"}).status, 0);
    EXPECT_NE(folder.Run({"cal", "d.nts"}).out.find("2026-12"), std::string::npos);
    EXPECT_EQ(folder.Run({"cal", "2026-13", "d.nts"}).status, 2);
}

TEST(NotesToolLunar, ShowAndListTakeLunar) {
    Folder folder({{"d.nts", Nts({{"250926", "moon"}, {"221233", "leap"}})}});
    ToolRun run = folder.Run({"show", "--lunar", "2026-08-15", "d.nts"});
    EXPECT_EQ(run.out, U8(u8"2026-09-25 农历八月十五 中秋 休\nmoon")) << run.err;
    run = folder.Run({"show", U8(u8"农历八月十五"), "d.nts"});
    EXPECT_EQ(run.out, "moon") << run.err;
    run = folder.Run({"show", "--lunar", "2033-L11-01", "--pivot", "2099", "d.nts"});
    EXPECT_EQ(run.out, U8(u8"2033-12-22 农历闰冬月初一\nleap")) << run.err;
    run = folder.Run({"show", "--lunar", "2026-L04-01", "d.nts"});
    EXPECT_EQ(run.status, 2);
    run = folder.Run({"list", "--lunar", "d.nts"});
    EXPECT_EQ(run.out, U8(u8"2026-09-25\t250926\t4\tmoon\t农历八月十五 中秋 休\n"
                          u8"1933-12-22\t221233\t4\tleap\t农历冬月初六 冬至\n"))
        << run.err;
}

TEST(NotesToolLunar, CheckNamesAFaultyHolidaysFileAndTheMarksStayBuiltIn) {
    const std::string good = "quillidar-holidays 1\nyear 2027\n2027-01-01 rest newyear\n";
    const std::string bad = "quillidar-holidays 1\nyear 2027\n2027-01-04 work newyear\n";
    for (const std::string& file : {good, bad}) {
        Folder folder({{"d.nts", Nts({{"010127", "x"}})}, {"S\\holidays.txt", file}});
        folder.host.keptFolders = [](const FsPath&) { return std::vector<FsPath>{L"S\\"}; };
        const ToolRun check = folder.Run({"check", "d.nts"});
        EXPECT_EQ(check.status, 0) << check.err;
        const bool faulty = file == bad;
        EXPECT_EQ(check.out.find("holidays file: holidays.txt:3: a make-up working day") != std::string::npos,
                  faulty)
            << check.out;
        EXPECT_NE(check.out.find(faulty ? "official holidays: 2007 to 2026\n"
                                        : "official holidays: 2007 to 2027\n"),
                  std::string::npos)
            << check.out;
        const ToolRun list = folder.Run({"list", "--lunar", "d.nts", "--pivot", "2027"});
        EXPECT_EQ(list.out.find(U8(u8"元旦 休")) != std::string::npos, !faulty) << list.out;
    }
}

} // namespace
