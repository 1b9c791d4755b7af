// Dialog units to pixels, as the dialog manager maps them for a given font, so expected sizes come
// from a template's numbers and the font actually in use, never from fixed pixel counts.
#pragma once

#include <windows.h>

#include <string>

namespace driver {

struct DialogFont {
    std::wstring face = L"宋体";
    WORD pointSize = 9;
    WORD weight = FW_NORMAL;
    BYTE charset = DEFAULT_CHARSET;
};

// Where the dialog manager puts a control given at x,y with size cx by cy dialog units, in a dialog
// with this font: position and size are mapped separately, as the dialog manager does.
RECT DialogUnitsToPixels(int x, int y, int cx, int cy, const DialogFont& font = {});
// The pixel size of a dialog of cx by cy dialog units with this font.
SIZE DialogSizeToPixels(int cx, int cy, const DialogFont& font = {});

} // namespace driver
