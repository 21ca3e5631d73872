#pragma once
// The per-monitor DPI functions of Windows 10 (1607 on), bound at run time: older systems lack
// them, and the program's load-time imports stay those of every window program. Each falls back
// to the system DPI, which older systems apply to every monitor.

#include <windows.h>

// The DPI of the monitor a window is on; the system DPI where that cannot be asked.
UINT AfxGetDpiForWindow(HWND hWnd);
// AdjustWindowRectEx for a DPI; the system's metrics where that cannot be asked.
BOOL AfxAdjustWindowRectExForDpi(RECT* rc, DWORD style, BOOL menu, DWORD exStyle, UINT dpi);
// GetSystemMetrics for a DPI; without the function, the system DPI's value scaled to that DPI.
int AfxGetSystemMetricsForDpi(int index, UINT dpi);
// The system DPI, read once: what the system gives a process that is not per-monitor aware.
UINT AfxGetSystemDpi();
