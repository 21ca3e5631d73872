#pragma once

#include "framework/afxwin.h"

#include "framework/afxgdiplus.h"

// The application: one copy at a time, OLE and GDI+ for its lifetime, the main window.
class CGameClient : public CWinApp {
public:
    CGameClient();
    ~CGameClient() override;

    BOOL InitInstance() override;
    int ExitInstance() override;
    // TRUE for the first copy (the mutex is then held); otherwise brings the running copy's
    // window forward and returns FALSE.
    BOOL CheckSingleInstance();

    ULONG_PTR m_gdiplusToken = 0;
    Gdiplus::GdiplusStartupInput m_gdiplusStartupInput;
    HANDLE m_hMutex = nullptr;
    HMODULE m_hExplorerModule = nullptr;
};

// The running copy's main window: the first top-level window carrying the instance property.
HWND FindRunningInstanceWindow();
