#include "framework/afxwin.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow) {
    int code = AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
    // A detached worker (the usage report) may still be running. Ending the process here stops
    // it before any static object is destroyed under its feet, and never waits for it.
    ExitProcess(static_cast<UINT>(code));
}
