#include "app/GameClient.h"

#include "app/StartupRules.h"
#include "app/UpdateStart.h"
#include "framework/handles.h"
#include "mainwnd/MainWnd.h"

CGameClient::CGameClient() : CWinApp(nullptr) {
    // Version 1, no debug callback, GDI+'s own background thread and codecs.
    m_gdiplusStartupInput.GdiplusVersion = 1;
    m_gdiplusStartupInput.DebugEventCallback = nullptr;
    m_gdiplusStartupInput.SuppressBackgroundThread = FALSE;
    m_gdiplusStartupInput.SuppressExternalCodecs = FALSE;
}

CGameClient::~CGameClient() = default;

BOOL CGameClient::InitInstance() {
    CWinApp::InitInstance();
    if (!CheckSingleInstance())
        return TRUE; // no main window: the message loop ends at once
    // An update downloaded in an earlier run replaces this copy before any window shows.
    if (StartPendingUpdate(m_lpCmdLine ? m_lpCmdLine : L""))
        return TRUE;

    AfxEnableControlContainer();
    AfxOleInit();
    // The shell's program stays loaded for the whole run, as it always has in this client;
    // nothing calls into it, and keeping it costs one mapping (about 1 ms of start-up). Full
    // path: a planted Explorer.exe beside the program must never be loaded.
    wchar_t winDir[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryW(winDir, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        m_hExplorerModule = LoadLibraryW((std::wstring(winDir) + L"\\Explorer.exe").c_str());
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &m_gdiplusStartupInput, nullptr);

    std::wstring cmdLine = TrimCommandLine(m_lpCmdLine ? m_lpCmdLine : L"");
    auto* wnd = new CMainWnd;
    m_pMainWnd = wnd;
    // Its creation failed or threw: the start fails, and ExitInstance deletes the object.
    if (!IsWindow(wnd->m_hWnd))
        return FALSE;
    if (IsAutoStart(cmdLine)) {
        wnd->CreateFirstPage();
        wnd->SetTimer(wnd->m_nTimerId, 60000, nullptr);
        wnd->ShowWindow(SW_HIDE);
        wnd->UpdateWindow();
        return TRUE;
    }
    // Shown: the window's first frame does not wait for the page's window and browser control
    // (about 30 ms); the page follows it before the message loop takes its first message.
    wnd->SetTimer(wnd->m_nTimerId, 60000, nullptr);
    wnd->ShowWindow(SW_SHOW);
    wnd->UpdateWindow();
    wnd->CreateFirstPageAfterFrame();
    return TRUE;
}

BOOL CGameClient::CheckSingleInstance() {
    m_hMutex = CreateMutexW(nullptr, TRUE, kInstanceMarker);
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return TRUE;
    CloseHandle(m_hMutex);
    m_hMutex = nullptr;

    HWND running = FindRunningInstanceWindow();
    if (running) {
        if (IsIconic(running)) {
            ShowWindow(running, SW_RESTORE);
            SetForegroundWindow(running);
            UpdateWindow(running);
        } else {
            ShowWindow(running, SW_SHOW);
            SetForegroundWindow(running);
        }
    }
    return FALSE;
}

HWND FindRunningInstanceWindow() {
    // Hidden windows are walked too, so a copy that sits in the tray is found.
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); IsWindow(w);
         w = GetWindow(w, GW_HWNDNEXT)) {
        if (GetPropW(w, kInstanceMarker))
            return w;
    }
    return nullptr;
}

int CGameClient::ExitInstance() {
    // Every step must be harmless on the second-copy path, where nothing was acquired. A main
    // window left by a failed start goes first: it joins its skin worker, which uses GDI+.
    if (m_pMainWnd) {
        delete m_pMainWnd;
        m_pMainWnd = nullptr;
    }
    if (m_gdiplusToken)
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
    m_gdiplusToken = 0;
    if (m_hMutex)
        CloseHandle(m_hMutex);
    m_hMutex = nullptr;
    AfxOleTerm(FALSE);
    if (m_hExplorerModule)
        FreeLibrary(m_hExplorerModule);
    m_hExplorerModule = nullptr;
    return CWinApp::ExitInstance();
}
