// Names in the safety folder, the order in which the diary's sources are tried, and the writes of
// copies and journals, all over the FileSystem seam.
#include "diary/safety_store.h"

#include <algorithm>
#include <limits>

#include "diary/notes_file.h"

namespace {

constexpr std::wstring_view kDatedPrefix = L"nts-";
constexpr std::wstring_view kDatedSuffix = L".ini";
constexpr std::wstring_view kJournalPrefix = L"journal-";
constexpr std::wstring_view kJournalSuffix = L".nts";
constexpr std::wstring_view kKeptPrefix = L"kept-";
constexpr std::wstring_view kDiscardedPrefix = L"discarded-";

FsPath Decimal(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    return FsPath(digits.begin(), digits.end());
}

// Plain decimal digits, no sign, no leading zero unless the number is 0, and no overflow.
std::optional<std::uint64_t> ParseDecimal(std::wstring_view text, std::uint64_t max) {
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == L'0')) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - L'0');
        if (value > (max - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

bool StripAffixes(std::wstring_view& name, std::wstring_view prefix, std::wstring_view suffix) {
    if (name.size() < prefix.size() + suffix.size() || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - suffix.size()) != suffix) {
        return false;
    }
    name = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    return true;
}

enum class Loaded {
    kMissing,
    kLoadable,
    kPartial, // loaded, with bytes after the last entry the count announced
    kDamaged, // damaged, held by another program all through the load, or more than memory allows
};

Loaded LoadNotesFrom(FileSystem& fs, const FsPath& path, NoteMap& notes, const WideToNarrow& toNarrow) {
    try {
        notes.Clear();
        std::string bytes;
        const FileError error = LoadFile(fs, path, bytes);
        if (error == FileError::kNotFound) {
            return Loaded::kMissing;
        }
        std::size_t unread = 0;
        if (error != FileError::kNone || !DecodeNotes(std::move(bytes), notes, toNarrow, &unread)) {
            notes.Clear();
            return Loaded::kDamaged;
        }
        return unread ? Loaded::kPartial : Loaded::kLoadable;
    } catch (...) {
        // Out of memory half-way through a large diary is no reason to lose it: the file is
        // treated as unreadable, so it is kept aside before anything replaces it.
        notes.Clear();
        return Loaded::kDamaged;
    }
}

bool Loads(Loaded loaded) {
    return loaded == Loaded::kLoadable || loaded == Loaded::kPartial;
}

bool HoldsMore(Loaded loaded) {
    return loaded == Loaded::kDamaged || loaded == Loaded::kPartial;
}

// When the notes were last saved: the later of the temporary folder's file and its safety copy,
// since either may have gone since.
std::optional<std::uint64_t> LastSaveTime(FileSystem& fs, const FsPath& tempNotes,
                                          const SafetyFolderView& safety) {
    std::optional<std::uint64_t> last = fs.ModifiedTime(tempNotes);
    if (!safety.folder.empty()) {
        const std::optional<std::uint64_t> copy = fs.ModifiedTime(safety.folder + kNotesFileName);
        if (copy && (!last || *copy > *last)) {
            last = copy;
        }
    }
    return last;
}

} // namespace

FsPath DatedCopyName(int yyyymmdd) {
    return FsPath(kDatedPrefix) + Decimal(static_cast<std::uint64_t>(yyyymmdd)) + FsPath(kDatedSuffix);
}

std::optional<int> ParseDatedCopyName(std::wstring_view name) {
    if (!StripAffixes(name, kDatedPrefix, kDatedSuffix) || name.size() != 8) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> day = ParseDecimal(name, 99999999);
    if (!day) {
        return std::nullopt;
    }
    return static_cast<int>(*day);
}

std::vector<FsPath> DatedCopiesToRemove(const std::vector<FsPath>& names, int today) {
    std::vector<std::pair<int, FsPath>> others;
    for (const FsPath& name : names) {
        const std::optional<int> day = ParseDatedCopyName(name);
        if (day && *day != today) {
            others.emplace_back(*day, name);
        }
    }
    std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<FsPath> remove;
    for (std::size_t i = kDatedCopiesKept - 1; i < others.size(); ++i) {
        remove.push_back(others[i].second);
    }
    return remove;
}

FsPath JournalName(const RunId& run) {
    return FsPath(kJournalPrefix) + Decimal(run.pid) + L"-" + Decimal(run.started) + FsPath(kJournalSuffix);
}

std::optional<RunId> ParseJournalName(std::wstring_view name) {
    if (!StripAffixes(name, kJournalPrefix, kJournalSuffix)) {
        return std::nullopt;
    }
    const std::size_t dash = name.find(L'-');
    if (dash == std::wstring_view::npos) {
        return std::nullopt;
    }
    const auto pid = ParseDecimal(name.substr(0, dash), std::numeric_limits<std::uint32_t>::max());
    const auto started = ParseDecimal(name.substr(dash + 1), std::numeric_limits<std::uint64_t>::max());
    if (!pid || !started) {
        return std::nullopt;
    }
    return RunId{static_cast<std::uint32_t>(*pid), *started};
}

FsPath KeptJournalName(std::wstring_view journalName) {
    return FsPath(kKeptPrefix) + FsPath(journalName);
}

FsPath DiscardedJournalName(const RunId& run) {
    return FsPath(kDiscardedPrefix) + JournalName(run);
}

std::vector<NotesCandidate> NotesCandidates(const FsPath& tempNotes, const SafetyFolderView& safety,
                                            const RunIsAlive& isAlive) {
    std::vector<NotesCandidate> candidates;
    std::vector<std::pair<RunId, FsPath>> journals;
    std::vector<std::pair<int, FsPath>> dated;
    if (!safety.folder.empty()) {
        for (const FsPath& name : safety.names) {
            if (const std::optional<RunId> run = ParseJournalName(name)) {
                if (!isAlive || !isAlive(*run)) {
                    journals.emplace_back(*run, name);
                }
            } else if (const std::optional<int> day = ParseDatedCopyName(name)) {
                dated.emplace_back(*day, name);
            }
        }
    }
    // A run started later began from what the earlier ones left, so its journal holds the most.
    std::sort(journals.begin(), journals.end(), [](const auto& a, const auto& b) {
        return a.first.started != b.first.started ? a.first.started > b.first.started
                                                  : a.first.pid > b.first.pid;
    });
    std::sort(dated.begin(), dated.end(), [](const auto& a, const auto& b) { return a.first > b.first; });

    for (const auto& [run, name] : journals) {
        candidates.push_back({NotesSource::kJournal, safety.folder + name});
    }
    candidates.push_back({NotesSource::kTempFile, tempNotes});
    if (!safety.folder.empty()) {
        const bool hasCopy =
            std::find(safety.names.begin(), safety.names.end(), FsPath(kNotesFileName)) != safety.names.end();
        if (hasCopy) {
            candidates.push_back({NotesSource::kSafetyCopy, safety.folder + kNotesFileName});
        }
    }
    for (const auto& [day, name] : dated) {
        candidates.push_back({NotesSource::kDatedCopy, safety.folder + name});
    }
    return candidates;
}

NotesRecovery RecoverNotes(FileSystem& fs, const FsPath& tempNotes, const SafetyFolderView& safety,
                           const RunIsAlive& isAlive, NoteMap& notes, const WideToNarrow& toNarrow) {
    NotesRecovery recovery;
    // A run killed while it wrote its journal leaves the new file beside it. Such a file may be cut
    // short anywhere, so it is never a source, only litter once its run is gone.
    for (const FsPath& name : safety.folder.empty() ? std::vector<FsPath>() : safety.names) {
        const std::size_t unfinished = name.find(std::wstring(kJournalSuffix) + L".new-");
        if (unfinished == FsPath::npos) {
            continue;
        }
        const std::optional<RunId> run =
            ParseJournalName(std::wstring_view(name).substr(0, unfinished + kJournalSuffix.size()));
        if (run && (!isAlive || !isAlive(*run))) {
            recovery.strayFiles.push_back(safety.folder + name);
        }
    }
    notes.Clear();
    bool found = false;
    const std::optional<std::uint64_t> lastSave = LastSaveTime(fs, tempNotes, safety);
    for (const NotesCandidate& candidate : NotesCandidates(tempNotes, safety, isAlive)) {
        if (candidate.source == NotesSource::kJournal) {
            recovery.orphanJournals.push_back(candidate.path);
            // Written before the notes were last saved (by this copy's own save, whose removal of
            // the journal failed, or by another copy): the file holds more than the journal.
            const std::optional<std::uint64_t> written = fs.ModifiedTime(candidate.path);
            if (written && lastSave && *written <= *lastSave) {
                continue;
            }
        }
        const bool isTemp = candidate.source == NotesSource::kTempFile;
        if (found && !isTemp) {
            continue;
        }
        if (found) {
            // Only to learn whether it must be kept aside before it is replaced.
            NoteMap scratch;
            recovery.keepTempAside = HoldsMore(LoadNotesFrom(fs, candidate.path, scratch, toNarrow));
            continue;
        }
        const Loaded loaded = LoadNotesFrom(fs, candidate.path, notes, toNarrow);
        if (isTemp) {
            recovery.keepTempAside = HoldsMore(loaded);
        } else if (HoldsMore(loaded)) {
            recovery.keepAside.push_back(candidate.path);
        }
        if (Loads(loaded)) {
            found = true;
            recovery.source = candidate.source;
            recovery.loadedFrom = candidate.path;
        }
    }
    return recovery;
}

bool WriteSafetyFile(FileSystem& fs, const FsPath& path, std::string_view bytes) {
    const SaveResult result = SaveFileAtomically(fs, path, bytes);
    if (result.outcome == SaveOutcome::kKeptBeside && !result.keptAt.empty()) {
        fs.Remove(result.keptAt);
    }
    return result.outcome == SaveOutcome::kSaved;
}

FsPath StageSafetyCopy(FileSystem& fs, const SafetyFolderView& safety, std::string_view bytes) {
    FsPath staged;
    if (safety.folder.empty() ||
        WriteBeside(fs, safety.folder + kNotesFileName, bytes, staged) != FileError::kNone) {
        return {};
    }
    return staged;
}

CopyReport CopyNotesToSafety(FileSystem& fs, const SafetyFolderView& safety, std::string_view bytes,
                             int today, const std::vector<FsPath>& keepAside, std::string_view stamp,
                             const FsPath& staged) {
    CopyReport report;
    if (safety.folder.empty()) {
        if (!staged.empty()) {
            RemoveFile(fs, staged);
        }
        return report;
    }
    auto mayReplace = [&](const FsPath& path) {
        const bool keep = std::find(keepAside.begin(), keepAside.end(), path) != keepAside.end();
        return !keep || KeepAside(fs, path, stamp);
    };
    // A file already written beside the target (flushed, complete) is moved over it; one that cannot
    // be is removed, since the target and the notes file hold what it does or more.
    auto commit = [&](const FsPath& path, const FsPath& fresh) {
        if (mayReplace(path) && MoveOver(fs, fresh, path) == FileError::kNone) {
            return true;
        }
        RemoveFile(fs, fresh);
        return false;
    };
    auto write = [&](const FsPath& path) { return mayReplace(path) && WriteSafetyFile(fs, path, bytes); };

    const FsPath copy = safety.folder + kNotesFileName;
    report.copied = staged.empty() ? write(copy) : commit(copy, staged);
    // A copy written ahead by a run that was cut off before it could move it into place: the notes
    // file and its journal hold what it does, and each may be a diary's size. One try only: a file
    // still held is another copy's (on another temporary folder) being written now.
    for (const FsPath& name : safety.names) {
        if (report.copied && IsLeftoverName(name, kNotesFileName) && safety.folder + name != staged) {
            fs.Remove(safety.folder + name);
        }
    }
    // Today's dated copy is the safety copy under a second name where the disk allows it: the next
    // save moves a new file over the safety copy's name and leaves this one's bytes as they are,
    // so it is a copy of its own at the cost of a directory entry instead of another write.
    const FsPath todays = safety.folder + DatedCopyName(today);
    FsPath linked;
    if (report.copied && LinkBeside(fs, copy, todays, linked) == FileError::kNone) {
        report.datedCopied = commit(todays, linked);
    } else {
        report.datedCopied = write(todays);
    }
    // Without today's copy the older ones are all there is: keep them.
    if (!report.datedCopied) {
        return report;
    }
    for (const FsPath& name : DatedCopiesToRemove(safety.names, today)) {
        if (fs.Remove(safety.folder + name) == FileError::kNone) {
            ++report.removed;
        }
    }
    return report;
}

bool SaveThenCopy(FileSystem& fs, const FsPath& path, std::string_view bytes, bool keepOldAside,
                  std::string_view stamp, const std::function<void()>& afterSave) {
    if (path.empty() || SaveDataFile(fs, path, bytes, keepOldAside, stamp).outcome != SaveOutcome::kSaved) {
        return false;
    }
    afterSave();
    return true;
}

bool IsLeftoverName(std::wstring_view name, std::wstring_view fileName) {
    constexpr std::wstring_view kNew = L".new-";
    if (name.size() <= fileName.size() + kNew.size() || name.substr(0, fileName.size()) != fileName ||
        name.substr(fileName.size(), kNew.size()) != kNew) {
        return false;
    }
    return ParseDecimal(name.substr(fileName.size() + kNew.size()), 1000000).has_value();
}

int SettleLeftovers(FileSystem& fs, const std::vector<FsPath>& leftovers, const NoteMap& saved,
                    std::string_view stamp, const WideToNarrow& toNarrow) {
    int removed = 0;
    for (const FsPath& path : leftovers) {
        bool redundant = true;
        try {
            NoteMap left;
            std::string bytes;
            const FileError error = LoadFile(fs, path, bytes);
            if (error == FileError::kNotFound) {
                continue;
            }
            // A file that does not decode was cut short by an interrupted save: its run's journal
            // holds what it would have.
            if (error != FileError::kNone) {
                redundant = false;
            } else if (DecodeNotes(std::move(bytes), left, toNarrow)) {
                for (const NoteView entry : left) {
                    if (!IsBlankNote(entry.m_strText) &&
                        saved.FindNote(entry.m_strKey) != left.FindNote(entry.m_strKey)) {
                        redundant = false;
                        break;
                    }
                }
            }
        } catch (...) {
            redundant = false;
        }
        if (redundant) {
            if (RemoveFile(fs, path) == FileError::kNone) {
                ++removed;
            }
            continue;
        }
        const FsPath base = path + L".kept-" + FsPath(stamp.begin(), stamp.end());
        for (int n = 1; n <= 1000; ++n) {
            const FsPath target = n == 1 ? base : base + L"-" + Decimal(static_cast<std::uint64_t>(n));
            if (!fs.Exists(target)) {
                fs.Replace(path, target);
                break;
            }
        }
    }
    return removed;
}

void SettleOrphanJournals(FileSystem& fs, const NotesRecovery& recovery) {
    for (const FsPath& path : recovery.orphanJournals) {
        const bool holdsMore =
            std::find(recovery.keepAside.begin(), recovery.keepAside.end(), path) != recovery.keepAside.end();
        if (recovery.source == NotesSource::kJournal && path == recovery.loadedFrom && !holdsMore) {
            RemoveFile(fs, path);
            continue;
        }
        const std::size_t slash = path.find_last_of(L"\\/");
        const std::size_t nameAt = slash == FsPath::npos ? 0 : slash + 1;
        fs.Replace(path, path.substr(0, nameAt) + KeptJournalName(std::wstring_view(path).substr(nameAt)));
    }
    for (const FsPath& path : recovery.strayFiles) {
        RemoveFile(fs, path);
    }
}

SettingsRecovery RecoverSettings(FileSystem& fs, const FsPath& tempSettings, const FsPath& settingsCopy,
                                 const SettingsDecoder& decode) {
    SettingsRecovery recovery;
    std::string bytes;
    const FileError error = LoadFile(fs, tempSettings, bytes);
    if (error == FileError::kNone && decode(bytes, false)) {
        recovery.source = SettingsSource::kTempFile;
        return recovery;
    }
    recovery.tempUnreadable = error != FileError::kNotFound;
    if (!settingsCopy.empty() && LoadFile(fs, settingsCopy, bytes) == FileError::kNone &&
        decode(bytes, true)) {
        recovery.source = SettingsSource::kSafetyCopy;
    }
    return recovery;
}
