// The main window in this process: what its creation sets up and how it follows size changes.

#include "framework/afxdpi.h"
#include "mainwnd/AccessibleRules.h"
#include "support/loopback_server.h"
#include "window/main_wnd_probe.h"
#include "support/test_util.h"
#include "web/WebDlg.h"

#include "window/gdiplus_suite.h"

#include <gtest/gtest.h>

#include <oleacc.h>

#include <cstring>
#include <new>
#include <optional>

namespace {

class MainWindow : public GdiplusSuite {};

RECT Rect(int l, int t, int r, int b) {
    return RECT{l, t, r, b};
}

::testing::AssertionResult SameRect(const RECT& expected, const RECT& actual) {
    if (EqualRect(&expected, &actual))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "expected {" << expected.left << "," << expected.top << "," << expected.right << ","
           << expected.bottom << "} got {" << actual.left << "," << actual.top << ","
           << actual.right << "," << actual.bottom << "}";
}

// What a reader asks for while the window is being made: the accessible object, at its caption.
IAccessible* g_heldDuringCreation = nullptr;
LRESULT CALLBACK AskForObjectAtCaption(int code, WPARAM w, LPARAM l) {
    const auto* msg = reinterpret_cast<const CWPSTRUCT*>(l);
    CWnd* wnd = CWnd::FromHandlePermanent(msg->hwnd);
    if (code == HC_ACTION && msg->message == WM_SETTEXT && !g_heldDuringCreation && wnd)
        g_heldDuringCreation = CMainWndProbe(static_cast<CMainWnd&>(*wnd)).Accessible();
    return CallNextHookEx(nullptr, code, w, l);
}

} // namespace

TEST_F(MainWindow, CreationSetsUpTheWindow) {
    CMainWnd wnd;
    CMainWndProbe probe(wnd);
    ASSERT_TRUE(IsWindow(wnd.m_hWnd));
    EXPECT_EQ(&wnd, g_pMainWnd);
    EXPECT_FALSE(IsWindowVisible(wnd.m_hWnd)); // shown by start-up, not by creation
    EXPECT_TRUE(GetPropW(wnd.m_hWnd, kInstanceMarker));
    EXPECT_EQ(0x860B0000u, static_cast<DWORD>(GetWindowLongW(wnd.m_hWnd, GWL_STYLE)));
    EXPECT_TRUE(SendMessageW(wnd.m_hWnd, WM_GETICON, ICON_BIG, 0));
    EXPECT_TRUE(SendMessageW(wnd.m_hWnd, WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ(testutil::ExeDir(), probe.AppDir());
    EXPECT_EQ(probe.AppDir() + L"skins\\Common\\", probe.SkinDir());
    // Decoded off the window's thread, yet every picture is in place when creation returns.
    for (Gdiplus::Image* image : probe.Fields())
        EXPECT_TRUE(image && image->GetLastStatus() == Gdiplus::Ok);
    // The test program has no version record and no config.ini beside it.
    EXPECT_EQ(L"", wnd.m_strVersion);
    EXPECT_EQ(L"", wnd.m_strChannel);
    // Nothing listens on the probe's loopback port: offline, so no report was started.
    EXPECT_FALSE(wnd.m_bOnline.load());
    EXPECT_FALSE(probe.ReportStarted());
    ASSERT_TRUE(probe.FontFamily());
    EXPECT_TRUE(probe.FontFamily()->IsAvailable()); // the test prefix maps both families
    EXPECT_EQ(2, probe.States().state[kFirstTab]);
    EXPECT_EQ(5, probe.States().curTab);
    EXPECT_EQ(1u, wnd.m_nTimerId);
    EXPECT_TRUE(SameRect(Rect(1, 46, 1003, 665), wnd.m_rcWebArea));
    wnd.DestroyWindow();
    EXPECT_EQ(nullptr, probe.Image(L"logo.png"));
    EXPECT_EQ(nullptr, probe.FontFamily());
}

// Whichever allocation of its own fails while the window is being made, it is made whole or not
// at all: no half-made window, no pointer left to it, no skin worker left running. A reader that
// asked for the accessible object while the window was being made (at its caption) keeps a
// reference that fails from then on: the window object's memory is poisoned after its end.
TEST_F(MainWindow, CreationThatThrowsLeavesNothingBehind) {
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, AskForObjectAtCaption, nullptr,
                                   GetCurrentThreadId());
    ASSERT_TRUE(hook);
    long heldAtFailure = 0;
    for (long n = 1; n == 1 || testutil::AllocationFailed(); ++n) {
        alignas(CMainWnd) unsigned char block[sizeof(CMainWnd)];
        CMainWnd* wnd = nullptr;
        testutil::FailAllocation(n);
        try {
            wnd = new (block) CMainWnd;
        } catch (const std::bad_alloc&) { // before any window
        }
        bool failed = testutil::AllocationFailed();
        testutil::FailAllocation(0);
        SCOPED_TRACE(testing::Message() << "allocation " << n << " failed");
        if (wnd && wnd->m_hWnd) {
            EXPECT_EQ(wnd, g_pMainWnd);
        } else {
            EXPECT_FALSE(testutil::FindMarkedWindowOf(GetCurrentProcessId()));
        }
        EXPECT_FALSE(wnd && CMainWndProbe(*wnd).SkinWorker());
        long count = 0;
        if (g_heldDuringCreation && !(wnd && wnd->m_hWnd)) { // the window is gone already
            EXPECT_EQ(RPC_E_DISCONNECTED, g_heldDuringCreation->get_accChildCount(&count));
        }
        if (wnd)
            wnd->~CMainWnd();
        std::memset(block, 0xDD, sizeof block);
        EXPECT_FALSE(g_pMainWnd);
        if (g_heldDuringCreation) {
            heldAtFailure += failed;
            EXPECT_EQ(RPC_E_DISCONNECTED, g_heldDuringCreation->get_accChildCount(&count));
            g_heldDuringCreation->Release();
            g_heldDuringCreation = nullptr;
        }
    }
    UnhookWindowsHookEx(hook);
    EXPECT_GT(heldAtFailure, 5); // the object existed when most steps failed
}

TEST_F(MainWindow, ControlsFollowEverySize) {
    CMainWnd wnd;
    CMainWndProbe probe(wnd);
    ASSERT_TRUE(IsWindow(wnd.m_hWnd));
    struct Size {
        int w, h;
    } sizes[] = {{1200, 800}, {700, 500}, {1004, 695}};
    for (const Size& s : sizes) {
        SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
        SetWindowPos(wnd.m_hWnd, nullptr, 0, 0, s.w, s.h, SWP_NOMOVE | SWP_NOZORDER);
        EXPECT_EQ(s.w, probe.Width());
        EXPECT_EQ(s.h, probe.Height());
        ControlLayout l = probe.Layout();
        EXPECT_TRUE(SameRect(Rect(s.w - 41, 1, s.w - 8, 41), l.close));
        EXPECT_TRUE(SameRect(Rect(s.w - 75, 1, s.w - 42, 41), l.max));
        EXPECT_TRUE(SameRect(Rect(s.w - 109, 1, s.w - 76, 41), l.min));
        EXPECT_TRUE(SameRect(Rect(s.w - 142, 1, s.w - 109, 41), l.feedback));
        EXPECT_TRUE(SameRect(Rect(166, 8, 263, 48), l.tab[0]));
        EXPECT_TRUE(SameRect(Rect(651, 8, 748, 48), l.tab[5]));
        EXPECT_TRUE(SameRect(Rect(13, s.h - 22, 319, s.h - 9), l.homeLink));
        EXPECT_TRUE(SameRect(Rect(1, 46, s.w - 1, s.h - 30), wnd.m_rcWebArea));

        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(ERROR, GetWindowRgn(wnd.m_hWnd, rgn));
        RECT box = {};
        GetRgnBox(rgn, &box);
        DeleteObject(rgn);
        EXPECT_EQ(s.w, box.right);
        EXPECT_EQ(s.h, box.bottom);
    }
    wnd.DestroyWindow();
}

// At a scale the design keeps its units, and what goes out and comes in is scaled: the window's
// size, the page area, the pointer over each control, the sizing edge, the minimum size and the
// accessible object's locations. WM_DPICHANGED brings the system's rectangle.
TEST_F(MainWindow, AtAScaleWhatGoesOutAndComesInIsScaled) {
    CMainWnd wnd;
    CMainWndProbe probe(wnd);
    IAccessible* acc = probe.Accessible();
    ASSERT_TRUE(acc);
    const struct {
        unsigned dpi;
        int pw, ph;
    } cases[] = {{144, 1506, 1043}, {120, 1255, 869}, {192, 2008, 1390}, {96, 1004, 695}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dpi << " dpi");
        probe.SetScale(c.dpi, RECT{0, 0, 4000, 3000});
        SetWindowPos(wnd.m_hWnd, nullptr, 0, 0, c.pw, c.ph, SWP_NOMOVE | SWP_NOZORDER);
        const PixelMap map = probe.Map();
        EXPECT_EQ(1004, probe.Width());
        EXPECT_EQ(695, probe.Height());
        EXPECT_TRUE(SameRect(map.ToPixels(Rect(1, 46, 1003, 665)), wnd.m_rcWebArea));
        const ControlLayout l = probe.Layout();
        POINT origin = {0, 0};
        ClientToScreen(wnd.m_hWnd, &origin);
        for (int id = kMinButton; id < kControlCount; ++id) {
            RECT px = map.ToPixels(ControlRect(l, id));
            SendMessageW(wnd.m_hWnd, WM_MOUSEMOVE, 0,
                         MAKELPARAM((px.left + px.right) / 2, (px.top + px.bottom) / 2));
            if (id != kFirstTab) { // the selected tab keeps its frame under the pointer
                EXPECT_EQ(id, probe.States().hoverId) << "control " << id;
            }
            long x = 0, y = 0, w = 0, h = 0;
            VARIANT child;
            child.vt = VT_I4;
            child.lVal = ChildOfControl(id);
            ASSERT_EQ(S_OK, acc->accLocation(&x, &y, &w, &h, child));
            EXPECT_TRUE(
                SameRect(px, Rect(x - origin.x, y - origin.y, x - origin.x + w, y - origin.y + h)));
        }
        MINMAXINFO mmi = {};
        SendMessageW(wnd.m_hWnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
        EXPECT_EQ(map.Pixels(1004), mmi.ptMinTrackSize.x);
        // The sizing edge is three units wide.
        const int edge = origin.x + c.pw - map.Pixels(3) + 1;
        EXPECT_EQ(HTRIGHT,
                  SendMessageW(wnd.m_hWnd, WM_NCHITTEST, 0, MAKELPARAM(edge, origin.y + c.ph / 2)));
    }
    acc->Release();
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT suggested = {20, 10, 20 + 1506, 10 + 1043}, now = {};
    SendMessageW(wnd.m_hWnd, WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    GetWindowRect(wnd.m_hWnd, &now);
    EXPECT_TRUE(SameRect(suggested, now));
    // The window's small icon is made at the system's size for 144 DPI.
    ICONINFO icon = {};
    ASSERT_TRUE(GetIconInfo(
        reinterpret_cast<HICON>(SendMessageW(wnd.m_hWnd, WM_GETICON, ICON_SMALL, 0)), &icon));
    BITMAP bm = {};
    GetObjectW(icon.hbmColor ? icon.hbmColor : icon.hbmMask, sizeof bm, &bm);
    EXPECT_EQ(AfxGetSystemMetricsForDpi(SM_CXSMICON, 144), bm.bmWidth);
    DeleteObject(icon.hbmColor);
    DeleteObject(icon.hbmMask);
    EXPECT_DOUBLE_EQ(ChooseScale(144, work.right - work.left, work.bottom - work.top),
                     probe.Map().Scale());
    wnd.DestroyWindow();
}

TEST_F(MainWindow, SkinLoadsFromADirectoryBeyondMaxPath) {
    std::wstring root = testutil::MakeTempDir(L"skin");
    std::wstring dir = root;
    while (dir.size() < 300) {
        dir += L"a-rather-long-folder-name\\";
        CreateDirectoryW((L"\\\\?\\" + dir).c_str(), nullptr);
    }
    std::wstring src = testutil::ExeDir() + L"skins\\Common\\";
    for (const wchar_t* f : {L"logo.png", L"net.png", L"hot.png", L"bottombg.png"})
        ASSERT_TRUE(CopyFileW((src + f).c_str(), (L"\\\\?\\" + dir + f).c_str(), FALSE));

    CMainWnd wnd;
    CMainWndProbe probe(wnd);
    probe.SkinDir() = dir;
    probe.LoadSkin();
    for (const wchar_t* f : {L"logo.png", L"net.png", L"hot.png", L"bottombg.png"}) {
        Gdiplus::Image* img = probe.Image(f);
        ASSERT_TRUE(img);
        EXPECT_EQ(Gdiplus::Ok, img->GetLastStatus());
        EXPECT_GT(img->GetWidth(), 0u);
    }
    // Missing files still give image objects; they just fail to draw.
    ASSERT_TRUE(probe.Image(L"close.png"));
    EXPECT_NE(Gdiplus::Ok, probe.Image(L"close.png")->GetLastStatus());
    EXPECT_EQ(1004, probe.Width());
    wnd.DestroyWindow();
    testutil::RemoveTree(root);
}

TEST_F(MainWindow, EveryImageFieldHoldsItsOwnFile) {
    // Pictures told apart by their widths, 1, 2, 3, ...: the window's own, then the tabs'.
    std::vector<const wchar_t*> files = {L"min.png",    L"max.png",      L"close.png",
                                         L"fackback.png", L"logo.png",   L"top.png",
                                         L"bottombg.png", L"content.png", L"net.png"};
    for (const TabEntry& tab : kTabs)
        files.push_back(tab.picture);
    std::wstring dir = testutil::MakeTempDir(L"skinfields");
    CLSID png = {};
    CLSIDFromString(L"{557CF406-1A04-11D3-9A73-0000F81EF32E}", &png);
    for (size_t i = 0; i < files.size(); ++i) {
        Gdiplus::Bitmap picture(static_cast<INT>(i + 1), 1, PixelFormat32bppARGB);
        ASSERT_EQ(Gdiplus::Ok, picture.Save((dir + files[i]).c_str(), &png, nullptr));
    }
    CMainWnd wnd;
    CMainWndProbe probe(wnd);
    probe.SkinDir() = dir;
    probe.LoadSkin();
    auto fields = probe.Fields();
    ASSERT_EQ(files.size(), fields.size());
    for (size_t i = 0; i < files.size(); ++i) {
        ASSERT_TRUE(fields[i]) << testutil::ToUtf8(files[i]);
        EXPECT_EQ(static_cast<UINT>(i + 1), fields[i]->GetWidth()) << testutil::ToUtf8(files[i]);
    }
    wnd.DestroyWindow();
    testutil::RemoveTree(dir);
}

// The test network has a default route, so the system reports a connection to timer 1.
TEST_F(MainWindow, OnlyTimerOneWatchesTheNetworkAndOnlyItsFirstRiseReports) {
    CMainWnd wnd; // nothing answers the probe: offline, no report yet
    CMainWndProbe probe(wnd);
    ASSERT_FALSE(wnd.m_bOnline.load());
    LoopbackServer server(TOVO_TEST_PORT);
    ASSERT_TRUE(server.Start());
    auto tick = [&](UINT_PTR id) { SendMessageW(wnd.m_hWnd, WM_TIMER, id, 0); };

    wnd.m_bOnline = FALSE;
    tick(7); // another timer asks nothing
    EXPECT_FALSE(wnd.m_bOnline.load());
    EXPECT_FALSE(probe.ReportStarted());
    wnd.m_bOnline = TRUE; // a page saw the network first: the tick's own rise still reports
    tick(1);
    ASSERT_TRUE(wnd.m_bOnline.load());
    EXPECT_TRUE(probe.ReportStarted());
    ASSERT_TRUE(server.WaitForRequests(1, 10000));
    probe.ForgetLastTick(); // a later rise never starts another
    tick(1);
    Sleep(1000);
    EXPECT_EQ(1u, server.RequestCount());
    wnd.DestroyWindow();
}

// Screen points reach the sizing rules in client coordinates.
TEST_F(MainWindow, SizingBandsFollowTheWindowOnScreen) {
    CMainWnd wnd;
    RECT rc = {};
    GetWindowRect(wnd.m_hWnd, &rc);
    const POINT points[] = {{0, 0}, {1003, 300}, {1, 693}, {500, 300}};
    const LRESULT codes[] = {HTTOPLEFT, HTRIGHT, HTBOTTOMLEFT, HTCLIENT};
    for (int i = 0; i < 4; ++i) {
        LPARAM screen = MAKELPARAM(rc.left + points[i].x, rc.top + points[i].y);
        EXPECT_EQ(codes[i], SendMessageW(wnd.m_hWnd, WM_NCHITTEST, 0, screen)) << i;
    }
    MINMAXINFO mmi = {};
    SendMessageW(wnd.m_hWnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    EXPECT_TRUE(mmi.ptMinTrackSize.x == 1004 && mmi.ptMinTrackSize.y == 700);
}

TEST_F(MainWindow, PagesCloseWithTheWindow) {
    CMainWnd wnd;
    CMainWndProbe probe(wnd);
    testutil::Click(wnd.m_hWnd, POINT{214 + 97 * 2, 28});
    testutil::Click(wnd.m_hWnd, POINT{214 + 97 * 5, 28});
    ASSERT_TRUE(probe.Page(2) && probe.Page(5));
    EXPECT_EQ(kFirstTab + 5, probe.States().curTab);
    EXPECT_FALSE(GetWindowLongW(probe.Page(2)->m_hWnd, GWL_STYLE) & WS_VISIBLE);
    HWND pages[] = {probe.Page(2)->m_hWnd, probe.Page(5)->m_hWnd};
    wnd.DestroyWindow();
    for (HWND page : pages)
        EXPECT_FALSE(IsWindow(page));
    EXPECT_FALSE(probe.Page(2) || probe.Page(5));
}

// A screen reader may hold the window's accessible object past the window and past the object
// that made it: every call then fails. The window object's memory is poisoned after its end, so
// a call that still reached into it would crash.
TEST_F(MainWindow, TheAccessibleObjectFailsOnceTheWindowIsGone) {
    alignas(CMainWnd) unsigned char block[sizeof(CMainWnd)];
    CMainWnd* wnd = new (block) CMainWnd;
    IAccessible* acc = CMainWndProbe(*wnd).Accessible();
    ASSERT_TRUE(acc);
    long count = 0;
    EXPECT_EQ(S_OK, acc->get_accChildCount(&count));
    EXPECT_EQ(11, count); // no page: start-up makes the first
    wnd->~CMainWnd();
    std::memset(block, 0xDD, sizeof block);

    VARIANT tab, hit;
    tab.vt = VT_I4;
    tab.lVal = 6;
    BSTR name = nullptr;
    EXPECT_EQ(RPC_E_DISCONNECTED, acc->get_accChildCount(&count));
    EXPECT_EQ(RPC_E_DISCONNECTED, acc->get_accName(tab, &name));
    EXPECT_EQ(RPC_E_DISCONNECTED, acc->accHitTest(200, 30, &hit));
    EXPECT_EQ(RPC_E_DISCONNECTED, acc->accDoDefaultAction(tab));
    acc->Release();
}
