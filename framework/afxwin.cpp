#include "framework/afxwin.h"

#include "framework/afxole.h"

#include <delayimp.h>
#include <ole2.h>

#include <iterator>
#include <new>
#include <set>
#include <vector>

namespace {

CWinApp* g_pApp = nullptr;

bool CommandMatches(const AFX_MSGMAP_ENTRY& e, UINT id) {
    return e.nLastID ? id >= e.nID && id <= e.nLastID : id == e.nID;
}
BOOL g_bControlContainer = FALSE;

// The object whose CreateEx is running on this thread: bound to its window on the first message,
// which may come before WM_NCCREATE (WM_GETMINMAXINFO does).
thread_local CWnd* t_pWndInit = nullptr;

const wchar_t kObjectProp[] = L"TovoFrameworkWnd";
// The window's own procedure, kept for a window whose object went while something that subclassed
// it after the object still passes its messages on to the framework.
const wchar_t kSuperProp[] = L"TovoFrameworkSuper";

std::wstring FileTitleOf(const std::wstring& path) {
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

} // namespace

// ---- application ----

CWinApp::CWinApp(LPCWSTR pszAppName) {
    if (pszAppName)
        m_strAppName = pszAppName;
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

void CWinApp::SetStartupInfo(HINSTANCE hInstance, LPWSTR lpCmdLine, int nCmdShow) {
    m_hInstance = hInstance;
    m_strCmdLine = lpCmdLine ? lpCmdLine : L"";
    m_lpCmdLine = &m_strCmdLine[0];
    m_nCmdShow = nCmdShow;
    if (m_strAppName.empty()) {
        // 0xE000 is the framework's application-title string id.
        wchar_t title[256] = {};
        if (LoadStringW(hInstance, 0xE000, title, 256) > 0)
            m_strAppName = title;
        else
            m_strAppName = FileTitleOf(AfxGetModuleFileName(nullptr));
    }
    m_pszAppName = m_strAppName.c_str();
}

BOOL CWinThread::InitInstance() {
    return FALSE;
}
int CWinThread::ExitInstance() {
    return static_cast<int>(m_msgCur.wParam);
}

int CWinThread::Run() {
    // Without a main window nothing could ever end the loop.
    if (!m_pMainWnd || !IsWindow(m_pMainWnd->m_hWnd))
        PostQuitMessage(0);
    for (;;) {
        BOOL got = GetMessageW(&m_msgCur, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        if (AfxTranslateMainAccelerator(m_pMainWnd, &m_msgCur) || AfxPreTranslateMessage(&m_msgCur))
            continue;
        TranslateMessage(&m_msgCur);
        DispatchMessageW(&m_msgCur);
    }
    return ExitInstance();
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}
int CWinApp::ExitInstance() {
    return CWinThread::ExitInstance();
}
int CWinApp::Run() {
    return CWinThread::Run();
}

BOOL AfxPreTranslateMessage(MSG* pMsg) {
    // The target and then each parent that the framework knows, up to the top-level window.
    for (HWND hWnd = pMsg->hwnd; hWnd; hWnd = GetAncestor(hWnd, GA_PARENT)) {
        if (CWnd* pWnd = CWnd::FromHandlePermanent(hWnd)) {
            if (pWnd->PreTranslateMessage(pMsg))
                return TRUE;
        }
        if (!(GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_CHILD))
            break;
    }
    return FALSE;
}

BOOL AfxTranslateMainAccelerator(CWnd* pMainWnd, MSG* pMsg) {
    if (!pMainWnd || pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST)
        return FALSE;
    HWND hMain = pMainWnd->m_hWnd;
    if (!hMain || (pMsg->hwnd != hMain && !IsChild(hMain, pMsg->hwnd)))
        return FALSE;
    HACCEL hAccel = pMainWnd->GetDefaultAccelerator();
    return hAccel && TranslateAcceleratorW(hMain, hAccel, pMsg);
}

CWinApp* AfxGetApp() {
    return g_pApp;
}

HINSTANCE AfxGetInstanceHandle() {
    return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : GetModuleHandleW(nullptr);
}

HINSTANCE AfxGetResourceHandle() {
    return AfxGetInstanceHandle();
}

LPCWSTR AfxGetAppName() {
    if (g_pApp && g_pApp->m_pszAppName)
        return g_pApp->m_pszAppName;
    static const std::wstring name = FileTitleOf(AfxGetModuleFileName(nullptr));
    return name.c_str();
}

CWnd* AfxGetMainWnd() {
    return g_pApp ? g_pApp->m_pMainWnd : nullptr;
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR lpCmdLine, int nCmdShow) {
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    BOOL started = FALSE;
    try {
        app->SetStartupInfo(hInstance, lpCmdLine, nCmdShow);
        started = app->InitInstance();
    } catch (...) {
        AfxAbsorbException(); // a start that threw has failed
    }
    if (!started) {
        // What the start acquired is released all the same, and the exit code says it failed.
        if (app->m_pMainWnd)
            app->m_pMainWnd->DestroyWindow();
        app->ExitInstance();
        return -1;
    }
    return app->Run();
}

std::wstring AfxGetModuleFileName(HMODULE hModule) {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(hModule, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return std::wstring();
        // A full buffer means the path may have been cut: grow until it fits.
        if (n < buf.size() - 1)
            return std::wstring(buf.data(), n);
        if (buf.size() >= 32768 * 2)
            return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

std::wstring AfxSystemLibraryPath(LPCWSTR pszName) {
    UINT n = GetSystemDirectoryW(nullptr, 0);
    if (n == 0)
        return std::wstring();
    std::vector<wchar_t> buf(n + 1);
    n = GetSystemDirectoryW(buf.data(), static_cast<UINT>(buf.size()));
    std::wstring path(buf.data(), n);
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path + pszName;
}

HMODULE AfxLoadSystemLibrary(LPCWSTR pszName) {
    std::wstring path = AfxSystemLibraryPath(pszName);
    return path.empty() ? nullptr : LoadLibraryW(path.c_str());
}

FARPROC WINAPI AfxDelayLoadHook(unsigned dliNotify, DelayLoadInfo* pdli) noexcept {
    if (dliNotify != dliNotePreLoadLibrary || !pdli || !pdli->szDll)
        return nullptr;
    wchar_t path[MAX_PATH + 64];
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return nullptr;
    if (path[n - 1] != L'\\')
        path[n++] = L'\\';
    int room = static_cast<int>(std::size(path) - n);
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pdli->szDll, -1, path + n, room) == 0)
        return nullptr;
    return reinterpret_cast<FARPROC>(LoadLibraryW(path));
}

LPCWSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hbrBackground, HICON hIcon) {
    static std::set<std::wstring> registered;
    HINSTANCE hInst = AfxGetInstanceHandle();
    wchar_t name[96];
    wsprintfW(name, L"Afx:%p:%x:%p:%p:%p", static_cast<void*>(hInst), nClassStyle,
              static_cast<void*>(hCursor), static_cast<void*>(hbrBackground),
              static_cast<void*>(hIcon));
    auto it = registered.find(name);
    if (it != registered.end())
        return it->c_str();
    WNDCLASSW wc = {};
    wc.style = nClassStyle;
    wc.lpfnWndProc = AfxWndProc;
    wc.hInstance = hInst;
    wc.hIcon = hIcon;
    wc.hCursor = hCursor;
    wc.hbrBackground = hbrBackground;
    wc.lpszClassName = name;
    WNDCLASSW existing = {};
    if (!GetClassInfoW(hInst, name, &existing) && !RegisterClassW(&wc))
        return nullptr;
    return registered.insert(name).first->c_str();
}

BOOL AfxOleInit() {
    return SUCCEEDED(OleInitialize(nullptr));
}

void AfxOleTerm(BOOL bJustRevoke) {
    if (!bJustRevoke)
        OleUninitialize();
}

void AfxEnableControlContainer() {
    g_bControlContainer = TRUE;
}
BOOL AfxOleControlContainerEnabled() {
    return g_bControlContainer;
}

void AfxAbsorbException() noexcept {
    try {
        throw;
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

namespace {

struct ThreadStart {
    AFX_THREADPROC pfn;
    LPVOID pParam;
};

DWORD WINAPI AfxThreadEntry(LPVOID p) {
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    try {
        return start.pfn(start.pParam);
    } catch (...) {
        AfxAbsorbException();
        return static_cast<DWORD>(-1);
    }
}

} // namespace

HANDLE AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam) {
    auto* start = new (std::nothrow) ThreadStart{pfnThreadProc, pParam};
    HANDLE hThread = start ? CreateThread(nullptr, 0, AfxThreadEntry, start, 0, nullptr) : nullptr;
    if (!hThread)
        delete start;
    return hThread;
}

// ---- windows ----

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, FALSE, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

CWnd::~CWnd() {
    if (m_pCtrlSite)
        COleControlSite::DestroyControl(this);
    if (m_hWnd && IsWindow(m_hWnd)) {
        // The object goes first: the window must no longer reach it. A window made elsewhere
        // gets its own procedure back, which then sees the window's end; while something that
        // subclassed it after us still calls ours, ours passes everything on to it instead.
        RemovePropW(m_hWnd, kObjectProp);
        if (m_pfnSuper) {
            if (GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&AfxWndProc))
                SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
            else
                SetPropW(m_hWnd, kSuperProp, reinterpret_cast<HANDLE>(m_pfnSuper));
        }
        ::DestroyWindow(m_hWnd);
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    return hWnd ? static_cast<CWnd*>(GetPropW(hWnd, kObjectProp)) : nullptr;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle,
                    int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                    LPVOID lpParam) {
    HINSTANCE hInst = AfxGetInstanceHandle();
    CWnd* previous = t_pWndInit;
    t_pWndInit = this;
    CallFrame frame = {m_pCalls, false, false, 0};
    m_pCalls = &frame;
    HWND hWnd = CreateWindowExW(dwExStyle, lpszClassName, lpszWindowName, dwStyle, x, y, nWidth,
                                nHeight, hWndParent, nIDorHMenu, hInst, lpParam);
    t_pWndInit = previous;
    if (frame.bObjectGone)
        return FALSE; // bound, then destroyed by a failed creation: the object may be gone too
    m_pCalls = frame.pOuter;
    if (!hWnd)
        m_hWnd = nullptr;
    return hWnd != nullptr;
}

BOOL CWnd::DestroyWindow() {
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

LRESULT CWnd::Default() {
    // The frame lives on its caller's stack: still there if the default processing ended the
    // object.
    CallFrame* frame = m_pCalls;
    LRESULT result = DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
    if (frame) {
        frame->bDefaulted = true;
        frame->defaultResult = result;
    }
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (m_hWnd || !hWnd || FromHandlePermanent(hWnd))
        return FALSE;
    m_hWnd = hWnd;
    SetPropW(hWnd, kObjectProp, this);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    return TRUE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pCtrlSite)
        COleControlSite::OnHostMessage(this, message, wParam, lParam);
    for (const AFX_MSGMAP* map = GetMessageMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nMessage != 0; ++e) {
            if (e->nMessage != message)
                continue;
            if (e->bCommand && !CommandMatches(*e, LOWORD(wParam)))
                continue;
            return e->pfn(this, wParam, lParam);
        }
    }
    return DefWindowProc(message, wParam, lParam);
}

void CWnd::OnNcDestroy() {
    RemovePropW(m_hWnd, kObjectProp);
    m_hWnd = nullptr;
    // PostNcDestroy may delete the object: no call still running for it may touch it afterwards.
    for (CallFrame* frame = m_pCalls; frame; frame = frame->pOuter)
        frame->bObjectGone = true;
    m_pCalls = nullptr;
    m_pfnSuper = nullptr;
    // The end of the application's main window ends its message loop.
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
        PostQuitMessage(0);
    }
    PostNcDestroy();
}

LRESULT AfxCallWndProc(CWnd* pWnd, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd::CurrentMessage saved = pWnd->m_current;
    pWnd->m_current = {message, wParam, lParam};
    LRESULT result;
    if (message == WM_NCDESTROY) {
        result = pWnd->m_pfnSuper ? CallWindowProcW(pWnd->m_pfnSuper, hWnd, message, wParam, lParam)
                                  : DefWindowProcW(hWnd, message, wParam, lParam);
        pWnd->OnNcDestroy();
        return result;
    }
    CWnd::CallFrame frame = {pWnd->m_pCalls, false, false, 0};
    pWnd->m_pCalls = &frame;
    try {
        result = pWnd->WindowProc(message, wParam, lParam);
    } catch (...) {
        AfxAbsorbException();
        // A creation that threw fails, and the system destroys the half-made window. Any other
        // message gets its default processing once: not again when the handler already ran it,
        // and not at all when the window has gone meanwhile.
        if (message == WM_NCCREATE)
            result = FALSE;
        else if (message == WM_CREATE)
            result = -1;
        else if (frame.bDefaulted)
            result = frame.defaultResult;
        else
            result = frame.bObjectGone ? 0 : pWnd->CWnd::DefWindowProc(message, wParam, lParam);
    }
    if (frame.bObjectGone)
        return result; // the handler destroyed the window, and the object may have gone with it
    pWnd->m_pCalls = frame.pOuter;
    pWnd->m_current = saved;
    return result;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd && t_pWndInit && !t_pWndInit->m_hWnd) {
        pWnd = t_pWndInit;
        pWnd->m_hWnd = hWnd;
        SetPropW(hWnd, kObjectProp, pWnd);
    }
    if (!pWnd) {
        auto super = reinterpret_cast<WNDPROC>(GetPropW(hWnd, kSuperProp));
        if (!super)
            return DefWindowProcW(hWnd, message, wParam, lParam);
        if (message == WM_NCDESTROY)
            RemovePropW(hWnd, kSuperProp);
        return CallWindowProcW(super, hWnd, message, wParam, lParam);
    }
    return AfxCallWndProc(pWnd, hWnd, message, wParam, lParam);
}
