// Byte encoding shared by the notes file and the settings file: little-endian integers, bytes and
// length-prefixed GBK strings, written to and read from memory buffers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Turns a UTF-16 string met in a file into the notes' bytes; without one the reader uses
// Gb18030FromUtf16, the program's own, so every build reads such a file the same way.
using WideToNarrow = std::function<std::string(std::u16string_view)>;

// The length prefix the writer puts in front of a string of `length` bytes (one of four forms).
std::string LengthPrefix(std::uint64_t length);

class ArchiveWriter {
  public:
    void WriteInt32(std::int32_t value);
    void WriteByte(std::uint8_t value);
    void WriteString(std::string_view text);
    void Reserve(std::size_t bytes) { m_bytes.reserve(bytes); }

    const std::string& Bytes() const { return m_bytes; }
    std::string Take() { return std::move(m_bytes); }
    // Empty again, keeping the room reserved.
    void Clear() { m_bytes.clear(); }

  private:
    std::string m_bytes;
};

enum class ArchiveError { kNone, kEndOfFile, kFormat };

// Reads values in order; the first failure sticks, and every later read fails as well, so a
// decoder can read a whole record and test once. No length is trusted before it is compared
// with the bytes that are left.
class ArchiveReader {
  public:
    explicit ArchiveReader(std::string_view bytes, WideToNarrow toNarrow = {});

    bool ReadInt32(std::int32_t& value);
    bool ReadByte(std::uint8_t& value);
    bool ReadString(std::string& text);
    // The same without a copy: a string stored as GBK bytes is a view of the reader's bytes; one
    // stored as UTF-16 is converted into `converted`, and the view is of that.
    bool ReadText(std::string_view& text, std::string& converted);
    // Steps over a string, checking its length against the bytes left, without looking at it.
    bool SkipString();

    bool Ok() const { return m_error == ArchiveError::kNone; }
    ArchiveError Error() const { return m_error; }
    std::size_t Remaining() const { return m_bytes.size() - m_pos; }

  private:
    bool Take(std::size_t count, std::string_view& out);
    bool ReadOrSkipText(std::string_view* text, std::string& converted);
    bool ReadUInt(std::size_t size, std::uint64_t& value);
    bool Fail(ArchiveError error);

    std::string_view m_bytes;
    std::size_t m_pos = 0;
    ArchiveError m_error = ArchiveError::kNone;
    WideToNarrow m_toNarrow;
};
