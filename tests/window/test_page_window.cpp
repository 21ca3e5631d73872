// The page window in this process: the real browser control against a loopback server, with the
// network test and the default-browser launch replaced.

#include "mainwnd/Drawing.h"
#include "mainwnd/MainWnd.h"
#include "res/resource.h"
#include "support/loopback_server.h"
#include "web/PageRules.h"
#include "web/WebDlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

BOOL g_bNetwork = TRUE;
BOOL WINAPI FakeNetwork(LPDWORD flags) {
    if (flags)
        *flags = 0;
    return g_bNetwork;
}
std::vector<std::wstring> g_opened;
void SpyOpen(const std::wstring& url) {
    g_opened.push_back(url);
}

// Runs the message loop the way the application does, pre-translation included.
void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (AfxPreTranslateMessage(&msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

template <typename Pred> bool PumpUntil(Pred pred, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Pump(20);
    }
    return true;
}

size_t RequestsFor(const LoopbackServer& server, const std::string& path) {
    size_t n = 0;
    for (const LoopbackRequest& r : server.Requests())
        n += r.method == "GET" && r.Path() == path;
    return n;
}

class PageWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        AfxEnableControlContainer();
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&s_token, &input, nullptr);
    }
    static void TearDownTestSuite() {
        Gdiplus::GdiplusShutdown(s_token);
        OleUninitialize();
    }
    void SetUp() override {
        g_bNetwork = TRUE;
        g_opened.clear();
        CWebDlg::s_pfnIsNetworkAlive = &FakeNetwork;
        CWebDlg::s_pfnOpenExternal = &SpyOpen;
        ASSERT_TRUE(server.Start());
        main = new CMainWnd;
        ASSERT_TRUE(IsWindow(main->m_hWnd));
    }
    void TearDown() override {
        if (page)
            page->OnCancel();
        main->DestroyWindow();
        delete main;
        server.Stop();
    }
    // A page made as the main window makes its pages, over the page rectangle.
    CWebDlg* MakePage() {
        page = new CWebDlg;
        if (!page->Create(IDD_WEBDLG, main)) {
            page = nullptr;
            return nullptr;
        }
        const RECT& rc = main->m_rcWebArea;
        page->MoveWindow(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
        return page;
    }
    HWND Browser() const { return GetDlgItem(page->m_hWnd, IDC_WEBBROWSER); }

    static ULONG_PTR s_token;
    LoopbackServer server;
    CMainWnd* main = nullptr;
    CWebDlg* page = nullptr;
};
ULONG_PTR PageWindow::s_token = 0;

} // namespace

TEST_F(PageWindow, CreatedPageHostsTheBrowserAndLoadsItsAddress) {
    ASSERT_TRUE(MakePage());
    LONG_PTR style = GetWindowLongPtrW(page->m_hWnd, GWL_STYLE);
    EXPECT_EQ(WS_CHILD | WS_SYSMENU, style & (WS_CHILD | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    ASSERT_TRUE(IsWindow(Browser()));
    page->Navigate(server.Url(L"/kaifu"));
    page->ShowWindow(SW_SHOW);
    EXPECT_TRUE(PumpUntil([&] { return RequestsFor(server, "/kaifu") >= 1; }, 10000));
    EXPECT_EQ(server.Url(L"/kaifu"), page->GetUrl());

    // The control follows the page's size exactly.
    page->MoveWindow(1, 46, 640, 480, TRUE);
    RECT rc = {};
    GetWindowRect(Browser(), &rc);
    MapWindowPoints(nullptr, page->m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(0, rc.left);
    EXPECT_EQ(0, rc.top);
    EXPECT_EQ(640, rc.right);
    EXPECT_EQ(480, rc.bottom);
}
