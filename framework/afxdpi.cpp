#include "framework/afxdpi.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

// user32 is loaded with every window program; only the function may be missing.
template <typename Fn> Fn Bind(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    // Through a plain function pointer type so the compiler accepts the cast.
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)))
                  : nullptr;
}

} // namespace

UINT AfxGetSystemDpi() {
    static const UINT dpi = [] {
        HDC screen = GetDC(nullptr);
        int value = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
        if (screen)
            ReleaseDC(nullptr, screen);
        return value > 0 ? static_cast<UINT>(value) : USER_DEFAULT_SCREEN_DPI;
    }();
    return dpi;
}

UINT AfxGetDpiForWindow(HWND hWnd) {
    static const auto getDpiForWindow = Bind<GetDpiForWindowFn>("GetDpiForWindow");
    UINT dpi = getDpiForWindow && hWnd ? getDpiForWindow(hWnd) : 0;
    return dpi ? dpi : AfxGetSystemDpi();
}

BOOL AfxAdjustWindowRectExForDpi(RECT* rc, DWORD style, BOOL menu, DWORD exStyle, UINT dpi) {
    static const auto adjust = Bind<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    return adjust ? adjust(rc, style, menu, exStyle, dpi)
                  : AdjustWindowRectEx(rc, style, menu, exStyle);
}

int AfxGetSystemMetricsForDpi(int index, UINT dpi) {
    static const auto metrics = Bind<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (metrics)
        return metrics(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi),
                  static_cast<int>(AfxGetSystemDpi()));
}
