// Text at the Win32 boundary: the notes' bytes inside the program (GBK exactly as code page 936 has
// it, GB18030 for every other character), UTF-16 for the W APIs.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace ui {

// Bytes to UTF-16. Each byte that starts no valid code becomes U+FFFD rather than failing the whole text.
std::wstring Wide(std::string_view gbk);
// UTF-16 to bytes; Wide gives it back exactly. Only a lone surrogate becomes '?'.
std::string Narrow(std::wstring_view wide);

// The whole text of a window or control, as GBK bytes.
std::string WindowTextGbk(HWND window);

} // namespace ui
