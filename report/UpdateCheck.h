#pragma once
// The update: once per run, on a worker, the signed manifest is fetched; an acceptable one brings
// its setup program into a folder of its own under the user's local application data, where the
// next start finds it (app/UpdateStart.h).

#include "report/UpdateManifest.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The pending update's files inside its folder.
constexpr wchar_t kUpdateSetupName[] = L"TovoBoxSetup.exe";
constexpr wchar_t kUpdateManifestName[] = L"update.txt";

// %LOCALAPPDATA%\TovoBox\Updates\ (with a trailing backslash); empty when unknown.
std::wstring UpdatesFolder();
// The folders under UpdatesFolder(), full paths with a trailing backslash.
std::vector<std::wstring> PendingUpdateFolders();
// Deletes the folder's files and then the folder; false when anything stays.
bool RemoveUpdateFolder(const std::wstring& folder);

// The highest serial this user has accepted: the one value the client writes, under its own key
// HKCU\Software\Tovo\TovoBox, "UpdateSerial" (REG_QWORD). 0 when there is none.
uint64_t ReadHighestSerial();
void WriteHighestSerial(uint64_t serial);

// What the manifest's bytes say, when they parse, carry a good signature by a built-in key and
// pass every rule for this client (DecideUpdate) now.
std::optional<UpdateManifest> AcceptableManifest(const std::string& bytes,
                                                 const std::wstring& runningVersion,
                                                 const std::wstring& channel);
std::string ToUtf8(const std::wstring& text);
int64_t UtcNow();

// Reads a file of at most maxBytes into bytes; false when it is missing, unreadable or longer.
bool ReadSmallFile(const std::wstring& path, size_t maxBytes, std::string& bytes);

// The check runs only in a process that allowed it (the client; never a test that makes a main
// window in its own process).
void AllowUpdateCheck();
// Starts the check on a detached thread, at most once per run. The manifest comes from
// TOVO_UPDATE_URL.
void StartUpdateCheck(const std::wstring& runningVersion, const std::wstring& channel);
// The whole check, on the calling thread: true when an update is now pending.
bool RunUpdateCheck(const std::wstring& manifestUrl, const std::wstring& runningVersion,
                    const std::wstring& channel);
