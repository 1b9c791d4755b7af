// The tool's sync commands: the account kept for a diary, a sync run once, its record, and off.
#include "notes_tool/sync_commands.h"

#include <CLI/CLI.hpp>

#include <cstdio>

#include "diary/notes_file.h"
#include "notes_tool/diary_dates.h"
#include "safety/manifest.h"
#include "sync/sync_session.h"

namespace notes_tool {

namespace {

// A moment of the record of tries, which holds UTC seconds, as the status prints it.
std::string UtcTime(std::int64_t seconds) {
    if (seconds <= 0) {
        return "never";
    }
    const std::int64_t inDay = seconds % 86400;
    char clock[16];
    std::snprintf(clock, sizeof clock, " %02d:%02d:%02d UTC", static_cast<int>(inDay / 3600),
                  static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60));
    return IsoDate(DateOfDayNumber(seconds / 86400)) + clock;
}

// The diary's safety folder the widget keeps its copies in, where the sync's files are too: the
// first of the folders that can be had, as the widget picks it at start.
FsPath SyncFolderOf(Tool& tool, const NamedFile& file) {
    ToolHost& host = tool.Host();
    const std::vector<FsPath> folders =
        host.keptFolders ? host.keptFolders(file.path) : std::vector<FsPath>();
    if (folders.empty()) {
        Fail(file.name, "there is no safety folder for this diary here, where the sync keeps its account");
    }
    for (const FsPath& folder : folders) {
        if (host.fs->MakeFolders(folder) == FileError::kNone) {
            return folder;
        }
    }
    Fail(file.name, "its safety folder " + Utf8FromWidePath(folders.front()) + " cannot be made");
}

void RequireServerAccess(const ToolHost& host) {
    if (!host.openTransport || !host.secrets) {
        Fail("", "this build cannot reach a server or keep a password: sync runs in the Windows program");
    }
}

std::string Did(const SyncReport& r) {
    return std::to_string(r.pushed) + " pushed (" + std::to_string(r.joined) + " joined), " +
           std::to_string(r.pulled) + " pulled, " + std::to_string(r.deletedHere) + " deleted here, " +
           std::to_string(r.deletedThere) + " deleted on the server" +
           (r.outOfYears ? ", " + std::to_string(r.outOfYears) + " days outside the diary's years left alone"
                         : "");
}

// The account of setup, refused before anything is asked for when it could never work.
SyncOrigin OriginOfSetup(const SyncSetupArguments& o) {
    const std::optional<SyncOrigin> origin = OriginOfSyncUrl(o.url);
    if (!origin) {
        Fail("", "URL \"" + o.url + "\" is no address of a server: https://HOST/..., with no user name in it",
             kExitUsage);
    }
    if (origin->scheme == "http" && !origin->loopback) {
        // The password would cross the network in the clear.
        Fail("",
             "URL \"" + o.url +
                 "\": plain http:// goes only to this computer (localhost, 127.0.0.1); use https://",
             kExitUsage);
    }
    if (o.user.empty() || o.collection.empty()) {
        Fail("", o.user.empty() ? "--user is empty" : "--collection is empty", kExitUsage);
    }
    return *origin;
}

// The account and password kept, or neither: a failure puts back the password that was there.
void KeepAccount(ToolHost& host, const FsPath& folder, const SyncAccount& account,
                 const std::string& password, const std::optional<SyncAccount>& before) {
    FileSystem& fs = *host.fs;
    const std::string target = CredentialTarget(account);
    const std::optional<std::string> oldPassword = host.secrets->Load(target);
    if (!host.secrets->Save(target, account.user, password)) {
        Fail("", "the password could not be kept in the system's password store; nothing is kept");
    }
    const SaveResult saved = SaveSyncAccount(fs, folder, account);
    if (saved.outcome != SaveOutcome::kSaved) {
        if (oldPassword) {
            host.secrets->Save(target, account.user, *oldPassword);
        } else {
            host.secrets->Remove(target);
        }
        if (saved.outcome == SaveOutcome::kKeptBeside) {
            RemoveFile(fs, saved.keptAt);
        }
        Fail(Utf8FromWidePath(folder + kSyncAccountFileName), Writing(saved.error) + "; nothing is kept");
    }
    if (before && CredentialTarget(*before) != target) {
        host.secrets->Remove(CredentialTarget(*before)); // never left where no account points to it
    }
}

} // namespace

void SetUpSyncSetup(CLI::App& command, SyncSetupArguments& o, int) {
    command.add_option("URL", o.url, "the server's address (https://; http:// only to this computer)")
        ->required();
    command.add_option("--user", o.user, "the user name on the server")->required();
    command.add_option("--collection", o.collection,
                       "the display name of the collection to use or make (default: Quillidar)");
    AddFileOption(command, o.file, "FILE");
}

void RunSyncSetup(Tool& tool, const SyncSetupArguments& o) {
    ToolHost& host = tool.Host();
    const NamedFile file = tool.NotesFile(o.file.Given(), o.file.name);
    const SyncOrigin origin = OriginOfSetup(o);
    RequireServerAccess(host);
    const SyncAccount account{o.url, o.user, o.collection};
    FileSystem& fs = *host.fs;
    const FsPath folder = SyncFolderOf(tool, file);
    const std::optional<std::string> password =
        host.readPassword ? host.readPassword("Password for " + o.user + " at " + origin.Text() + ": ")
                          : std::nullopt;
    if (!password || password->empty()) {
        Fail("", "no password was given; nothing is kept");
    }
    // The account is checked before anything is kept: a wrong address or password is said now, not
    // at the first sync.
    SyncStatus why = SyncStatus::kOk;
    const std::unique_ptr<HttpTransport> transport = host.openTransport(account, *password, why);
    if (!transport) {
        Fail(o.url, std::string(DescribeSyncStatus(why)) + "; nothing is kept");
    }
    CalDavClient client(*transport);
    std::string collectionUrl;
    const SyncStatus found = client.Discover(account.serverUrl, collectionUrl, account.collection);
    if (found != SyncStatus::kOk) {
        Fail(o.url, std::string(DescribeSyncStatus(found)) + "; nothing is kept");
    }
    const std::optional<SyncAccount> before = LoadSyncAccount(fs, folder);
    KeepAccount(host, folder, account, *password, before);
    // Another account starts with no tries; the same one again is told of its next failure.
    SyncLastRun last = before && *before == account ? LoadSyncLastRun(fs, folder) : SyncLastRun{};
    last.userTold = false;
    SaveSyncLastRun(fs, folder, last);
    tool.Out(file.name + ": syncs with " + collectionUrl + " (collection \"" + account.collection +
             "\") as " + account.user + "; the password is kept in the system's password store\n");
}

void SetUpSyncNow(CLI::App& command, SyncNowArguments& o, int defaultPivot) {
    o.pivot = defaultPivot;
    AddFileOption(command, o.file, "FILE");
}

namespace {

// What a sync from here needs before it starts: the diary's folder, its account and password.
struct SyncAccess {
    NamedFile file;
    FsPath folder;
    SyncAccount account;
    std::string password;
};

SyncAccess AccessOf(Tool& tool, const SyncNowArguments& o) {
    ToolHost& host = tool.Host();
    SyncAccess access;
    access.file = tool.NotesFile(o.file.Given(), o.file.name);
    const NamedFile& file = access.file;
    if (host.widgetRunningOn && host.widgetRunningOn(file.path)) {
        // Its next save would replace what is written here, and it syncs this diary itself.
        Fail(file.name,
             "Quillidar is running on this diary and syncs it by itself; close it to sync from here");
    }
    RequireServerAccess(host);
    access.folder = SyncFolderOf(tool, file);
    const std::optional<SyncAccount> account = LoadSyncAccount(*host.fs, access.folder);
    if (!account) {
        Fail(file.name,
             "sync is not set up for this diary (" + std::string(kToolName) + " sync setup URL --user NAME)");
    }
    const std::optional<std::string> password = host.secrets->Load(CredentialTarget(*account));
    if (!password) {
        Fail(file.name, "no password is kept for " + account->user + " at " + account->serverUrl +
                            "; run sync setup again");
    }
    access.account = *account;
    access.password = *password;
    return access;
}

} // namespace

void RunSyncNow(Tool& tool, const SyncNowArguments& o) {
    ToolHost& host = tool.Host();
    FileSystem& fs = *host.fs;
    const SyncAccess access = AccessOf(tool, o);
    const NamedFile& file = access.file;
    DiaryToWrite diary = tool.OpenToWrite(file, "synced");
    const std::int64_t now = host.now ? host.now() : 0;
    SyncStatus why = SyncStatus::kOk;
    const std::unique_ptr<HttpTransport> transport = host.openTransport(access.account, access.password, why);
    if (!transport) {
        SyncReport refused;
        refused.status = why;
        RecordSyncTry(fs, access.folder, refused, now);
        Fail(file.name, "not synced: " + std::string(DescribeSyncStatus(why)));
    }
    SyncSessionInput input;
    input.account = access.account;
    input.folder = access.folder;
    input.pivot = o.pivot;
    input.now = now;
    if (host.localDateOf) {
        input.localDateOf = [&host](std::int64_t seconds) {
            const Date d = host.localDateOf(seconds);
            return SyncDate{d.year, d.month, d.day};
        };
    }
    const SyncSessionResult result = RunSyncSession(*transport, diary.notes, fs, input);
    const SyncReport& report = result.report;
    const std::string summary = report.status == SyncStatus::kOk
                                    ? "synced with " + result.state.collection + ": " + Did(report)
                                    : "sync stopped: " + std::string(DescribeSyncStatus(report.status)) +
                                          "; before that " + Did(report);
    // The notes reach the disk before the state that takes them as agreed: a failed write leaves
    // the old state, and the next sync finds the same changes again instead of losing them.
    if (!report.changedKeys.empty()) {
        tool.SaveDiary(file, diary.notes, diary.existed, diary.scan, summary);
    } else {
        tool.Out(file.name + ": " + summary + "; the file is left as it was\n");
    }
    const FsPath statePath = access.folder + kSyncStateFileName;
    if (KeepSyncState(fs, statePath, result.state, result.stateMark).outcome != SaveOutcome::kSaved) {
        tool.Warn(Utf8FromWidePath(statePath),
                  "the sync's state could not be saved; the next sync compares these days again");
    }
    RecordSyncTry(fs, access.folder, report, now);
    for (const std::string& href : report.refused) {
        tool.Warn(file.name, "left as it is on the server, too large or unreadable: " + href);
    }
    if (report.status != SyncStatus::kOk) {
        Fail(file.name, summary);
    }
}

void SetUpSyncFile(CLI::App& command, SyncFileArguments& o, int) {
    AddFileOption(command, o.file, "FILE");
}

void RunSyncStatus(Tool& tool, const SyncFileArguments& o) {
    ToolHost& host = tool.Host();
    const NamedFile file = tool.NotesFile(o.file.Given(), o.file.name);
    const FsPath folder = SyncFolderOf(tool, file);
    const std::optional<SyncAccount> account = LoadSyncAccount(*host.fs, folder);
    if (!account) {
        tool.Out("sync: off\n");
        return;
    }
    const SyncLastRun last = LoadSyncLastRun(*host.fs, folder);
    const bool kept = host.secrets && host.secrets->Load(CredentialTarget(*account)).has_value();
    std::string out = "sync: on\nserver: " + account->serverUrl + "\nuser: " + account->user +
                      "\ncollection: " + account->collection +
                      "\npassword: " + (kept ? "kept" : "missing (sync setup keeps it again)") + "\n";
    out += "last tried: " + UtcTime(last.tried) + "\n";
    out += "last succeeded: " + UtcTime(last.succeeded) + "\n";
    out += "result: " +
           (last.tried == 0 ? std::string("not tried yet")
            : last.status == SyncStatus::kOk
                ? "synced: " + std::to_string(last.pushed) + " pushed (" + std::to_string(last.joined) +
                      " joined), " + std::to_string(last.pulled) + " pulled"
                : std::string(DescribeSyncStatus(last.status)) +
                      (NeedsUser(last.status) ? " (trying again changes nothing until this is put right)"
                                              : "")) +
           "\n";
    out += "failures in a row: " + std::to_string(last.failures) + "\n";
    tool.Out(out);
}

void RunSyncOff(Tool& tool, const SyncFileArguments& o) {
    ToolHost& host = tool.Host();
    const NamedFile file = tool.NotesFile(o.file.Given(), o.file.name);
    const FsPath folder = SyncFolderOf(tool, file);
    const std::optional<SyncAccount> account = LoadSyncAccount(*host.fs, folder);
    if (account && host.secrets) {
        const std::string target = CredentialTarget(*account);
        // The password goes first: an account left without one fails and says so, a password left
        // without an account would stay in the store unseen.
        if (!host.secrets->Remove(target) && host.secrets->Load(target)) {
            Fail(file.name,
                 "the password could not be removed from the system's password store; sync stays on");
        }
    }
    if (!RemoveSyncAccount(*host.fs, folder)) {
        Fail(file.name,
             "the sync's account " + Utf8FromWidePath(folder + kSyncAccountFileName) + " cannot be removed");
    }
    tool.Out(file.name +
             (account ? ": sync is off; the account and its password are removed, the sync's state is kept\n"
                      : ": sync was not on\n"));
}

void SetUpSync(CLI::App& command, SyncArguments& o, int defaultPivot) {
    command.require_subcommand(1);
    static const std::vector<Command> kActions = {
        Row<SyncSetupArguments>(
            "setup",
            "checks the account with the server, then keeps it for the diary and the password "
            "in the system's password store (read from standard input, or asked for)",
            SetUpSyncSetup, RunSyncSetup),
        Row<SyncNowArguments>(
            "now",
            "syncs the diary with its server once (refused while the widget runs on it, which syncs itself)",
            SetUpSyncNow, RunSyncNow),
        Row<SyncFileArguments>("status",
                               "the account, when the last sync was tried and succeeded, and its result",
                               SetUpSyncFile, RunSyncStatus),
        Row<SyncFileArguments>("off", "forgets the account and its password; the sync's state stays",
                               SetUpSyncFile, RunSyncOff),
    };
    o.actions.Bind(command, kActions, defaultPivot);
}

void RunSync(Tool& tool, const SyncArguments& o) {
    o.actions.RunParsed(tool);
}

} // namespace notes_tool
