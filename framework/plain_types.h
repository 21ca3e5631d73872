#pragma once
// The few Windows types that the plain rules use, so that the rules also build natively where
// <windows.h> is absent (the Linux fuzzing build). On Windows this is <windows.h> itself.

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>

typedef int BOOL;
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef UINT_PTR WPARAM;
typedef const wchar_t* LPCWSTR;
#ifndef MAX_PATH
#define MAX_PATH 260
#endif
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define MAKEINTRESOURCEW(i) ((LPCWSTR)(uintptr_t)(WORD)(i))

#define WM_KEYDOWN 0x0100
#define VK_RETURN 0x0D
#define VK_CONTROL 0x11
#define VK_ESCAPE 0x1B

#define HTCLIENT 1
#define HTLEFT 10
#define HTRIGHT 11
#define HTTOP 12
#define HTTOPLEFT 13
#define HTTOPRIGHT 14
#define HTBOTTOM 15
#define HTBOTTOMLEFT 16
#define HTBOTTOMRIGHT 17

#define SC_SIZE 0xF000
#define WMSZ_LEFT 1
#define WMSZ_RIGHT 2
#define WMSZ_TOP 3
#define WMSZ_TOPLEFT 4
#define WMSZ_TOPRIGHT 5
#define WMSZ_BOTTOM 6
#define WMSZ_BOTTOMLEFT 7
#define WMSZ_BOTTOMRIGHT 8

#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_SIZENWSE MAKEINTRESOURCEW(32642)
#define IDC_SIZENESW MAKEINTRESOURCEW(32643)
#define IDC_SIZEWE MAKEINTRESOURCEW(32644)
#define IDC_SIZENS MAKEINTRESOURCEW(32645)

struct RECT {
    LONG left, top, right, bottom;
};
struct POINT {
    LONG x, y;
};
struct SIZE {
    LONG cx, cy;
};

inline BOOL PtInRect(const RECT* rc, POINT pt) {
    return pt.x >= rc->left && pt.x < rc->right && pt.y >= rc->top && pt.y < rc->bottom;
}
inline BOOL SetRect(RECT* rc, int left, int top, int right, int bottom) {
    *rc = RECT{left, top, right, bottom};
    return TRUE;
}
inline BOOL IsRectEmpty(const RECT* rc) {
    return rc->left >= rc->right || rc->top >= rc->bottom;
}
#endif
