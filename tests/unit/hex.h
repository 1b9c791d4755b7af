// Bytes as spaced hexadecimal pairs, so a failed comparison of encodings reads like a dump.
#pragma once

#include <string>
#include <string_view>

inline std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (!out.empty()) {
            out += ' ';
        }
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}
