// Bytes for the unit tests: the sample files in tests/data, and a dump of bytes that reads well when a
// comparison of encodings fails.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

// A sample file of tests/data, byte for byte; a missing one fails the test that asked for it.
inline std::string ReadData(const char* name) {
    std::ifstream in(std::string(QUILL_TEST_DATA) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), {}};
}

// Bytes as spaced hexadecimal pairs.
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
