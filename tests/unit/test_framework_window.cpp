// A framework window that deletes itself when its window ends, as page windows do; exceptions
// stopped where the system called in.

#include "framework/afxwin.h"
#include "report/NetworkProbe.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <cstring>
#include <new>

namespace {

int ThreadCount() {
    int n = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 te = {};
    te.dwSize = sizeof te;
    for (BOOL more = Thread32First(snap, &te); more; more = Thread32Next(snap, &te))
        n += te.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snap);
    return n;
}

// Its memory is poisoned instead of freed, so that any later write into the object shows.
class CSelfDeleting : public CWnd {
public:
    static void* operator new(std::size_t size) { return s_pBlock = ::operator new(size); }
    static void operator delete(void* p, std::size_t size) {
        std::memset(p, 0xDD, size);
        ++s_nDeleted;
    }
    static inline void* s_pBlock = nullptr;
    static inline int s_nDeleted = 0;
    static inline UINT s_nFailIn = 0; // the creation message that fails, refusing or throwing
    static inline bool s_bThrow = false;

protected:
    LRESULT Fail(LRESULT refusal) { return s_bThrow ? throw std::bad_alloc() : refusal; }
    LRESULT OnNcCreate(WPARAM, LPARAM) {
        return s_nFailIn == WM_NCCREATE ? Fail(FALSE) : Default();
    }
    int OnCreate(LPCREATESTRUCTW) { return s_nFailIn == WM_CREATE ? int(Fail(-1)) : 0; }
    void OnClose() { DestroyWindow(); }
    LRESULT OnCloseFromInside(WPARAM, LPARAM) { return SendMessage(WM_CLOSE); }
    void PostNcDestroy() override { delete this; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSelfDeleting, CWnd)
ON_MESSAGE(WM_NCCREATE, OnNcCreate)
ON_WM_CREATE()
ON_WM_CLOSE()
ON_MESSAGE(WM_APP, OnCloseFromInside)
END_MESSAGE_MAP()

// Records which entry of its map a command reached.
class CCommandTarget : public CWnd {
public:
    static inline UINT s_nRange = 0, s_nAfter = 0;

protected:
    void OnRange(UINT nID) { s_nRange = nID; }
    void OnAfter() { ++s_nAfter; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CCommandTarget, CWnd)
ON_COMMAND_RANGE(10, 20, OnRange)
ON_COMMAND(30, OnAfter)
END_MESSAGE_MAP()

} // namespace

TEST(FrameworkWindow, NothingWritesIntoASelfDeletedWindow) {
    // Destroyed by its handler, nested, or by its own creation, refused or thrown: that creation
    // fails whole, and the object is deleted once.
    const struct {
        UINT message, failIn;
        bool thrown;
    } cases[] = {{WM_CLOSE, 0, false},
                 {WM_APP, 0, false},
                 {0, WM_CREATE, false},
                 {0, WM_NCCREATE, true},
                 {0, WM_CREATE, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.message << " " << c.failIn << " " << c.thrown);
        CSelfDeleting::s_nFailIn = c.failIn;
        CSelfDeleting::s_bThrow = c.thrown;
        CSelfDeleting::s_nDeleted = 0;
        CSelfDeleting* wnd = new CSelfDeleting;
        const unsigned char* block = static_cast<const unsigned char*>(CSelfDeleting::s_pBlock);
        BOOL created = wnd->CreateEx(0, AfxRegisterWndClass(0), L"TovoSelfDeleting", WS_POPUP, 0, 0,
                                     9, 9, nullptr, nullptr);
        ASSERT_EQ(!c.failIn, created != FALSE);
        if (created)
            SendMessageW(wnd->m_hWnd, c.message, 0, 0);
        size_t touched = 0;
        for (size_t i = 0; i < sizeof(CSelfDeleting); ++i)
            touched += block[i] != 0xDD;
        EXPECT_EQ(0u, touched) << "bytes written after the object was deleted";
        EXPECT_EQ(1, CSelfDeleting::s_nDeleted);
        EXPECT_FALSE(FindWindowW(nullptr, L"TovoSelfDeleting"));
        ::operator delete(const_cast<unsigned char*>(block));
    }
}

namespace {

int g_nOwnEnds = 0, g_nOwnCalls = 0, g_nLaterEnds = 0;
LRESULT CALLBACK OwnProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_nOwnEnds += message == WM_NCDESTROY;
    g_nOwnCalls += message == WM_APP;
    return message == WM_APP ? 42 : DefWindowProcW(hWnd, message, wParam, lParam);
}
WNDPROC g_pfnBeforeLater = nullptr;
LRESULT CALLBACK LaterProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_nLaterEnds += message == WM_NCDESTROY;
    return CallWindowProcW(g_pfnBeforeLater, hWnd, message, wParam, lParam);
}

class CSubclassing : public CWnd {
public:
    using CWnd::SubclassWindow;

protected:
    LRESULT OnDefaultThenThrow(WPARAM, LPARAM) { throw Default(); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSubclassing, CWnd)
ON_MESSAGE(WM_APP, OnDefaultThenThrow)
END_MESSAGE_MAP()

} // namespace

// An object bound to a window made elsewhere (as a dialog is) and deleted before it, with and
// without something that subclassed the window after it; a handler that ran the window's own
// processing and then threw.
TEST(FrameworkWindow, AWindowMadeElsewhereGetsItsOwnProcessingOnceAndSeesItsEnd) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = OwnProcedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TovoOwnProcedure";
    RegisterClassW(&wc);
    for (bool later : {false, true}) {
        g_nOwnEnds = g_nOwnCalls = g_nLaterEnds = 0;
        auto* wnd = new CSubclassing;
        ASSERT_TRUE(
            wnd->SubclassWindow(CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 9, 9,
                                                nullptr, nullptr, wc.hInstance, nullptr)));
        HWND hWnd = wnd->m_hWnd;
        if (later)
            g_pfnBeforeLater = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LaterProcedure)));
        EXPECT_EQ(42, SendMessageW(hWnd, WM_APP, 0, 0));
        delete wnd;
        EXPECT_FALSE(IsWindow(hWnd));
        EXPECT_EQ(1, g_nOwnCalls) << later;
        EXPECT_EQ(1, g_nOwnEnds) << later;
        EXPECT_EQ(later ? 1 : 0, g_nLaterEnds);
    }
}

namespace {

class CThrowing : public CWnd {
protected:
    LRESULT OnSetText(WPARAM, LPARAM) { throw std::bad_alloc(); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CThrowing, CWnd)
ON_MESSAGE(WM_SETTEXT, OnSetText)
END_MESSAGE_MAP()

} // namespace

// On the 32-bit build each of these would end the process; the 64-bit build would carry the
// exception into the test.
TEST(FrameworkWindow, WhatAHandlerThrowsStopsWhereTheSystemCalledIn) {
    CThrowing wnd;
    ASSERT_TRUE(
        wnd.CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr));
    EXPECT_TRUE(SetWindowTextW(wnd.m_hWnd, L"kept")); // the default processing still ran
    wchar_t text[8] = {};
    GetWindowTextW(wnd.m_hWnd, text, 8);
    EXPECT_STREQ(L"kept", text);

    HANDLE thread = AfxBeginThread([](LPVOID) -> UINT { throw new CException; }, nullptr);
    ASSERT_TRUE(thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(static_cast<DWORD>(-1), code);

    // A probe whose check throws counts as offline.
    const int threads = ThreadCount();
    for (bool throws : {false, true}) {
        auto check = throws ? +[](const std::wstring&) -> BOOL { throw std::bad_alloc(); }
                            : +[](const std::wstring&) -> BOOL { return TRUE; };
        std::future<BOOL> answer = StartConnectionCheck(L"", check);
        EXPECT_EQ(!throws, AwaitConnectionCheck(answer, 10000) != FALSE);
    }
    // The answer comes before the worker has unwound; the program must not end under it.
    for (int i = 0; i < 500 && ThreadCount() > threads; ++i)
        Sleep(10);
}

// A range takes its own ids only: a command entry after it still gets its command.
TEST(FrameworkWindow, CommandRangeTakesOnlyItsOwnIds) {
    CCommandTarget wnd;
    ASSERT_TRUE(wnd.CreateEx(0, AfxRegisterWndClass(0), L"TovoCommands", WS_POPUP, 0, 0, 9, 9,
                             nullptr, nullptr));
    const struct {
        UINT id, range, after;
    } cases[] = {{10, 10, 0}, {20, 20, 0}, {15, 15, 0}, {30, 0, 1}, {9, 0, 0}, {21, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        CCommandTarget::s_nRange = CCommandTarget::s_nAfter = 0;
        wnd.SendMessage(WM_COMMAND, c.id, 0);
        EXPECT_EQ(c.range, CCommandTarget::s_nRange);
        EXPECT_EQ(c.after, CCommandTarget::s_nAfter);
    }
    wnd.DestroyWindow();
}
