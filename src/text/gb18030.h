// The notes' text encoding: GB18030 in the form that keeps code page 936 (GBK) byte for byte.
// Every character GBK holds keeps exactly the bytes the system's code page 936 gives it, so notes
// written before and text from other GBK programs read and save unchanged; every other character
// (emoji, Hangul, the rarer hanzi) takes its GB18030 code instead of turning into '?'. Written here
// rather than asked of the system: Wine has no code page 54936, and this costs no call per character.
#pragma once

#include <cwchar>
#include <string>
#include <string_view>

// Bytes to UTF-16. A byte that starts no valid code becomes one U+FFFD and reading goes on at the
// next byte, so damage never takes the character after it along.
std::u16string Utf16FromGb18030(std::string_view bytes);
// UTF-16 to bytes; Utf16FromGb18030 gives the text back exactly. Only a lone surrogate, which is no
// character, becomes '?'.
std::string Gb18030FromUtf16(std::u16string_view text);

#if WCHAR_MAX == 0xFFFF
// The same for wchar_t where it is a UTF-16 unit (Windows), without a copy at the W APIs.
std::wstring WideFromGb18030(std::string_view bytes);
std::string Gb18030FromWide(std::wstring_view text);
#endif
