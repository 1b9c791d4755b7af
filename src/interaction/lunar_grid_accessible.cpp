// The lunar grid's Active Accessibility object. oleacc.dll is no KnownDLL, so its two calls are taken
// from the system folder at run time, as the sync's libraries are.
#include "interaction/lunar_grid_accessible.h"

#include "interaction/month_grid.h"
#include "ui/dll_search.h"

namespace {

using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
using AccessibleObjectFromWindowFn = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);

HMODULE Oleacc() {
    static const HMODULE module = ui::LoadSystemDll(L"oleacc.dll");
    return module;
}

template <typename Fn> Fn OleaccCall(const char* name) {
    HMODULE module = Oleacc();
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

HRESULT Give(BSTR* out, const std::wstring& text) {
    if (!out)
        return E_POINTER;
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

void GiveLong(VARIANT* out, long value) {
    out->vt = VT_I4;
    out->lVal = value;
}

} // namespace

LunarGridAccessible::LunarGridAccessible(HWND grid, GridAccessSource* source)
    : m_grid(grid), m_source(source) {}

void LunarGridAccessible::Disconnect() {
    m_source = nullptr;
    m_grid = nullptr;
}

LRESULT LunarGridAccessible::Answer(WPARAM wParam) {
    const auto fromObject = OleaccCall<LresultFromObjectFn>("LresultFromObject");
    if (!fromObject)
        return 0;
    // A reader in another process gets the object marshalled, which needs an apartment on this thread;
    // the window's thread is one from the first request on.
    static const bool apartment = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    (void)apartment;
    const LRESULT result = fromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(this));
    return result < 0 ? 0 : result;
}

bool LunarGridAccessible::Which(const VARIANT& child, int& cell) const {
    if (!m_source || child.vt != VT_I4)
        return false;
    if (child.lVal == CHILDID_SELF) {
        cell = -1;
        return true;
    }
    if (child.lVal < 1 || child.lVal > m_source->CellCount())
        return false;
    cell = child.lVal - 1;
    return true;
}

HRESULT LunarGridAccessible::QueryInterface(REFIID riid, void** out) {
    if (!out)
        return E_POINTER;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible)) {
        *out = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG LunarGridAccessible::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&m_refs));
}

ULONG LunarGridAccessible::Release() {
    const LONG left = ::InterlockedDecrement(&m_refs);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT LunarGridAccessible::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT LunarGridAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT LunarGridAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT LunarGridAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

HRESULT LunarGridAccessible::get_accParent(IDispatch** parent) {
    if (!parent)
        return E_POINTER;
    *parent = nullptr;
    if (!m_source)
        return CO_E_OBJNOTCONNECTED;
    // The window around the client area, as the system describes it.
    const auto fromWindow = OleaccCall<AccessibleObjectFromWindowFn>("AccessibleObjectFromWindow");
    if (!fromWindow)
        return S_FALSE;
    return fromWindow(m_grid, static_cast<DWORD>(OBJID_WINDOW), __uuidof(IDispatch),
                      reinterpret_cast<void**>(parent));
}

HRESULT LunarGridAccessible::get_accChildCount(long* count) {
    if (!count)
        return E_POINTER;
    if (!m_source)
        return CO_E_OBJNOTCONNECTED;
    *count = m_source->CellCount();
    return S_OK;
}

HRESULT LunarGridAccessible::get_accChild(VARIANT child, IDispatch** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    int cell = -1;
    if (!Which(child, cell))
        return m_source ? E_INVALIDARG : CO_E_OBJNOTCONNECTED;
    // The days are simple elements, answered through their child ids.
    return S_FALSE;
}

HRESULT LunarGridAccessible::get_accName(VARIANT child, BSTR* name) {
    if (name)
        *name = nullptr;
    int cell = -1;
    if (!Which(child, cell))
        return m_source ? E_INVALIDARG : CO_E_OBJNOTCONNECTED;
    return Give(name, cell < 0 ? m_source->GridName() : m_source->CellName(cell));
}

HRESULT LunarGridAccessible::get_accValue(VARIANT, BSTR* value) {
    if (value)
        *value = nullptr;
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT LunarGridAccessible::get_accDescription(VARIANT, BSTR* text) {
    if (text)
        *text = nullptr;
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT LunarGridAccessible::get_accRole(VARIANT child, VARIANT* role) {
    if (!role)
        return E_POINTER;
    role->vt = VT_EMPTY;
    int cell = -1;
    if (!Which(child, cell))
        return m_source ? E_INVALIDARG : CO_E_OBJNOTCONNECTED;
    GiveLong(role, cell < 0 ? ROLE_SYSTEM_TABLE : ROLE_SYSTEM_CELL);
    return S_OK;
}

HRESULT LunarGridAccessible::get_accState(VARIANT child, VARIANT* state) {
    if (!state)
        return E_POINTER;
    state->vt = VT_EMPTY;
    int cell = -1;
    if (!Which(child, cell))
        return m_source ? E_INVALIDARG : CO_E_OBJNOTCONNECTED;
    long bits = STATE_SYSTEM_FOCUSABLE;
    const bool focused = m_source->GridHasFocus();
    if (cell < 0) {
        if (!::IsWindowVisible(m_grid))
            bits |= STATE_SYSTEM_INVISIBLE;
        if (focused)
            bits |= STATE_SYSTEM_FOCUSED;
    } else {
        bits |= STATE_SYSTEM_SELECTABLE;
        if (cell == m_source->SelectedCell())
            bits |= STATE_SYSTEM_SELECTED | (focused ? STATE_SYSTEM_FOCUSED : 0);
    }
    GiveLong(state, bits);
    return S_OK;
}

HRESULT LunarGridAccessible::get_accHelp(VARIANT, BSTR* help) {
    if (help)
        *help = nullptr;
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT LunarGridAccessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
    if (file)
        *file = nullptr;
    if (topic)
        *topic = 0;
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT LunarGridAccessible::get_accKeyboardShortcut(VARIANT, BSTR* keys) {
    if (keys)
        *keys = nullptr;
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT LunarGridAccessible::get_accFocus(VARIANT* child) {
    if (!child)
        return E_POINTER;
    child->vt = VT_EMPTY;
    if (!m_source)
        return CO_E_OBJNOTCONNECTED;
    if (!m_source->GridHasFocus())
        return S_FALSE;
    const int selected = m_source->SelectedCell();
    GiveLong(child, selected < 0 ? CHILDID_SELF : selected + 1);
    return S_OK;
}

HRESULT LunarGridAccessible::get_accSelection(VARIANT* children) {
    if (!children)
        return E_POINTER;
    children->vt = VT_EMPTY;
    if (!m_source)
        return CO_E_OBJNOTCONNECTED;
    const int selected = m_source->SelectedCell();
    if (selected < 0)
        return S_FALSE;
    GiveLong(children, selected + 1);
    return S_OK;
}

HRESULT LunarGridAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    if (action)
        *action = nullptr;
    int cell = -1;
    if (!Which(child, cell))
        return m_source ? E_INVALIDARG : CO_E_OBJNOTCONNECTED;
    if (cell < 0)
        return DISP_E_MEMBERNOTFOUND;
    return Give(action, L"\x9009\x62E9"); // 选择
}

HRESULT LunarGridAccessible::accSelect(long flags, VARIANT child) {
    int cell = -1;
    if (!Which(child, cell))
        return m_source ? E_INVALIDARG : CO_E_OBJNOTCONNECTED;
    // One day is always selected: adding or removing days has no meaning here.
    if (flags & (SELFLAG_ADDSELECTION | SELFLAG_REMOVESELECTION | SELFLAG_EXTENDSELECTION))
        return E_INVALIDARG;
    if (flags & SELFLAG_TAKEFOCUS)
        ::SetFocus(m_grid);
    if (cell >= 0 && (flags & SELFLAG_TAKESELECTION))
        m_source->SelectCell(cell);
    return S_OK;
}

HRESULT LunarGridAccessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
    if (!left || !top || !width || !height)
        return E_POINTER;
    *left = *top = *width = *height = 0;
    int cell = -1;
    if (!Which(child, cell))
        return m_source ? E_INVALIDARG : CO_E_OBJNOTCONNECTED;
    RECT r{};
    if (cell < 0)
        ::GetClientRect(m_grid, &r);
    else
        r = m_source->CellRect(cell);
    ::MapWindowPoints(m_grid, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    *left = r.left;
    *top = r.top;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
}

HRESULT LunarGridAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
    if (!end)
        return E_POINTER;
    end->vt = VT_EMPTY;
    int cell = -1;
    if (!Which(start, cell))
        return m_source ? E_INVALIDARG : CO_E_OBJNOTCONNECTED;
    const int count = m_source->CellCount();
    int to = -1;
    if (cell < 0) {
        if (direction == NAVDIR_FIRSTCHILD)
            to = 0;
        else if (direction == NAVDIR_LASTCHILD)
            to = count - 1;
        else
            return S_FALSE; // the grid's siblings are its window's to tell
    } else {
        switch (direction) {
        case NAVDIR_NEXT:
            to = cell + 1;
            break;
        case NAVDIR_PREVIOUS:
            to = cell - 1;
            break;
        // Left and right stay in the row, as the eye does; next and previous read on into the next.
        case NAVDIR_RIGHT:
            to = cell % quill::kGridColumns == quill::kGridColumns - 1 ? -1 : cell + 1;
            break;
        case NAVDIR_LEFT:
            to = cell % quill::kGridColumns == 0 ? -1 : cell - 1;
            break;
        case NAVDIR_DOWN:
            to = cell + quill::kGridColumns;
            break;
        case NAVDIR_UP:
            to = cell - quill::kGridColumns;
            break;
        default:
            return E_INVALIDARG;
        }
    }
    if (to < 0 || to >= count)
        return S_FALSE;
    GiveLong(end, to + 1);
    return S_OK;
}

HRESULT LunarGridAccessible::accHitTest(long x, long y, VARIANT* child) {
    if (!child)
        return E_POINTER;
    child->vt = VT_EMPTY;
    if (!m_source)
        return CO_E_OBJNOTCONNECTED;
    POINT at{x, y};
    ::ScreenToClient(m_grid, &at);
    RECT client{};
    ::GetClientRect(m_grid, &client);
    if (!::PtInRect(&client, at))
        return S_FALSE;
    for (int cell = 0; cell < m_source->CellCount(); ++cell) {
        const RECT r = m_source->CellRect(cell);
        if (::PtInRect(&r, at)) {
            GiveLong(child, cell + 1);
            return S_OK;
        }
    }
    GiveLong(child, CHILDID_SELF);
    return S_OK;
}

HRESULT LunarGridAccessible::accDoDefaultAction(VARIANT child) {
    int cell = -1;
    if (!Which(child, cell))
        return m_source ? E_INVALIDARG : CO_E_OBJNOTCONNECTED;
    if (cell < 0)
        return DISP_E_MEMBERNOTFOUND;
    m_source->SelectCell(cell);
    return S_OK;
}

HRESULT LunarGridAccessible::put_accName(VARIANT, BSTR) {
    return E_NOTIMPL;
}

HRESULT LunarGridAccessible::put_accValue(VARIANT, BSTR) {
    return E_NOTIMPL;
}
