# The safety folder: copies of both data files, dated copies, crash journals and recovery at start.
list(APPEND QUILL_CORE_SOURCES src/diary/safety_store.cpp)
list(APPEND QUILL_WIN_SOURCES src/diary/safety_win.cpp)
