// The journal of a run's edits: an append-only file of records, each a day's note as typed, the
// content it replaced and a checksum, so that a crash loses at most the last few seconds of typing
// and a start can tell, by content alone, whether the diary already holds an edit.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "files/file_store.h"
#include "diary/note_map.h"

// Who wrote a journal and what it came after. The run's process id and creation time tell a live
// run's journal apart (it is never taken); `follows` names the journals this run took in at its
// start, which must be applied before it.
struct JournalHeader {
    std::uint32_t pid = 0;
    std::uint64_t started = 0;
    std::uint64_t id = 0;       // this file's own id, unique per run and segment
    std::uint64_t diaryTag = 0; // the diary it belongs to (a hash of its folder's identity)
    std::vector<std::uint64_t> follows;
};

enum class JournalRecordKind : std::uint8_t { kEdit = 'E', kSaved = 'S' };

struct JournalRecord {
    JournalRecordKind kind = JournalRecordKind::kEdit;
    std::uint64_t seq = 0;
    // kEdit: the day, the text it now holds, and the hash (NoteBaseHash) of the text it replaced.
    std::string key;
    std::string text;
    std::uint64_t base = 0;
    // kSaved: the diary file written by a save that held every edit before this record.
    std::uint64_t generation = 0;
    std::uint64_t savedHash = 0;
};

struct JournalFile {
    bool valid = false; // a header was read
    JournalHeader header;
    std::vector<JournalRecord> records;
    // Where reading stopped: the file's size unless a damaged tail held no whole record.
    std::size_t readUpTo = 0;
    // Some part of the file could not be read (a record skipped, a cut-short tail, a lost header):
    // such a journal is kept aside, never cut back to what could be read.
    bool damaged = false;
};

// A note's hash as a journal base: a blank note counts as no note, as the window treats it.
std::uint64_t NoteBaseHash(std::string_view text);

std::string EncodeJournalStart(const JournalHeader& header);
std::string EncodeJournalRecord(const JournalRecord& record);
// Reads every whole record: one that fails its checksum is skipped, by its length when that still
// leads to the next whole record, else by looking for the next one. Nothing the bytes hold can
// make it read outside them or allocate more than they are long.
JournalFile DecodeJournal(std::string_view bytes);

// The valid journals' indexes, each after those it follows (a cycle, only damage makes one, broken by
// id): the order they are applied in, and the order a save marks them settled in.
std::vector<std::size_t> JournalOrder(const std::vector<JournalFile>& journals);

struct JournalApplyReport {
    int applied = 0; // days that took a journal's text
    int joined = 0;  // days changed since the edit's base: both texts kept, joined
    int kept = 0;    // a deletion of a day changed since: the day's text stays
};

// Applies the journals to the diary just read, each in turn after those it follows. `loadedHash` is
// the content hash of the file the diary was read from: edits before a save marker of exactly that
// file are already in it. An edit whose day still holds the text it replaced (or one the same run
// typed on the way) takes the day; a day that changed elsewhere since keeps both texts, joined.
JournalApplyReport ApplyJournals(const std::vector<JournalFile>& journals, NoteMap& notes,
                                 std::uint64_t loadedHash);

// What the journal of a file holds beyond the diary: the edits that would change it if applied.
int JournalEditsBeyond(const JournalFile& journal, const NoteMap& notes);

// A run's id from its process id and creation time, and the header id of each of its segments:
// what a journal that lost its header had, read back from its name.
std::uint64_t JournalRunId(std::uint32_t pid, std::uint64_t started);
std::uint64_t JournalSegmentId(std::uint64_t runId, int segment);

// This run's journal. Each record is appended and flushed on its own and costs the size of the note
// it holds. A write that fails may leave a record cut short at the end, which reads as the end; the next
// record starts a new file (a segment) that follows it, so a damaged tail never hides later records.
class EditJournal {
  public:
    // `folder` ends with a separator; `name` gives each segment its file name.
    EditJournal(FileSystem& fs, FsPath folder, JournalHeader header);

    // The day's note as typed now; its base is the text last recorded for the day in this run, or
    // the diary's note when the day was not recorded yet.
    bool Record(std::string_view key, std::string_view text, const NoteMap& notes);
    // The diary was saved: the records so far are in it and their files were settled (those in
    // `left` could not be removed and are tried again at the next save). The next record starts a
    // new file based on the saved diary.
    void Saved(std::vector<FsPath> left, std::vector<std::uint64_t> stillFollows = {});
    // The journals this run took in at start; a new segment follows them until they are settled.
    void SetFollows(std::vector<std::uint64_t> follows) {
        m_startFollows = follows;
        m_header.follows = std::move(follows);
    }
    // Where the journal goes when its folder cannot be written, best first (its own folder among
    // them, so a folder removed while the window runs is made again).
    void SetHomes(std::vector<FsPath> homes) { m_homes = std::move(homes); }
    const FsPath& Folder() const { return m_folder; }
    // The next record starts a new segment, which follows this one; nothing else changes.
    void Rotate();
    // Records tried so far (and compactions): changes whenever the journal may hold more.
    std::uint64_t Records() const { return m_seq; }
    // Every segment this run wrote that is still on disk.
    const std::vector<FsPath>& Files() const { return m_files; }

    // A segment grows with every record; past this size (and once it is mostly superseded records)
    // it is rewritten as one record per day, so a widget open for weeks keeps a small journal.
    static constexpr std::size_t kCompactBytes = 1 << 20;

  private:
    bool Append(const JournalRecord& record);
    bool TryAppend(const JournalRecord& record);
    void Compact();
    FsPath SegmentPath() const;

    FileSystem* m_fs;
    FsPath m_folder;
    JournalHeader m_header;
    std::uint64_t m_runId = 0;
    int m_segment = 0;
    bool m_open = false; // the current segment has its header on disk
    std::uint64_t m_seq = 0;
    std::unordered_map<std::string, std::uint64_t> m_last;
    // Each day typed since the last save: the base of its first record and its latest text.
    std::unordered_map<std::string, std::pair<std::uint64_t, std::string>> m_days;
    std::vector<std::uint64_t> m_startFollows;
    std::size_t m_segmentBytes = 0;
    std::vector<FsPath> m_files;
    std::vector<FsPath> m_homes;
    std::map<FsPath, std::uint64_t> m_fileIds; // each segment's header id
};

// Before the diary is saved with bytes of this hash: the journal's edits so far are in them. A
// journal of another run with a part that cannot be read is first copied whole to
// "kept-<keepStamp>-<name>"; false when that copy could not be made, and then the journal must stay
// where it is. An empty keepStamp is for this run's own journal, whose damage can only be a write of
// its own that failed, of typing the diary being saved holds.
bool MarkJournalSaved(FileSystem& fs, const FsPath& path, std::uint64_t generation, std::uint64_t savedHash,
                      std::string_view keepStamp);
// After the save: the journals go; returns those that could not be removed.
std::vector<FsPath> RemoveJournalFiles(FileSystem& fs, const std::vector<FsPath>& paths);

// "journal-<pid>-<started>-<segment>.qjl".
FsPath EditJournalName(std::uint32_t pid, std::uint64_t started, int segment);
bool IsEditJournalName(std::wstring_view name);
