// Single instance and the client's lifecycle under repetition: simultaneous starts, start and
// Exit cycles, and memory over many hide/show cycles and tab clicks. The loops are sized for the
// suite; TOVO_SOAK=1 (make soak) runs them at full length.

#include "e2e/client_process.h"
#include "mainwnd/Layout.h"
#include "res/resource.h"
#include "support/loopback_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace e2e;

namespace {

constexpr DWORD kStartTimeout = 20000;

int Count(int suite, int soak) {
    const char* s = std::getenv("TOVO_SOAK");
    return s && *s && *s != '0' ? soak : suite;
}

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, CountMarkedWindows()) << "a client is still running";
        server.SetRecordRequests(false);
        ASSERT_TRUE(server.Start()) << "loopback port " << kBoxPort << " is taken";
    }
    void TearDown() override { server.Stop(); }
    // Exit from the tray menu; true once the process has ended with code 0.
    static ::testing::AssertionResult ExitClient(ClientProcess& client, HWND w) {
        PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
        DWORD code = client.WaitExit(5000);
        if (code == 0)
            return ::testing::AssertionSuccess();
        client.Kill();
        if (code == STILL_ACTIVE)
            return ::testing::AssertionFailure() << "still running 5 s after Exit";
        return ::testing::AssertionFailure() << "exit code " << code;
    }
    // A window of this very process that answers: a first instance.
    static HWND FirstInstanceWindow(const ClientProcess& client) {
        HWND w = nullptr;
        WaitUntil([&] { return (w = FindMarkedWindowOf(client.Pid())) != nullptr; }, kStartTimeout);
        return w && ProbeMessageLoop(w, 5000) >= 0 ? w : nullptr;
    }

    ClientInstall install;
    LoopbackServer server{kBoxPort};
};

} // namespace

TEST_F(Lifecycle, SimultaneousStartsLeaveExactlyOneWindow) {
    for (int round = 0, rounds = Count(3, 50); round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ClientProcess clients[10];
        for (ClientProcess& c : clients)
            ASSERT_TRUE(c.Start(install.ExePath()));
        HWND w = WaitForMarkedWindow(kStartTimeout);
        ASSERT_TRUE(w);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        ClientProcess* first = nullptr;
        for (ClientProcess& c : clients)
            first = c.Pid() == owner ? &c : first;
        ASSERT_TRUE(first);
        // The others bring it forward and end; generous for a loaded machine.
        for (ClientProcess& c : clients) {
            if (&c != first) {
                EXPECT_EQ(0u, c.WaitExit(10000)) << "a second copy did not end cleanly";
            }
        }
        EXPECT_EQ(1, CountMarkedWindows());
        ASSERT_TRUE(ExitClient(*first, w));
        EXPECT_EQ(0, CountMarkedWindows());
    }
}

// Each start follows the previous Exit at once and must be a first instance of its own.
TEST_F(Lifecycle, StartExitCyclesLeaveNothingBehind) {
    for (int cycle = 0, cycles = Count(10, 100); cycle < cycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        ClientProcess client;
        ASSERT_TRUE(client.Start(install.ExePath()));
        HWND w = FirstInstanceWindow(client);
        ASSERT_TRUE(w) << "a start right after Exit was not a first instance";
        ASSERT_TRUE(ExitClient(client, w));
    }
    EXPECT_EQ(0, CountMarkedWindows());
}

// Memory after the first tenth of the cycles stays flat: under Wine GetGuiResources answers 0,
// so private bytes are the measure there; on Windows GDI and USER objects are checked too.
TEST_F(Lifecycle, HideShowAndTabClicksKeepMemoryFlat) {
    ClientProcess client;
    ASSERT_TRUE(client.Start(install.ExePath()));
    HWND w = FirstInstanceWindow(client);
    ASSERT_TRUE(w);
    ControlLayout l = ComputeLayout(kDefaultWidth, kDefaultHeight);
    const int cycles = Count(300, 1000);
    size_t base = 0;
    DWORD gdi = 0, user = 0;
    for (int i = 0; i < cycles; ++i) {
        const RECT& tab = l.tab[i % kTabCount];
        LPARAM at = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
        // Sent, not posted: each one is handled before the next, and none may hang.
        const struct {
            UINT message;
            WPARAM wParam;
            LPARAM lParam;
        } steps[] = {{WM_CLOSE, 0, 0},              // hides
                     {WM_COMMAND, ID_SHOW_MAIN, 0}, // the tray menu shows it again
                     {WM_MOUSEMOVE, 0, at},
                     {WM_LBUTTONDOWN, MK_LBUTTON, at},
                     {WM_LBUTTONUP, 0, at}};
        for (const auto& m : steps) {
            DWORD_PTR r;
            ASSERT_TRUE(
                SendMessageTimeoutW(w, m.message, m.wParam, m.lParam, SMTO_NORMAL, 10000, &r))
                << "message " << m.message << " in cycle " << i;
        }
        ASSERT_TRUE(IsWindow(w)) << "the window went away in cycle " << i;
        if (i == cycles / 10) {
            base = PrivateBytes(client.Handle());
            gdi = GetGuiResources(client.Handle(), GR_GDIOBJECTS);
            user = GetGuiResources(client.Handle(), GR_USEROBJECTS);
        }
    }
    EXPECT_TRUE(IsWindowVisible(w));
    ASSERT_GT(base, 0u);
    size_t now = PrivateBytes(client.Handle());
    EXPECT_LT(now, base + (1u << 20)) << "private bytes grew from " << base << " to " << now;
    if (gdi || user) {
        EXPECT_LE(GetGuiResources(client.Handle(), GR_GDIOBJECTS), gdi + 4);
        EXPECT_LE(GetGuiResources(client.Handle(), GR_USEROBJECTS), user + 4);
    }
    EXPECT_TRUE(ExitClient(client, w));
}
