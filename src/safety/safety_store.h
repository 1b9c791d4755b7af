// Names in the safety folder, the one-step writes of its copies, what interrupted saves leave beside
// a data file, and the choice at start of the file the settings are taken from.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diary/archive.h"
#include "files/file_store.h"
#include "diary/note_map.h"

enum class SettingsSource { kTempFile, kSafetyCopy, kDefaults };

// Folder under the user's local application-data folder.
inline constexpr wchar_t kSafetyFolderName[] = L"Quillidar";
// Dated copies of the notes are kept for this many of the latest saving days.
inline constexpr int kDatedCopiesKept = 7;
// The journal is written once typing has stopped for this long,
inline constexpr int kJournalQuietMs = 2000;
// and at least this often while it goes on without such a pause.
inline constexpr int kJournalLongestMs = 10000;

// "nts-YYYYMMDD.ini"; the day is given as the number YYYYMMDD.
FsPath DatedCopyName(int yyyymmdd);
std::optional<int> ParseDatedCopyName(std::wstring_view name);
// A run of an older version, as its journal's name gave it: the process id and creation time.
struct RunId {
    std::uint32_t pid = 0;
    std::uint64_t started = 0;
    friend bool operator==(const RunId&, const RunId&) = default;
};

// "journal-<pid>-<started>.nts", in decimal: the whole-diary journal older versions wrote.
FsPath JournalName(const RunId& run);
std::optional<RunId> ParseJournalName(std::wstring_view name);
// Writes the bytes to path in one step, or leaves path as it was: a copy whose last move fails
// leaves no stray file behind, since the data file itself already holds the bytes.
bool WriteSafetyFile(FileSystem& fs, const FsPath& path, std::string_view bytes);

// The close's save of a data file: the file itself (copied aside first when keepOldAside), then,
// only once it holds the bytes, `afterSave` (what the safety folder keeps of it, and the clean-up of
// what earlier saves left). False when the file does not hold the bytes; `afterSave` has not run.
bool SaveThenCopy(FileSystem& fs, const FsPath& path, std::string_view bytes, bool keepOldAside,
                  std::string_view stamp, const std::function<void()>& afterSave);

// "<notes file>.new-N", the file an interrupted or refused save leaves beside the notes file.
bool IsLeftoverName(std::wstring_view name, std::wstring_view fileName);

// After a successful save of `saved`: a leftover whose every note the save holds, or that is cut
// short, goes; one holding a note the save lacks is renamed to "<leftover>.kept-<stamp>" so that
// it is never mistaken for litter again. Returns how many went.
int SettleLeftovers(FileSystem& fs, const std::vector<FsPath>& leftovers, const NoteMap& saved,
                    std::string_view stamp, const WideToNarrow& toNarrow = {});

struct SettingsRecovery {
    SettingsSource source = SettingsSource::kDefaults;
    bool tempUnreadable = false;
};

// Decodes the bytes of one settings file into the record; fromCopy is true for the safety copy,
// which must leave the record alone when it fails.
using SettingsDecoder = std::function<bool(std::string_view bytes, bool fromCopy)>;

// The temporary folder's settings file, else the safety copy, else the defaults (the caller's).
SettingsRecovery RecoverSettings(FileSystem& fs, const FsPath& tempSettings, const FsPath& settingsCopy,
                                 const SettingsDecoder& decode);
