// Text between the notes' bytes (GB18030 that keeps GBK) and the UTF-8 the command-line tool reads
// and writes, and the hexadecimal that carries bytes no text can. Shared by the notes tool and the
// sync, which both carry notes as UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace text_codec {

// A lone surrogate, which no UTF-8 can hold, becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);
// Strict: an overlong form, an encoded surrogate, a code above U+10FFFF or a cut sequence stops the
// conversion, and *badOffset (when given) says at which byte.
std::optional<std::u16string> Utf16FromUtf8(std::string_view text, std::size_t* badOffset = nullptr);

// The notes' bytes as the window shows them: a byte that starts no valid code is one U+FFFD.
std::string Utf8FromNotes(std::string_view bytes);
// UTF-8 to the notes' bytes; nullopt (and *badOffset) where the text is no UTF-8.
std::optional<std::string> NotesFromUtf8(std::string_view text, std::size_t* badOffset = nullptr);
// True when the bytes are text: shown and typed back, they are the same bytes. False for bytes
// that are no valid code, whose original can then only travel as hexadecimal.
bool IsFaithfulText(std::string_view bytes);

// Two lower-case digits a byte, nothing between them.
std::string HexOf(std::string_view bytes);
// Either case; nullopt for an odd length or a character that is no hexadecimal digit.
std::optional<std::string> BytesOfHex(std::string_view hex);

} // namespace text_codec
