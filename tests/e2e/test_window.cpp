// The real client's window under the mouse, the keys, a screen reader and from the tray: hiding,
// showing, exiting, tabs, maximising, and its pixels on screen.

#include "e2e/client_process.h"
#include "mainwnd/MainWnd.h"
#include "res/resource.h"
#include "support/loopback_server.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

#include <oleacc.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace e2e;

namespace {

constexpr DWORD kStartTimeout = 20000;

// Stands in for the shell's notification area, which Wine's null display lacks: records every
// icon message in the form in which Wine's shell passes it on (owner, id, flags, callback, tip).
class FakeTray {
public:
    struct Call {
        DWORD message;
        LONG owner;
        UINT id, flags, callback;
        WCHAR tip[128];
    };

    FakeTray() {
        m_thread = std::thread([this] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"Shell_TrayWnd";
            RegisterClassW(&wc);
            m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                     nullptr, wc.hInstance, nullptr);
            SetWindowLongPtrW(m_hWnd.load(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0)
                DispatchMessageW(&msg);
            DestroyWindow(m_hWnd.load());
        });
        WaitUntil([&] { return m_hWnd.load() != nullptr; }, 5000);
    }
    ~FakeTray() {
        PostMessageW(m_hWnd.load(), WM_QUIT, 0, 0);
        m_thread.join();
    }
    std::vector<Call> Calls() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    // Whether the icon of that owner and id is there after all the calls so far.
    bool Holds(HWND owner, UINT id) {
        bool held = false;
        for (const Call& c : Calls()) {
            if (reinterpret_cast<HWND>(static_cast<LONG_PTR>(c.owner)) == owner && c.id == id)
                held = c.message == NIM_ADD || (held && c.message == NIM_MODIFY);
        }
        return held;
    }

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        auto* self = reinterpret_cast<FakeTray*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        if (m != WM_COPYDATA || !self)
            return DefWindowProcW(h, m, w, l);
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
        Call call = {};
        call.message = static_cast<DWORD>(cds->dwData);
        memcpy(&call.owner, cds->lpData,
               std::min<size_t>(sizeof call - offsetof(Call, owner), cds->cbData));
        call.tip[127] = 0;
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_calls.push_back(call);
        return TRUE;
    }

    std::atomic<HWND> m_hWnd{nullptr};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Call> m_calls;
};

POINT Tab(int i) {
    return POINT{214 + 97 * i, 28};
}

RECT WindowRect(HWND w) {
    RECT rc = {};
    GetWindowRect(w, &rc);
    return rc;
}

// Keys pressed together as the keyboard gives them, released in reverse order.
void PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> input;
    for (DWORD up : {0, KEYEVENTF_KEYUP}) {
        for (size_t i = 0; i < keys.size(); ++i) {
            INPUT in = {};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = up ? keys.begin()[keys.size() - 1 - i] : keys.begin()[i];
            in.ki.dwFlags = up;
            input.push_back(in);
        }
    }
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

// The window of another thread that has its keyboard focus.
HWND FocusOf(HWND w) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info);
    return info.hwndFocus;
}

// Waits while handling this thread's messages, through which screen-reader events arrive.
template <typename Pred> bool PumpUntil(Pred pred, DWORD timeoutMs) {
    return WaitUntil(
        [&] {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            return pred();
        },
        timeoutMs);
}

// The client-area events a screen reader hears: (event, child id).
std::vector<std::pair<DWORD, LONG>> g_events;
void CALLBACK RecordEvent(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD) {
    if (object == OBJID_CLIENT)
        g_events.emplace_back(event, child);
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
    const FakeTray::Call& add = calls[0];
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), add.message);
    EXPECT_TRUE(add.id == 102 && add.flags == 7 && add.callback == 0x464) << add.flags;
    EXPECT_STREQ(L"Tovo开服", add.tip);
    EXPECT_TRUE(tray.Holds(w, IDI_APP));

    testutil::Click(w, POINT{1004 - 25, 20}); // the close button
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
    // The menu window may exist a moment before it is shown.
    ASSERT_TRUE(WaitUntil(
        [&] {
            popup = FindWindowW(L"#32768", nullptr);
            return popup && IsWindowVisible(popup);
        },
        5000));

    PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(popup); }, 5000));
    ASSERT_GE(ProbeMessageLoop(w, 5000), 0);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_TRUE(client.Running());
}

TEST_F(Window, ATabCreatesItsPageOnceAndKeepsIt) {
    testutil::Click(w, Tab(0)); // its page exists from the start (or is made now)
    const std::vector<HWND> before = Pages(w);
    testutil::Click(w, Tab(4));
    std::vector<HWND> pages = Pages(w);
    ASSERT_EQ(before.size() + 1, pages.size());
    HWND libao = nullptr;
    for (HWND page : pages) {
        if (std::find(before.begin(), before.end(), page) == before.end())
            libao = page;
    }
    EXPECT_TRUE(IsWindowVisible(libao));

    testutil::Click(w, Tab(0));
    EXPECT_FALSE(IsWindowVisible(libao));
    for (int i = 0; i < 3; ++i)
        testutil::Click(w, Tab(4));
    EXPECT_EQ(before.size() + 1, Pages(w).size());
    EXPECT_TRUE(IsWindowVisible(libao));
    for (HWND page : Pages(w))
        EXPECT_EQ(page == libao, IsWindowVisible(page) != FALSE);

    // The box server sees one GET however often the tab is clicked (among the report's and the
    // update check's requests).
    WaitUntil([&] { return server.GetsOf("/libao") > 0; }, 3000);
    Sleep(300);
    size_t gets = 0;
    for (const LoopbackRequest& r : server.Requests())
        gets += r.method == "GET" && r.Path() == "/libao";
    EXPECT_EQ(1u, gets);
}

TEST_F(Window, MaximiseFillsTheWorkAreaAndRestoreGivesThePreviousSize) {
    RECT normal = WindowRect(w);
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    testutil::Click(w, POINT{1004 - 59, 20}); // the maximise button
    RECT max = WindowRect(w);
    EXPECT_TRUE(EqualRect(&work, &max));

    testutil::Click(w, POINT{(max.right - max.left) - 59, 20});
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
    RECT rc = WindowRect(w);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP shot = CreateCompatibleBitmap(screen, W, H),
            render = CreateCompatibleBitmap(screen, W, H);
    HGDIOBJ old = SelectObject(dc, render);
    {
        // The same skin lies beside the test program. Rendered into a bitmap compatible with the
        // screen, as a paint does: text is smoothed for the device it lands on.
        CMainWnd reference;
        RemovePropW(reference.m_hWnd, kInstanceMarker);
        SendMessageW(reference.m_hWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    }
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof bi.bmiHeader, W, -H, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> a(static_cast<size_t>(W) * H), b(a.size());
    SelectObject(dc, old);
    GetDIBits(dc, render, 0, H, b.data(), &bi, DIB_RGB_COLORS);
    // The window's paint reaches the X server a little later than the window shows.
    int differing = -1;
    WaitUntil(
        [&] {
            SelectObject(dc, shot);
            BitBlt(dc, 0, 0, W, H, screen, rc.left, rc.top, SRCCOPY);
            SelectObject(dc, old);
            GetDIBits(dc, shot, 0, H, a.data(), &bi, DIB_RGB_COLORS);
            differing = 0;
            for (int y = 0; y < H; ++y) {
                for (int x = 0; x < W; ++x) {
                    bool page = x >= 1 && x < W - 1 && y >= 46 && y < H - 30;
                    bool corner = (x < 2 || x >= W - 2) && (y < 2 || y >= H - 2); // rounded off
                    size_t i = static_cast<size_t>(y) * W + x;
                    differing += !page && !corner && (a[i] & 0xFFFFFF) != (b[i] & 0xFFFFFF);
                }
            }
            return differing == 0;
        },
        5000);
    EXPECT_EQ(0, differing);
    DeleteObject(shot);
    DeleteObject(render);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    Gdiplus::GdiplusShutdown(token);
}

// With the page focused, as at start-up, the keys select tabs, and each hands the focus to the page
// it shows. Under Wine's null display SendInput reaches the client's focused window; a click into
// a page gives it no focus here (no page engine), so the start's focus stands in for one.
TEST_F(Window, TabKeysSelectTabsFromAFocusedPageAndFocusTheirPage) {
    std::vector<HWND> pageOf(6);
    pageOf[0] = Pages(w).at(0);
    const struct {
        std::initializer_list<WORD> keys;
        int tab;
    } steps[] = {{{VK_CONTROL, VK_TAB}, 1},  {{VK_CONTROL, '6'}, 5},
                 {{VK_CONTROL, '1'}, 0},     {{VK_CONTROL, VK_SHIFT, VK_TAB}, 5},
                 {{VK_CONTROL, VK_NEXT}, 0}, {{VK_CONTROL, VK_PRIOR}, 5}};
    for (const auto& step : steps) {
        ASSERT_TRUE(IsChild(w, FocusOf(w))) << "the focus is not in a page";
        PressKeys(step.keys);
        EXPECT_TRUE(WaitUntil(
            [&] {
                for (HWND page : Pages(w)) { // a page new to the test is this tab's
                    if (IsWindowVisible(page) &&
                        std::find(pageOf.begin(), pageOf.end(), page) == pageOf.end())
                        pageOf[step.tab] = page;
                }
                HWND page = pageOf[step.tab];
                return page && IsWindowVisible(page) && IsChild(page, FocusOf(w));
            },
            5000))
            << "tab " << step.tab;
    }
    for (const char* path : {"/", "/kaifu", "/kaice"})
        EXPECT_EQ(1u, server.GetsOf(path)) << path;
    EXPECT_EQ(3u, Pages(w).size());
}

// What a screen reader in another process finds and presses.
TEST_F(Window, AScreenReaderReadsThePaintedControlsAndPressesThem) {
    ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
    IAccessible* acc = nullptr;
    ASSERT_HRESULT_SUCCEEDED(AccessibleObjectFromWindow(
        w, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible, reinterpret_cast<void**>(&acc)));
    auto child = [](long id) {
        VARIANT v;
        v.vt = VT_I4;
        v.lVal = id;
        return v;
    };
    auto text = [&](HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), long id) {
        BSTR b = nullptr;
        (acc->*get)(child(id), &b);
        std::wstring s = b ? b : L"";
        SysFreeString(b);
        return s;
    };
    auto number = [&](HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), long id) {
        VARIANT v;
        VariantInit(&v);
        return SUCCEEDED((acc->*get)(child(id), &v)) && v.vt == VT_I4 ? v.lVal : -1;
    };
    const struct {
        const wchar_t* name;
        long role;
    } children[] = {{L"意见反馈", ROLE_SYSTEM_PUSHBUTTON}, {L"最小化", ROLE_SYSTEM_PUSHBUTTON},
                    {L"最大化", ROLE_SYSTEM_PUSHBUTTON},   {L"关闭", ROLE_SYSTEM_PUSHBUTTON},
                    {L"访问官网", ROLE_SYSTEM_LINK},       {L"热门推荐", ROLE_SYSTEM_PAGETAB},
                    {L"开服表", ROLE_SYSTEM_PAGETAB},      {L"游戏大全", ROLE_SYSTEM_PAGETAB},
                    {L"运营平台", ROLE_SYSTEM_PAGETAB},    {L"礼包领取", ROLE_SYSTEM_PAGETAB},
                    {L"开测表", ROLE_SYSTEM_PAGETAB}};
    long count = 0;
    ASSERT_HRESULT_SUCCEEDED(acc->get_accChildCount(&count));
    EXPECT_EQ(12, count); // and the first tab's page
    for (long id = 1; id <= 11; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(children[id - 1].name, text(&IAccessible::get_accName, id));
        EXPECT_EQ(children[id - 1].role, number(&IAccessible::get_accRole, id));
        bool tab = id >= 6;
        EXPECT_EQ(tab ? L"Ctrl+" + std::to_wstring(id - 5) : L"",
                  text(&IAccessible::get_accKeyboardShortcut, id));
        EXPECT_EQ(id == 6, (number(&IAccessible::get_accState, id) & STATE_SYSTEM_SELECTED) != 0);
    }
    IDispatch* page = nullptr;
    EXPECT_EQ(S_OK, acc->get_accChild(child(12), &page));
    ASSERT_TRUE(page);
    page->Release();

    // The gift tab: where it is on the screen, and a press that opens it, as a click would.
    RECT rc = WindowRect(w);
    long x = 0, y = 0, cx = 0, cy = 0;
    ASSERT_HRESULT_SUCCEEDED(acc->accLocation(&x, &y, &cx, &cy, child(10)));
    EXPECT_TRUE(x == rc.left + 554 && y == rc.top + 8 && cx == 97 && cy == 40);
    VARIANT hit;
    ASSERT_HRESULT_SUCCEEDED(acc->accHitTest(x + 48, y + 20, &hit));
    EXPECT_TRUE(hit.vt == VT_I4 && hit.lVal == 10);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_NAMECHANGE, nullptr,
                                         RecordEvent, client.Pid(), 0, WINEVENT_OUTOFCONTEXT);
    EXPECT_HRESULT_SUCCEEDED(acc->accDoDefaultAction(child(10)));
    EXPECT_TRUE(WaitUntil([&] { return server.GetsOf("/libao") == 1; }, 5000));
    EXPECT_TRUE(number(&IAccessible::get_accState, 10) & STATE_SYSTEM_SELECTED);
    EXPECT_FALSE(number(&IAccessible::get_accState, 6) & STATE_SYSTEM_SELECTED);

    // The maximise button maximises and is then called restore; close hides.
    EXPECT_HRESULT_SUCCEEDED(acc->accDoDefaultAction(child(3)));
    EXPECT_TRUE(WaitUntil([&] { return text(&IAccessible::get_accName, 3) == L"还原"; }, 5000));
    EXPECT_HRESULT_SUCCEEDED(acc->accDoDefaultAction(child(4)));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(w); }, 5000));
    using Event = std::pair<DWORD, LONG>;
    EXPECT_TRUE(PumpUntil(
        [&] {
            auto heard = [](Event e) { return std::count(g_events.begin(), g_events.end(), e); };
            return heard({EVENT_OBJECT_SELECTION, 10}) == 1 &&
                   heard({EVENT_OBJECT_NAMECHANGE, 3}) == 1;
        },
        5000));
    // A tab never reports the focus, so no focus event names one.
    EXPECT_EQ(0, std::count(g_events.begin(), g_events.end(), Event{EVENT_OBJECT_FOCUS, 10}));
    EXPECT_TRUE(client.Running());
    UnhookWinEvent(hook);
    acc->Release();
    CoUninitialize();
}
