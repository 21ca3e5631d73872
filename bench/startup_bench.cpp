// Start-up and exit time of the real client: from process creation until its window answers
// with the window shown, and from WM_CLOSE until the process has ended. Prints the median and
// worst of N runs (default 10): startup_bench.exe [N]

#include "app/GameClient.h"
#include "mainwnd/Layout.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

double Ms(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f) {
    return 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

void Report(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("%-8s median %7.1f ms   worst %7.1f ms   (%zu runs)\n", what, v[v.size() / 2],
                v.back(), v.size());
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 10;
    std::wstring exe = DirectoryOf(AfxGetModuleFileName()) + L"TovoBox.exe";
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    std::vector<double> start, exit;
    for (int i = 0; i < runs; ++i) {
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        std::wstring cmd = L"\"" + exe + L"\"";
        LARGE_INTEGER t0, t1, t2, t3;
        QueryPerformanceCounter(&t0);
        if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &pi)) {
            std::fprintf(stderr, "cannot start %ls\n", exe.c_str());
            return 1;
        }
        HWND w = nullptr;
        while (!(w = FindRunningInstanceWindow()) || !IsWindowVisible(w))
            Sleep(1);
        DWORD_PTR r;
        SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
        QueryPerformanceCounter(&t1);
        QueryPerformanceCounter(&t2);
        PostMessageW(w, WM_CLOSE, 0, 0);
        WaitForSingleObject(pi.hProcess, 10000);
        QueryPerformanceCounter(&t3);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        start.push_back(Ms(t0, t1, freq));
        exit.push_back(Ms(t2, t3, freq));
    }
    Report("start", start);
    Report("exit", exit);
    return 0;
}
