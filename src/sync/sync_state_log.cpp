// The sync state kept by what changed: the state file stays as it was written whole, and each run
// that changed something appends one sealed batch to "<state>-log" holding the records it changed
// and the ones it dropped. A batch names the state file it follows by that file's checksum, so a
// log left beside a file written whole since is never applied to it; a batch cut short ends the
// log there, and what it held is compared afresh by the next run. Once the log outgrows a quarter
// of the state, the state is written whole again and the log goes.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>

#include "sync/sync_state.h"

namespace {

constexpr std::string_view kBatchMagic = "quillidar-sync-log 1 ";
constexpr std::string_view kStateMagic = "quillidar-sync 2\n";
constexpr std::string_view kSealed = "sealed ";
constexpr std::size_t kLogFloor = 256 * 1024;

std::string HexBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        out += "0123456789abcdef"[static_cast<unsigned char>(c) >> 4];
        out += "0123456789abcdef"[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

std::optional<std::string> UnhexBytes(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const char* last = hex.data() + std::min(hex.size(), i + 2);
        unsigned value = 0;
        const auto [end, error] = std::from_chars(hex.data() + i, last, value, 16);
        if (error != std::errc() || end != last || last != hex.data() + i + 2) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(value));
    }
    return out;
}

// Each field with its length before it, so that no two records hash alike by where they split.
std::uint64_t HashOf(std::initializer_list<std::string_view> fields) {
    std::uint64_t sum = kSyncChecksumStart;
    for (const std::string_view f : fields) {
        sum = SyncFileChecksum(std::to_string(f.size()) + ":", sum);
        sum = SyncFileChecksum(f, sum);
    }
    return sum;
}

std::uint64_t HashOf(const SyncDayState& day) {
    return HashOf({day.href, day.etag, day.base, day.made});
}

std::uint64_t HashOf(const ForeignResource& resource) {
    std::uint64_t sum = HashOf({resource.etag});
    for (const ForeignEntry& e : resource.entries) {
        sum = SyncFileChecksum(CompactDate(e.date) + ":" + std::to_string(e.text.size()) + ":", sum);
        sum = SyncFileChecksum(e.text, sum);
        if (e.HeldAsSum()) {
            sum = SyncFileChecksum("=" + std::to_string(e.size) + ":" + std::to_string(e.sum), sum);
        }
    }
    return sum;
}

std::uint64_t HeaderHashOf(const SyncState& state) {
    return HashOf({state.collection, state.name, state.token, state.etagsOnly ? "etags" : "sync"});
}

std::size_t EstimatedBytes(const SyncState& state) {
    std::size_t size = 0;
    for (const auto& [date, day] : state.days) {
        size += 32 + day.etag.size() + day.made.size() + day.base.size();
    }
    for (const auto& [href, resource] : state.foreign) {
        size += 16 + href.size() + resource.etag.size();
        for (const ForeignEntry& e : resource.entries) {
            size += 16 + e.text.size();
        }
    }
    return size;
}

FsPath LogPathOf(const FsPath& path) {
    return path + L"-log";
}

// One batch from the start of `log`: its records applied to `state` and its length returned, or
// nullopt when it is cut short, damaged, or follows another state file than `fileSum`'s.
std::optional<std::size_t> ApplyBatch(std::string_view log, std::uint64_t fileSum, SyncState& state) {
    const std::size_t headEnd = log.find('\n');
    if (!log.starts_with(kBatchMagic) || headEnd == std::string_view::npos ||
        SyncSumOfHex(log.substr(kBatchMagic.size(), headEnd - kBatchMagic.size())) != fileSum) {
        return std::nullopt;
    }
    const std::size_t partAt = log.find(kStateMagic, headEnd + 1);
    const std::size_t partEnd = partAt == std::string_view::npos ? partAt : log.find("\nend ", partAt);
    const std::size_t endLine = partEnd == std::string_view::npos ? partEnd : log.find('\n', partEnd + 1);
    const std::size_t sealEnd = endLine == std::string_view::npos ? endLine : log.find('\n', endLine + 1);
    if (sealEnd == std::string_view::npos || log.substr(endLine + 1, kSealed.size()) != kSealed ||
        SyncSumOfHex(log.substr(endLine + 1 + kSealed.size(), sealEnd - endLine - 1 - kSealed.size())) !=
            SyncFileChecksum(log.substr(0, endLine + 1))) {
        return std::nullopt;
    }
    SyncState part;
    if (!DecodeSyncState(log.substr(partAt, endLine + 1 - partAt), part)) {
        return std::nullopt;
    }
    std::vector<std::pair<char, std::string>> gone;
    for (std::string_view rest = log.substr(headEnd + 1, partAt - headEnd - 1); !rest.empty();) {
        const std::size_t nl = rest.find('\n');
        const std::string_view line = rest.substr(0, nl);
        const std::optional<std::string> key = UnhexBytes(line.substr(std::min<std::size_t>(7, line.size())));
        if (nl == std::string_view::npos || line.size() < 7 || !line.starts_with("gone ") ||
            (line[5] != 'd' && line[5] != 'f') || line[6] != ' ' || !key) {
            return std::nullopt;
        }
        gone.emplace_back(line[5], *key);
        rest.remove_prefix(nl + 1);
    }
    for (const auto& [kind, key] : gone) {
        kind == 'd' ? static_cast<void>(state.days.erase(key)) : static_cast<void>(state.foreign.erase(key));
    }
    state.collection = std::move(part.collection);
    state.name = std::move(part.name);
    state.token = std::move(part.token);
    state.etagsOnly = part.etagsOnly;
    for (auto& [date, day] : part.days) {
        state.days[date] = std::move(day);
    }
    for (auto& [href, resource] : part.foreign) {
        state.foreign[href] = std::move(resource);
    }
    return sealEnd + 1;
}

// The batch that takes the state the mark describes to `state`; empty when nothing changed.
std::string BatchOf(const SyncState& state, const SyncStateMark& mark) {
    SyncState part;
    std::string gone;
    for (const auto& [date, day] : state.days) {
        const auto it = mark.records.find("d" + date);
        if (it == mark.records.end() || it->second != HashOf(day)) {
            part.days.emplace(date, day);
        }
    }
    for (const auto& [href, resource] : state.foreign) {
        const auto it = mark.records.find("f" + href);
        if (it == mark.records.end() || it->second != HashOf(resource)) {
            part.foreign.emplace(href, resource);
        }
    }
    for (const auto& [key, hash] : mark.records) {
        const std::string rest = key.substr(1);
        if (key[0] == 'd' ? !state.days.count(rest) : !state.foreign.count(rest)) {
            gone += std::string("gone ") + key[0] + " " + HexBytes(rest) + "\n";
        }
    }
    if (part.days.empty() && part.foreign.empty() && gone.empty() && HeaderHashOf(state) == mark.header) {
        return {};
    }
    part.collection = state.collection;
    part.name = state.name;
    part.token = state.token;
    part.etagsOnly = state.etagsOnly;
    std::string batch =
        std::string(kBatchMagic) + SyncSumHex(mark.fileSum) + "\n" + gone + EncodeSyncState(part);
    batch += std::string(kSealed) + SyncSumHex(SyncFileChecksum(batch)) + "\n";
    return batch;
}

FileError Append(FileSystem& fs, const FsPath& path, std::string_view bytes) {
    std::unique_ptr<OutputFile> file;
    FileError error = fs.OpenAppend(path, file);
    if (error == FileError::kNone) {
        error = file->Write(bytes);
        const FileError flushed = error == FileError::kNone ? file->Flush() : error;
        const FileError closed = file->Close();
        error = flushed != FileError::kNone ? flushed : closed;
    }
    return error;
}

} // namespace

void MarkSyncState(const SyncState& state, SyncStateMark& mark) {
    mark.header = HeaderHashOf(state);
    mark.stateBytes = EstimatedBytes(state);
    mark.records.clear();
    mark.records.reserve(state.days.size() + state.foreign.size());
    for (const auto& [date, day] : state.days) {
        mark.records.emplace("d" + date, HashOf(day));
    }
    for (const auto& [href, resource] : state.foreign) {
        mark.records.emplace("f" + href, HashOf(resource));
    }
}

SyncState LoadSyncState(FileSystem& fs, const FsPath& path, bool* damaged, SyncStateMark* mark) {
    SyncStateMark read;
    SyncState state = LoadSyncStateFile(fs, path, damaged, &read.fileSum);
    std::string log;
    if (read.fileSum != 0 && LoadFile(fs, LogPathOf(path), log) == FileError::kNone) {
        std::string_view rest = log;
        while (!rest.empty()) {
            const std::optional<std::size_t> used = ApplyBatch(rest, read.fileSum, state);
            if (!used) {
                read.logTorn = true; // appending after it would never be read
                break;
            }
            rest.remove_prefix(*used);
            read.logBytes += *used;
        }
    }
    if (mark) {
        MarkSyncState(state, read);
        *mark = std::move(read);
    }
    return state;
}

SaveResult KeepSyncState(FileSystem& fs, const FsPath& path, const SyncState& state,
                         const SyncStateMark& mark) {
    if (mark.fileSum == 0 || mark.logTorn) {
        return SaveSyncState(fs, path, state);
    }
    SaveResult result;
    const std::string batch = BatchOf(state, mark);
    if (batch.empty()) {
        result.outcome = SaveOutcome::kSaved;
        return result;
    }
    if (mark.logBytes + batch.size() > std::max(kLogFloor, mark.stateBytes / 4) ||
        Append(fs, LogPathOf(path), batch) != FileError::kNone) {
        // A batch cut short by the failure ends the log where it was, and the whole state, written
        // under a new checksum, leaves it unread.
        return SaveSyncState(fs, path, state);
    }
    result.outcome = SaveOutcome::kSaved;
    return result;
}

SaveResult SaveSyncState(FileSystem& fs, const FsPath& path, const SyncState& state) {
    // The log goes first: a state written whole with the very bytes of the old one would otherwise
    // take the old log's batches as its own. A crash between leaves the older state, compared afresh.
    const FileError removed = fs.Exists(LogPathOf(path)) ? fs.Remove(LogPathOf(path)) : FileError::kNone;
    if (removed != FileError::kNone && removed != FileError::kNotFound) {
        SaveResult failed;
        failed.error = removed;
        return failed;
    }
    return SaveSyncStateWhole(fs, path, state);
}
