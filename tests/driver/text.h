// Text between the driver's UTF-8 messages, the UTF-16 of the W APIs and the GBK bytes the program
// keeps, each conversion naming its code page.
#pragma once

#include <string>
#include <string_view>

namespace driver {

std::string Utf8(std::wstring_view text);
std::wstring Widen(std::string_view utf8);
std::string ToGbk(std::wstring_view text);
std::wstring FromGbk(std::string_view gbk);

} // namespace driver
