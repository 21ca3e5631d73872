// The real executable: one instance, its window, "Auto", and what a second start does.

#include "e2e/client_process.h"
#include "mainwnd/AccessibleRules.h"
#include "mainwnd/Scale.h"
#include "res/resource.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

#include <oleacc.h>

#include <cmath>
#include <memory>

using namespace e2e;

namespace {

constexpr DWORD kStartTimeout = 20000;

class Startup : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, CountMarkedWindows()) << "a client is still running"; }
    void TearDown() override {
        first.Kill();
        second.Kill();
    }
    // Declared before the clients, so that it is removed only after they have gone.
    std::unique_ptr<ClientInstall> m_install;
    ClientInstall& Install(bool withSkin = true) {
        m_install = std::make_unique<ClientInstall>(withSkin);
        return *m_install;
    }
    ClientProcess first, second;
};

RECT WindowRect(HWND w) {
    RECT rc = {};
    GetWindowRect(w, &rc);
    return rc;
}

} // namespace

TEST_F(Startup, FirstStartShowsOneCentredRoundedWindow) {
    ClientInstall& install = Install();
    ASSERT_TRUE(first.Start(install.ExePath()));
    HWND w = WaitForMarkedWindow(kStartTimeout);
    ASSERT_TRUE(w);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(w) != FALSE; }, 5000));
    EXPECT_EQ(1, CountMarkedWindows());

    RECT rc = WindowRect(w);
    EXPECT_EQ(1004, rc.right - rc.left);
    EXPECT_EQ(695, rc.bottom - rc.top);
    // No clamping: on a screen smaller than the window the corner lies off the top-left edge.
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ((sw - 1004) / 2, rc.left);
    EXPECT_EQ((sh - 695) / 2, rc.top);

    wchar_t title[64] = {};
    GetWindowTextW(w, title, 64);
    EXPECT_STREQ(L"Tovo页游开服", title);
    EXPECT_EQ(WS_POPUP, GetWindowLongW(w, GWL_STYLE) & (WS_POPUP | WS_CAPTION | WS_THICKFRAME));
    EXPECT_TRUE(GetClassLongW(w, GCL_STYLE) & CS_DROPSHADOW);

    // Rounded corners: the corner pixel is cut off, the edges next to it are not.
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(ERROR, GetWindowRgn(w, rgn));
    EXPECT_FALSE(PtInRegion(rgn, 0, 0));
    EXPECT_TRUE(PtInRegion(rgn, 0, 10));
    EXPECT_TRUE(PtInRegion(rgn, 10, 0));
    EXPECT_TRUE(PtInRegion(rgn, 1003, 694 - 10));
    EXPECT_TRUE(PtInRegion(rgn, 500, 694));
    DeleteObject(rgn);

    // Exit from the tray menu ends the program through its normal exit.
    PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
    EXPECT_EQ(0u, first.WaitExit(10000));
}

// On a screen of more than 96 DPI (a prefix of its own: e2e.x11.Dpi*) the window has the scaled
// size, or the largest that fits the work area; its page covers the scaled page area, a screen
// reader finds each control at its scaled rectangle, and clicks at the scaled centres of a tab and
// of the minimise button do what they do at 96.
TEST_F(Startup, AtTheScreensDpiTheWindowAndWhatItAnswersAreScaled) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (dpi == 96)
        GTEST_SKIP() << "needs a prefix of another DPI (e2e.x11.Dpi*)";
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const double scale = ChooseScale(dpi, work.right - work.left, work.bottom - work.top);
    EXPECT_GT(scale, 1.0);

    ClientInstall& install = Install();
    ASSERT_TRUE(first.Start(install.ExePath()));
    HWND w = WaitForMarkedWindow(kStartTimeout);
    ASSERT_TRUE(w);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(w) != FALSE; }, 5000));
    ASSERT_GE(ProbeMessageLoop(w, 5000), 0);
    RECT rc = WindowRect(w);
    EXPECT_EQ(std::lround(1004 * scale), rc.right - rc.left);
    EXPECT_EQ(std::lround(695 * scale), rc.bottom - rc.top);
    const PixelMap map(scale, rc.right - rc.left, rc.bottom - rc.top);
    EXPECT_EQ(1004, map.Width());
    const ControlLayout l = ComputeLayout(map.Width(), map.Height());

    HWND page = GetWindow(w, GW_CHILD);
    ASSERT_TRUE(page);
    RECT area = WindowRect(page);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&area), 2);
    RECT expected = map.ToPixels(WebAreaFor(map.Width(), map.Height()));
    EXPECT_TRUE(EqualRect(&expected, &area));

    ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
    IAccessible* acc = nullptr;
    ASSERT_HRESULT_SUCCEEDED(AccessibleObjectFromWindow(
        w, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible, reinterpret_cast<void**>(&acc)));
    VARIANT child;
    child.vt = VT_I4;
    for (int id = kMinButton; id < kControlCount; ++id) {
        child.lVal = ChildOfControl(id);
        long x = 0, y = 0, cx = 0, cy = 0;
        ASSERT_HRESULT_SUCCEEDED(acc->accLocation(&x, &y, &cx, &cy, child));
        RECT px = map.ToPixels(ControlRect(l, id));
        EXPECT_EQ(rc.left + px.left, x) << "control " << id;
        EXPECT_EQ(px.right - px.left, cx) << "control " << id;
        EXPECT_EQ(px.bottom - px.top, cy) << "control " << id;
    }
    auto click = [&](int id) {
        RECT px = map.ToPixels(ControlRect(l, id));
        LPARAM at = MAKELPARAM((px.left + px.right) / 2, (px.top + px.bottom) / 2);
        for (UINT m : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP})
            PostMessageW(w, m, m == WM_LBUTTONDOWN ? MK_LBUTTON : 0, at);
    };
    click(kFirstTab + 3);
    child.lVal = ChildOfControl(kFirstTab + 3);
    EXPECT_TRUE(WaitUntil(
        [&] {
            VARIANT state;
            VariantInit(&state);
            return SUCCEEDED(acc->get_accState(child, &state)) && state.vt == VT_I4 &&
                   (state.lVal & STATE_SYSTEM_SELECTED);
        },
        5000));
    click(kMinButton);
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(w) != FALSE; }, 5000));
    acc->Release();
    CoUninitialize();
    PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
    EXPECT_EQ(0u, first.WaitExit(10000));
}

TEST_F(Startup, AutoWithBlanksStartsHiddenOtherSpellingsShow) {
    ClientInstall& install = Install();
    struct Case {
        const wchar_t* args;
        bool visible;
    } cases[] = {{L" Auto\t", false}, {L"Auto", false},  {L"auto", true},
                 {L"AUTO", true},     {L"Auto x", true}, {L"", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "args [" << testutil::ToUtf8(c.args) << "]");
        ClientProcess p;
        ASSERT_TRUE(p.Start(install.ExePath(), c.args));
        HWND w = WaitForMarkedWindow(kStartTimeout);
        ASSERT_TRUE(w);
        // Start-up is over once the loop answers; only then is visibility final.
        ASSERT_GE(ProbeMessageLoop(w, 5000), 0);
        EXPECT_EQ(c.visible, IsWindowVisible(w) != FALSE);
        PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
        EXPECT_EQ(0u, p.WaitExit(10000));
    }
}

TEST_F(Startup, SecondStartBringsTheFirstForwardAndEnds) {
    ClientInstall& install = Install();
    ASSERT_TRUE(first.Start(install.ExePath(), L"Auto"));
    HWND w = WaitForMarkedWindow(kStartTimeout);
    ASSERT_TRUE(w);
    ASSERT_GE(ProbeMessageLoop(w, 5000), 0);
    ASSERT_FALSE(IsWindowVisible(w));

    // Hidden in the tray: shown.
    ASSERT_TRUE(second.Start(install.ExePath()));
    EXPECT_EQ(0u, second.WaitExit(10000));
    EXPECT_EQ(1, CountMarkedWindows());
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(w) != FALSE; }, 5000));

    // Minimised: restored.
    ShowWindow(w, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(w) != FALSE; }, 5000));
    ClientProcess third;
    ASSERT_TRUE(third.Start(install.ExePath(), L"Auto"));
    EXPECT_EQ(0u, third.WaitExit(10000));
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(w) && IsWindowVisible(w); }, 5000));
    RECT rc = WindowRect(w);
    EXPECT_EQ(1004, rc.right - rc.left);
    EXPECT_EQ(1, CountMarkedWindows());

    // Once the first has gone, a new start is a first instance again.
    PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
    ASSERT_EQ(0u, first.WaitExit(10000));
    ClientProcess fourth;
    ASSERT_TRUE(fourth.Start(install.ExePath()));
    HWND again = WaitForMarkedWindow(kStartTimeout);
    ASSERT_TRUE(again);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(again) != FALSE; }, 5000));
    PostMessageW(again, WM_COMMAND, ID_EXIT, 0);
    EXPECT_EQ(0u, fourth.WaitExit(10000));
}

TEST_F(Startup, EmptySkinDirectoryStillGivesTheFullWindow) {
    ClientInstall& install = Install(/*withSkin=*/false);
    ASSERT_TRUE(first.Start(install.ExePath()));
    HWND w = WaitForMarkedWindow(kStartTimeout);
    ASSERT_TRUE(w);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(w) != FALSE; }, 5000));
    RECT rc = WindowRect(w);
    EXPECT_EQ(1004, rc.right - rc.left);
    EXPECT_EQ(695, rc.bottom - rc.top);
    PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
    EXPECT_EQ(0u, first.WaitExit(10000));
}
