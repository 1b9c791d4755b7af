// The program's icons, loaded at the sizes they are shown at.
#include "app/window_icons.h"

#include "res/resource.h"
#include "ui/dpi.h"

void WindowIcons::Load(HWND window, int dpi) {
    auto load = [](int width, int height) {
        return ui::Icon(
            static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                            IMAGE_ICON, width, height, LR_DEFAULTCOLOR)));
    };
    // Replaced only once the new ones are set: the window must never point at an icon destroyed.
    ui::Icon big = load(ui::SystemMetricForDpi(SM_CXICON, dpi), ui::SystemMetricForDpi(SM_CYICON, dpi));
    ui::Icon small = load(ui::SystemMetricForDpi(SM_CXSMICON, dpi), ui::SystemMetricForDpi(SM_CYSMICON, dpi));
    ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    m_big = std::move(big);
    m_small = std::move(small);
    if (!m_tray)
        m_tray = load(::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON));
}
