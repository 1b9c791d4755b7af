// The safety folder outside the temporary folder: copies of both data files, a dated copy of the
// notes per saving day, the crash journals of running copies, and the choice at start of the file
// the diary and the settings are taken from.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diary/archive.h"
#include "diary/file_store.h"
#include "diary/note_map.h"

// Folder under the user's local application-data folder.
inline constexpr wchar_t kSafetyFolderName[] = L"Quillidar";
// Dated copies of the notes are kept for this many days on which the program saved.
inline constexpr int kDatedCopiesKept = 7;
// The journal is written once typing has stopped for this long,
inline constexpr int kJournalQuietMs = 2000;
// and at least this often while it goes on without such a pause.
inline constexpr int kJournalLongestMs = 10000;

// "nts-YYYYMMDD.ini"; the day is given as the number YYYYMMDD.
FsPath DatedCopyName(int yyyymmdd);
std::optional<int> ParseDatedCopyName(std::wstring_view name);
// Dated copies to remove so that today's and the newest others, kDatedCopiesKept in all, remain.
// Today's copy is never removed, even when the clock has gone back and others look newer.
std::vector<FsPath> DatedCopiesToRemove(const std::vector<FsPath>& names, int today);

// A run of the program: its process id and the time its process was created (any clock that
// never repeats a value for one id, e.g. the system's 100 ns units). The pair tells a run apart
// from a later process that got the same id.
struct RunId {
    std::uint32_t pid = 0;
    std::uint64_t started = 0;
    friend bool operator==(const RunId&, const RunId&) = default;
};

// "journal-<pid>-<started>.nts", in decimal.
FsPath JournalName(const RunId& run);
std::optional<RunId> ParseJournalName(std::wstring_view name);
// What a superseded or unreadable journal is renamed to: never loaded again, never removed.
FsPath KeptJournalName(std::wstring_view journalName);
// Where the journal of a run ended with Escape goes: never loaded again, never removed, so what
// was typed in a discarded run can still be fetched by hand.
FsPath DiscardedJournalName(const RunId& run);

// The safety folder as found at start or at a save: its path with a trailing separator (empty
// when the system names no such folder) and the names of the files in it.
struct SafetyFolderView {
    FsPath folder;
    std::vector<FsPath> names;
};

enum class NotesSource { kJournal, kTempFile, kSafetyCopy, kDatedCopy, kFirstRun };
enum class SettingsSource { kTempFile, kSafetyCopy, kDefaults };

struct NotesCandidate {
    NotesSource source;
    FsPath path;
};

// Whether a run is still going. Answers true when in doubt: a live run's journal is never taken.
using RunIsAlive = std::function<bool(const RunId&)>;

// Where the notes may come from, best first: the journals of runs that are gone (the newest run
// first), the temporary folder's file, the safety copy, the dated copies (newest day first).
std::vector<NotesCandidate> NotesCandidates(const FsPath& tempNotes, const SafetyFolderView& safety,
                                            const RunIsAlive& isAlive);

struct NotesRecovery {
    NotesSource source = NotesSource::kFirstRun;
    FsPath loadedFrom;
    // The temporary folder's file holds something the list does not: it was damaged, held by
    // another program all through the load, or left bytes unread. Copy it aside before replacing it.
    bool keepTempAside = false;
    // The same for files of the safety folder that were tried, so that a copy is not overwritten
    // by a save of less than it holds, and a journal that held more is kept, not removed.
    std::vector<FsPath> keepAside;
    // Journals of runs that are gone. They stay until the notes are next saved: the one loaded is
    // then removed, the others are renamed to their kept names. A journal last written before the
    // notes file was last saved holds less than the file and is never loaded, only kept.
    std::vector<FsPath> orphanJournals;
    // Unfinished journal writes of ended runs ("<journal>.new-N"): never loaded, removed with them.
    std::vector<FsPath> strayFiles;
};

// Fills notes from the first candidate that loads; empty with kFirstRun when none does. The
// temporary folder's file is always read, so a damaged one is known even when a journal wins.
// Nothing thrown while a candidate is read (memory included) leaves here: that candidate counts
// as damaged.
NotesRecovery RecoverNotes(FileSystem& fs, const FsPath& tempNotes, const SafetyFolderView& safety,
                           const RunIsAlive& isAlive, NoteMap& notes, const WideToNarrow& toNarrow = {});

// Writes the bytes to path in one step, or leaves path as it was: a copy whose last move fails
// leaves no stray file behind, since the data file itself already holds the bytes.
bool WriteSafetyFile(FileSystem& fs, const FsPath& path, std::string_view bytes);

struct CopyReport {
    bool copied = false;      // the safety copy holds the bytes
    bool datedCopied = false; // so does today's dated copy
    int removed = 0;          // dated copies removed
};

// The safety copy's bytes written ahead into a new file beside it (flushed), so that they can be
// written while the notes file itself is: that save and this one then share the disk's time
// instead of following each other. Empty when the file could not be written.
FsPath StageSafetyCopy(FileSystem& fs, const SafetyFolderView& safety, std::string_view bytes);

// After a successful save of the notes file: the same bytes as the safety copy and as today's dated
// copy, then the dated copies beyond the kept ones are removed. Nothing here can fail the save.
// A file named in keepAside is first copied aside (stamped like any kept-aside copy); when that
// copy cannot be made, the file is left as it is. `staged`, when given, is what StageSafetyCopy
// wrote for these bytes: it becomes the safety copy, or is removed.
CopyReport CopyNotesToSafety(FileSystem& fs, const SafetyFolderView& safety, std::string_view bytes,
                             int today, const std::vector<FsPath>& keepAside = {},
                             std::string_view stamp = {}, const FsPath& staged = {});

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

// After the notes were saved: the journal that was loaded is no longer needed; the other journals of
// ended runs are renamed so that they never win over the saved file; unfinished writes go.
void SettleOrphanJournals(FileSystem& fs, const NotesRecovery& recovery);

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
