// One Quillidar per user and temporary folder: the mutex, the window record and the call to come forward.
#include "app/single_instance.h"

#include <sddl.h>

#include <string>
#include <vector>

#include "safety/instance_name.h"
#include "diary/notes_file.h"
#include "files/win_file_system.h"

// Both sides are this program. Windows keeps 32 significant bits in a window handle, 64-bit Windows
// included, so that programs of either width can pass one to the other: both fields fit a LONG, which
// every processor reads and writes whole.
struct SingleInstance::Record {
    volatile LONG window;
    volatile LONG pid;
};

namespace {

// Between two looks at the running copy while it is still starting.
constexpr DWORD kPollMs = 50;
// How long a start waits for a copy that shows no window at all (one saving a large diary on its
// way out) before it gives up; any window the copy shows in the meantime is brought forward.
constexpr ULONGLONG kWaitForEndingMs = 60000;

// A visible top-level window of process `pid`, the enabled one first: a box open over the calendar
// is what the user has to see. Null when the process shows none.
HWND VisibleWindowOf(DWORD pid) {
    struct Search {
        DWORD pid;
        HWND found;
    } search{pid, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            if (!::IsWindowVisible(window) || !::GetWindowThreadProcessId(window, &owner) || owner != s->pid)
                return TRUE;
            s->found = window;
            return !::IsWindowEnabled(window); // an enabled one ends the search
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The user's SID, which stays the same when the account is renamed; empty when it cannot be read.
std::wstring UserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    const ui::KernelHandle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0)
        return {};
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        return {};
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, &text))
        return {};
    std::wstring sid(text);
    ::LocalFree(text);
    return sid;
}

// The temporary folder the data files live in, as the file system names it: every spelling of one
// folder (a "\\?\" prefix, another drive letter for it, an 8.3 name, letter case, a junction) gives
// the same name, so two copies can never run on one diary.
std::wstring TempFolderForNaming() {
    const FsPath notes = GetTempFilePath(kNotesFileName);
    if (notes.empty())
        return {};
    const FsPath folder = notes.substr(0, notes.find_last_of(L"\\/") + 1);
    EnsureFolderOf(notes);
    return FolderIdentity(folder);
}

} // namespace

bool SingleInstance::ReadRecord(const wchar_t* recordName, HWND& window, DWORD& pid) {
    const ui::KernelHandle mapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, recordName));
    if (!mapping)
        return false;
    const void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(Record));
    if (!view)
        return false;
    const auto* record = static_cast<const Record*>(view);
    window = static_cast<HWND>(LongToHandle(record->window));
    pid = static_cast<DWORD>(record->pid);
    ::UnmapViewOfFile(view);
    return true;
}

bool SingleInstance::BringAnyWindowForward(const wchar_t* recordName) {
    HWND window = nullptr;
    DWORD pid = 0;
    if (!ReadRecord(recordName, window, pid) || pid == 0)
        return false;
    const HWND shown = VisibleWindowOf(pid);
    if (!shown)
        return false;
    // This process was just started by the user, so it may hand the foreground to another.
    ::AllowSetForegroundWindow(pid);
    ::SetForegroundWindow(shown);
    return true;
}

bool SingleInstance::AskRunningToComeForward(const wchar_t* recordName) {
    HWND window = nullptr;
    DWORD pid = 0;
    if (!ReadRecord(recordName, window, pid))
        return false;

    // A record left by a copy that has just ended may name a window that is gone, or a handle that
    // now belongs to someone else.
    DWORD owner = 0;
    if (!window || !::IsWindow(window) || !::GetWindowThreadProcessId(window, &owner) || owner != pid)
        return false;
    // The running copy sits in the background, and only the process the user has just started may
    // let it take the foreground.
    ::AllowSetForegroundWindow(pid);
    return ::PostMessageW(window, ComeForwardMessage(), 0, 0) != FALSE;
}

SingleInstance::~SingleInstance() {
    if (m_record)
        ::UnmapViewOfFile(m_record);
    m_recordMapping.reset();
    if (m_bOwner)
        ::ReleaseMutex(m_mutex.get());
}

bool SingleInstance::Claim() {
    const quill::InstanceNames names = quill::MakeInstanceNames(UserSid(), TempFolderForNaming());
    m_mutex.reset(::CreateMutexW(nullptr, FALSE, names.mutex.c_str()));
    // Without the mutex there is no telling whether another copy runs; the program runs, as it
    // always did.
    if (!m_mutex)
        return true;

    const ULONGLONG started = ::GetTickCount64();
    const ULONGLONG deadline = started + quill::kWaitForRunningMs;
    DWORD wait = 0;
    for (;;) {
        // Abandoned means the copy that held it was killed: its notes are in its journal, and this
        // start is the one to recover them.
        const DWORD got = ::WaitForSingleObject(m_mutex.get(), wait);
        if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) {
            m_bOwner = true;
            OpenRecord(names.window.c_str());
            return true;
        }
        // A failed wait tells nothing either.
        if (got != WAIT_TIMEOUT)
            return true;
        if (AskRunningToComeForward(names.window.c_str()))
            return false;
        // The running copy has published no window for a while: it is closing, or stuck behind
        // something it shows. The user who started this copy must see a window either way: the
        // running copy's if it shows one, else this one's once that copy has ended.
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline && BringAnyWindowForward(names.window.c_str()))
            return false;
        if (now >= started + kWaitForEndingMs)
            return false;
        wait = kPollMs;
    }
}

void SingleInstance::OpenRecord(const wchar_t* name) {
    // Backed by the paging file: no file appears in any folder.
    m_recordMapping.reset(
        ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Record), name));
    if (!m_recordMapping)
        return;
    m_record =
        static_cast<Record*>(::MapViewOfFile(m_recordMapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(Record)));
    if (!m_record)
        return;
    // A later start may still hold the record of a copy that was killed: none of it stays.
    ::InterlockedExchange(&m_record->window, 0);
    ::InterlockedExchange(&m_record->pid, static_cast<LONG>(::GetCurrentProcessId()));
}

void SingleInstance::Publish(HWND window) {
    if (m_record)
        ::InterlockedExchange(&m_record->window, HandleToLong(window));
}

UINT SingleInstance::ComeForwardMessage() {
    static const UINT message = ::RegisterWindowMessageW(quill::kComeForwardMessage);
    return message;
}
