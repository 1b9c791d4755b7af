# The diary: notes list, notes file, archive encoding, date keys, bold days and the file layer.
list(APPEND QUILL_CORE_SOURCES
     src/diary/archive.cpp
     src/diary/date_key.cpp
     src/diary/day_state.cpp
     src/diary/fake_file_system.cpp
     src/diary/file_store.cpp
     src/diary/gb18030.cpp
     src/diary/gb18030_table.cpp
     src/diary/note_map.cpp
     src/diary/notes_file.cpp)
list(APPEND QUILL_WIN_SOURCES src/diary/win_file_system.cpp)
