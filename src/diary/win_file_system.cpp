// The file layer on Win32: exclusive creates, flushed writes and one-step replaces.
#include "diary/win_file_system.h"

#include "diary/gb18030.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <new>

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
    explicit WinOutputFile(HANDLE handle) : m_handle(handle) {}
    ~WinOutputFile() override {
        if (m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
        }
    }
    WinOutputFile(const WinOutputFile&) = delete;
    WinOutputFile& operator=(const WinOutputFile&) = delete;

    FileError Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
            DWORD written = 0;
            if (!WriteFile(m_handle, bytes.data(), chunk, &written, nullptr)) {
                return LastError();
            }
            if (written == 0) {
                return FileError::kDiskFull;
            }
            bytes.remove_prefix(written);
        }
        return FileError::kNone;
    }

    FileError Flush() override { return FlushFileBuffers(m_handle) ? FileError::kNone : LastError(); }

    FileError Close() override {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) ? FileError::kNone : LastError();
    }

  private:
    HANDLE m_handle;
};

} // namespace

FileError WinFileSystem::CreateNew(const FsPath& path, std::unique_ptr<OutputFile>& file) {
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    file = std::make_unique<WinOutputFile>(handle);
    return FileError::kNone;
}

FileError WinFileSystem::ReadAll(const FsPath& path, std::string& bytes) {
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
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
    CloseHandle(handle);
    return result;
}

FileError WinFileSystem::CopyNew(const FsPath& source, const FsPath& target) {
    if (!CopyFileW(source.c_str(), target.c_str(), TRUE)) {
        const FileError error = LastError();
        // CopyFileW may leave part of a target it created; one that existed before is not ours.
        if (error != FileError::kExists) {
            DeleteFileW(target.c_str());
        }
        return error;
    }
    // CopyFileW does not flush: the copy must be on the disk before the original is replaced.
    const HANDLE handle =
        CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    FileError error = handle == INVALID_HANDLE_VALUE ? LastError() : FileError::kNone;
    if (handle != INVALID_HANDLE_VALUE) {
        if (!FlushFileBuffers(handle)) {
            error = LastError();
        }
        CloseHandle(handle);
    }
    if (error != FileError::kNone) {
        DeleteFileW(target.c_str());
    }
    return error;
}

FileError WinFileSystem::Replace(const FsPath& source, const FsPath& target) {
    // Not ReplaceFileW: Wine does that in several steps.
    return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? FileError::kNone
               : LastError();
}

FileError WinFileSystem::LinkNew(const FsPath& existing, const FsPath& target) {
    // The new name is a directory entry; the folder's entry is written through by the move that
    // puts it in place, as for every other file here.
    return CreateHardLinkW(target.c_str(), existing.c_str(), nullptr) ? FileError::kNone : LastError();
}

FileError WinFileSystem::Remove(const FsPath& path) {
    return DeleteFileW(path.c_str()) ? FileError::kNone : LastError();
}

bool WinFileSystem::Exists(const FsPath& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::uint64_t> WinFileSystem::ModifiedTime(const FsPath& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

void WinFileSystem::Pause(int milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}

FsPath GetTempFilePath(std::wstring_view name) {
    std::wstring folder(MAX_PATH + 1, L'\0');
    for (;;) {
        const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
        if (length == 0) {
            return {};
        }
        if (length < folder.size()) {
            folder.resize(length);
            break;
        }
        // Too small: length is the size needed, terminator included.
        folder.assign(length, L'\0');
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
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    // Each level from the top: CreateDirectoryW makes one folder at a time.
    for (std::size_t at = folder.find_first_of(L"\\/", 3);; at = folder.find_first_of(L"\\/", at + 1)) {
        const FsPath level = folder.substr(0, at);
        if (!CreateDirectoryW(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS &&
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
    const HANDLE search = FindFirstFileW((file + FsPath(suffix)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return paths;
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            paths.push_back(folder + found.cFileName);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
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
