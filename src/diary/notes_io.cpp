// Reading and writing "nts.ini" in the temporary folder through the atomic, nothing-lost file layer.
#include "app/calendar_dlg.h"
#include "diary/notes_file.h"
#include "diary/win_file_system.h"

bool CCalendarDlg::LoadNotes(NoteMap& notes) {
    notes.Clear();
    m_bNotesUnreadable = false;
    WinFileSystem fs;
    std::string bytes;
    const FileError error = LoadFile(fs, GetTempFilePath(L"nts.ini"), bytes);
    if (error != FileError::kNone) {
        // Absent is a first start; anything else is a diary we could not read and must not lose.
        m_bNotesUnreadable = error != FileError::kNotFound;
        return false;
    }
    if (!DecodeNotes(bytes, notes, NarrowFromUtf16)) {
        m_bNotesUnreadable = true;
        return false;
    }
    return true;
}

bool CCalendarDlg::SaveNotes(const NoteMap& notes) {
    WinFileSystem fs;
    const SaveResult result = SaveDataFile(fs, GetTempFilePath(L"nts.ini"), EncodeNotes(notes),
                                           m_bNotesUnreadable, LocalFileStamp());
    if (result.outcome == SaveOutcome::kSaved)
        m_bNotesUnreadable = false;
    return result.outcome == SaveOutcome::kSaved;
}
