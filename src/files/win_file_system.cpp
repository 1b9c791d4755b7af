// The file layer on Win32: exclusive creates, flushed writes and one-step replaces.
#include "files/win_file_system.h"

#include "text/gb18030.h"
#include "ui/handle.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <limits>
#include <new>
#include <utility>

namespace {

FileError MapError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return FileError::kNotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return FileError::kExists;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return FileError::kSharing;
    case ERROR_ACCESS_DENIED:
        return FileError::kAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FileError::kDiskFull;
    default:
        return FileError::kOther;
    }
}

FileError LastError() {
    return MapError(GetLastError());
}

class WinOutputFile : public OutputFile {
  public:
    explicit WinOutputFile(ui::FileHandle handle) : m_handle(std::move(handle)) {}

    FileError Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
            DWORD written = 0;
            if (!WriteFile(m_handle.get(), bytes.data(), chunk, &written, nullptr)) {
                return LastError();
            }
            if (written == 0) {
                return FileError::kDiskFull;
            }
            bytes.remove_prefix(written);
        }
        return FileError::kNone;
    }

    FileError Flush() override { return FlushFileBuffers(m_handle.get()) ? FileError::kNone : LastError(); }

    FileError Close() override {
        // The one close whose result matters: a failing close may be the write that did not reach the disk.
        return CloseHandle(m_handle.release()) ? FileError::kNone : LastError();
    }

  private:
    ui::FileHandle m_handle;
};

// A file opened for writing only, shared with nobody while it is open: a new one or one to append to.
FileError OpenOutput(const FsPath& path, DWORD access, DWORD disposition, std::unique_ptr<OutputFile>& file) {
    // Owned from the first moment: a failing allocation of the file object below closes it.
    ui::FileHandle handle(
        CreateFileW(LongPath(path).c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        return LastError();
    }
    try {
        file = std::make_unique<WinOutputFile>(std::move(handle));
    } catch (const std::bad_alloc&) {
        return FileError::kOther;
    }
    return FileError::kNone;
}

} // namespace

FileError WinFileSystem::CreateNew(const FsPath& path, std::unique_ptr<OutputFile>& file) {
    return OpenOutput(path, GENERIC_WRITE, CREATE_NEW, file);
}

FileError WinFileSystem::ReadAll(const FsPath& path, std::string& bytes) {
    const ui::FileHandle file(CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return LastError();
    }
    const HANDLE handle = file.get();
    FileError result = FileError::kNone;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size)) {
        result = LastError();
    } else if (static_cast<unsigned long long>(size.QuadPart) > std::numeric_limits<std::size_t>::max() / 2) {
        result = FileError::kOther;
    } else {
        try {
            bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
            std::size_t done = 0;
            while (done < bytes.size()) {
                const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
                DWORD got = 0;
                if (!ReadFile(handle, bytes.data() + done, chunk, &got, nullptr)) {
                    result = LastError();
                    break;
                }
                if (got == 0) {
                    // The file shrank while it was read; what arrived is the whole of it.
                    bytes.resize(done);
                    break;
                }
                done += got;
            }
        } catch (const std::bad_alloc&) {
            result = FileError::kOther;
        }
    }
    return result;
}

FileError WinFileSystem::CopyNew(const FsPath& source, const FsPath& target) {
    if (!CopyFileW(LongPath(source).c_str(), LongPath(target).c_str(), TRUE)) {
        const FileError error = LastError();
        // CopyFileW may leave part of a target it created; one that existed before is not ours.
        if (error != FileError::kExists) {
            DeleteFileW(LongPath(target).c_str());
        }
        return error;
    }
    // CopyFileW does not flush: the copy must be on the disk before the original is replaced.
    FileError error = FileError::kNone;
    {
        const ui::FileHandle copy(CreateFileW(LongPath(target).c_str(), GENERIC_WRITE, 0, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!copy) {
            error = LastError();
        } else if (!FlushFileBuffers(copy.get())) {
            error = LastError();
        }
    }
    if (error != FileError::kNone) {
        DeleteFileW(LongPath(target).c_str());
    }
    return error;
}

FileError WinFileSystem::Replace(const FsPath& source, const FsPath& target) {
    // Not ReplaceFileW: Wine does that in several steps.
    return MoveFileExW(LongPath(source).c_str(), LongPath(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? FileError::kNone
               : LastError();
}

FileError WinFileSystem::OpenAppend(const FsPath& path, std::unique_ptr<OutputFile>& file) {
    return OpenOutput(path, FILE_APPEND_DATA, OPEN_ALWAYS, file);
}

FileError WinFileSystem::ListFolder(const FsPath& folder, std::vector<FsPath>& names) {
    names.clear();
    WIN32_FIND_DATAW found{};
    const ui::FindHandle search(FindFirstFileW(LongPath(folder + L"*").c_str(), &found));
    if (!search) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? FileError::kNone : MapError(error);
    }
    FileError result = FileError::kNone;
    try {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                names.emplace_back(found.cFileName);
            }
        } while (FindNextFileW(search.get(), &found));
        // The end of the list, or a fault part-way through it: a partial list must not pass as whole.
        if (GetLastError() != ERROR_NO_MORE_FILES) {
            result = LastError();
        }
    } catch (...) {
        result = FileError::kOther;
    }
    return result;
}

FileError WinFileSystem::MakeFolders(const FsPath& folder) {
    FsPath path = folder;
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    if (path.empty()) {
        return FileError::kNotFound;
    }
    const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileError::kNone : FileError::kExists;
    }
    // Each missing level from the top: CreateDirectoryW makes one folder at a time.
    const std::size_t first = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\'
                                  ? path.find_first_of(L"\\/", path.find_first_of(L"\\/", 2) + 1)
                                  : path.find_first_of(L"\\/", 3);
    for (std::size_t at = first;; at = path.find_first_of(L"\\/", at + 1)) {
        const FsPath level = path.substr(0, at);
        if (!CreateDirectoryW(LongPath(level).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            if (at == FsPath::npos) {
                return LastError();
            }
        }
        if (at == FsPath::npos) {
            break;
        }
    }
    const DWORD made = GetFileAttributesW(LongPath(path).c_str());
    if (made == INVALID_FILE_ATTRIBUTES) {
        return LastError();
    }
    return (made & FILE_ATTRIBUTE_DIRECTORY) ? FileError::kNone : FileError::kExists;
}

FileError WinFileSystem::Remove(const FsPath& path) {
    return DeleteFileW(LongPath(path).c_str()) ? FileError::kNone : LastError();
}

bool WinFileSystem::Exists(const FsPath& path) {
    return GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::uint64_t> WinFileSystem::ModifiedTime(const FsPath& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

void WinFileSystem::Pause(int milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}

FsPath LongPath(const FsPath& path) {
    if (path.size() < MAX_PATH - 12 || path.compare(0, 4, L"\\\\?\\") == 0) {
        return path;
    }
    FsPath slashed = path;
    std::replace(slashed.begin(), slashed.end(), L'/', L'\\');
    if (slashed.size() >= 3 && slashed[1] == L':' && slashed[2] == L'\\') {
        return L"\\\\?\\" + slashed;
    }
    if (slashed.compare(0, 2, L"\\\\") == 0) {
        return L"\\\\?\\UNC\\" + slashed.substr(2);
    }
    return path;
}

namespace {

std::wstring Upper(const std::wstring& text) {
    const int size = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(),
                                   static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr, 0);
    if (size <= 0) {
        return text;
    }
    std::wstring upper(static_cast<std::size_t>(size), L'\0');
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), static_cast<int>(text.size()),
                      upper.data(), size, nullptr, nullptr, 0) <= 0) {
        return text;
    }
    return upper;
}

// "C:\\a\\b\\" from "\\\\?\\C:\\a\\b" or "\\\\?\\UNC\\s\\x": one spelling for the identity.
std::wstring PlainFolder(std::wstring path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        path = L"\\\\" + path.substr(8);
    } else if (path.compare(0, 4, L"\\\\?\\") == 0) {
        path = path.substr(4);
    }
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (path.empty() || path.back() != L'\\') {
        path.push_back(L'\\');
    }
    return path;
}

// Opened for its name and identity alone: no access asked, every sharing allowed, a folder as well
// as a file.
ui::FileHandle OpenForIdentity(const FsPath& path) {
    return ui::FileHandle(CreateFileW(LongPath(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::wstring VolumeFileIdentity(const BY_HANDLE_FILE_INFORMATION& info) {
    wchar_t text[64] = {};
    swprintf(text, 64, L"VOLUME-%08lX-FILE-%08lX%08lX", static_cast<unsigned long>(info.dwVolumeSerialNumber),
             static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow));
    return text;
}

} // namespace

std::wstring FolderIdentity(const FsPath& folder) {
    if (folder.empty()) {
        return {};
    }
    // The volume and the file id first: two names that differ only in letter case on a
    // case-sensitive volume are two folders, and a second mount of one folder is that folder.
    {
        const ui::FileHandle opened = OpenForIdentity(folder);
        BY_HANDLE_FILE_INFORMATION info{};
        if (opened && GetFileInformationByHandle(opened.get(), &info) &&
            (info.nFileIndexHigh != 0 || info.nFileIndexLow != 0)) {
            return VolumeFileIdentity(info);
        }
    }
    return FolderPathIdentity(folder);
}

std::wstring FolderPathIdentity(const FsPath& folder) {
    if (folder.empty()) {
        return {};
    }
    ui::FileHandle opened = OpenForIdentity(folder);
    if (opened) {
        const HANDLE handle = opened.get();
        std::wstring final(1024, L'\0');
        DWORD got = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (got >= final.size()) {
            final.assign(got + 1, L'\0');
            got = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        }
        BY_HANDLE_FILE_INFORMATION info{};
        const bool haveInfo = GetFileInformationByHandle(handle, &info) != 0;
        opened.reset();
        if (got > 0 && got < final.size()) {
            final.resize(got);
            return Upper(PlainFolder(final));
        }
        if (haveInfo) {
            return VolumeFileIdentity(info);
        }
    }
    // The folder cannot be opened: its full, long spelling is the best the system can say.
    std::wstring full(32768, L'\0');
    const DWORD size =
        GetFullPathNameW(LongPath(folder).c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (size > 0 && size < full.size()) {
        full.resize(size);
    } else {
        full = folder;
    }
    std::wstring longForm(32768, L'\0');
    const DWORD longSize =
        GetLongPathNameW(full.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
    if (longSize > 0 && longSize < longForm.size()) {
        longForm.resize(longSize);
        full = longForm;
    }
    return Upper(PlainFolder(full));
}

namespace {

std::wstring EnvironmentValue(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    const DWORD got = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(got < size ? got : 0);
    return value;
}

// The temporary folder as GetTempPathW finds it (TMP, then TEMP, then the profile), for a folder
// that API refuses: it answers nothing at all for one of MAX_PATH characters or more, and the notes
// would then have no home but the journal.
std::wstring LongTempFolder() {
    for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE"}) {
        std::wstring value = EnvironmentValue(name);
        if (value.empty()) {
            continue;
        }
        const DWORD size = GetFullPathNameW(value.c_str(), 0, nullptr, nullptr);
        if (size == 0) {
            return value;
        }
        std::wstring full(size, L'\0');
        const DWORD got = GetFullPathNameW(value.c_str(), size, full.data(), nullptr);
        if (got > 0 && got < size) {
            full.resize(got);
            return full;
        }
        return value;
    }
    return {};
}

} // namespace

FsPath GetTempFilePath(std::wstring_view name) {
    std::wstring folder(MAX_PATH + 1, L'\0');
    for (;;) {
        const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
        if (length == 0) {
            folder = LongTempFolder();
            break;
        }
        if (length < folder.size()) {
            folder.resize(length);
            break;
        }
        // Too small: length is the size needed, terminator included.
        folder.assign(length, L'\0');
    }
    if (folder.compare(0, 4, L"\\\\?\\") == 0 && folder.compare(0, 8, L"\\\\?\\UNC\\") != 0) {
        folder.erase(0, 4);
    }
    const bool drive = folder.size() >= 3 && folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/');
    const bool unc = folder.size() >= 3 && folder[0] == L'\\' && folder[1] == L'\\';
    if (!drive && !unc) {
        return {};
    }
    if (folder.back() != L'\\' && folder.back() != L'/') {
        folder.push_back(L'\\');
    }
    return folder + FsPath(name);
}

bool EnsureFolderOf(const FsPath& file) {
    const std::size_t slash = file.find_last_of(L"\\/");
    if (slash == FsPath::npos || slash == 0) {
        return false;
    }
    const FsPath folder = file.substr(0, slash);
    const DWORD attributes = GetFileAttributesW(LongPath(folder).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    // Each level from the top: CreateDirectoryW makes one folder at a time.
    for (std::size_t at = folder.find_first_of(L"\\/", 3);; at = folder.find_first_of(L"\\/", at + 1)) {
        const FsPath level = folder.substr(0, at);
        if (!CreateDirectoryW(LongPath(level).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS &&
            at == FsPath::npos) {
            return false;
        }
        if (at == FsPath::npos) {
            return true;
        }
    }
}

std::vector<FsPath> FilesBeside(const FsPath& file, std::wstring_view suffix) {
    std::vector<FsPath> paths;
    const std::size_t slash = file.find_last_of(L"\\/");
    const FsPath folder = slash == FsPath::npos ? FsPath() : file.substr(0, slash + 1);
    if (folder.empty()) {
        return paths;
    }
    WIN32_FIND_DATAW found{};
    const ui::FindHandle search(FindFirstFileW(LongPath(file + FsPath(suffix)).c_str(), &found));
    if (!search) {
        return paths;
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            paths.push_back(folder + found.cFileName);
        }
    } while (FindNextFileW(search.get(), &found));
    // A fault part-way through the list: what was found is all the caller gets, and it tells nothing
    // more than that here (only leftovers are looked for this way, and a missed one is met next time).
    return paths;
}

std::string NarrowFromUtf16(std::u16string_view text) {
    return Gb18030FromUtf16(text);
}

std::string LocalFileStamp() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return FileStamp(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}
