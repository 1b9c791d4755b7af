// Dialog units to pixels, asked of the dialog manager itself.
#include "driver/dialog_units.h"

#include <cstring>
#include <vector>

#include "driver/report.h"
#include "driver/text.h"

namespace driver {

namespace {

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// A dialog that exists only long enough to ask the dialog manager for its base units.
RECT MapWithFont(RECT r, const DialogFont& font) {
    std::vector<BYTE> t;
    auto put = [&](const void* p, std::size_t n) {
        const std::size_t at = t.size();
        t.resize(at + n);
        std::memcpy(t.data() + at, p, n);
    };
    auto word = [&](WORD v) { put(&v, sizeof v); };
    auto dword = [&](DWORD v) { put(&v, sizeof v); };
    word(1);      // DLGTEMPLATEEX version
    word(0xFFFF); // its signature
    dword(0);     // help id
    dword(0);     // extended style
    dword(WS_POPUP | DS_SETFONT);
    word(0); // no controls
    for (int i = 0; i < 4; ++i)
        word(0); // x, y, cx, cy: irrelevant to the mapping
    word(0);     // no menu
    word(0);     // default class
    word(0);     // no title
    word(font.pointSize);
    word(font.weight);
    t.push_back(0); // not italic
    t.push_back(font.charset);
    put(font.face.c_str(), (font.face.size() + 1) * sizeof(wchar_t));

    std::vector<DWORD> aligned((t.size() + 3) / 4);
    std::memcpy(aligned.data(), t.data(), t.size());
    HWND dlg = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                          reinterpret_cast<LPCDLGTEMPLATEW>(aligned.data()), nullptr,
                                          &InertDialogProc, 0);
    if (!dlg) {
        ReportFailure("cannot create a dialog with font " + Utf8(font.face) + " (error " +
                      std::to_string(GetLastError()) + ")");
        return r;
    }
    MapDialogRect(dlg, &r);
    DestroyWindow(dlg);
    return r;
}

} // namespace

RECT DialogUnitsToPixels(int x, int y, int cx, int cy, const DialogFont& font) {
    RECT m = MapWithFont(RECT{x, y, cx, cy}, font);
    return RECT{m.left, m.top, m.left + m.right, m.top + m.bottom};
}

SIZE DialogSizeToPixels(int cx, int cy, const DialogFont& font) {
    RECT m = MapWithFont(RECT{0, 0, cx, cy}, font);
    return SIZE{m.right, m.bottom};
}

} // namespace driver
