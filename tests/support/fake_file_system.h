// A folder in memory for tests of the file layer, with faults on demand: any call failing, a full
// disk, a read-only folder, a file held open by another program.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "files/file_store.h"

enum class FsOp { kCreate, kWrite, kFlush, kClose, kReplace, kRemove, kRead, kCount };

class FakeFileSystem : public FileSystem {
  public:
    std::map<FsPath, std::string> files;
    // Last write of each file on a clock that ticks once per create, write and move; a file
    // placed in `files` directly has no time until SetTime gives it one.
    std::map<FsPath, std::uint64_t> times;
    std::vector<int> pauses;

    // The n-th call of the kind from now on (1 for the next one) fails with the error. A write
    // that fails this way has written nothing.
    void FailNth(FsOp op, int n, FileError error);
    // All files together may hold this many bytes; a write beyond it writes what fits and fails.
    void SetCapacity(std::size_t bytes) { m_capacity = bytes; }
    // Nothing may be created, moved or removed in the folder.
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // Nothing may be created, moved or removed under these folders (each ending with a separator).
    std::set<FsPath> readOnlyFolders;
    // Folders removed while a program ran: nothing can be created under them until they are made
    // again. RemoveFolder takes their files with them.
    std::set<FsPath> goneFolders;
    void RemoveFolder(const FsPath& folder);
    // Another program holds the file without sharing it, for the given number of attempts to
    // touch it (-1: until ReleaseAll).
    void HoldOpen(const FsPath& path, int attempts = -1) { m_held[path] = attempts; }
    void ReleaseAll() { m_held.clear(); }

    // The process dies after this many more calls of any kind: from then on every call fails, and a
    // write it dies in leaves the first half of its bytes, as a power cut would.
    void KillAfter(int calls) { m_killIn = calls; }
    // The next run: calls work again.
    void Revive() { m_killIn = -1; }
    bool Dead() const { return m_killIn == 0; }

    int Calls(FsOp op) const { return m_calls[static_cast<int>(op)]; }
    int OpenFiles() const { return m_open; }

    FileError CreateNew(const FsPath& path, std::unique_ptr<OutputFile>& file) override;
    FileError ReadAll(const FsPath& path, std::string& bytes) override;
    // A read of the source and a create, write, flush and close of the target, each open to the
    // faults of its kind.
    FileError CopyNew(const FsPath& source, const FsPath& target) override;
    FileError Replace(const FsPath& source, const FsPath& target) override;
    FileError OpenAppend(const FsPath& path, std::unique_ptr<OutputFile>& file) override;
    FileError ListFolder(const FsPath& folder, std::vector<FsPath>& names) override;
    // Folders exist once made; a file named as a folder (or one above it) stands in the way.
    FileError MakeFolders(const FsPath& folder) override;
    std::set<FsPath> folders;
    FileError Remove(const FsPath& path) override;
    bool Exists(const FsPath& path) override { return files.count(path) != 0; }
    std::optional<std::uint64_t> ModifiedTime(const FsPath& path) override;
    void SetTime(const FsPath& path, std::uint64_t time) { times[path] = time; }
    // The clock's next tick; a test sets it to place later writes after the times it gave.
    void SetClock(std::uint64_t now) { m_clock = now; }
    void Pause(int milliseconds) override { pauses.push_back(milliseconds); }

  private:
    friend class FakeOutputFile;

    // Counts the call and returns the injected error, if this call is to fail.
    FileError Enter(FsOp op);
    // kSharing while the file is held, counting the attempt.
    bool Blocked(const FsPath& path);
    std::size_t Used() const;
    // Access denied (read-only) or not found (removed) for a change at the path; kNone otherwise.
    FileError Unwritable(const FsPath& path) const;

    struct Fault {
        FsOp op;
        int atCall;
        FileError error;
    };
    std::vector<Fault> m_faults;
    int m_calls[static_cast<int>(FsOp::kCount)] = {};
    std::map<FsPath, int> m_held;
    std::size_t m_capacity = static_cast<std::size_t>(-1);
    bool m_readOnly = false;
    int m_open = 0;
    int m_killIn = -1;
    std::uint64_t m_clock = 1000;
};
