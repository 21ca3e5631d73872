// The real client's window under the mouse and from the tray: hiding, showing, exiting, tabs,
// maximising, and its pixels on screen.

#include "e2e/client_process.h"
#include "mainwnd/MainWnd.h"
#include "res/resource.h"
#include "support/loopback_server.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace e2e;

namespace {

constexpr DWORD kStartTimeout = 20000;

// Stands in for the shell's notification area, which Wine's null display lacks: records every
// icon message, in the form in which Wine's shell passes it on.
class FakeTray {
public:
    struct Call {
        DWORD message; // NIM_ADD, NIM_DELETE, ...
        HWND owner;
        UINT id, flags, callback;
        std::wstring tip;
    };

    FakeTray() {
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this, ready] { Run(ready); });
        WaitForSingleObject(ready, 5000);
        CloseHandle(ready);
    }
    ~FakeTray() {
        PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        m_thread.join();
    }
    std::vector<Call> Calls() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    // Whether the icon of owner and id is there after all the calls so far.
    bool Holds(HWND owner, UINT id) {
        bool held = false;
        for (const Call& c : Calls()) {
            if (c.owner == owner && c.id == id && c.message != NIM_MODIFY)
                held = c.message == NIM_ADD;
        }
        return held;
    }

private:
    void Run(HANDLE ready) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Shell_TrayWnd";
        RegisterClassW(&wc);
        m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetEvent(ready);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
    }
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        auto* self = reinterpret_cast<FakeTray*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        if (m == WM_COPYDATA && self) {
            const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
            struct Head {
                LONG owner;
                UINT id, flags, callback;
                WCHAR tip[128];
            } head = {};
            memcpy(&head, cds->lpData, std::min<size_t>(sizeof head, cds->cbData));
            head.tip[127] = 0;
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_calls.push_back({static_cast<DWORD>(cds->dwData),
                                     reinterpret_cast<HWND>(static_cast<LONG_PTR>(head.owner)),
                                     head.id, head.flags, head.callback, head.tip});
            return TRUE;
        }
        if (m == WM_CLOSE) {
            DestroyWindow(h);
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(h, m, w, l);
    }

    HWND m_hWnd = nullptr;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Call> m_calls;
};

// A click as the mouse gives it, each message handled before the next.
void Click(HWND w, POINT p) {
    LPARAM l = MAKELPARAM(p.x, p.y);
    SendMessageW(w, WM_MOUSEMOVE, 0, l);
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, l);
    SendMessageW(w, WM_LBUTTONUP, 0, l);
}

POINT Tab(int i) {
    return POINT{214 + 97 * i, 28};
}

RECT WindowRect(HWND w) {
    RECT rc = {};
    GetWindowRect(w, &rc);
    return rc;
}

std::vector<HWND> Pages(HWND w) {
    std::vector<HWND> pages;
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        pages.push_back(c);
    return pages;
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, CountMarkedWindows()) << "a client is still running";
        ASSERT_TRUE(server.Start());
        ASSERT_TRUE(client.Start(install.ExePath()));
        w = WaitForMarkedWindow(kStartTimeout);
        ASSERT_TRUE(w);
        ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(w) != FALSE; }, 5000));
        ASSERT_GE(ProbeMessageLoop(w, 5000), 0);
    }
    void TearDown() override { client.Kill(); }

    FakeTray tray; // before the client, which adds its icon while it starts
    ClientInstall install;
    LoopbackServer server{kBoxPort};
    ClientProcess client;
    HWND w = nullptr;
};

} // namespace

TEST_F(Window, CloseHidesTheTrayBringsItBackAndExitEndsIt) {
    std::vector<FakeTray::Call> calls = tray.Calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), calls[0].message);
    EXPECT_EQ(w, calls[0].owner);
    EXPECT_EQ(102u, calls[0].id);
    EXPECT_EQ(7u, calls[0].flags);
    EXPECT_EQ(0x464u, calls[0].callback);
    EXPECT_EQ(L"Tovo开服", calls[0].tip);

    Click(w, POINT{1004 - 25, 20}); // the close button
    EXPECT_FALSE(IsWindowVisible(w));
    EXPECT_TRUE(client.Running());
    EXPECT_TRUE(tray.Holds(w, IDI_APP));

    PostMessageW(w, WM_TRAYNOTIFY, IDI_APP, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(w) != FALSE; }, 5000));

    // Any other close (Alt+F4) hides as well; "show main window" restores a minimised one.
    SendMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(w));
    PostMessageW(w, WM_TRAYNOTIFY, IDI_APP, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(w) != FALSE; }, 5000));
    ShowWindow(w, SW_MINIMIZE);
    PostMessageW(w, WM_COMMAND, ID_SHOW_MAIN, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(w) && IsWindowVisible(w); }, 5000));

    // Exit while hidden: the process ends normally and takes its icon along.
    SendMessageW(w, WM_CLOSE, 0, 0);
    PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
    EXPECT_EQ(0u, client.WaitExit(10000));
    EXPECT_FALSE(tray.Holds(w, IDI_APP));
    for (const FakeTray::Call& c : tray.Calls())
        EXPECT_NE(static_cast<DWORD>(NIM_MODIFY), c.message);
}

TEST_F(Window, TrayRightClickOffersTheMenuAndAClickElsewhereChoosesNothing) {
    PostMessageW(w, WM_TRAYNOTIFY, IDI_APP, WM_RBUTTONDOWN);
    HWND popup = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (popup = FindWindowW(L"#32768", nullptr)) != nullptr; }, 5000));
    EXPECT_TRUE(IsWindowVisible(popup));

    // The menu it shows, as the program carries it (menus do not cross processes).
    HMODULE exe = LoadLibraryExW(install.ExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    HMENU bar = LoadMenuW(exe, MAKEINTRESOURCEW(IDR_TRAYMENU));
    HMENU menu = GetSubMenu(bar, 0);
    const struct {
        UINT id;
        const wchar_t* text;
    } items[] = {{ID_SHOW_MAIN, L"显示主窗口"}, {ID_FEEDBACK, L"用户反馈"}, {ID_EXIT, L"退出"}};
    ASSERT_EQ(3, GetMenuItemCount(menu));
    for (int i = 0; i < 3; ++i) {
        wchar_t text[32] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 32, MF_BYPOSITION);
        EXPECT_EQ(items[i].id, GetMenuItemID(menu, i));
        EXPECT_STREQ(items[i].text, text);
    }
    DestroyMenu(bar);
    FreeLibrary(exe);

    PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(popup); }, 5000));
    ASSERT_GE(ProbeMessageLoop(w, 5000), 0);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_TRUE(client.Running());
}

TEST_F(Window, ATabCreatesItsPageOnceAndKeepsIt) {
    Click(w, Tab(0)); // its page exists from the start (or is made now)
    const std::vector<HWND> before = Pages(w);
    Click(w, Tab(4));
    std::vector<HWND> pages = Pages(w);
    ASSERT_EQ(before.size() + 1, pages.size());
    HWND libao = nullptr;
    for (HWND page : pages) {
        if (std::find(before.begin(), before.end(), page) == before.end())
            libao = page;
    }
    EXPECT_TRUE(IsWindowVisible(libao));

    Click(w, Tab(0));
    EXPECT_FALSE(IsWindowVisible(libao));
    for (int i = 0; i < 3; ++i)
        Click(w, Tab(4));
    EXPECT_EQ(before.size() + 1, Pages(w).size());
    EXPECT_TRUE(IsWindowVisible(libao));
    for (HWND page : Pages(w))
        EXPECT_EQ(page == libao, IsWindowVisible(page) != FALSE);

    // A page that loads its address asks the box server once, however often the tab is clicked.
    server.WaitForRequests(1, 2000);
    Sleep(500);
    size_t gets = 0;
    for (const LoopbackRequest& r : server.Requests())
        gets += r.method == "GET" && r.Path() == "/libao";
    EXPECT_LE(gets, 1u);
}

TEST_F(Window, MaximiseFillsTheWorkAreaAndRestoreGivesThePreviousSize) {
    RECT normal = WindowRect(w);
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Click(w, POINT{1004 - 59, 20}); // the maximise button
    RECT max = WindowRect(w);
    EXPECT_TRUE(EqualRect(&work, &max));

    Click(w, POINT{(max.right - max.left) - 59, 20});
    RECT restored = WindowRect(w);
    EXPECT_TRUE(EqualRect(&normal, &restored));
}

// What reaches the screen is what the off-screen render gives, outside the page area.
TEST_F(Window, ScreenShowsTheOffScreenRender) {
    wchar_t driver[16] = {};
    DWORD size = sizeof driver;
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Drivers", L"Graphics", RRF_RT_REG_SZ, nullptr,
                 driver, &size);
    if (wcscmp(driver, L"null") == 0)
        GTEST_SKIP() << "the null display keeps no screen; runs on X (e2e.x11.Screenshot)";
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    const int W = 1004, H = 695;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = W;
    bi.bmiHeader.biHeight = -H;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits[2] = {};
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP dib[2];
    for (int i = 0; i < 2; ++i)
        dib[i] = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits[i], nullptr, 0);

    RECT rc = WindowRect(w);
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dib[0]);
    BitBlt(dc, 0, 0, W, H, screen, rc.left, rc.top, SRCCOPY);
    {
        // The same skin lies beside the test program. Rendered as a paint renders, into a bitmap
        // compatible with the screen (text is smoothed for the device it lands on).
        CMainWnd reference;
        RemovePropW(reference.m_hWnd, kInstanceMarker);
        HDC ddbDC = CreateCompatibleDC(screen);
        HBITMAP ddb = CreateCompatibleBitmap(screen, W, H);
        HGDIOBJ oldDdb = SelectObject(ddbDC, ddb);
        SendMessageW(reference.m_hWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(ddbDC), PRF_CLIENT);
        SelectObject(dc, dib[1]);
        BitBlt(dc, 0, 0, W, H, ddbDC, 0, 0, SRCCOPY);
        SelectObject(ddbDC, oldDdb);
        DeleteObject(ddb);
        DeleteDC(ddbDC);
    }
    ReleaseDC(nullptr, screen);
    GdiFlush();
    SelectObject(dc, old);
    const DWORD* shot = static_cast<const DWORD*>(bits[0]);
    const DWORD* render = static_cast<const DWORD*>(bits[1]);
    int differing = 0, compared = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            bool page = x >= 1 && x < W - 1 && y >= 46 && y < H - 30;
            bool corner = (x < 2 || x >= W - 2) && (y < 2 || y >= H - 2); // rounded off
            if (page || corner)
                continue;
            ++compared;
            size_t i = static_cast<size_t>(y) * W + x;
            bool d = (shot[i] & 0xFFFFFF) != (render[i] & 0xFFFFFF);
            if (d && differing % 40 == 0)
                printf("(%d,%d %06lx %06lx) ", x, y, shot[i] & 0xFFFFFF, render[i] & 0xFFFFFF);
            differing += d;
        }
    }
    EXPECT_EQ(0, differing) << "of " << compared << " pixels";
    for (HBITMAP b : dib)
        DeleteObject(b);
    DeleteDC(dc);
    Gdiplus::GdiplusShutdown(token);
}
