// What the sync remembers between runs: per day the resource, its ETag and the text both sides
// last agreed on; other clients' entries as last seen; the collection and its sync token. Kept in
// the diary's safety folder, written whole and atomically, and only when it changed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "files/file_store.h"
#include "sync/day_resource.h"

inline constexpr char kNoDayMark[] = "none";
// The mark of a day whose agreement was forgotten: its base still tells the note's own text from
// the other clients' entries it shows, but no longer what the server holds, so the day is read and
// compared afresh.
inline constexpr char kForgottenMark[] = "forgotten";

struct SyncDayState {
    std::string href;
    std::string etag; // empty when the server gave none: the day is read again next time
    std::string base; // the notes' bytes both sides agreed on
    // The X-QUILLIDAR-NEW-DAY mark the resource bore when agreed, kNoDayMark when it bore none, empty
    // when not known (a file of an older version): a resource bearing another mark was uploaded anew
    // since, by a writer that never saw the base. kForgottenMark: the base is agreed with nobody.
    std::string made = {};

    friend bool operator==(const SyncDayState&, const SyncDayState&) = default;
};

struct ForeignEntry {
    SyncDate date;
    std::string text;
    // A text the day's note shows is not kept twice: it is held as its length and checksum, and read
    // from the note (HeldAsSum). A note that no longer shows it has the resource read again.
    std::uint64_t sum = 0;
    std::uint32_t size = 0;

    bool HeldAsSum() const { return text.empty() && size != 0; }
    friend bool operator==(const ForeignEntry&, const ForeignEntry&) = default;
};

// The text a note shows of an entry: its own when it is held, else the run of the note's whole
// parts that has the entry's length and checksum; nullopt when the note shows no such run.
std::optional<std::string_view> ForeignTextIn(std::string_view note, const ForeignEntry& entry);
// Lets the entry's text go when the note shows it, keeping its length and checksum.
void HoldAsSumWhenShown(std::string_view note, ForeignEntry& entry);

// A resource this program did not write: never changed or removed by it, shown in its days' notes.
struct ForeignResource {
    std::string etag;
    std::vector<ForeignEntry> entries; // none for a resource that holds no diary day, or was refused

    friend bool operator==(const ForeignResource&, const ForeignResource&) = default;
};

// Other clients' entries of each day (by CompactDate), in the order of their resources and, within
// one, of its entries; each points into `resources`, which must outlive it unchanged. A big pull of
// phone entries looks every day up, and walking all resources for each was quadratic.
// Pairs of the day (its CompactDate's digits as a number) and the entry, sorted by day: a pull of
// a hundred years of phone entries is not indexed by a node and a string per day.
using ForeignTextsByDay = std::vector<std::pair<std::uint32_t, ForeignEntry*>>;
// With `changes` (by href; nullopt: gone), the resources as those change them, none copied.
ForeignTextsByDay IndexForeignByDay(std::map<std::string, ForeignResource>& resources,
                                    std::map<std::string, std::optional<ForeignResource>>* changes = nullptr);
// The entries of one day (a CompactDate), in that order.
std::vector<ForeignEntry*> ForeignEntriesOf(const ForeignTextsByDay& byDay, const std::string& date);
// The texts `note` shows of these entries, in their order. An entry held as its sum that the note
// no longer shows is left out, or with standIns stands as a text that is no part of the note, as
// the entry's own text would: what tells the note's own text from the entries it showed.
std::vector<std::string> ForeignTextsIn(std::string_view note, const std::vector<ForeignEntry*>& entries,
                                        bool standIns);
// Those of one day (a CompactDate).
std::vector<std::string> ForeignTextsOf(const ForeignTextsByDay& byDay, const std::string& date,
                                        std::string_view note, bool standIns);

struct SyncState {
    std::string collection; // the collection's URL, ending with '/'; empty before discovery
    std::string name;       // the display name it was found by; empty: the default one
    std::string token;      // RFC 6578 sync token; empty when the server offers none
    bool etagsOnly = false; // the server has no sync report: list ETags without asking again
    std::map<std::string, SyncDayState> days;       // by CompactDate
    std::map<std::string, ForeignResource> foreign; // by href

    friend bool operator==(const SyncState&, const SyncState&) = default;
};

inline constexpr wchar_t kSyncStateFileName[] = L"sync-state";

// The checksum every file of the sync carries (64-bit FNV-1a of what it covers): what tells a
// whole file from a damaged one.
// `from`: the sum of the bytes before these, so a file's sum can be taken a piece at a time.
inline constexpr std::uint64_t kSyncChecksumStart = 14695981039346656037ull;
std::uint64_t SyncFileChecksum(std::string_view bytes, std::uint64_t from = kSyncChecksumStart);
// A checksum as the sync's files write it, 16 lower-case hexadecimal digits, and back.
std::string SyncSumHex(std::uint64_t sum);
std::optional<std::uint64_t> SyncSumOfHex(std::string_view hex);

std::string EncodeSyncState(const SyncState& state);
// The same bytes handed to `put` in pieces of about a megabyte, none kept after it; false when
// `put` refused one (the pieces stop there).
bool WriteSyncState(const SyncState& state, const std::function<bool(std::string_view)>& put);
// False, and an empty state, for anything but a whole, undamaged file: a state that cannot be
// trusted is dropped, and the next sync compares every day afresh, which joins rather than loses.
bool DecodeSyncState(std::string_view bytes, SyncState& state);

// Written whole to a new file and moved over the old one, so a crash leaves the old state or the
// new; the log of what changed since the old one is removed first.
SaveResult SaveSyncState(FileSystem& fs, const FsPath& path, const SyncState& state);
// The state file alone, its log left as it is: what SaveSyncState writes once the log is gone.
SaveResult SaveSyncStateWhole(FileSystem& fs, const FsPath& path, const SyncState& state);
// SaveSyncStateWhole, unless the state's bytes are the file's as it was read (fileSum, from
// LoadSyncStateFile; 0: write whatever it holds).
SaveResult KeepSyncStateFile(FileSystem& fs, const FsPath& path, const SyncState& state,
                             std::uint64_t fileSum);
// The state file alone, without its log; empty when there is none or it is damaged (*damaged then
// says which). *fileSum: the checksum of the file's bytes, 0 when there is no current file to keep.
SyncState LoadSyncStateFile(FileSystem& fs, const FsPath& path, bool* damaged = nullptr,
                            std::uint64_t* fileSum = nullptr);

// What a run read of the state's files, so that keeping the state writes only what changed since:
// a record's hash by its day ("d" and its CompactDate) or other client's resource ("f" and its
// href), and how long the log has grown.
struct SyncStateMark {
    std::uint64_t fileSum = 0;  // of the state file as read; 0: there is none to add to
    std::size_t stateBytes = 0; // about the state's size, which the log may grow to a quarter of
    std::size_t logBytes = 0;   // of the log's whole batches
    bool logTorn = false;       // the log ends in a batch cut short: written anew with the state
    std::uint64_t header = 0;   // of the collection, its name, the token and the listing's kind
    std::unordered_map<std::string, std::uint64_t> records;
};

// The state and its log of what changed as one; *mark: what KeepSyncState needs to add to them.
SyncState LoadSyncState(FileSystem& fs, const FsPath& path, bool* damaged = nullptr,
                        SyncStateMark* mark = nullptr);
// Adds the records that differ from the mark's as one sealed batch to the state's log, or, when
// there is no state file to add to, the log is cut short or has grown too long, or the append
// fails, writes the state whole. A state the mark describes exactly writes nothing.
SaveResult KeepSyncState(FileSystem& fs, const FsPath& path, const SyncState& state,
                         const SyncStateMark& mark);
// The mark of a state as it stands (the log's length left as it is).
void MarkSyncState(const SyncState& state, SyncStateMark& mark);
