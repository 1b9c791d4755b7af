// End-to-end tests of the safety folder against files it cannot trust: a notes file holding more
// than was loaded, files held open by another program at start or at the save, the temporary or the
// safety folder removed or blocked while the window runs, and text an input tool puts into the note
// box. Like the other safety tests, each moves the user's own folder aside first.
#include "safety_helpers.h"

namespace e2e::safety {
namespace {

// Seven notes: the bytes after the count, and the files made of them with wrong counts.
std::string SevenEntries() {
    NoteMap seven;
    for (int day = 1; day <= 7; ++day)
        seven.Append({DateKeyOfDate(2020, 1, day), "entry " + std::to_string(day)});
    return EncodeNotes(seven).substr(4);
}

struct HeldMoreCase {
    const char* name;
    std::string file;
    SIZE_T memoryLimit;
};

TEST_F(Safety, AFileThatHoldsMoreThanWasLoadedIsCopiedAsideBeforeTheSave) {
    std::string big = SevenEntries();
    // Eight megabytes of real entries behind a forged count: the decoder must not reserve for it.
    for (int i = 0; big.size() < (8u << 20); ++i) {
        big.push_back('\x06');
        big.append(DateKeyOfDate(1990, 1 + i % 12, 1 + i % 28));
        big.append("\xFF\x00\x10", 3);
        big.append(4096, 'z');
    }
    const HeldMoreCase cases[] = {
        {"forged count, limited memory", "\xFF\xFF\xFF\x7F" + big, 160u << 20},
    };
    for (const HeldMoreCase& c : cases) {
        SCOPED_TRACE(c.name);
        QuillProcess app;
        app.SetMemoryLimit(c.memoryLimit);
        ASSERT_TRUE(app.WriteTempFile(L"nts.ini", c.file));
        const Opened run = Open(app);
        ASSERT_NE(run.note, nullptr);
        // Set-up ran to its end: the window was placed and the clock is ticking in its strip.
        EXPECT_GT(WindowRect(run.window).left, 0);
        TypeIntoNoteBox(run, L" typed today");
        CloseWithOk(app, run);
        EXPECT_EQ(KeptAside(app), std::vector<std::string>{c.file});
        const std::optional<NoteMap> saved = Notes(app.ReadTempFile(L"nts.ini"));
        ASSERT_TRUE(saved);
        EXPECT_NE(Text(*saved).find("typed today"), std::string::npos);
        TearDown();
        SetUp();
    }
}

TEST_F(Safety, AFileHeldAtStartIsWaitedForThenTakenFromTheCopyAndKeptAside) {
    NoteMap copy;
    copy.SetNote("010120", "from the safety copy");
    for (const DWORD heldMs : {1000u, 5000u}) {
        SCOPED_TRACE(heldMs);
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
        ASSERT_TRUE(WriteWholeFile(m_folder + L"\\nts.ini", EncodeNotes(copy)));
        QuillProcess app;
        const std::string temp = NotesBytesOf("from the temporary folder");
        ASSERT_TRUE(app.WriteTempFile(L"nts.ini", temp));
        Opened run;
        {
            FileHolder holder(app.TempDir() + L"nts.ini", heldMs);
            run = Open(app);
            ASSERT_NE(run.note, nullptr);
        }
        const bool waited = heldMs < 2000;
        CloseWithOk(app, run);
        const std::optional<NoteMap> saved = Notes(app.ReadTempFile(L"nts.ini"));
        ASSERT_TRUE(saved);
        EXPECT_EQ(Text(*saved), waited ? "from the temporary folder" : "from the safety copy");
        EXPECT_EQ(KeptAside(app), waited ? std::vector<std::string>{} : std::vector<std::string>{temp});
        TearDown();
        SetUp();
    }
}

TEST_F(Safety, AFileHeldAtTheSaveIsSavedByTheNextRunAndNothingIsLeftBeside) {
    QuillProcess first;
    const Opened run = Open(first);
    ASSERT_NE(run.note, nullptr);
    TypeIntoNoteBox(run, L" while held");
    {
        ASSERT_TRUE(first.WriteTempFile(L"nts.ini", NotesBytesOf("the old diary")));
        FileHolder holder(first.TempDir() + L"nts.ini", 3000);
        CloseWithOk(first, run);
    }
    EXPECT_EQ(Text(*Notes(first.ReadTempFile(L"nts.ini"))), "the old diary");

    QuillProcess next;
    next.ShareTempFolderWith(first);
    const Opened again = Open(next);
    ASSERT_NE(again.note, nullptr);
    EXPECT_NE(TextGbk(again.note).find("while held"), std::string::npos) << TextGbk(again.note);
    CloseWithOk(next, again);
    EXPECT_NE(Text(*Notes(next.ReadTempFile(L"nts.ini"))).find("while held"), std::string::npos);
    for (const std::wstring& name : next.TempFiles())
        EXPECT_EQ(name.find(L".new-"), std::wstring::npos) << "left beside: " << Utf8Name(name);
}

TEST_F(Safety, ATemporaryFolderRemovedWhileRunningIsMadeAgainForTheSave) {
    QuillProcess app;
    const Opened run = Open(app);
    ASSERT_NE(run.note, nullptr);
    TypeIntoNoteBox(run, L" after the clean-up");
    std::wstring folder = app.TempDir();
    folder.pop_back();
    for (const std::wstring& name : app.TempFiles())
        DeleteFileW((app.TempDir() + name).c_str());
    ASSERT_TRUE(RemoveDirectoryW(folder.c_str()));
    CloseWithOk(app, run);
    const std::optional<NoteMap> saved = Notes(app.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(saved) << "the save was lost with its folder";
    EXPECT_NE(Text(*saved).find("after the clean-up"), std::string::npos);
}

// The journal's folder taken away while the window runs, by a clean-up tool removing the whole
// safety folder, or so that it cannot be written again: typing after it still reaches a journal
// (the folder made again, or the next safety folder), and the start after a crash shows it.
TEST_F(Safety, TypingAfterTheSafetyFolderIsRemovedOrBlockedSurvivesACrash) {
    for (const bool blocked : {false, true}) {
        SCOPED_TRACE(blocked ? "cannot be made again" : "removed");
        QuillProcess killed;
        const Opened run = Open(killed);
        ASSERT_NE(run.note, nullptr);
        TypeIntoNoteBox(run, L"before");
        ASSERT_FALSE(WaitForJournal(killed, "before").empty());
        const std::wstring diary = DiaryFolder(killed);
        std::wstring withoutSeparator = diary;
        withoutSeparator.pop_back();
        std::error_code ec;
        std::filesystem::remove_all(blocked ? withoutSeparator : m_folder, ec);
        ASSERT_FALSE(ec) << ec.message();
        if (blocked) {
            // A file where the folder was: the folder cannot be made again, as with one turned
            // read-only, which Wine's folders cannot be.
            HANDLE blocker = CreateFileW(withoutSeparator.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(blocker, INVALID_HANDLE_VALUE);
            CloseHandle(blocker);
        }
        TypeIntoNoteBox(run, L" and after");
        // Found wherever the journal went: its own folder made again, or the next safety folder.
        const std::wstring other =
            DiaryFolderUnder(m_folder + L".safety\\", DiaryTag(FolderIdentity(killed.TempDir())));
        EXPECT_TRUE(WaitUntil(
            [&] {
                for (const std::wstring& folder : {diary, other}) {
                    for (const std::wstring& name : Journals(folder)) {
                        const std::optional<std::string> bytes = ReadWholeFile(folder + name);
                        if (bytes && bytes->find("before and after") != std::string::npos)
                            return true;
                    }
                }
                return false;
            },
            kJournalWaitMs))
            << "the typing after the folder went reached no journal";
        killed.Kill();

        QuillProcess next;
        next.ShareTempFolderWith(killed);
        const Opened again = Open(next);
        ASSERT_NE(again.note, nullptr);
        EXPECT_NE(TextGbk(again.note).find("before and after"), std::string::npos) << TextGbk(again.note);
        CloseWithOk(next, again);
        std::filesystem::remove_all(m_folder, ec);
        std::filesystem::remove_all(m_folder + L".safety", ec);
    }
}

// Text an input tool puts into the note box with WM_SETTEXT, with no key after it, reaches the
// journal as typing does.
TEST_F(Safety, TextPutIntoTheNoteBoxWithoutAKeyIsJournalled) {
    QuillProcess app;
    const Opened run = Open(app);
    ASSERT_NE(run.note, nullptr);
    SendMessageW(run.note, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"put in by a tool"));
    EXPECT_FALSE(WaitForJournal(app, "put in by a tool").empty())
        << "text put in without a key was not journalled";
    app.Kill();
}

} // namespace
} // namespace e2e::safety
