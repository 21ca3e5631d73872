// Bad input and faults around the real client: damaged skins, odd config.ini files, awkward
// install directories and a misbehaving box server. Whatever the case, the client keeps running
// (or ends cleanly), its message loop answers, it reports exactly once where the network is up,
// and it writes nothing into its install directory.

#include <winsock2.h>

#include "e2e/client_process.h"
#include "mainwnd/Layout.h"
#include "support/loopback_server.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using namespace e2e;

namespace {

// The window's own nine pictures, then the tab table's.
const std::vector<const wchar_t*> kSkinFiles = [] {
    std::vector<const wchar_t*> files = {L"min.png",     L"close.png", L"max.png",
                                         L"net.png",     L"fackback.png", L"logo.png",
                                         L"content.png", L"top.png",   L"bottombg.png"};
    for (const TabEntry& tab : kTabs)
        files.push_back(tab.picture);
    return files;
}();

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE h = CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        bytes.append(buffer, n);
    CloseHandle(h);
    return bytes;
}

unsigned long Crc32(const std::string& bytes, size_t from, size_t count) {
    unsigned long crc = 0xFFFFFFFFul;
    for (size_t i = from; i < from + count; ++i) {
        crc ^= static_cast<unsigned char>(bytes[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1)));
    }
    return crc ^ 0xFFFFFFFFul;
}

void PutBigEndian(std::string& bytes, size_t at, unsigned long value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
}

// A valid PNG whose header (with a correct checksum) claims 30000 x 30000 pixels.
std::string HugeHeader(std::string png) {
    PutBigEndian(png, 16, 30000);
    PutBigEndian(png, 20, 30000);
    PutBigEndian(png, 29, Crc32(png, 12, 17));
    return png;
}

// Far above what the client needs (about 16 MB), far below what a runaway reply reaches.
constexpr size_t kMemoryLimit = 48u << 20;

using Damage = std::function<std::string(const std::string& original)>;

void DamageSkin(const ClientInstall& install, const Damage& damage) {
    for (const wchar_t* file : kSkinFiles) {
        std::wstring path = install.Dir() + L"skins\\Common\\" + file;
        testutil::WriteBytes(L"\\\\?\\" + path, damage(ReadBytes(path)));
    }
}

enum class Server {
    Normal,
    Refused,
    NeverAccepts, // a full backlog: connection attempts are dropped, not refused
    Silent,       // the report goes unanswered
    AllSilent,    // every request, the reachability probe's included
    Error500,
    Huge,
    Endless,
    ZeroAndBadUtf8,
    CutShort,
    Redirect
};

struct FaultCase {
    std::string name;
    std::function<void(ClientInstall&)> prepare; // may be empty
    Server server = Server::Normal;
    size_t exePathLength = 0;
    bool readOnly = false;
    bool refuseMainWindow = false;
    const char* channel = nullptr; // the report's "from" field, where the case decides it
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<FaultCase> Cases() {
    std::vector<FaultCase> cases;
    auto add = [&](std::string name, std::function<void(ClientInstall&)> prepare,
                   const char* channel = nullptr) {
        FaultCase c;
        c.name = std::move(name);
        c.prepare = std::move(prepare);
        c.channel = channel;
        cases.push_back(c);
        return &cases.back();
    };
    add("SkinDirectoryMissing", [](ClientInstall& i) {
        RemoveDirectoryW((i.Dir() + L"skins\\Common").c_str());
        RemoveDirectoryW((i.Dir() + L"skins").c_str());
    });
    for (const wchar_t* file : kSkinFiles) {
        std::string stem = testutil::ToUtf8(file);
        stem = stem.substr(0, stem.find('.'));
        add("SkinMissing_" + stem, [file](ClientInstall& i) {
            DeleteFileW((i.Dir() + L"skins\\Common\\" + file).c_str());
        });
    }
    add("SkinZeroBytes", [](ClientInstall& i) { DamageSkin(i, [](auto&) { return ""; }); });
    add("SkinTruncated", [](ClientInstall& i) {
        DamageSkin(i, [](const std::string& png) { return png.substr(0, png.size() / 2); });
    });
    add("SkinNotAPng", [](ClientInstall& i) {
        DamageSkin(i, [](auto&) { return std::string("GIF89a this is no picture\r\n", 28); });
    });
    add("SkinHeaderClaims30000x30000", [](ClientInstall& i) {
        DamageSkin(i, [](const std::string& png) { return HugeHeader(png); });
    });
    for (const wchar_t* donor : {L"min.png", L"top.png"}) {
        add("SkinFramesOfTheWrongSize_" + testutil::ToUtf8(donor).substr(0, 3),
            [donor](ClientInstall& i) {
                std::string bytes = ReadBytes(i.Dir() + L"skins\\Common\\" + donor);
                DamageSkin(i, [bytes](auto&) { return bytes; });
            });
    }

    add("ConfigMissing", nullptr, "");
    add(
        "ConfigEmpty", [](ClientInstall& i) { i.WriteConfig(""); }, "");
    add("ConfigBinaryGarbage", [](ClientInstall& i) {
        std::string junk;
        unsigned seed = 7;
        for (int k = 0; k < 4096; ++k)
            junk += static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
        i.WriteConfig(junk);
    });
    add("Config10MB", [](ClientInstall& i) {
        std::string big(10 << 20, 'x');
        for (size_t k = 100; k < big.size(); k += 101)
            big[k] = '\n';
        i.WriteConfig(big + "\r\n[Tovo]\r\nchannel=3003.exe\r\n");
    });
    add(
        "ConfigUtf16WithBom",
        [](ClientInstall& i) {
            std::wstring text = L"\xFEFF[Tovo]\r\nchannel=渠道.exe\r\n";
            i.WriteConfig(std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
        },
        "渠道");
    add(
        "ConfigValueWithoutDot",
        [](ClientInstall& i) { i.WriteConfig("[Tovo]\r\nchannel=1001\r\n"); }, "");
    add(
        "ConfigValueWithQuerySyntax",
        [](ClientInstall& i) { i.WriteConfig("[Tovo]\r\nchannel=a&b #c d=e.exe\r\n"); },
        "a&b #c d=e");
    add(
        "ConfigValueBrokenByALineBreak",
        [](ClientInstall& i) { i.WriteConfig("[Tovo]\r\nchannel=ab\r\ncd.exe\r\n"); }, "");

    add(
        "InstallPathOf258Characters",
        [](ClientInstall& i) { i.WriteConfig("[Tovo]\r\nchannel=2002.exe\r\n"); }, "2002")
        ->exePathLength = 258;
    add(
        "InstallDirectoryReadOnly",
        [](ClientInstall& i) { i.WriteConfig("[Tovo]\r\nchannel=4004.exe\r\n"); }, "4004")
        ->readOnly = true;

    const std::pair<const char*, Server> servers[] = {
        {"ServerRefused", Server::Refused},
        {"ServerNeverAccepts", Server::NeverAccepts},
        {"ServerSilentToEveryRequest", Server::AllSilent},
        {"ServerSilent", Server::Silent},
        {"Server500", Server::Error500},
        {"Server10MB", Server::Huge},
        {"ServerEndless", Server::Endless},
        {"ServerZeroBytesAndBadUtf8", Server::ZeroAndBadUtf8},
        {"ServerClosesMidResponse", Server::CutShort},
        {"ServerRedirects", Server::Redirect}};
    for (const auto& s : servers)
        add(s.first, nullptr)->server = s.second;
    add("MainWindowRefused", nullptr)->refuseMainWindow = true;
    return cases;
}

// Makes every file and folder under dir read-only, or writable again.
void SetReadOnly(const std::wstring& dir, bool on) {
    testutil::ForEachEntry(dir, [&](const WIN32_FIND_DATAW& fd) {
        std::wstring name = fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            SetReadOnly(dir + name + L"\\", on);
        else
            SetFileAttributesW((L"\\\\?\\" + dir + name).c_str(),
                               on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
    });
    SetFileAttributesW((L"\\\\?\\" + dir).c_str(),
                       on ? FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY
                          : FILE_ATTRIBUTE_DIRECTORY);
}

size_t ReportCount(const LoopbackServer& server) {
    size_t n = 0;
    for (const LoopbackRequest& r : server.Requests())
        n += r.Path() == "/box.php";
    return n;
}

std::string FromField(const LoopbackServer& server) {
    for (const LoopbackRequest& r : server.Requests()) {
        std::string q = r.Query();
        if (r.Path() != "/box.php" || q.compare(0, 5, "from=") != 0)
            continue;
        return testutil::PercentDecode(q.substr(5, q.find('&') - 5));
    }
    return "<no report>";
}

// What a user does to a window: sizes it, repaints it and moves the mouse over every control, so
// that damaged pictures go through drawing and hit testing too.
void Exercise(HWND w) {
    ShowWindow(w, SW_MAXIMIZE);
    ShowWindow(w, SW_RESTORE);
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    ControlLayout l = ComputeLayout(kDefaultWidth, kDefaultHeight);
    std::vector<RECT> controls = {l.feedback, l.min, l.max, l.close, l.homeLink};
    controls.insert(controls.end(), std::begin(l.tab), std::end(l.tab));
    for (const RECT& rc : controls) {
        LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        PostMessageW(w, WM_MOUSEMOVE, 0, at);
    }
    PostMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(500, 400));
}

// A listener on the box server's port that never accepts, its backlog filled by connections of
// its own, so that further connection attempts go unanswered.
class BlackHole {
public:
    bool Start(unsigned short port) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(m_listener, 1) != 0)
            return false;
        for (SOCKET& s : m_fillers) {
            s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            u_long nonBlocking = 1;
            ioctlsocket(s, FIONBIO, &nonBlocking);
            connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        }
        Sleep(200);
        return true;
    }
    ~BlackHole() {
        for (SOCKET s : m_fillers)
            closesocket(s);
        if (m_listener != INVALID_SOCKET)
            closesocket(m_listener);
    }

private:
    SOCKET m_listener = INVALID_SOCKET;
    SOCKET m_fillers[4] = {INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET};
};

// While it lives, the creation of the client's main window fails (tests/data/refuse_window.cpp).
using Hook = std::unique_ptr<std::remove_pointer_t<HHOOK>, decltype(&UnhookWindowsHookEx)>;
Hook RefuseMainWindow(bool refuse) {
    HMODULE dll = refuse ? LoadLibraryW((testutil::ExeDir() + L"refuse_window.dll").c_str()) : 0;
    auto proc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(dll ? GetProcAddress(dll, "RefuseMainWindow") : nullptr));
    return Hook(proc ? SetWindowsHookExW(WH_CBT, proc, dll, 0) : nullptr, &UnhookWindowsHookEx);
}

class FaultMatrix : public ::testing::TestWithParam<FaultCase> {};

} // namespace

TEST_P(FaultMatrix, ClientSurvivesAnswersReportsOnceAndWritesNothing) {
    const FaultCase& c = GetParam();
    ASSERT_EQ(0, CountMarkedWindows()) << "a client is still running";

    LoopbackServer server{kBoxPort}, other;
    LoopbackResponse reply = LoopbackResponse::Text("ok");
    switch (c.server) {
    case Server::Silent:
        reply = LoopbackResponse::Silent();
        break;
    case Server::Error500:
        reply = LoopbackResponse::Text("failure", 500);
        break;
    case Server::Huge:
        reply = LoopbackResponse::Text(std::string(10 << 20, 'a'));
        break;
    case Server::Endless:
        reply = LoopbackResponse::Text(std::string(64 << 10, 'e'));
        reply.endless = true;
        break;
    case Server::ZeroAndBadUtf8:
        reply = LoopbackResponse::Text(std::string("\0\xff\xfe\xc3(\xed\xa0\x80\0\xe6\xb8", 11));
        break;
    case Server::CutShort:
        reply = LoopbackResponse::Text(std::string(4000, 'b'));
        reply.cutAfter = 200;
        break;
    case Server::Redirect:
        ASSERT_TRUE(other.Start());
        reply = LoopbackResponse::Text("", 302);
        reply.headers.emplace_back("Location", testutil::ToUtf8(other.Url(L"/box.php?moved=1")));
        break;
    default:
        break;
    }
    server.SetResponse("/box.php", reply);
    BlackHole hole;
    if (c.server == Server::NeverAccepts) {
        ASSERT_TRUE(hole.Start(kBoxPort)) << "loopback port " << kBoxPort << " is taken";
    } else if (c.server != Server::Refused) {
        ASSERT_TRUE(server.Start()) << "loopback port " << kBoxPort << " is taken";
    }

    auto install = std::make_unique<ClientInstall>(true, c.exePathLength);
    if (c.prepare)
        c.prepare(*install);
    if (c.readOnly)
        SetReadOnly(install->Dir(), true);
    const std::wstring before = ListTree(install->Dir());
    Hook refusal = RefuseMainWindow(c.refuseMainWindow);
    ASSERT_EQ(c.refuseMainWindow, refusal != nullptr);

    ClientProcess client;
    ASSERT_TRUE(client.Start(install->ExePath()));
    HWND w = nullptr;
    bool up = WaitUntil(
        [&] {
            w = FindMarkedWindowOf(client.Pid());
            return !client.Running() || (w && ProbeMessageLoop(w, 1000) >= 0);
        },
        30000);
    ASSERT_TRUE(up) << "no window and no exit within 30 s";

    if (client.Running()) {
        Exercise(w);
        long worst = 0;
        for (int i = 0; i < 10; ++i) {
            long ms = ProbeMessageLoop(w, 5000);
            ASSERT_GE(ms, 0) << "the message loop stopped answering";
            worst = std::max(worst, ms);
            Sleep(50);
        }
        EXPECT_LT(worst, 1000) << "slowest answer of the message loop";
        // Where the probe goes unanswered too, the client counts as offline until a tick.
        size_t expected = c.server == Server::Refused || c.server == Server::NeverAccepts ? 0 : 1;
        if (expected) {
            EXPECT_TRUE(WaitUntil([&] { return ReportCount(server) >= 1; }, 15000));
        }
        // A second report, a late crash, or memory that runs away (the client is stopped long
        // before it can hurt the machine).
        size_t peak = 0;
        for (int i = 0; i < (c.server == Server::Endless ? 50 : 15) && client.Running(); ++i) {
            peak = std::max(peak, PrivateBytes(client.Handle()));
            if (peak > kMemoryLimit)
                client.Kill();
            Sleep(100);
        }
        EXPECT_LT(peak, kMemoryLimit) << "private bytes";
        EXPECT_EQ(expected, ReportCount(server));
        EXPECT_LE(ReportCount(other), 1u);
        if (c.channel && expected) {
            EXPECT_EQ(c.channel, FromField(server));
        }
        EXPECT_TRUE(client.Running()) << "ended with code " << client.WaitExit(0);
        EXPECT_GE(ProbeMessageLoop(w, 5000), 0);
    } else {
        // Only a main window that could not be made ends the client: with the code of a failed
        // start (a crash gives another), and leaving nothing that keeps the next start from
        // starting.
        EXPECT_TRUE(c.refuseMainWindow) << "the client ended without a window";
        EXPECT_EQ(static_cast<DWORD>(-1), client.WaitExit(0));
        refusal.reset();
        ClientProcess next;
        ASSERT_TRUE(next.Start(install->ExePath()));
        EXPECT_TRUE(WaitUntil([&] { return FindMarkedWindowOf(next.Pid()) != nullptr; }, 30000))
            << "the next start did not start";
    }
    client.Kill();
    client.WaitExit(5000);
    server.Stop();
    other.Stop();

    EXPECT_EQ(testutil::ToUtf8(before), testutil::ToUtf8(ListTree(install->Dir())))
        << "the install directory changed";
    if (c.readOnly)
        SetReadOnly(install->Dir(), false);
}

INSTANTIATE_TEST_SUITE_P(Cases, FaultMatrix, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return info.param.name;
                         });
