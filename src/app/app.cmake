list(APPEND QUILL_WIN_SOURCES src/app/calendar_app.cpp src/app/calendar_dlg.cpp src/app/pending_steps.cpp)
