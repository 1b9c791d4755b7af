// Digest authentication's answer, and the MD5 it is made of.
#include "sync/http_digest.h"

#include <array>
#include <cstdint>
#include <map>

namespace {

std::uint32_t Rotl(std::uint32_t x, unsigned n) {
    return (x << n) | (x >> (32 - n));
}

void Md5Block(std::array<std::uint32_t, 4>& h, const unsigned char* p) {
    static constexpr unsigned kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    // floor(abs(sin(i + 1)) * 2^32), the constants every MD5 carries.
    static constexpr std::uint32_t kSine[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = std::uint32_t{p[4 * i]} | std::uint32_t{p[4 * i + 1]} << 8 |
               std::uint32_t{p[4 * i + 2]} << 16 | std::uint32_t{p[4 * i + 3]} << 24;
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (unsigned i = 0; i < 64; ++i) {
        std::uint32_t f;
        unsigned g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const std::uint32_t next = d;
        d = c;
        c = b;
        b = b + Rotl(a + f + kSine[i] + m[g], kShift[i]);
        a = next;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

struct Challenge {
    std::string scheme;
    std::map<std::string, std::string> params; // names in lower case
};

// Every challenge of one header value: a scheme, then its name=value parameters (a value quoted
// or not), up to the next scheme.
std::vector<Challenge> ParseChallenges(std::string_view v) {
    std::vector<Challenge> out;
    std::size_t i = 0;
    const auto skip = [&] {
        while (i < v.size() && (v[i] == ' ' || v[i] == '\t' || v[i] == ','))
            ++i;
    };
    for (skip(); i < v.size(); skip()) {
        const std::size_t start = i;
        while (i < v.size() && v[i] != ' ' && v[i] != '\t' && v[i] != '=' && v[i] != ',')
            ++i;
        if (i == start) {
            ++i; // a stray '=' names nothing
            continue;
        }
        std::string token(v.substr(start, i - start));
        std::size_t at = i;
        while (at < v.size() && (v[at] == ' ' || v[at] == '\t'))
            ++at;
        if (at >= v.size() || v[at] != '=' || out.empty()) {
            out.push_back({std::move(token), {}});
            continue;
        }
        for (i = at + 1; i < v.size() && (v[i] == ' ' || v[i] == '\t');)
            ++i;
        std::string value;
        if (i < v.size() && v[i] == '"') {
            for (++i; i < v.size() && v[i] != '"'; ++i) {
                if (v[i] == '\\' && i + 1 < v.size())
                    ++i;
                value += v[i];
            }
            ++i;
        } else {
            while (i < v.size() && v[i] != ',' && v[i] != ' ' && v[i] != '\t')
                value += v[i++];
        }
        for (char& c : token)
            c = LowerAscii(c);
        out.back().params[token] = std::move(value);
    }
    return out;
}

bool HeaderSafe(std::string_view text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

bool OffersAuth(std::string_view qop) {
    for (const Challenge& word : ParseChallenges(qop)) {
        if (SameWord(word.scheme, "auth"))
            return true;
    }
    return false;
}

std::optional<std::string> Answer(const Challenge& c, const DigestAnswerInput& in) {
    const auto param = [&](const char* name) {
        const auto it = c.params.find(name);
        return it == c.params.end() ? std::optional<std::string>() : std::optional<std::string>(it->second);
    };
    const std::optional<std::string> algorithm = param("algorithm"), qop = param("qop");
    const std::string realm = param("realm").value_or(""), nonce = param("nonce").value_or("");
    const bool sess = algorithm && SameWord(*algorithm, "MD5-sess");
    if ((algorithm && !sess && !SameWord(*algorithm, "MD5")) || nonce.empty() || (qop && !OffersAuth(*qop)))
        return std::nullopt;
    const std::optional<std::string> opaque = param("opaque");
    const std::string opaqueText = opaque.value_or("");
    for (const std::string_view text : {in.user, in.uri, in.cnonce, in.method, std::string_view(realm),
                                        std::string_view(nonce), std::string_view(opaqueText)}) {
        if (!HeaderSafe(text))
            return std::nullopt;
    }
    const std::string colon = ":";
    std::string ha1 = Md5Hex(std::string(in.user) + colon + realm + colon + std::string(in.password));
    if (sess)
        ha1 = Md5Hex(ha1 + colon + nonce + colon + std::string(in.cnonce));
    const std::string ha2 = Md5Hex(std::string(in.method) + colon + std::string(in.uri));
    const std::string count = "00000001";
    const std::string response =
        qop ? Md5Hex(ha1 + colon + nonce + colon + count + colon + std::string(in.cnonce) + ":auth:" + ha2)
            : Md5Hex(ha1 + colon + nonce + colon + ha2);
    std::string out = "Digest username=" + Quoted(in.user) + ", realm=" + Quoted(realm) +
                      ", nonce=" + Quoted(nonce) + ", uri=" + Quoted(in.uri) + ", response=\"" + response +
                      "\"";
    if (algorithm)
        out += std::string(", algorithm=") + (sess ? "MD5-sess" : "MD5");
    if (qop)
        out += ", qop=auth, nc=" + count + ", cnonce=" + Quoted(in.cnonce);
    if (opaque)
        out += ", opaque=" + Quoted(*opaque);
    return out;
}

} // namespace

std::string Md5Hex(std::string_view bytes) {
    std::array<std::uint32_t, 4> h = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::string data(bytes);
    const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
    data += '\x80';
    while (data.size() % 64 != 56)
        data += '\0';
    for (int i = 0; i < 8; ++i)
        data += static_cast<char>((bits >> (8 * i)) & 0xFF);
    for (std::size_t at = 0; at < data.size(); at += 64)
        Md5Block(h, reinterpret_cast<const unsigned char*>(data.data() + at));
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const std::uint32_t word : h) {
        for (int i = 0; i < 4; ++i) {
            const unsigned byte = (word >> (8 * i)) & 0xFF;
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

std::optional<std::string> AnswerDigest(const std::vector<HttpHeader>& replyHeaders,
                                        const DigestAnswerInput& in) {
    for (const HttpHeader& header : replyHeaders) {
        if (!SameWord(header.name, "WWW-Authenticate"))
            continue;
        for (const Challenge& c : ParseChallenges(header.value)) {
            if (!SameWord(c.scheme, "Digest"))
                continue;
            if (std::optional<std::string> answer = Answer(c, in))
                return answer;
        }
    }
    return std::nullopt;
}
