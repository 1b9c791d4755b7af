// Saving and loading whole data files so that no fault of the disk or of another program loses
// what is on disk: the operations the algorithms need sit behind FileSystem, so tests can break
// each of them in turn.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using FsPath = std::wstring;

enum class FileError { kNone, kNotFound, kExists, kSharing, kAccessDenied, kDiskFull, kOther };

// A file being written. Destroying it without Close closes it quietly.
class OutputFile {
  public:
    virtual ~OutputFile() = default;
    // All of the bytes, or an error.
    virtual FileError Write(std::string_view bytes) = 0;
    // Down to the disk, not just out of the process.
    virtual FileError Flush() = 0;
    virtual FileError Close() = 0;
};

// Writes all of the bytes, flushes them to the disk and closes the file; the first error, if any.
// The file is closed either way.
FileError WriteFlushClose(OutputFile& file, std::string_view bytes);

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Creates a file that did not exist (kExists otherwise), open for writing, shared with nobody.
    virtual FileError CreateNew(const FsPath& path, std::unique_ptr<OutputFile>& file) = 0;
    virtual FileError ReadAll(const FsPath& path, std::string& bytes) = 0;
    // Copies source to a file that did not exist (kExists otherwise), flushed to disk, without
    // holding the whole file in memory. A copy that fails leaves no target behind.
    virtual FileError CopyNew(const FsPath& source, const FsPath& target) = 0;
    // Moves source over target in one step, replacing target if it exists, written through to disk.
    virtual FileError Replace(const FsPath& source, const FsPath& target) = 0;
    // Opens a file for appending, creating it when it is missing; what is written goes after what
    // is there. Only journals are written this way: a record cut short is read as the end.
    virtual FileError OpenAppend(const FsPath& path, std::unique_ptr<OutputFile>& file) {
        (void)path;
        (void)file;
        return FileError::kOther;
    }
    // The names of the files (not folders) directly in `folder`, which ends with a separator.
    virtual FileError ListFolder(const FsPath& folder, std::vector<FsPath>& names) {
        (void)folder;
        (void)names;
        return FileError::kOther;
    }
    // Makes the folder (ending with a separator) and every missing folder above it; kExists when a
    // file stands where a folder should be.
    virtual FileError MakeFolders(const FsPath& folder) {
        (void)folder;
        return FileError::kOther;
    }
    virtual FileError Remove(const FsPath& path) = 0;
    virtual bool Exists(const FsPath& path) = 0;
    // When the file was last written, in a unit that only grows (100 ns on Windows); nullopt when
    // it does not exist or the system will not say.
    virtual std::optional<std::uint64_t> ModifiedTime(const FsPath& path) = 0;
    virtual void Pause(int milliseconds) = 0;
};

// Sharing and access errors are retried this many times; the pauses between tries add up to
// 310 ms. Virus scanners, indexers and a second copy of the program hold files only that long.
inline constexpr int kBusyRetries = 5;
// A load is worth a longer wait: a backup or an indexer may hold the diary for a second or two
// at start, and a file given up on is not read this run at all. The pauses add up to 2050 ms.
inline constexpr int kLoadBusyRetries = 10;

enum class SaveOutcome {
    kSaved,      // the file now holds the bytes
    kKeptBeside, // the file is unchanged; the bytes are in a new file next to it, at keptAt
    kFailed,     // the file is unchanged and nothing was written
};

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::kFailed;
    FileError error = FileError::kNone; // what went wrong when not kSaved
    FsPath keptAt;
};

// Reads a whole file, retrying for about two seconds while another program holds it.
FileError LoadFile(FileSystem& fs, const FsPath& path, std::string& bytes);

// True when the file exists and holds exactly these bytes (one read, no waiting): a save of bytes
// already there can leave the file alone.
bool HoldsBytes(FileSystem& fs, const FsPath& path, std::string_view bytes);

// Removes a file, retrying briefly while another program holds it.
FileError RemoveFile(FileSystem& fs, const FsPath& path);
// Moves source over target in one step, retrying briefly while another program holds either.
FileError MoveOver(FileSystem& fs, const FsPath& source, const FsPath& target);

// True for the errors that mean another program holds the file, not that it is damaged.
bool IsBusy(FileError error);

// Writes the bytes to a new file "<path>.new-N" in the same folder, then moves it over path. A
// failure before the move removes the new file; a move that keeps failing leaves the new file
// where it is, so the bytes survive next to the old file.
SaveResult SaveFileAtomically(FileSystem& fs, const FsPath& path, std::string_view bytes);
// Hands a file's bytes on a piece at a time; stops at, and returns, the first error `put` gives.
using BytePieces = std::function<FileError(const std::function<FileError(std::string_view)>& put)>;
// The same save of bytes made while they are written, so a large file is never held whole.
SaveResult SaveFileAtomically(FileSystem& fs, const FsPath& path, const BytePieces& pieces);

// Writes the bytes, flushed, to a new file "<path>.new-N" under the first free N; `written` names
// it. Nothing is left behind on failure.
FileError WriteBeside(FileSystem& fs, const FsPath& path, std::string_view bytes, FsPath& written);

// Copies the file at path, byte for byte, to "<path>.unreadable-<stamp>", or with "-2", "-3", ...
// appended when that name is taken; an existing file is never overwritten. True when there is
// nothing to keep (no file) or the copy is complete; keptAt names the copy.
bool KeepAside(FileSystem& fs, const FsPath& path, std::string_view stamp, FsPath* keptAt = nullptr);

// The save of a data file. With keepOldAside (the file exists but could not be loaded), the old
// file is first copied aside; when that copy cannot be made the old file is left alone and the
// bytes are kept beside it instead.
SaveResult SaveDataFile(FileSystem& fs, const FsPath& path, std::string_view bytes, bool keepOldAside,
                        std::string_view stamp);
// The same save of bytes made while they are written, so a large file is never held whole.
SaveResult SaveDataFile(FileSystem& fs, const FsPath& path, const BytePieces& pieces, bool keepOldAside,
                        std::string_view stamp);

// "YYYYMMDD-HHMMSS", the stamp of a kept-aside copy.
std::string FileStamp(int year, int month, int day, int hour, int minute, int second);
