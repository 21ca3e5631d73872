#include "report/UpdateCheck.h"

#include "framework/afxinet.h"
#include "framework/handles.h"
#include "mainwnd/Layout.h"
#include "portal.h"
#include "report/UpdateVerify.h"

#include <shlobj.h>

#include <atomic>
#include <cwchar>
#include <functional>
#include <memory>

namespace {

constexpr wchar_t kClientKey[] = L"Software\\Tovo\\TovoBox";
constexpr wchar_t kSerialValue[] = L"UpdateSerial";
// Bounded waits: a box server that never answers holds a worker, never the client.
constexpr DWORD kConnectTimeoutMs = 5000;
constexpr DWORD kTransferTimeoutMs = 15000;

std::atomic<bool> g_updateCheckAllowed{false};
std::atomic<bool> g_updateCheckStarted{false};

struct UpdateCheckArgs {
    std::wstring version;
    std::wstring channel;
};

// GET of an http(s) address; the body goes to sink piece by piece until it says stop. False on
// any failure, a status other than 200, a declared length over maxBytes, or a sink that stopped.
bool HttpGet(const std::wstring& url, uint64_t maxBytes,
             const std::function<bool(const char*, size_t)>& sink) {
    try {
        DWORD service = AFX_INET_SERVICE_UNK;
        std::wstring server, object;
        INTERNET_PORT port = 0;
        if (!AfxParseURL(url.c_str(), service, server, object, port) ||
            (service != AFX_INET_SERVICE_HTTP && service != AFX_INET_SERVICE_HTTPS))
            return false;
        CInternetSession session(AfxGetAppName(), 1, INTERNET_OPEN_TYPE_PRECONFIG);
        session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
        session.SetOption(INTERNET_OPTION_SEND_TIMEOUT, kTransferTimeoutMs);
        session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, kTransferTimeoutMs);
        std::unique_ptr<CHttpConnection> connection(
            session.GetHttpConnection(server.c_str(), 0, port));
        DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_NO_COOKIES |
                      INTERNET_FLAG_NO_UI;
        if (service == AFX_INET_SERVICE_HTTPS)
            flags |= INTERNET_FLAG_SECURE;
        std::unique_ptr<CHttpFile> file(
            connection->OpenRequest(L"GET", object.c_str(), nullptr, 1, nullptr, nullptr, flags));
        file->SendRequest();
        DWORD status = 0, size = sizeof status;
        if (!HttpQueryInfoW(*file, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                            nullptr) ||
            status != 200)
            return false;
        wchar_t length[32] = {};
        size = sizeof length;
        if (HttpQueryInfoW(*file, HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr) &&
            wcstoull(length, nullptr, 10) > maxBytes)
            return false;
        std::vector<char> buffer(16 * 1024);
        uint64_t total = 0;
        for (;;) {
            // Never more than one byte beyond the bound: that byte is enough to refuse.
            uint64_t want = maxBytes + 1 - total;
            UINT ask = want < buffer.size() ? static_cast<UINT>(want)
                                            : static_cast<UINT>(buffer.size());
            UINT read = file->Read(buffer.data(), ask);
            if (read == 0)
                return true;
            total += read;
            if (total > maxBytes || !sink(buffer.data(), read))
                return false;
        }
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return false;
}

std::wstring RandomName() {
    BYTE bytes[8] = {};
    if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        return std::wstring();
    std::string hex = ToHex(bytes, sizeof bytes);
    return std::wstring(hex.begin(), hex.end());
}

bool WriteAll(HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        DWORD written = 0;
        DWORD piece = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
        if (!WriteFile(file, data, piece, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// The file goes when its last handle closes, however the process ends, until it is kept.
bool SetDeleteOnClose(HANDLE file, bool on) {
    FILE_DISPOSITION_INFO info = {};
    info.DeleteFile = on ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info) != FALSE;
}

// Downloads the manifest's setup program into a new folder with the manifest beside it. Nothing is
// left behind on any failure; a process that ends mid-way leaves at most an empty folder, which
// the next start removes.
bool Download(const UpdateManifest& manifest, const std::string& manifestBytes) {
    std::wstring root = UpdatesFolder();
    if (root.empty())
        return false;
    std::wstring url(manifest.url.size(), L'\0');
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, manifest.url.data(),
                                static_cast<int>(manifest.url.size()), &url[0],
                                static_cast<int>(url.size()));
    if (n <= 0)
        return false;
    url.resize(static_cast<size_t>(n));

    std::wstring folder;
    UniqueHandle setup;
    bool ok = HttpGet(url, manifest.size, [&](const char* data, size_t size) {
        if (!setup) {
            // The folder is made only once the server has answered with a body.
            std::wstring name = RandomName();
            if (name.empty())
                return false;
            SHCreateDirectoryExW(nullptr, root.substr(0, root.size() - 1).c_str(), nullptr);
            folder = root + name + L"\\";
            if (!CreateDirectoryW(folder.c_str(), nullptr)) {
                folder.clear();
                return false;
            }
            setup.reset(CreateFileW((folder + kUpdateSetupName).c_str(),
                                    GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!setup || !SetDeleteOnClose(setup.get(), true))
                return false;
        }
        return WriteAll(setup.get(), data, size);
    });
    bool kept = false;
    if (ok && setup && FileMatches(setup.get(), manifest.size, manifest.sha256)) {
        UniqueHandle text(CreateFileW((folder + kUpdateManifestName).c_str(), GENERIC_WRITE, 0,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        kept = text && WriteAll(text.get(), manifestBytes.data(), manifestBytes.size()) &&
               FlushFileBuffers(text.get()) && FlushFileBuffers(setup.get()) &&
               SetDeleteOnClose(setup.get(), false);
    }
    setup.reset();
    if (kept) {
        // Checked once more against the publisher before it counts; the start checks it again.
        std::wstring path = folder + kUpdateSetupName;
        UniqueHandle held(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        kept = held && SameSignerAsClient(AfxGetModuleFileName(), path, held.get(), true);
    }
    if (!kept && !folder.empty())
        RemoveUpdateFolder(folder);
    return kept;
}

UINT UpdateThreadProc(LPVOID param) {
    std::unique_ptr<UpdateCheckArgs> args(static_cast<UpdateCheckArgs*>(param));
    try {
        RunUpdateCheck(TOVO_UPDATE_URL, args->version, args->channel);
    } catch (...) {
    }
    return 0;
}

} // namespace

std::wstring UpdatesFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)) ||
        path[0] == L'\0')
        return std::wstring();
    return std::wstring(path) + L"\\TovoBox\\Updates\\";
}

std::vector<std::wstring> PendingUpdateFolders() {
    std::vector<std::wstring> folders;
    std::wstring root = UpdatesFolder();
    if (root.empty())
        return folders;
    WIN32_FIND_DATAW data = {};
    HANDLE find = FindFirstFileW((root + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return folders;
    do {
        std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
            folders.push_back(root + name + L"\\");
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return folders;
}

bool RemoveUpdateFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW data = {};
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((folder + data.cFileName).c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return RemoveDirectoryW(folder.c_str()) != FALSE;
}

uint64_t ReadHighestSerial() {
    ULONGLONG serial = 0;
    DWORD size = sizeof serial;
    if (RegGetValueW(HKEY_CURRENT_USER, kClientKey, kSerialValue, RRF_RT_REG_QWORD, nullptr,
                     &serial, &size) != ERROR_SUCCESS)
        return 0;
    return serial;
}

void WriteHighestSerial(uint64_t serial) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kClientKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    ULONGLONG value = serial;
    RegSetValueExW(key, kSerialValue, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
    RegCloseKey(key);
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

int64_t UtcNow() {
    FILETIME ft = {};
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t = {};
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    // 100 ns ticks since 1601 to seconds since 1970.
    return static_cast<int64_t>(t.QuadPart / 10000000ull) - 11644473600ll;
}

std::optional<UpdateManifest> AcceptableManifest(const std::string& bytes,
                                                 const std::wstring& runningVersion,
                                                 const std::wstring& channel) {
    auto manifest = ParseUpdateManifest(bytes);
    if (!manifest)
        return std::nullopt;
    UpdateContext context;
    context.runningVersion = ToUtf8(runningVersion);
    context.highestSerial = ReadHighestSerial();
    context.now = UtcNow();
    context.channel = ToUtf8(channel);
    if (DecideUpdate(*manifest, VerifyManifestSignature(*manifest), context) !=
        UpdateVerdict::Accept)
        return std::nullopt;
    return manifest;
}

bool ReadSmallFile(const std::wstring& path, size_t maxBytes, std::string& bytes) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    bytes.assign(maxBytes + 1, '\0');
    DWORD total = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), &bytes[total], static_cast<DWORD>(bytes.size() - total), &read,
                      nullptr))
            return false;
        if (read == 0)
            break;
        total += read;
        if (total > maxBytes)
            return false;
    }
    bytes.resize(total);
    return true;
}

void AllowUpdateCheck() {
    g_updateCheckAllowed = true;
}

void StartUpdateCheck(const std::wstring& runningVersion, const std::wstring& channel) {
    if (!g_updateCheckAllowed || g_updateCheckStarted.exchange(true))
        return;
    auto* args = new UpdateCheckArgs{runningVersion, channel};
    UniqueHandle thread(AfxBeginThread(UpdateThreadProc, args));
    if (!thread)
        delete args;
}

bool RunUpdateCheck(const std::wstring& manifestUrl, const std::wstring& runningVersion,
                    const std::wstring& channel) {
    // What an earlier run or a finished setup program left is gone first; an update already
    // pending is not fetched twice.
    bool pending = false;
    for (const std::wstring& folder : PendingUpdateFolders()) {
        std::string text;
        if (ReadSmallFile(folder + kUpdateManifestName, kMaxManifestBytes, text) &&
            AcceptableManifest(text, runningVersion, channel))
            pending = true;
        else
            RemoveUpdateFolder(folder);
    }
    if (pending)
        return true;
    std::string bytes;
    bool got = HttpGet(manifestUrl, kMaxManifestBytes, [&](const char* data, size_t size) {
        bytes.append(data, size);
        return true;
    });
    if (!got)
        return false;
    auto manifest = AcceptableManifest(bytes, runningVersion, channel);
    if (!manifest || !Download(*manifest, bytes))
        return false;
    if (manifest->serial > ReadHighestSerial())
        WriteHighestSerial(manifest->serial);
    return true;
}
