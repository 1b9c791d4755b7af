// quillidar-notes' sync commands over a folder in memory, a CalDAV server in memory and a password
// store in memory: what is kept when, what reaches the disk in which order, and what a failure
// leaves.
#include <gtest/gtest.h>

#include <map>

#include "fake_caldav_server.h"
#include "diary/note_join.h"
#include "fake_file_system.h"
#include "notes_tool/tool_commands.h"
#include "notes_tool_helpers.h"
#include "sync/sync_session.h"

namespace {

using namespace notes_tool;

const std::string kRoot = std::string(FakeCalDavServer::kOrigin) + "/";
const FsPath kSafe = L"local/Quillidar/d1/";
const FsPath kNotes = L"nts.ini";
const FsPath kAccountFile = kSafe + kSyncAccountFileName;
const FsPath kStateFile = kSafe + kSyncStateFileName;

class FakeSecrets final : public SecretStore {
  public:
    std::map<std::string, std::string> kept;
    bool refuse = false;
    bool Save(std::string_view target, std::string_view, std::string_view secret) override {
        if (!refuse) {
            kept[std::string(target)] = secret;
        }
        return !refuse;
    }
    std::optional<std::string> Load(std::string_view target) override {
        const auto it = kept.find(std::string(target));
        return it == kept.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    bool Remove(std::string_view target) override { return kept.erase(std::string(target)) > 0; }
};

// The server behind a connection that carries one password: the wrong one is answered 401.
class Connection final : public HttpTransport {
  public:
    Connection(FakeCalDavServer& server, bool authorized) : m_server(server), m_authorized(authorized) {}
    HttpResponse Send(const HttpRequest& request, std::size_t maxBody) override {
        if (!m_authorized) {
            return HttpResponse{TransportError::kNone, 401, {}, {}};
        }
        return m_server.Send(request, maxBody);
    }

  private:
    FakeCalDavServer& m_server;
    bool m_authorized;
};

struct Desk {
    FakeFileSystem fs;
    FakeCalDavServer server;
    FakeSecrets secrets;
    ToolHost host;
    std::string serverPassword = "s3cret";
    std::optional<std::string> typed = "s3cret";
    bool widgetRunning = false;
    bool offline = false;
    std::int64_t clock = 1796724000;

    Desk() {
        host.fs = &fs;
        host.pathOf = [](std::string_view name) { return FsPath(name.begin(), name.end()); };
        host.defaultNotes = kNotes;
        host.defaultNotesName = "nts.ini";
        host.today = {2026, 12, 8};
        host.fileStamp = [] { return std::string("20261208-100000"); };
        host.sameFile = [](const FsPath& a, const FsPath& b) { return a == b; };
        host.widgetRunningOn = [this](const FsPath& path) { return widgetRunning && path == kNotes; };
        // The second root stands for the other one the widget may fall back to.
        host.keptFolders = [](const FsPath&) {
            return std::vector<FsPath>{kSafe, L"local/Quillidar.safety/d1/"};
        };
        host.secrets = &secrets;
        host.openTransport = [this](const SyncAccount& account, const std::string& password,
                                    SyncStatus& why) -> std::unique_ptr<HttpTransport> {
            if (offline) {
                why = SyncStatus::kOffline;
                return nullptr;
            }
            EXPECT_EQ(account.serverUrl.rfind(kRoot, 0), 0u);
            return std::make_unique<Connection>(server, password == serverPassword);
        };
        host.readPassword = [this](const std::string&) { return typed; };
        host.now = [this] { return clock; };
    }

    ToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), "sync");
        return RunNotesTool(args, host);
    }
    ToolRun Setup(std::vector<std::string> more = {}) {
        std::vector<std::string> args{"setup", kRoot, "--user", "alice"};
        args.insert(args.end(), more.begin(), more.end());
        return Run(args);
    }
    std::string Notes() const { return fs.files.count(kNotes) ? fs.files.at(kNotes) : "(none)"; }
};

std::string Journal(const std::string& uid, const std::string& day, const std::string& text) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VJOURNAL\r\nUID:" + uid +
           "\r\nDTSTART;VALUE=DATE:" + day + "\r\nDESCRIPTION:" + text +
           "\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n";
}

TEST(NotesToolSync, SetupKeepsNothingUntilTheServerTakesTheAccount) {
    const struct {
        const char* what;
        std::function<void(Desk&)> arrange;
        std::vector<std::string> args;
        int status;
        std::string err; // the message's end
    } cases[] = {
        {"a refused password",
         [](Desk& d) { d.typed = "wrong"; },
         {},
         1,
         "the user name or password was refused; nothing is kept\n"},
        {"no password typed",
         [](Desk& d) { d.typed = std::nullopt; },
         {},
         1,
         "no password was given; nothing is kept\n"},
        {"an empty password",
         [](Desk& d) { d.typed = ""; },
         {},
         1,
         "no password was given; nothing is kept\n"},
        {"the server down",
         [](Desk& d) { d.offline = true; },
         {},
         1,
         "the server cannot be reached; nothing is kept\n"},
        {"no calendar at the address",
         [](Desk& d) {
             d.server.faults.push_back({0, {}, 404, false, {}});
             d.server.faults.push_back({1, {}, 404, false, {}});
         },
         {},
         1,
         "no calendar server that can hold a diary at that address; nothing is kept\n"},
        {"the password store refuses",
         [](Desk& d) { d.secrets.refuse = true; },
         {},
         1,
         "the password could not be kept in the system's password store; nothing is kept\n"},
        {"the account cannot be written",
         [](Desk& d) { d.fs.FailNth(FsOp::kWrite, 1, FileError::kDiskFull); },
         {},
         1,
         "cannot be written: the disk is full; nothing is kept\n"},
        {"plain http to another computer",
         [](Desk&) {},
         {"setup", "http://dav.example.org/", "--user", "alice"},
         2,
         "plain http:// goes only to this computer (localhost, 127.0.0.1); use https://\n"},
        {"no address",
         [](Desk&) {},
         {"setup", "dav.example.org", "--user", "alice"},
         2,
         "is no address of a server: https://HOST/..., with no user name in it\n"},
        {"no user", [](Desk&) {}, {"setup", kRoot}, 2, "--user is required (see quillidar-notes help)\n"},
        {"an empty collection name",
         [](Desk&) {},
         {"setup", kRoot, "--user", "a", "--collection", ""},
         2,
         "--collection is empty\n"},
    };
    for (const auto& c : cases) {
        Desk desk;
        c.arrange(desk);
        const ToolRun run = c.args.empty() ? desk.Setup() : desk.Run(c.args);
        EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.err;
        EXPECT_TRUE(run.err.ends_with(c.err)) << c.what << "\n" << run.err;
        EXPECT_EQ(run.out, "") << c.what;
        EXPECT_FALSE(desk.fs.Exists(kAccountFile)) << c.what;
        EXPECT_TRUE(desk.secrets.kept.empty()) << c.what;
        EXPECT_TRUE(desk.fs.files.empty()) << c.what;
    }
}

TEST(NotesToolSync, SetupNowStatusOff) {
    Desk desk;
    const ToolRun setup = desk.Setup();
    ASSERT_EQ(setup.status, 0) << setup.err;
    EXPECT_EQ(setup.out,
              "nts.ini: syncs with " + kRoot.substr(0, kRoot.size() - 1) +
                  "/cal/user/quillidar/ (collection \"Quillidar\") as alice; the password is kept in "
                  "the system's password store\n");
    const std::string target = "Quillidar sync http://127.0.0.1:5232 alice";
    EXPECT_EQ(desk.secrets.kept, (std::map<std::string, std::string>{{target, "s3cret"}}));
    EXPECT_EQ(LoadSyncAccount(desk.fs, kSafe), (SyncAccount{kRoot, "alice", "Quillidar"}));
    for (const auto& [path, bytes] : desk.fs.files) {
        EXPECT_EQ(bytes.find("s3cret"), std::string::npos) << "the password is in no file";
    }

    desk.fs.files[kNotes] = Nts({{"081226", "written here"}});
    desk.server.Write(desk.server.CollectionPath() + "phone-1.ics",
                      Journal("phone-1", "20261209", "from the phone"));
    ToolRun now = desk.Run({"now"});
    ASSERT_EQ(now.status, 0) << now.err;
    EXPECT_EQ(now.out, "nts.ini: synced with " + kRoot +
                           "cal/user/quillidar/: 1 pushed (0 joined), 1 pulled, 0 "
                           "deleted here, 0 deleted on the server\n");
    const std::string synced = Nts({{"081226", "written here"}, {"091226", "from the phone"}});
    EXPECT_EQ(desk.Notes(), synced);
    EXPECT_TRUE(desk.fs.Exists(kStateFile));

    // Again: nothing on either side changed, so nothing is written to the server or the notes file;
    // the state takes the server's new sync token once, then stays as it is.
    const int writes = desk.server.writes;
    const auto notesTime = desk.fs.times.at(kNotes);
    ASSERT_EQ(desk.Run({"now"}).status, 0);
    const auto stateTime = desk.fs.times.at(kStateFile);
    desk.clock += 60;
    now = desk.Run({"now"});
    ASSERT_EQ(now.status, 0) << now.err;
    EXPECT_EQ(now.out, "nts.ini: synced with " + kRoot +
                           "cal/user/quillidar/: 0 pushed (0 joined), 0 pulled, 0 "
                           "deleted here, 0 deleted on the server; the file is left "
                           "as it was\n");
    EXPECT_EQ(desk.server.writes, writes);
    EXPECT_EQ(desk.Notes(), synced);
    EXPECT_EQ(desk.fs.times.at(kNotes), notesTime);
    EXPECT_EQ(desk.fs.times.at(kStateFile), stateTime);

    ToolRun status = desk.Run({"status"});
    EXPECT_EQ(status.out,
              "sync: on\nserver: " + kRoot +
                  "\nuser: alice\ncollection: Quillidar\npassword: kept\nlast tried: 2026-12-08 "
                  "10:01:00 UTC\nlast succeeded: 2026-12-08 10:01:00 UTC\nresult: synced: 0 pushed (0 "
                  "joined), 0 pulled\nfailures in a row: 0\n");

    desk.offline = true;
    desk.clock += 60;
    now = desk.Run({"now"});
    EXPECT_EQ(now.status, 1);
    EXPECT_EQ(now.err, "quillidar-notes: nts.ini: not synced: the server cannot be reached\n");
    status = desk.Run({"status"});
    EXPECT_EQ(status.out,
              "sync: on\nserver: " + kRoot +
                  "\nuser: alice\ncollection: Quillidar\npassword: kept\nlast tried: 2026-12-08 "
                  "10:02:00 UTC\nlast succeeded: 2026-12-08 10:01:00 UTC\nresult: the server cannot be "
                  "reached\nfailures in a row: 1\n");

    // Another user on the same server: the first one's password is not left behind unseen.
    desk.offline = false;
    desk.serverPassword = "bob's";
    desk.typed = "bob's";
    ASSERT_EQ(desk.Run({"setup", kRoot, "--user", "bob"}).status, 0);
    EXPECT_EQ(desk.secrets.kept,
              (std::map<std::string, std::string>{{"Quillidar sync http://127.0.0.1:5232 bob", "bob's"}}));
    EXPECT_EQ(LoadSyncLastRun(desk.fs, kSafe), SyncLastRun{}) << "another account starts with no tries";

    const ToolRun off = desk.Run({"off"});
    EXPECT_EQ(off.status, 0) << off.err;
    EXPECT_EQ(off.out,
              "nts.ini: sync is off; the account and its password are removed, the sync's state is kept\n");
    EXPECT_TRUE(desk.secrets.kept.empty());
    EXPECT_FALSE(desk.fs.Exists(kAccountFile));
    EXPECT_TRUE(desk.fs.Exists(kStateFile));
    EXPECT_EQ(desk.Run({"status"}).out, "sync: off\n");
    now = desk.Run({"now"});
    EXPECT_EQ(now.status, 1);
    EXPECT_TRUE(now.err.find("sync is not set up for this diary") != std::string::npos) << now.err;
    EXPECT_EQ(desk.Run({"off"}).out, "nts.ini: sync was not on\n");
}

TEST(NotesToolSync, AFailedSyncLeavesTheNotesFileAsItWas) {
    const std::string before = Nts({{"081226", "mine"}, {"101226", "also mine"}});
    const struct {
        const char* what;
        std::function<void(Desk&)> fault;
        std::string err;
    } cases[] = {
        {"the listing fails",
         [](Desk& d) {
             d.server.faults.push_back({0, {}, 503, false, {}});
         },
         "sync stopped: the server failed"},
        {"the fetch is cut",
         [](Desk& d) {
             d.server.faults.push_back({1, TransportError::kCut, 0, false, {}});
         },
         "sync stopped: the connection was cut"},
        {"a bad reply",
         [](Desk& d) {
             d.server.faults.push_back({1, {}, 207, false, "<d:multistatus"});
         },
         "sync stopped: the server's reply could not be read"},
        {"the password refused", [](Desk& d) { d.serverPassword = "changed"; },
         "sync stopped: the user name or password was refused"},
        {"the notes file cannot be written",
         [](Desk& d) { d.fs.FailNth(FsOp::kWrite, 1, FileError::kDiskFull); },
         "cannot be written: the disk is full"},
    };
    for (const auto& c : cases) {
        Desk desk;
        ASSERT_EQ(desk.Setup().status, 0);
        desk.fs.files[kNotes] = before;
        ASSERT_EQ(desk.Run({"now"}).status, 0) << c.what;
        const std::string state = desk.fs.files.at(kStateFile);
        desk.server.Write(desk.server.CollectionPath() + "phone-1.ics",
                          Journal("phone-1", "20261209", "phone"));
        c.fault(desk);
        const ToolRun run = desk.Run({"now"});
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_EQ(run.out, "") << c.what;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.what << "\n" << run.err;
        EXPECT_EQ(desk.Notes(), before) << c.what;
        EXPECT_EQ(desk.fs.files.at(kStateFile), state) << c.what << ": the state waits for the notes";
        // The next try, with the fault gone, does the work and loses nothing.
        desk.serverPassword = "s3cret";
        const ToolRun again = desk.Run({"now"});
        EXPECT_EQ(again.status, 0) << c.what << "\n" << again.err;
        EXPECT_EQ(desk.Notes(), Nts({{"081226", "mine"}, {"101226", "also mine"}, {"091226", "phone"}}))
            << c.what;
        EXPECT_EQ(desk.server.Resources().size(), 3u) << c.what;
    }
}

// How another program's entry of a day lives in that day's note, step by step, as the README tells
// it: shown after the day's own text, never written back, and back again when deleted here.
TEST(NotesToolSync, AnotherProgramsEntryInADaysNote) {
    Desk desk;
    ASSERT_EQ(desk.Setup().status, 0);
    const std::string phone = "/cal/user/quillidar/phone-1.ics";
    const std::string ours = "/cal/user/quillidar/quillidar-day-20261208.ics";
    auto type = [&desk](std::string note) { desk.fs.files[kNotes] = Nts({{"081226", note}}); };
    const struct {
        const char* what;
        std::function<void()> act;
        std::string note;      // the day's note after the sync
        std::string ownEntry;  // the text of Quillidar's entry of the day on the server
        std::string phoneText; // the phone's entry as the server holds it; empty: gone
    } steps[] = {
        {"shown after the own text",
         [&] {
             type("mine");
             desk.server.Write(phone, Journal("phone-1", "20261208", "from the phone"));
         },
         JoinNoteParts("mine", "from the phone"), "mine", "from the phone"},
        {"a second sync shows it once", [] {}, JoinNoteParts("mine", "from the phone"), "mine",
         "from the phone"},
        {"the own text edited", [&] { type(JoinNoteParts("mine, more", "from the phone")); },
         JoinNoteParts("mine, more", "from the phone"), "mine, more", "from the phone"},
        {"its part deleted here comes back", [&] { type("mine, more"); },
         JoinNoteParts("mine, more", "from the phone"), "mine, more", "from the phone"},
        {"its part edited here becomes own text",
         [&] { type(JoinNoteParts("mine, more", "from the phone!")); },
         JoinNoteParts(JoinNoteParts("mine, more", "from the phone!"), "from the phone"),
         JoinNoteParts("mine, more", "from the phone!"), "from the phone"},
        {"changed on the phone",
         [&] { desk.server.Write(phone, Journal("phone-1", "20261208", "phone, later")); },
         JoinNoteParts(JoinNoteParts("mine, more", "from the phone!"), "phone, later"),
         JoinNoteParts("mine, more", "from the phone!"), "phone, later"},
        {"deleted on the phone", [&] { desk.server.Remove(phone); },
         JoinNoteParts("mine, more", "from the phone!"), JoinNoteParts("mine, more", "from the phone!"), ""},
    };
    for (const auto& step : steps) {
        step.act();
        const ToolRun run = desk.Run({"now"});
        ASSERT_EQ(run.status, 0) << step.what << "\n" << run.err;
        EXPECT_EQ(desk.Notes(), Nts({{"081226", step.note}})) << step.what;
        const auto& held = desk.server.Resources();
        ASSERT_TRUE(held.count(ours)) << step.what;
        const ResourceRead own = ReadCalendarResource(held.at(ours).data);
        ASSERT_EQ(own.entries.size(), 1u) << step.what;
        EXPECT_EQ(own.entries[0].text, step.ownEntry) << step.what;
        if (step.phoneText.empty()) {
            EXPECT_FALSE(held.count(phone)) << step.what;
        } else {
            ASSERT_TRUE(held.count(phone)) << step.what;
            EXPECT_EQ(held.at(phone).data, Journal("phone-1", "20261208", step.phoneText)) << step.what;
        }
    }
}

TEST(NotesToolSync, FailuresAreRecordedInARow) {
    Desk desk;
    ASSERT_EQ(desk.Setup().status, 0);
    desk.fs.files[kNotes] = Nts({{"081226", "mine"}});
    ASSERT_EQ(desk.Run({"now"}).status, 0);
    desk.clock += 60;
    desk.server.faults.push_back({0, {}, 503, false, {}});
    EXPECT_EQ(desk.Run({"now"}).status, 1);
    desk.serverPassword = "changed";
    EXPECT_EQ(desk.Run({"now"}).status, 1);
    const SyncLastRun last = LoadSyncLastRun(desk.fs, kSafe);
    EXPECT_EQ(last.status, SyncStatus::kUnauthorized);
    EXPECT_EQ(last.failures, 2);
    EXPECT_EQ(last.succeeded, desk.clock - 60);
    EXPECT_EQ(last.tried, desk.clock);
    // Set up again with the new password: the next failure is news again, the last success stays
    // on record, and the sync works.
    desk.typed = "changed";
    ASSERT_EQ(desk.Setup().status, 0);
    EXPECT_FALSE(LoadSyncLastRun(desk.fs, kSafe).userTold);
    EXPECT_EQ(LoadSyncLastRun(desk.fs, kSafe).succeeded, desk.clock - 60);
    EXPECT_EQ(desk.Run({"now"}).status, 0);
    EXPECT_EQ(LoadSyncLastRun(desk.fs, kSafe).failures, 0);
}

TEST(NotesToolSync, RefusedWhileTheWidgetRunsOnTheDiary) {
    Desk desk;
    ASSERT_EQ(desk.Setup().status, 0);
    desk.fs.files[kNotes] = Nts({{"081226", "mine"}});
    const auto files = desk.fs.files;
    desk.widgetRunning = true;
    const ToolRun run = desk.Run({"now"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "quillidar-notes: nts.ini: Quillidar is running on this diary and syncs it by itself; close "
              "it to sync from here\n");
    EXPECT_EQ(desk.fs.files, files);
    EXPECT_EQ(desk.server.writes, 0);
    // Another diary is not the widget's.
    desk.fs.files[L"other.nts"] = Nts({});
    EXPECT_EQ(desk.Run({"setup", kRoot, "--user", "alice", "other.nts"}).status, 0);
    EXPECT_EQ(desk.Run({"now", "other.nts"}).status, 0);
}

TEST(NotesToolSync, AnotherCollectionOrServerStartsAfresh) {
    Desk desk;
    ASSERT_EQ(desk.Setup({"--collection", "Work"}).status, 0);
    EXPECT_EQ(desk.server.CollectionPath(), "/cal/user/quillidar-576f726b/");
    EXPECT_EQ(LoadSyncAccount(desk.fs, kSafe)->collection, "Work");
    desk.fs.files[kNotes] = Nts({{"081226", "mine"}});
    ASSERT_EQ(desk.Run({"now"}).status, 0);
    bool damaged = true;
    const SyncState state = LoadSyncState(desk.fs, kStateFile, &damaged);
    EXPECT_FALSE(damaged);
    EXPECT_EQ(state.name, "Work");
    EXPECT_EQ(state.collection, kRoot + "cal/user/quillidar-576f726b/");
    // Found again by its name, from the root, without a second one made.
    ASSERT_EQ(desk.Setup({"--collection", "Work"}).status, 0);
    EXPECT_EQ(desk.Run({"now"}).status, 0);
    EXPECT_EQ(desk.server.CollectionPath(), "/cal/user/quillidar-576f726b/");
}

TEST(NotesToolSync, StateOfAnotherCollectionIsDropped) {
    // A state pointing at a path the server does not have: used, the run meets its 404 and looks for
    // the collection again; dropped, the collection is found afresh. Either way the note stays.
    const struct {
        std::string collection, name, accountName;
        bool dropped;
    } cases[] = {
        {kRoot + "cal/user/gone/", "", "Quillidar", false},
        {kRoot + "cal/user/gone/", "Work", "Work", false},
        {kRoot + "cal/user/gone/", "Work", "Quillidar", true},
        {kRoot + "cal/user/gone/", "", "Work", true},
        {"http://127.0.0.1:5233/cal/user/gone/", "", "Quillidar", true},
        {"https://127.0.0.1:5232/cal/user/gone/", "", "Quillidar", true},
        {"HTTP://127.0.0.1:5232/cal/user/gone/", "", "Quillidar", false},
    };
    for (const auto& c : cases) {
        FakeFileSystem fs;
        FakeCalDavServer server;
        SyncState stale;
        stale.collection = c.collection;
        stale.name = c.name;
        stale.days["20261208"] = {"/cal/user/gone/quillidar-day-20261208.ics", "\"e1\"", "old"};
        ASSERT_EQ(SaveSyncState(fs, kStateFile, stale).outcome, SaveOutcome::kSaved);
        NoteMap notes;
        notes.SetNote("081226", "mine");
        SyncSessionInput input;
        input.account = SyncAccount{kRoot, "alice", c.accountName};
        input.folder = kSafe;
        input.now = 1796724000;
        const SyncSessionResult result = RunSyncSession(server, notes, fs, input);
        // An address the server cannot be reached at is not met with a 404.
        const bool reached = c.collection.rfind("HTTP:", 0) != 0;
        EXPECT_EQ(result.report.status == SyncStatus::kOk, reached) << c.collection;
        if (reached) {
            EXPECT_EQ(result.state.collection,
                      kRoot + "cal/user/" +
                          (c.accountName == "Quillidar" ? "quillidar/" : "quillidar-576f726b/"))
                << c.collection;
        }
        EXPECT_EQ(LoadSyncState(fs, kStateFile), stale) << "the session saves nothing";
        if (c.dropped) {
            EXPECT_EQ(result.state.name, c.accountName == "Quillidar" ? "" : c.accountName);
            EXPECT_EQ(notes.GetNote("081226"), "mine");
        }
    }
}

TEST(NotesToolSync, WithoutAServerConnectionItSaysSo) {
    Desk desk;
    desk.host.openTransport = nullptr;
    desk.host.secrets = nullptr;
    for (const char* command : {"setup", "now"}) {
        const ToolRun run = std::string(command) == "setup" ? desk.Setup() : desk.Run({command});
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.err,
                  "quillidar-notes: this build cannot reach a server or keep a password: sync runs in the "
                  "Windows program\n")
            << command;
    }
    desk.host.keptFolders = nullptr;
    const ToolRun status = desk.Run({"status"});
    EXPECT_EQ(status.status, 1);
    EXPECT_TRUE(desk.fs.files.empty());
}

} // namespace
