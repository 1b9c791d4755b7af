// Process entry: one application object, no command line, no message loop of its own.
#include <windows.h>

#include "app/calendar_app.h"
#include "ui/dll_search.h"

namespace {
CCalendarApp theApp;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a DLL: the folder the program was unpacked to is no place to take one from.
    ui::RestrictDllSearch();
    theApp.InitInstance();
    return 0;
}
