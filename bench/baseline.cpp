// The yardstick for the client: a minimal window program built with the same toolchain, flags
// and manifest. A 1004 x 695 popup with the client's instance property that paints once (one
// flat colour, through a memory bitmap as the client does), answers messages and ends on
// WM_CLOSE or the client's Exit command.

#include <windows.h>

namespace {

constexpr COLORREF kColour = RGB(0x1F, 0x6F, 0xB4);
constexpr WPARAM kExitCommand = 40006;

void Paint(HWND hWnd, HDC dc) {
    RECT rc;
    GetClientRect(hWnd, &rc);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, rc.right, rc.bottom);
    HGDIOBJ old = SelectObject(mem, bitmap);
    HBRUSH brush = CreateSolidBrush(kColour);
    FillRect(mem, &rc, brush);
    DeleteObject(brush);
    BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
}

LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hWnd, &ps);
        Paint(hWnd, dc);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(hWnd, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == kExitCommand)
            DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
        RemovePropW(hWnd, L"开服盒子");
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"TovoBaseline";
    RegisterClassExW(&wc);
    int x = (GetSystemMetrics(SM_CXSCREEN) - 1004) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - 695) / 2;
    HWND hWnd = CreateWindowExW(0, wc.lpszClassName, L"Baseline", WS_POPUP | WS_SYSMENU, x, y, 1004,
                                695, nullptr, nullptr, instance, nullptr);
    if (!hWnd)
        return 1;
    SetPropW(hWnd, L"开服盒子", reinterpret_cast<HANDLE>(1));
    ShowWindow(hWnd, show == SW_HIDE ? SW_SHOW : show);
    UpdateWindow(hWnd);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
