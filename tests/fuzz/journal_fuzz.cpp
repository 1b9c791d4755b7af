// The journal of edits and the safety folder's manifest, read from bytes a crash, a sync client or
// a hostile hand may have left: reading never goes outside the bytes, and applying what was read to a
// diary never loses what the diary held.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "safety/edit_journal.h"
#include "safety/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const JournalFile journal = DecodeJournal(bytes);
    if (journal.readUpTo > bytes.size())
        __builtin_trap();
    NoteMap notes;
    notes.SetNote("010126", "held before");
    notes.SetNote("020126", "also held");
    ApplyJournals({journal, journal}, notes, 0);
    // A day the journal holds no edit of keeps its text.
    for (const char* key : {"010126", "020126"}) {
        bool touched = false;
        for (const JournalRecord& record : journal.records)
            touched = touched || record.key == key;
        if (!touched && notes.GetNote(key) != (key[1] == '1' ? "held before" : "also held"))
            __builtin_trap();
    }
    (void)DecodeManifest(bytes);
    return 0;
}
