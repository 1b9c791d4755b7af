// Text conversions of the driver, through the system's converters for code pages 65001 and 936.
#include "driver/text.h"

#include <windows.h>

#include <algorithm>

namespace driver {

namespace {

std::string Narrow(std::wstring_view text, UINT codePage) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(0, n)), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring Wide(std::string_view text, UINT codePage) {
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(0, n)), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

} // namespace

std::string Utf8(std::wstring_view text) {
    return Narrow(text, CP_UTF8);
}

std::wstring Widen(std::string_view utf8) {
    return Wide(utf8, CP_UTF8);
}

std::string ToGbk(std::wstring_view text) {
    return Narrow(text, 936);
}

std::wstring FromGbk(std::string_view gbk) {
    return Wide(gbk, 936);
}

} // namespace driver
