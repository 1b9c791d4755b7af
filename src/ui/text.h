// Text at the Win32 boundary: GBK bytes inside the program, UTF-16 for the W APIs, always code page 936.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace ui {

constexpr unsigned kGbkCodePage = 936;

// GBK bytes to UTF-16. Invalid sequences become U+FFFD rather than failing the whole text.
std::wstring Wide(std::string_view gbk);
// UTF-16 to GBK bytes. Characters GBK cannot hold become '?'.
std::string Narrow(std::wstring_view wide);

// The whole text of a window or control, as GBK bytes.
std::string WindowTextGbk(HWND window);

} // namespace ui
