// The settings file "qlw.ini".
#include "appearance/settings_file.h"

std::string ShiftString(std::string_view text, bool subtract, std::uint8_t key) {
    std::string shifted(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(text[i]);
        shifted[i] = static_cast<char>(static_cast<std::uint8_t>(subtract ? byte - key : byte + key));
    }
    return shifted;
}

std::string EncodeSettings(const CalendarSettings& settings, std::uint8_t key) {
    ArchiveWriter writer;
    writer.WriteInt32(settings.m_nColorScheme);
    writer.WriteInt32(settings.m_nCornerStyle);
    writer.WriteInt32(settings.m_nCornerRadius);
    writer.WriteInt32(settings.m_nGradient);
    writer.WriteInt32(settings.m_nTimeFormat);
    writer.WriteInt32(settings.m_nPosX);
    writer.WriteInt32(settings.m_nPosY);
    writer.WriteInt32(settings.m_lfFont.lfHeight);
    writer.WriteByte(settings.m_lfFont.lfItalic);
    writer.WriteByte(settings.m_lfFont.lfUnderline);
    writer.WriteInt32(settings.m_lfFont.lfWeight);
    writer.WriteString(ShiftString(FaceName(settings.m_lfFont), true, key));
    writer.WriteString(settings.m_strCustomFormat);
    return writer.Take();
}

bool DecodeSettings(std::string_view bytes, CalendarSettings& settings, std::uint8_t key,
                    const WideToNarrow& toNarrow) {
    settings.m_lfFont = BaseLogFont();
    ArchiveReader reader(bytes, toNarrow);
    std::string face;
    std::string customFormat;
    const bool ok = reader.ReadInt32(settings.m_nColorScheme) && reader.ReadInt32(settings.m_nCornerStyle) &&
                    reader.ReadInt32(settings.m_nCornerRadius) && reader.ReadInt32(settings.m_nGradient) &&
                    reader.ReadInt32(settings.m_nTimeFormat) && reader.ReadInt32(settings.m_nPosX) &&
                    reader.ReadInt32(settings.m_nPosY) && reader.ReadInt32(settings.m_lfFont.lfHeight) &&
                    reader.ReadByte(settings.m_lfFont.lfItalic) &&
                    reader.ReadByte(settings.m_lfFont.lfUnderline) &&
                    reader.ReadInt32(settings.m_lfFont.lfWeight) && reader.ReadString(face) &&
                    reader.ReadString(customFormat);
    if (!ok) {
        return false;
    }
    settings.m_strCustomFormat = std::move(customFormat);
    SetFaceName(settings.m_lfFont, ShiftString(face, false, key));
    return true;
}
