# Diary glue: the notes file at set-up and close, day selection and bold days.
list(APPEND QUILL_WIN_SOURCES src/diary/day_selection.cpp src/diary/notes_io.cpp)
