// The lunar grid's accessible object, called as a reader in this process calls it: which ids it
// answers, roles and states, navigation, hit test and location, selection, and the grid gone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interaction/lunar_grid_accessible.h"
#include "interaction/month_grid.h"

namespace {

constexpr int kCell = 10; // pixels a side
constexpr POINT kOrigin{100, 100};

class FakeGrid : public GridAccessSource {
  public:
    int CellCount() const override { return quill::kGridCells; }
    std::wstring GridName() const override { return L"grid"; }
    std::wstring CellName(int cell) const override { return L"day " + std::to_wstring(cell); }
    RECT CellRect(int cell) const override {
        const int x = cell % quill::kGridColumns * kCell;
        const int y = cell / quill::kGridColumns * kCell;
        return {x, y, x + kCell, y + kCell};
    }
    int SelectedCell() const override { return selected; }
    bool GridHasFocus() const override { return focused; }
    void SelectCell(int cell) override { picks.push_back(cell); }

    int selected = 9;
    bool focused = false;
    std::vector<int> picks;
};

VARIANT Id(long id) {
    VARIANT v{};
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

class GridAccessible : public ::testing::Test {
  protected:
    void SetUp() override {
        m_window =
            CreateWindowExW(0, L"STATIC", L"", WS_POPUP, kOrigin.x, kOrigin.y, kCell * quill::kGridColumns,
                            kCell * quill::kGridRows, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(m_window);
        acc = new LunarGridAccessible(m_window, &grid);
    }
    void TearDown() override {
        if (acc) {
            acc->Disconnect();
            acc->Release();
        }
        DestroyWindow(m_window);
    }
    long State(long id) {
        VARIANT v{};
        return SUCCEEDED(acc->get_accState(Id(id), &v)) && v.vt == VT_I4 ? v.lVal : -1;
    }

    FakeGrid grid;
    LunarGridAccessible* acc = nullptr;

  private:
    HWND m_window = nullptr;
};

TEST_F(GridAccessible, IdsRolesAndNames) {
    struct Case {
        VARIANT id;
        HRESULT result;
        long role;
        const wchar_t* name;
    } cases[] = {
        {Id(CHILDID_SELF), S_OK, ROLE_SYSTEM_TABLE, L"grid"},
        {Id(1), S_OK, ROLE_SYSTEM_CELL, L"day 0"},
        {Id(42), S_OK, ROLE_SYSTEM_CELL, L"day 41"},
        {Id(43), E_INVALIDARG, 0, nullptr},
        {Id(-1), E_INVALIDARG, 0, nullptr},
        {VARIANT{}, E_INVALIDARG, 0, nullptr}, // VT_EMPTY
    };
    long count = 0;
    ASSERT_EQ(acc->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 42);
    for (const Case& c : cases) {
        VARIANT role{};
        EXPECT_EQ(acc->get_accRole(c.id, &role), c.result) << c.id.lVal;
        BSTR name = nullptr;
        EXPECT_EQ(acc->get_accName(c.id, &name), c.result) << c.id.lVal;
        if (c.result == S_OK) {
            EXPECT_EQ(role.lVal, c.role);
            EXPECT_EQ(std::wstring(name, SysStringLen(name)), c.name);
        }
        SysFreeString(name);
        IDispatch* child = nullptr;
        EXPECT_EQ(acc->get_accChild(c.id, &child), c.result == S_OK ? S_FALSE : c.result);
        EXPECT_EQ(child, nullptr);
    }
}

TEST_F(GridAccessible, TheSelectedDayIsSelectionAndFocusedOnlyWithTheFocus) {
    for (const bool focused : {false, true}) {
        grid.focused = focused;
        EXPECT_TRUE(State(10) & STATE_SYSTEM_SELECTED);
        EXPECT_EQ((State(10) & STATE_SYSTEM_FOCUSED) != 0, focused);
        EXPECT_FALSE(State(11) & (STATE_SYSTEM_SELECTED | STATE_SYSTEM_FOCUSED));
        EXPECT_TRUE(State(11) & STATE_SYSTEM_SELECTABLE);
        VARIANT selection{};
        EXPECT_EQ(acc->get_accSelection(&selection), S_OK);
        EXPECT_EQ(selection.lVal, 10);
        VARIANT focus{};
        EXPECT_EQ(acc->get_accFocus(&focus), focused ? S_OK : S_FALSE);
        EXPECT_EQ(focus.vt == VT_I4 ? focus.lVal : 0, focused ? 10 : 0);
    }
    grid.selected = -1;
    VARIANT selection{};
    EXPECT_EQ(acc->get_accSelection(&selection), S_FALSE);
    EXPECT_EQ(selection.vt, VT_EMPTY);
}

TEST_F(GridAccessible, Navigation) {
    struct Case {
        long from;
        long direction;
        long to; // 0: none (S_FALSE)
    } cases[] = {
        {CHILDID_SELF, NAVDIR_FIRSTCHILD, 1},
        {CHILDID_SELF, NAVDIR_LASTCHILD, 42},
        {CHILDID_SELF, NAVDIR_NEXT, 0},
        {1, NAVDIR_PREVIOUS, 0},
        {1, NAVDIR_NEXT, 2},
        {7, NAVDIR_NEXT, 8},
        {7, NAVDIR_RIGHT, 0},
        {8, NAVDIR_LEFT, 0},
        {9, NAVDIR_LEFT, 8},
        {1, NAVDIR_DOWN, 8},
        {8, NAVDIR_UP, 1},
        {3, NAVDIR_UP, 0},
        {38, NAVDIR_DOWN, 0},
        {42, NAVDIR_NEXT, 0},
    };
    for (const Case& c : cases) {
        VARIANT end{};
        EXPECT_EQ(acc->accNavigate(c.direction, Id(c.from), &end), c.to ? S_OK : S_FALSE)
            << c.from << " " << c.direction;
        EXPECT_EQ(end.vt == VT_I4 ? end.lVal : 0, c.to) << c.from << " " << c.direction;
    }
}

TEST_F(GridAccessible, HitTestAndLocationAreOnTheScreen) {
    struct Case {
        POINT at;
        HRESULT result;
        long id; // 0: VT_EMPTY
    } cases[] = {
        {{kOrigin.x + 15, kOrigin.y + 5}, S_OK, 2},    {{kOrigin.x, kOrigin.y}, S_OK, 1},
        {{kOrigin.x + 69, kOrigin.y + 59}, S_OK, 42},  {{kOrigin.x - 1, kOrigin.y}, S_FALSE, 0},
        {{kOrigin.x + 70, kOrigin.y + 5}, S_FALSE, 0},
    };
    for (const Case& c : cases) {
        VARIANT hit{};
        EXPECT_EQ(acc->accHitTest(c.at.x, c.at.y, &hit), c.result) << c.at.x << "," << c.at.y;
        EXPECT_EQ(hit.vt == VT_I4 ? hit.lVal : 0, c.id) << c.at.x << "," << c.at.y;
    }
    long left = 0, top = 0, width = 0, height = 0;
    ASSERT_EQ(acc->accLocation(&left, &top, &width, &height, Id(9)), S_OK);
    EXPECT_EQ(left, kOrigin.x + kCell);
    EXPECT_EQ(top, kOrigin.y + kCell);
    EXPECT_EQ(width, kCell);
    EXPECT_EQ(height, kCell);
    ASSERT_EQ(acc->accLocation(&left, &top, &width, &height, Id(CHILDID_SELF)), S_OK);
    EXPECT_EQ(width, kCell * quill::kGridColumns);
}

TEST_F(GridAccessible, AReaderPicksADayAsAClickDoes) {
    EXPECT_EQ(acc->accSelect(SELFLAG_TAKESELECTION, Id(5)), S_OK);
    EXPECT_EQ(acc->accDoDefaultAction(Id(6)), S_OK);
    // One day is always selected: there is no adding or removing.
    EXPECT_EQ(acc->accSelect(SELFLAG_ADDSELECTION, Id(7)), E_INVALIDARG);
    EXPECT_EQ(acc->accSelect(SELFLAG_TAKESELECTION, Id(43)), E_INVALIDARG);
    EXPECT_EQ(acc->accDoDefaultAction(Id(CHILDID_SELF)), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(grid.picks, (std::vector<int>{4, 5}));
}

TEST_F(GridAccessible, AReaderHoldingItAfterTheGridWentIsToldSo) {
    acc->AddRef(); // the reader's hold
    acc->Disconnect();
    long count = 0;
    EXPECT_EQ(acc->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
    BSTR name = nullptr;
    EXPECT_EQ(acc->get_accName(Id(1), &name), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(name, nullptr);
    VARIANT v{};
    EXPECT_EQ(acc->accHitTest(kOrigin.x, kOrigin.y, &v), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(acc->accSelect(SELFLAG_TAKESELECTION, Id(1)), CO_E_OBJNOTCONNECTED);
    EXPECT_TRUE(grid.picks.empty());
    acc->Release(); // the maker's, in TearDown, ends it
}

} // namespace
