// The sync state's file: one record a line, every field in hexadecimal, a count and a checksum at
// the end so that a cut or changed file is recognised as such.
#include "sync/sync_state.h"

#include <cstdint>
#include <optional>

namespace {

constexpr std::string_view kMagic = "quillidar-sync 1\n";

std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2 + 1);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out.empty() ? "-" : out; // a field is never empty, so two spaces never meet
}

std::optional<std::string> Unhex(std::string_view hex) {
    if (hex == "-") {
        return std::string();
    }
    if (hex.empty() || hex.size() % 2 != 0) {
        return std::nullopt;
    }
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
        if (hi < 0 || lo < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(hi * 16 + lo));
    }
    return out;
}

std::string Line(std::initializer_list<std::string_view> fields) {
    std::string out;
    for (const std::string_view f : fields) {
        out += out.empty() ? "" : " ";
        out += f;
    }
    return out + "\n";
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> out;
    while (!line.empty()) {
        const std::size_t at = line.find(' ');
        out.push_back(line.substr(0, at));
        if (at == std::string_view::npos) {
            break;
        }
        line.remove_prefix(at + 1);
    }
    return out;
}

} // namespace

std::uint64_t SyncFileChecksum(std::string_view bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

std::string EncodeSyncState(const SyncState& state) {
    std::string body(kMagic);
    body += Line({"collection", Hex(state.collection)});
    std::size_t records = 3;
    if (!state.name.empty()) {
        body += Line({"name", Hex(state.name)});
        ++records;
    }
    body += Line({"token", Hex(state.token)});
    body += Line({"listing", state.etagsOnly ? "etags" : "sync"});
    for (const auto& [date, day] : state.days) {
        body += Line({"day", date, Hex(day.href), Hex(day.etag), Hex(day.base)});
        ++records;
    }
    for (const auto& [href, resource] : state.foreign) {
        body += Line({"foreign", Hex(href), Hex(resource.etag)});
        ++records;
        for (const ForeignEntry& e : resource.entries) {
            body += Line({"entry", CompactDate(e.date), Hex(e.text)});
            ++records;
        }
    }
    const std::uint64_t sum = SyncFileChecksum(body);
    char digits[17];
    for (int i = 0; i < 16; ++i) {
        digits[i] = "0123456789abcdef"[(sum >> (60 - 4 * i)) & 15];
    }
    digits[16] = 0;
    return body + Line({"end", std::to_string(records), digits});
}

bool DecodeSyncState(std::string_view bytes, SyncState& state) {
    state = {};
    SyncState read;
    if (!bytes.starts_with(kMagic)) {
        return false;
    }
    const std::size_t endAt = bytes.rfind("end ");
    if (endAt == std::string_view::npos || endAt < kMagic.size() || bytes[endAt - 1] != '\n' ||
        !bytes.ends_with("\n")) {
        return false;
    }
    const std::vector<std::string_view> end = Fields(bytes.substr(endAt, bytes.size() - endAt - 1));
    const std::string_view body = bytes.substr(0, endAt);
    if (end.size() != 3 || end[2].size() != 16) {
        return false;
    }
    std::uint64_t sum = 0;
    for (const char c : end[2]) {
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0) {
            return false;
        }
        sum = sum << 4 | static_cast<std::uint64_t>(d);
    }
    if (sum != SyncFileChecksum(body)) {
        return false;
    }
    std::size_t records = 0;
    ForeignResource* resource = nullptr;
    std::string_view rest = body.substr(kMagic.size());
    while (!rest.empty()) {
        const std::size_t nl = rest.find('\n');
        if (nl == std::string_view::npos) {
            return false;
        }
        const std::vector<std::string_view> f = Fields(rest.substr(0, nl));
        rest.remove_prefix(nl + 1);
        ++records;
        if (f.empty()) {
            return false;
        }
        std::vector<std::string> values;
        for (std::size_t i = 1; i < f.size(); ++i) {
            if ((f[0] == "day" || f[0] == "listing") && i == 1) {
                values.emplace_back(f[i]);
                continue;
            }
            if (f[0] == "entry" && i == 1) {
                values.emplace_back(f[i]);
                continue;
            }
            const std::optional<std::string> v = Unhex(f[i]);
            if (!v) {
                return false;
            }
            values.push_back(*v);
        }
        if (f[0] == "collection" && values.size() == 1) {
            read.collection = values[0];
        } else if (f[0] == "listing" && values.size() == 1 && (values[0] == "etags" || values[0] == "sync")) {
            read.etagsOnly = values[0] == "etags";
        } else if (f[0] == "name" && values.size() == 1 && !values[0].empty()) {
            read.name = values[0];
        } else if (f[0] == "token" && values.size() == 1) {
            read.token = values[0];
        } else if (f[0] == "day" && values.size() == 4 && ParseCompactDate(values[0])) {
            if (!read.days.emplace(values[0], SyncDayState{values[1], values[2], values[3]}).second) {
                return false;
            }
            resource = nullptr;
        } else if (f[0] == "foreign" && values.size() == 2) {
            auto [it, added] = read.foreign.emplace(values[0], ForeignResource{values[1], {}});
            if (!added) {
                return false;
            }
            resource = &it->second;
        } else if (f[0] == "entry" && values.size() == 2 && resource) {
            const std::optional<SyncDate> date = ParseCompactDate(values[0]);
            if (!date) {
                return false;
            }
            resource->entries.push_back({*date, values[1]});
        } else {
            return false;
        }
    }
    if (end[1] != std::to_string(records)) {
        return false;
    }
    state = std::move(read);
    return true;
}

SaveResult SaveSyncState(FileSystem& fs, const FsPath& path, const SyncState& state) {
    return SaveFileAtomically(fs, path, EncodeSyncState(state));
}

SyncState LoadSyncState(FileSystem& fs, const FsPath& path, bool* damaged) {
    SyncState state;
    std::string bytes;
    const FileError error = LoadFile(fs, path, bytes);
    bool bad = false;
    if (error == FileError::kNone) {
        bad = !DecodeSyncState(bytes, state);
    } else {
        bad = error != FileError::kNotFound;
    }
    if (damaged) {
        *damaged = bad;
    }
    return state;
}
