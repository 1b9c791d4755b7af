// The diary's keeper: the journal's bytes, the rules that apply it, the start's choice of source by
// generation and content, and the save's copies (the model of many runs is in
// safety_keeper_model_test.cpp).
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <set>

#include "diary/note_join.h"
#include "diary/notes_file.h"
#include "safety/safety_store.h"
#include "fake_file_system.h"
#include "keeper_places.h"
#include "safety/content_hash.h"
#include "safety/diary_keeper.h"
#include "safety/edit_journal.h"
#include "safety/manifest.h"

namespace {

std::string Diary(std::initializer_list<std::pair<const char*, const char*>> notes) {
    NoteMap map;
    for (const auto& [key, text] : notes)
        map.SetNote(key, text);
    return EncodeNotes(map);
}

JournalRecord Edit(const char* key, const char* base, const char* text) {
    JournalRecord record;
    record.key = key;
    record.base = NoteBaseHash(base);
    record.text = text;
    return record;
}

JournalFile Journal(std::uint64_t id, std::vector<JournalRecord> records,
                    std::vector<std::uint64_t> follows = {}) {
    JournalFile file;
    file.valid = true;
    file.header.id = id;
    file.header.follows = std::move(follows);
    file.records = std::move(records);
    return file;
}

TEST(EditJournalBytes, EveryCutReadsAWholePrefixAndEveryFlippedByteCostsOnlyItsRecord) {
    JournalHeader header{7, 99, 1234, 55, {1, 2}};
    std::string bytes = EncodeJournalStart(header);
    std::vector<std::size_t> ends;
    std::vector<JournalRecord> records = {Edit("081226", "", "今天"), Edit("081226", "今天", ""),
                                          Edit("010100", "x", std::string(300, 'a').c_str())};
    JournalRecord saved;
    saved.kind = JournalRecordKind::kSaved;
    saved.generation = 9;
    saved.savedHash = 77;
    records.push_back(saved);
    for (const JournalRecord& record : records) {
        bytes += EncodeJournalRecord(record);
        ends.push_back(bytes.size());
    }
    const JournalFile whole = DecodeJournal(bytes);
    ASSERT_TRUE(whole.valid);
    EXPECT_EQ(whole.header.follows, header.follows);
    ASSERT_EQ(whole.records.size(), records.size());
    EXPECT_EQ(whole.records[2].text, records[2].text);
    EXPECT_EQ(whole.records[3].generation, 9u);
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        const JournalFile part = DecodeJournal(bytes.substr(0, cut));
        const std::size_t whole_records = static_cast<std::size_t>(
            std::count_if(ends.begin(), ends.end(), [&](std::size_t e) { return e <= cut; }));
        EXPECT_EQ(part.records.size(), part.valid ? whole_records : 0u) << cut;
    }
    const std::size_t headerEnd = EncodeJournalStart(header).size();
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        const JournalFile read = DecodeJournal(damaged);
        EXPECT_TRUE(read.damaged || at < 8) << at;
        if (at < headerEnd) {
            EXPECT_FALSE(read.valid) << at;
            continue;
        }
        // The damaged record alone is lost, wherever in it the bit was; the others all stand.
        const std::size_t hit = static_cast<std::size_t>(
            std::count_if(ends.begin(), ends.end(), [&](std::size_t e) { return e <= at; }));
        ASSERT_EQ(read.records.size(), records.size() - 1) << at;
        for (std::size_t i = 0; i + 1 < records.size(); ++i)
            EXPECT_EQ(read.records[i].kind, records[i < hit ? i : i + 1].kind) << at;
    }
}

TEST(EditJournalBytes, AHitLengthHidesNoWholeRecordAfterIt) {
    const std::string start = EncodeJournalStart(JournalHeader{7, 99, 1234, 55, {}});
    std::vector<std::string> frames;
    for (const char* text : {"first", "second", "third", "fourth"})
        frames.push_back(EncodeJournalRecord(Edit("081226", "", text)));
    std::string bytes = start;
    for (const std::string& frame : frames)
        bytes += frame;
    // The first record's length made to lead to the file's very end, or to the third record's start.
    for (const std::size_t leadsTo : {bytes.size(), start.size() + frames[0].size() + frames[1].size()}) {
        std::string damaged = bytes;
        const std::uint32_t size = static_cast<std::uint32_t>(leadsTo - start.size() - 8);
        for (int i = 0; i < 4; ++i)
            damaged[start.size() + static_cast<std::size_t>(i)] = static_cast<char>((size >> (8 * i)) & 0xFF);
        const JournalFile read = DecodeJournal(damaged);
        EXPECT_TRUE(read.damaged);
        ASSERT_EQ(read.records.size(), 3u) << leadsTo;
        EXPECT_EQ(read.records[0].text, "second") << leadsTo;
    }
}

TEST(EditJournalRules, AnEditTakesItsDayOnlyWhereTheDayStillHoldsWhatItReplaced) {
    const std::string joined = JoinNoteParts("changed elsewhere", "typed");
    struct Case {
        const char* name;
        const char* diary; // the day's note in the diary read, "" for none
        std::vector<JournalRecord> records;
        const char* expected;
        int applied, joinedCount, kept;
    } cases[] = {
        {"base still there", "old", {Edit("k", "old", "typed")}, "typed", 1, 0, 0},
        {"already holds it", "typed", {Edit("k", "old", "typed")}, "typed", 0, 0, 0},
        {"changed elsewhere", "changed elsewhere", {Edit("k", "old", "typed")}, joined.c_str(), 0, 1, 0},
        {"holds a text typed on the way",
         "t1",
         {Edit("k", "old", "t1"), Edit("k", "t1", "t2")},
         "t2",
         1,
         0,
         0},
        {"a new day", "", {Edit("k", "", "typed")}, "typed", 1, 0, 0},
        {"deleted on purpose", "old", {Edit("k", "old", "  \r\n")}, "", 1, 0, 0},
        {"deletion of a day changed since", "newer", {Edit("k", "old", "")}, "newer", 0, 0, 1},
        {"deleted elsewhere, typed here", "", {Edit("k", "old", "typed")}, "typed", 1, 0, 0},
        {"joined already", joined.c_str(), {Edit("k", "old", "typed")}, joined.c_str(), 0, 0, 0},
        {"blank counts as none", " ", {Edit("k", "", "typed")}, "typed", 1, 0, 0},
    };
    for (const Case& c : cases) {
        NoteMap notes;
        if (*c.diary)
            notes.SetNote("k", c.diary);
        const JournalApplyReport report = ApplyJournals({Journal(1, c.records)}, notes, 0);
        EXPECT_EQ(notes.GetNote("k"), c.expected) << c.name;
        EXPECT_EQ(report.applied, c.applied) << c.name;
        EXPECT_EQ(report.joined, c.joinedCount) << c.name;
        EXPECT_EQ(report.kept, c.kept) << c.name;
    }
}

TEST(EditJournalRules, JournalsApplyAfterThoseTheyFollowAndSkipWhatASaveOfTheReadFileHeld) {
    // The second run took the first one's journal in at its start: its edit is based on that text.
    const JournalFile first = Journal(900, {Edit("k", "", "first run")});
    const JournalFile second = Journal(100, {Edit("k", "first run", "second run")}, {900});
    for (const bool reversed : {false, true}) {
        NoteMap notes;
        ApplyJournals(reversed ? std::vector{second, first} : std::vector{first, second}, notes, 0);
        EXPECT_EQ(notes.GetNote("k"), "second run") << reversed;
    }
    // Edits before a marker of the very file read are in it; of another file, they count by content.
    JournalRecord marker;
    marker.kind = JournalRecordKind::kSaved;
    marker.savedHash = 42;
    const JournalFile saved = Journal(1, {Edit("k", "", "old text"), marker});
    for (const std::uint64_t loaded : {42u, 43u}) {
        NoteMap notes;
        notes.SetNote("k", "typed later");
        ApplyJournals({saved}, notes, loaded);
        EXPECT_EQ(notes.GetNote("k"),
                  loaded == 42 ? "typed later" : JoinNoteParts("typed later", "old text"));
    }
}

// A journal that could be neither marked nor removed (a read-only folder) is vouched for by the
// journal that follows it and marks the save: a deletion typed since is not undone.
TEST(EditJournalRules, AJournalFollowedByOneThatMarksTheReadSaveIsNotAppliedAgain) {
    JournalRecord marker;
    marker.kind = JournalRecordKind::kSaved;
    marker.savedHash = 42;
    const JournalFile unmarked = Journal(900, {Edit("k", "", "typed then deleted")});
    const JournalFile marking = Journal(100, {marker}, {900});
    for (const std::uint64_t loaded : {42u, 43u}) {
        NoteMap notes;
        ApplyJournals({unmarked, marking}, notes, loaded);
        EXPECT_EQ(notes.GetNote("k"), loaded == 42 ? "" : "typed then deleted") << loaded;
    }
}

TEST(EditJournalWriter, AFailedWriteStartsASegmentThatFollowsTheDamagedOne) {
    FakeFileSystem fs;
    NoteMap notes;
    notes.SetNote("k", "saved");
    EditJournal journal(fs, L"S\\", JournalHeader{1, 2, 3, 4, {}});
    ASSERT_TRUE(journal.Record("k", "one", notes));
    fs.KillAfter(1); // the next write is cut in half
    EXPECT_FALSE(journal.Record("k", "two", notes));
    fs.Revive();
    ASSERT_TRUE(journal.Record("k", "three", notes));
    ASSERT_EQ(journal.Files().size(), 2u);
    std::vector<JournalFile> read;
    for (const FsPath& path : journal.Files())
        read.push_back(DecodeJournal(fs.files[path]));
    EXPECT_EQ(read[0].records.size(), 1u);
    EXPECT_EQ(read[1].header.follows, std::vector<std::uint64_t>{read[0].header.id});
    ApplyJournals({read[1], read[0]}, notes, 0);
    EXPECT_EQ(notes.GetNote("k"), "three");
}

TEST(EditJournalWriter, AJournalOfLongTypingStaysTheSizeOfTheNotesTyped) {
    FakeFileSystem fs;
    NoteMap notes;
    notes.SetNote("a", "saved a");
    EditJournal journal(fs, L"S\\", JournalHeader{1, 2, 3, 4, {}});
    journal.SetFollows({77});
    std::string text;
    for (int i = 0; i < 1500; ++i) {
        text = std::string(2000, char('a' + i % 26)) + std::to_string(i);
        ASSERT_TRUE(journal.Record(i % 3 ? "a" : "b", text, notes)) << i;
    }
    ASSERT_EQ(journal.Files().size(), 1u);
    const std::string& bytes = fs.files[journal.Files().front()];
    EXPECT_LT(bytes.size(), EditJournal::kCompactBytes + 8192);
    const JournalFile read = DecodeJournal(bytes);
    EXPECT_EQ(read.header.follows, std::vector<std::uint64_t>{77});
    ApplyJournals({read}, notes, 0);
    EXPECT_EQ(notes.GetNote("a"), std::string(2000, char('a' + 1499 % 26)) + "1499");
    EXPECT_EQ(notes.GetNote("b"), std::string(2000, char('a' + 1497 % 26)) + "1497");
}

// Settles a save's manifest and copies by hand, as a run of this version would have left them.
void Saved(FakeFileSystem& fs, const FsPath& folder, std::uint64_t generation,
           std::vector<std::pair<FsPath, std::string>> copies) {
    Manifest manifest;
    manifest.folder = PlaceOf(L'A').identity;
    manifest.generation = generation;
    for (auto& [name, bytes] : copies) {
        fs.files[folder + name] = bytes;
        manifest.SetCopy({name, generation--, bytes.size(), ContentHash(bytes)});
    }
    manifest.hash = manifest.copies.empty() ? 0 : manifest.copies.front().hash;
    fs.files[folder + kManifestName] = EncodeManifest(manifest);
}

TEST(DiaryKeeperStart, TheLatestSaveWinsByGenerationAndContentNeverByNameOrTime) {
    const FsPath folder = DiaryFolderUnder(kRoots[0], DiaryTag(PlaceOf(L'A').identity));
    const std::string latest = Diary({{"081226", "latest"}});
    const std::string older = Diary({{"011226", "older"}});
    struct Case {
        const char* name;
        std::function<void(FakeFileSystem&)> arrange;
        const char* expectedDay;
        const char* expectedText;
    } cases[] = {
        {"the temporary file first",
         [&](FakeFileSystem& fs) {
             fs.files[L"A\\nts.ini"] = Diary({{"020202", "temp"}});
             Saved(fs, folder, 5, {{L"nts.ini", latest}});
         },
         "020202", "temp"},
        {"a dated copy from the future written by an earlier save",
         [&](FakeFileSystem& fs) {
             Saved(fs, folder, 9, {{L"nts-20261208.ini", latest}, {L"nts-20990101.ini", older}});
         },
         "081226", "latest"},
        {"the safety copy truncated in place",
         [&](FakeFileSystem& fs) {
             Saved(fs, folder, 9, {{L"nts.ini", latest}, {L"nts-20261208.ini", latest}});
             fs.files[folder + L"nts.ini"].resize(9);
         },
         "081226", "latest"},
        {"the safety copy rewritten with an older diary",
         [&](FakeFileSystem& fs) {
             Saved(fs, folder, 9, {{L"nts-20261208.ini", latest}, {L"nts.ini", latest}});
             fs.files[folder + L"nts.ini"] = older;
         },
         "081226", "latest"},
        {"no manifest: the largest copy",
         [&](FakeFileSystem& fs) {
             fs.files[folder + L"nts-20990101.ini"] = older;
             fs.files[folder + L"nts-20200101.ini"] = Diary({{"081226", "latest"}, {"091226", "more"}});
         },
         "081226", "latest"},
    };
    for (const Case& c : cases) {
        FakeFileSystem fs;
        c.arrange(fs);
        DiaryKeeper keeper(fs, PlaceOf(L'A'), {1, 1});
        NoteMap notes;
        const StartReport report = keeper.Start(notes, {});
        EXPECT_TRUE(report.HasDiary()) << c.name;
        EXPECT_EQ(notes.GetNote(c.expectedDay), c.expectedText) << c.name;
    }
}

TEST(DiaryKeeperStart, EachDiaryHasItsOwnFolderAndTheFirstTakesOverWhatOlderVersionsLeft) {
    FakeFileSystem fs;
    fs.files[kRoots[0] + L"nts.ini"] = Diary({{"010101", "shared copy"}});
    fs.files[kRoots[0] + JournalName({5, 6})] =
        Diary({{"010101", "shared copy"}, {"020101", "crashed typing"}});
    fs.files[kRoots[0] + L"kept-journal-1-2.nts"] = Diary({{"030101", "kept"}});
    fs.files[L"B\\nts.ini"] = Diary({{"090909", "b's own"}});
    NoteMap a, b;
    DiaryKeeper keeperA(fs, PlaceOf(L'A'), {1, 1});
    EXPECT_EQ(keeperA.Start(a, {}).legacyTaken, 3);
    EXPECT_EQ(a.GetNote("010101"), "shared copy");
    EXPECT_EQ(a.GetNote("020101"), "crashed typing");
    DiaryKeeper keeperB(fs, PlaceOf(L'B'), {2, 2});
    keeperB.Start(b, {});
    EXPECT_EQ(b.size(), 1u);
    EXPECT_NE(keeperA.Folder(), keeperB.Folder());
    // A's typing in its journal never reaches B.
    ASSERT_TRUE(keeperA.Record("050505", "a typed", a));
    NoteMap b2;
    DiaryKeeper(fs, PlaceOf(L'B'), {3, 3}).Start(b2, {});
    EXPECT_TRUE(b2.GetNote("050505").empty());
    // What A kept aside goes once its save holds every note of it; until then check lists it.
    const auto kept = KeptItemsOf(fs, keeperA.Folder(), a);
    EXPECT_TRUE(std::any_of(kept.begin(), kept.end(), [](const KeptItem& i) { return i.notesBeyond == 1; }));
    a.SetNote("030101", "kept");
    EXPECT_TRUE(keeperA.Save(a, EncodeNotes(a), 20261208, "stamp").saved);
    for (const KeptItem& item : KeptItemsOf(fs, keeperA.Folder(), a))
        EXPECT_NE(item.notesBeyond, 0) << std::string(item.path.begin(), item.path.end());
}

TEST(DiaryKeeperSave, CopiesHaveTheirOwnBytesAndFailuresLeaveWhatWasThere) {
    struct Case {
        const char* name;
        FsOp op;
        int nth;
        bool saved;
    } cases[] = {
        {"all well", FsOp::kCount, 0, true},
        {"the notes file's create fails", FsOp::kCreate, 1, false},
        {"the notes file's move fails", FsOp::kReplace, 1, false},
        {"the safety copy's write fails", FsOp::kWrite, 3, true},
        {"the dated copy's move fails", FsOp::kReplace, 4, true},
    };
    for (const Case& c : cases) {
        for (const bool staged : {false, true}) {
            FakeFileSystem fs;
            NoteMap notes;
            DiaryKeeper keeper(fs, PlaceOf(L'A'), {1, 1});
            keeper.Start(notes, {});
            notes.SetNote("081226", "first");
            ASSERT_TRUE(keeper.Save(notes, EncodeNotes(notes), 20261207, "s").saved);
            const auto before = fs.files;
            notes.SetNote("081226", "second");
            const std::string bytes = EncodeNotes(notes);
            StagedCopies ahead;
            if (staged)
                ahead = DiaryKeeper::StageCopies(fs, keeper.Folder(), bytes, 20261208);
            if (c.op != FsOp::kCount)
                fs.FailNth(c.op, c.nth, FileError::kDiskFull);
            const SaveReport report = keeper.Save(notes, bytes, 20261208, "s", [&] { return ahead; });
            EXPECT_EQ(report.saved, c.saved) << c.name << staged;
            const FsPath folder = keeper.Folder();
            for (const FsPath& name : {FsPath(L"nts.ini"), FsPath(L"nts-20261208.ini")}) {
                if (fs.files.count(folder + name)) {
                    EXPECT_TRUE(
                        fs.files[folder + name] == bytes ||
                        (before.count(folder + name) && fs.files[folder + name] == before.at(folder + name)))
                        << c.name << staged;
                }
            }
            EXPECT_EQ(fs.files[folder + L"nts-20261207.ini"], before.at(folder + L"nts-20261207.ini"))
                << c.name;
            // Only a notes file that could not be replaced keeps its bytes beside it.
            for (const auto& [path, content] : fs.files)
                EXPECT_TRUE(path.find(L".new-") == FsPath::npos || path.rfind(L"A\\", 0) == 0)
                    << c.name << staged;
            if (c.saved && c.op == FsOp::kCount) {
                // Rewriting the safety copy in place leaves the dated one as it was: bytes of its own.
                fs.files[folder + L"nts.ini"].resize(3);
                fs.files.erase(L"A\\nts.ini");
                NoteMap again;
                DiaryKeeper(fs, PlaceOf(L'A'), {2, 2}).Start(again, {});
                EXPECT_EQ(again.GetNote("081226"), "second") << staged;
            }
        }
    }
}

TEST(DiaryKeeperStart, AFileWhereTheFolderShouldBeOrAMissingProfileStillKeepsAJournal) {
    for (const bool blocked : {false, true}) {
        FakeFileSystem fs;
        if (blocked)
            fs.files[L"L\\Quillidar"] = "a file of the same name";
        NoteMap notes;
        DiaryKeeper keeper(fs, PlaceOf(L'A'), {1, 1});
        keeper.Start(notes, {});
        ASSERT_FALSE(keeper.Folder().empty());
        EXPECT_EQ(keeper.Folder().rfind(blocked ? kRoots[1] : kRoots[0], 0), 0u);
        ASSERT_TRUE(keeper.Record("081226", "typed", notes));
        NoteMap next;
        DiaryKeeper(fs, PlaceOf(L'A'), {2, 2}).Start(next, {});
        EXPECT_EQ(next.GetNote("081226"), "typed") << blocked;
    }
}

// Files of the diary's folder and the notes file as something else left them before a save: each
// is replaced or removed only when its bytes are a save the manifest recorded or the saved diary
// holds all it holds; otherwise a kept file holds its bytes and the check lists it.
TEST(DiaryKeeperSave, OnlyWhatCanBeVouchedForIsReplacedOrRemoved) {
    const std::string backup = Diary({{"011226", "only in the backup"}});
    const std::string subset = Diary({{"081226", "second"}});
    struct Case {
        const char* name;
        FsPath file; // in the diary's folder; "temp" for the notes file itself
        std::function<std::string(const std::map<FsPath, std::string>&)> bytes;
        bool kept;
    } cases[] = {
        {"the safety copy as the last save wrote it", L"nts.ini",
         [](const auto& files) { return files.at(L"nts.ini"); }, false},
        {"a backup copied over the safety copy", L"nts.ini", [&](const auto&) { return backup; }, true},
        {"a backup copied over today's dated copy", L"nts-20261208.ini", [&](const auto&) { return backup; },
         true},
        {"a copy holding only what the save holds", L"nts.ini", [&](const auto&) { return subset; }, false},
        {"bytes that are no diary", L"nts.ini", [](const auto&) { return std::string("\xff\xfe\x01 noise"); },
         true},
        {"an old dated copy changed before it is removed", L"nts-20261201.ini",
         [&](const auto&) { return backup; }, true},
        {"a save's leftover with a note of its own", L"nts.ini.new-3", [&](const auto&) { return backup; },
         true},
        {"a save's leftover the save holds", L"nts.ini.new-3", [&](const auto&) { return subset; }, false},
        {"the notes file replaced by another program", L"temp", [&](const auto&) { return backup; }, true},
        {"the notes file as this run read it", L"temp", [](const auto& files) { return files.at(L"temp"); },
         false},
    };
    for (const Case& c : cases) {
        FakeFileSystem fs;
        NoteMap notes;
        DiaryKeeper keeper(fs, PlaceOf(L'A'), {1, 1});
        keeper.Start(notes, {});
        notes.SetNote("081226", "first");
        // Seven days of saves: the eighth removes the oldest dated copy.
        for (int day = 20261201; day <= 20261207; ++day)
            ASSERT_TRUE(keeper.Save(notes, EncodeNotes(notes), day, "s").saved);
        const FsPath folder = keeper.Folder();
        std::map<FsPath, std::string> now;
        now[L"nts.ini"] = fs.files[folder + L"nts.ini"];
        now[L"temp"] = fs.files[L"A\\nts.ini"];
        const std::string put = c.bytes(now);
        fs.files[c.file == L"temp" ? L"A\\nts.ini" : folder + c.file] = put;
        notes.SetNote("081226", "second");
        ASSERT_TRUE(keeper.Save(notes, EncodeNotes(notes), 20261208, "s").saved) << c.name;
        int keptHolding = 0;
        for (const auto& [path, content] : fs.files) {
            if (path.find(L"kept-") != FsPath::npos && content == put)
                ++keptHolding;
        }
        EXPECT_EQ(keptHolding, c.kept ? 1 : 0) << c.name;
        if (c.kept && put == backup) {
            const auto items = KeptItemsOf(fs, folder, notes);
            EXPECT_TRUE(std::any_of(items.begin(), items.end(), [](const KeptItem& i) {
                return i.notesBeyond == 1;
            })) << c.name;
        }
        // Nothing the diary saved was lost on the way.
        NoteMap next;
        DiaryKeeper(fs, PlaceOf(L'A'), {2, 2}).Start(next, {});
        EXPECT_EQ(next.GetNote("081226"), "second") << c.name;
    }
}

// Without a manifest that can vouch, the start joins every copy by content: no copy wins by size,
// and a generation at the top stays there.
TEST(DiaryKeeperStart, CopiesTheManifestCannotVouchForAreJoinedByContent) {
    const FsPath folder = DiaryFolderUnder(kRoots[0], DiaryTag(PlaceOf(L'A').identity));
    const std::string yesterday =
        Diary({{"071226", "a long note of yesterday, shortened today"}, {"061226", "kept"}});
    const std::string today = Diary({{"071226", "short"}, {"081226", "today's note"}});
    struct Case {
        const char* name;
        std::function<void(FakeFileSystem&)> spoil;
    } cases[] = {
        {"manifest deleted", [&](FakeFileSystem& fs) { fs.files.erase(folder + kManifestName); }},
        {"manifest cut short at a line's end",
         [&](FakeFileSystem& fs) {
             std::string& m = fs.files[folder + kManifestName];
             m.resize(m.rfind('\n', m.size() - 2) + 1);
         }},
        {"manifest cut short anywhere",
         [&](FakeFileSystem& fs) { fs.files[folder + kManifestName].resize(40); }},
        {"manifest filled with noise",
         [&](FakeFileSystem& fs) { fs.files[folder + kManifestName] = std::string(300, '\x5a'); }},
        {"a byte of the manifest changed",
         [&](FakeFileSystem& fs) { fs.files[folder + kManifestName][30] ^= 0x01; }},
        {"manifest of another diary copied in",
         [&](FakeFileSystem& fs) {
             Manifest other;
             other.folder = L"C:\\USERS\\OTHER\\";
             other.generation = 1000;
             other.copies.push_back({L"nts-20261207.ini", 1000, yesterday.size(), ContentHash(yesterday)});
             fs.files[folder + kManifestName] = EncodeManifest(other);
         }},
    };
    for (const Case& c : cases) {
        FakeFileSystem fs;
        NoteMap notes;
        {
            DiaryKeeper keeper(fs, PlaceOf(L'A'), {1, 1});
            keeper.Start(notes, {});
            DecodeNotes(std::string(yesterday), notes);
            ASSERT_TRUE(keeper.Save(notes, EncodeNotes(notes), 20261207, "s").saved);
            notes.Clear();
            DecodeNotes(std::string(today), notes);
            ASSERT_TRUE(keeper.Save(notes, EncodeNotes(notes), 20261208, "s").saved);
        }
        fs.files.erase(L"A\\nts.ini"); // the temporary folder cleaned
        c.spoil(fs);
        NoteMap read;
        DiaryKeeper keeper(fs, PlaceOf(L'A'), {2, 2});
        keeper.Start(read, {});
        EXPECT_EQ(read.GetNote("081226"), "today's note") << c.name;
        EXPECT_TRUE(HoldsNotePart(read.GetNote("071226"), "short") ||
                    read.GetNote("071226").find("short") != std::string::npos)
            << c.name;
        // The next save leaves nothing of either copy behind.
        ASSERT_TRUE(keeper.Save(read, EncodeNotes(read), 20261209, "s").saved);
        NoteMap next;
        fs.files.erase(L"A\\nts.ini");
        DiaryKeeper(fs, PlaceOf(L'A'), {3, 3}).Start(next, {});
        EXPECT_EQ(next.GetNote("081226"), "today's note") << c.name;
        EXPECT_EQ(next.GetNote("061226"), "kept") << c.name;
    }
}

// A generation at the top: the save after it still ranks above yesterday's copy.
TEST(DiaryKeeperStart, TheSaveAfterTheTopGenerationStillRanksFirst) {
    const FsPath folder = DiaryFolderUnder(kRoots[0], DiaryTag(PlaceOf(L'A').identity));
    const std::string yesterday = Diary({{"071226", "a long note of yesterday, shortened today"}});
    const std::string today = Diary({{"071226", "short"}, {"081226", "today's note"}});
    FakeFileSystem fs;
    Manifest top;
    top.folder = PlaceOf(L'A').identity;
    top.generation = std::numeric_limits<std::uint64_t>::max();
    top.copies.push_back({L"nts-20261207.ini", top.generation - 1, yesterday.size(), ContentHash(yesterday)});
    fs.files[folder + L"nts-20261207.ini"] = yesterday;
    fs.files[folder + kManifestName] = EncodeManifest(top);
    NoteMap notes;
    {
        DiaryKeeper keeper(fs, PlaceOf(L'A'), {1, 1});
        keeper.Start(notes, {});
        notes.Clear();
        DecodeNotes(std::string(today), notes);
        ASSERT_TRUE(keeper.Save(notes, EncodeNotes(notes), 20261208, "s").saved);
    }
    fs.files.erase(L"A\\nts.ini");
    NoteMap read;
    DiaryKeeper(fs, PlaceOf(L'A'), {2, 2}).Start(read, {});
    EXPECT_EQ(read.GetNote("071226"), "short");
    EXPECT_EQ(read.GetNote("081226"), "today's note");
}

// A journal whose folder cannot be written while the window runs finds another home, and a
// damaged record costs that record alone; a damaged journal is kept whole.
TEST(DiaryKeeperJournal, TheJournalFindsAHomeAndADamagedRecordCostsOnlyItself) {
    for (const int fault : {0, 1}) {
        FakeFileSystem fs;
        NoteMap notes;
        DiaryKeeper keeper(fs, PlaceOf(L'A'), {1, 1});
        keeper.Start(notes, {});
        ASSERT_TRUE(keeper.Record("071226", "before", notes));
        if (fault == 0)
            fs.readOnlyFolders.insert(keeper.Folder());
        else
            fs.RemoveFolder(kRoots[0]);
        ASSERT_TRUE(keeper.Record("081226", "typed after", notes)) << fault;
        NoteMap next;
        DiaryKeeper(fs, PlaceOf(L'A'), {2, 2}).Start(next, {});
        EXPECT_EQ(next.GetNote("081226"), "typed after") << fault;
    }
    FakeFileSystem fs;
    NoteMap notes;
    FsPath journal;
    {
        DiaryKeeper keeper(fs, PlaceOf(L'A'), {1, 1});
        keeper.Start(notes, {});
        for (const char* key : {"011226", "021226", "031226"})
            ASSERT_TRUE(keeper.Record(key, std::string("typed ") + key, notes));
        for (const auto& [path, bytes] : fs.files)
            if (IsEditJournalName(path.substr(path.find_last_of(L'\\') + 1)))
                journal = path;
    }
    ASSERT_FALSE(journal.empty());
    const std::string whole = fs.files[journal];
    // A bit of the first record's text flipped.
    const std::size_t at = whole.find("typed 011226");
    fs.files[journal][at] ^= 0x01;
    const std::string damaged = fs.files[journal];
    NoteMap read;
    DiaryKeeper keeper(fs, PlaceOf(L'A'), {2, 2});
    keeper.Start(read, {});
    EXPECT_EQ(read.GetNote("021226"), "typed 021226");
    EXPECT_EQ(read.GetNote("031226"), "typed 031226");
    ASSERT_TRUE(keeper.Save(read, EncodeNotes(read), 20261208, "s").saved);
    const bool keptWhole = std::any_of(fs.files.begin(), fs.files.end(), [&](const auto& f) {
        return f.first.find(L"kept-") != FsPath::npos && f.second == damaged;
    });
    EXPECT_TRUE(keptWhole);
    const auto items = KeptItemsOf(fs, keeper.Folder(), read);
    EXPECT_TRUE(
        std::any_of(items.begin(), items.end(), [](const KeptItem& i) { return i.notesBeyond == -1; }));
}

} // namespace
