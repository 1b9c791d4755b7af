// The notes' text encoding: GBK text byte for byte, every other character in its GB18030 code, damage
// read as U+FFFD without losing what follows, and every character back as it went in.
#include <gtest/gtest.h>

#include <string>

#include "text/gb18030.h"
#include "test_bytes.h"

namespace {

using namespace std::string_literals;

// Both ways: the bytes are what the text is written as, and what they read back as.
TEST(Gb18030, TextAndItsBytes) {
    const struct {
        const char* what;
        std::u16string text;
        std::string bytes;
    } cases[] = {
        {"ASCII, controls included", u"a=b\t\"c\"\r\n\x01~\x7F", "a=b\t\"c\"\r\n\x01~\x7F"},
        {"common hanzi", u"今天下雨", "\xBD\xF1\xCC\xEC\xCF\xC2\xD3\xEA"},
        {"code page 936's euro sign is one byte", u"€5",
         "\x80"
         "5"},
        {"A2E3 stays code page 936's private-use character", u"\xE76C", "\xA2\xE3"},
        {"GBK symbols and full-width forms", u"\x3000\x00B7\xFF01\x2014\xFFE5",
         "\xA1\xA1\xA1\xA4\xA3\xA1\xA1\xAA\xA3\xA4"},
        {"emoji", u"😀", "\x94\x39\xFC\x36"},
        {"first and last supplementary", u"\U00010000\U0010FFFF", "\x90\x30\x81\x30\xE3\x32\x9A\x35"},
        {"Hangul", u"한국어", "\x83\x36\x84\x33\x82\x37\xF4\x30\x83\x32\xEB\x35"},
        {"GB18030's own two-byte codes", u"\x01F9\x2E81\x2FF0\x4DAE", "\xA8\xBF\xFE\x50\xA9\x8A\xFE\x9F"},
        {"the private-use character whose code went to U+01F9", u"\xE7C8", "\x83\x36\xC8\x30"},
        {"U+F8F5 is not written as the settings file's key 0xFF", u"\xF8F5", "\x83\x39\xFE\x30"},
        {"first four-byte BMP code", u"\x0080", "\x81\x30\x81\x30"},
        {"last four-byte BMP code", u"\xFFFF", "\x84\x31\xA4\x39"},
        {"a four-byte code between ranges", u"\x1E3F", "\x81\x35\xF4\x37"},
        {"the replacement character itself", u"\xFFFD", "\x84\x31\xA4\x37"},
        {"all lengths mixed", u"a中€😀b한",
         "a\xD6\xD0\x80\x94\x39\xFC\x36"
         "b\x83\x36\x84\x33"},
        {"nothing", u"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(Gb18030FromUtf16(c.text)), Hex(c.bytes)) << c.what;
        EXPECT_EQ(Utf16FromGb18030(c.bytes), c.text) << c.what;
    }
}

TEST(Gb18030, DamageReadsAsOneReplacementPerBadByte) {
    const struct {
        const char* what;
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"a lone lead byte at the end", "ab\x81", u"ab\xFFFD"},
        {"a lead byte before a space", "ab\x81 cd", u"ab\xFFFD cd"},
        {"a lead byte before DEL, which is no trail byte", "\x81\x7F", u"\xFFFD\x7F"},
        {"0xFF",
         "a\xFF"
         "b",
         u"a\xFFFD"
         u"b"},
        {"four-byte code past U+FFFF and below the supplementary ones", "\x84\x31\xA5\x30",
         u"\xFFFD"
         u"1\xFFFD"
         u"0"},
        {"four-byte code past U+10FFFF", "\xE3\x32\x9A\x36",
         u"\xFFFD"
         u"2\xFFFD"
         u"6"},
        {"four-byte code cut short", "\x81\x30\x81",
         u"\xFFFD"
         u"0\xFFFD"},
        {"half a four-byte code before a character", "\x81\x30\xD6\xD0",
         u"\xFFFD"
         u"0中"},
        {"third byte no lead byte", "\x81\x30\x20\x30",
         u"\xFFFD"
         u"0 0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf16FromGb18030(c.bytes), c.text) << c.what;
    }
}

TEST(Gb18030, LoneSurrogatesAloneBecomeQuestionMarks) {
    const struct {
        std::u16string text;
        std::string bytes;
    } cases[] = {
        {u"a\xD83D", "a?"},
        {u"\xDE00z", "?z"},
        {u"\xD83D\xD83D\xDE00", "?\x94\x39\xFC\x36"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(Gb18030FromUtf16(c.text)), Hex(c.bytes));
    }
}

TEST(Gb18030, EveryCharacterAndEveryTwoByteCodeComesBack) {
    std::u16string all;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        if (cp < 0x10000) {
            all.push_back(static_cast<char16_t>(cp));
        } else {
            all.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            all.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        }
    }
    const std::string bytes = Gb18030FromUtf16(all);
    EXPECT_EQ(bytes.find('\xFF'), std::string::npos) << "0xFF is the settings file's key";
    const std::u16string back = Utf16FromGb18030(bytes);
    ASSERT_EQ(back.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        ASSERT_EQ(back[i], all[i]) << "at unit " << i;
    }

    // GBK text read from a file saves unchanged: each code reads as one character written the same.
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
            const std::u16string text = Utf16FromGb18030(code);
            ASSERT_EQ(text.size(), 1u) << Hex(code);
            ASSERT_NE(text[0], u'\xFFFD') << Hex(code);
            ASSERT_EQ(Hex(Gb18030FromUtf16(text)), Hex(code));
        }
    }
}

} // namespace
