// The file layer on POSIX systems, for the native build of the command-line tool.
#pragma once

#include <string>
#include <string_view>

#include "files/file_store.h"

// A path's bytes travel one byte to a wchar_t, so any name the system takes, UTF-8 or not, comes
// back unchanged.
FsPath PosixPathOf(std::string_view bytes);
std::string PosixPathBytes(const FsPath& path);

class PosixFileSystem : public FileSystem {
  public:
    FileError CreateNew(const FsPath& path, std::unique_ptr<OutputFile>& file) override;
    FileError ReadAll(const FsPath& path, std::string& bytes) override;
    FileError CopyNew(const FsPath& source, const FsPath& target) override;
    // rename(2), then the folder flushed so the new name survives a power cut.
    FileError Replace(const FsPath& source, const FsPath& target) override;
    FileError Remove(const FsPath& path) override;
    bool Exists(const FsPath& path) override;
    // In Windows file time units (100 ns since 1601), as the rest of the file layer counts.
    std::optional<std::uint64_t> ModifiedTime(const FsPath& path) override;
    void Pause(int milliseconds) override;
};

// True when both paths name one existing file (the same device and inode).
bool PosixSameFile(const FsPath& a, const FsPath& b);
