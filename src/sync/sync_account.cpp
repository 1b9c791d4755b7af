// The sync's account and last-run files: one field a line, text fields in hexadecimal, and a
// checksum at the end, so a cut or changed file reads as "no account" or "never ran", never as a
// half-right account that would send a password somewhere else.
#include "sync/sync_account.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "sync/http_url.h"
#include "sync/sync_state.h"
#include "text/text_codec.h"

namespace {

constexpr std::string_view kAccountMagic = "quillidar-sync-account 1\n";
constexpr std::string_view kLastRunMagic = "quillidar-sync-last 1\n";

std::string Sum(std::string_view body) {
    const std::uint64_t sum = SyncFileChecksum(body);
    std::string digits(16, '0');
    for (int i = 0; i < 16; ++i) {
        digits[static_cast<std::size_t>(i)] = "0123456789abcdef"[(sum >> (60 - 4 * i)) & 15];
    }
    return digits;
}

// "name value" lines after the magic, closed by "end <checksum>".
std::string Seal(std::string_view magic, const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string body(magic);
    for (const auto& [name, value] : fields) {
        body += name + " " + value + "\n";
    }
    return body + "end " + Sum(body) + "\n";
}

// The fields of a sealed file; nullopt for anything but a whole, undamaged one with each name once.
std::optional<std::map<std::string, std::string, std::less<>>> Unseal(std::string_view bytes,
                                                                      std::string_view magic) {
    if (!bytes.starts_with(magic) || !bytes.ends_with("\n")) {
        return std::nullopt;
    }
    const std::size_t endAt = bytes.rfind("\nend ");
    if (endAt == std::string_view::npos || endAt + 1 < magic.size()) {
        return std::nullopt;
    }
    const std::string_view body = bytes.substr(0, endAt + 1);
    if (bytes.substr(endAt + 1) != "end " + Sum(body) + "\n") {
        return std::nullopt;
    }
    std::map<std::string, std::string, std::less<>> fields;
    std::string_view rest = body.substr(magic.size());
    while (!rest.empty()) {
        const std::size_t nl = rest.find('\n');
        const std::string_view line = rest.substr(0, nl);
        rest.remove_prefix(nl + 1);
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos || space == 0 ||
            !fields.emplace(std::string(line.substr(0, space)), std::string(line.substr(space + 1))).second) {
            return std::nullopt;
        }
    }
    return fields;
}

std::string HexField(std::string_view text) {
    return text.empty() ? "-" : text_codec::HexOf(text);
}

std::optional<std::string> TextField(std::string_view field) {
    if (field == "-") {
        return std::string();
    }
    if (field.empty() ||
        std::any_of(field.begin(), field.end(), [](char c) { return c >= 'A' && c <= 'F'; })) {
        return std::nullopt; // one spelling only: the encoder writes lower case
    }
    return text_codec::BytesOfHex(field);
}

template <typename Int> bool NumberField(std::string_view field, Int& value, Int least) {
    if (field.empty() || (field.size() > 1 && field[0] == '0')) {
        return false;
    }
    Int read{};
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), read);
    if (error != std::errc() || end != field.data() + field.size() || read < least) {
        return false;
    }
    value = read;
    return true;
}

constexpr SyncStatus kLastStatus = SyncStatus::kNoCalendar;

FsPath In(const FsPath& folder, const wchar_t* name) {
    return folder + name;
}

} // namespace

std::optional<SyncOrigin> OriginOfSyncUrl(std::string_view url) {
    // The transport's own reading of the address, so the password's name and the host it is sent
    // to can never disagree.
    const std::optional<HttpUrl> parsed = ParseHttpUrl(url);
    if (!parsed) {
        return std::nullopt;
    }
    SyncOrigin origin;
    origin.scheme = parsed->secure ? "https" : "http";
    origin.host = parsed->host.find(':') != std::string::npos ? "[" + parsed->host + "]" : parsed->host;
    origin.port = parsed->port;
    origin.loopback = IsLoopbackHost(parsed->host);
    return origin;
}

std::string SyncOrigin::Text() const {
    return scheme + "://" + host + ":" + std::to_string(port);
}

std::string EncodeSyncAccount(const SyncAccount& account) {
    return Seal(kAccountMagic, {{"server", HexField(account.serverUrl)},
                                {"user", HexField(account.user)},
                                {"collection", HexField(account.collection)}});
}

bool DecodeSyncAccount(std::string_view bytes, SyncAccount& account) {
    const auto fields = Unseal(bytes, kAccountMagic);
    if (!fields || fields->size() != 3) {
        return false;
    }
    SyncAccount read;
    for (const auto& [name, target] : {std::pair{"server", &read.serverUrl}, std::pair{"user", &read.user},
                                       std::pair{"collection", &read.collection}}) {
        const auto it = fields->find(name);
        const std::optional<std::string> text = it == fields->end() ? std::nullopt : TextField(it->second);
        if (!text) {
            return false;
        }
        *target = *text;
    }
    if (!OriginOfSyncUrl(read.serverUrl) || read.user.empty() || read.collection.empty()) {
        return false;
    }
    account = std::move(read);
    return true;
}

std::string EncodeSyncLastRun(const SyncLastRun& last) {
    return Seal(kLastRunMagic, {{"tried", std::to_string(last.tried)},
                                {"succeeded", std::to_string(last.succeeded)},
                                {"status", std::to_string(static_cast<int>(last.status))},
                                {"failures", std::to_string(last.failures)},
                                {"told", last.userTold ? "1" : "0"},
                                {"pushed", std::to_string(last.pushed)},
                                {"pulled", std::to_string(last.pulled)},
                                {"joined", std::to_string(last.joined)}});
}

bool DecodeSyncLastRun(std::string_view bytes, SyncLastRun& last) {
    const auto fields = Unseal(bytes, kLastRunMagic);
    if (!fields || fields->size() != 8) {
        return false;
    }
    auto field = [&](const char* name) -> std::string_view {
        const auto it = fields->find(name);
        return it == fields->end() ? std::string_view() : std::string_view(it->second);
    };
    SyncLastRun read;
    int status = 0, told = 0;
    if (!NumberField<std::int64_t>(field("tried"), read.tried, 0) ||
        !NumberField<std::int64_t>(field("succeeded"), read.succeeded, 0) ||
        !NumberField(field("status"), status, 0) || status > static_cast<int>(kLastStatus) ||
        !NumberField(field("failures"), read.failures, 0) || !NumberField(field("told"), told, 0) ||
        told > 1 || !NumberField(field("pushed"), read.pushed, 0) ||
        !NumberField(field("pulled"), read.pulled, 0) || !NumberField(field("joined"), read.joined, 0)) {
        return false;
    }
    read.status = static_cast<SyncStatus>(status);
    read.userTold = told == 1;
    last = read;
    return true;
}

SaveResult SaveSyncAccount(FileSystem& fs, const FsPath& folder, const SyncAccount& account) {
    return SaveFileAtomically(fs, In(folder, kSyncAccountFileName), EncodeSyncAccount(account));
}

std::optional<SyncAccount> LoadSyncAccount(FileSystem& fs, const FsPath& folder) {
    std::string bytes;
    SyncAccount account;
    if (LoadFile(fs, In(folder, kSyncAccountFileName), bytes) != FileError::kNone ||
        !DecodeSyncAccount(bytes, account)) {
        return std::nullopt;
    }
    return account;
}

bool RemoveSyncAccount(FileSystem& fs, const FsPath& folder) {
    const FileError error = RemoveFile(fs, In(folder, kSyncAccountFileName));
    return error == FileError::kNone || error == FileError::kNotFound;
}

SaveResult SaveSyncLastRun(FileSystem& fs, const FsPath& folder, const SyncLastRun& last) {
    return SaveFileAtomically(fs, In(folder, kSyncLastRunFileName), EncodeSyncLastRun(last));
}

SyncLastRun LoadSyncLastRun(FileSystem& fs, const FsPath& folder) {
    std::string bytes;
    SyncLastRun last;
    if (LoadFile(fs, In(folder, kSyncLastRunFileName), bytes) != FileError::kNone ||
        !DecodeSyncLastRun(bytes, last)) {
        return {};
    }
    return last;
}

std::string CredentialTarget(const SyncAccount& account) {
    const std::optional<SyncOrigin> origin = OriginOfSyncUrl(account.serverUrl);
    // An address with no origin never reaches a server, so its name matches nothing kept.
    return "Quillidar sync " + (origin ? origin->Text() : std::string("(none)")) + " " + account.user;
}
