// A window hook that refuses the client its main window, as a policy or a security product may
// refuse a program its windows. Loaded into every process whose windows it sees.
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK
    RefuseMainWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW* cs = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        if (!(cs->style & WS_CHILD) && cs->lpszName && !IS_INTRESOURCE(cs->lpszName) &&
            lstrcmpW(cs->lpszName, L"Tovo") == 0)
            return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
