// The diary as one run of the widget holds it, under the window: the notes and their keeper, when
// the crash journal is written, the settings record, the day shown, and when the sync runs, what a
// run brings, and how long a close may wait for it. The window paints and forwards; everything
// decided here is decided without a window, so the tests drive it with a fake clock and runner.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "appearance/calendar_settings.h"
#include "diary/note_map.h"
#include "files/file_store.h"
#include "safety/crash_journal.h"
#include "safety/diary_keeper.h"
#include "session/sync_runner.h"
#include "sync/sync_account.h"

// What the system gives the session: its clocks, the local calendar, where the settings live.
class SessionPlatform {
  public:
    virtual ~SessionPlatform() = default;
    // A count of milliseconds that only grows (GetTickCount64): every wait is measured on it.
    virtual std::uint64_t NowMs() = 0;
    // UTC seconds, for the records and what the sync writes.
    virtual std::int64_t NowSeconds() = 0;
    // Today's local date as YYYYMMDD, and the stamp in the names of files set aside.
    virtual int Today() = 0;
    virtual std::string FileStamp() = 0;
    // The diary's century window, from the local year.
    virtual int Pivot() = 0;
    // "qlw.ini" in the temporary folder (for a save, its folder made); empty when the system names
    // none.
    virtual FsPath SettingsFile(bool forSave) = 0;
    // What earlier refused or interrupted saves left beside `file`.
    virtual std::vector<FsPath> LeftoversOf(const FsPath& file) = 0;
    // Starts writing the copies of `bytes` beside the save, where that is worth a thread; the
    // function returned waits for them. None: the keeper writes them after the save.
    virtual std::function<StagedCopies()> StageCopies(const FsPath& folder, const std::string& bytes,
                                                      int today);
    // Runs `work` off the window's thread, where a thread can be had; the function returned waits
    // up to `ms` for it to end and says whether it did. None: it ran here, and has ended.
    virtual std::function<bool(std::uint64_t ms)> RunAside(std::function<void()> work);
    // How UTF-16 names in the settings file become the diary's text.
    virtual WideToNarrow Narrower() { return {}; }
};

// Timings of the sync's schedule, in milliseconds.
inline constexpr std::uint64_t kSyncAtStartMs = 10; // the window's timers fire after its first paint
inline constexpr std::uint64_t kSyncAfterFilingMs = 5000;
inline constexpr std::uint64_t kSyncEveryMs = 5 * 60 * 1000;
// How long the sync after the save may hold a close, and a sign-out: every wait together.
inline constexpr std::uint64_t kSyncAtCloseMs = 4000;
inline constexpr std::uint64_t kSyncAtEndSessionMs = 1500;
// Up to this many days a run brought are journalled one by one; more are saved as a whole diary,
// written off the window's thread.
inline constexpr std::size_t kJournalledDaysAtMost = 32;
// The days of such a run that come in at one tick of the window's timer.
inline constexpr std::size_t kAppliedAtOnce = 2048;
// How often the timer looks whether that save has landed.
inline constexpr std::uint64_t kSaveLookMs = 20;

enum class AccountKept { kKept, kNotSaved, kBadAddress, kNoPassword };

// What a command changed that the window shows.
struct SessionChanges {
    bool showNote = false;   // the shown day's note changed under the box: show it again
    bool markDays = false;   // days gained or lost a note: mark them again
    bool syncStatus = false; // the sync's status line and tip say something new
    bool tellUser = false;   // a failure only the user can mend: said once, as a balloon
    SessionChanges& operator|=(const SessionChanges& other);
};

class DiarySession {
  public:
    DiarySession(FileSystem& fs, SessionPlatform& platform, SyncRunner& runner);
    DiarySession(const DiarySession&) = delete;
    DiarySession& operator=(const DiarySession&) = delete;
    // A save in flight is waited for: its thread works on this session's keeper.
    ~DiarySession();

    // The diary read through `keeper`; a first run is given its first note. False when it could not
    // be read (or there is no keeper): then nothing of this run writes a diary it did not read, nor
    // syncs it.
    bool LoadNotes(std::unique_ptr<DiaryKeeper> keeper, const RunIsAlive& isAlive);
    bool NotesLoaded() const { return m_notesLoaded; }
    const NoteMap& Notes() const { return m_notes; }
    std::string GetNote(std::string_view key) const { return m_notes.GetNote(key); }
    // The diary's safety folder; empty before the diary was read or when none could be had.
    FsPath Folder() const;

    // The day the note box shows, and whether the user changed the box since its note was put there.
    const std::string& ShownDay() const { return m_shownDay; }
    void ShowDay(std::string key);
    bool NoteEdited() const { return m_noteEdited; }
    // The user typed into the box.
    void Typed();
    // Files `text` under the shown day; a changed note goes to the server a few seconds later.
    SessionChanges FileNote(std::string_view text);
    // The shown day's text as typed goes to the journal; false when it could not be written.
    bool WriteJournal(std::string_view typed);
    bool JournalPending() const { return m_journal.Pending(); }
    // The notes file, its copies and the journal settled; a save in flight is waited for first.
    bool SaveNotes();
    // A whole save of the diary is being written off the window's thread.
    bool Saving() const { return m_saving != nullptr; }

    // The settings record, the settings file and its copy in the diary's folder.
    CalendarSettings& Settings() { return m_settings; }
    bool LoadSettings();
    bool SaveSettings();
    // Only a window that took its settings may save them: one that stopped before would write its
    // unplaced position over the user's.
    void SettingsTaken() { m_settingsLoaded = true; }
    bool SettingsLoaded() const { return m_settingsLoaded; }

    // The way out: the box's text filed (none: the box could not be read), the journal, the
    // settings and the notes saved, each step whatever the one before it did.
    void Save(std::optional<std::string_view> typed);

    // A tick of the session's timer: the journal when typing paused, the next slice of a big run's
    // days, the sync when it is due. `typed` reads the box, and only when one of the first two is due.
    SessionChanges Tick(const std::function<std::string()>& typed);
    // When the session's timer should next fire, in milliseconds from now; nullopt: not at all.
    std::optional<std::uint64_t> WakeInMs();
    // The wait to set the timer to, only when it must be set (again): set anew at every key, a
    // timer would never fire for anyone typing faster than its period. Tick forgets the one set.
    std::optional<std::uint64_t> TimerToSet();

    // The sync. Without an account none of it runs.
    // Read at every start, so an account set up by the notes tool is taken without the dialog.
    SessionChanges LoadAccount();
    const std::optional<SyncAccount>& Account() const { return m_account; }
    const SyncLastRun& LastRun() const { return m_last; }
    bool SyncRunning() { return m_runner.Running(); }
    // The user asked: the back-off does not apply.
    SessionChanges SyncNow();
    // The runner's outcome waits: the days it changed come in. `typed`: the box's text, which
    // stays in the box (and is filed before a whole save of the diary) where it differs from the note.
    SessionChanges RunEnded(std::string_view typed);
    // The runner's thread ended: the try is recorded (the session is the record's one writer), and
    // the next run scheduled.
    SessionChanges RunFinished();
    // The account as the sync dialog confirmed it (an empty address turns the sync off), or why it
    // was not kept.
    AccountKept KeepAccount(const SyncAccount& typed, const std::string& password, SecretStore& secrets);
    // A sign-out: the close's sync gets only a moment.
    void Ending() { m_ending = true; }
    bool WillSyncAtClose() const { return m_account && !m_syncClosed; }
    // The sync after the save at close, every wait of it within the close's budget. Once.
    void CloseSync();

  private:
    bool StartSync();
    void StartRefused();
    void Schedule(std::uint64_t delayMs);
    SessionChanges ApplyOutcome(bool atClose, std::optional<std::string_view> typed);
    // The next slice of the run's days, or (`rest`) all that are left, its state then waiting in
    // m_stateAfterSave for the caller's save.
    SessionChanges ApplySlice(std::optional<std::string_view> typed, bool rest);
    void KeepStateAfterSave(bool saved);
    SessionChanges RecordTry();
    void DropRun();
    // The whole save after a big run, written off the window's thread: the run's state is kept
    // once it has landed. False when it could not begin.
    bool SaveAside(SyncState state);
    // Waits up to `ms` for the save in flight and settles it; true when none is in flight any more.
    bool SettleSaving(std::uint64_t ms);
    // A save in flight still lands, but the run given up keeps no state by it.
    void ForgetSavedRun();

    FileSystem& m_fs;
    SessionPlatform& m_platform;
    SyncRunner& m_runner;

    NoteMap m_notes;
    std::unique_ptr<DiaryKeeper> m_keeper;
    CrashJournal m_journal;
    std::string m_shownDay;
    bool m_noteEdited = false;
    // Set once the diary is in memory. Until then nothing may write it: a set-up that stopped
    // half-way would save an empty diary over the real one.
    bool m_notesLoaded = false;
    // A data file that exists but could not be loaded is copied aside before it is replaced.
    bool m_notesUnreadable = false;
    CalendarSettings m_settings;
    bool m_settingsLoaded = false;
    bool m_settingsUnreadable = false;

    std::optional<SyncAccount> m_account;
    SyncLastRun m_last;
    // When the next run is due, and when the back-off after failures lets one start.
    std::optional<std::uint64_t> m_syncDue;
    std::uint64_t m_notBefore = 0;
    // Starts in a row that found no thread (or no memory) to run on.
    int m_startsRefused = 0;
    // A note was filed (or a run asked for) while a run was under way: another run follows it.
    bool m_syncAgain = false;
    // The close's sync ran (or had no account): later ways out do not start another.
    bool m_syncClosed = false;
    bool m_ending = false;
    // When the timer last set fires; nullopt once it fired.
    std::optional<std::uint64_t> m_timerAt;
    // The run under way: whose it is, and its report once its outcome was taken, to be recorded
    // when it ends. A run of an account changed since is cancelled and records nothing.
    struct Run {
        SyncAccount account;
        std::optional<SyncReport> report;
    };
    std::optional<Run> m_run;
    // A run's outcome whose days are coming in.
    struct Applying {
        SyncOutcome outcome;
        std::size_t next = 0; // the first day not in yet
        bool whole = false;   // saved as a whole diary, not journalled day by day
        bool taken = false;   // a day took the synced text
    };
    std::optional<Applying> m_applying;
    // The state of a run whose days are in, for the save being made now.
    std::optional<SyncState> m_stateAfterSave;
    struct Aside;
    std::unique_ptr<Aside> m_saving;
    // What the close's save spent waiting for a save in flight: the close's sync has the rest.
    std::uint64_t m_closeWaitedMs = 0;
};
