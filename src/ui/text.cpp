// Text at the W APIs: the notes' bytes (GBK as code page 936 has it, GB18030 beyond) to UTF-16 and
// back, converted by the program itself, so the window's text depends neither on the system's ANSI
// code page nor on which code pages the system carries.
#include "ui/text.h"

#include "text/gb18030.h"

namespace ui {

std::wstring Wide(std::string_view gbk) {
    return WideFromGb18030(gbk);
}

std::string Narrow(std::wstring_view wide) {
    return Gb18030FromWide(wide);
}

std::string WindowTextGbk(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return Narrow(text);
}

} // namespace ui
