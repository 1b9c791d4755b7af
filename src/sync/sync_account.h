// Which server and user a diary syncs with, and how its last sync ended: kept beside the sync
// state in the diary's safety folder and shared by the widget and the notes tool. The password is
// never in these files, a log or the settings: a SecretStore (the Credential Manager) holds it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "files/file_store.h"
#include "sync/caldav_client.h"

struct SyncAccount {
    std::string serverUrl;                    // as the user gave it; discovery starts there
    std::string user;                         // the server's user name, UTF-8
    std::string collection = kCollectionName; // the display name of the collection found or made
    friend bool operator==(const SyncAccount&, const SyncAccount&) = default;
};

// How the last tries ended, for the status line, the tray's tooltip and the back-off.
struct SyncLastRun {
    std::int64_t tried = 0;     // UTC seconds when the last try ended; 0: never
    std::int64_t succeeded = 0; // UTC seconds when the last successful one ended; 0: never
    SyncStatus status = SyncStatus::kOk;
    int failures = 0;                       // failed tries in a row since the last success
    bool userTold = false;                  // a failure that needs the user was shown once already
    int pushed = 0, pulled = 0, joined = 0; // what the last successful run did
    friend bool operator==(const SyncLastRun&, const SyncLastRun&) = default;
};

inline constexpr wchar_t kSyncAccountFileName[] = L"sync-account";
inline constexpr wchar_t kSyncLastRunFileName[] = L"sync-last";

std::string EncodeSyncAccount(const SyncAccount& account);
bool DecodeSyncAccount(std::string_view bytes, SyncAccount& account);
std::string EncodeSyncLastRun(const SyncLastRun& last);
bool DecodeSyncLastRun(std::string_view bytes, SyncLastRun& last);

// Written to a new file and moved over the old one. folder ends with a separator.
SaveResult SaveSyncAccount(FileSystem& fs, const FsPath& folder, const SyncAccount& account);
// nullopt when the diary has no account (sync is off) or the file is damaged.
std::optional<SyncAccount> LoadSyncAccount(FileSystem& fs, const FsPath& folder);
// Turns sync off: the account goes; the state stays, so turning it on again compares afresh.
bool RemoveSyncAccount(FileSystem& fs, const FsPath& folder);
SaveResult SaveSyncLastRun(FileSystem& fs, const FsPath& folder, const SyncLastRun& last);
SyncLastRun LoadSyncLastRun(FileSystem& fs, const FsPath& folder);

// Where a server address leads: scheme and host in lower case, the port written out (443, 80 when
// left out). nullopt for anything the transport refuses to read (not http or https, no host, a
// user name or password inside the address).
struct SyncOrigin {
    std::string scheme;
    std::string host; // an IPv6 address keeps its brackets
    int port = 0;
    bool loopback = false;    // 127.x.x.x, localhost or [::1]: the only hosts plain http may go to
    std::string Text() const; // "https://dav.example.org:443"
};
std::optional<SyncOrigin> OriginOfSyncUrl(std::string_view url);

// The name the password is kept under: one per server origin (scheme, host, port) and user, so a
// password is only ever sent to the host it was given for.
std::string CredentialTarget(const SyncAccount& account);

class SecretStore {
  public:
    virtual ~SecretStore() = default;
    virtual bool Save(std::string_view target, std::string_view user, std::string_view secret) = 0;
    virtual std::optional<std::string> Load(std::string_view target) = 0;
    virtual bool Remove(std::string_view target) = 0;
};
