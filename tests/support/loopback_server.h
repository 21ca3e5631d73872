#pragma once
// An in-process HTTP/1.x server on 127.0.0.1 for tests. Each connection carries one request: the
// server reads its head and Content-Length body, records it, answers HTTP/1.0 style with
// "Connection: close" and closes. A "silent" response reads the request and then holds the
// connection without a word until the client goes or the server stops.

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct LoopbackRequest {
    std::string raw; // head and body as received
    std::string method;
    std::string target; // as on the request line, query included
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers; // in order, values trimmed
    std::string body;

    // The target without its query (and without scheme and host for an absolute target).
    std::string Path() const;
    // The text after the first "?", or empty.
    std::string Query() const;
    // Header names compare case-insensitively.
    bool HasHeader(const std::string& name) const;
    // The first header of that name, or empty.
    std::string Header(const std::string& name) const;
    size_t HeaderCount(const std::string& name) const;
};

struct LoopbackResponse {
    int status = 200;
    std::string body;
    std::string contentType = "text/html; charset=utf-8";     // left out when empty
    std::vector<std::pair<std::string, std::string>> headers; // further headers
    bool silent = false;
    // No Content-Length; the body repeats without end until the client goes or the server stops.
    bool endless = false;
    // Sends only this many bytes of the whole response, then closes (a reply cut mid-way).
    size_t cutAfter = static_cast<size_t>(-1);

    static LoopbackResponse Text(std::string body, int status = 200);
    static LoopbackResponse Silent();
};

class LoopbackServer {
public:
    // Port 0 takes an ephemeral port; Port() tells which after Start().
    explicit LoopbackServer(unsigned short port = 0);
    ~LoopbackServer(); // stops
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // False when the port cannot be bound (for a fixed port: someone else holds it).
    bool Start();
    // Closes the listener and every accepted connection, silent ones included, and joins all
    // threads. Safe to call twice.
    void Stop();
    unsigned short Port() const;
    // "http://127.0.0.1:<port>" followed by pathAndQuery.
    std::wstring Url(const std::wstring& pathAndQuery = L"/") const;

    // Routing on the path without query: an exact path first, then the longest prefix, then the
    // default (200 with a short text body).
    void SetResponse(const std::string& path, const LoopbackResponse& response);
    void SetPrefixResponse(const std::string& prefix, const LoopbackResponse& response);
    void SetDefaultResponse(const LoopbackResponse& response);

    std::vector<LoopbackRequest> Requests() const;
    size_t RequestCount() const;                  // complete requests, recorded or not
    size_t GetsOf(const std::string& path) const; // recorded GET requests of one path
    size_t ConnectionCount() const;               // accepted connections, whatever they sent
    // True once at least count requests have arrived.
    bool WaitForRequests(size_t count, DWORD timeoutMs) const;
    void ClearRequests();
    // Off: requests are still counted but not kept (long runs that measure memory).
    void SetRecordRequests(bool record);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// A loopback listener that never accepts, its backlog filled: further connection attempts get no
// answer at all, as with a site whose packets are dropped. Closed with the object.
class FullBacklogListener {
public:
    explicit FullBacklogListener(unsigned short port);
    ~FullBacklogListener();
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;
    bool Listening() const { return m_bListening; }

private:
    std::vector<UINT_PTR> m_sockets; // the listener, then the connections that fill its backlog
    bool m_bListening = false;
};
