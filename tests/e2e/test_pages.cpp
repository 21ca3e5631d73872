// The real client's first page against the loopback box server.

#include "e2e/served_client.h"
#include "res/resource.h"
#include "support/loopback_server.h"
#include "support/test_util.h"

#include "framework/afxgdiplus.h"

#include <gtest/gtest.h>

#include <memory>

using namespace e2e;

namespace {

constexpr DWORD kStartTimeout = 20000;

HWND FindPage(HWND main) {
    return FindWindowExW(main, nullptr, L"#32770", nullptr);
}

// Exit from the tray menu; a plain close ends a client that has no tray yet.
void CloseClient(HWND w) {
    PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
    PostMessageW(w, WM_CLOSE, 0, 0);
}

// Replaces the prefix's system sensapi.dll with one whose network is always down, and makes
// the client load it instead of the built-in one (a per-program DLL override of this Wine).
class OfflineNetwork {
public:
    OfflineNetwork() {
        wchar_t sys[MAX_PATH] = {};
        GetSystemDirectoryW(sys, MAX_PATH);
        m_system = std::wstring(sys) + L"\\sensapi.dll";
        m_backup = m_system + L".tovo-saved";
        m_ok = MoveFileExW(m_system.c_str(), m_backup.c_str(), MOVEFILE_REPLACE_EXISTING) &&
               CopyFileW((testutil::ExeDir() + L"offline\\sensapi.dll").c_str(), m_system.c_str(),
                         FALSE);
        HKEY key = nullptr;
        m_ok = m_ok && RegCreateKeyExW(HKEY_CURRENT_USER, kOverrides, 0, nullptr, 0, KEY_SET_VALUE,
                                       nullptr, &key, nullptr) == ERROR_SUCCESS;
        if (key) {
            const wchar_t native[] = L"native";
            m_ok = m_ok &&
                   RegSetValueExW(key, L"sensapi", 0, REG_SZ, reinterpret_cast<const BYTE*>(native),
                                  sizeof(native)) == ERROR_SUCCESS;
            RegCloseKey(key);
        }
    }
    ~OfflineNetwork() {
        RegDeleteKeyW(HKEY_CURRENT_USER, kOverrides);
        MoveFileExW(m_backup.c_str(), m_system.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    bool Ok() const { return m_ok; }

private:
    static constexpr const wchar_t* kOverrides =
        L"Software\\Wine\\AppDefaults\\TovoBox.exe\\DllOverrides";
    std::wstring m_system, m_backup;
    bool m_ok = false;
};

class FirstPage : public ServedClient {};

} // namespace

TEST_F(FirstPage, StartUpLoadsTabZeroOnceAndExitClosesThePageQuickly) {
    ClientInstall install;
    for (const wchar_t* args : {L"", L"Auto"}) {
        SCOPED_TRACE(testing::Message() << "arguments \"" << (*args ? "Auto" : "") << "\"");
        server.ClearRequests();
        ASSERT_TRUE(client.Start(install.ExePath(), args));
        HWND w = WaitForMarkedWindow(kStartTimeout);
        ASSERT_TRUE(w);
        EXPECT_TRUE(WaitUntil([&] { return server.GetsOf("/") >= 1; }, 10000));
        HWND page = FindPage(w);
        ASSERT_TRUE(page);
        // The shown start makes its page right after its first frame: wait for it to show.
        if (*args == 0)
            EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(page) != FALSE; }, 5000));
        else
            EXPECT_FALSE(IsWindowVisible(page));
        // Nothing asks for the page a second time.
        Sleep(1000);
        EXPECT_EQ(1u, server.GetsOf("/"));

        DWORD start = GetTickCount();
        CloseClient(w);
        EXPECT_EQ(0u, client.WaitExit(10000));
        EXPECT_LT(GetTickCount() - start, 1000u);
    }
}

TEST_F(FirstPage, CreatedOfflineShowsThePictureAndPutsTheLoadOff) {
    if (!GetEnvironmentVariableW(L"TOVO_OFFLINE_PREFIX", nullptr, 0))
        GTEST_SKIP() << "needs a prefix of its own and a screen (e2e.x11.OfflineFirstPage)";
    ClientInstall install;
    OfflineNetwork offline;
    ASSERT_TRUE(offline.Ok());
    ASSERT_TRUE(client.Start(install.ExePath()));
    HWND w = WaitForMarkedWindow(kStartTimeout);
    ASSERT_TRUE(w);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(w) != FALSE; }, 5000));
    // The page follows the window's first frame.
    HWND page = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (page = FindPage(w)) != nullptr; }, 5000));
    ASSERT_GE(ProbeMessageLoop(w, 5000), 0);
    Sleep(1000);
    EXPECT_EQ(0u, server.GetsOf("/"));

    // The retry area's middle on the screen shows the picture's own pixel there; the page's
    // corner is white. The picture's corner lies at (width / 2 - 140, height / 2 - 100).
    RECT rc = {};
    GetClientRect(page, &rc);
    POINT corner = {rc.right / 2 - 140, rc.bottom / 2 - 100};
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    COLORREF expected = 0;
    POINT inPicture = {};
    {
        Gdiplus::Bitmap net((install.Dir() + L"skins\\Common\\net.png").c_str());
        ASSERT_EQ(Gdiplus::Ok, net.GetLastStatus());
        inPicture = {(185 + static_cast<LONG>(net.GetWidth())) / 2,
                     (130 + static_cast<LONG>(net.GetHeight())) / 2};
        Gdiplus::Color c;
        net.GetPixel(inPicture.x, inPicture.y, &c);
        expected = RGB(c.GetR(), c.GetG(), c.GetB());
    }
    Gdiplus::GdiplusShutdown(token);
    POINT probe = {corner.x + inPicture.x, corner.y + inPicture.y}, white = {3, 3};
    ClientToScreen(page, &probe);
    ClientToScreen(page, &white);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(expected, GetPixel(screen, probe.x, probe.y));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(screen, white.x, white.y));
    ReleaseDC(nullptr, screen);

    CloseClient(w);
    EXPECT_EQ(0u, client.WaitExit(10000));
}
