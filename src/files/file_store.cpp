// Atomic saves, kept-aside copies and patient loads over the FileSystem seam.
#include "files/file_store.h"

#include <cstdio>

namespace {

constexpr int kBusyPauses[kBusyRetries] = {10, 30, 50, 90, 130};
constexpr int kLoadBusyPauses[kLoadBusyRetries] = {10, 30, 60, 100, 150, 200, 300, 400, 400, 400};
constexpr int kMaxNameTries = 1000;

template <typename Operation, int N>
FileError RetryWhileBusy(FileSystem& fs, const int (&pauses)[N], Operation operation) {
    FileError error = operation();
    for (int i = 0; i < N && IsBusy(error); ++i) {
        fs.Pause(pauses[i]);
        error = operation();
    }
    return error;
}

template <typename Operation> FileError RetryWhileBusy(FileSystem& fs, Operation operation) {
    return RetryWhileBusy(fs, kBusyPauses, operation);
}

FsPath Widen(std::string_view ascii) {
    return FsPath(ascii.begin(), ascii.end());
}

// The names tried for a new file: base1, base2, ... or base, base-2, base-3, ...
FsPath SeriesName(const FsPath& base, int n, bool numberFirst) {
    if (numberFirst) {
        return base + Widen(std::to_string(n));
    }
    return n == 1 ? base : base + L"-" + Widen(std::to_string(n));
}

// Creates a file under the first free name of the series and writes the bytes to it. Nothing is
// left behind on failure.
FileError WriteNewFile(FileSystem& fs, const FsPath& base, bool numberFirst, const BytePieces& pieces,
                       FsPath& written) {
    std::unique_ptr<OutputFile> file;
    FileError error = FileError::kExists;
    FsPath name;
    for (int n = 1; n <= kMaxNameTries && error == FileError::kExists; ++n) {
        name = SeriesName(base, n, numberFirst);
        error = fs.CreateNew(name, file);
    }
    if (error != FileError::kNone) {
        return error;
    }
    error = pieces([&](std::string_view piece) { return file->Write(piece); });
    if (error == FileError::kNone) {
        error = file->Flush();
    }
    const FileError closed = file->Close();
    error = error == FileError::kNone ? closed : error;
    file.reset();
    if (error != FileError::kNone) {
        RetryWhileBusy(fs, [&] { return fs.Remove(name); });
        return error;
    }
    written = name;
    return FileError::kNone;
}

FileError WriteNewFile(FileSystem& fs, const FsPath& base, bool numberFirst, std::string_view bytes,
                       FsPath& written) {
    return WriteNewFile(
        fs, base, numberFirst, [bytes](const auto& put) { return put(bytes); }, written);
}

SaveResult KeepBeside(FileSystem& fs, const FsPath& path, const BytePieces& pieces, FileError cause) {
    SaveResult result;
    result.error = cause;
    if (WriteNewFile(fs, path + L".new-", true, pieces, result.keptAt) == FileError::kNone) {
        result.outcome = SaveOutcome::kKeptBeside;
    }
    return result;
}

} // namespace

FileError WriteFlushClose(OutputFile& file, std::string_view bytes) {
    FileError error = file.Write(bytes);
    if (error == FileError::kNone) {
        error = file.Flush();
    }
    const FileError closed = file.Close();
    return error == FileError::kNone ? closed : error;
}

bool IsBusy(FileError error) {
    return error == FileError::kSharing || error == FileError::kAccessDenied;
}

template <int N>
FileError ReadWhole(FileSystem& fs, const int (&pauses)[N], const FsPath& path, std::string& bytes) {
    return RetryWhileBusy(fs, pauses, [&] {
        bytes.clear();
        return fs.ReadAll(path, bytes);
    });
}

FileError LoadFile(FileSystem& fs, const FsPath& path, std::string& bytes) {
    return ReadWhole(fs, kLoadBusyPauses, path, bytes);
}

bool HoldsBytes(FileSystem& fs, const FsPath& path, std::string_view bytes) {
    std::string held;
    return !path.empty() && fs.ReadAll(path, held) == FileError::kNone && held == bytes;
}

FileError RemoveFile(FileSystem& fs, const FsPath& path) {
    return RetryWhileBusy(fs, [&] { return fs.Remove(path); });
}

FileError MoveOver(FileSystem& fs, const FsPath& source, const FsPath& target) {
    return RetryWhileBusy(fs, [&] { return fs.Replace(source, target); });
}

SaveResult SaveFileAtomically(FileSystem& fs, const FsPath& path, std::string_view bytes) {
    return SaveFileAtomically(fs, path, [bytes](const auto& put) { return put(bytes); });
}

SaveResult SaveFileAtomically(FileSystem& fs, const FsPath& path, const BytePieces& pieces) {
    SaveResult result;
    if (path.empty()) {
        // A folder the system could not name: "" + ".new-1" would land in the current directory.
        result.error = FileError::kNotFound;
        return result;
    }
    FsPath fresh;
    result.error = WriteNewFile(fs, path + L".new-", true, pieces, fresh);
    if (result.error != FileError::kNone) {
        return result;
    }
    result.error = RetryWhileBusy(fs, [&] { return fs.Replace(fresh, path); });
    if (result.error == FileError::kNone) {
        result.outcome = SaveOutcome::kSaved;
    } else {
        // The new file is complete and flushed: it is the only copy of these bytes now.
        result.outcome = SaveOutcome::kKeptBeside;
        result.keptAt = fresh;
    }
    return result;
}

FileError WriteBeside(FileSystem& fs, const FsPath& path, std::string_view bytes, FsPath& written) {
    if (path.empty()) {
        return FileError::kNotFound;
    }
    return WriteNewFile(fs, path + L".new-", true, bytes, written);
}

bool KeepAside(FileSystem& fs, const FsPath& path, std::string_view stamp, FsPath* keptAt) {
    // Copied, not read into memory: the file kept aside may be the one that was too large to load.
    // A save is on the clock (the end of a session gives a few seconds): the short wait.
    const FsPath base = path + L".unreadable-" + Widen(stamp);
    FileError error = FileError::kExists;
    FsPath copy;
    for (int n = 1; n <= kMaxNameTries && error == FileError::kExists; ++n) {
        copy = SeriesName(base, n, false);
        error = RetryWhileBusy(fs, [&] { return fs.CopyNew(path, copy); });
    }
    if (error == FileError::kNotFound) {
        return true;
    }
    if (error != FileError::kNone) {
        return false;
    }
    if (keptAt) {
        *keptAt = copy;
    }
    return true;
}

SaveResult SaveDataFile(FileSystem& fs, const FsPath& path, std::string_view bytes, bool keepOldAside,
                        std::string_view stamp) {
    return SaveDataFile(
        fs, path, [bytes](const auto& put) { return put(bytes); }, keepOldAside, stamp);
}

SaveResult SaveDataFile(FileSystem& fs, const FsPath& path, const BytePieces& pieces, bool keepOldAside,
                        std::string_view stamp) {
    if (path.empty()) {
        return SaveFileAtomically(fs, path, pieces);
    }
    if (keepOldAside && !KeepAside(fs, path, stamp)) {
        return KeepBeside(fs, path, pieces, FileError::kOther);
    }
    return SaveFileAtomically(fs, path, pieces);
}

std::string FileStamp(int year, int month, int day, int hour, int minute, int second) {
    char text[80];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", year, month, day, hour, minute, second);
    return text;
}
