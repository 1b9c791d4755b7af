// End-to-end tests of the safety folder: the temporary folder's files deleted between runs, a killed
// run, another diary's journal, one copy per temporary folder whatever its spelling, and the time
// the end of the session takes with a large diary. The safety folder belongs to the user, not to a
// run, so each test moves the user's own folder aside first and puts it back afterwards; these tests
// must not run side by side.
#include "safety_helpers.h"

#include <iostream>

namespace e2e::safety {
namespace {

constexpr DWORD kToolWaitMs = 20000;

TEST_F(Safety, DeletedTemporaryFilesComeBackFromTheCopies) {
    std::string shownText;
    RECT shownAt{};
    QuillProcess first;
    {
        const Opened run = Open(first);
        ASSERT_NE(run.note, nullptr);
        TypeIntoNoteBox(run, L" kept safe");
        Drag(run.window, {120, 10}, {160, 50});
        shownText = TextGbk(run.note);
        shownAt = WindowRect(run.window);
        ASSERT_NE(shownText.find("kept safe"), std::string::npos);
        CloseWithOk(first, run);

        EXPECT_EQ(DiaryFile(first, L"nts.ini"), first.ReadTempFile(L"nts.ini"));
        EXPECT_EQ(DiaryFile(first, L"qlw.ini"), first.ReadTempFile(L"qlw.ini"));
        SYSTEMTIME today{};
        GetLocalTime(&today);
        wchar_t dated[32];
        swprintf(dated, 32, L"nts-%04d%02d%02d.ini", today.wYear, today.wMonth, today.wDay);
        EXPECT_EQ(DiaryFile(first, dated), first.ReadTempFile(L"nts.ini"));
        EXPECT_TRUE(JournalsOf(first).empty());
        // The dated copy has bytes of its own: rewriting the safety copy in place leaves it alone.
        const HANDLE copy = CreateFileW((DiaryFolder(first) + L"nts.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(copy, INVALID_HANDLE_VALUE);
        SetFilePointer(copy, 6, nullptr, FILE_BEGIN);
        SetEndOfFile(copy);
        CloseHandle(copy);
        EXPECT_EQ(DiaryFile(first, dated), first.ReadTempFile(L"nts.ini"));
        // And a copy from a clock years ahead, of an older diary, never wins over the latest save.
        ASSERT_TRUE(
            WriteWholeFile(DiaryFolder(first) + L"nts-20990101.ini", NotesBytesOf("from a wrong clock")));
    }
    // The system cleaned the temporary folder.
    for (const std::wstring& name : first.TempFiles())
        ASSERT_TRUE(DeleteFileW((first.TempDir() + name).c_str()));
    QuillProcess second;
    second.ShareTempFolderWith(first);
    const Opened run = Open(second);
    ASSERT_NE(run.note, nullptr);
    EXPECT_EQ(TextGbk(run.note), shownText);
    const RECT at = WindowRect(run.window);
    EXPECT_EQ(at.left, shownAt.left);
    EXPECT_EQ(at.top, shownAt.top);
    CloseWithOk(second, run);
    const std::optional<NoteMap> saved = Notes(second.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(Text(*saved).find("wrong clock"), std::string::npos);
    EXPECT_EQ(DiaryFile(second, L"nts.ini"), second.ReadTempFile(L"nts.ini"));
}

TEST_F(Safety, AKilledRunGivesBackEveryFiledNoteAndTheNoteBox) {
    QuillProcess killed;
    // An empty diary in the temporary folder: the journal must win over it.
    ASSERT_TRUE(killed.WriteTempFile(L"nts.ini", std::string(4, '\0')));
    const Opened run = Open(killed);
    ASSERT_NE(run.note, nullptr);
    const std::optional<SYSTEMTIME> today = MonthCalSelection(killed.Handle(), run.calendar);
    ASSERT_TRUE(today);
    const SYSTEMTIME other = WeekAway(*today);

    TypeIntoNoteBox(run, L"alpha filed");
    const std::optional<POINT> otherAt = PointOfDay(killed.Handle(), run.calendar, other);
    ASSERT_TRUE(otherAt) << "no point of the calendar shows day " << other.wDay;
    Click(run.calendar, *otherAt);
    ASSERT_TRUE(WaitForJournal(killed, "alpha filed").size()) << "filing a note wrote no journal";
    TypeIntoNoteBox(run, L"beta typed");
    const std::wstring journal = WaitForJournal(killed, "beta typed");
    ASSERT_FALSE(journal.empty()) << "typing and pausing wrote no journal";
    killed.Kill();
    // Touched after the crash, as a backup restore or a sync client does, and stamped an hour ahead:
    // which file wins is never a matter of times.
    {
        const HANDLE temp = CreateFileW((killed.TempDir() + L"nts.ini").c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(temp, INVALID_HANDLE_VALUE);
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER ahead{{now.dwLowDateTime, now.dwHighDateTime}};
        ahead.QuadPart += 36000000000ULL;
        const FILETIME later{ahead.LowPart, ahead.HighPart};
        EXPECT_TRUE(SetFileTime(temp, nullptr, nullptr, &later));
        CloseHandle(temp);
    }

    QuillProcess next;
    next.ShareTempFolderWith(killed);
    const Opened again = Open(next);
    ASSERT_NE(again.note, nullptr);
    EXPECT_EQ(TextGbk(again.note), "alpha filed");
    EXPECT_TRUE(DiaryFile(next, journal)) << "the recovered journal went before the next save";
    const std::optional<POINT> otherAgain = PointOfDay(next.Handle(), again.calendar, other);
    ASSERT_TRUE(otherAgain);
    Click(again.calendar, *otherAgain);
    EXPECT_TRUE(WaitUntil([&] { return TextGbk(again.note) == "beta typed"; }, 2000)) << TextGbk(again.note);
    CloseWithOk(next, again);

    const std::optional<NoteMap> saved = Notes(next.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->GetNote(KeyOf(*today)), "alpha filed");
    EXPECT_EQ(saved->GetNote(KeyOf(other)), "beta typed");
    EXPECT_TRUE(JournalsOf(next).empty()) << Utf8Name(JournalsOf(next).front());
}

TEST_F(Safety, EscapeKeepsWhatWasTypedAsCloseDoes) {
    QuillProcess escaped;
    const Opened run = Open(escaped);
    ASSERT_NE(run.note, nullptr);
    TypeIntoNoteBox(run, L" journalled");
    ASSERT_FALSE(WaitForJournal(escaped, "journalled").empty());
    TypeIntoNoteBox(run, L" and escaped");
    Key(run.note, VK_ESCAPE);
    ASSERT_TRUE(escaped.WaitForExit());
    const std::optional<NoteMap> saved = Notes(escaped.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(saved) << "Escape threw the run away";
    EXPECT_NE(Text(*saved).find(" journalled and escaped"), std::string::npos) << Text(*saved);
    EXPECT_TRUE(escaped.ReadTempFile(L"qlw.ini"));
    EXPECT_TRUE(JournalsOf(escaped).empty());
    for (const std::wstring& name : FilesIn(DiaryFolder(escaped)))
        EXPECT_EQ(name.find(L"discarded"), std::wstring::npos) << Utf8Name(name);
}

TEST_F(Safety, SteadyTypingReachesTheJournalEveryTenSeconds) {
    QuillProcess killed;
    const Opened run = Open(killed);
    ASSERT_NE(run.note, nullptr);
    Click(run.note, {8, 8});
    Chord(run.window, {VK_CONTROL, VK_END});
    // A key every 0.1 s never leaves the two-second pause the journal otherwise waits for, and
    // comes faster than the window's check of whether the journal is due.
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; GetTickCount64() - start < 13000; ++i) {
        Type(run.window, std::wstring(1, static_cast<wchar_t>(L'a' + i % 26)));
        Pump(100);
    }
    killed.Kill();
    const std::vector<std::wstring> journals = JournalsOf(killed);
    ASSERT_EQ(journals.size(), 1u) << "nothing typed in 13 s reached the journal";
    const std::optional<std::string> journal = DiaryFile(killed, journals.front());
    ASSERT_TRUE(journal);
    EXPECT_NE(journal->find("abcdefghijklmnop"), std::string::npos);
}

TEST_F(Safety, AJournalServesOnlyItsOwnDiary) {
    QuillProcess crashed;
    const Opened a = Open(crashed);
    ASSERT_NE(a.note, nullptr);
    TypeIntoNoteBox(a, L" typed into the first diary");
    ASSERT_FALSE(WaitForJournal(crashed, "typed into the first diary").empty());
    crashed.Kill();

    // Another temporary folder is another diary: it shows and saves its own notes only.
    QuillProcess other;
    ASSERT_TRUE(other.WriteTempFile(L"nts.ini", NotesBytesOf("the second diary")));
    const Opened b = Open(other);
    ASSERT_NE(b.note, nullptr);
    CloseWithOk(other, b);
    const std::optional<NoteMap> second = Notes(other.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(second);
    EXPECT_EQ(Text(*second), "the second diary");

    QuillProcess again;
    again.ShareTempFolderWith(crashed);
    const Opened c = Open(again);
    ASSERT_NE(c.note, nullptr);
    EXPECT_NE(TextGbk(c.note).find("typed into the first diary"), std::string::npos) << TextGbk(c.note);
    CloseWithOk(again, c);
}

TEST_F(Safety, ALongTemporaryPathAndAFileWhereTheSafetyFolderShouldBeSaveAsUsual) {
    // A file stands where the safety folder goes, and the temporary folder is deep.
    ASSERT_TRUE(WriteWholeFile(m_folder, "not a folder"));
    QuillProcess app;
    std::wstring deep = app.TempDir();
    while (deep.size() < 300)
        deep += L"a-rather-long-folder-name\\";
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(L"\\\\?\\" + deep), ec);
    app.UseTempDir(deep);
    const Opened run = Open(app);
    ASSERT_NE(run.note, nullptr);
    TypeIntoNoteBox(run, L" deep down");
    CloseWithOk(app, run);
    const std::optional<std::string> saved = ReadWholeFile(L"\\\\?\\" + deep + L"nts.ini");
    ASSERT_TRUE(saved) << "nothing saved in a temporary folder of " << deep.size() << " characters";
    EXPECT_NE(saved->find("deep down"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(m_folder), std::optional<std::string>("not a folder"));
    const std::wstring copies = DiaryFolderUnder(m_folder + L".safety\\", DiaryTag(FolderIdentity(deep)));
    EXPECT_EQ(ReadWholeFile(L"\\\\?\\" + copies + L"nts.ini"), saved);
    DeleteFileW(m_folder.c_str());
    std::filesystem::remove_all(m_folder + L".safety", ec);
}

TEST_F(Safety, TheNotesToolWritesIntoNoRunningDiaryWhateverItsSpelling) {
    QuillProcess app;
    const Opened run = Open(app);
    ASSERT_NE(run.note, nullptr);
    TempFolder elsewhere;
    ASSERT_TRUE(elsewhere.Write(
        L"in.json", R"({"format": "quillidar-notes", "version": 1, "notes": [{"date": "2020-01-01", )"
                    R"("key": "010120", "text": "imported"}]})"));
    const std::wstring dir = app.TempDir();
    std::wstring lower = dir;
    for (wchar_t& c : lower)
        c = static_cast<wchar_t>(towlower(c));
    const std::wstring parent = dir.substr(0, dir.find_last_of(L'\\', dir.size() - 2) + 1);
    const std::wstring leaf = dir.substr(parent.size());
    std::vector<std::wstring> spellings = {dir + L"nts.ini", L"\\\\?\\" + dir + L"nts.ini",
                                           lower + L"NTS.INI", dir + L"..\\" + leaf + L"nts.ini"};
    // The same folder through a drive letter of its own, and by its short name, where the system has them.
    const bool mapped = DefineDosDeviceW(0, L"Q:", parent.substr(0, parent.size() - 1).c_str()) != 0;
    if (mapped)
        spellings.push_back(L"Q:\\" + leaf + L"nts.ini");
    wchar_t shortName[MAX_PATH] = {};
    const DWORD shortSize = GetShortPathNameW(dir.c_str(), shortName, MAX_PATH);
    if (shortSize > 0 && shortSize < MAX_PATH && std::wstring(shortName) != dir)
        spellings.push_back(std::wstring(shortName) + L"nts.ini");
    for (const std::wstring& into : spellings) {
        SCOPED_TRACE(Utf8Name(into));
        const ToolRun tool =
            RunNotesTool(L"import \"" + elsewhere.Path() + L"in.json\" --into \"" + into + L"\"",
                         elsewhere.Path(), {}, kToolWaitMs);
        ASSERT_TRUE(tool.code);
        EXPECT_NE(*tool.code, 0u) << "an import into the running widget's diary was let through";
    }
    if (mapped)
        DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"Q:", nullptr);
    std::cout << "[ spellings ] " << spellings.size() << " (drive letter "
              << (mapped ? "mapped" : "not mapped") << ")\n";
    EXPECT_FALSE(app.ReadTempFile(L"nts.ini")) << "the tool wrote under the running widget";
    CloseWithOk(app, run);
    // Once the widget is gone the same import goes through.
    const ToolRun after =
        RunNotesTool(L"import \"" + elsewhere.Path() + L"in.json\" --into \"" + dir + L"nts.ini\"",
                     elsewhere.Path(), {}, kToolWaitMs);
    EXPECT_EQ(after.code, std::optional<DWORD>(0)) << after.out;
}

TEST_F(Safety, ASecondStartCallsTheRunningCopyForwardAndTouchesNoFile) {
    QuillProcess first;
    // Both files there, for the second start to leave alone.
    ASSERT_TRUE(WriteSettingsAt(first, 200, 150));
    ASSERT_TRUE(first.WriteTempFile(L"nts.ini", std::string(4, '\0')));
    const Opened a = Open(first);
    ASSERT_NE(a.note, nullptr);
    TypeIntoNoteBox(a, L" from first");
    ASSERT_FALSE(WaitForJournal(first, "from first").empty());

    RECT covered = WindowRect(a.window);
    InflateRect(&covered, 20, 20);
    CoverWindow cover(covered);
    ASSERT_NE(cover.Get(), nullptr);
    const POINT middle{(covered.left + covered.right) / 2, (covered.top + covered.bottom) / 2};
    auto onTop = [&] { return GetAncestor(WindowFromPoint(middle), GA_ROOT); };
    ASSERT_TRUE(BringToFront(cover.Get()));
    ASSERT_TRUE(WaitUntil([&] { return onTop() == cover.Get(); }, 2000))
        << "the cover does not cover the window";

    const Files tempBefore = FilesOf(first.TempDir());
    const Files safetyBefore = FilesOf(DiaryFolder(first));
    ASSERT_EQ(tempBefore.size(), 2u);
    ASSERT_FALSE(safetyBefore.empty()) << "the first copy's journal";

    QuillProcess second;
    second.ShareTempFolderWith(first);
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(second.WaitForExit());
    EXPECT_LT(GetTickCount64() - start, ULONGLONG{quill::kWaitForRunningMs})
        << "the second start waited as if the first had no window";
    EXPECT_EQ(second.ExitCode(), std::optional<DWORD>(0));
    EXPECT_TRUE(second.ShownWindows().empty()) << "the second start showed a window";
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == a.window && onTop() == a.window; }, 3000))
        << "the first copy's window did not come forward";
    EXPECT_EQ(FilesOf(first.TempDir()), tempBefore);
    EXPECT_EQ(FilesOf(DiaryFolder(first)), safetyBefore);

    PostMessageW(a.window, WM_COMMAND, 56, 0);
    ASSERT_TRUE(first.WaitForExit());
    const std::optional<std::string> saved = first.ReadTempFile(L"nts.ini");
    ASSERT_TRUE(saved);
    EXPECT_NE(saved->find("from first"), std::string::npos);
    EXPECT_EQ(DiaryFile(first, L"nts.ini"), saved);
    EXPECT_TRUE(JournalsOf(first).empty()) << Utf8Name(JournalsOf(first).front());
}

TEST_F(Safety, TwoStartsAtOnceOnOneFolderShowOneWindow) {
    QuillProcess one;
    QuillProcess other;
    other.ShareTempFolderWith(one);
    ASSERT_TRUE(one.Start());
    ASSERT_TRUE(other.Start());
    // Whichever took the folder shows its window; the other waits for it, calls it and ends.
    ASSERT_TRUE(
        WaitUntil([&] { return !one.Running() || !other.Running(); }, quill::kWaitForRunningMs + 5000))
        << "both starts are still running";
    QuillProcess& running = one.Running() ? one : other;
    QuillProcess& ended = one.Running() ? other : one;
    HWND window = running.WaitForWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(ended.ShownWindows().empty()) << "the start that gave way showed a window";
    Key(window, VK_ESCAPE);
    EXPECT_TRUE(running.WaitForExit());
    // One diary, saved once: the start that gave way wrote nothing beside it.
    for (const std::wstring& name : running.TempFiles())
        EXPECT_TRUE(name == L"nts.ini" || name == L"qlw.ini") << Utf8Name(name);
}

TEST_F(Safety, CopiesOnDifferentTemporaryFoldersRunSideBySide) {
    QuillProcess first;
    QuillProcess second;
    // Apart on the screen, so that each copy is typed into.
    ASSERT_TRUE(WriteSettingsAt(first, 20, 20));
    ASSERT_TRUE(WriteSettingsAt(second, 400, 300));
    const Opened a = Open(first);
    ASSERT_NE(a.note, nullptr);
    const Opened b = Open(second);
    ASSERT_NE(b.note, nullptr);
    TypeIntoNoteBox(a, L" in the first folder");
    TypeIntoNoteBox(b, L" in the second folder");
    ASSERT_TRUE(first.Running());
    CloseWithOk(first, a);
    CloseWithOk(second, b);

    const std::optional<std::string> firstNotes = first.ReadTempFile(L"nts.ini");
    const std::optional<std::string> secondNotes = second.ReadTempFile(L"nts.ini");
    ASSERT_TRUE(firstNotes && secondNotes);
    EXPECT_NE(firstNotes->find("in the first folder"), std::string::npos);
    EXPECT_EQ(firstNotes->find("in the second folder"), std::string::npos);
    EXPECT_NE(secondNotes->find("in the second folder"), std::string::npos);
    EXPECT_EQ(secondNotes->find("in the first folder"), std::string::npos);
}

TEST_F(Safety, EndOfSessionSavesAHundredYearDiaryWellWithinTheSystemsFiveSeconds) {
    constexpr int kNotes = 36500;
    NoteMap diary;
    for (int i = 0; i < kNotes; ++i) {
        const std::int64_t day = 86400LL * (i + 1);
        diary.Append({DateKeyOfInstant(day + 43200),
                      "Note number " + std::to_string(i) + ": a day's lines of about this length.\r\n"});
    }
    const std::string bytes = EncodeNotes(diary);
    QuillProcess app;
    ASSERT_TRUE(app.WriteTempFile(L"nts.ini", bytes));
    const Opened run = Open(app);
    ASSERT_NE(run.window, nullptr);
    TypeIntoNoteBox(run, L" and one more");

    DWORD_PTR result = 0;
    const ULONGLONG start = GetTickCount64();
    const LRESULT answered =
        SendMessageTimeoutW(run.window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 20000, &result);
    const ULONGLONG ms = GetTickCount64() - start;
    ASSERT_NE(answered, 0) << "WM_ENDSESSION was not answered";
    std::cout << "[ timing ] WM_ENDSESSION with " << kNotes << " notes (" << bytes.size() << " bytes): " << ms
              << " ms\n";
    RecordProperty("end_session_ms", static_cast<int>(ms));
    EXPECT_LT(ms, 5000u);
    ASSERT_TRUE(app.WaitForExit());
    const std::optional<NoteMap> saved = Notes(app.ReadTempFile(L"nts.ini"));
    ASSERT_TRUE(saved);
    EXPECT_GE(saved->size(), static_cast<std::size_t>(kNotes) - 1);
    EXPECT_EQ(DiaryFile(app, L"nts.ini"), app.ReadTempFile(L"nts.ini"));
}

} // namespace
} // namespace e2e::safety
