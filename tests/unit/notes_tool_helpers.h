// Builders shared by the tests of quillidar-notes: notes files from entries, the sample files,
// and UTF-8 literals (narrow literals are GBK in this build).
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "notes_tool/notes_scan.h"

inline std::string U8(std::u8string_view text) {
    return {text.begin(), text.end()};
}

inline std::string ReadSample(const std::string& name) {
    std::ifstream in(std::string(QUILL_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline std::string Int32(std::int32_t value) {
    std::string out;
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF));
    }
    return out;
}

// A notes file as the widget writes it.
inline std::string Nts(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string out = Int32(static_cast<std::int32_t>(entries.size()));
    for (const auto& [key, text] : entries) {
        out += notes_tool::WrittenEntry(key, text);
    }
    return out;
}

// A counted string in the wide form, as a program built for UTF-16 writes it.
inline std::string WideString(std::u16string_view text) {
    std::string out = "\xFF\xFE\xFF";
    out.push_back(static_cast<char>(text.size()));
    for (const char16_t u : text) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

inline std::vector<notes_tool::DiaryEntry> EntriesOf(const std::string& file) {
    return notes_tool::DiaryEntries(file, notes_tool::ScanNotes(file).entries);
}
