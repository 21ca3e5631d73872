// The main window in this process: what its creation sets up and how it follows size changes.

#include "mainwnd/MainWnd.h"
#include "support/loopback_server.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

namespace {

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&s_token, &input, nullptr);
    }
    static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(s_token); }
    static ULONG_PTR s_token;
};
ULONG_PTR MainWindow::s_token = 0;

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

} // namespace

TEST_F(MainWindow, CreationSetsUpTheWindow) {
    CMainWnd wnd;
    ASSERT_TRUE(IsWindow(wnd.m_hWnd));
    EXPECT_EQ(&wnd, g_pMainWnd);
    EXPECT_FALSE(IsWindowVisible(wnd.m_hWnd)); // shown by start-up, not by creation
    EXPECT_TRUE(GetPropW(wnd.m_hWnd, kInstanceMarker));
    EXPECT_EQ(0x860B0000u, static_cast<DWORD>(GetWindowLongW(wnd.m_hWnd, GWL_STYLE)));
    EXPECT_TRUE(SendMessageW(wnd.m_hWnd, WM_GETICON, ICON_BIG, 0));
    EXPECT_TRUE(SendMessageW(wnd.m_hWnd, WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ(testutil::ExeDir(), wnd.m_strAppDir);
    EXPECT_EQ(wnd.m_strAppDir + L"skins\\Common\\", wnd.m_strSkinDir);
    // The test program has no version record and no config.ini beside it.
    EXPECT_EQ(L"", wnd.m_strVersion);
    EXPECT_EQ(L"", wnd.m_strChannel);
    // Nothing listens on the probe's loopback port: offline, so no report was started.
    EXPECT_FALSE(wnd.m_bOnline.load());
    EXPECT_FALSE(wnd.m_bReportStarted);
    ASSERT_TRUE(wnd.m_pFontFamily);
    EXPECT_TRUE(wnd.m_pFontFamily->IsAvailable()); // the test prefix maps both families
    EXPECT_EQ(2, wnd.m_nTabState[0]);
    EXPECT_EQ(5, wnd.m_nCurTab);
    EXPECT_EQ(1u, wnd.m_nTimerId);
    EXPECT_TRUE(SameRect(Rect(1, 46, 1003, 665), wnd.m_rcWebArea));
    wnd.DestroyWindow();
    EXPECT_EQ(nullptr, wnd.m_pImgLogo);
    EXPECT_EQ(nullptr, wnd.m_pFontFamily);
}

TEST_F(MainWindow, ControlsFollowEverySize) {
    CMainWnd wnd;
    ASSERT_TRUE(IsWindow(wnd.m_hWnd));
    struct Size {
        int w, h;
    } sizes[] = {{1200, 800}, {700, 500}, {1004, 695}};
    for (const Size& s : sizes) {
        SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
        SetWindowPos(wnd.m_hWnd, nullptr, 0, 0, s.w, s.h, SWP_NOMOVE | SWP_NOZORDER);
        EXPECT_EQ(s.w, wnd.m_nWidth);
        EXPECT_EQ(s.h, wnd.m_nHeight);
        EXPECT_TRUE(SameRect(Rect(s.w - 41, 1, s.w - 8, 41), wnd.m_rcClose));
        EXPECT_TRUE(SameRect(Rect(s.w - 75, 1, s.w - 42, 41), wnd.m_rcMax));
        EXPECT_TRUE(SameRect(Rect(s.w - 109, 1, s.w - 76, 41), wnd.m_rcMin));
        EXPECT_TRUE(SameRect(Rect(s.w - 142, 1, s.w - 109, 41), wnd.m_rcFeedback));
        EXPECT_TRUE(SameRect(Rect(166, 8, 263, 48), wnd.m_rcTab[0]));
        EXPECT_TRUE(SameRect(Rect(651, 8, 748, 48), wnd.m_rcTab[5]));
        EXPECT_TRUE(SameRect(Rect(13, s.h - 22, 319, s.h - 9), wnd.m_rcHomeLink));
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
    wnd.m_strSkinDir = dir;
    wnd.LoadSkin();
    for (Gdiplus::Image* img :
         {wnd.m_pImgLogo, wnd.m_pImgNet, wnd.m_pImgTab[0], wnd.m_pImgBottom}) {
        ASSERT_TRUE(img);
        EXPECT_EQ(Gdiplus::Ok, img->GetLastStatus());
        EXPECT_GT(img->GetWidth(), 0u);
    }
    // Missing files still give image objects; they just fail to draw.
    ASSERT_TRUE(wnd.m_pImgClose);
    EXPECT_NE(Gdiplus::Ok, wnd.m_pImgClose->GetLastStatus());
    EXPECT_EQ(1004, wnd.m_nWidth);
    wnd.DestroyWindow();
    testutil::RemoveTree(root);
}

TEST_F(MainWindow, EveryImageFieldHoldsItsOwnFile) {
    // Fifteen pictures told apart by their widths, 1 to 15.
    const wchar_t* files[] = {L"min.png",      L"max.png",     L"close.png",    L"fackback.png",
                              L"logo.png",     L"top.png",     L"bottombg.png", L"content.png",
                              L"net.png",      L"hot.png",     L"openg.png",    L"game.png",
                              L"platform.png", L"package.png", L"new.png"};
    std::wstring dir = testutil::MakeTempDir(L"skinfields");
    CLSID png = {};
    CLSIDFromString(L"{557CF406-1A04-11D3-9A73-0000F81EF32E}", &png);
    for (int i = 0; i < 15; ++i) {
        Gdiplus::Bitmap picture(i + 1, 1, PixelFormat32bppARGB);
        ASSERT_EQ(Gdiplus::Ok, picture.Save((dir + files[i]).c_str(), &png, nullptr));
    }
    CMainWnd wnd;
    wnd.m_strSkinDir = dir;
    wnd.LoadSkin();
    Gdiplus::Image* fields[] = {wnd.m_pImgMin,      wnd.m_pImgMax,     wnd.m_pImgClose,
                                wnd.m_pImgFeedback, wnd.m_pImgLogo,    wnd.m_pImgTop,
                                wnd.m_pImgBottom,   wnd.m_pImgContent, wnd.m_pImgNet,
                                wnd.m_pImgTab[0],   wnd.m_pImgTab[1],  wnd.m_pImgTab[2],
                                wnd.m_pImgTab[3],   wnd.m_pImgTab[4],  wnd.m_pImgTab[5]};
    for (int i = 0; i < 15; ++i) {
        ASSERT_TRUE(fields[i]) << testutil::ToUtf8(files[i]);
        EXPECT_EQ(static_cast<UINT>(i + 1), fields[i]->GetWidth()) << testutil::ToUtf8(files[i]);
    }
    wnd.DestroyWindow();
    testutil::RemoveTree(dir);
}

// The test network has a default route, so the system reports a connection to timer 1.
TEST_F(MainWindow, OnlyTimerOneWatchesTheNetworkAndOnlyItsFirstRiseReports) {
    CMainWnd wnd; // nothing answers the probe: offline, no report yet
    ASSERT_FALSE(wnd.m_bOnline.load());
    LoopbackServer server(TOVO_TEST_PORT);
    ASSERT_TRUE(server.Start());
    auto tick = [&](UINT_PTR id) { SendMessageW(wnd.m_hWnd, WM_TIMER, id, 0); };

    wnd.m_bOnline = TRUE; // a page saw the network first: the next tick sees no rise
    tick(1);
    EXPECT_FALSE(wnd.m_bReportStarted);
    wnd.m_bOnline = FALSE;
    tick(7); // another timer asks nothing
    EXPECT_FALSE(wnd.m_bOnline.load());
    EXPECT_FALSE(wnd.m_bReportStarted);
    tick(1);
    ASSERT_TRUE(wnd.m_bOnline.load());
    EXPECT_TRUE(wnd.m_bReportStarted);
    ASSERT_TRUE(server.WaitForRequests(1, 10000));
    wnd.m_bOnline = FALSE; // a later rise never starts another
    tick(1);
    Sleep(1000);
    EXPECT_EQ(1u, server.RequestCount());
    wnd.DestroyWindow();
}
