// Reads the desktop rectangle for the placement maths.
#include "interaction/placement_glue.h"

quill::ScreenRect DesktopRect() {
    RECT rc{};
    ::GetWindowRect(::GetDesktopWindow(), &rc);
    return ToScreenRect(rc);
}

quill::ScreenPoint PlacementFor(HWND window, quill::ScreenPoint stored) {
    RECT rc{};
    ::GetWindowRect(window, &rc);
    return quill::PlaceOnDesktop(DesktopRect(), stored, ToScreenRect(rc));
}
