// The diary session's notes, journal and settings; its sync's schedule is in sync_schedule.cpp.
#include "session/diary_session.h"

#include <algorithm>
#include <limits>

#include "appearance/settings_file.h"
#include "diary/date_key.h"
#include "diary/notes_file.h"
#include "safety/safety_store.h"

namespace {

// One step of a way out: whatever it throws, the steps after it still run.
template <typename Step> void Attempt(Step step) {
    try {
        step();
    } catch (...) {
    }
}

} // namespace

std::function<StagedCopies()> SessionPlatform::StageCopies(const FsPath&, const std::string&, int) {
    return {};
}

std::function<bool(std::uint64_t)> SessionPlatform::RunAside(std::function<void()> work) {
    work();
    return {};
}

// A whole save written off the window's thread. The thread has bytes of its own, so the window goes
// on filing and journalling; the run's state waits for the save to land.
struct DiarySession::Aside {
    struct Work {
        std::string bytes;
        int today = 0;
        std::string stamp;
        DiaryKeeper::Pending pending;
        SaveReport report;
    };
    std::shared_ptr<Work> work;
    std::function<bool(std::uint64_t)> ended;
    SyncState state;
    bool keepState = true; // false once the run was given up: its state is no one's now
};

SessionChanges& SessionChanges::operator|=(const SessionChanges& other) {
    showNote = showNote || other.showNote;
    markDays = markDays || other.markDays;
    syncStatus = syncStatus || other.syncStatus;
    tellUser = tellUser || other.tellUser;
    return *this;
}

DiarySession::DiarySession(FileSystem& fs, SessionPlatform& platform, SyncRunner& runner)
    : m_fs(fs), m_platform(platform), m_runner(runner) {}

DiarySession::~DiarySession() {
    if (m_saving && m_saving->ended)
        m_saving->ended(std::numeric_limits<std::uint64_t>::max());
}

FsPath DiarySession::Folder() const {
    return m_notesLoaded && m_keeper ? m_keeper->Folder() : FsPath();
}

bool DiarySession::LoadNotes(std::unique_ptr<DiaryKeeper> keeper, const RunIsAlive& isAlive) {
    m_keeper = std::move(keeper);
    if (!m_keeper)
        return false;
    try {
        const StartReport report = m_keeper->Start(m_notes, isAlive);
        // A file that holds more than was loaded is copied aside before it is replaced, whichever
        // source the notes came from.
        m_notesUnreadable = report.keepTempAside;
        if (!report.HasDiary()) {
            m_notes.Clear();
            m_notes.Append(NoteEntry{DateKeyOfInstant(m_platform.NowSeconds()), "俺的第一篇日记.."});
        }
        m_notesLoaded = true;
    } catch (...) {
        // The keeper keeps failures of a file to itself, so this is the system failing: the window
        // shows, but this run never writes a diary it did not read.
        m_notes.Clear();
        m_notesLoaded = false;
    }
    return m_notesLoaded;
}

void DiarySession::ShowDay(std::string key) {
    m_shownDay = std::move(key);
    m_noteEdited = false;
}

void DiarySession::Typed() {
    m_noteEdited = true;
    m_journal.Typed(m_platform.NowMs());
}

SessionChanges DiarySession::FileNote(std::string_view text) {
    SessionChanges changes;
    const std::string_view before = m_notes.FindNote(m_shownDay);
    const bool changed = before != text;
    changes.markDays = IsBlankNote(before) != IsBlankNote(text);
    // Filed even when it reads the same: the day's other entries a file held go with it.
    m_notes.SetNote(m_shownDay, text);
    if (!changed || !m_account)
        return changes;
    if (m_runner.Running())
        m_syncAgain = true;
    else
        Schedule(kSyncAfterFilingMs);
    return changes;
}

bool DiarySession::WriteJournal(std::string_view typed) {
    // A diary that was never read must not be journalled: its edits would be applied to another.
    if (!m_notesLoaded || !m_keeper)
        return false;
    bool ok = false;
    try {
        // The day's note as it stands in the box; its base is what the diary held for the day.
        ok = m_keeper->Record(m_shownDay, typed, m_notes);
    } catch (...) {
        ok = false;
    }
    m_journal.Written(ok, m_platform.NowMs());
    return ok;
}

bool DiarySession::SaveNotes() {
    if (!m_notesLoaded || !m_keeper || !SettleSaving(std::numeric_limits<std::uint64_t>::max()))
        return false;
    const std::string bytes = EncodeNotes(m_notes);
    const int today = m_platform.Today();
    // The copies may be written on a second thread while the notes file is written here: they only
    // take their names once the notes file holds the same bytes.
    std::function<StagedCopies()> staged;
    if (!m_keeper->Folder().empty())
        staged = m_platform.StageCopies(m_keeper->Folder(), bytes, today);
    const SaveReport report = m_keeper->Save(m_notes, bytes, today, m_platform.FileStamp(), staged);
    if (!report.saved)
        return false;
    m_notesUnreadable = false;
    return true;
}

bool DiarySession::SaveAside(SyncState state) {
    // One save at a time on the keeper: an earlier one still in flight (its run given up, and a new
    // one already through) lands first.
    if (!SettleSaving(std::numeric_limits<std::uint64_t>::max()))
        return false;
    auto aside = std::make_unique<Aside>();
    auto work = std::make_shared<Aside::Work>();
    std::function<StagedCopies()> staged;
    try {
        // The encoding is the window's whole share: tens of milliseconds for a century of notes,
        // where the writes and flushes take seconds. The thread reads its own notes back from it.
        work->bytes = EncodeNotes(m_notes);
        work->today = m_platform.Today();
        work->stamp = m_platform.FileStamp();
        if (!m_keeper->Folder().empty())
            staged = m_platform.StageCopies(m_keeper->Folder(), work->bytes, work->today);
        work->pending = m_keeper->BeginSave();
    } catch (...) {
        return false;
    }
    aside->work = work;
    aside->state = std::move(state);
    m_saving = std::move(aside);
    DiaryKeeper* keeper = m_keeper.get();
    m_saving->ended = m_platform.RunAside([keeper, work, staged] {
        try {
            NoteMap notes;
            DecodeNotes(std::string_view(work->bytes), notes);
            work->report =
                keeper->WriteSave(work->pending, notes, work->bytes, work->today, work->stamp, staged);
        } catch (...) {
            // Not saved: the journal keeps what it holds, and the state on disk stays.
            work->report = SaveReport{};
        }
        // The bytes stay until the window settles the save: the copies' thread may still read them
        // when the save stopped before waiting for it.
    });
    if (!m_saving->ended)
        SettleSaving(0);
    return true;
}

bool DiarySession::SettleSaving(std::uint64_t ms) {
    if (!m_saving)
        return true;
    if (m_saving->ended && !m_saving->ended(ms))
        return false;
    const std::unique_ptr<Aside> aside = std::move(m_saving);
    const SaveReport& report = aside->work->report;
    Attempt([&] { m_keeper->EndSave(aside->work->pending, report); });
    if (report.saved)
        m_notesUnreadable = false;
    // The state may say a day is agreed only now that the diary holding it is on disk.
    if (aside->keepState)
        m_runner.Finish(report.saved ? std::optional<SyncState>(std::move(aside->state)) : std::nullopt);
    return true;
}

void DiarySession::ForgetSavedRun() {
    if (m_saving)
        m_saving->keepState = false;
}

bool DiarySession::LoadSettings() {
    const FsPath path = m_platform.SettingsFile(false);
    // The settings' copy lives in the diary's own safety folder, so each diary keeps its own look.
    const FsPath folder = m_keeper ? m_keeper->Folder() : FsPath();
    const WideToNarrow narrow = m_platform.Narrower();
    CalendarSettings& settings = m_settings;
    try {
        const SettingsRecovery recovery =
            RecoverSettings(m_fs, path, folder.empty() ? FsPath() : folder + kSettingsFileName,
                            [&](std::string_view bytes, bool fromCopy) {
                                if (!fromCopy)
                                    return DecodeSettings(bytes, settings, kFileKey, narrow);
                                // A copy that fails to load must not leave half of itself in the record.
                                CalendarSettings loaded = settings;
                                if (!DecodeSettings(bytes, loaded, kFileKey, narrow))
                                    return false;
                                settings = loaded;
                                return true;
                            });
        m_settingsUnreadable = recovery.tempUnreadable;
        return recovery.source != SettingsSource::kDefaults;
    } catch (...) {
        m_settingsUnreadable = true;
        return false;
    }
}

bool DiarySession::SaveSettings() {
    if (!m_settingsLoaded)
        return false;
    const FsPath path = m_platform.SettingsFile(true);
    if (path.empty())
        return false;
    const std::string bytes = EncodeSettings(m_settings, kFileKey);
    auto afterSave = [&] {
        // What an earlier refused save left beside the file is older than what was just written.
        for (const FsPath& leftover : m_platform.LeftoversOf(path))
            RemoveFile(m_fs, leftover);
        const FsPath folder = m_keeper ? m_keeper->Folder() : FsPath();
        if (!folder.empty() && m_fs.MakeFolders(folder) == FileError::kNone &&
            !HoldsBytes(m_fs, folder + kSettingsFileName, bytes))
            WriteSafetyFile(m_fs, folder + kSettingsFileName, bytes);
    };
    // Settings that did not change since they were read or last saved are not written again: a
    // close then reads two small files instead of writing and flushing two.
    if (!m_settingsUnreadable && HoldsBytes(m_fs, path, bytes)) {
        afterSave();
        return true;
    }
    if (!SaveThenCopy(m_fs, path, bytes, m_settingsUnreadable, m_platform.FileStamp(), afterSave))
        return false;
    m_settingsUnreadable = false;
    return true;
}

void DiarySession::Save(std::optional<std::string_view> typed) {
    // A run's days still coming in come in at once, to be saved below with the rest.
    if (m_applying)
        Attempt([&] { ApplySlice(typed, true); });
    // The journal first, so that what was typed is on disk whatever fails after it.
    if (typed) {
        Attempt([&] { FileNote(*typed); });
        if (m_notesLoaded) {
            Attempt([&] {
                if (m_journal.Pending())
                    WriteJournal(*typed);
            });
        }
    }
    Attempt([&] { SaveSettings(); });
    // A save in flight gets the close's budget; one that outlasts it is left to the process's exit
    // (it writes whole files only), and the journal holds everything it does not.
    const std::uint64_t before = m_platform.NowMs();
    const bool settled = SettleSaving(m_ending ? kSyncAtEndSessionMs : kSyncAtCloseMs);
    m_closeWaitedMs += m_platform.NowMs() - before;
    if (!settled) {
        m_stateAfterSave.reset();
        return;
    }
    // The keeper settles the journal once the notes file holds what it holds; a failed save leaves
    // the journal as the record of this run's typing.
    bool saved = false;
    Attempt([&] { saved = SaveNotes(); });
    KeepStateAfterSave(saved);
}

SessionChanges DiarySession::Tick(const std::function<std::string()>& typed) {
    SessionChanges changes;
    const std::uint64_t now = m_platform.NowMs();
    m_timerAt.reset();
    if (m_saving)
        SettleSaving(0);
    if (m_applying)
        changes |= ApplySlice(typed(), false);
    if (m_journal.Due(now))
        WriteJournal(typed());
    if (m_syncDue && now >= *m_syncDue) {
        m_syncDue.reset();
        if (!StartSync() && m_runner.Running())
            m_syncAgain = true;
        changes.syncStatus = true;
    }
    return changes;
}

std::optional<std::uint64_t> DiarySession::WakeInMs() {
    std::optional<std::uint64_t> wake;
    // A tenth of the pause the journal waits for: it is written at most that much late.
    if (m_journal.Pending())
        wake = static_cast<std::uint64_t>(kJournalQuietMs / 10);
    if (m_saving)
        wake = std::min(wake.value_or(kSaveLookMs), kSaveLookMs);
    if (m_applying)
        wake = 0;
    if (m_syncDue) {
        const std::uint64_t now = m_platform.NowMs();
        const std::uint64_t sync = *m_syncDue > now ? *m_syncDue - now : 0;
        wake = wake ? std::min(*wake, sync) : sync;
    }
    return wake;
}

std::optional<std::uint64_t> DiarySession::TimerToSet() {
    const std::optional<std::uint64_t> wake = WakeInMs();
    if (!wake)
        return std::nullopt;
    const std::uint64_t at = m_platform.NowMs() + *wake;
    if (m_timerAt && *m_timerAt <= at)
        return std::nullopt;
    m_timerAt = at;
    return wake;
}
