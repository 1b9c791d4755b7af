// The settings record's defaults and the settings file byte for byte, damaged or whole.
#include <gtest/gtest.h>

#include <cstring>

#include "appearance/settings_file.h"
#include "test_bytes.h"

namespace {

using namespace std::string_literals;

CalendarSettings Defaults(int x, int y) {
    CalendarSettings settings;
    settings.m_nCornerRadius = kDefaultCornerRadius;
    FillDefaultSettings(settings);
    settings.m_nPosX = x;
    settings.m_nPosY = y;
    return settings;
}

CalendarSettings Odd() {
    CalendarSettings s;
    s.m_nCornerStyle = 7;
    s.m_nColorScheme = -3;
    s.m_nGradient = 0x7FFFFFFF;
    s.m_nTimeFormat = 46;
    s.m_nCornerRadius = -1;
    s.m_nPosX = -1920;
    s.m_nPosY = INT32_MIN;
    s.m_lfFont.lfHeight = 72;
    s.m_lfFont.lfItalic = 1;
    s.m_lfFont.lfUnderline = 255;
    s.m_lfFont.lfWeight = 900;
    SetFaceName(s.m_lfFont, "\xCB\xCE\xCC\xE5 Extra Long Face Name 1234567"); // 31 bytes
    s.m_strCustomFormat = "%Y\xC4\xEA%m\xD4\xC2%d\xC8\xD5 %H:%M:%S = \"%p\"\t" + std::string(300, '#');
    return s;
}

TEST(CalendarSettings, DefaultsAndTheBaseFont) {
    const LogFontData base = BaseLogFont();
    LogFontData expected;
    expected.lfHeight = -11;
    std::memcpy(expected.lfFaceName, "Tahoma", 7);
    EXPECT_EQ(base, expected);

    CalendarSettings settings = Odd();
    settings.m_lfFont.lfCharSet = 134;
    settings.m_lfFont.lfStrikeOut = 1;
    FillDefaultSettings(settings);
    EXPECT_EQ(settings.m_nCornerStyle, 0);
    EXPECT_EQ(settings.m_nColorScheme, 0);
    EXPECT_EQ(settings.m_nGradient, 0);
    EXPECT_EQ(settings.m_nTimeFormat, 43);
    EXPECT_EQ(settings.m_nCornerRadius, -1) << "left as it stood";
    EXPECT_EQ(settings.m_nPosX, -1920) << "the window centres itself";
    expected.lfHeight = -16;
    expected.lfWeight = 600;
    std::memcpy(expected.lfFaceName, "Bradley Hand ITC", 17);
    EXPECT_EQ(settings.m_lfFont, expected);
    EXPECT_EQ(settings.m_strCustomFormat, "\xCA\xB1\xBC\xE4 %H:%M");
}

TEST(ShiftString, ShiftsEveryByteBothWays) {
    EXPECT_EQ(ShiftString("\x00\x01\x7F\xFF"s, true, 0x01), "\xFF\x00\x7E\xFE"s);
    EXPECT_EQ(ShiftString("\x00\x01\x7F\xFF"s, false, 0x01), "\x01\x02\x80\x00"s);
    EXPECT_EQ(ShiftString("Tahoma", true, kFileKey), "Ubipnb");
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    for (const int key : {0, 1, 0x80, 0xFF}) {
        EXPECT_EQ(ShiftString(ShiftString(all, true, key), false, key), all);
    }
}

// The record of tools/make_settings_sample.py's file: no two fields alike and none zero, so a field
// written or read at another's place changes the bytes, even between fields of the same size. The
// font fields the file does not carry are left at zero, as the base font has them.
const CalendarSettings kEveryFieldDistinct = {
    .m_nCornerStyle = 1,
    .m_nColorScheme = 4,
    .m_nGradient = 2,
    .m_nTimeFormat = 45,
    .m_nCornerRadius = 9,
    .m_nPosX = 321,
    .m_nPosY = -57,
    .m_lfFont = {.lfHeight = -19, .lfWeight = 700, .lfItalic = 1, .lfUnderline = 2, .lfFaceName = "SimHei"},
    .m_strCustomFormat = "%Y-%m-%d",
};

TEST(SettingsFile, GoldenFilesByteForByte) {
    const struct {
        const char* file;
        std::size_t size;
        CalendarSettings settings;
    } cases[] = {
        {"qlw_defaults_400_300.bin", 66, Defaults(400, 300)},
        {"qlw_every_field_distinct.bin", 54, kEveryFieldDistinct},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string golden = ReadData(c.file);
        ASSERT_EQ(golden.size(), c.size);
        EXPECT_EQ(Hex(EncodeSettings(c.settings, kFileKey)), Hex(golden));

        CalendarSettings back = Odd();
        ASSERT_TRUE(DecodeSettings(golden, back, kFileKey));
        EXPECT_EQ(back, c.settings);
    }
}

TEST(SettingsFile, RoundTripOfEveryStoredField) {
    CalendarSettings odd = Odd();
    const std::string bytes = EncodeSettings(odd, kFileKey);
    CalendarSettings back;
    back.m_lfFont.lfCharSet = 134;
    back.m_lfFont.lfQuality = 5;
    ASSERT_TRUE(DecodeSettings(bytes, back, kFileKey));
    EXPECT_EQ(back, odd);

    // The fields the file does not carry come back as the base font's.
    odd.m_lfFont.lfWidth = 9;
    odd.m_lfFont.lfStrikeOut = 1;
    odd.m_lfFont.lfCharSet = 134;
    odd.m_lfFont.lfQuality = 4;
    ASSERT_TRUE(DecodeSettings(EncodeSettings(odd, kFileKey), back, kFileKey));
    EXPECT_EQ(back, Odd());
}

TEST(SettingsFile, FaceNamesOfEveryLengthAndByte) {
    const struct {
        std::string written;
        std::uint8_t key;
        std::string read;
    } cases[] = {
        {"", kFileKey, ""},
        {std::string(31, 'F'), kFileKey, std::string(31, 'F')},
        {"\x81\x40\xFE\xFE\xA1\xA1", kFileKey, "\x81\x40\xFE\xFE\xA1\xA1"},
        // With another key, a name byte equal to it is stored as zero and cuts the name.
        {"Ab@cd", '@', "Ab"},
    };
    for (const auto& c : cases) {
        CalendarSettings settings;
        SetFaceName(settings.m_lfFont, c.written);
        CalendarSettings back;
        ASSERT_TRUE(DecodeSettings(EncodeSettings(settings, c.key), back, c.key));
        EXPECT_EQ(FaceName(back.m_lfFont), c.read) << c.written;
    }

    // Stored names of 32 bytes and more come back as their first 31.
    for (const std::size_t length : {32u, 33u, 255u, 1000u}) {
        ArchiveWriter writer;
        for (int i = 0; i < 7; ++i) {
            writer.WriteInt32(i);
        }
        writer.WriteInt32(-16);
        writer.WriteByte(0);
        writer.WriteByte(0);
        writer.WriteInt32(400);
        std::string name(length, 'n');
        name[30] = 'L';
        writer.WriteString(ShiftString(name, true, kFileKey));
        writer.WriteString("fmt");
        CalendarSettings back;
        ASSERT_TRUE(DecodeSettings(writer.Bytes(), back, kFileKey)) << length;
        EXPECT_EQ(FaceName(back.m_lfFont), std::string(30, 'n') + "L") << length;
        EXPECT_EQ(back.m_lfFont.lfFaceName[31], '\0');
        EXPECT_EQ(back.m_strCustomFormat, "fmt");
    }
}

TEST(SettingsFile, ACutFileFailsAndKeepsWhatWasReadBeforeTheCut) {
    const CalendarSettings odd = Odd();
    const std::string bytes = EncodeSettings(odd, kFileKey);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        CalendarSettings settings = Defaults(1, 2);
        ASSERT_FALSE(DecodeSettings(std::string_view(bytes).substr(0, cut), settings, kFileKey)) << cut;
        EXPECT_EQ(settings.m_nCornerRadius, cut >= 12 ? odd.m_nCornerRadius : kDefaultCornerRadius) << cut;
        EXPECT_EQ(settings.m_nColorScheme, cut >= 4 ? odd.m_nColorScheme : 0) << cut;
        EXPECT_EQ(settings.m_nPosY, cut >= 28 ? odd.m_nPosY : 2) << cut;
        EXPECT_EQ(FaceName(settings.m_lfFont), "Tahoma") << "the face name is stored last: " << cut;

        // What the window does next: the defaults over everything but the radius.
        FillDefaultSettings(settings);
        CalendarSettings expected = Defaults(settings.m_nPosX, settings.m_nPosY);
        expected.m_nCornerRadius = cut >= 12 ? odd.m_nCornerRadius : kDefaultCornerRadius;
        EXPECT_EQ(settings, expected) << cut;
    }
    CalendarSettings settings;
    EXPECT_TRUE(DecodeSettings(bytes + "trailing", settings, kFileKey));
    EXPECT_EQ(settings, odd);
}

TEST(SettingsFile, WideCustomPattern) {
    std::string bytes = ReadData("qlw_defaults_400_300.bin");
    bytes.resize(bytes.size() - 11);
    bytes += "\xFF\xFE\xFF\x03%\x00H\x00\xF6\x65"s; // "%H" and U+65F6
    CalendarSettings settings;
    ASSERT_TRUE(DecodeSettings(bytes, settings, kFileKey, [](std::u16string_view wide) {
        return wide == u"%H时" ? "%H\xCA\xB1"s : "?"s;
    }));
    EXPECT_EQ(settings.m_strCustomFormat, "%H\xCA\xB1");
}

} // namespace
