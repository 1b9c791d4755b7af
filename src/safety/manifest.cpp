// The manifest's lines.
#include "safety/manifest.h"

#include <algorithm>
#include <charconv>

#include "safety/content_hash.h"

namespace {

constexpr std::string_view kFirstLine = "quillidar-safety 1";
// A manifest is a few hundred bytes; anything far larger is not ours.
constexpr std::size_t kMostManifestBytes = 1 << 20;

bool Number(std::string_view text, std::uint64_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::vector<std::string_view> Fields(std::string_view line, std::size_t most) {
    std::vector<std::string_view> fields;
    while (!line.empty() && fields.size() + 1 < most) {
        const std::size_t space = line.find(' ');
        fields.push_back(line.substr(0, space));
        if (space == std::string_view::npos)
            return fields;
        line.remove_prefix(space + 1);
    }
    fields.push_back(line);
    return fields;
}

void PutUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void PutWide(std::wstring& out, std::uint32_t code) {
    if (code >= 0x10000 && sizeof(wchar_t) == 2) {
        code -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 | (code >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 | (code & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(code));
    }
}

} // namespace

const ManifestCopy* Manifest::CopyNamed(std::wstring_view name) const {
    const auto found = std::find_if(copies.begin(), copies.end(),
                                    [&](const ManifestCopy& copy) { return copy.name == name; });
    return found == copies.end() ? nullptr : &*found;
}

void Manifest::SetCopy(ManifestCopy copy) {
    Forget(copy.name);
    copies.push_back(std::move(copy));
}

void Manifest::Forget(std::wstring_view name) {
    copies.erase(std::remove_if(copies.begin(), copies.end(),
                                [&](const ManifestCopy& copy) { return copy.name == name; }),
                 copies.end());
}

std::string EncodeManifest(const Manifest& manifest) {
    std::string out(kFirstLine);
    // Second, so that a manifest cut anywhere after it is known to be cut short (an older version
    // skips the line).
    out += "\nsealed";
    out += "\nfolder " + Utf8FromWidePath(manifest.folder);
    out += "\ngeneration " + std::to_string(manifest.generation);
    out += "\nlatest " + std::to_string(manifest.size) + " " + HashHex(manifest.hash);
    for (const ManifestCopy& copy : manifest.copies) {
        out += "\ncopy " + std::to_string(copy.generation) + " " + std::to_string(copy.size) + " " +
               HashHex(copy.hash) + " " + Utf8FromWidePath(copy.name);
    }
    // The last line vouches for all before it, so a manifest cut short at a line's end is known to
    // be cut short instead of passing for one that names fewer copies.
    out += "\nend " + HashHex(ContentHash(out)) + "\n";
    return out;
}

std::optional<Manifest> DecodeManifest(std::string_view bytes) {
    if (bytes.size() > kMostManifestBytes)
        return std::nullopt;
    const std::size_t firstEnd = bytes.find('\n');
    if (bytes.substr(0, firstEnd) != kFirstLine)
        return std::nullopt;
    Manifest manifest;
    bool sealed = false, ended = false;
    std::string_view rest =
        firstEnd == std::string_view::npos ? std::string_view() : bytes.substr(firstEnd + 1);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        const std::size_t lineAt = static_cast<std::size_t>(line.data() - bytes.data());
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::vector<std::string_view> f = Fields(line, 5);
        if (f[0] == "end" && f.size() == 2) {
            std::uint64_t check = 0;
            if (!ParseHashHex(f[1], check) || lineAt == 0 ||
                check != ContentHash(bytes.substr(0, lineAt - 1)))
                return std::nullopt;
            ended = true;
            break;
        }
        if (f[0] == "sealed") {
            sealed = true;
        } else if (f[0] == "folder" && f.size() == 2) {
            manifest.folder = WidePathFromUtf8(f[1]);
        } else if (f[0] == "generation" && f.size() == 2) {
            if (!Number(f[1], manifest.generation))
                return std::nullopt;
        } else if (f[0] == "latest" && f.size() >= 3) {
            if (!Number(f[1], manifest.size) || !ParseHashHex(f[2], manifest.hash))
                return std::nullopt;
        } else if (f[0] == "copy" && f.size() == 5) {
            ManifestCopy copy;
            copy.name = WidePathFromUtf8(f[4]);
            if (!Number(f[1], copy.generation) || !Number(f[2], copy.size) ||
                !ParseHashHex(f[3], copy.hash) || copy.name.empty() ||
                copy.name.find_first_of(L"\\/:") != std::wstring::npos || copy.name == L"." ||
                copy.name == L"..")
                continue;
            // A save cut off between its two manifest writes leaves two entries for one name, the
            // bytes it held and the bytes it was to hold: both stay, the file's bytes pick one.
            const bool repeated =
                std::any_of(manifest.copies.begin(), manifest.copies.end(), [&](const ManifestCopy& c) {
                    return c.name == copy.name && c.hash == copy.hash && c.size == copy.size;
                });
            if (!repeated)
                manifest.copies.push_back(std::move(copy));
        }
    }
    // Older versions wrote no seal; a sealed manifest without its end line was cut short.
    if (sealed && !ended)
        return std::nullopt;
    return manifest;
}

std::string Utf8FromWidePath(std::wstring_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto code = static_cast<std::uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() &&
            static_cast<std::uint32_t>(text[i + 1]) >= 0xDC00 &&
            static_cast<std::uint32_t>(text[i + 1]) < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if ((code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) {
            code = 0xFFFD;
        }
        PutUtf8(out, code);
    }
    return out;
}

std::wstring WidePathFromUtf8(std::string_view text) {
    std::wstring out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = lead < 0x80           ? 0
                    : (lead >> 5) == 0x6  ? 1
                    : (lead >> 4) == 0xE  ? 2
                    : (lead >> 3) == 0x1E ? 3
                                          : -1;
        std::uint32_t code = extra == 0   ? lead
                             : extra == 1 ? (lead & 0x1F)
                             : extra == 2 ? (lead & 0x0F)
                                          : (lead & 0x07);
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size() + (extra == 0 ? 1 : 0);
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + static_cast<std::size_t>(k) >= text.size()) {
                ok = false;
                break;
            }
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            ok = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        const std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || code < least[extra < 0 ? 0 : extra] || code > 0x10FFFF ||
            (code >= 0xD800 && code < 0xE000)) {
            PutWide(out, 0xFFFD);
            ++i;
            continue;
        }
        PutWide(out, code);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}
