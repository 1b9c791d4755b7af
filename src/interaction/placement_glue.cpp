// Reads the primary monitor and the list of monitors for the placement maths.
#include "interaction/placement_glue.h"

quill::ScreenRect DesktopRect() {
    RECT rc{};
    ::GetWindowRect(::GetDesktopWindow(), &rc);
    return ToScreenRect(rc);
}

std::vector<quill::ScreenRect> MonitorRects() {
    std::vector<quill::ScreenRect> monitors;
    ::EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR, HDC, RECT* bounds, LPARAM param) -> BOOL {
            reinterpret_cast<std::vector<quill::ScreenRect>*>(param)->push_back(ToScreenRect(*bounds));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

quill::ScreenPoint PlacementFor(HWND window, quill::ScreenPoint stored) {
    RECT rc{};
    ::GetWindowRect(window, &rc);
    return quill::PlaceOnMonitors(MonitorRects(), DesktopRect(), stored, ToScreenRect(rc));
}
