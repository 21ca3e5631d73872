#pragma once
// Drives the real client: installs it into a temporary directory, starts it, finds its window by
// the instance property and ends it again.

#include <windows.h>

#include <string>

#include "support/test_util.h"

namespace e2e {

class ClientInstall {
public:
    // withSkin=false leaves an empty skin directory. A non-zero exePathLength pads the install
    // directory so that the executable's full path has exactly that many characters.
    explicit ClientInstall(bool withSkin = true, size_t exePathLength = 0);
    ~ClientInstall();
    ClientInstall(const ClientInstall&) = delete;
    ClientInstall& operator=(const ClientInstall&) = delete;

    const std::wstring& Dir() const { return m_dir; }
    std::wstring ExePath() const { return m_dir + L"TovoBox.exe"; }
    void WriteConfig(const std::string& bytes) const;

private:
    std::wstring m_root;
    std::wstring m_dir;
};

class ClientProcess {
public:
    ClientProcess() = default;
    ~ClientProcess();
    ClientProcess(const ClientProcess&) = delete;
    ClientProcess& operator=(const ClientProcess&) = delete;

    bool Start(const std::wstring& exePath, const std::wstring& args = L"");
    // Waits for the process to end; returns its exit code, or STILL_ACTIVE on timeout.
    DWORD WaitExit(DWORD timeoutMs);
    bool Running() const;
    void Kill();
    DWORD Pid() const { return m_pi.dwProcessId; }
    HANDLE Handle() const { return m_pi.hProcess; }

private:
    PROCESS_INFORMATION m_pi = {};
};

// Top-level windows (hidden included) that carry the instance property.
int CountMarkedWindows();
using testutil::FindMarkedWindowOf;
// The first such window, waited for up to timeoutMs.
HWND WaitForMarkedWindow(DWORD timeoutMs);
// Polls until pred() holds or the time is up.
template <typename Pred> bool WaitUntil(Pred pred, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
}
// Round trip through the window's message loop, in milliseconds (or -1 when it timed out).
long ProbeMessageLoop(HWND hWnd, DWORD timeoutMs);

// Files and folders under dir (recursively) with their sizes and write times, one per line.
std::wstring ListTree(const std::wstring& dir);
// The process's private bytes (GetProcessMemoryInfo), 0 when unknown.
size_t PrivateBytes(HANDLE process);

// The loopback port the test build of the client uses for its box server and probe.
constexpr unsigned short kBoxPort = TOVO_TEST_PORT;

} // namespace e2e
