// Process entry: one application object, no command line, no message loop of its own.
#include <windows.h>

#include "app/calendar_app.h"

namespace {
CCalendarApp theApp;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    theApp.InitInstance();
    return 0;
}
