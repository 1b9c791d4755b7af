// The commands of quillidar-notes over the file layer, free of any platform: the program's main
// supplies the host, the tests a host over a folder in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_store.h"
#include "notes_tool/diary_dates.h"
#include "sync/sync_account.h"

namespace notes_tool {

inline constexpr char kToolName[] = "quillidar-notes";
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // a file that cannot be read or written, or is damaged
inline constexpr int kExitUsage = 2;

// What only the platform knows.
struct ToolHost {
    FileSystem* fs = nullptr;
    // A path as given on the command line (UTF-8), as the file layer takes it.
    std::function<FsPath(std::string_view)> pathOf;
    // The widget's notes file, taken when FILE is left out; empty where there is none.
    FsPath defaultNotes;
    std::string defaultNotesName; // how messages name it, UTF-8
    Date today{2026, 12, 8};      // the local date, for "today", "-3", "12-08" and the default pivot
    // Seconds since 1970 to stamp an ics export with instead of the diary's last save
    // (SOURCE_DATE_EPOCH), so that two exports of one diary are the same bytes.
    std::optional<std::int64_t> fixedStamp;
    // "YYYYMMDD-HHMMSS" of now, for the copy of a damaged file kept aside.
    std::function<std::string()> fileStamp;
    std::function<bool(const FsPath&, const FsPath&)> sameFile;
    // True when a running widget has this notes file in memory: its next save would replace
    // whatever is written here now.
    std::function<bool(const FsPath&)> widgetRunningOn;
    // Makes the folder of the widget's own file again when it was cleaned away.
    std::function<void(const FsPath&)> ensureFolderOf;
    // Standard output as a stream: an export goes there piece by piece instead of into
    // ToolRun::out. Left empty, everything is collected in ToolRun::out.
    std::function<void(std::string_view)> writeOut;
    // Standard input, for "-" and for the text of add; none when left null.
    std::istream* standardInput = nullptr;
    // A file opened to be read as it streams (a large json import); left empty, it is read whole.
    std::function<std::unique_ptr<std::istream>(const FsPath&)> openInput;
    // For -o naming something that is no plain file (/dev/stdout, a pipe): opened as it is, since
    // no new file can be moved over it. Null for a plain file or where there is no such thing.
    std::function<std::unique_ptr<OutputFile>(const FsPath&)> openDevice;
    // Lets the user edit the UTF-8 text in their editor; false when no editor could be run.
    std::function<bool(std::string& utf8, std::string& why)> editText;
    // The safety folders the widget keeps for the diary whose notes file this is (each ending with a
    // separator); none where there is no widget.
    std::function<std::vector<FsPath>(const FsPath&)> keptFolders;
    // The local date of a UTC instant, for iCalendar times written in UTC; UTC when left empty.
    std::function<Date(std::int64_t)> localDateOf;

    // The sync. Where the password is kept; none where there is no store.
    SecretStore* secrets = nullptr;
    // A connection to the account's server, or nullptr and why not (an address refused, no HTTP
    // here). Left empty, the sync commands say this build cannot reach a server.
    std::function<std::unique_ptr<HttpTransport>(const SyncAccount&, const std::string& password,
                                                 SyncStatus& why)>
        openTransport;
    // The password: standard input's first line when it is no terminal, else asked for on the
    // terminal without echo. nullopt when none could be read.
    std::function<std::optional<std::string>(const std::string& prompt)> readPassword;
    // Seconds since 1970 UTC: when a sync is tried, and its DTSTAMP.
    std::function<std::int64_t()> now;
};

struct ToolRun {
    int status = kExitOk;
    std::string out; // UTF-8 for standard output; an error empties it, so no half result is shown
    std::string err; // UTF-8 for standard error, one line per message
};

// args: the command line after the program's name, UTF-8.
ToolRun RunNotesTool(const std::vector<std::string>& args, ToolHost& host);

} // namespace notes_tool
