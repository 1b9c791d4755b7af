list(APPEND QUILL_WIN_SOURCES src/app/calendar_app.cpp src/app/calendar_dlg.cpp src/app/pending_steps.cpp
     src/app/single_instance.cpp)
# The names that keep one copy per user and temporary folder.
list(APPEND QUILL_CORE_SOURCES src/app/instance_name.cpp)
