#include "app/UpdateStart.h"

#include "app/StartupRules.h"
#include "framework/afxwin.h"
#include "framework/handles.h"
#include "mainwnd/Layout.h"
#include "report/ClientIdentity.h"
#include "report/UpdateCheck.h"
#include "report/UpdateVerify.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace {

// Written before the setup program starts. A setup that failed and started this client again
// finds it and leaves the update to a later start, instead of the two taking turns for ever.
constexpr wchar_t kAttemptName[] = L"started";
constexpr ULONGLONG kRetryAfter100ns = 10ull * 60 * 10000000; // ten minutes

bool AttemptedRecently(const std::wstring& folder) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW((folder + kAttemptName).c_str(), GetFileExInfoStandard, &data))
        return false;
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER a = {}, b = {};
    a.LowPart = data.ftLastWriteTime.dwLowDateTime;
    a.HighPart = data.ftLastWriteTime.dwHighDateTime;
    b.LowPart = now.dwLowDateTime;
    b.HighPart = now.dwHighDateTime;
    return b.QuadPart < a.QuadPart + kRetryAfter100ns;
}

void MarkAttempt(const std::wstring& folder) {
    UniqueHandle marker(CreateFileW((folder + kAttemptName).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A finished setup program may still be ending when the new client starts: its folder goes as
// soon as it can, on a worker.
UINT RemoveFoldersLater(LPVOID param) {
    std::unique_ptr<std::vector<std::wstring>> folders(static_cast<std::vector<std::wstring>*>(param));
    for (int round = 0; round < 120 && !folders->empty(); ++round) {
        Sleep(250);
        for (size_t i = folders->size(); i-- > 0;) {
            if (RemoveUpdateFolder((*folders)[i]))
                folders->erase(folders->begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    return 0;
}

// The folder's update, verified again, started with its switches. False when it is not usable
// (the caller removes it) or could not start.
bool StartIfVerified(const std::wstring& folder, const std::wstring& clientPath,
                     const std::wstring& version, const std::wstring& channel, bool autoStart) {
    std::string text;
    if (!ReadSmallFile(folder + kUpdateManifestName, kMaxManifestBytes, text))
        return false;
    auto manifest = AcceptableManifest(text, version, channel);
    if (!manifest)
        return false;
    std::wstring setupPath = folder + kUpdateSetupName;
    // Held with read sharing only from its check until the process has started: nobody can
    // change, replace or rename it in between.
    UniqueHandle setup(CreateFileW(setupPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!setup || !FileMatches(setup.get(), manifest->size, manifest->sha256) ||
        !SameSignerAsClient(clientPath, setupPath, setup.get(), false))
        return false;
    MarkAttempt(folder);
    std::wstring commandLine =
        UpdateSetupCommandLine(setupPath, DirectoryOf(clientPath), autoStart);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(setupPath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

} // namespace

std::wstring UpdateSetupCommandLine(const std::wstring& setupPath, const std::wstring& installDir,
                                    bool autoStart) {
    std::wstring dir = installDir;
    if (dir.size() > 3 && dir.back() == L'\\')
        dir.pop_back();
    return L"\"" + setupPath + L"\" /S /UPDATE" + (autoStart ? L" /AUTO" : L"") + L" /D=" + dir;
}

bool StartPendingUpdate(const std::wstring& commandLine) {
    // Nearly every start finds no folder and pays for one directory lookup.
    std::vector<std::wstring> folders = PendingUpdateFolders();
    AllowUpdateCheck();
    if (folders.empty())
        return false;
    std::wstring clientPath = AfxGetModuleFileName();
    std::wstring version = GetFileVersionString(ExtendedPath(clientPath), L"FileVersion");
    std::wstring channel = ReadChannel(DirectoryOf(clientPath));
    auto stale = std::make_unique<std::vector<std::wstring>>();
    for (const std::wstring& folder : folders) {
        // A setup that failed lately is not run again in this start; a finished one dropped the
        // manifest and its folder goes.
        if (AttemptedRecently(folder) &&
            GetFileAttributesW((folder + kUpdateManifestName).c_str()) != INVALID_FILE_ATTRIBUTES)
            continue;
        if (StartIfVerified(folder, clientPath, version, channel, IsAutoStart(commandLine)))
            return true;
        if (!RemoveUpdateFolder(folder))
            stale->push_back(folder);
    }
    if (!stale->empty()) {
        UniqueHandle thread(AfxBeginThread(RemoveFoldersLater, stale.get()));
        if (thread)
            stale.release();
    }
    return false;
}
