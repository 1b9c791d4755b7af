// URL pieces for the transport: kept apart from WinHTTP so the rules run in the native tests too.
#include "sync/http_url.h"

#include <cctype>

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// The password's copies do not outlive the header made from them.
void Wipe(std::string& text) {
    volatile char* p = text.data();
    for (std::size_t i = 0; i < text.size(); ++i) {
        p[i] = 0;
    }
}

bool AllDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<HttpUrl> ParseHttpUrl(std::string_view url) {
    HttpUrl out;
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string scheme = Lower(url.substr(0, colon));
    if (scheme == "https") {
        out.secure = true;
        out.port = 443;
    } else if (scheme == "http") {
        out.secure = false;
        out.port = 80;
    } else {
        return std::nullopt;
    }
    std::string_view rest = url.substr(colon + 3);
    const std::size_t end = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, end);
    std::string_view tail = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    if (authority.find('@') != std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view host;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        host = authority.substr(1, close - 1);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return std::nullopt;
            }
            port = after.substr(1);
        }
    } else {
        const std::size_t at = authority.find(':');
        host = authority.substr(0, at);
        if (at != std::string_view::npos) {
            port = authority.substr(at + 1);
        }
    }
    if (host.empty() || host.find_first_of(" \t\r\n") != std::string_view::npos) {
        return std::nullopt;
    }
    if (!port.empty() || authority.back() == ':') {
        if (!AllDigits(port) || port.size() > 5) {
            return std::nullopt;
        }
        const int n = std::stoi(std::string(port));
        if (n < 1 || n > 65535) {
            return std::nullopt;
        }
        out.port = n;
    }
    out.host = Lower(host);
    // The fragment is the client's alone; it never goes on the wire.
    tail = tail.substr(0, tail.find('#'));
    out.path = tail.empty() || tail.front() != '/' ? "/" + std::string(tail) : std::string(tail);
    return out;
}

bool IsLoopbackHost(std::string_view host) {
    const std::string h = Lower(host);
    if (h == "localhost" || h == "::1" || h == "0:0:0:0:0:0:0:1") {
        return true;
    }
    int parts = 0;
    std::size_t start = 0;
    int first = -1;
    while (start <= h.size()) {
        const std::size_t dot = h.find('.', start);
        const std::string_view part =
            std::string_view(h).substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (!AllDigits(part) || part.size() > 3 || std::stoi(std::string(part)) > 255) {
            return false;
        }
        if (first < 0) {
            first = std::stoi(std::string(part));
        }
        ++parts;
        if (dot == std::string::npos) {
            break;
        }
        start = dot + 1;
    }
    return parts == 4 && first == 127;
}

std::optional<HttpUrl> ResolveLocation(const HttpUrl& base, std::string_view location) {
    if (location.empty()) {
        return std::nullopt;
    }
    if (location.find("://") != std::string_view::npos) {
        return ParseHttpUrl(location);
    }
    if (location.size() >= 2 && location[0] == '/' && location[1] == '/') {
        return ParseHttpUrl((base.secure ? "https:" : "http:") + std::string(location));
    }
    HttpUrl out = base;
    location = location.substr(0, location.find('#'));
    if (location.front() == '/') {
        out.path = std::string(location);
    } else {
        const std::string folder = base.path.substr(0, base.path.find('?'));
        out.path = folder.substr(0, folder.rfind('/') + 1) + std::string(location);
    }
    return out;
}

std::string BasicAuthorization(std::string_view user, std::string_view password) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string plain = std::string(user) + ":" + std::string(password);
    std::string out = "Basic ";
    out.reserve(6 + (plain.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= plain.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(plain[i]) << 16 |
                           static_cast<unsigned char>(plain[i + 1]) << 8 |
                           static_cast<unsigned char>(plain[i + 2]);
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
    }
    if (plain.size() - i == 1) {
        const unsigned v = static_cast<unsigned char>(plain[i]) << 16;
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], '=', '='};
    } else if (plain.size() - i == 2) {
        const unsigned v =
            static_cast<unsigned char>(plain[i]) << 16 | static_cast<unsigned char>(plain[i + 1]) << 8;
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], '='};
    }
    Wipe(plain);
    return out;
}
