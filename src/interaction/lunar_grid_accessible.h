// The lunar grid for a screen reader: a table whose cells are the days, each named with the tooltip's
// words, the selected day as its selection and focus. Active Accessibility, served on WM_GETOBJECT.
#pragma once
#include <windows.h>

#include <oleacc.h>

#include <string>

// What the accessible object asks of the grid. Cells are 0 to CellCount() - 1; their child ids one more.
class GridAccessSource {
  public:
    virtual int CellCount() const = 0;
    virtual std::wstring GridName() const = 0;
    virtual std::wstring CellName(int cell) const = 0;
    // In the grid's client coordinates.
    virtual RECT CellRect(int cell) const = 0;
    // -1 when the grid shows no selected day.
    virtual int SelectedCell() const = 0;
    virtual bool GridHasFocus() const = 0;
    virtual void SelectCell(int cell) = 0;

  protected:
    ~GridAccessSource() = default;
};

class LunarGridAccessible final : public IAccessible {
  public:
    // Held once by its maker; Release that hold after Disconnect.
    LunarGridAccessible(HWND grid, GridAccessSource* source);
    LunarGridAccessible(const LunarGridAccessible&) = delete;
    LunarGridAccessible& operator=(const LunarGridAccessible&) = delete;

    // The grid is going: a reader still holding the object is told so on every later call.
    void Disconnect();
    // WM_GETOBJECT's answer for OBJID_CLIENT; 0 when the system's accessibility library is missing.
    LRESULT Answer(WPARAM wParam);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch: no type information; readers call the methods below directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override;
    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

  private:
    ~LunarGridAccessible() = default;
    // The cell a VARIANT names, -1 for the grid itself; false for anything else or once disconnected.
    bool Which(const VARIANT& child, int& cell) const;

    LONG m_refs = 1;
    HWND m_grid;
    GridAccessSource* m_source;
};
