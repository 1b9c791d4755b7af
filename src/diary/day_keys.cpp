// The day keys taken from a control before its own key handling, and sent to the window.
#include "diary/day_keys.h"

#include <commctrl.h>

#include <optional>

#include "diary/day_move.h"
#include "ui/common_controls.h"

namespace {

constexpr UINT_PTR kSubclassId = 0x4459; // one subclass of this kind per control

std::optional<quill::DayMove> MoveOf(WPARAM vk) {
    return quill::DayMoveOfKey(static_cast<unsigned>(vk), ::GetKeyState(VK_CONTROL) < 0,
                               ::GetKeyState(VK_SHIFT) < 0, ::GetKeyState(VK_MENU) < 0);
}

LRESULT CALLBACK DayKeysProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (msg) {
    case WM_NCDESTROY:
        ui::RemoveWindowSubclass(hwnd, &DayKeysProc, kSubclassId);
        break;
    case WM_GETDLGCODE: {
        // The dialog manager would take an arrow the month calendar does not ask for to move the
        // focus in its group.
        const LRESULT code = ui::DefSubclassProc(hwnd, msg, wParam, lParam);
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        if (key && key->message == WM_KEYDOWN && MoveOf(key->wParam))
            return code | DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        if (const std::optional<quill::DayMove> move = MoveOf(wParam)) {
            ::SendMessageW(::GetParent(hwnd), WM_DAY_MOVE, move->toToday ? 1 : 0,
                           static_cast<LPARAM>(move->days));
            return 0;
        }
        break;
    default:
        break;
    }
    return ui::DefSubclassProc(hwnd, msg, wParam, lParam);
}

} // namespace

void AttachDayKeys(HWND control) {
    if (control)
        ui::SetWindowSubclass(control, &DayKeysProc, kSubclassId, 0);
}
