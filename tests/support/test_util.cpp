#include "support/test_util.h"

#include "framework/afxwin.h"
#include "mainwnd/Layout.h"
#include "mainwnd/MainWnd.h"

#include <windows.h>

#include <cstdlib>
#include <new>

namespace {
thread_local long t_nBeforeFailure = 0;
thread_local bool t_bFailed = false;
} // namespace

// The program's own allocations (not the system libraries') come here.
void* operator new(std::size_t size) {
    if (t_nBeforeFailure > 0 && --t_nBeforeFailure == 0 && (t_bFailed = true))
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

namespace testutil {

void FailAllocation(long nth) {
    t_nBeforeFailure = nth;
    t_bFailed = t_bFailed && nth == 0;
}

bool AllocationFailed() {
    return t_bFailed;
}

std::wstring ExeDir() {
    return DirectoryOf(AfxGetModuleFileName());
}

std::wstring MakeTempDir(const std::wstring& tag) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        std::wstring dir = std::wstring(base) + L"tovo-" + tag + L"-" +
                           std::to_wstring(GetCurrentProcessId()) + L"-" +
                           std::to_wstring(++counter);
        if (CreateDirectoryW(dir.c_str(), nullptr))
            return dir + L"\\";
    }
}

void RemoveTree(const std::wstring& dir) {
    // Walked by hand with extended-length paths: the shell's delete mishandles trees deeper than
    // MAX_PATH and, under Wine, then deletes from the current directory instead.
    std::wstring path = dir;
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    if (path.size() < 3 || path[1] != L':' || path[2] != L'\\')
        return; // only absolute drive paths
    std::wstring longPath = L"\\\\?\\" + path;
    ForEachEntry(path + L"\\", [&](const WIN32_FIND_DATAW& fd) {
        std::wstring name = fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(path + L"\\" + name);
        else
            DeleteFileW((longPath + L"\\" + name).c_str());
    });
    RemoveDirectoryW(longPath.c_str());
}

void ForEachEntry(const std::wstring& dir, const std::function<void(const WIN32_FIND_DATAW&)>& fn) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((L"\\\\?\\" + dir + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..")
            fn(fd);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

void Click(HWND w, POINT p) {
    LPARAM l = MAKELPARAM(p.x, p.y);
    SendMessageW(w, WM_MOUSEMOVE, 0, l);
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, l);
    SendMessageW(w, WM_LBUTTONUP, 0, l);
}

HWND FindMarkedWindowOf(DWORD pid) {
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); IsWindow(w);
         w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && GetPropW(w, kInstanceMarker))
            return w;
    }
    return nullptr;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

std::string PercentDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

} // namespace testutil
