// The file layer on POSIX: exclusive creates, fsync'd writes, rename over the old file.
#include "files/posix_file_system.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <new>

namespace {

FileError MapErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
        return FileError::kNotFound;
    case EEXIST:
        return FileError::kExists;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileError::kAccessDenied;
    case ENOSPC:
    case EDQUOT:
        return FileError::kDiskFull;
    default:
        return FileError::kOther;
    }
}

FileError LastError() {
    return MapErrno(errno);
}

class PosixOutputFile : public OutputFile {
  public:
    explicit PosixOutputFile(int fd) : m_fd(fd) {}
    ~PosixOutputFile() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    PosixOutputFile(const PosixOutputFile&) = delete;
    PosixOutputFile& operator=(const PosixOutputFile&) = delete;

    FileError Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t written = ::write(m_fd, bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return LastError();
            }
            if (written == 0) {
                return FileError::kDiskFull;
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        return FileError::kNone;
    }

    FileError Flush() override { return ::fsync(m_fd) == 0 ? FileError::kNone : LastError(); }

    FileError Close() override {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 ? FileError::kNone : LastError();
    }

  private:
    int m_fd;
};

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

FsPath PosixPathOf(std::string_view bytes) {
    FsPath path;
    for (const char c : bytes) {
        path.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    return path;
}

std::string PosixPathBytes(const FsPath& path) {
    std::string bytes;
    for (const wchar_t c : path) {
        bytes.push_back(static_cast<char>(c & 0xFF));
    }
    return bytes;
}

FileError PosixFileSystem::CreateNew(const FsPath& path, std::unique_ptr<OutputFile>& file) {
    const int fd = ::open(PosixPathBytes(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return LastError();
    }
    file = std::make_unique<PosixOutputFile>(fd);
    return FileError::kNone;
}

FileError PosixFileSystem::ReadAll(const FsPath& path, std::string& bytes) {
    const int fd = ::open(PosixPathBytes(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return LastError();
    }
    FileError result = FileError::kNone;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        result = LastError();
    } else if (S_ISDIR(info.st_mode)) {
        result = FileError::kOther;
    } else {
        try {
            char buffer[1 << 16];
            for (;;) {
                const ssize_t got = ::read(fd, buffer, sizeof buffer);
                if (got < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    result = LastError();
                    break;
                }
                if (got == 0) {
                    break;
                }
                bytes.append(buffer, static_cast<std::size_t>(got));
            }
        } catch (const std::bad_alloc&) {
            result = FileError::kOther;
        }
    }
    ::close(fd);
    return result;
}

FileError PosixFileSystem::CopyNew(const FsPath& source, const FsPath& target) {
    const int in = ::open(PosixPathBytes(source).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return LastError();
    }
    std::unique_ptr<OutputFile> out;
    FileError error = CreateNew(target, out);
    if (error != FileError::kNone) {
        ::close(in);
        return error;
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = LastError();
            break;
        }
        if (got == 0) {
            break;
        }
        error = out->Write(std::string_view(buffer, static_cast<std::size_t>(got)));
        if (error != FileError::kNone) {
            break;
        }
    }
    ::close(in);
    if (error == FileError::kNone) {
        error = out->Flush();
    }
    const FileError closed = out->Close();
    if (error == FileError::kNone) {
        error = closed;
    }
    if (error != FileError::kNone) {
        ::unlink(PosixPathBytes(target).c_str());
    }
    return error;
}

FileError PosixFileSystem::Replace(const FsPath& source, const FsPath& target) {
    const std::string to = PosixPathBytes(target);
    if (::rename(PosixPathBytes(source).c_str(), to.c_str()) != 0) {
        return LastError();
    }
    const int folder = ::open(FolderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return FileError::kNone;
}

FileError PosixFileSystem::Remove(const FsPath& path) {
    return ::unlink(PosixPathBytes(path).c_str()) == 0 ? FileError::kNone : LastError();
}

bool PosixFileSystem::Exists(const FsPath& path) {
    struct stat info {};
    return ::lstat(PosixPathBytes(path).c_str(), &info) == 0;
}

std::optional<std::uint64_t> PosixFileSystem::ModifiedTime(const FsPath& path) {
    struct stat info {};
    if (::stat(PosixPathBytes(path).c_str(), &info) != 0) {
        return std::nullopt;
    }
    const std::int64_t units = (static_cast<std::int64_t>(info.st_mtim.tv_sec) + 11644473600) * 10000000 +
                               info.st_mtim.tv_nsec / 100;
    return units < 0 ? 0 : static_cast<std::uint64_t>(units);
}

void PosixFileSystem::Pause(int milliseconds) {
    timespec wait{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000};
    while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

bool PosixSameFile(const FsPath& a, const FsPath& b) {
    struct stat first {
    }, second{};
    return ::stat(PosixPathBytes(a).c_str(), &first) == 0 &&
           ::stat(PosixPathBytes(b).c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}
