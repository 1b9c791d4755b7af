// Names in the safety folder, the writes of its copies and the settings' choice, over the
// FileSystem seam.
#include "safety/safety_store.h"

#include <algorithm>
#include <limits>

#include "diary/notes_file.h"

namespace {

constexpr std::wstring_view kDatedPrefix = L"nts-";
constexpr std::wstring_view kDatedSuffix = L".ini";
constexpr std::wstring_view kJournalPrefix = L"journal-";
constexpr std::wstring_view kJournalSuffix = L".nts";

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

bool WriteSafetyFile(FileSystem& fs, const FsPath& path, std::string_view bytes) {
    const SaveResult result = SaveFileAtomically(fs, path, bytes);
    if (result.outcome == SaveOutcome::kKeptBeside && !result.keptAt.empty()) {
        fs.Remove(result.keptAt);
    }
    return result.outcome == SaveOutcome::kSaved;
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
