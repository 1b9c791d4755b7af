// The tool's names for the shared text conversions (text/text_codec.h).
#pragma once

#include "text/text_codec.h"

namespace notes_tool {
using text_codec::BytesOfHex;
using text_codec::HexOf;
using text_codec::IsFaithfulText;
using text_codec::NotesFromUtf8;
using text_codec::Utf16FromUtf8;
using text_codec::Utf8FromNotes;
using text_codec::Utf8FromUtf16;
} // namespace notes_tool
