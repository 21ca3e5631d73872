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
#ifndef MAX_PATH
#define MAX_PATH 260
#endif
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

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
