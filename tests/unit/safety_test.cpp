// The safety folder's names, where the settings come from at start, what interrupted saves left,
// and one-step writes that fail.
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_file_system.h"
#include "diary/notes_file.h"
#include "safety/safety_store.h"

namespace {

const FsPath kFolder = L"S\\";

std::string NotesBytes(const std::string& text) {
    NoteMap notes;
    notes.SetNote("010126", text);
    return EncodeNotes(notes);
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
}

enum class State { kNone, kGood, kDamaged };

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

} // namespace
