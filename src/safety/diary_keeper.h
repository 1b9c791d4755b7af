// What keeps one diary safe: its own folder among the user's safety folders, the choice at start of
// the file its notes come from, the journal of this run's edits, and the copies each save leaves.
// Every decision is made by content and by the generation the manifest records, never by file
// times, dates in names or the order runs started in.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diary/archive.h"
#include "files/file_store.h"
#include "diary/note_map.h"
#include "safety/edit_journal.h"
#include "safety/manifest.h"

// Where one diary lives and where it may keep its copies.
struct DiaryPlace {
    // "<temporary folder>\nts.ini"; empty when the system names no usable temporary folder.
    FsPath tempNotes;
    // The safety folders to use, best first, each ending with a separator: the first that can be
    // made holds this run's copies and journal; all of them are read at start, so a journal written
    // while the first could not be had is found once it can.
    std::vector<FsPath> safetyRoots;
    // The temporary folder as the file system names it (its final path), so every spelling of one
    // folder is one diary and two folders are never one.
    std::wstring identity;
    // How older versions named the same folder (its final path, upper-cased): what they kept of this
    // diary under that name is read at start, never written.
    std::wstring formerIdentity = {};
};

// A 64-bit tag of the identity: names the diary's folder and marks its journals.
std::uint64_t DiaryTag(std::wstring_view identity);

// The run writing: its process id and creation time, never repeated for one id.
struct RunStamp {
    std::uint32_t pid = 0;
    std::uint64_t started = 0;
};
using RunIsAlive = std::function<bool(const RunStamp&)>;

enum class NotesSource { kTempFile, kSafetyCopy, kFirstRun };

struct StartReport {
    NotesSource source = NotesSource::kFirstRun;
    FsPath loadedFrom;
    // The temporary folder's file holds more than the diary read: copied aside before replaced.
    bool keepTempAside = false;
    int journals = 0; // journals of ended runs taken in
    JournalApplyReport edits;
    int legacyTaken = 0; // files of the shared folder older versions wrote, taken over by this diary
    // True when the diary has notes of its own: read from a file or brought back by a journal.
    bool HasDiary() const { return source != NotesSource::kFirstRun || edits.applied + edits.joined > 0; }
};

struct SaveReport {
    bool saved = false;       // the temporary folder's file holds the bytes
    bool copied = false;      // so does the safety copy
    bool datedCopied = false; // and today's dated copy
    int removed = 0;          // older dated copies and settled leftovers removed
};

// Copies written ahead, off the window's thread, while the notes file is written: flushed files
// beside their names, moved into place only once the notes file holds the same bytes.
struct StagedCopies {
    FsPath copy;
    FsPath dated;
};

class DiaryKeeper {
  public:
    DiaryKeeper(FileSystem& fs, DiaryPlace place, RunStamp run, WideToNarrow toNarrow = {});

    // Reads the diary: the temporary folder's file, else the best copy by generation and content;
    // then the journals of ended runs of this diary, applied by content. Files the shared folder
    // holds from older versions are taken over first (moved into this diary's folder and kept).
    StartReport Start(NoteMap& notes, const RunIsAlive& isAlive);

    // This diary's own safety folder (ending with a separator), empty when none could be had.
    const FsPath& Folder() const { return m_folder; }

    // The day's note as typed now goes to the journal; false when it could not be written.
    bool Record(std::string_view key, std::string_view text, const NoteMap& notes);

    // Writes the copies ahead into `folder`; safe on another thread with its own FileSystem.
    static StagedCopies StageCopies(FileSystem& fs, const FsPath& folder, std::string_view bytes, int today);

    // The save: the notes file, then (only once it holds the bytes) the copies, the manifest, the
    // journals settled and leftovers whose every note the save holds removed. `today` is YYYYMMDD.
    // `staged`, when given, waits for the copies StageCopies is writing on another thread; it is
    // called once the notes file is written, so both writes share the disk's time.
    SaveReport Save(const NoteMap& notes, std::string_view bytes, int today, std::string_view stamp,
                    const std::function<StagedCopies()>& staged = {});

    // The same save in three steps, for a diary too big to write while the window waits. Begin,
    // when the bytes are taken, and End belong to the thread that records; Write may run on another
    // thread meanwhile (its marking of the journals and Record take turns). Records made after
    // Begin are not in the bytes: End then leaves this run's journals whole, for a later save.
    struct Pending;
    Pending BeginSave();
    SaveReport WriteSave(Pending& pending, const NoteMap& notes, std::string_view bytes, int today,
                         std::string_view stamp, const std::function<StagedCopies()>& staged = {});
    void EndSave(const Pending& pending, const SaveReport& report);

    // The save's steps, in order.
    struct SavedJournals {
        std::vector<FsPath> journals; // those taken in at start (the first `applied`), then this run's
        std::vector<FsPath> legacy;   // whole diaries older versions journalled, taken in at start
        std::size_t applied = 0;
    };
    struct Pending {
        std::uint64_t hash = 0;
        std::uint64_t generation = 0;
        SavedJournals journals;
        std::uint64_t recordsBefore = 0; // the journal's count of records when the bytes were taken
    };

  private:
    void FindFolder();
    // This diary's folder under every root, the one written to first: all are read at start.
    std::vector<FsPath> AllFolders() const;
    int TakeLegacy(const RunIsAlive& isAlive);
    void LoadCopy(NoteMap& notes, StartReport& report);
    void TakeJournals(NoteMap& notes, StartReport& report, const RunIsAlive& isAlive);
    // An edit journal of an ended run of this diary, as far as it reads; `formerId` is the id a
    // journal that lost its header had.
    std::optional<JournalFile> ReadJournal(const FsPath& folder, const FsPath& name,
                                           const RunIsAlive& isAlive, std::optional<std::uint64_t>& formerId);
    bool TakeLegacyJournal(const FsPath& path, NoteMap& notes, StartReport& report);

    // The journals the bytes taken now hold; the next record starts a segment of its own.
    SavedJournals JournalsHeld();
    void MarkJournals(SavedJournals& marked, std::uint64_t generation, std::uint64_t hash,
                      std::string_view stamp);
    // True when the notes file holds what no save of this diary wrote and could not be copied aside.
    bool MustKeepTemp(const NoteMap& notes, std::string_view stamp);
    void WriteCopies(const NoteMap& notes, std::string_view bytes, int today, std::string_view stamp,
                     std::uint64_t generation, std::uint64_t hash, const StagedCopies& staged,
                     SaveReport& report);
    bool PlaceCopy(const FsPath& name, const FsPath& ahead, std::string_view bytes, const NoteMap& notes,
                   std::string_view stamp, const Manifest& vouching);
    int PruneDatedCopies(const FsPath& datedName, const NoteMap& notes, std::string_view stamp,
                         const Manifest& vouching);
    // `ownWhole`: this run journalled after the save began, so its own journals all stay.
    void SettleJournals(const SavedJournals& marked, bool copied, bool ownWhole);
    // Leftovers of our own saves, and kept files whose notes the saved diary holds, removed; gives how
    // many kept files went.
    int RemoveStrays(const NoteMap& notes, std::string_view stamp);
    void WriteManifest();
    // The one rule for a file of the diary's folder about to be replaced or removed: true when its
    // bytes are a save the manifest recorded for that name, when the diary holds every note it
    // holds, or once it is copied aside as "kept-<stamp>-<name>".
    bool MayReplace(const FsPath& name, const NoteMap& notes, std::string_view stamp,
                    const Manifest& vouching);
    int SettleKept(const NoteMap& notes);

    FileSystem& m_fs;
    DiaryPlace m_place;
    RunStamp m_run;
    WideToNarrow m_toNarrow;
    std::uint64_t m_tag = 0;
    FsPath m_folder;
    std::vector<FsPath> m_otherFolders;  // this diary's folders under the other roots
    std::vector<FsPath> m_formerFolders; // where older versions kept it, read only
    std::uint64_t m_formerTag = 0;
    // The bytes the notes file held when last read or written: anything else there was put by
    // someone else, and is kept aside before a save replaces it.
    std::optional<std::uint64_t> m_tempHash;
    Manifest m_manifest;
    std::uint64_t m_loadedHash = 0;
    // The temporary folder's file was not what the last save wrote: the copy that save made is kept.
    bool m_keepCopyAside = false;
    bool m_keepTempAside = false;
    std::vector<FsPath> m_keepAside;              // copies that held more than they gave when tried
    std::vector<FsPath> m_applied;                // journals taken in at start, settled by the next save
    std::map<FsPath, std::uint64_t> m_appliedIds; // the header id of each journal taken in
    std::vector<FsPath> m_unkept;                 // damaged journals whose bytes could not yet be kept aside
    EditJournal m_journal;
    // Held by Record and by a save's marking of the journals, which may be on another thread.
    std::mutex m_journalTurn;
};

// What this diary's safety folder keeps aside (kept copies, unreadable copies, journals of ended
// runs, files older versions left) and how many notes each holds that the diary lacks.
struct KeptItem {
    FsPath path;
    int notesBeyond = 0; // -1 when the file cannot be read as a diary or a journal
};
std::vector<KeptItem> KeptItemsOf(FileSystem& fs, const FsPath& folder, const NoteMap& notes,
                                  const WideToNarrow& toNarrow = {});

// The diary's folder under one safety root: "diary-<16 hex digits>\".
FsPath DiaryFolderUnder(const FsPath& root, std::uint64_t tag, int attempt = 0);
