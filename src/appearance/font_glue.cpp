// LOGFONT conversion at the boundary: the face name is GBK inside, UTF-16 for GDI and the font dialog.
#include "appearance/font_glue.h"

#include <cwchar>

#include "ui/handle.h"
#include "ui/text.h"

LOGFONTW ToLogFontW(const LogFontData& font) {
    LOGFONTW lf{};
    lf.lfHeight = font.lfHeight;
    lf.lfWidth = font.lfWidth;
    lf.lfEscapement = font.lfEscapement;
    lf.lfOrientation = font.lfOrientation;
    lf.lfWeight = font.lfWeight;
    lf.lfItalic = font.lfItalic;
    lf.lfUnderline = font.lfUnderline;
    lf.lfStrikeOut = font.lfStrikeOut;
    lf.lfCharSet = font.lfCharSet;
    lf.lfOutPrecision = font.lfOutPrecision;
    lf.lfClipPrecision = font.lfClipPrecision;
    lf.lfQuality = font.lfQuality;
    lf.lfPitchAndFamily = font.lfPitchAndFamily;
    const std::wstring face = ui::Wide(FaceName(font));
    wcsncpy_s(lf.lfFaceName, LF_FACESIZE, face.c_str(), _TRUNCATE);
    return lf;
}

LogFontData FromLogFontW(const LOGFONTW& lf) {
    LogFontData font;
    font.lfHeight = lf.lfHeight;
    font.lfWidth = lf.lfWidth;
    font.lfEscapement = lf.lfEscapement;
    font.lfOrientation = lf.lfOrientation;
    font.lfWeight = lf.lfWeight;
    font.lfItalic = lf.lfItalic;
    font.lfUnderline = lf.lfUnderline;
    font.lfStrikeOut = lf.lfStrikeOut;
    font.lfCharSet = lf.lfCharSet;
    font.lfOutPrecision = lf.lfOutPrecision;
    font.lfClipPrecision = lf.lfClipPrecision;
    font.lfQuality = lf.lfQuality;
    font.lfPitchAndFamily = lf.lfPitchAndFamily;
    SetFaceName(font, ui::Narrow(std::wstring_view(lf.lfFaceName, wcsnlen(lf.lfFaceName, LF_FACESIZE))));
    return font;
}

std::vector<std::string> InstalledFacesNamed(std::string_view face) {
    std::vector<std::string> found;
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    const std::wstring wide = ui::Wide(face);
    if (wide.empty() || wide.size() >= LF_FACESIZE)
        return found;
    wcsncpy_s(query.lfFaceName, LF_FACESIZE, wide.c_str(), _TRUNCATE);
    HDC screen = ::GetDC(nullptr);
    if (!screen)
        return found;
    ::EnumFontFamiliesExW(
        screen, &query,
        [](const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM param) -> int {
            auto* out = reinterpret_cast<std::vector<std::string>*>(param);
            out->push_back(
                ui::Narrow(std::wstring_view(lf->lfFaceName, wcsnlen(lf->lfFaceName, LF_FACESIZE))));
            return 1;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ::ReleaseDC(nullptr, screen);
    return found;
}

std::string MappedFace(const LOGFONTW& lf) {
    std::string face;
    HDC screen = ::GetDC(nullptr);
    if (!screen)
        return face;
    if (HFONT font = ::CreateFontIndirectW(&lf)) {
        wchar_t name[LF_FACESIZE] = {};
        {
            ui::SelectGuard select(screen, font);
            if (::GetTextFaceW(screen, LF_FACESIZE, name) > 0)
                face = ui::Narrow(name);
        }
        ::DeleteObject(font);
    }
    ::ReleaseDC(nullptr, screen);
    return face;
}
