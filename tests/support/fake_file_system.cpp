// A folder in memory with faults on demand.
#include "fake_file_system.h"

class FakeOutputFile : public OutputFile {
  public:
    FakeOutputFile(FakeFileSystem& fs, FsPath path) : m_fs(fs), m_path(std::move(path)) { ++m_fs.m_open; }
    ~FakeOutputFile() override {
        if (!m_closed) {
            --m_fs.m_open;
        }
    }

    FileError Write(std::string_view bytes) override {
        if (m_fs.m_killIn == 1 && !m_closed) {
            m_fs.m_killIn = 0;
            m_fs.files[m_path].append(bytes.substr(0, bytes.size() / 2));
            return FileError::kOther;
        }
        if (const FileError injected = m_fs.Enter(FsOp::kWrite); injected != FileError::kNone) {
            return injected;
        }
        if (m_closed) {
            return FileError::kOther;
        }
        const std::size_t used = m_fs.Used();
        const std::size_t room = m_fs.m_capacity > used ? m_fs.m_capacity - used : 0;
        std::string& content = m_fs.files[m_path];
        m_fs.times[m_path] = m_fs.m_clock++;
        if (bytes.size() > room) {
            content.append(bytes.substr(0, room));
            return FileError::kDiskFull;
        }
        content.append(bytes);
        return FileError::kNone;
    }

    FileError Flush() override {
        if (const FileError injected = m_fs.Enter(FsOp::kFlush); injected != FileError::kNone) {
            return injected;
        }
        return m_closed ? FileError::kOther : FileError::kNone;
    }

    FileError Close() override {
        if (m_closed) {
            return FileError::kOther;
        }
        m_closed = true;
        --m_fs.m_open;
        // Like CloseHandle, a failing close still closes.
        return m_fs.Enter(FsOp::kClose);
    }

  private:
    FakeFileSystem& m_fs;
    FsPath m_path;
    bool m_closed = false;
};

void FakeFileSystem::FailNth(FsOp op, int n, FileError error) {
    m_faults.push_back({op, m_calls[static_cast<int>(op)] + n, error});
}

FileError FakeFileSystem::Enter(FsOp op) {
    const int call = ++m_calls[static_cast<int>(op)];
    if (m_killIn == 0) {
        return FileError::kOther;
    }
    if (m_killIn > 0 && --m_killIn == 0) {
        return FileError::kOther;
    }
    for (const Fault& fault : m_faults) {
        if (fault.op == op && fault.atCall == call) {
            return fault.error;
        }
    }
    return FileError::kNone;
}

bool FakeFileSystem::Blocked(const FsPath& path) {
    const auto held = m_held.find(path);
    if (held == m_held.end()) {
        return false;
    }
    if (held->second > 0 && --held->second == 0) {
        m_held.erase(held);
    }
    return true;
}

std::size_t FakeFileSystem::Used() const {
    std::size_t used = 0;
    for (const auto& [path, content] : files) {
        used += content.size();
    }
    return used;
}

FileError FakeFileSystem::Unwritable(const FsPath& path) const {
    for (const FsPath& folder : readOnlyFolders) {
        if (path.compare(0, folder.size(), folder) == 0) {
            return FileError::kAccessDenied;
        }
    }
    for (const FsPath& folder : goneFolders) {
        if (path.compare(0, folder.size(), folder) == 0) {
            return FileError::kNotFound;
        }
    }
    return FileError::kNone;
}

void FakeFileSystem::RemoveFolder(const FsPath& folder) {
    for (auto it = files.lower_bound(folder);
         it != files.end() && it->first.compare(0, folder.size(), folder) == 0;) {
        times.erase(it->first);
        it = files.erase(it);
    }
    for (auto it = folders.lower_bound(folder);
         it != folders.end() && it->compare(0, folder.size(), folder) == 0;) {
        it = folders.erase(it);
    }
    goneFolders.insert(folder);
}

FileError FakeFileSystem::CreateNew(const FsPath& path, std::unique_ptr<OutputFile>& file) {
    if (const FileError injected = Enter(FsOp::kCreate); injected != FileError::kNone) {
        return injected;
    }
    if (m_readOnly) {
        return FileError::kAccessDenied;
    }
    if (const FileError denied = Unwritable(path); denied != FileError::kNone) {
        return denied;
    }
    if (files.count(path)) {
        return FileError::kExists;
    }
    files[path];
    times[path] = m_clock++;
    file = std::make_unique<FakeOutputFile>(*this, path);
    return FileError::kNone;
}

FileError FakeFileSystem::ReadAll(const FsPath& path, std::string& bytes) {
    if (const FileError injected = Enter(FsOp::kRead); injected != FileError::kNone) {
        return injected;
    }
    if (Blocked(path)) {
        return FileError::kSharing;
    }
    const auto found = files.find(path);
    if (found == files.end()) {
        return FileError::kNotFound;
    }
    bytes = found->second;
    return FileError::kNone;
}

FileError FakeFileSystem::CopyNew(const FsPath& source, const FsPath& target) {
    std::string bytes;
    FileError error = ReadAll(source, bytes);
    if (error != FileError::kNone) {
        return error;
    }
    std::unique_ptr<OutputFile> file;
    error = CreateNew(target, file);
    if (error != FileError::kNone) {
        return error;
    }
    error = WriteFlushClose(*file, bytes);
    if (error != FileError::kNone) {
        files.erase(target);
        times.erase(target);
    }
    return error;
}

FileError FakeFileSystem::Replace(const FsPath& source, const FsPath& target) {
    if (const FileError injected = Enter(FsOp::kReplace); injected != FileError::kNone) {
        return injected;
    }
    if (m_readOnly) {
        return FileError::kAccessDenied;
    }
    if (Blocked(target) || Blocked(source)) {
        return FileError::kAccessDenied;
    }
    if (const FileError denied = Unwritable(target); denied != FileError::kNone) {
        return denied;
    }
    if (const FileError denied = Unwritable(source); denied != FileError::kNone) {
        return denied;
    }
    const auto found = files.find(source);
    if (found == files.end()) {
        return FileError::kNotFound;
    }
    std::string content = std::move(found->second);
    files.erase(found);
    files[target] = std::move(content);
    // A move keeps the time of the file's last write, as on Windows.
    const auto time = times.find(source);
    if (time != times.end()) {
        times[target] = time->second;
        times.erase(source);
    } else {
        times.erase(target);
    }
    return FileError::kNone;
}

FileError FakeFileSystem::Remove(const FsPath& path) {
    if (const FileError injected = Enter(FsOp::kRemove); injected != FileError::kNone) {
        return injected;
    }
    if (m_readOnly) {
        return FileError::kAccessDenied;
    }
    if (Blocked(path)) {
        return FileError::kSharing;
    }
    if (const FileError denied = Unwritable(path); denied != FileError::kNone && files.count(path)) {
        return denied;
    }
    times.erase(path);
    return files.erase(path) ? FileError::kNone : FileError::kNotFound;
}

std::optional<std::uint64_t> FakeFileSystem::ModifiedTime(const FsPath& path) {
    const auto found = times.find(path);
    if (!files.count(path) || found == times.end()) {
        return std::nullopt;
    }
    return found->second;
}

FileError FakeFileSystem::OpenAppend(const FsPath& path, std::unique_ptr<OutputFile>& file) {
    if (const FileError injected = Enter(FsOp::kCreate); injected != FileError::kNone) {
        return injected;
    }
    if (m_readOnly) {
        return FileError::kAccessDenied;
    }
    if (Blocked(path)) {
        return FileError::kSharing;
    }
    if (const FileError denied = Unwritable(path); denied != FileError::kNone) {
        return denied;
    }
    files[path];
    file = std::make_unique<FakeOutputFile>(*this, path);
    return FileError::kNone;
}

FileError FakeFileSystem::ListFolder(const FsPath& folder, std::vector<FsPath>& names) {
    if (const FileError injected = Enter(FsOp::kRead); injected != FileError::kNone) {
        return injected;
    }
    names.clear();
    for (auto it = files.lower_bound(folder);
         it != files.end() && it->first.compare(0, folder.size(), folder) == 0; ++it) {
        const FsPath name = it->first.substr(folder.size());
        if (!name.empty() && name.find_first_of(L"\\/") == FsPath::npos) {
            names.push_back(name);
        }
    }
    return FileError::kNone;
}

FileError FakeFileSystem::MakeFolders(const FsPath& folder) {
    if (const FileError injected = Enter(FsOp::kCreate); injected != FileError::kNone) {
        return injected;
    }
    for (std::size_t at = folder.find_first_of(L"\\/"); at != FsPath::npos;
         at = folder.find_first_of(L"\\/", at + 1)) {
        if (files.count(folder.substr(0, at))) {
            return FileError::kExists;
        }
    }
    if (folders.count(folder)) {
        return FileError::kNone;
    }
    if (m_readOnly) {
        return FileError::kAccessDenied;
    }
    for (const FsPath& readOnly : readOnlyFolders) {
        if (folder.compare(0, readOnly.size(), readOnly) == 0) {
            return FileError::kAccessDenied;
        }
    }
    // Made again: the folder and every one above it that was removed.
    for (auto it = goneFolders.begin(); it != goneFolders.end();) {
        it = folder.compare(0, it->size(), *it) == 0 ? goneFolders.erase(it) : std::next(it);
    }
    folders.insert(folder);
    return FileError::kNone;
}
