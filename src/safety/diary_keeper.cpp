// The diary's safety: its folder's name, the journal and the save's copies (the start is in
// diary_keeper_start.cpp).
#include "safety/diary_keeper.h"

#include <algorithm>
#include <limits>

#include "diary/notes_file.h"
#include "safety/content_hash.h"
#include "safety/keeper_files.h"
#include "safety/safety_store.h"

using namespace keeper;

namespace {

// A generation that reached the top stays there: wrapped round it would rank below every save.
std::uint64_t NextGeneration(std::uint64_t generation) {
    return generation == std::numeric_limits<std::uint64_t>::max() ? generation : generation + 1;
}

// The dated copies the manifest names other than `today`, the latest save of each name, latest first.
std::vector<ManifestCopy> DatedByGeneration(const Manifest& manifest, const FsPath& today) {
    std::vector<ManifestCopy> dated;
    for (const ManifestCopy& copy : manifest.copies) {
        if (copy.name == today || !ParseDatedCopyName(copy.name))
            continue;
        const auto same = std::find_if(dated.begin(), dated.end(),
                                       [&](const ManifestCopy& c) { return c.name == copy.name; });
        if (same == dated.end())
            dated.push_back(copy);
        else if (copy.generation > same->generation)
            *same = copy;
    }
    std::sort(dated.begin(), dated.end(),
              [](const ManifestCopy& a, const ManifestCopy& b) { return a.generation > b.generation; });
    return dated;
}

} // namespace

std::uint64_t DiaryTag(std::wstring_view identity) {
    return ContentHash(Utf8FromWidePath(identity));
}

FsPath DiaryFolderUnder(const FsPath& root, std::uint64_t tag, int attempt) {
    const std::string hex = HashHex(tag);
    FsPath folder = root + L"diary-" + FsPath(hex.begin(), hex.end());
    if (attempt > 0)
        folder += L"-" + Decimal(static_cast<std::uint64_t>(attempt));
    return folder + L"\\";
}

DiaryKeeper::DiaryKeeper(FileSystem& fs, DiaryPlace place, RunStamp run, WideToNarrow toNarrow)
    : m_fs(fs), m_place(std::move(place)), m_run(run), m_toNarrow(std::move(toNarrow)),
      m_tag(DiaryTag(m_place.identity)), m_journal(fs, FsPath(), JournalHeader{}) {
    if (!m_place.formerIdentity.empty() && DiaryTag(m_place.formerIdentity) != m_tag)
        m_formerTag = DiaryTag(m_place.formerIdentity);
}

std::vector<FsPath> DiaryKeeper::AllFolders() const {
    std::vector<FsPath> folders;
    if (!m_folder.empty())
        folders.push_back(m_folder);
    folders.insert(folders.end(), m_otherFolders.begin(), m_otherFolders.end());
    folders.insert(folders.end(), m_formerFolders.begin(), m_formerFolders.end());
    return folders;
}

bool DiaryKeeper::Record(std::string_view key, std::string_view text, const NoteMap& notes) {
    const std::lock_guard turn(m_journalTurn);
    return m_journal.Record(key, text, notes);
}

StagedCopies DiaryKeeper::StageCopies(FileSystem& fs, const FsPath& folder, std::string_view bytes,
                                      int today) {
    StagedCopies staged;
    if (folder.empty())
        return staged;
    if (WriteBeside(fs, folder + kNotesFileName, bytes, staged.copy) != FileError::kNone)
        staged.copy.clear();
    // A copy of its own, not a second name of the safety copy: whatever rewrites one in place must
    // leave the other as it was.
    if (WriteBeside(fs, folder + DatedCopyName(today), bytes, staged.dated) != FileError::kNone)
        staged.dated.clear();
    return staged;
}

void DiaryKeeper::WriteManifest() {
    WriteSafetyFile(m_fs, m_folder + kManifestName, EncodeManifest(m_manifest));
}

bool DiaryKeeper::MayReplace(const FsPath& name, const NoteMap& notes, std::string_view stamp,
                             const Manifest& vouching) {
    std::string bytes;
    const FileError error = m_fs.ReadAll(m_folder + name, bytes);
    if (error == FileError::kNotFound)
        return true;
    if (error == FileError::kNone) {
        const std::uint64_t hash = ContentHash(bytes);
        for (const ManifestCopy& copy : vouching.copies) {
            if (copy.name == name && copy.size == bytes.size() && copy.hash == hash)
                return true;
        }
        if (HeldBy(std::move(bytes), notes, m_toNarrow))
            return true;
    }
    return KeepCopy(m_fs, m_folder, name, stamp);
}

int DiaryKeeper::SettleKept(const NoteMap& notes) {
    // This run's own journals are settled by the save that holds them, never here: one may be
    // taking a record while the save is written, and what it held a moment ago says nothing then.
    const FsPath firstOwn = EditJournalName(m_run.pid, m_run.started, 0);
    const FsPath ownPrefix = firstOwn.substr(0, firstOwn.size() - 5);
    int removed = 0;
    for (const KeptItem& item : KeptItemsOf(m_fs, m_folder, notes, m_toNarrow)) {
        if (IsEditJournalName(NameOf(item.path)) && StartsWith(NameOf(item.path), ownPrefix))
            continue;
        // A kept file goes once every note it holds is in the saved diary with the same text.
        if (item.notesBeyond == 0 && RemoveFile(m_fs, item.path) == FileError::kNone)
            ++removed;
    }
    return removed;
}

DiaryKeeper::SavedJournals DiaryKeeper::JournalsHeld() {
    SavedJournals held;
    for (const FsPath& path : m_applied)
        (IsLegacyJournalName(NameOf(path)) ? held.legacy : held.journals).push_back(path);
    held.applied = held.journals.size();
    held.journals.insert(held.journals.end(), m_journal.Files().begin(), m_journal.Files().end());
    // What is recorded from now on is not in the bytes taken: it goes to a segment of its own, which
    // no marker of this save covers.
    m_journal.Rotate();
    return held;
}

void DiaryKeeper::MarkJournals(SavedJournals& marked, std::uint64_t generation, std::uint64_t hash,
                               std::string_view stamp) {
    // Every journal whose edits these bytes hold says so before the bytes are written: a run cut off
    // once the notes file holds them must not have the journals replayed over it at the next start
    // (a day deleted and typed again would come back as it was). A marker of a save that never
    // reached the disk names bytes no file holds, and is never matched.
    if (m_place.tempNotes.empty())
        return;
    for (std::size_t i = 0; i < marked.journals.size(); ++i) {
        const bool own = i >= marked.applied;
        if (!MarkJournalSaved(m_fs, marked.journals[i], generation, hash, own ? std::string_view() : stamp) &&
            !own)
            m_unkept.push_back(marked.journals[i]);
    }
}

bool DiaryKeeper::MustKeepTemp(const NoteMap& notes, std::string_view stamp) {
    // The notes file is replaced only when it holds what this diary read or wrote there, or nothing
    // the save lacks; what another program put there is copied aside first.
    if (m_keepTempAside || m_place.tempNotes.empty())
        return m_keepTempAside;
    std::string current;
    const FileError error = LoadFile(m_fs, m_place.tempNotes, current);
    if (error == FileError::kNotFound)
        return false;
    if (error != FileError::kNone)
        return true;
    const std::uint64_t currentHash = ContentHash(current);
    const bool vouched =
        (m_tempHash && *m_tempHash == currentHash) ||
        (m_manifest.generation > 0 && m_manifest.hash == currentHash && m_manifest.size == current.size()) ||
        HeldBy(std::move(current), notes, m_toNarrow);
    if (vouched)
        return false;
    return !(!m_folder.empty() && m_fs.MakeFolders(m_folder) == FileError::kNone &&
             KeepCopy(m_fs, m_folder, L"temp-nts.ini", stamp, m_place.tempNotes));
}

SaveReport DiaryKeeper::Save(const NoteMap& notes, std::string_view bytes, int today, std::string_view stamp,
                             const std::function<StagedCopies()>& waitForStaged) {
    Pending pending = BeginSave();
    const SaveReport report = WriteSave(pending, notes, bytes, today, stamp, waitForStaged);
    EndSave(pending, report);
    return report;
}

DiaryKeeper::Pending DiaryKeeper::BeginSave() {
    Pending pending;
    const std::lock_guard turn(m_journalTurn);
    pending.journals = JournalsHeld();
    pending.recordsBefore = m_journal.Records();
    return pending;
}

SaveReport DiaryKeeper::WriteSave(Pending& pending, const NoteMap& notes, std::string_view bytes, int today,
                                  std::string_view stamp,
                                  const std::function<StagedCopies()>& waitForStaged) {
    pending.hash = ContentHash(bytes);
    pending.generation = NextGeneration(m_manifest.generation);
    {
        // A compaction of the journal meanwhile would remove what is being marked.
        const std::lock_guard turn(m_journalTurn);
        MarkJournals(pending.journals, pending.generation, pending.hash, stamp);
    }
    SaveReport report;
    const bool keepTemp = MustKeepTemp(notes, stamp);
    const bool saved =
        !m_place.tempNotes.empty() &&
        SaveDataFile(m_fs, m_place.tempNotes, bytes, keepTemp, stamp).outcome == SaveOutcome::kSaved;
    StagedCopies staged;
    if (waitForStaged)
        staged = waitForStaged();
    if (!saved) {
        // The notes file does not hold these bytes, so neither may a copy: the journal stays the
        // only record of this run's typing, and the next start applies it.
        for (const FsPath& path : {staged.copy, staged.dated}) {
            if (!path.empty())
                RemoveFile(m_fs, path);
        }
        return report;
    }
    report.saved = true;
    m_keepTempAside = false;
    m_tempHash = pending.hash;
    SettleLeftovers(m_fs, LeftoversOfNotes(m_fs, m_place.tempNotes), notes, stamp, m_toNarrow);
    if (!m_folder.empty() && m_fs.MakeFolders(m_folder) == FileError::kNone)
        WriteCopies(notes, bytes, today, stamp, pending.generation, pending.hash, staged, report);
    if (!m_folder.empty())
        report.removed += RemoveStrays(notes, stamp);
    return report;
}

void DiaryKeeper::EndSave(const Pending& pending, const SaveReport& report) {
    if (report.saved)
        SettleJournals(pending.journals, report.copied, m_journal.Records() != pending.recordsBefore);
}

void DiaryKeeper::WriteCopies(const NoteMap& notes, std::string_view bytes, int today, std::string_view stamp,
                              std::uint64_t generation, std::uint64_t hash, const StagedCopies& staged,
                              SaveReport& report) {
    // The manifest first says what each copy will hold while keeping what it holds now, so a
    // run cut off between the moves still finds every copy's generation by its bytes.
    const FsPath datedName = DatedCopyName(today);
    m_manifest.generation = generation;
    m_manifest.size = bytes.size();
    m_manifest.hash = hash;
    const ManifestCopy fresh{FsPath(), generation, bytes.size(), hash};
    // What the manifest read at start or written by the last save says the copies hold.
    const Manifest vouching = m_manifest;
    Manifest during = m_manifest;
    for (const FsPath& name : {FsPath(kNotesFileName), datedName}) {
        ManifestCopy copy = fresh;
        copy.name = name;
        during.copies.push_back(copy);
    }
    WriteSafetyFile(m_fs, m_folder + kManifestName, EncodeManifest(during));

    report.copied = PlaceCopy(kNotesFileName, staged.copy, bytes, notes, stamp, vouching);
    report.datedCopied = PlaceCopy(datedName, staged.dated, bytes, notes, stamp, vouching);
    for (const auto& [name, done] :
         {std::pair{FsPath(kNotesFileName), report.copied}, std::pair{datedName, report.datedCopied}}) {
        if (done) {
            ManifestCopy copy = fresh;
            copy.name = name;
            m_manifest.SetCopy(copy);
        }
    }
    m_keepCopyAside = false;
    m_keepAside.clear();
    if (report.datedCopied)
        report.removed += PruneDatedCopies(datedName, notes, stamp, vouching);
    // A copy the manifest names that is gone is no longer anything to rank.
    std::vector<ManifestCopy> present;
    for (const ManifestCopy& copy : m_manifest.copies) {
        if (m_fs.Exists(m_folder + copy.name))
            present.push_back(copy);
    }
    m_manifest.copies = std::move(present);
    WriteManifest();
}

bool DiaryKeeper::PlaceCopy(const FsPath& name, const FsPath& ahead, std::string_view bytes,
                            const NoteMap& notes, std::string_view stamp, const Manifest& vouching) {
    const FsPath path = m_folder + name;
    const bool held = std::find(m_keepAside.begin(), m_keepAside.end(), path) != m_keepAside.end();
    const bool lastSave = m_keepCopyAside && name == kNotesFileName;
    const bool mayReplace =
        held || lastSave ? KeepCopy(m_fs, m_folder, name, stamp) : MayReplace(name, notes, stamp, vouching);
    if (!mayReplace) {
        if (!ahead.empty())
            RemoveFile(m_fs, ahead);
        return false;
    }
    if (!ahead.empty()) {
        if (MoveOver(m_fs, ahead, path) == FileError::kNone)
            return true;
        RemoveFile(m_fs, ahead);
    }
    return WriteSafetyFile(m_fs, path, bytes);
}

int DiaryKeeper::PruneDatedCopies(const FsPath& datedName, const NoteMap& notes, std::string_view stamp,
                                  const Manifest& vouching) {
    // The dated copies kept are those of the latest saves by generation, today's among them
    // whatever the clock says of the others.
    const std::vector<ManifestCopy> dated = DatedByGeneration(m_manifest, datedName);
    int removed = 0;
    for (std::size_t i = kDatedCopiesKept - 1; i < dated.size(); ++i) {
        if (!MayReplace(dated[i].name, notes, stamp, vouching))
            continue;
        const FileError error = RemoveFile(m_fs, m_folder + dated[i].name);
        if (error == FileError::kNone || error == FileError::kNotFound) {
            m_manifest.Forget(dated[i].name);
            ++removed;
        }
    }
    return removed;
}

void DiaryKeeper::SettleJournals(const SavedJournals& marked, bool copied, bool ownWhole) {
    // A damaged journal whose bytes could not be copied aside stays, and is tried at the next save.
    // And while no safety copy holds the save (the folder read-only, full or gone), the notes file
    // is its only home: a cleaned temporary folder would take it, so the journals stay until a save
    // whose copy is written.
    const std::vector<FsPath>& journals = marked.journals;
    std::vector<FsPath> removable, kept = m_unkept;
    for (std::size_t i = 0; i < journals.size(); ++i) {
        const FsPath& path = journals[i];
        if (std::find(m_unkept.begin(), m_unkept.end(), path) != m_unkept.end())
            continue;
        // Typing recorded while the save was written is after its marker in these very files, and
        // in no file on disk: they stay as they are, and the journal goes on as it was.
        if (ownWhole && i >= marked.applied)
            continue;
        (copied ? removable : kept).push_back(path);
    }
    std::vector<FsPath> left = RemoveJournalFiles(m_fs, removable);
    left.insert(left.end(), kept.begin(), kept.end());
    m_unkept.clear();
    std::vector<FsPath> ownLeft;
    m_applied.clear();
    for (const FsPath& path : left) {
        const bool own = std::find(journals.begin() + static_cast<std::ptrdiff_t>(marked.applied),
                                   journals.end(), path) != journals.end();
        (own ? ownLeft : m_applied).push_back(path);
    }
    std::vector<std::uint64_t> stillFollows;
    for (const FsPath& path : m_applied) {
        if (const auto id = m_appliedIds.find(path); id != m_appliedIds.end())
            stillFollows.push_back(id->second);
    }
    if (!ownWhole)
        m_journal.Saved(std::move(ownLeft), std::move(stillFollows));
    for (const FsPath& path : marked.legacy) {
        if (RemoveFile(m_fs, path) != FileError::kNone)
            m_applied.push_back(path);
    }
}

int DiaryKeeper::RemoveStrays(const NoteMap& notes, std::string_view stamp) {
    for (const FsPath& name : Names(m_fs, m_folder)) {
        // Read by name alone, never through the journal: a save may run on a thread of its own.
        if (!IsOwnStrayName(name) || IsEditJournalName(name))
            continue;
        // A manifest's leftover holds no note; a copy's is a diary, and goes by the one rule.
        if (IsLeftoverName(name, kManifestName) || MayReplace(name, notes, stamp, Manifest()))
            RemoveFile(m_fs, m_folder + name);
    }
    return SettleKept(notes);
}

std::vector<KeptItem> KeptItemsOf(FileSystem& fs, const FsPath& folder, const NoteMap& notes,
                                  const WideToNarrow& toNarrow) {
    std::vector<KeptItem> items;
    if (folder.empty())
        return items;
    Manifest manifest;
    std::string bytes;
    if (fs.ReadAll(folder + kManifestName, bytes) == FileError::kNone) {
        if (std::optional<Manifest> read = DecodeManifest(bytes))
            manifest = std::move(*read);
    }
    for (const FsPath& name : Names(fs, folder)) {
        const FsPath path = folder + name;
        if (IsEditJournalName(name)) {
            std::string journalBytes;
            if (fs.ReadAll(path, journalBytes) != FileError::kNone) {
                items.push_back({path, -1});
                continue;
            }
            const JournalFile journal = DecodeJournal(journalBytes);
            items.push_back({path, journal.valid ? JournalEditsBeyond(journal, notes) : -1});
            continue;
        }
        const bool copyOfASave =
            (name == kNotesFileName || ParseDatedCopyName(name)) && manifest.CopyNamed(name);
        const bool kept = StartsWith(name, kKeptPrefix) || StartsWith(name, kLegacyPrefix) ||
                          name.find(L".unreadable-") != FsPath::npos ||
                          (IsNotesCopyName(name) && !copyOfASave);
        if (!kept || name == kManifestName || name == L"qlw.ini" || IsOwnStrayName(name))
            continue;
        if (StartsWith(name, kKeptPrefix) && name.size() > 4 && name.substr(name.size() - 4) == L".qjl") {
            // A journal kept for a part that could not be read: what that part held is unknown, so
            // it stays until the user looks.
            std::string journalBytes;
            const JournalFile journal = fs.ReadAll(path, journalBytes) == FileError::kNone
                                            ? DecodeJournal(journalBytes)
                                            : JournalFile();
            items.push_back(
                {path, journal.valid && !journal.damaged ? JournalEditsBeyond(journal, notes) : -1});
            continue;
        }
        items.push_back({path, NotesBeyond(fs, path, notes, toNarrow)});
    }
    return items;
}
