// Reads the desktop rectangle for the placement maths.
#include "interaction/placement_glue.h"

quill::ScreenRect DesktopRect() {
    RECT rc{};
    ::GetWindowRect(::GetDesktopWindow(), &rc);
    return ToScreenRect(rc);
}
