// The edit journal's bytes, its reader, the rules that apply it to a diary, and the writer.
#include "safety/edit_journal.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string_view>

#include "diary/note_join.h"
#include "safety/content_hash.h"

namespace {

constexpr std::string_view kMagic("QJNL\x01\x00\r\n", 8);
constexpr char kHeaderKind = 'H';
// A record longer than this is damage, not a note: the notes file itself cannot hold a longer text.
constexpr std::uint32_t kMostRecordBytes = 0x7FFFFFF0u;

void PutU32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutU64(std::string& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutBytes(std::string& out, std::string_view bytes) {
    PutU32(out, static_cast<std::uint32_t>(bytes.size()));
    out.append(bytes);
}

std::uint32_t Check(std::string_view payload) {
    return static_cast<std::uint32_t>(ContentHash(payload) & 0xFFFFFFFFu);
}

// Length, checksum, then the payload: a record is whole only when all three agree.
std::string Frame(const std::string& payload) {
    std::string out;
    out.reserve(payload.size() + 8);
    PutU32(out, static_cast<std::uint32_t>(payload.size()));
    PutU32(out, Check(payload));
    out.append(payload);
    return out;
}

class Reader {
  public:
    explicit Reader(std::string_view bytes) : m_rest(bytes) {}
    bool U32(std::uint32_t& value) {
        if (m_rest.size() < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i)
            value |=
                static_cast<std::uint32_t>(static_cast<unsigned char>(m_rest[static_cast<std::size_t>(i)]))
                << (8 * i);
        m_rest.remove_prefix(4);
        return true;
    }
    bool U64(std::uint64_t& value) {
        if (m_rest.size() < 8)
            return false;
        value = 0;
        for (int i = 0; i < 8; ++i)
            value |=
                static_cast<std::uint64_t>(static_cast<unsigned char>(m_rest[static_cast<std::size_t>(i)]))
                << (8 * i);
        m_rest.remove_prefix(8);
        return true;
    }
    bool Bytes(std::string_view& bytes) {
        std::uint32_t size = 0;
        if (!U32(size) || size > m_rest.size())
            return false;
        bytes = m_rest.substr(0, size);
        m_rest.remove_prefix(size);
        return true;
    }
    bool Byte(char& c) {
        if (m_rest.empty())
            return false;
        c = m_rest[0];
        m_rest.remove_prefix(1);
        return true;
    }
    bool Done() const { return m_rest.empty(); }

  private:
    std::string_view m_rest;
};

bool DecodeHeader(std::string_view payload, JournalHeader& header) {
    Reader in(payload);
    char kind = 0;
    std::uint32_t count = 0;
    if (!in.Byte(kind) || kind != kHeaderKind || !in.U32(header.pid) || !in.U64(header.started) ||
        !in.U64(header.id) || !in.U64(header.diaryTag) || !in.U32(count) || count > payload.size() / 8)
        return false;
    header.follows.resize(count);
    for (std::uint64_t& id : header.follows) {
        if (!in.U64(id))
            return false;
    }
    return in.Done();
}

bool DecodeRecord(std::string_view payload, JournalRecord& record) {
    Reader in(payload);
    char kind = 0;
    if (!in.Byte(kind) || !in.U64(record.seq))
        return false;
    if (kind == static_cast<char>(JournalRecordKind::kEdit)) {
        std::string_view key, text;
        if (!in.U64(record.base) || !in.Bytes(key) || !in.Bytes(text) || !in.Done())
            return false;
        record.kind = JournalRecordKind::kEdit;
        record.key.assign(key);
        record.text.assign(text);
        return true;
    }
    if (kind == static_cast<char>(JournalRecordKind::kSaved)) {
        record.kind = JournalRecordKind::kSaved;
        return in.U64(record.generation) && in.U64(record.savedHash) && in.Done();
    }
    return false;
}

// One day's edits in one journal, in the order typed.
struct DayChain {
    std::vector<std::uint64_t> passed; // bases and the texts typed on the way to the last one
    const std::string* last = nullptr;
    const std::string* lastWords = nullptr; // the last text typed that was not blank
    std::uint64_t order = 0;
};

// The edits of a journal that a diary read from the file with `loadedHash` does not already hold as
// of a save: those after the last save marker of that very file.
std::size_t FirstUnsavedRecord(const JournalFile& journal, std::uint64_t loadedHash) {
    std::size_t first = 0;
    for (std::size_t i = 0; i < journal.records.size(); ++i) {
        const JournalRecord& record = journal.records[i];
        if (record.kind == JournalRecordKind::kSaved && record.savedHash == loadedHash)
            first = i + 1;
    }
    return first;
}

std::map<std::string, DayChain> ChainsOf(const JournalFile& journal, std::size_t from) {
    std::map<std::string, DayChain> chains;
    for (std::size_t i = from; i < journal.records.size(); ++i) {
        const JournalRecord& record = journal.records[i];
        if (record.kind != JournalRecordKind::kEdit)
            continue;
        DayChain& chain = chains[record.key];
        chain.passed.push_back(record.base);
        if (chain.last)
            chain.passed.push_back(NoteBaseHash(*chain.last));
        chain.last = &record.text;
        if (!IsBlankNote(record.text))
            chain.lastWords = &record.text;
        chain.order = i;
    }
    return chains;
}

enum class Outcome { kUnchanged, kApplied, kJoined, kKept };

Outcome Decide(const DayChain& chain, std::string_view current, std::string& result) {
    const std::string& typed = *chain.last;
    const bool typedBlank = IsBlankNote(typed);
    const bool currentBlank = IsBlankNote(current);
    if (current == typed || (typedBlank && currentBlank))
        return Outcome::kUnchanged;
    const std::uint64_t now = NoteBaseHash(current);
    if (std::find(chain.passed.begin(), chain.passed.end(), now) != chain.passed.end()) {
        result = typed;
        return Outcome::kApplied;
    }
    // The day changed elsewhere since this edit began: nothing typed on either side may go.
    if (typedBlank)
        return Outcome::kKept;
    if (currentBlank) {
        result = typed;
        return Outcome::kApplied;
    }
    if (HoldsNotePart(current, typed))
        return Outcome::kUnchanged;
    result = JoinNoteParts(current, typed);
    return Outcome::kJoined;
}

} // namespace

std::vector<std::size_t> JournalOrder(const std::vector<JournalFile>& journals) {
    std::vector<std::size_t> pending;
    for (std::size_t i = 0; i < journals.size(); ++i) {
        if (journals[i].valid)
            pending.push_back(i);
    }
    std::sort(pending.begin(), pending.end(),
              [&](std::size_t a, std::size_t b) { return journals[a].header.id < journals[b].header.id; });
    std::set<std::uint64_t> present;
    for (const std::size_t i : pending)
        present.insert(journals[i].header.id);
    std::set<std::uint64_t> done;
    std::vector<std::size_t> order;
    while (!pending.empty()) {
        auto ready = std::find_if(pending.begin(), pending.end(), [&](std::size_t i) {
            const JournalHeader& header = journals[i].header;
            return std::all_of(header.follows.begin(), header.follows.end(), [&](std::uint64_t id) {
                return !present.count(id) || done.count(id) || id == header.id;
            });
        });
        // A cycle, which only damage makes, is broken by id: every journal is applied once.
        if (ready == pending.end())
            ready = pending.begin();
        done.insert(journals[*ready].header.id);
        order.push_back(*ready);
        pending.erase(ready);
    }
    return order;
}

std::uint64_t NoteBaseHash(std::string_view text) {
    return ContentHash(IsBlankNote(text) ? std::string_view() : text);
}

std::string EncodeJournalStart(const JournalHeader& header) {
    std::string payload;
    payload.push_back(kHeaderKind);
    PutU32(payload, header.pid);
    PutU64(payload, header.started);
    PutU64(payload, header.id);
    PutU64(payload, header.diaryTag);
    PutU32(payload, static_cast<std::uint32_t>(header.follows.size()));
    for (const std::uint64_t id : header.follows)
        PutU64(payload, id);
    return std::string(kMagic) + Frame(payload);
}

std::string EncodeJournalRecord(const JournalRecord& record) {
    std::string payload;
    payload.reserve(record.key.size() + record.text.size() + 40);
    payload.push_back(static_cast<char>(record.kind));
    PutU64(payload, record.seq);
    if (record.kind == JournalRecordKind::kEdit) {
        PutU64(payload, record.base);
        PutBytes(payload, record.key);
        PutBytes(payload, record.text);
    } else {
        PutU64(payload, record.generation);
        PutU64(payload, record.savedHash);
    }
    return Frame(payload);
}

namespace {

// The payload of the frame at `at` when its length fits and its checksum holds.
bool WholeFrameAt(std::string_view bytes, std::size_t at, std::string_view& payload, std::uint32_t& size) {
    if (bytes.size() - at < 8)
        return false;
    Reader frame(bytes.substr(at, 8));
    std::uint32_t check = 0;
    frame.U32(size);
    frame.U32(check);
    if (size > kMostRecordBytes || size > bytes.size() - at - 8)
        return false;
    payload = bytes.substr(at + 8, size);
    return Check(payload) == check;
}

} // namespace

JournalFile DecodeJournal(std::string_view bytes) {
    JournalFile file;
    // A journal's name and size with its first bytes damaged still holds whole records after them.
    if (bytes.size() < kMagic.size())
        return file;
    if (bytes.substr(0, kMagic.size()) != kMagic)
        file.damaged = true;
    std::size_t at = kMagic.size();
    std::string_view payload;
    std::uint32_t size = 0;
    if (!file.damaged && WholeFrameAt(bytes, at, payload, size) && DecodeHeader(payload, file.header)) {
        file.valid = true;
        at += 8 + size;
    } else {
        // Without its header the journal says neither whose it is nor what it follows; its records
        // are still read, for the keeper of the folder it lies in to judge.
        file.damaged = true;
        file.header = JournalHeader{};
    }
    // A header that failed is skipped like any damaged record.
    while (at < bytes.size()) {
        if (WholeFrameAt(bytes, at, payload, size)) {
            JournalRecord record;
            if (DecodeRecord(payload, record))
                file.records.push_back(std::move(record));
            else
                file.damaged = true;
            at += 8 + size;
            continue;
        }
        file.damaged = true;
        // A record whose checksum fails but whose length still leads to the next whole record (or to
        // the file's end) was damaged in place: it alone is lost, the records after it stand. A
        // length that leads nowhere is where reading has to stop. A hit length may also lead past
        // whole records to another record or to the very end, so the first whole record after the
        // damaged one's start is looked for byte by byte, and wins over where its length leads. A
        // length read from a note's text is almost always past the file's end, so the search costs
        // little.
        const std::size_t next =
            size <= kMostRecordBytes && bytes.size() - at >= 8 && size <= bytes.size() - at - 8
                ? at + 8 + size
                : bytes.size() + 1;
        std::string_view nextPayload;
        std::uint32_t nextSize = 0;
        std::size_t found = at + 1;
        JournalRecord probe;
        while (found < bytes.size() &&
               !(WholeFrameAt(bytes, found, nextPayload, nextSize) && DecodeRecord(nextPayload, probe)))
            ++found;
        if (found < bytes.size()) {
            at = found;
            continue;
        }
        if (next == bytes.size())
            at = next;
        break;
    }
    file.readUpTo = at;
    return file;
}

JournalApplyReport ApplyJournals(const std::vector<JournalFile>& journals, NoteMap& notes,
                                 std::uint64_t loadedHash) {
    JournalApplyReport report;
    // A journal that marks a save of the file read took in, at its run's start, the journals it
    // follows: that save holds them as that run left them. They are skipped even where they could not
    // be marked themselves (a read-only folder), or a later start would type them again over what
    // the run changed since.
    const bool anyDamaged =
        std::any_of(journals.begin(), journals.end(), [](const JournalFile& j) { return j.damaged; });
    std::set<std::uint64_t> heldBySave;
    for (const JournalFile& journal : journals) {
        const bool marksLoaded =
            journal.valid &&
            std::any_of(journal.records.begin(), journal.records.end(), [&](const JournalRecord& r) {
                return r.kind == JournalRecordKind::kSaved && r.savedHash == loadedHash;
            });
        if (marksLoaded)
            for (const std::uint64_t id : journal.header.follows)
                if (id != journal.header.id && id != 0)
                    heldBySave.insert(id);
    }
    for (const std::size_t index : JournalOrder(journals)) {
        const JournalFile* journal = &journals[index];
        if (heldBySave.count(journal->header.id))
            continue;
        const auto chains = ChainsOf(*journal, FirstUnsavedRecord(*journal, loadedHash));
        // In the order the days were last typed, so the diary's order follows the typing.
        std::vector<std::pair<std::uint64_t, const std::pair<const std::string, DayChain>*>> days;
        for (const auto& day : chains)
            days.emplace_back(day.second.order, &day);
        std::sort(days.begin(), days.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [order, day] : days) {
            std::string result;
            switch (Decide(day->second, notes.FindNote(day->first), result)) {
            case Outcome::kUnchanged:
                break;
            case Outcome::kApplied:
                notes.SetNote(day->first, result);
                ++report.applied;
                break;
            case Outcome::kJoined:
                notes.SetNote(day->first, result);
                ++report.joined;
                break;
            case Outcome::kKept: {
                // A deletion that cannot be matched to the day because a record was lost (of this
                // journal, or of one before it whose edit the base was), or because the diary was
                // joined from several copies by content (no file the edits' bases were taken from):
                // the words typed before it may be the only copy left, so they are joined in.
                const DayChain& chain = day->second;
                const std::string current(notes.FindNote(day->first));
                if ((anyDamaged || loadedHash == 0) && chain.lastWords &&
                    !HoldsNotePart(current, *chain.lastWords)) {
                    notes.SetNote(day->first, JoinNoteParts(current, *chain.lastWords));
                    ++report.joined;
                } else {
                    ++report.kept;
                }
                break;
            }
            }
        }
    }
    return report;
}

int JournalEditsBeyond(const JournalFile& journal, const NoteMap& notes) {
    int beyond = 0;
    for (const auto& [key, chain] : ChainsOf(journal, 0)) {
        std::string result;
        const Outcome outcome = Decide(chain, notes.FindNote(key), result);
        // A deletion the diary did not take is no text of its own to lose.
        if (outcome != Outcome::kUnchanged && !IsBlankNote(*chain.last))
            ++beyond;
    }
    return beyond;
}

std::uint64_t JournalRunId(std::uint32_t pid, std::uint64_t started) {
    return ContentHash(std::to_string(pid) + ":" + std::to_string(started));
}

std::uint64_t JournalSegmentId(std::uint64_t runId, int segment) {
    return ContentHash(std::string_view(reinterpret_cast<const char*>(&runId), sizeof runId)) +
           static_cast<std::uint64_t>(segment);
}

EditJournal::EditJournal(FileSystem& fs, FsPath folder, JournalHeader header)
    : m_fs(&fs), m_folder(std::move(folder)), m_header(std::move(header)) {
    m_runId = m_header.id;
}

FsPath EditJournal::SegmentPath() const {
    return m_folder + EditJournalName(m_header.pid, m_header.started, m_segment);
}

bool EditJournal::Append(const JournalRecord& record) {
    if (TryAppend(record))
        return true;
    // The folder went read-only, filled up or was removed while the window ran: the folder made
    // again, else the next home that takes the record. The next start reads every one of them.
    for (const FsPath& home : m_homes) {
        if (home.empty() || m_fs->MakeFolders(home) != FileError::kNone)
            continue;
        m_folder = home;
        if (TryAppend(record))
            return true;
    }
    return false;
}

bool EditJournal::TryAppend(const JournalRecord& record) {
    if (m_folder.empty())
        return false;
    std::string bytes;
    const bool fresh = !m_open;
    if (fresh) {
        m_header.id = JournalSegmentId(m_runId, m_segment);
        bytes = EncodeJournalStart(m_header);
    }
    bytes += EncodeJournalRecord(record);
    const FsPath path = SegmentPath();
    std::unique_ptr<OutputFile> file;
    FileError error = fresh ? m_fs->CreateNew(path, file) : m_fs->OpenAppend(path, file);
    if (error == FileError::kNone)
        error = WriteFlushClose(*file, bytes);
    if (error != FileError::kNone) {
        // Whatever reached the disk reads up to its last whole record; the next record starts a
        // segment of its own that follows this one, so it is never read after a damaged tail.
        if (!fresh || m_fs->Exists(path)) {
            if (fresh) {
                m_files.push_back(path);
                m_fileIds[path] = m_header.id;
            }
            m_header.follows.push_back(m_header.id);
        }
        m_open = false;
        ++m_segment;
        return false;
    }
    if (fresh) {
        m_files.push_back(path);
        m_fileIds[path] = m_header.id;
        m_open = true;
        m_segmentBytes = 0;
    }
    m_segmentBytes += bytes.size();
    return true;
}

bool EditJournal::Record(std::string_view key, std::string_view text, const NoteMap& notes) {
    JournalRecord record;
    record.kind = JournalRecordKind::kEdit;
    record.seq = ++m_seq;
    record.key.assign(key);
    record.text.assign(text);
    const auto last = m_last.find(record.key);
    record.base = last != m_last.end() ? last->second : NoteBaseHash(notes.FindNote(key));
    if (!Append(record))
        return false;
    m_last[record.key] = NoteBaseHash(text);
    auto day = m_days.try_emplace(record.key, record.base, std::string()).first;
    day->second.second = std::move(record.text);
    std::size_t live = 0;
    for (const auto& [dayKey, state] : m_days)
        live += dayKey.size() + state.second.size() + 40;
    if (m_segmentBytes > kCompactBytes && m_segmentBytes > 4 * live)
        Compact();
    return true;
}

void EditJournal::Compact() {
    // The new segment follows only what this run took in at start: it holds everything the old
    // segments did that still matters (each day's first base and latest text), so they can go.
    JournalHeader header = m_header;
    header.follows = m_startFollows;
    const int segment = m_segment + 1;
    header.id = JournalSegmentId(m_runId, segment);
    std::string bytes = EncodeJournalStart(header);
    for (const auto& [key, state] : m_days) {
        JournalRecord record;
        record.seq = ++m_seq;
        record.key = key;
        record.base = state.first;
        record.text = state.second;
        bytes += EncodeJournalRecord(record);
    }
    const FsPath path = m_folder + EditJournalName(m_header.pid, m_header.started, segment);
    std::unique_ptr<OutputFile> file;
    if (m_fs->CreateNew(path, file) != FileError::kNone)
        return;
    if (WriteFlushClose(*file, bytes) != FileError::kNone) {
        RemoveFile(*m_fs, path);
        return;
    }
    std::vector<FsPath> left;
    for (const FsPath& old : m_files) {
        if (RemoveFile(*m_fs, old) != FileError::kNone && m_fs->Exists(old))
            left.push_back(old);
    }
    left.push_back(path);
    m_files = std::move(left);
    m_fileIds[path] = header.id;
    m_header = header;
    m_segment = segment;
    m_open = true;
    m_segmentBytes = bytes.size();
}

void EditJournal::Rotate() {
    if (!m_open)
        return;
    m_header.follows.push_back(m_header.id);
    ++m_segment;
    m_open = false;
}

void EditJournal::Saved(std::vector<FsPath> left, std::vector<std::uint64_t> stillFollows) {
    m_last.clear();
    m_days.clear();
    // A journal still on disk (one that could not be removed, or is kept while no copy holds the
    // save) is applied at the next start: whatever this run writes next must be applied after it.
    for (const FsPath& path : left) {
        if (const auto id = m_fileIds.find(path); id != m_fileIds.end())
            stillFollows.push_back(id->second);
    }
    m_startFollows = stillFollows;
    m_header.follows = std::move(stillFollows);
    m_files = std::move(left); // removed again at the next save
    if (m_open)
        ++m_segment;
    m_open = false;
}

bool MarkJournalSaved(FileSystem& fs, const FsPath& path, std::uint64_t generation, std::uint64_t savedHash,
                      std::string_view keepStamp) {
    JournalRecord marker;
    marker.kind = JournalRecordKind::kSaved;
    marker.generation = generation;
    marker.savedHash = savedHash;
    std::string bytes;
    if (fs.ReadAll(path, bytes) != FileError::kNone)
        return true;
    const JournalFile read = DecodeJournal(bytes);
    if (read.damaged && !keepStamp.empty()) {
        // What could not be read may still be someone's typing: its bytes go aside, whole, before
        // the journal is marked, repaired or removed. Without that copy the journal stays as it is.
        const std::size_t slash = path.find_last_of(L"\\/");
        const FsPath folder = path.substr(0, slash + 1);
        const FsPath name = path.substr(slash + 1);
        bool kept = false;
        for (int n = 1; n <= 1000 && !kept; ++n) {
            std::string prefix = "kept-" + std::string(keepStamp) + "-";
            if (n > 1)
                prefix += std::to_string(n) + "-";
            const FileError error = fs.CopyNew(path, folder + FsPath(prefix.begin(), prefix.end()) + name);
            if (error != FileError::kNone && error != FileError::kExists)
                return false;
            kept = error == FileError::kNone;
        }
        if (!kept)
            return false;
    }
    if (!read.valid)
        return true;
    if (read.readUpTo == bytes.size()) {
        std::unique_ptr<OutputFile> file;
        if (fs.OpenAppend(path, file) == FileError::kNone)
            WriteFlushClose(*file, EncodeJournalRecord(marker));
        return true;
    }
    // A length that leads nowhere ends what can be read, and nothing after it would ever be: the
    // whole records and the marker replace the file in one step, its bytes being kept above.
    std::string whole(bytes.substr(0, read.readUpTo));
    whole += EncodeJournalRecord(marker);
    const SaveResult result = SaveFileAtomically(fs, path, whole);
    if (result.outcome == SaveOutcome::kKeptBeside && !result.keptAt.empty())
        RemoveFile(fs, result.keptAt);
    return true;
}

std::vector<FsPath> RemoveJournalFiles(FileSystem& fs, const std::vector<FsPath>& paths) {
    std::vector<FsPath> left;
    for (const FsPath& path : paths) {
        if (RemoveFile(fs, path) != FileError::kNone && fs.Exists(path))
            left.push_back(path);
    }
    return left;
}

FsPath EditJournalName(std::uint32_t pid, std::uint64_t started, int segment) {
    const std::string text = "journal-" + std::to_string(pid) + "-" + std::to_string(started) + "-" +
                             std::to_string(segment) + ".qjl";
    return FsPath(text.begin(), text.end());
}

bool IsEditJournalName(std::wstring_view name) {
    constexpr std::wstring_view kPrefix = L"journal-", kSuffix = L".qjl";
    return name.size() > kPrefix.size() + kSuffix.size() && name.substr(0, kPrefix.size()) == kPrefix &&
           name.substr(name.size() - kSuffix.size()) == kSuffix;
}
