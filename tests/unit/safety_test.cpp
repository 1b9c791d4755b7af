// The safety folder: names of dated copies and journals, which source the diary and the settings
// come from at start, and copies and journals that fail to write.
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_file_system.h"
#include "diary/notes_file.h"
#include "diary/safety_store.h"

namespace {

const FsPath kTemp = L"T\\nts.ini";
const FsPath kFolder = L"S\\";

std::string NotesBytes(const std::string& text) {
    NoteMap notes;
    notes.SetNote("010126", text);
    return EncodeNotes(notes);
}

const std::string kDamaged = "\x05\x00\x00\x00\x06"; // five notes announced, the first key cut short

SafetyFolderView View(const FakeFileSystem& fs) {
    SafetyFolderView view{kFolder, {}};
    for (const auto& [path, bytes] : fs.files) {
        if (path.rfind(kFolder, 0) == 0) {
            view.names.push_back(path.substr(kFolder.size()));
        }
    }
    return view;
}

std::string Loaded(const NoteMap& notes) {
    return notes.size() == 1 ? notes.GetNote("010126") : notes.empty() ? "" : "several";
}

TEST(SafetyNames, DatedCopiesAndJournalsRoundTripAndRejectLookAlikes) {
    EXPECT_EQ(DatedCopyName(20260712), L"nts-20260712.ini");
    EXPECT_EQ(ParseDatedCopyName(L"nts-20260712.ini"), 20260712);
    for (const wchar_t* name :
         {L"nts-2026071.ini", L"nts-2026071x.ini", L"nts-020260712.ini", L"nts-20260712.ini.new-1",
          L"nts.ini", L"qlw-20260712.ini", L"nts--2026071.ini"}) {
        EXPECT_FALSE(ParseDatedCopyName(name)) << std::wstring(name).size();
    }

    for (const RunId run :
         {RunId{1, 0}, RunId{4294967295u, 18446744073709551615ull}, RunId{4242, 134000000000000000ull}}) {
        EXPECT_EQ(ParseJournalName(JournalName(run)), run);
    }
    EXPECT_EQ(JournalName({77, 1234}), L"journal-77-1234.nts");
    for (const wchar_t* name :
         {L"journal-12.nts", L"journal--5.nts", L"journal-01-5.nts", L"journal-4294967296-1.nts",
          L"journal-1-18446744073709551616.nts", L"journal-1-2.nts.new-1", L"journal-1-+2.nts",
          L"kept-journal-1-2.nts", L"journal-1-2-3.nts"}) {
        EXPECT_FALSE(ParseJournalName(name)) << std::wstring(name).size();
    }
    EXPECT_EQ(KeptJournalName(L"journal-1-2.nts"), L"kept-journal-1-2.nts");
    EXPECT_EQ(DiscardedJournalName({1, 2}), L"discarded-journal-1-2.nts");
    EXPECT_FALSE(ParseJournalName(DiscardedJournalName({1, 2})));
}

struct PruneCase {
    const char* name;
    std::vector<FsPath> names;
    int today;
    std::vector<FsPath> removed;
};

TEST(SafetyNames, DatedCopiesKeepTodayAndTheNewestOthers) {
    const std::vector<FsPath> week = {L"nts-20260101.ini", L"nts-20260102.ini", L"nts-20260103.ini",
                                      L"nts-20260105.ini", L"nts-20260108.ini", L"nts-20260109.ini",
                                      L"nts-20260110.ini"};
    std::vector<FsPath> weekAndMore = week;
    weekAndMore.insert(weekAndMore.end(), {L"nts.ini", L"qlw.ini", L"journal-1-2.nts", L"nts-20251231.ini"});
    const PruneCase cases[] = {
        {"fewer than seven", {L"nts-20260101.ini", L"nts-20260102.ini"}, 20260103, {}},
        {"seven others and today", week, 20260111, {L"nts-20260101.ini"}},
        {"today among them", week, 20260110, {}},
        {"other files left alone", weekAndMore, 20260111, {L"nts-20251231.ini", L"nts-20260101.ini"}},
        {"clock gone back", week, 20250601, {L"nts-20260101.ini"}},
    };
    for (const PruneCase& c : cases) {
        std::vector<FsPath> removed = DatedCopiesToRemove(c.names, c.today);
        std::sort(removed.begin(), removed.end());
        EXPECT_EQ(removed, c.removed) << c.name;
    }
}

// kPartial: loads, with entries after those its count announced. kHeld: another program holds it
// through every retry. kStale: a journal last written before the notes file was saved.
enum class State { kNone, kGood, kDamaged, kLive, kPartial, kHeld, kStale };

struct SourceCase {
    State journal, temp, copy, dated;
    NotesSource source;
    const char* text; // the note that must be loaded
    bool tempUnreadable;
    std::size_t keptAside = 0; // safety-folder files to copy aside before they are overwritten
};

// Every source holds its own note, so the loaded note names the source that won.
FakeFileSystem Folder(const SourceCase& c) {
    FakeFileSystem fs;
    auto put = [&](State state, const FsPath& path, const std::string& text) {
        if (state == State::kGood || state == State::kLive || state == State::kHeld) {
            fs.files[path] = NotesBytes(text);
        } else if (state == State::kStale) {
            fs.files[path] = NotesBytes(text);
            fs.SetTime(path, 5);
        } else if (state == State::kPartial) {
            fs.files[path] = NotesBytes(text) + "\x06" + "020126" + "\x05" + "extra";
        } else if (state == State::kDamaged) {
            fs.files[path] = kDamaged;
        }
        if (state == State::kHeld) {
            fs.HoldOpen(path);
        }
        if (state != State::kNone && state != State::kStale) {
            // Saved files at 10, journals written after them.
            fs.SetTime(path, path.find(L"journal") != FsPath::npos ? 20 : 10);
        }
    };
    put(c.journal, kFolder + JournalName({10, 500}), "journal");
    put(c.temp, kTemp, "temp");
    put(c.copy, kFolder + L"nts.ini", "copy");
    put(c.dated, kFolder + L"nts-20260110.ini", "dated");
    return fs;
}

RunIsAlive LiveIf(State journal) {
    return [journal](const RunId& run) { return journal == State::kLive && run == RunId{10, 500}; };
}

TEST(SafetyRecovery, TheFirstSourceThatLoadsWins) {
    using S = State;
    using N = NotesSource;
    const SourceCase cases[] = {
        {S::kNone, S::kGood, S::kGood, S::kGood, N::kTempFile, "temp", false},
        {S::kNone, S::kNone, S::kGood, S::kGood, N::kSafetyCopy, "copy", false},
        {S::kNone, S::kNone, S::kNone, S::kGood, N::kDatedCopy, "dated", false},
        {S::kNone, S::kNone, S::kDamaged, S::kGood, N::kDatedCopy, "dated", false, 1},
        {S::kNone, S::kNone, S::kNone, S::kNone, N::kFirstRun, "", false},
        {S::kNone, S::kDamaged, S::kGood, S::kGood, N::kSafetyCopy, "copy", true},
        {S::kNone, S::kDamaged, S::kDamaged, S::kGood, N::kDatedCopy, "dated", true, 1},
        {S::kNone, S::kDamaged, S::kDamaged, S::kDamaged, N::kFirstRun, "", true, 2},
        {S::kGood, S::kGood, S::kGood, S::kGood, N::kJournal, "journal", false},
        {S::kGood, S::kNone, S::kNone, S::kNone, N::kJournal, "journal", false},
        {S::kGood, S::kDamaged, S::kGood, S::kGood, N::kJournal, "journal", true},
        {S::kDamaged, S::kGood, S::kGood, S::kGood, N::kTempFile, "temp", false, 1},
        {S::kDamaged, S::kNone, S::kGood, S::kNone, N::kSafetyCopy, "copy", false, 1},
        {S::kLive, S::kGood, S::kGood, S::kGood, N::kTempFile, "temp", false},
        {S::kLive, S::kNone, S::kNone, S::kNone, N::kFirstRun, "", false},
        {S::kNone, S::kPartial, S::kGood, S::kGood, N::kTempFile, "temp", true},
        {S::kNone, S::kHeld, S::kGood, S::kGood, N::kSafetyCopy, "copy", true},
        {S::kNone, S::kHeld, S::kNone, S::kNone, N::kFirstRun, "", true},
        {S::kStale, S::kGood, S::kGood, S::kGood, N::kTempFile, "temp", false},
        {S::kStale, S::kNone, S::kGood, S::kNone, N::kSafetyCopy, "copy", false},
        {S::kGood, S::kHeld, S::kNone, S::kNone, N::kJournal, "journal", true},
        {S::kNone, S::kNone, S::kPartial, S::kGood, N::kSafetyCopy, "copy", false, 1},
        {S::kNone, S::kDamaged, S::kHeld, S::kDamaged, N::kFirstRun, "", true, 2},
        {S::kPartial, S::kGood, S::kNone, S::kNone, N::kJournal, "journal", false, 1},
    };
    for (const SourceCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "journal " << int(c.journal) << " temp " << int(c.temp)
                                          << " copy " << int(c.copy) << " dated " << int(c.dated));
        FakeFileSystem fs = Folder(c);
        NoteMap notes;
        notes.SetNote("999999", "left over");
        const NotesRecovery r = RecoverNotes(fs, kTemp, View(fs), LiveIf(c.journal), notes);
        EXPECT_EQ(r.source, c.source);
        EXPECT_EQ(Loaded(notes), c.text);
        EXPECT_EQ(r.keepTempAside, c.tempUnreadable);
        EXPECT_EQ(r.keepAside.size(), c.keptAside);
        const bool orphan = c.journal != S::kNone && c.journal != S::kLive;
        EXPECT_EQ(r.orphanJournals.size(), orphan ? 1u : 0u);
        EXPECT_EQ(fs.OpenFiles(), 0);
        SettleOrphanJournals(fs, r);
        // Loaded and holding no more than the list: the next save makes it redundant.
        const bool gone = c.source == N::kJournal && c.journal == S::kGood;
        EXPECT_EQ(fs.Exists(kFolder + KeptJournalName(JournalName({10, 500}))), orphan && !gone);
    }
}

TEST(SafetyRecovery, TheNewestDatedCopyThatLoadsWins) {
    struct DatedCase {
        const char* name;
        std::vector<std::pair<int, const char*>> copies; // day and note; no note: damaged
        bool listedNewestFirst;                          // the order the folder lists them in
        int loadedDay;
    };
    const DatedCase cases[] = {
        {"two readable days", {{20260109, "older"}, {20260110, "newer"}}, false, 20260110},
        {"two readable days, listed newest first",
         {{20260109, "older"}, {20260110, "newer"}},
         true,
         20260110},
        {"across the year's end", {{20251231, "december"}, {20260101, "january"}}, false, 20260101},
        {"the newest damaged",
         {{20260108, "oldest"}, {20260109, "middle"}, {20260110, nullptr}},
         false,
         20260109},
    };
    for (const DatedCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileSystem fs;
        std::string expected;
        for (const auto& [day, text] : c.copies) {
            fs.files[kFolder + DatedCopyName(day)] = text ? NotesBytes(text) : kDamaged;
            if (day == c.loadedDay) {
                expected = text;
            }
        }
        SafetyFolderView view = View(fs);
        if (c.listedNewestFirst) {
            std::reverse(view.names.begin(), view.names.end());
        }
        NoteMap notes;
        const NotesRecovery r = RecoverNotes(fs, kTemp, view, {}, notes);
        EXPECT_EQ(r.source, NotesSource::kDatedCopy);
        EXPECT_EQ(r.loadedFrom, kFolder + DatedCopyName(c.loadedDay));
        EXPECT_EQ(Loaded(notes), expected);
    }
}

TEST(SafetyRecovery, NoCombinationLosesALoadableSourceOrTakesALiveJournal) {
    const State states[] = {State::kNone, State::kGood, State::kDamaged};
    const State journals[] = {State::kNone, State::kGood, State::kDamaged, State::kLive};
    for (State journal : journals)
        for (State temp : states)
            for (State copy : states)
                for (State dated : states) {
                    const SourceCase c{journal, temp, copy, dated, NotesSource::kFirstRun, "", false};
                    FakeFileSystem fs = Folder(c);
                    NoteMap notes;
                    const NotesRecovery r = RecoverNotes(fs, kTemp, View(fs), LiveIf(journal), notes);
                    const bool anyGood = journal == State::kGood || temp == State::kGood ||
                                         copy == State::kGood || dated == State::kGood;
                    EXPECT_EQ(r.source != NotesSource::kFirstRun, anyGood);
                    EXPECT_NE(Loaded(notes), "several");
                    if (journal == State::kLive) {
                        EXPECT_NE(Loaded(notes), "journal");
                    }
                    EXPECT_EQ(r.keepTempAside, temp == State::kDamaged);
                }
}

TEST(SafetyRecovery, NewestEndedRunWinsAndTheOthersAreKeptOnceNotesAreSaved) {
    FakeFileSystem fs;
    const FsPath older = kFolder + JournalName({30, 100});
    const FsPath newer = kFolder + JournalName({20, 200});
    const FsPath live = kFolder + JournalName({40, 300});
    fs.files[older] = NotesBytes("older");
    fs.files[newer] = NotesBytes("newer");
    fs.files[live] = NotesBytes("live");
    fs.files[kFolder + L"nts-20260101.ini"] = NotesBytes("dated");
    // Writes cut short by a kill: even a complete-looking one is never loaded.
    fs.files[newer + L".new-1"] = NotesBytes("unfinished");
    fs.files[live + L".new-1"] = NotesBytes("live, writing");
    NoteMap notes;
    const NotesRecovery r = RecoverNotes(
        fs, kTemp, View(fs), [](const RunId& run) { return run.pid == 40; }, notes);
    EXPECT_EQ(Loaded(notes), "newer");
    EXPECT_EQ(r.loadedFrom, newer);
    EXPECT_EQ(r.orphanJournals, (std::vector<FsPath>{newer, older}));

    SettleOrphanJournals(fs, r);
    EXPECT_FALSE(fs.Exists(newer));
    EXPECT_FALSE(fs.Exists(older));
    EXPECT_EQ(fs.files[kFolder + L"kept-" + JournalName({30, 100})], NotesBytes("older"));
    EXPECT_TRUE(fs.Exists(live)) << "another run's journal was touched";
    EXPECT_FALSE(fs.Exists(newer + L".new-1"));
    EXPECT_TRUE(fs.Exists(live + L".new-1")) << "a live run's unfinished write was removed";
    // A kept journal is never a source again.
    const NotesRecovery next = RecoverNotes(fs, kTemp, View(fs), {}, notes);
    EXPECT_EQ(next.source, NotesSource::kJournal);
    EXPECT_EQ(Loaded(notes), "live");
}

TEST(SafetyRecovery, NoSafetyFolderMeansTheTemporaryFileOrTheFirstRun) {
    FakeFileSystem fs;
    fs.files[L"nts.ini"] = NotesBytes("relative");
    NoteMap notes;
    EXPECT_EQ(RecoverNotes(fs, kTemp, SafetyFolderView{{}, {L"nts.ini"}}, {}, notes).source,
              NotesSource::kFirstRun);
    fs.files[kTemp] = NotesBytes("temp");
    EXPECT_EQ(RecoverNotes(fs, kTemp, SafetyFolderView{}, {}, notes).source, NotesSource::kTempFile);
}

TEST(SafetyRecovery, SettingsComeFromTheTemporaryFileThenTheCopy) {
    struct Case {
        State temp, copy;
        SettingsSource source;
        bool tempUnreadable;
    } cases[] = {
        {State::kGood, State::kGood, SettingsSource::kTempFile, false},
        {State::kNone, State::kGood, SettingsSource::kSafetyCopy, false},
        {State::kDamaged, State::kGood, SettingsSource::kSafetyCopy, true},
        {State::kNone, State::kDamaged, SettingsSource::kDefaults, false},
        {State::kDamaged, State::kNone, SettingsSource::kDefaults, true},
        {State::kNone, State::kNone, SettingsSource::kDefaults, false},
    };
    for (const Case& c : cases) {
        FakeFileSystem fs;
        if (c.temp != State::kNone)
            fs.files[L"T\\qlw.ini"] = c.temp == State::kGood ? "temp" : "bad";
        if (c.copy != State::kNone)
            fs.files[L"S\\qlw.ini"] = c.copy == State::kGood ? "copy" : "bad";
        std::vector<std::string> decoded;
        const SettingsRecovery r =
            RecoverSettings(fs, L"T\\qlw.ini", L"S\\qlw.ini", [&](std::string_view bytes, bool fromCopy) {
                decoded.push_back(std::string(bytes) + (fromCopy ? "@copy" : "@temp"));
                return bytes != "bad";
            });
        EXPECT_EQ(r.source, c.source) << int(c.temp) << int(c.copy);
        EXPECT_EQ(r.tempUnreadable, c.tempUnreadable) << int(c.temp) << int(c.copy);
        // The temporary folder's file is read into the record itself, the copy never without the flag.
        for (const std::string& d : decoded) {
            EXPECT_TRUE(d == "temp@temp" || d == "bad@temp" || d == "copy@copy" || d == "bad@copy") << d;
        }
    }
}

struct Fault {
    FsOp op;
    int nth;
    FileError error;
};

// The safety copy written ahead, while the notes file is saved: it takes the copy's place only
// through CopyNotesToSafety, and is never left lying beside it.
TEST(SafetyCopies, AStagedCopyBecomesTheSafetyCopyOrGoes) {
    struct Case {
        const char* name;
        bool noFolder;
        bool keepAside;    // the old safety copy held more than was loaded
        bool replaceFails; // the staged file cannot be moved over the copy
    };
    const Case cases[] = {
        {"plain", false, false, false},
        {"kept aside first", false, true, false},
        {"move fails", false, false, true},
        {"no safety folder", true, false, false},
    };
    const std::string oldBytes = NotesBytes("old");
    const std::string newBytes = NotesBytes("new");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileSystem fs;
        fs.files[kFolder + L"nts.ini"] = oldBytes;
        // Left by a run cut off between writing its copy ahead and moving it into place.
        fs.files[kFolder + L"nts.ini.new-7"] = oldBytes;
        const FsPath staged = StageSafetyCopy(fs, View(fs), newBytes);
        ASSERT_EQ(fs.files[staged], newBytes);
        SafetyFolderView view = View(fs);
        if (c.noFolder) {
            view.folder.clear();
        }
        // Busy all through the short retries, as a copy held by a backup program would be.
        if (c.replaceFails) {
            fs.HoldOpen(kFolder + L"nts.ini", 6);
        }
        const std::vector<FsPath> keep =
            c.keepAside ? std::vector<FsPath>{kFolder + L"nts.ini"} : std::vector<FsPath>{};
        const CopyReport report = CopyNotesToSafety(fs, view, newBytes, 20260110, keep, "stamp", staged);

        EXPECT_FALSE(fs.Exists(staged));
        const bool copied = !c.noFolder && !c.replaceFails;
        EXPECT_EQ(fs.Exists(kFolder + L"nts.ini.new-7"), !copied);
        EXPECT_EQ(report.copied, copied);
        EXPECT_EQ(fs.files[kFolder + L"nts.ini"], copied ? newBytes : oldBytes);
        EXPECT_EQ(fs.Exists(kFolder + L"nts.ini.unreadable-stamp"), c.keepAside);
        if (!c.noFolder) {
            EXPECT_EQ(fs.files[kFolder + DatedCopyName(20260110)], newBytes);
        }
        EXPECT_EQ(fs.OpenFiles(), 0);
    }
}

TEST(SafetyCopies, EachFailedWriteLeavesTheOldCopiesAndNoStrayFile) {
    // Which copy a fault costs: where the disk gives files second names, today's dated copy is one
    // (a link that fails falls back to writing it); elsewhere it is written like the safety copy.
    enum Costs { kNothing, kSafetyCopy, kDatedCopy };
    struct Case {
        Fault fault;
        bool links;
        Costs costs;
    };
    const Case cases[] = {
        {{FsOp::kCreate, 1, FileError::kAccessDenied}, false, kSafetyCopy},
        {{FsOp::kWrite, 1, FileError::kDiskFull}, false, kSafetyCopy},
        {{FsOp::kFlush, 1, FileError::kOther}, false, kSafetyCopy},
        {{FsOp::kClose, 1, FileError::kOther}, false, kSafetyCopy},
        {{FsOp::kReplace, 1, FileError::kOther}, false, kSafetyCopy},
        {{FsOp::kCreate, 2, FileError::kAccessDenied}, false, kDatedCopy},
        {{FsOp::kWrite, 2, FileError::kDiskFull}, false, kDatedCopy},
        {{FsOp::kReplace, 2, FileError::kOther}, false, kDatedCopy},
        {{FsOp::kWrite, 1, FileError::kDiskFull}, true, kSafetyCopy},
        {{FsOp::kReplace, 1, FileError::kOther}, true, kSafetyCopy},
        {{FsOp::kReplace, 2, FileError::kOther}, true, kDatedCopy},
        {{FsOp::kLink, 1, FileError::kOther}, true, kNothing},
        {{FsOp::kCreate, 2, FileError::kAccessDenied}, true, kNothing},
    };
    const std::string oldBytes = NotesBytes("old");
    const std::string newBytes = NotesBytes("new");
    for (const Case& c : cases) {
        const Fault& fault = c.fault;
        SCOPED_TRACE(::testing::Message()
                     << "op " << int(fault.op) << " call " << fault.nth << " links " << c.links);
        FakeFileSystem fs;
        fs.SetLinksWork(c.links);
        fs.files[kFolder + L"nts.ini"] = oldBytes;
        for (int day = 1; day <= 7; ++day) {
            fs.files[kFolder + DatedCopyName(20260100 + day)] = oldBytes;
        }
        // The main save goes first and is done before any copy is attempted.
        ASSERT_EQ(SaveDataFile(fs, kTemp, newBytes, false, "stamp").outcome, SaveOutcome::kSaved);
        const SafetyFolderView view = View(fs);
        fs.FailNth(fault.op, fault.nth, fault.error);
        const CopyReport report = CopyNotesToSafety(fs, view, newBytes, 20260110);

        EXPECT_EQ(fs.files[kTemp], newBytes);
        EXPECT_EQ(report.copied, c.costs != kSafetyCopy);
        EXPECT_EQ(report.datedCopied, c.costs != kDatedCopy);
        EXPECT_EQ(fs.files[kFolder + L"nts.ini"], c.costs == kSafetyCopy ? oldBytes : newBytes);
        if (c.costs != kDatedCopy) {
            EXPECT_EQ(fs.files[kFolder + DatedCopyName(20260110)], newBytes);
        }
        // Without today's dated copy none of the older ones may go.
        EXPECT_EQ(report.removed, c.costs == kDatedCopy ? 0 : 1);
        EXPECT_EQ(fs.Exists(kFolder + L"nts-20260101.ini"), c.costs == kDatedCopy);
        for (const auto& [path, bytes] : fs.files) {
            EXPECT_EQ(path.find(L".new-"), FsPath::npos) << "stray file left";
        }
        EXPECT_EQ(fs.OpenFiles(), 0);
    }
}

TEST(SafetyCopies, ACopyThatHeldMoreThanWasLoadedIsCopiedAsideFirstOrLeftAlone) {
    const FsPath copy = kFolder + L"nts.ini";
    const FsPath todays = kFolder + DatedCopyName(20260110);
    for (const bool held : {false, true}) {
        FakeFileSystem fs;
        fs.files[copy] = "partial copy";
        fs.files[todays] = "damaged dated";
        if (held) {
            fs.HoldOpen(copy);
        }
        const CopyReport report =
            CopyNotesToSafety(fs, View(fs), NotesBytes("new"), 20260110, {copy, todays}, "20260110-090000");
        EXPECT_EQ(report.copied, !held);
        EXPECT_TRUE(report.datedCopied);
        EXPECT_EQ(fs.files[copy + L".unreadable-20260110-090000"], held ? "" : "partial copy");
        EXPECT_EQ(fs.files[todays + L".unreadable-20260110-090000"], "damaged dated");
        EXPECT_EQ(fs.files[todays], NotesBytes("new"));
        if (held) {
            fs.ReleaseAll();
            EXPECT_EQ(fs.files[copy], "partial copy") << "overwritten without a copy";
        }
    }
}

TEST(SafetyLeftovers, WhatTheSaveHoldsGoesAndANoteItLacksIsKept) {
    const FsPath file = L"T\\nts.ini";
    EXPECT_TRUE(IsLeftoverName(L"nts.ini.new-12", L"nts.ini"));
    for (const wchar_t* name :
         {L"nts.ini.new-", L"nts.ini.new-1x", L"qlw.ini.new-1", L"nts.ini.new-1.kept-1"}) {
        EXPECT_FALSE(IsLeftoverName(name, L"nts.ini")) << std::wstring(name).size();
    }
    NoteMap saved;
    saved.SetNote("010126", "same");
    saved.SetNote("020126", "newer");
    NoteMap other;
    other.SetNote("030126", "only in the leftover");
    const struct {
        std::string bytes;
        bool kept;
    } cases[] = {
        {EncodeNotes(saved), false},
        {NotesBytes("same"), false},
        {EncodeNotes(saved).substr(0, 9), false}, // a save cut short
        {EncodeNotes(other), true},
        {NotesBytes("older text"), true},
    };
    for (const auto& c : cases) {
        FakeFileSystem fs;
        fs.files[file + L".new-1"] = c.bytes;
        fs.files[file + L".new-1.kept-stamp"] = "an earlier one";
        EXPECT_EQ(SettleLeftovers(fs, {file + L".new-1"}, saved, "stamp"), c.kept ? 0 : 1);
        EXPECT_FALSE(fs.Exists(file + L".new-1"));
        EXPECT_EQ(fs.files.count(file + L".new-1.kept-stamp-2"), c.kept ? 1u : 0u) << c.bytes.size();
        EXPECT_EQ(fs.files[file + L".new-1.kept-stamp"], "an earlier one");
    }
}

TEST(SafetyCopies, AJournalThatCannotBeWrittenKeepsThePreviousOne) {
    const FsPath journal = kFolder + JournalName({5, 6});
    for (const FsOp op : {FsOp::kCreate, FsOp::kWrite, FsOp::kFlush, FsOp::kClose, FsOp::kReplace}) {
        FakeFileSystem fs;
        fs.files[journal] = NotesBytes("before");
        fs.FailNth(op, 1, FileError::kDiskFull);
        EXPECT_FALSE(WriteSafetyFile(fs, journal, NotesBytes("after"))) << int(op);
        EXPECT_EQ(fs.files[journal], NotesBytes("before")) << int(op);
        EXPECT_EQ(fs.files.size(), 1u) << int(op);
        EXPECT_TRUE(WriteSafetyFile(fs, journal, NotesBytes("after"))) << int(op);
        EXPECT_EQ(fs.files[journal], NotesBytes("after")) << int(op);
    }
}

TEST(SafetyCopies, AReadOnlySafetyFolderCopiesNothingAndRemovesNothing) {
    FakeFileSystem fs;
    for (int day = 1; day <= 9; ++day) {
        fs.files[kFolder + DatedCopyName(20260100 + day)] = "old";
    }
    const SafetyFolderView view = View(fs);
    fs.SetReadOnly(true);
    const CopyReport report = CopyNotesToSafety(fs, view, NotesBytes("new"), 20260110);
    EXPECT_FALSE(report.copied);
    EXPECT_FALSE(report.datedCopied);
    EXPECT_EQ(fs.files.size(), 9u);
}

} // namespace
