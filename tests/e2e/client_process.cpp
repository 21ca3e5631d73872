#include "e2e/client_process.h"

#include "app/GameClient.h"
#include "mainwnd/MainWnd.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

#include <psapi.h>

namespace e2e {

namespace {

// Long paths need the \\?\ form for the plain file functions.
std::wstring Long(const std::wstring& path) {
    return L"\\\\?\\" + path;
}

void CopyInto(const std::wstring& from, const std::wstring& to) {
    ASSERT_TRUE(CopyFileW(Long(from).c_str(), Long(to).c_str(), FALSE))
        << "copy failed: " << testutil::ToUtf8(from);
}

} // namespace

ClientInstall::ClientInstall(bool withSkin, size_t exePathLength) {
    m_root = testutil::MakeTempDir(L"client");
    m_dir = m_root;
    const size_t exeName = wcslen(L"TovoBox.exe");
    while (exePathLength > 0 && m_dir.size() + exeName < exePathLength) {
        size_t room = exePathLength - exeName - m_dir.size(); // for a name and its backslash
        size_t len = room > 61 ? 60 : room - 1;
        if (room > 61 && room - 61 < 2)
            len = 58; // never leave room for less than a one-letter folder
        m_dir += std::wstring(len, L'd') + L"\\";
        CreateDirectoryW(Long(m_dir).c_str(), nullptr);
    }
    std::wstring bin = testutil::ExeDir();
    CopyInto(bin + L"TovoBox.exe", m_dir + L"TovoBox.exe");
    CreateDirectoryW(Long(m_dir + L"skins").c_str(), nullptr);
    CreateDirectoryW(Long(m_dir + L"skins\\Common").c_str(), nullptr);
    if (!withSkin)
        return;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((bin + L"skins\\Common\\*.png").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        CopyInto(bin + L"skins\\Common\\" + fd.cFileName,
                 m_dir + L"skins\\Common\\" + fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

ClientInstall::~ClientInstall() {
    testutil::RemoveTree(m_root);
}

void ClientInstall::WriteConfig(const std::string& bytes) const {
    testutil::WriteBytes(Long(m_dir + L"config.ini"), bytes);
}

ClientProcess::~ClientProcess() {
    Kill();
    if (m_pi.hProcess)
        CloseHandle(m_pi.hProcess);
    if (m_pi.hThread)
        CloseHandle(m_pi.hThread);
}

bool ClientProcess::Start(const std::wstring& exePath, const std::wstring& args) {
    // Clients die with the test program, so a test that is killed leaves no window behind
    // for the next one.
    static HANDLE job = [] {
        HANDLE h = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(h, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return h;
    }();
    std::wstring cmd = L"\"" + exePath + L"\"";
    if (!args.empty())
        cmd += L" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    std::wstring dir = exePath.substr(0, exePath.find_last_of(L'\\'));
    if (!CreateProcessW(exePath.c_str(), &cmd[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, dir.c_str(), &si, &m_pi))
        return false;
    AssignProcessToJobObject(job, m_pi.hProcess);
    ResumeThread(m_pi.hThread);
    return true;
}

DWORD ClientProcess::WaitExit(DWORD timeoutMs) {
    if (!m_pi.hProcess)
        return 0;
    if (WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = 0;
    GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

bool ClientProcess::Running() const {
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

void ClientProcess::Kill() {
    if (Running()) {
        TerminateProcess(m_pi.hProcess, 1);
        WaitForSingleObject(m_pi.hProcess, 5000);
    }
}

int CountMarkedWindows() {
    int count = 0;
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); IsWindow(w);
         w = GetWindow(w, GW_HWNDNEXT)) {
        if (GetPropW(w, kInstanceMarker))
            ++count;
    }
    return count;
}

std::wstring ListTree(const std::wstring& dir) {
    std::wstring out;
    testutil::ForEachEntry(dir, [&](const WIN32_FIND_DATAW& fd) {
        std::wstring name = fd.cFileName;
        out += name + L" " + std::to_wstring(fd.nFileSizeLow) + L" " +
               std::to_wstring(fd.ftLastWriteTime.dwLowDateTime) + L"\n";
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            out += ListTree(dir + name + L"\\");
    });
    return out;
}

size_t PrivateBytes(HANDLE process) {
    // The commit charge (PagefileUsage) is the process's private bytes; Wine fills it in.
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    return GetProcessMemoryInfo(process, &pmc, sizeof pmc) ? pmc.PagefileUsage : 0;
}

HWND WaitForMarkedWindow(DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindRunningInstanceWindow()) != nullptr; }, timeoutMs);
    return found;
}

long ProbeMessageLoop(HWND hWnd, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hWnd, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result))
        return -1;
    return static_cast<long>(GetTickCount() - start);
}

} // namespace e2e
