// The archive encoding: length prefixes, the forms a reader meets, and damaged input.
#include <gtest/gtest.h>

#include <string>

#include "diary/archive.h"
#include "test_bytes.h"

namespace {

using namespace std::string_literals;

TEST(ArchiveWriter, LengthPrefixFormsAndTheirLimits) {
    const struct {
        std::uint64_t length;
        const char* prefix;
    } cases[] = {
        {0, "00"},
        {254, "FE"},
        {255, "FF FF 00"},
        {300, "FF 2C 01"},
        {65533, "FF FD FF"},
        {65534, "FF FF FF FE FF 00 00"},
        {65535, "FF FF FF FF FF 00 00"},
        {0xFFFFFFFEull, "FF FF FF FE FF FF FF"},
        {0xFFFFFFFFull, "FF FF FF FF FF FF FF FF FF FF FF 00 00 00 00"},
        {0x123456789Aull, "FF FF FF FF FF FF FF 9A 78 56 34 12 00 00 00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(LengthPrefix(c.length)), c.prefix) << c.length;
    }
}

TEST(ArchiveWriter, IntegersAreLittleEndianTwosComplement) {
    ArchiveWriter writer;
    writer.WriteInt32(400);
    writer.WriteInt32(-16);
    writer.WriteByte(0xAB);
    writer.WriteString("ab\r\nc");
    EXPECT_EQ(Hex(writer.Bytes()), "90 01 00 00 F0 FF FF FF AB 05 61 62 0D 0A 63");
}

TEST(ArchiveRoundTrip, StringsAtEveryPrefixBoundary) {
    for (const std::size_t length : {0u, 1u, 254u, 255u, 256u, 65533u, 65534u, 65535u, 70000u}) {
        std::string text(length, '\0');
        for (std::size_t i = 0; i < length; ++i) {
            text[i] = static_cast<char>(1 + i % 255);
        }
        ArchiveWriter writer;
        writer.WriteString(text);
        writer.WriteInt32(7);
        ArchiveReader reader(writer.Bytes());
        std::string back;
        std::int32_t after = 0;
        ASSERT_TRUE(reader.ReadString(back)) << length;
        ASSERT_TRUE(reader.ReadInt32(after));
        EXPECT_EQ(back, text) << length;
        EXPECT_EQ(after, 7);
        EXPECT_EQ(reader.Remaining(), 0u);
    }
}

// Forms the writer never produces but a reader must accept: longer prefixes for short strings.
TEST(ArchiveReader, AcceptsEveryPrefixFormForAnyLength) {
    const std::string cases[] = {
        "\x03"
        "abc"s,
        "\xFF\x03\x00"
        "abc"s,
        "\xFF\xFF\xFF\x03\x00\x00\x00"
        "abc"s,
        "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x03\x00\x00\x00\x00\x00\x00\x00"
        "abc"s,
    };
    for (const std::string& bytes : cases) {
        ArchiveReader reader(bytes);
        std::string text;
        ASSERT_TRUE(reader.ReadString(text)) << Hex(bytes);
        EXPECT_EQ(text, "abc");
        EXPECT_EQ(reader.Remaining(), 0u);
    }
}

TEST(ArchiveReader, WideStringsInEveryLengthFormGoThroughTheConverter) {
    const std::string units = "a\x00\x2D\x4E"
                              "b\x00"s; // a 中 b
    const std::string cases[] = {
        "\xFF\xFE\xFF\x03"s + units,
        "\xFF\xFE\xFF\xFF\x03\x00"s + units,
        "\xFF\xFE\xFF\xFF\xFF\xFF\x03\x00\x00\x00"s + units,
        "\xFF\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x03\x00\x00\x00\x00\x00\x00\x00"s + units,
    };
    for (const std::string& bytes : cases) {
        std::u16string seen;
        ArchiveReader reader(bytes, [&](std::u16string_view wide) {
            seen = wide;
            return std::string("\xD6\xD0");
        });
        std::string text;
        ASSERT_TRUE(reader.ReadString(text)) << Hex(bytes);
        EXPECT_EQ(seen, u"a中b");
        EXPECT_EQ(text, "\xD6\xD0");
        EXPECT_EQ(reader.Remaining(), 0u);
    }
}

TEST(ArchiveReader, DefaultConverterKeepsEveryCharacter) {
    // The reader views its bytes, so they must outlive it.
    const std::string bytes = "\xFF\xFE\xFF\x06"
                              "a\x00\x2D\x4E\x3D\xD8\x00\xDE\x5C\xD5"
                              "b\x00"s; // a 中 😀 한 b
    ArchiveReader reader(bytes);
    std::string text;
    ASSERT_TRUE(reader.ReadString(text));
    EXPECT_EQ(Hex(text), Hex("a\xD6\xD0\x94\x39\xFC\x36\x83\x36\x84\x33"
                             "b"));
}

TEST(ArchiveReader, StringsEndAtTheirFirstZero) {
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"\x05"
         "ab\x00"
         "cd"s,
         "ab"},
        {"\x02\x00"
         "x"s,
         ""},
        {"\xFF\xFE\xFF\x03"
         "a\x00\x00\x00"
         "b\x00"s,
         "a"},
    };
    for (const auto& c : cases) {
        ArchiveReader reader(c.bytes);
        std::string text;
        ASSERT_TRUE(reader.ReadString(text)) << Hex(c.bytes);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(reader.Remaining(), 0u) << "the bytes after the zero are still consumed";
    }
}

TEST(ArchiveReader, DamagedInputFailsWithTheRightError) {
    const struct {
        std::string bytes;
        ArchiveError error;
    } cases[] = {
        {"", ArchiveError::kEndOfFile},
        {"\x05"
         "abcd"s,
         ArchiveError::kEndOfFile},
        {"\xFF\x01"s, ArchiveError::kEndOfFile},
        {"\xFF\xFF\xFF\x00\x00\x00"s, ArchiveError::kEndOfFile},
        {"\xFF\xFE\xFF\x02"
         "a\x00"
         "b"s,
         ArchiveError::kEndOfFile},
        // Lengths far beyond the input: rejected before anything is allocated.
        {"\xFF\xFF\xFF\xFE\xFF\xFF\xFF"s, ArchiveError::kEndOfFile},
        {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F\x00\x00\x00\x00"s, ArchiveError::kEndOfFile},
        {"\xFF\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F\x00\x00\x00\x00"s,
         ArchiveError::kEndOfFile},
        // 64-bit lengths above 0x7FFFFFFF are a format error, whatever follows.
        {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x00\x00\x00\x80\x00\x00\x00\x00"s, ArchiveError::kFormat},
        {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"s, ArchiveError::kFormat},
        {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x00\x00\x00\x00\x01\x00\x00\x00"s, ArchiveError::kFormat},
    };
    for (const auto& c : cases) {
        ArchiveReader reader(c.bytes);
        std::string text = "untouched";
        EXPECT_FALSE(reader.ReadString(text)) << Hex(c.bytes);
        EXPECT_EQ(reader.Error(), c.error) << Hex(c.bytes);
        std::uint8_t byte = 0;
        EXPECT_FALSE(reader.ReadByte(byte)) << "a failure sticks";
    }
}

TEST(ArchiveReader, LengthOf0x7FFFFFFFIsAcceptedAsALength) {
    // The largest 64-bit length that is not a format error; here it merely runs past the end.
    const std::string bytes = "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F\x00\x00\x00\x00"
                              "abc"s;
    ArchiveReader reader(bytes);
    std::string text;
    EXPECT_FALSE(reader.ReadString(text));
    EXPECT_EQ(reader.Error(), ArchiveError::kEndOfFile);
}

TEST(ArchiveReader, ShortIntegersAndBytes) {
    const std::string shortBytes = "\x01\x02\x03"s;
    ArchiveReader reader(shortBytes);
    std::int32_t value = 0;
    EXPECT_FALSE(reader.ReadInt32(value));
    EXPECT_EQ(reader.Error(), ArchiveError::kEndOfFile);

    const std::string intAndByte = "\x80\xFF\xFF\xFF\x7F"s;
    ArchiveReader more(intAndByte);
    ASSERT_TRUE(more.ReadInt32(value));
    EXPECT_EQ(value, -128);
    std::uint8_t byte = 0;
    ASSERT_TRUE(more.ReadByte(byte));
    EXPECT_EQ(byte, 0x7F);
    EXPECT_FALSE(more.ReadByte(byte));
}

} // namespace
