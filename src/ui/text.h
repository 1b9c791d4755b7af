// Text at the Win32 boundary: the notes' bytes inside the program (GBK exactly as code page 936 has
// it, GB18030 for every other character), UTF-16 for the W APIs.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "text/text_codec.h"

namespace ui {

// Bytes to UTF-16. Each byte that starts no valid code becomes U+FFFD rather than failing the whole text.
std::wstring Wide(std::string_view gbk);
// UTF-16 to bytes; Wide gives it back exactly. Only a lone surrogate becomes '?'.
std::string Narrow(std::wstring_view wide);

// UTF-8 (the sync's addresses, headers and account names) to UTF-16; empty for bytes that are not
// UTF-8. Inline, so the sync's Windows half uses it without linking the window layer.
inline std::wstring WideFromUtf8(std::string_view utf8) {
    const auto text = text_codec::Utf16FromUtf8(utf8);
    return text ? std::wstring(reinterpret_cast<const wchar_t*>(text->data()), text->size()) : std::wstring();
}

// The whole text of a window or control, as GBK bytes.
std::string WindowTextGbk(HWND window);

} // namespace ui
