// The build must turn UTF-8 source literals into GBK bytes: every user-visible text depends on it.
#include <gtest/gtest.h>

#include <string>

#include "version.h"

TEST(GbkLiterals, ChineseLiteralsCompileToGbkBytes) {
    struct Case {
        std::string literal;
        std::string bytes;
    } cases[] = {
        {"俺的第一篇日记..", "\xB0\xB3\xB5\xC4\xB5\xDA\xD2\xBB\xC6\xAA\xC8\xD5\xBC\xC7\x2E\x2E"},
        {"时间 %H:%M", "\xCA\xB1\xBC\xE4\x20\x25\x48\x3A\x25\x4D"},
        {"关闭", "\xB9\xD8\xB1\xD5"},
        // Characters whose GBK and GB18030 bytes could differ in the two-byte range.
        {"·—…〇", "\xA1\xA4\xA1\xAA\xA1\xAD\xA9\x96"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.literal, c.bytes);
}

TEST(GbkLiterals, TheAboutBoxCaptionIsAsciiOnAnyCodePage) {
    for (const char c : std::string(QUILL_PRODUCT_LINE))
        EXPECT_LT(static_cast<unsigned char>(c), 0x80) << QUILL_PRODUCT_LINE;
}
