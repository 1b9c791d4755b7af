list(APPEND QUILL_WIN_SOURCES src/ui/text.cpp src/ui/dialog.cpp)
