// Byte encoding shared by the notes file and the settings file.
#include "diary/archive.h"

#include <cstring>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "text/gb18030.h"

namespace {

void AppendLittleEndian(std::string& out, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

void CutAtZero(std::string& text) {
    const auto zero = text.find('\0');
    if (zero != std::string::npos) {
        text.resize(zero);
    }
}

constexpr std::uint16_t kWideTag = 0xFFFE;

// Where the first zero byte is, or the size: sixteen or eight bytes at a time, since a diary's texts are
// tens of megabytes and some runtimes' memchr goes a byte at a time.
std::size_t ZeroAt(std::string_view bytes) {
    std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= bytes.size(); i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(block, zero)) != 0) {
            break;
        }
    }
#endif
    constexpr std::uint64_t kLow = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        if ((word - kLow) & ~word & kHigh) {
            break;
        }
    }
    for (; i < bytes.size(); ++i) {
        if (bytes[i] == '\0') {
            return i;
        }
    }
    return bytes.size();
}

} // namespace

namespace {

void AppendLengthPrefix(std::string& out, std::uint64_t length) {
    if (length < 0xFF) {
        AppendLittleEndian(out, length, 1);
    } else if (length < 0xFFFE) {
        out.push_back('\xFF');
        AppendLittleEndian(out, length, 2);
    } else if (length < 0xFFFFFFFF) {
        out.append("\xFF\xFF\xFF", 3);
        AppendLittleEndian(out, length, 4);
    } else {
        out.append("\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 7);
        AppendLittleEndian(out, length, 8);
    }
}

} // namespace

std::string LengthPrefix(std::uint64_t length) {
    std::string out;
    AppendLengthPrefix(out, length);
    return out;
}

void ArchiveWriter::WriteInt32(std::int32_t value) {
    AppendLittleEndian(m_bytes, static_cast<std::uint32_t>(value), 4);
}

void ArchiveWriter::WriteByte(std::uint8_t value) {
    m_bytes.push_back(static_cast<char>(value));
}

void ArchiveWriter::WriteString(std::string_view text) {
    AppendLengthPrefix(m_bytes, text.size());
    m_bytes += text;
}

ArchiveReader::ArchiveReader(std::string_view bytes, WideToNarrow toNarrow)
    : m_bytes(bytes), m_toNarrow(std::move(toNarrow)) {
    if (!m_toNarrow) {
        m_toNarrow = Gb18030FromUtf16;
    }
}

bool ArchiveReader::Fail(ArchiveError error) {
    if (m_error == ArchiveError::kNone) {
        m_error = error;
    }
    return false;
}

bool ArchiveReader::Take(std::size_t count, std::string_view& out) {
    if (!Ok()) {
        return false;
    }
    if (count > Remaining()) {
        return Fail(ArchiveError::kEndOfFile);
    }
    out = m_bytes.substr(m_pos, count);
    m_pos += count;
    return true;
}

bool ArchiveReader::ReadUInt(std::size_t size, std::uint64_t& value) {
    std::string_view raw;
    if (!Take(size, raw)) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value |= std::uint64_t{static_cast<unsigned char>(raw[i])} << (8 * i);
    }
    return true;
}

bool ArchiveReader::ReadInt32(std::int32_t& value) {
    std::uint64_t raw = 0;
    if (!ReadUInt(4, raw)) {
        return false;
    }
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(raw));
    return true;
}

bool ArchiveReader::ReadByte(std::uint8_t& value) {
    std::uint64_t raw = 0;
    if (!ReadUInt(1, raw)) {
        return false;
    }
    value = static_cast<std::uint8_t>(raw);
    return true;
}

bool ArchiveReader::ReadString(std::string& text) {
    std::string converted;
    std::string_view view;
    if (!ReadText(view, converted)) {
        return false;
    }
    if (view.data() == converted.data()) {
        text = std::move(converted);
    } else {
        text.assign(view);
    }
    return true;
}

bool ArchiveReader::ReadText(std::string_view& text, std::string& converted) {
    return ReadOrSkipText(&text, converted);
}

bool ArchiveReader::SkipString() {
    std::string unused;
    return ReadOrSkipText(nullptr, unused);
}

bool ArchiveReader::ReadOrSkipText(std::string_view* text, std::string& converted) {
    bool wide = false;
    std::uint64_t length = 0;
    if (!ReadUInt(1, length)) {
        return false;
    }
    if (length == 0xFF) {
        if (!ReadUInt(2, length)) {
            return false;
        }
        if (length == kWideTag) {
            wide = true;
            if (!ReadUInt(1, length)) {
                return false;
            }
            if (length == 0xFF && !ReadUInt(2, length)) {
                return false;
            }
        }
        if (length == 0xFFFF) {
            if (!ReadUInt(4, length)) {
                return false;
            }
            if (length == 0xFFFFFFFF) {
                if (!ReadUInt(8, length)) {
                    return false;
                }
                if (length > 0x7FFFFFFF) {
                    return Fail(ArchiveError::kFormat);
                }
            }
        }
    }

    // Compared before anything is allocated, so a forged length costs nothing.
    const std::uint64_t byteCount = wide ? length * 2 : length;
    if (byteCount > Remaining()) {
        return Fail(ArchiveError::kEndOfFile);
    }
    std::string_view raw;
    if (!Take(static_cast<std::size_t>(byteCount), raw)) {
        return false;
    }
    if (!text) {
        return true;
    }
    if (wide) {
        std::u16string units(static_cast<std::size_t>(length), u'\0');
        for (std::size_t i = 0; i < units.size(); ++i) {
            units[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                             (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
        }
        const auto zero = units.find(u'\0');
        if (zero != std::u16string::npos) {
            units.resize(zero);
        }
        converted = m_toNarrow(units);
        CutAtZero(converted);
        *text = converted;
    } else {
        *text = raw.substr(0, ZeroAt(raw));
    }
    return true;
}
