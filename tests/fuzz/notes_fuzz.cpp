// libFuzzer harness for the notes file decoder: no input may crash it, and a list it accepts must
// survive encode and decode unchanged. The same bytes, read as text, must come back from the text
// converter unchanged once they are characters.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/gb18030.h"
#include "diary/notes_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string text = Utf16FromGb18030(bytes);
    if (Utf16FromGb18030(Gb18030FromUtf16(text)) != text) {
        std::abort();
    }
    NoteMap notes;
    if (!DecodeNotes(bytes, notes)) {
        return 0;
    }
    const std::string encoded = EncodeNotes(notes);
    NoteMap again;
    if (!DecodeNotes(encoded, again) || again.Entries() != notes.Entries() || EncodeNotes(again) != encoded) {
        std::abort();
    }
    // The index must agree with the list: the first entry of a key is the one looked up, and
    // filing a text leaves exactly one entry of the key, at the end.
    if (!notes.empty()) {
        const NoteEntry first = *notes.begin();
        if (notes.GetNote(first.m_strKey) != first.m_strText) {
            std::abort();
        }
        notes.SetNote(first.m_strKey, "x");
        std::size_t copies = 0;
        for (const NoteEntry& entry : notes) {
            copies += entry.m_strKey == first.m_strKey;
        }
        if (copies != 1 || notes.GetNote(first.m_strKey) != "x") {
            std::abort();
        }
    }
    return 0;
}
