#include "report/SendData.h"

#include "framework/afxinet.h"
#include "framework/afxwin.h"
#include "support/loopback_server.h"
#include "support/test_util.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A loopback port that was just bound and released again: nothing listens there.
unsigned short ClosedPort() {
    LoopbackServer probe;
    if (!probe.Start())
        return 0;
    unsigned short port = probe.Port();
    probe.Stop();
    return port;
}

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

// Printable, position-dependent filler, so that a misplaced chunk shows.
std::string Filler(size_t size) {
    std::string text(size, ' ');
    for (size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('A' + (i / 7) % 26);
    return text;
}

class SendDataTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }

    BOOL Post(const std::wstring& pathAndQuery, std::wstring& response) {
        CSendData sender;
        return sender.PostRequest(server.Url(pathAndQuery), response);
    }

    LoopbackRequest OnlyRequest() {
        EXPECT_TRUE(server.WaitForRequests(1, 2000));
        std::vector<LoopbackRequest> requests = server.Requests();
        EXPECT_EQ(1u, requests.size());
        return requests.empty() ? LoopbackRequest() : requests.front();
    }

    LoopbackServer server;
};

// ---- the request as the server sees it ----

TEST_F(SendDataTest, PostsHttp10WithTheThreeHeadersInOrderAndNoBody) {
    std::wstring response;
    ASSERT_TRUE(Post(L"/box.php?a=1", response));
    EXPECT_EQ(L"ok", response);

    LoopbackRequest request = OnlyRequest();
    EXPECT_EQ("POST /box.php?a=1 HTTP/1.0", request.raw.substr(0, request.raw.find("\r\n")));

    // Exact names and values, each once, in this order among whatever else the library adds.
    const char* names[] = {"Accept", "Accept-Language", "Content-Type"};
    const char* values[] = {"*,*/*", "zh-cn", "application/x-www-form-urlencoded"};
    size_t positions[3] = {};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(1u, request.HeaderCount(names[i]));
        EXPECT_EQ(values[i], request.Header(names[i]));
        positions[i] = request.headers.size();
        for (size_t j = 0; j < request.headers.size(); ++j) {
            if (request.headers[j].first == names[i])
                positions[i] = j;
        }
        ASSERT_LT(positions[i], request.headers.size());
    }
    EXPECT_LT(positions[0], positions[1]);
    EXPECT_LT(positions[1], positions[2]);

    EXPECT_EQ(testutil::ToUtf8(AfxGetAppName()), request.Header("User-Agent"));
    EXPECT_TRUE(request.body.empty());
    if (request.HasHeader("Content-Length")) {
        EXPECT_EQ("0", request.Header("Content-Length"));
    }
}

TEST_F(SendDataTest, ReportQueryArrivesUnchanged) {
    const std::string target = "/box.php?from=1001&version=1.0.0.2&mac=00-11-22-33-44-55&type=2"
                               "&centerkey=0cc175b9c0f1b6a831c399e269772661";
    std::wstring response;
    ASSERT_TRUE(Post(Widen(target), response));
    EXPECT_EQ(target, OnlyRequest().target);
}

// ---- address parsing ----

TEST(AfxParseURLTest, SplitsHttpAddresses) {
    DWORD type = 0;
    std::wstring server, object;
    INTERNET_PORT port = 0;

    ASSERT_TRUE(
        AfxParseURL(L"http://127.0.0.1:8080/box.php?a=%41+b&c=1", type, server, object, port));
    EXPECT_EQ(AFX_INET_SERVICE_HTTP, type);
    EXPECT_EQ(L"127.0.0.1", server);
    EXPECT_EQ(L"/box.php?a=%41+b&c=1", object); // neither escaped nor unescaped
    EXPECT_EQ(8080, port);

    ASSERT_TRUE(AfxParseURL(L"http://127.0.0.1", type, server, object, port));
    EXPECT_EQ(AFX_INET_SERVICE_HTTP, type);
    EXPECT_EQ(L"/", object);
    EXPECT_EQ(80, port);

    // Escaping makes the canonical form longer than the address: the buffer has to grow.
    ASSERT_TRUE(AfxParseURL(L"http://127.0.0.1/a b/c d", type, server, object, port));
    EXPECT_EQ(L"/a%20b/c%20d", object);
}

TEST(AfxParseURLTest, OtherSchemesAndGarbage) {
    DWORD type = 0;
    std::wstring server, object;
    INTERNET_PORT port = 0;

    ASSERT_TRUE(AfxParseURL(L"https://127.0.0.1/box.php", type, server, object, port));
    EXPECT_EQ(AFX_INET_SERVICE_HTTPS, type);
    EXPECT_EQ(443, port);

    for (const wchar_t* garbage : {L"", L"not an address", L"127.0.0.1/box.php"}) {
        SCOPED_TRACE(testutil::ToUtf8(garbage));
        EXPECT_FALSE(AfxParseURL(garbage, type, server, object, port));
        EXPECT_EQ(AFX_INET_SERVICE_UNK, type);
    }
}

TEST_F(SendDataTest, NonHttpAddressesFailWithoutTouchingTheNetwork) {
    for (const std::wstring& address :
         {L"https://127.0.0.1:" + std::to_wstring(server.Port()) + L"/box.php",
          std::wstring(L"127.0.0.1/box.php"), std::wstring()}) {
        SCOPED_TRACE(testutil::ToUtf8(address));
        CSendData sender;
        std::wstring response = L"stale";
        EXPECT_FALSE(sender.PostRequest(address, response));
        EXPECT_TRUE(response.empty());
    }
    // Connections are accepted in order: had the https attempt connected, it would come first.
    std::wstring response;
    ASSERT_TRUE(Post(L"/after", response));
    ASSERT_TRUE(server.WaitForRequests(1, 2000));
    EXPECT_EQ(1u, server.ConnectionCount());
}

// ---- response bodies ----

TEST_F(SendDataTest, ZeroByteDropsTheRestOfItsChunkOnly) {
    std::string body = Filler(3000);
    body[10] = '\0';
    server.SetResponse("/first", LoopbackResponse::Text(body));
    std::wstring response;
    ASSERT_TRUE(Post(L"/first", response));
    EXPECT_EQ(Widen(body.substr(0, 10) + body.substr(1024)), response);

    body = Filler(3000);
    body[2100] = '\0';
    server.SetResponse("/last", LoopbackResponse::Text(body));
    ASSERT_TRUE(Post(L"/last", response));
    EXPECT_EQ(Widen(body.substr(0, 2100)), response);
}

TEST_F(SendDataTest, DecodesUtf8EvenAcrossChunkBoundaries) {
    server.SetResponse("/short", LoopbackResponse::Text(u8"开服表：网页游戏 OK"));
    std::wstring response;
    ASSERT_TRUE(Post(L"/short", response));
    EXPECT_EQ(L"开服表：网页游戏 OK", response);

    // Three bytes a character: the 1024-byte reads split characters.
    std::string body;
    std::wstring expected;
    for (int i = 0; i < 300; ++i) {
        body += u8"网页游戏";
        expected += L"网页游戏";
    }
    server.SetResponse("/long", LoopbackResponse::Text(body));
    ASSERT_TRUE(Post(L"/long", response));
    EXPECT_EQ(expected, response);
}

TEST_F(SendDataTest, EmptyBodyAndErrorStatusStillSucceed) {
    server.SetResponse("/empty", LoopbackResponse::Text(""));
    std::wstring response = L"stale";
    EXPECT_TRUE(Post(L"/empty", response));
    EXPECT_TRUE(response.empty());

    // The status is not judged; the body is the answer.
    server.SetResponse("/missing", LoopbackResponse::Text("no such page", 404));
    EXPECT_TRUE(Post(L"/missing", response));
    EXPECT_EQ(L"no such page", response);
}

TEST_F(SendDataTest, AnswersBeyondOneMegabyteAreNotReadAndFail) {
    const size_t limit = 1024 * 1024;
    for (size_t size : {limit, limit + 1}) {
        server.SetResponse("/big", LoopbackResponse::Text(std::string(size, 'x')));
        std::wstring response = L"stale";
        EXPECT_EQ(size <= limit, Post(L"/big", response) != FALSE) << size;
        EXPECT_EQ(size <= limit ? size : 0u, response.size()) << size;
    }
}

// ---- failures ----

TEST(InternetClassesTest, LibraryFailuresArriveAsHeapExceptions) {
    unsigned short port = ClosedPort();
    ASSERT_NE(0, port);
    CInternetSession session(L"test");
    std::unique_ptr<CHttpConnection> connection(session.GetHttpConnection(L"127.0.0.1", 0, port));
    std::unique_ptr<CHttpFile> file(connection->OpenRequest(L"POST", L"/"));
    DWORD error = 0;
    try {
        file->SendRequest();
    } catch (CInternetException* pEx) {
        error = pEx->m_dwError;
        pEx->Delete();
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), error);
}

TEST(SendDataFailureTest, RefusedPortFailsWithNothingInTheResponse) {
    unsigned short port = ClosedPort();
    ASSERT_NE(0, port);
    CSendData sender;
    std::wstring response = L"stale";
    EXPECT_FALSE(
        sender.PostRequest(L"http://127.0.0.1:" + std::to_wstring(port) + L"/box.php", response));
    EXPECT_TRUE(response.empty());
}

TEST_F(SendDataTest, SilentServerHoldsTheSenderUntilItHangsUp) {
    server.SetResponse("/silent", LoopbackResponse::Silent());
    std::promise<std::pair<BOOL, std::wstring>> outcome;
    std::future<std::pair<BOOL, std::wstring>> finished = outcome.get_future();
    std::thread sender([url = server.Url(L"/silent"), outcome = std::move(outcome)]() mutable {
        std::wstring response = L"stale";
        BOOL result = CSendData().PostRequest(url, response);
        outcome.set_value({result, response});
    });
    EXPECT_TRUE(server.WaitForRequests(1, 2000)); // no ASSERT: the thread must be collected

    // Only the connect timeout is ours; waiting for the answer is left to the library, whose
    // receive timeout is long on Windows and absent in Wine (still waiting after nine minutes).
    EXPECT_EQ(std::future_status::timeout, finished.wait_for(std::chrono::seconds(2)));

    server.Stop();
    if (finished.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        sender.detach();
        FAIL() << "the sender did not return after the server hung up";
    }
    sender.join();
    // Wine takes the bare hang-up for an empty answer (TRUE), Windows for an invalid one (FALSE):
    // either way nothing arrives.
    EXPECT_TRUE(finished.get().second.empty());
}

// Wine's GetProcessHandleCount reports 0; the system handle table still lists our handles.
long HandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0)
        return static_cast<long>(count);

    struct HandleEntry {
        ULONG processId;
        UCHAR objectType;
        UCHAR flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    struct HandleTable {
        ULONG count;
        HandleEntry entries[1];
    };
    using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return -1;
    const ULONG kSystemHandleInformation = 16;
    const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<char> buffer(1 << 16);
    LONG status;
    while ((status = query(kSystemHandleInformation, buffer.data(),
                           static_cast<ULONG>(buffer.size()), nullptr)) == kInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return -1;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    long mine = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        if (table->entries[i].processId == GetCurrentProcessId())
            ++mine;
    }
    return mine;
}

// Committed memory jumps by a megabyte whenever a helper thread of the library comes or goes, so
// the heaps' bytes in use are the fine measure and the commit charge only the coarse one.
long long HeapBytesInUse() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    long long total = 0;
    for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

long long CommitCharge() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<long long>(counters.PagefileUsage);
}

struct Usage {
    long handles = HandleCount();
    long long heap = HeapBytesInUse();
    long long committed = CommitCharge();
};

// Leaks found by these measures: a sender that closes nothing on success (about 11 KB of heap,
// 350 KB committed and 4 handles a send); one that forgets the failure path (9 KB a send).
// Wine's library itself keeps about 100 bytes a successful send.
void ExpectNoGrowth(const Usage& before, int sends) {
    Usage after;
    EXPECT_LT(after.handles - before.handles, 20);
    EXPECT_LT(after.heap - before.heap, 256LL * sends);
    EXPECT_LT(after.committed - before.committed, 4LL * 1024 * 1024);
}

TEST_F(SendDataTest, NeitherSuccessNorFailureLeaks) {
    server.SetRecordRequests(false);
    unsigned short closedPort = ClosedPort();
    ASSERT_NE(0, closedPort);
    const std::wstring refused = L"http://127.0.0.1:" + std::to_wstring(closedPort) + L"/box.php";
    std::wstring response;
    // The library's and the server's one-time allocations come first.
    for (int i = 0; i < 50; ++i) {
        ASSERT_FALSE(CSendData().PostRequest(refused, response));
        ASSERT_TRUE(Post(L"/warm", response));
    }
    ASSERT_GT(Usage().handles, 0);

    Usage before;
    int failures = 0;
    for (int i = 0; i < 1000; ++i)
        failures += Post(L"/box.php", response) ? 0 : 1;
    EXPECT_EQ(0, failures);
    ExpectNoGrowth(before, 1000);

    before = Usage();
    for (int i = 0; i < 300; ++i)
        ASSERT_FALSE(CSendData().PostRequest(refused, response));
    ExpectNoGrowth(before, 300);
}

} // namespace
