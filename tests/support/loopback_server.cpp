#include <winsock2.h>
#include <ws2tcpip.h>

#include "support/loopback_server.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <list>
#include <map>
#include <mutex>
#include <thread>

namespace {

constexpr size_t kMaxHead = 64 * 1024;
constexpr size_t kMaxBody = 16 * 1024 * 1024;
// How long a closing connection waits for the client to hang up after the response.
constexpr DWORD kLingerMs = 2000;
constexpr DWORD kPollMs = 100;

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return tolower(static_cast<unsigned char>(x)) ==
                      tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// Parses the head (up to, not including, the blank line).
LoopbackRequest ParseHead(const std::string& head) {
    LoopbackRequest request;
    size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    size_t sp1 = requestLine.find(' ');
    size_t sp2 = sp1 == std::string::npos ? std::string::npos : requestLine.find(' ', sp1 + 1);
    if (sp1 != std::string::npos) {
        request.method = requestLine.substr(0, sp1);
        if (sp2 != std::string::npos) {
            request.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
            request.version = requestLine.substr(sp2 + 1);
        } else {
            request.target = requestLine.substr(sp1 + 1);
        }
    }
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos)
            end = head.size();
        std::string line = head.substr(pos, end - pos);
        size_t colon = line.find(':');
        if (colon != std::string::npos)
            request.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
        pos = end + 2;
    }
    return request;
}

std::string BuildResponse(const LoopbackResponse& response, bool withBody) {
    std::string text = "HTTP/1.0 " + std::to_string(response.status) + " " +
                       ReasonPhrase(response.status) + "\r\n";
    if (!response.contentType.empty())
        text += "Content-Type: " + response.contentType + "\r\n";
    if (!response.endless)
        text += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    for (const auto& header : response.headers)
        text += header.first + ": " + header.second + "\r\n";
    text += "Connection: close\r\n\r\n";
    if (withBody)
        text += response.body;
    return text;
}

} // namespace

// ---- LoopbackRequest ----

std::string LoopbackRequest::Path() const {
    std::string path = target.substr(0, target.find_first_of("?#"));
    size_t scheme = path.find("://");
    if (scheme != std::string::npos) {
        size_t slash = path.find('/', scheme + 3);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    return path;
}

std::string LoopbackRequest::Query() const {
    size_t mark = target.find('?');
    return mark == std::string::npos ? std::string() : target.substr(mark + 1);
}

bool LoopbackRequest::HasHeader(const std::string& name) const {
    return HeaderCount(name) != 0;
}

std::string LoopbackRequest::Header(const std::string& name) const {
    for (const auto& header : headers) {
        if (EqualNoCase(header.first, name))
            return header.second;
    }
    return std::string();
}

size_t LoopbackRequest::HeaderCount(const std::string& name) const {
    return static_cast<size_t>(
        std::count_if(headers.begin(), headers.end(),
                      [&](const auto& header) { return EqualNoCase(header.first, name); }));
}

// ---- LoopbackResponse ----

LoopbackResponse LoopbackResponse::Text(std::string body, int status) {
    LoopbackResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

LoopbackResponse LoopbackResponse::Silent() {
    LoopbackResponse response;
    response.silent = true;
    return response;
}

// ---- LoopbackServer ----

struct LoopbackServer::Impl {
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    unsigned short requestedPort = 0;
    unsigned short port = 0;
    bool running = false;
    SOCKET listener = INVALID_SOCKET;
    HANDLE stopEvent = nullptr; // manual reset: wakes every thread at once
    std::thread acceptThread;
    std::list<std::unique_ptr<Connection>> connections; // the accept thread's, then Stop's

    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::map<std::string, LoopbackResponse> exact;
    std::map<std::string, LoopbackResponse> prefixes;
    LoopbackResponse fallback = LoopbackResponse::Text("ok");
    std::vector<LoopbackRequest> requests;
    size_t requestCount = 0;
    size_t connectionCount = 0;
    bool record = true;

    void AcceptLoop();
    void Serve(SOCKET socket);
    void ReapFinished();
    LoopbackResponse Route(const std::string& path) const;
    void Record(LoopbackRequest request);

    // Waits for a network event on the socket, a short while at most: the caller just tries its
    // recv or send again, so a missed notification costs a moment, never a hang. False once the
    // server stops.
    bool WaitFor(SOCKET socket, WSAEVENT event, DWORD timeoutMs = kPollMs) const {
        HANDLE handles[2] = {stopEvent, event};
        DWORD result =
            WSAWaitForMultipleEvents(2, handles, FALSE, (std::min)(timeoutMs, kPollMs), FALSE);
        if (result == WSA_WAIT_EVENT_0)
            return false;
        if (result == WSA_WAIT_EVENT_0 + 1) {
            WSANETWORKEVENTS events = {};
            WSAEnumNetworkEvents(socket, event, &events); // resets the event
        }
        return true;
    }
};

void LoopbackServer::Impl::ReapFinished() {
    for (auto it = connections.begin(); it != connections.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
}

void LoopbackServer::Impl::AcceptLoop() {
    WSAEVENT acceptEvent = WSACreateEvent();
    WSAEventSelect(listener, acceptEvent, FD_ACCEPT);
    HANDLE handles[2] = {stopEvent, acceptEvent};
    for (;;) {
        ReapFinished();
        // The timeout bounds how long finished connection threads stay unjoined, and accept()
        // is tried after it too, so that a missed notification never strands a client.
        DWORD result = WSAWaitForMultipleEvents(2, handles, FALSE, kPollMs, FALSE);
        if (result == WSA_WAIT_EVENT_0)
            break;
        if (result == WSA_WAIT_EVENT_0 + 1)
            WSAResetEvent(acceptEvent);
        for (;;) {
            SOCKET socket = accept(listener, nullptr, nullptr);
            if (socket == INVALID_SOCKET)
                break;
            {
                std::lock_guard<std::mutex> lock(mutex);
                ++connectionCount;
            }
            auto connection = std::make_unique<Connection>();
            Connection* raw = connection.get();
            connection->thread = std::thread([this, socket, raw] {
                Serve(socket);
                raw->done = true;
            });
            connections.push_back(std::move(connection));
        }
    }
    WSAEventSelect(listener, nullptr, 0);
    WSACloseEvent(acceptEvent);
}

LoopbackResponse LoopbackServer::Impl::Route(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex);
    auto hit = exact.find(path);
    if (hit != exact.end())
        return hit->second;
    const LoopbackResponse* best = nullptr;
    size_t bestLength = 0;
    for (const auto& entry : prefixes) {
        if (path.compare(0, entry.first.size(), entry.first) == 0 &&
            (best == nullptr || entry.first.size() > bestLength)) {
            best = &entry.second;
            bestLength = entry.first.size();
        }
    }
    return best != nullptr ? *best : fallback;
}

void LoopbackServer::Impl::Record(LoopbackRequest request) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++requestCount;
        if (record)
            requests.push_back(std::move(request));
    }
    arrived.notify_all();
}

void LoopbackServer::Impl::Serve(SOCKET socket) {
    WSAEVENT event = WSACreateEvent();
    // Non-blocking from here on, so that a stop always gets through.
    WSAEventSelect(socket, event, FD_READ | FD_WRITE | FD_CLOSE);

    std::string data;
    size_t headEnd = std::string::npos;
    size_t contentLength = 0;
    LoopbackRequest request;
    bool complete = false;
    bool peerGone = false;
    while (!complete) {
        char buffer[4096];
        int received = recv(socket, buffer, sizeof(buffer), 0);
        if (received > 0) {
            data.append(buffer, static_cast<size_t>(received));
            if (headEnd == std::string::npos) {
                headEnd = data.find("\r\n\r\n");
                if (headEnd == std::string::npos) {
                    if (data.size() > kMaxHead)
                        break;
                    continue;
                }
                request = ParseHead(data.substr(0, headEnd));
                std::string length = request.Header("Content-Length");
                contentLength = length.empty() ? 0 : strtoul(length.c_str(), nullptr, 10);
                if (contentLength > kMaxBody)
                    break;
            }
            complete = data.size() >= headEnd + 4 + contentLength;
            continue;
        }
        if (received == 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
            peerGone = true;
            break;
        }
        if (!WaitFor(socket, event))
            break;
    }

    if (complete) {
        request.raw = data.substr(0, headEnd + 4 + contentLength);
        request.body = data.substr(headEnd + 4, contentLength);
        LoopbackResponse response = Route(request.Path());
        std::string method = request.method;
        Record(std::move(request));

        if (response.silent) {
            // Hold the connection until the client hangs up or the server stops.
            while (WaitFor(socket, event)) {
                char buffer[1024];
                int received = recv(socket, buffer, sizeof(buffer), 0);
                if (received == 0 || (received < 0 && WSAGetLastError() != WSAEWOULDBLOCK))
                    break;
            }
            peerGone = true;
        } else {
            std::string reply = BuildResponse(response, method != "HEAD");
            if (response.cutAfter < reply.size())
                reply.resize(response.cutAfter);
            size_t sent = 0;
            while (sent < reply.size()) {
                int n = send(socket, reply.data() + sent, static_cast<int>(reply.size() - sent), 0);
                if (n > 0) {
                    sent += static_cast<size_t>(n);
                    if (sent == reply.size() && response.endless && !response.body.empty()) {
                        reply = response.body;
                        sent = 0;
                    }
                } else if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitFor(socket, event)) {
                    peerGone = true;
                    break;
                }
            }
        }
    }

    if (!peerGone) {
        // A graceful close: the client sees the end of the response rather than a reset.
        shutdown(socket, SD_SEND);
        DWORD deadline = GetTickCount() + kLingerMs;
        for (;;) {
            char buffer[1024];
            int received = recv(socket, buffer, sizeof(buffer), 0);
            if (received == 0 || (received < 0 && WSAGetLastError() != WSAEWOULDBLOCK))
                break;
            if (received > 0)
                continue;
            DWORD now = GetTickCount();
            if (static_cast<LONG>(deadline - now) <= 0 || !WaitFor(socket, event, deadline - now))
                break;
        }
    }
    WSAEventSelect(socket, nullptr, 0);
    closesocket(socket);
    WSACloseEvent(event);
}

LoopbackServer::LoopbackServer(unsigned short port) : m_impl(std::make_unique<Impl>()) {
    m_impl->requestedPort = port;
}

LoopbackServer::~LoopbackServer() {
    Stop();
}

bool LoopbackServer::Start() {
    Impl& impl = *m_impl;
    if (impl.running)
        return false;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return false;

    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        WSACleanup();
        return false;
    }
    // A fixed port held by someone else must fail here, never be shared.
    BOOL exclusive = TRUE;
    setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof(exclusive));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(impl.requestedPort);
    int length = sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, SOMAXCONN) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener);
        WSACleanup();
        return false;
    }

    impl.listener = listener;
    impl.port = ntohs(address.sin_port);
    impl.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    impl.running = true;
    impl.acceptThread = std::thread([&impl] { impl.AcceptLoop(); });
    return true;
}

void LoopbackServer::Stop() {
    Impl& impl = *m_impl;
    if (!impl.running)
        return;
    SetEvent(impl.stopEvent);
    impl.acceptThread.join();
    closesocket(impl.listener);
    impl.listener = INVALID_SOCKET;
    for (auto& connection : impl.connections)
        connection->thread.join();
    impl.connections.clear();
    CloseHandle(impl.stopEvent);
    impl.stopEvent = nullptr;
    impl.running = false;
    WSACleanup();
}

unsigned short LoopbackServer::Port() const {
    return m_impl->port;
}

std::wstring LoopbackServer::Url(const std::wstring& pathAndQuery) const {
    return L"http://127.0.0.1:" + std::to_wstring(m_impl->port) + pathAndQuery;
}

void LoopbackServer::SetResponse(const std::string& path, const LoopbackResponse& response) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->exact[path] = response;
}

void LoopbackServer::SetPrefixResponse(const std::string& prefix,
                                       const LoopbackResponse& response) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->prefixes[prefix] = response;
}

void LoopbackServer::SetDefaultResponse(const LoopbackResponse& response) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->fallback = response;
}

std::vector<LoopbackRequest> LoopbackServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->requests;
}

size_t LoopbackServer::GetsOf(const std::string& path) const {
    size_t n = 0;
    for (const LoopbackRequest& r : Requests())
        n += r.method == "GET" && r.Path() == path;
    return n;
}

size_t LoopbackServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->requestCount;
}

size_t LoopbackServer::ConnectionCount() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->connectionCount;
}

bool LoopbackServer::WaitForRequests(size_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_impl->mutex);
    return m_impl->arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return m_impl->requestCount >= count; });
}

void LoopbackServer::ClearRequests() {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->requests.clear();
    m_impl->requestCount = 0;
    m_impl->connectionCount = 0;
}

void LoopbackServer::SetRecordRequests(bool record) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->record = record;
}

FullBacklogListener::FullBacklogListener(unsigned short port) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const sockaddr* to = reinterpret_cast<const sockaddr*>(&address);
    m_sockets.push_back(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    m_bListening = bind(m_sockets[0], to, sizeof(address)) == 0 && listen(m_sockets[0], 1) == 0;
    // More than the backlog holds; once it is full the system drops further attempts unanswered.
    for (int i = 0; m_bListening && i < 4; ++i) {
        m_sockets.push_back(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        u_long nonBlocking = 1;
        ioctlsocket(m_sockets.back(), FIONBIO, &nonBlocking);
        connect(m_sockets.back(), to, sizeof(address));
    }
    Sleep(200);
}

FullBacklogListener::~FullBacklogListener() {
    for (UINT_PTR s : m_sockets)
        closesocket(s);
    WSACleanup();
}
