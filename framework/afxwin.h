#pragma once
// A small stand-in for the Windows application framework: application object, windows with
// message maps, window-class registration and the OLE start-up calls. Only what the client uses.

#include <windows.h>

#include <ole2.h>

#include <string>

class CWnd;
class COleControlSite;
struct AFX_EVENTSINKMAP;
struct DelayLoadInfo;

class CObject {
public:
    virtual ~CObject() = default;
};

class CCmdTarget : public CObject {
public:
    // The control events this object handles (framework/afxole.h); none by default.
    virtual const AFX_EVENTSINKMAP* GetEventSinkMap() const { return nullptr; }
};

// Framework exceptions are thrown by pointer and freed by whoever catches them.
class CException : public CObject {
public:
    void Delete() { delete this; }
};

// Drops the exception being handled, freeing a framework one. Called only inside a catch block,
// at the places where a call from the system returns: the 32-bit build cannot unwind through the
// system's frames, so an exception that got past them would end the process.
void AfxAbsorbException() noexcept;

class CWinThread : public CCmdTarget {
public:
    CWnd* m_pMainWnd = nullptr;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // Pumps messages until WM_QUIT, then returns ExitInstance().
    virtual int Run();

protected:
    MSG m_msgCur = {};
};

class CWinApp : public CWinThread {
public:
    explicit CWinApp(LPCWSTR pszAppName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    LPCWSTR m_pszAppName = nullptr; // from the title string resource, else the program file's name
    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr; // the arguments, without the program name
    int m_nCmdShow = SW_SHOWNORMAL;

    BOOL InitInstance() override;
    int ExitInstance() override;
    int Run() override;

    // Called by AfxWinMain before InitInstance.
    void SetStartupInfo(HINSTANCE hInstance, LPWSTR lpCmdLine, int nCmdShow);

private:
    std::wstring m_strAppName;
    std::wstring m_strCmdLine;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
// The application's name; without an application object, the program file's name.
LPCWSTR AfxGetAppName();
CWnd* AfxGetMainWnd();
// Offers a queued message to PreTranslateMessage of its window and of that window's parents.
BOOL AfxPreTranslateMessage(MSG* pMsg);
// Translates a key aimed at the main window, or at any window inside it, through the main
// window's accelerators. The loop asks this before the pre-translate walk, so that no window
// inside (a dialog's navigation, a page's key filter) takes one of those keys first.
BOOL AfxTranslateMainAccelerator(CWnd* pMainWnd, MSG* pMsg);
// Runs the application. A start that fails (InitInstance answers FALSE or throws) still gets
// ExitInstance, and ends with -1.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);

// Registers (once) a window class served by the framework's window procedure and returns its name.
LPCWSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = nullptr,
                            HBRUSH hbrBackground = nullptr, HICON hIcon = nullptr);

BOOL AfxOleInit();
void AfxOleTerm(BOOL bJustRevoke = FALSE);
void AfxEnableControlContainer();
BOOL AfxOleControlContainerEnabled();

// The full file name of a module (of the program file when null), never cut off at MAX_PATH.
std::wstring AfxGetModuleFileName(HMODULE hModule = nullptr);
// Full path of a system library, so that a DLL of the same name beside the program is never used.
std::wstring AfxSystemLibraryPath(LPCWSTR pszName);
HMODULE AfxLoadSystemLibrary(LPCWSTR pszName);
// The delay-load helper's hook (framework/winmain.cpp): loads each library by its full path in
// the system directory. Called from the loader's thunk, which nothing may unwind through, so it
// neither allocates nor throws.
FARPROC WINAPI AfxDelayLoadHook(unsigned dliNotify, DelayLoadInfo* pdli) noexcept;

// Runs pfnThreadProc(pParam) on a new thread; what it throws ends only that thread, with exit code
// (DWORD)-1. The caller closes the handle; null when no thread could start.
using AFX_THREADPROC = UINT (*)(LPVOID pParam);
HANDLE AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);

// The window procedure of every class that AfxRegisterWndClass registers.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---- message maps ----

using AFX_PMSG = LRESULT (*)(CWnd* pWnd, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage; // 0 ends the table
    UINT nID;      // for WM_COMMAND: the command id (low word of wParam); else 0
    BOOL bCommand; // match nID against LOWORD(wParam)
    AFX_PMSG pfn;
    UINT nLastID = 0; // for a command range: its last id; 0 for a single command
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                                                                      \
protected:                                                                                         \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const {                                            \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                              \
        using ThisClass = theClass;                                                                \
        using TheBaseClass = baseClass;                                                            \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, FALSE, nullptr }                                                                       \
    }                                                                                              \
    ;                                                                                              \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]};  \
    return &messageMap;                                                                            \
    }

#define AFX_THIS(p) static_cast<ThisClass*>(p)

#define ON_WM_CREATE()                                                                             \
    {WM_CREATE, 0, FALSE, [](CWnd* p, WPARAM, LPARAM l) -> LRESULT {                               \
         return AFX_THIS(p)->OnCreate(reinterpret_cast<LPCREATESTRUCTW>(l));                       \
     }},
#define ON_WM_SIZE()                                                                               \
    {WM_SIZE, 0, FALSE, [](CWnd* p, WPARAM w, LPARAM l) -> LRESULT {                               \
         AFX_THIS(p)->OnSize(static_cast<UINT>(w), static_cast<short>(LOWORD(l)),                  \
                             static_cast<short>(HIWORD(l)));                                       \
         return 0;                                                                                 \
     }},
#define ON_WM_TIMER()                                                                              \
    {WM_TIMER, 0, FALSE, [](CWnd* p, WPARAM w, LPARAM) -> LRESULT {                                \
         AFX_THIS(p)->OnTimer(static_cast<UINT_PTR>(w));                                           \
         return 0;                                                                                 \
     }},
#define ON_WM_CLOSE()                                                                              \
    {WM_CLOSE, 0, FALSE, [](CWnd* p, WPARAM, LPARAM) -> LRESULT {                                  \
         AFX_THIS(p)->OnClose();                                                                   \
         return 0;                                                                                 \
     }},
#define ON_WM_DESTROY()                                                                            \
    {WM_DESTROY, 0, FALSE, [](CWnd* p, WPARAM, LPARAM) -> LRESULT {                                \
         AFX_THIS(p)->OnDestroy();                                                                 \
         return 0;                                                                                 \
     }},
#define AFX_POINT(l)                                                                               \
    POINT {                                                                                        \
        static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))                               \
    }
#define ON_WM_PAINT()                                                                              \
    {WM_PAINT, 0, FALSE, [](CWnd* p, WPARAM, LPARAM) -> LRESULT {                                  \
         AFX_THIS(p)->OnPaint();                                                                   \
         return 0;                                                                                 \
     }},
#define ON_WM_ERASEBKGND()                                                                         \
    {WM_ERASEBKGND, 0, FALSE, [](CWnd* p, WPARAM w, LPARAM) -> LRESULT {                           \
         return AFX_THIS(p)->OnEraseBkgnd(reinterpret_cast<HDC>(w));                               \
     }},
#define ON_WM_NCPAINT()                                                                            \
    {WM_NCPAINT, 0, FALSE, [](CWnd* p, WPARAM, LPARAM) -> LRESULT {                                \
         AFX_THIS(p)->OnNcPaint();                                                                 \
         return 0;                                                                                 \
     }},
#define AFX_ON_MOUSE(message, memberFxn)                                                           \
    {message, 0, FALSE, [](CWnd* p, WPARAM w, LPARAM l) -> LRESULT {                               \
         AFX_THIS(p)->memberFxn(static_cast<UINT>(w), AFX_POINT(l));                               \
         return 0;                                                                                 \
     }},
#define ON_WM_MOUSEMOVE() AFX_ON_MOUSE(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_LBUTTONDOWN() AFX_ON_MOUSE(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_ON_MOUSE(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_NCLBUTTONDOWN() AFX_ON_MOUSE(WM_NCLBUTTONDOWN, OnNcLButtonDown)
#define ON_WM_MOUSELEAVE()                                                                         \
    {WM_MOUSELEAVE, 0, FALSE, [](CWnd* p, WPARAM, LPARAM) -> LRESULT {                             \
         AFX_THIS(p)->OnMouseLeave();                                                              \
         return 0;                                                                                 \
     }},
#define ON_WM_NCHITTEST()                                                                          \
    {WM_NCHITTEST, 0, FALSE,                                                                       \
     [](CWnd* p, WPARAM, LPARAM l) -> LRESULT { return AFX_THIS(p)->OnNcHitTest(AFX_POINT(l)); }},
#define ON_WM_SETCURSOR()                                                                          \
    {WM_SETCURSOR, 0, FALSE, [](CWnd* p, WPARAM w, LPARAM l) -> LRESULT {                          \
         return AFX_THIS(p)->OnSetCursor(reinterpret_cast<HWND>(w), LOWORD(l), HIWORD(l));         \
     }},
#define ON_WM_GETMINMAXINFO()                                                                      \
    {WM_GETMINMAXINFO, 0, FALSE, [](CWnd* p, WPARAM, LPARAM l) -> LRESULT {                        \
         AFX_THIS(p)->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(l));                           \
         return 0;                                                                                 \
     }},
#define ON_WM_SYSCOMMAND()                                                                         \
    {WM_SYSCOMMAND, 0, FALSE, [](CWnd* p, WPARAM w, LPARAM l) -> LRESULT {                         \
         AFX_THIS(p)->OnSysCommand(static_cast<UINT>(w), l);                                       \
         return 0;                                                                                 \
     }},
// LRESULT OnXxx(WPARAM, LPARAM)
#define ON_MESSAGE(message, memberFxn)                                                             \
    {message, 0, FALSE,                                                                            \
     [](CWnd* p, WPARAM w, LPARAM l) -> LRESULT { return AFX_THIS(p)->memberFxn(w, l); }},
// void OnXxx()
#define ON_COMMAND(id, memberFxn)                                                                  \
    {WM_COMMAND, id, TRUE, [](CWnd* p, WPARAM, LPARAM) -> LRESULT {                                \
         AFX_THIS(p)->memberFxn();                                                                 \
         return 0;                                                                                 \
     }},
// void OnXxx(UINT nID), for every command id from first to last
#define ON_COMMAND_RANGE(first, last, memberFxn)                                                   \
    {WM_COMMAND, first, TRUE,                                                                      \
     [](CWnd* p, WPARAM w, LPARAM) -> LRESULT {                                                    \
         AFX_THIS(p)->memberFxn(LOWORD(w));                                                        \
         return 0;                                                                                 \
     },                                                                                            \
     last},

// ---- windows ----

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    // The object bound to a window that the framework created, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // A creation that WM_NCCREATE or WM_CREATE refuses, or that throws there, returns FALSE and
    // leaves no window. Whether WM_DESTROY comes first differs between systems: a handler that
    // fails releases what it made itself.
    BOOL CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle,
                  int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                  LPVOID lpParam = nullptr);
    BOOL DestroyWindow();

    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    void SetWindowText(LPCWSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }
    BOOL SetWindowPos(HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
        return ::SetWindowPos(m_hWnd, hWndInsertAfter, x, y, cx, cy, nFlags);
    }
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
    }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
        return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
    }

    virtual const AFX_MSGMAP* GetMessageMap() const { return GetThisMessageMap(); }
    static const AFX_MSGMAP* GetThisMessageMap();

    // Seen by the message loop for a queued message aimed at this window or at any window inside
    // it, before dispatch; TRUE means handled and the message goes no further.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // The accelerators of a main window, translated for it by the message loop; none by default.
    virtual HACCEL GetDefaultAccelerator() { return nullptr; }

    // OLE control hosting (framework/afxole.cpp).
    BOOL InitControlContainer(BOOL bCreateFromResource = FALSE);
    BOOL CreateControl(REFCLSID clsid, LPCWSTR pszWindowName, DWORD dwStyle, const RECT& rect,
                       CWnd* pParentWnd, UINT nID, void* pPersist = nullptr, BOOL bStorage = FALSE,
                       BSTR bstrLicKey = nullptr);
    // The hosted control, without a reference of its own; null when this window holds none.
    IUnknown* GetControlUnknown();

protected:
    // Dispatches through the message map; unmapped messages get the default processing.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The default processing of the message being handled.
    LRESULT Default();
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // After the window is gone; a window that owns its object deletes it here.
    virtual void PostNcDestroy() {}
    // Binds this object to a window made elsewhere (a dialog) and routes it through the
    // framework; the window's own procedure becomes the default processing.
    BOOL SubclassWindow(HWND hWnd);

    int OnCreate(LPCREATESTRUCTW) { return static_cast<int>(Default()); }
    void OnSize(UINT, int, int) { Default(); }
    void OnTimer(UINT_PTR) { Default(); }
    void OnClose() { Default(); }
    void OnDestroy() { Default(); }

private:
    void OnNcDestroy();
    friend LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    friend LRESULT AfxCallWndProc(CWnd* pWnd, HWND hWnd, UINT message, WPARAM wParam,
                                  LPARAM lParam);

    WNDPROC m_pfnSuper = nullptr;
    COleControlSite* m_pCtrlSite = nullptr;
    friend class COleControlSite;

    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } m_current = {};
    // The window procedure calls running for this object, innermost first.
    struct CallFrame {
        CallFrame* pOuter;
        bool bObjectGone;
        bool bDefaulted; // the handler ran the default processing, which gave defaultResult
        LRESULT defaultResult;
    }* m_pCalls = nullptr;
};
