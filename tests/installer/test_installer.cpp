// The setup program and its uninstaller, run silently with private install, desktop and
// start-menu folders.

#include "e2e/client_process.h"
#include "mainwnd/MainWnd.h"
#include "report/ClientIdentity.h"
#include "report/UpdateCheck.h"
#include "res/resource.h"
#include "support/loopback_server.h"
#include "support/test_util.h"
#include "support/update_signing.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <filesystem>
#include <optional>
#include <set>

using namespace e2e;
namespace fs = std::filesystem;

namespace {

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TovoBox";
const wchar_t kEmulationKey[] = L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
                                L"FEATURE_BROWSER_EMULATION";
const wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t* const kRedirected[] = {L"Desktop", L"Programs"};
const wchar_t kShortcut[] = L"\\Tovo页游开服.lnk";

std::optional<std::wstring> RegString(const wchar_t* key, const wchar_t* name) {
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, flags, nullptr, nullptr, &size))
        return std::nullopt;
    std::wstring s(size / sizeof(wchar_t), L'\0');
    RegGetValueW(HKEY_CURRENT_USER, key, name, flags, nullptr, &s[0], &size);
    return s.c_str();
}

void SetRegString(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_EXPAND_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::optional<DWORD> RegDword(const wchar_t* key, const wchar_t* name) {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size))
        return std::nullopt;
    return value;
}

bool Exists(const std::wstring& path) {
    return fs::exists(path);
}

std::set<std::wstring> Entries(const std::wstring& dir) {
    std::set<std::wstring> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        names.insert(e.path().filename().wstring());
    return names;
}

// An old stamp on a file tells whether the next install replaced it.
const FILETIME kOldStamp = {0, 0x01c00000};
void StampOld(const std::wstring& path) {
    HANDLE h =
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &kOldStamp));
    CloseHandle(h);
}
bool HasOldStamp(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return CompareFileTime(&data.ftLastWriteTime, &kOldStamp) == 0;
}

// Holds the instance marker like a client that never answers its Exit command.
struct StayingClient {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, kInstanceMarker);
    HWND wnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                               nullptr);
    StayingClient() { SetPropW(wnd, kInstanceMarker, reinterpret_cast<HANDLE>(1)); }
    ~StayingClient() {
        RemovePropW(wnd, kInstanceMarker);
        DestroyWindow(wnd);
        CloseHandle(mutex);
    }
};

class Setup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, CountMarkedWindows()) << "a client is still running";
        m_root = testutil::MakeTempDir(L"setup");
        for (const wchar_t* folder : kRedirected) {
            m_savedFolders.push_back(RegString(kShellFolders, folder).value_or(L""));
            CreateDirectoryW((m_root + folder).c_str(), nullptr);
            SetRegString(kShellFolders, folder, m_root + folder);
        }
        Forget();
    }
    void TearDown() override {
        Forget();
        for (size_t i = 0; i < m_savedFolders.size(); ++i)
            SetRegString(kShellFolders, kRedirected[i], m_savedFolders[i]);
        testutil::RemoveTree(m_root);
    }
    // A left-over start entry would start a client the next time Wine boots this prefix.
    void Forget() {
        for (const wchar_t* name : {L"TovoBox", L"OtherApp"})
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, name);
        for (const wchar_t* name : {L"TovoBox.exe", L"other.exe"})
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kEmulationKey, name);
        RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tovo");
        testutil::RemoveTree(UpdatesFolder());
    }
    // Runs a copy of the setup program under the name a partner gave it.
    DWORD RunSetup(const std::wstring& name, const std::wstring& dir, const wchar_t* args = L"") {
        std::wstring setup = m_root + name;
        CopyFileW((testutil::ExeDir() + L"..\\TovoBoxSetup.exe").c_str(), setup.c_str(), FALSE);
        return Run(setup, L"/S " + std::wstring(args) + L" /D=" + dir);
    }
    // The uninstaller runs from a copy so that its exit code is the one that counts.
    DWORD RunUninstaller(const std::wstring& dir) {
        std::wstring copy = m_root + L"uninst-copy.exe";
        CopyFileW((dir + L"\\uninst.exe").c_str(), copy.c_str(), FALSE);
        return Run(copy, L"/S _?=" + dir);
    }
    DWORD Run(const std::wstring& exe, const std::wstring& args) {
        ClientProcess p;
        return p.Start(exe, args) ? p.WaitExit(60000) : STILL_ACTIVE;
    }
    bool HasShortcuts() {
        return Exists(m_root + L"Desktop" + kShortcut) && Exists(m_root + L"Programs" + kShortcut);
    }

    std::wstring m_root;
    std::vector<std::wstring> m_savedFolders;
};

} // namespace

TEST_F(Setup, SilentInstallRecordsItselfAndTheInstalledClientReportsItsChannel) {
    const std::wstring dir = m_root + L"app", exe = dir + L"\\TovoBox.exe";
    ASSERT_EQ(0u, RunSetup(L"1001.exe", dir));
    EXPECT_EQ(L"1.0.0.2", GetFileVersionString(m_root + L"1001.exe", L"FileVersion"));

    EXPECT_EQ((std::set<std::wstring>{L"TovoBox.exe", L"config.ini", L"skins", L"uninst.exe"}),
              Entries(dir));
    EXPECT_EQ(Entries(testutil::ExeDir() + L"skins\\Common"), Entries(dir + L"\\skins\\Common"));
    EXPECT_EQ(L"1001", ReadChannel(dir + L"\\"));
    EXPECT_EQ(L"\"" + exe + L"\" Auto", RegString(kRunKey, L"TovoBox"));
    EXPECT_TRUE(HasShortcuts());
    const std::wstring uninstaller = L"\"" + dir + L"\\uninst.exe\"";
    const std::pair<const wchar_t*, std::wstring> entry[] = {
        {L"DisplayName", L"Tovo页游开服"},
        {L"DisplayVersion", L"1.0.0.2"},
        {L"Publisher", L"Tovo"},
        {L"DisplayIcon", exe + L",0"},
        {L"InstallLocation", dir},
        {L"UninstallString", uninstaller},
        {L"QuietUninstallString", uninstaller + L" /S"}};
    for (const auto& e : entry)
        EXPECT_EQ(e.second, RegString(kUninstallKey, e.first)) << testutil::ToUtf8(e.first);
    EXPECT_GT(RegDword(kUninstallKey, L"EstimatedSize"), 100u);
    for (const wchar_t* flag : {L"NoModify", L"NoRepair"})
        EXPECT_EQ(1u, RegDword(kUninstallKey, flag));
    EXPECT_EQ(11001u, RegDword(kEmulationKey, L"TovoBox.exe"));

    LoopbackServer server{kBoxPort};
    ASSERT_TRUE(server.Start()) << "loopback port " << kBoxPort << " is taken";
    ClientProcess client;
    ASSERT_TRUE(client.Start(exe));
    std::string query;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const LoopbackRequest& r : server.Requests())
                query = r.Path() == "/box.php" ? r.Query() : query;
            return !query.empty();
        },
        20000));
    EXPECT_EQ(0u, query.find("from=1001&")) << query;
    client.Kill();
}

TEST_F(Setup, FreshInstallRecordsTheSetupProgramsNameAndTheStartChoice) {
    const struct {
        const wchar_t* setup;
        const wchar_t* args;
        const wchar_t* channel;
        bool autoStart;
    } cases[] = {{L"开服合作方.exe", L"", L"开服合作方", true},
                 {L"合作 2002 (v1.2).exe", L"", L"合作 2002 (v1.2)", true},
                 {L"1001.exe", L"/NOAUTOSTART", L"1001", false}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testutil::ToUtf8(c.setup));
        const std::wstring dir = m_root + L"fresh" + std::to_wstring(++n);
        ASSERT_EQ(0u, RunSetup(c.setup, dir, c.args));
        EXPECT_EQ(c.channel, ReadChannel(dir + L"\\"));
        EXPECT_EQ(c.autoStart, RegString(kRunKey, L"TovoBox").has_value());
        Forget();
    }
}

TEST_F(Setup, ReinstallReplacesTheFilesAndKeepsTheChannelAndTheStartChoice) {
    const std::wstring dir = m_root + L"app", exe = dir + L"\\TovoBox.exe";
    ASSERT_EQ(0u, RunSetup(L"2002.exe", dir));
    StampOld(exe);
    ASSERT_EQ(0u, RunSetup(L"1001.exe", dir));
    EXPECT_FALSE(HasOldStamp(exe));
    EXPECT_EQ(L"2002", ReadChannel(dir + L"\\"));
    EXPECT_TRUE(RegString(kRunKey, L"TovoBox").has_value());

    ASSERT_EQ(0u, RunSetup(L"1001.exe", dir, L"/NOAUTOSTART"));
    EXPECT_FALSE(RegString(kRunKey, L"TovoBox").has_value());
    ASSERT_EQ(0u, RunSetup(L"1001.exe", dir));
    EXPECT_FALSE(RegString(kRunKey, L"TovoBox").has_value()) << "the user's choice is kept";
    EXPECT_EQ(L"2002", ReadChannel(dir + L"\\"));
}

TEST_F(Setup, RunningClientExitsThroughItsOwnExitBeforeInstallAndUninstall) {
    const std::wstring dir = m_root + L"app", exe = dir + L"\\TovoBox.exe";
    ASSERT_EQ(0u, RunSetup(L"1001.exe", dir));
    for (bool uninstall : {false, true}) {
        SCOPED_TRACE(uninstall ? "uninstall" : "install");
        StampOld(exe);
        ClientProcess client;
        ASSERT_TRUE(client.Start(exe, L"Auto"));
        HWND w = WaitForMarkedWindow(20000);
        ASSERT_GE(ProbeMessageLoop(w, 5000), 0);

        EXPECT_EQ(0u, uninstall ? RunUninstaller(dir) : RunSetup(L"1001.exe", dir));
        EXPECT_EQ(0u, client.WaitExit(5000));
        NOTIFYICONDATAW icon = {};
        icon.cbSize = sizeof icon;
        icon.hWnd = w;
        icon.uID = 102;
        EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &icon)) << "the tray icon stayed";
        if (uninstall)
            EXPECT_FALSE(Exists(dir));
        else
            EXPECT_FALSE(HasOldStamp(exe)) << "the client was not replaced";
    }
}

TEST_F(Setup, ClientThatStaysStopsSetupAndUninstallerWithCode2BeforeAnyChange) {
    const std::wstring fresh = m_root + L"fresh", dir = m_root + L"app";
    {
        StayingClient staying;
        EXPECT_EQ(2u, RunSetup(L"1001.exe", fresh));
        EXPECT_FALSE(Exists(fresh));
        EXPECT_FALSE(RegString(kUninstallKey, L"InstallLocation").has_value());
        EXPECT_TRUE(Entries(m_root + L"Desktop").empty());
    }
    ASSERT_EQ(0u, RunSetup(L"2002.exe", dir));
    StampOld(dir + L"\\TovoBox.exe");
    StayingClient staying;
    EXPECT_EQ(2u, RunSetup(L"1001.exe", dir));
    EXPECT_EQ(2u, RunUninstaller(dir));
    EXPECT_TRUE(HasOldStamp(dir + L"\\TovoBox.exe"));
    EXPECT_EQ(L"2002", ReadChannel(dir + L"\\"));
    EXPECT_EQ(4u, Entries(dir).size());
    EXPECT_TRUE(HasShortcuts());
    EXPECT_EQ(dir, RegString(kUninstallKey, L"InstallLocation"));
    EXPECT_TRUE(RegString(kRunKey, L"TovoBox").has_value());
}

TEST_F(Setup, UninstallRemovesWhatTheInstallMadeAndNothingElse) {
    SetRegString(kRunKey, L"OtherApp", L"other.exe");
    const DWORD otherMode = 10000;
    RegSetKeyValueW(HKEY_CURRENT_USER, kEmulationKey, L"other.exe", REG_DWORD, &otherMode,
                    sizeof otherMode);
    for (bool userFile : {true, false}) {
        SCOPED_TRACE(userFile ? "with a file of the user's" : "as registered");
        const std::wstring dir = m_root + (userFile ? L"kept" : L"gone");
        ASSERT_EQ(0u, RunSetup(L"1001.exe", dir));
        if (userFile) {
            testutil::WriteBytes(dir + L"\\notes.txt", "mine");
            EXPECT_EQ(0u, RunUninstaller(dir));
            EXPECT_EQ(std::set<std::wstring>{L"notes.txt"}, Entries(dir));
        } else {
            // As the system runs it: the uninstaller goes on from a temporary copy, and the
            // uninstall entry is the last thing it removes.
            EXPECT_EQ(0u, Run(dir + L"\\uninst.exe", L"/S"));
            EXPECT_TRUE(WaitUntil(
                [&] { return !RegString(kUninstallKey, L"InstallLocation").has_value(); }, 30000));
            EXPECT_FALSE(Exists(dir));
        }
        EXPECT_TRUE(Entries(m_root + L"Desktop").empty());
        EXPECT_TRUE(Entries(m_root + L"Programs").empty());
        EXPECT_FALSE(RegString(kRunKey, L"TovoBox").has_value());
        EXPECT_FALSE(RegString(kUninstallKey, L"InstallLocation").has_value());
        EXPECT_FALSE(RegDword(kEmulationKey, L"TovoBox.exe").has_value());
    }
    EXPECT_EQ(L"other.exe", RegString(kRunKey, L"OtherApp"));
    EXPECT_EQ(otherMode, RegDword(kEmulationKey, L"other.exe"));
}

namespace {

std::string FileBytes(const std::wstring& path) {
    std::string bytes;
    ReadSmallFile(path, static_cast<size_t>(kMaxSetupBytes), bytes);
    return bytes;
}

// The update folders' files, "<folder>\\<file>" each.
std::set<std::wstring> UpdateFiles() {
    std::set<std::wstring> files;
    for (const std::wstring& folder : PendingUpdateFolders()) {
        for (const std::wstring& name : Entries(folder))
            files.insert(folder + name);
    }
    return files;
}

bool UpdatePending() {
    for (const std::wstring& f : UpdateFiles()) {
        if (f.size() > 10 && f.compare(f.size() - 10, 10, L"update.txt") == 0)
            return true;
    }
    return false;
}

void ExitClientOf(HWND w) {
    PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
}

} // namespace

class Update : public Setup {
protected:
    void SetUp() override {
        Setup::SetUp();
        // The update folder lives in a profile whose path is not ASCII.
        m_savedLocal = RegString(kShellFolders, L"Local AppData");
        CreateDirectoryW((m_root + L"用户 数据").c_str(), nullptr);
        SetRegString(kShellFolders, L"Local AppData", m_root + L"用户 数据");
        ASSERT_EQ(m_root + L"用户 数据\\TovoBox\\Updates\\", UpdatesFolder());
        ASSERT_TRUE(server.Start()) << "loopback port " << kBoxPort << " is taken";
        next = FileBytes(testutil::ExeDir() + L"..\\TovoBoxSetupNext.exe");
        ASSERT_FALSE(next.empty());
        fields.url = "http://127.0.0.1:" + std::to_string(kBoxPort) + "/next.exe";
        fields.size = std::to_string(next.size());
        fields.sha256 = testutil::Sha256Hex(next);
        fields.channels = "2002,1001";
        dir = m_root + L"app";
        exe = dir + L"\\TovoBox.exe";
        ASSERT_EQ(0u, RunSetup(L"1001.exe", dir));
    }
    void TearDown() override {
        for (int i = 0; i < 3 && CountMarkedWindows() > 0; ++i) {
            ExitClientOf(WaitForMarkedWindow(1000));
            WaitUntil([] { return CountMarkedWindows() == 0; }, 5000);
        }
        server.Stop();
        Forget();
        if (m_savedLocal)
            SetRegString(kShellFolders, L"Local AppData", *m_savedLocal);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kShellFolders, L"Local AppData");
        Setup::TearDown();
    }
    void Serve(const std::string& manifest, const std::string& setup) {
        server.SetResponse("/update", LoopbackResponse::Text(manifest));
        LoopbackResponse file = LoopbackResponse::Text(setup);
        file.contentType = "application/octet-stream";
        server.SetResponse("/next.exe", file);
    }
    // Starts the installed client and waits for its window and for its update check to be over.
    HWND StartAndCheck(ClientProcess& client) {
        server.ClearRequests();
        EXPECT_TRUE(client.Start(exe));
        HWND w = WaitForMarkedWindow(20000);
        EXPECT_TRUE(WaitUntil([&] { return server.GetsOf("/update") > 0; }, 20000));
        WaitUntil([&] { return server.GetsOf("/next.exe") > 0; }, 1500);
        Sleep(1500);
        return w;
    }

    std::wstring dir, exe;
    std::optional<std::wstring> m_savedLocal;
    LoopbackServer server{kBoxPort};
    std::string next;
    testutil::ManifestFields fields;
};

// Each refusal leaves the installed client at its version and running, nothing started, nothing in
// the update folder; a server that never answers holds neither the window nor Exit.
TEST_F(Update, AnyFaultOfTheManifestTheDownloadOrTheFileLeavesTheClientAsItWas) {
    enum Fault { kNone, kManifestByte, kSilent, kSwap, kExitMidDownload, kSignedClient };
    const struct {
        const char* why;
        std::function<void(testutil::ManifestFields&, std::string& key, std::string& setup)> change;
        Fault fault;
        uint64_t highestSerial;
    } cases[] = {
        {"a changed byte in the setup", [](auto&, auto&, std::string& s) { s[s.size() / 2] ^= 1; },
         kNone, 0},
        {"a changed byte in the manifest", [](auto&, auto&, auto&) {}, kManifestByte, 0},
        {"another key", [](auto&, std::string& k, auto&) { k = "other"; }, kNone, 0},
        {"the same version", [](auto& f, auto&, auto&) { f.version = "1.0.0.2"; }, kNone, 0},
        {"an older version", [](auto& f, auto&, auto&) { f.version = "1.0.0.1"; }, kNone, 0},
        {"a lower serial", [](auto&, auto&, auto&) {}, kNone, 8},
        {"expired", [](auto& f, auto&, auto&) { f.expires = "2020-01-01T00:00:00Z"; }, kNone, 0},
        {"another channel", [](auto& f, auto&, auto&) { f.channels = "2002"; }, kNone, 0},
        {"longer than its size",
         [](auto& f, auto&, std::string& s) {
             s.pop_back();
             f.size = std::to_string(s.size());
             f.sha256 = testutil::Sha256Hex(s);
             s.push_back('x');
         },
         kNone, 0},
        {"swapped in the folder before the next start", [](auto&, auto&, auto&) {}, kSwap, 0},
        {"a server that never answers", [](auto&, auto&, auto&) {}, kSilent, 0},
        {"a signed client, a setup signed by another publisher",
         [](auto&, auto&, auto&) {}, kSignedClient, 0},
        {"Exit during the download",
         [](auto& f, auto&, auto&) { f.size = std::to_string(kMaxSetupBytes); }, kExitMidDownload, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tovo");
        if (c.highestSerial)
            WriteHighestSerial(c.highestSerial);
        testutil::ManifestFields f = fields;
        std::string key = "test-1", setup = next;
        c.change(f, key, setup);
        std::string manifest = testutil::SignManifest(testutil::ManifestText(f), key);
        if (c.fault == kManifestByte)
            manifest[manifest.find("serial=7") + 7] = '8';
        Serve(manifest, setup);
        if (c.fault == kSilent)
            server.SetResponse("/update", LoopbackResponse::Silent());
        const std::wstring signedDir = testutil::ExeDir() + L"..\\signed-update\\";
        if (c.fault == kSignedClient) {
            // Refused by the publisher check alone: the same setup by the client's own publisher,
            // with a renewed certificate, is taken.
            const std::string unsignedClient = FileBytes(exe);
            ASSERT_TRUE(CopyFileW((signedDir + L"client.exe").c_str(), exe.c_str(), FALSE));
            const std::pair<const wchar_t*, bool> setups[] = {{L"setup-other.exe", false},
                                                              {L"setup-renewed.exe", true}};
            for (const auto& [setupName, taken] : setups) {
                const std::string bytes = FileBytes(signedDir + setupName);
                f.size = std::to_string(bytes.size());
                f.sha256 = testutil::Sha256Hex(bytes);
                Serve(testutil::SignManifest(testutil::ManifestText(f)), bytes);
                ClientProcess client;
                HWND w = StartAndCheck(client);
                EXPECT_EQ(taken, UpdatePending()) << testutil::ToUtf8(setupName);
                ExitClientOf(w);
                EXPECT_EQ(0u, client.WaitExit(5000));
                testutil::RemoveTree(UpdatesFolder());
                RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tovo");
            }
            ASSERT_TRUE(testutil::WriteBytes(exe, unsignedClient));
            continue;
        }
        if (c.fault == kExitMidDownload) {
            LoopbackResponse endless = LoopbackResponse::Text(next);
            endless.endless = true;
            server.SetResponse("/next.exe", endless);
            ClientProcess client;
            ASSERT_TRUE(client.Start(exe));
            HWND w = WaitForMarkedWindow(20000);
            ASSERT_TRUE(WaitUntil([] { return !UpdateFiles().empty(); }, 20000));
            DWORD start = GetTickCount();
            ExitClientOf(w);
            EXPECT_EQ(0u, client.WaitExit(5000));
            EXPECT_LT(GetTickCount() - start, 1000u) << "Exit took too long";
            EXPECT_TRUE(WaitUntil([] { return UpdateFiles().empty(); }, 2000)) << "a partial file";
            continue;
        }

        ClientProcess client;
        HWND w = StartAndCheck(client);
        if (c.fault == kSwap) {
            ASSERT_TRUE(UpdatePending());
            ExitClientOf(w);
            ASSERT_EQ(0u, client.WaitExit(5000));
            const std::string older = FileBytes(testutil::ExeDir() + L"..\\TovoBoxSetup.exe");
            for (const std::wstring& f : UpdateFiles()) {
                if (f.find(kUpdateSetupName) != std::wstring::npos) {
                    ASSERT_TRUE(testutil::WriteBytes(f, older));
                }
            }
            server.SetResponse("/update", LoopbackResponse::Text("", 404)); // no new download
            ASSERT_TRUE(client.Start(exe));
            w = WaitForMarkedWindow(20000);
            Sleep(1000);
        }
        ASSERT_NE(nullptr, w);
        EXPECT_EQ(w, FindMarkedWindowOf(client.Pid())) << "the client handed over";
        EXPECT_EQ(L"1.0.0.2", GetFileVersionString(exe, L"FileVersion"));
        EXPECT_TRUE(UpdateFiles().empty()) << testutil::ToUtf8(*UpdateFiles().begin());
        long loop = ProbeMessageLoop(w, 5000);
        EXPECT_GE(loop, 0);
        EXPECT_LT(loop, 1000);
        DWORD start = GetTickCount();
        ExitClientOf(w);
        EXPECT_EQ(0u, client.WaitExit(5000));
        EXPECT_LT(GetTickCount() - start, 1000u) << "Exit took too long";
        EXPECT_TRUE(UpdateFiles().empty());
        EXPECT_EQ(0, CountMarkedWindows()) << "a copy still runs";
    }
}

TEST_F(Update, VerifiedUpdateIsFetchedOnceAndReplacesTheClientAtItsNextStart) {
    Serve(testutil::SignManifest(testutil::ManifestText(fields), "test-2"), next);
    ClientProcess first;
    HWND w = StartAndCheck(first);
    ASSERT_TRUE(WaitUntil(UpdatePending, 20000));
    EXPECT_EQ(7u, ReadHighestSerial());
    EXPECT_EQ(2u, UpdateFiles().size()) << "the setup program and its manifest";
    ExitClientOf(w);
    ASSERT_EQ(0u, first.WaitExit(5000));

    const DWORD userMode = 10001; // the user's own document mode stays
    RegSetKeyValueW(HKEY_CURRENT_USER, kEmulationKey, L"TovoBox.exe", REG_DWORD, &userMode,
                    sizeof userMode);
    ClientProcess second;
    ASSERT_TRUE(second.Start(exe, L"Auto"));
    EXPECT_EQ(0u, second.WaitExit(10000)) << "the old client hands over and ends";
    ASSERT_TRUE(WaitUntil([&] { return GetFileVersionString(exe, L"FileVersion") == L"1.0.0.3"; },
                          60000));
    HWND updated = WaitForMarkedWindow(30000);
    ASSERT_NE(nullptr, updated);
    EXPECT_FALSE(IsWindowVisible(updated)) << "started with the old client's Auto";
    EXPECT_EQ(1, CountMarkedWindows());
    EXPECT_EQ(L"1001", ReadChannel(dir + L"\\"));
    EXPECT_EQ(L"1.0.0.3", RegString(kUninstallKey, L"DisplayVersion"));
    EXPECT_TRUE(RegString(kRunKey, L"TovoBox").has_value());
    EXPECT_EQ(userMode, RegDword(kEmulationKey, L"TovoBox.exe"));
    EXPECT_TRUE(WaitUntil([] { return UpdateFiles().empty() && PendingUpdateFolders().empty(); },
                          40000));
    EXPECT_EQ((std::set<std::wstring>{L"TovoBox.exe", L"config.ini", L"skins", L"uninst.exe"}),
              Entries(dir));
}

// The setup program's update mode when it cannot stage the new client: the old one is left in
// place and started again, and the code says the update failed.
TEST_F(Update, SetupThatCannotStageTheNewClientStartsTheOldOneAgain) {
    ASSERT_TRUE(testutil::WriteBytes(dir + L"\\update.new", "in the way"));
    std::wstring setup = m_root + L"next.exe";
    ASSERT_TRUE(testutil::WriteBytes(setup, next));
    EXPECT_EQ(3u, Run(setup, L"/S /UPDATE /AUTO /D=" + dir));
    EXPECT_EQ(L"1.0.0.2", GetFileVersionString(exe, L"FileVersion"));
    HWND w = WaitForMarkedWindow(20000);
    ASSERT_NE(nullptr, w);
    EXPECT_FALSE(IsWindowVisible(w)) << "started again with Auto";
    EXPECT_EQ(L"1001", ReadChannel(dir + L"\\"));
}
