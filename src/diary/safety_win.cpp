// The safety folder on Win32, and the crash journal of the running window: written when a note is
// filed and once typing has paused, removed when the notes are saved or the run is discarded.
#include "diary/safety_win.h"

#include <windows.h>
#include <shlobj.h>

#include "app/calendar_dlg.h"
#include "diary/notes_file.h"
#include "diary/win_file_system.h"
#include "ui/text.h"

namespace {

// FOLDERID_LocalAppData, spelled out so that no GUID library is linked in for one value.
constexpr GUID kLocalAppDataFolder = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

FsPath SafetyFolderPath() {
    PWSTR base = nullptr;
    FsPath folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(kLocalAppDataFolder, 0, nullptr, &base)) && base && base[0]) {
        folder = base;
        if (folder.back() != L'\\' && folder.back() != L'/')
            folder.push_back(L'\\');
        folder += kSafetyFolderName;
        folder.push_back(L'\\');
    }
    ::CoTaskMemFree(base);
    return folder;
}

SafetyFolderView ReadSafetyFolder() {
    SafetyFolderView view;
    view.folder = SafetyFolderPath();
    if (view.folder.empty())
        return view;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((view.folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return view;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            view.names.emplace_back(found.cFileName);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return view;
}

bool EnsureSafetyFolder(const FsPath& folder) {
    if (folder.empty())
        return false;
    return ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

RunId CurrentRun() {
    RunId run;
    run.pid = ::GetCurrentProcessId();
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
        run.started = Ticks(created);
    return run;
}

bool RunIsRunning(const RunId& run) {
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, run.pid);
    if (!process) {
        // Denied means some process holds the id and we may not look at it: leave its journal be.
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    }
    bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (running && ::GetProcessTimes(process, &created, &exited, &kernel, &user) &&
        Ticks(created) != run.started)
        running = false;
    ::CloseHandle(process);
    return running;
}

int LocalDayNumber() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return now.wYear * 10000 + now.wMonth * 100 + now.wDay;
}

// Called on every clock tick: must not allocate unless a journal is due.
void CCalendarDlg::JournalTick() {
    // Typing is noticed as it happens (EN_CHANGE), so an idle tick reads two members and no more.
    if (!m_bJournalDue)
        return;
    const ULONGLONG now = ::GetTickCount64();
    // After a pause in the typing, and also while it goes on without one: a steady typist must
    // not lose more than the last few seconds to a crash.
    if (now - m_nTypedAt >= static_cast<ULONGLONG>(kJournalQuietMs) ||
        now - m_nDueSince >= static_cast<ULONGLONG>(kJournalLongestMs)) {
        if (!WriteJournal()) {
            // Try again after another pause, not on every tick.
            m_nTypedAt = now;
            m_nDueSince = now;
        }
    }
}

void CCalendarDlg::NoticeTyping() {
    // The flag is taken down here so that the next keystroke raises it again and restarts the pause.
    if (m_edit && ::SendMessageW(m_edit, EM_GETMODIFY, 0, 0)) {
        ::SendMessageW(m_edit, EM_SETMODIFY, FALSE, 0);
        m_bNoteEdited = true;
        m_nTypedAt = ::GetTickCount64();
        if (!m_bJournalDue)
            m_nDueSince = m_nTypedAt;
        m_bJournalDue = true;
    }
}

void CCalendarDlg::JournalNoteFiled() {
    // Showing the new day's note cleared the edit box's flag: typing was noticed just before.
    if (m_bJournalDue)
        WriteJournal();
}

bool CCalendarDlg::WriteJournal() {
    // A diary that was never read must not be journalled: the journal would win over the file.
    if (!m_bNotesLoaded)
        return false;
    try {
        WinFileSystem fs;
        const FsPath folder = SafetyFolderPath();
        if (!EnsureSafetyFolder(folder))
            return false;
        // What the OK path would save, without touching the list itself.
        const std::string bytes = EncodeNotesWithNote(m_notes, m_strDateKey, CurrentNoteText());
        const FsPath path = folder + JournalName(CurrentRun());
        if (!WriteSafetyFile(fs, path, bytes))
            return false;
        m_strJournalPath = path;
        m_bJournalDue = false;
        return true;
    } catch (...) {
        return false;
    }
}

void CCalendarDlg::CloseJournal(bool bNotesSaved) {
    WinFileSystem fs;
    if (!bNotesSaved) {
        // The journal is now the only place that holds this run's notes.
        WriteJournal();
        return;
    }
    // Removed with the patience of every other file step: a journal left behind is older than the
    // save, so the next start would only keep it, but it should not be there at all.
    if (!m_strJournalPath.empty())
        RemoveFile(fs, m_strJournalPath);
    m_strJournalPath.clear();
    m_bJournalDue = false;
    SettleOrphanJournals(fs, m_recovery);
    m_recovery.orphanJournals.clear();
}

void CCalendarDlg::DiscardJournal() {
    // Escape means "do not save this run", not "destroy what I typed": this run's journal, brought
    // up to date, is set aside under a name no start ever loads. A journal recovered at start stays
    // where it is until notes are saved.
    if (m_bJournalDue)
        WriteJournal();
    m_bJournalDue = false;
    if (m_strJournalPath.empty())
        return;
    WinFileSystem fs;
    const std::size_t slash = m_strJournalPath.find_last_of(L"\\/");
    const FsPath discarded = m_strJournalPath.substr(0, slash + 1) + DiscardedJournalName(CurrentRun());
    if (MoveOver(fs, m_strJournalPath, discarded) == FileError::kNone)
        m_strJournalPath.clear();
}
