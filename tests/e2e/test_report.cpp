// The real client reports itself once per run to the box server on loopback.

#include "e2e/served_client.h"
#include "res/resource.h"
#include "support/independent_md5.h"
#include "support/loopback_server.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace e2e;

namespace {

constexpr DWORD kStartTimeout = 20000;

// Query fields in order, values decoded.
std::vector<std::pair<std::string, std::string>> Fields(const std::string& query) {
    std::vector<std::pair<std::string, std::string>> fields;
    size_t pos = 0;
    while (pos <= query.size()) {
        size_t amp = query.find('&', pos);
        if (amp == std::string::npos)
            amp = query.size();
        std::string field = query.substr(pos, amp - pos);
        size_t eq = field.find('=');
        fields.emplace_back(
            testutil::PercentDecode(field.substr(0, eq)),
            eq == std::string::npos ? "" : testutil::PercentDecode(field.substr(eq + 1)));
        pos = amp + 1;
    }
    return fields;
}

std::vector<LoopbackRequest> Reports(const LoopbackServer& server) {
    std::vector<LoopbackRequest> reports;
    for (const LoopbackRequest& r : server.Requests()) {
        if (r.Path() == "/box.php")
            reports.push_back(r);
    }
    return reports;
}

class Report : public ServedClient {
protected:
    // Starts the client and waits until its start-up is over.
    HWND StartClient(const ClientInstall& install) {
        EXPECT_TRUE(client.Start(install.ExePath()));
        HWND w = WaitForMarkedWindow(kStartTimeout);
        EXPECT_TRUE(w);
        EXPECT_GE(ProbeMessageLoop(w, 5000), 0);
        return w;
    }
    // Query fields of the first report; the test stops unless there are the five.
    std::vector<std::pair<std::string, std::string>> FirstReportFields() {
        auto f = Fields(Reports(server)[0].Query());
        EXPECT_EQ(5u, f.size()) << Reports(server)[0].target;
        return f.size() == 5 ? f : decltype(f)(5);
    }
    bool WaitForReports(size_t n, DWORD ms) {
        return WaitUntil([&] { return Reports(server).size() >= n; }, ms);
    }

    // Removed only after TearDown has ended the client.
    std::unique_ptr<ClientInstall> m_install;
    ClientInstall& Install(size_t exePathLength = 0) {
        m_install = std::make_unique<ClientInstall>(true, exePathLength);
        return *m_install;
    }
};

} // namespace

TEST_F(Report, OnlineAtStartSendsExactlyOneReport) {
    ClientInstall& install = Install();
    install.WriteConfig("[Tovo]\r\nchannel=1001.exe\r\n");
    HWND w = StartClient(install);
    ASSERT_TRUE(WaitForReports(1, 10000));

    LoopbackRequest r = Reports(server)[0];
    EXPECT_EQ("POST", r.method);
    EXPECT_EQ("HTTP/1.0", r.version);
    EXPECT_EQ("TovoBox", r.Header("User-Agent"));
    EXPECT_EQ("", r.body);
    auto f = Fields(r.Query());
    ASSERT_EQ(5u, f.size()) << r.target;
    EXPECT_EQ("from", f[0].first);
    EXPECT_EQ("1001", f[0].second);
    EXPECT_EQ("version", f[1].first);
    EXPECT_EQ("1.0.0.2", f[1].second);
    EXPECT_EQ("mac", f[2].first);
    const std::string& mac = f[2].second;
    EXPECT_TRUE(mac.empty() || mac.size() == 17) << mac;
    for (char c : mac)
        EXPECT_TRUE(isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F') || c == '-');
    EXPECT_EQ("type", f[3].first);
    EXPECT_EQ("2", f[3].second);
    EXPECT_EQ("centerkey", f[4].first);
    EXPECT_EQ(testutil::SystemMd5Hex("2" + testutil::SystemMd5Hex("1.0.0.2" + mac)), f[4].second);

    // Ticks, foreign timers and a network that comes and goes never send another.
    for (int i = 0; i < 3; ++i) {
        PostMessageW(w, WM_TIMER, 1, 0);
        PostMessageW(w, WM_TIMER, 7, 0);
    }
    ASSERT_GE(ProbeMessageLoop(w, 5000), 0);
    Sleep(1000);
    EXPECT_EQ(1u, Reports(server).size());
}

TEST_F(Report, ChannelWithQuerySyntaxArrivesAsOneField) {
    ClientInstall& install = Install();
    install.WriteConfig("[Tovo]\r\nchannel=a&b c=d#e.exe\r\n");
    StartClient(install);
    ASSERT_TRUE(WaitForReports(1, 10000));
    auto f = FirstReportFields();
    EXPECT_EQ("from", f[0].first);
    EXPECT_EQ("a&b c=d#e", f[0].second);
    EXPECT_EQ("1.0.0.2", f[1].second);
}

TEST_F(Report, OfflineAtStartReportsOnTheFirstTickThatSeesTheNetwork) {
    server.Stop(); // the probe at creation finds nothing: offline
    ClientInstall& install = Install();
    HWND w = StartClient(install);
    LoopbackServer late{kBoxPort};
    ASSERT_TRUE(late.Start());
    Sleep(500);
    // The first page may ask the late server for itself; no report may come before the tick.
    EXPECT_EQ(0u, Reports(late).size());

    PostMessageW(w, WM_TIMER, 1, 0); // the system reports a connection: a rise
    ASSERT_TRUE(WaitUntil([&] { return Reports(late).size() >= 1; }, 10000));
    PostMessageW(w, WM_TIMER, 1, 0);
    ASSERT_GE(ProbeMessageLoop(w, 5000), 0);
    Sleep(1000);
    EXPECT_EQ(1u, Reports(late).size());
    client.Kill();
    late.Stop();
}

// Start-up waits a few seconds at most for a probe site whose packets are dropped (without a
// bound, two minutes under Wine), counts itself offline and reports on a later tick.
TEST_F(Report, UnansweredProbeNeitherHoldsTheWindowBackNorCountsAsOnline) {
    server.Stop();
    auto blackHole = std::make_unique<FullBacklogListener>(kBoxPort);
    ASSERT_TRUE(blackHole->Listening());
    ClientInstall& install = Install();
    ASSERT_TRUE(client.Start(install.ExePath()));
    HWND w = WaitForMarkedWindow(kStartTimeout);
    ASSERT_TRUE(w);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(w) != FALSE; }, 15000));

    blackHole.reset();
    LoopbackServer late{kBoxPort};
    ASSERT_TRUE(late.Start());
    PostMessageW(w, WM_TIMER, 1, 0);
    EXPECT_TRUE(WaitUntil([&] { return Reports(late).size() >= 1; }, 10000));
    client.Kill();
    late.Stop();
}

TEST_F(Report, SilentServerNeverFreezesTheWindowNorDelaysExit) {
    server.SetResponse("/box.php", LoopbackResponse::Silent());
    ClientInstall& install = Install();
    HWND w = StartClient(install);
    ASSERT_TRUE(WaitForReports(1, 10000)); // the report hangs on the unanswered request

    // A frozen loop would not answer at all; the delays are for make bench to measure.
    for (int i = 0; i < 10; ++i) {
        EXPECT_GE(ProbeMessageLoop(w, 2000), 0);
        Sleep(50);
    }
    PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
    EXPECT_EQ(0u, client.WaitExit(5000));
}

// A path of 256 to 259 characters is valid everywhere but no longer fits a 256-character buffer.
// (Wine cannot start a program from beyond 260 characters at all; the skin test in the window
// suite covers that length for the skin.)
TEST_F(Report, LongInstallPathStillFindsItsVersionAndChannel) {
    ClientInstall& install = Install(258);
    ASSERT_EQ(258u, install.ExePath().size());
    install.WriteConfig("[Tovo]\r\nchannel=2002.exe\r\n");
    StartClient(install);
    ASSERT_TRUE(WaitForReports(1, 10000));
    auto f = FirstReportFields();
    EXPECT_EQ("2002", f[0].second);
    EXPECT_EQ("1.0.0.2", f[1].second);
}
