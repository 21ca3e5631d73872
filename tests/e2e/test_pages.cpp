// The real client's first page against the loopback box server.

#include "e2e/client_process.h"
#include "res/resource.h"
#include "support/loopback_server.h"

#include <gtest/gtest.h>

#include <memory>

using namespace e2e;

namespace {

constexpr DWORD kStartTimeout = 20000;

size_t RequestsFor(const LoopbackServer& server, const std::string& path) {
    size_t n = 0;
    for (const LoopbackRequest& r : server.Requests())
        n += r.method == "GET" && r.Path() == path;
    return n;
}

HWND FindPage(HWND main) {
    return FindWindowExW(main, nullptr, L"#32770", nullptr);
}

// Exit from the tray menu; a plain close ends a client that has no tray yet.
void CloseClient(HWND w) {
    PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
    PostMessageW(w, WM_CLOSE, 0, 0);
}

class FirstPage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, CountMarkedWindows()) << "a client is still running";
        ASSERT_TRUE(server.Start()) << "loopback port " << kBoxPort << " is taken";
    }
    void TearDown() override {
        client.Kill();
        server.Stop();
    }
    LoopbackServer server{kBoxPort};
    ClientProcess client;
};

} // namespace

TEST_F(FirstPage, StartUpLoadsTabZeroOnceAndExitClosesThePageQuickly) {
    ClientInstall install;
    for (const wchar_t* args : {L"", L"Auto"}) {
        SCOPED_TRACE(testing::Message() << "arguments \"" << (*args ? "Auto" : "") << "\"");
        server.ClearRequests();
        ASSERT_TRUE(client.Start(install.ExePath(), args));
        HWND w = WaitForMarkedWindow(kStartTimeout);
        ASSERT_TRUE(w);
        EXPECT_TRUE(WaitUntil([&] { return RequestsFor(server, "/") >= 1; }, 10000));
        HWND page = FindPage(w);
        ASSERT_TRUE(page);
        EXPECT_EQ(*args == 0, IsWindowVisible(page) != FALSE);
        // Nothing asks for the page a second time.
        Sleep(1000);
        EXPECT_EQ(1u, RequestsFor(server, "/"));

        DWORD start = GetTickCount();
        CloseClient(w);
        EXPECT_EQ(0u, client.WaitExit(10000));
        EXPECT_LT(GetTickCount() - start, 1000u);
    }
}
