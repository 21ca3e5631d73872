#include "framework/afxwin.h"

#include <delayimp.h>

namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// What the delay-loaded libraries load in turn is searched for in the system directory alone too.
// Bound at run time: Windows 7 has the function only with a later update.
void RestrictLibrarySearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDirectories)
        setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace

// The delay-load helper's hook: the libraries the program loads at their first use (see
// CMakeLists.txt) come by full path from the system directory, never from beside the program. Its
// header declares it const for MSVC only.
extern "C" {
#ifdef _MSC_VER
const
#endif
    PfnDliHook __pfnDliNotifyHook2 = AfxDelayLoadHook;
}

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow) {
    RestrictLibrarySearch();
    int code = AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
    // A detached worker (the usage report) may still be running. Ending the process here stops
    // it before any static object is destroyed under its feet, and never waits for it.
    ExitProcess(static_cast<UINT>(code));
}
