#pragma once
// A small stand-in for the framework's internet classes on WinINet: a session, an HTTP connection,
// an HTTP request and the address parser. Only what the client uses.
//
// Failures of the library are thrown as heap objects, `throw new CInternetException(...)`, and
// caught as `CInternetException*`, which the catcher frees with Delete().

#include "framework/afxwin.h"
#include "framework/handles.h"

#include <wininet.h>

#include <string>

// ---- exceptions ----

class CInternetException : public CException {
public:
    explicit CInternetException(DWORD dwError, DWORD_PTR dwContext = 0)
        : m_dwError(dwError), m_dwContext(dwContext) {}

    DWORD m_dwError;       // the WinINet or system error code
    DWORD_PTR m_dwContext; // the context value of the object that failed
};

// Throws a new CInternetException; an error of 0 stands for the calling thread's last error.
[[noreturn]] void AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError = 0);

// ---- handles ----

struct InternetHandleTraits {
    using type = HINTERNET;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::InternetCloseHandle(h); }
};
using UniqueInternetHandle = UniqueResource<InternetHandleTraits>;

// ---- address parsing ----

constexpr DWORD AFX_INET_SERVICE_FTP = INTERNET_SERVICE_FTP;
constexpr DWORD AFX_INET_SERVICE_GOPHER = INTERNET_SERVICE_GOPHER;
constexpr DWORD AFX_INET_SERVICE_HTTP = INTERNET_SERVICE_HTTP;
constexpr DWORD AFX_INET_SERVICE_UNK = 0x1000;
constexpr DWORD AFX_INET_SERVICE_FILE = AFX_INET_SERVICE_UNK + 1;
constexpr DWORD AFX_INET_SERVICE_MAILTO = AFX_INET_SERVICE_UNK + 2;
constexpr DWORD AFX_INET_SERVICE_NEWS = AFX_INET_SERVICE_UNK + 5;
constexpr DWORD AFX_INET_SERVICE_HTTPS = AFX_INET_SERVICE_UNK + 11;

// Splits an address after putting it in canonical form in browser mode (nothing after "?" or "#"
// is touched). The object is the path with its query; the port is the address's or the scheme's
// default. Returns FALSE, with the service type AFX_INET_SERVICE_UNK, when the address does not
// parse or its scheme is unknown.
BOOL AfxParseURL(LPCWSTR pstrURL, DWORD& dwServiceType, std::wstring& strServer,
                 std::wstring& strObject, INTERNET_PORT& nPort);

// ---- session, connection, request ----

class CHttpConnection;
class CHttpFile;

class CInternetSession : public CObject {
public:
    // A null agent stands for the application's name.
    explicit CInternetSession(LPCWSTR pstrAgent = nullptr, DWORD_PTR dwContext = 1,
                              DWORD dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG,
                              LPCWSTR pstrProxyName = nullptr, LPCWSTR pstrProxyBypass = nullptr,
                              DWORD dwFlags = 0);
    ~CInternetSession() override;
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    operator HINTERNET() const { return m_hSession.get(); }
    DWORD_PTR GetContext() const { return m_dwContext; }

    void SetOption(DWORD dwOption, DWORD dwValue, DWORD dwFlags = 0);
    // The caller owns the returned connection and deletes it before the session goes.
    CHttpConnection* GetHttpConnection(LPCWSTR pstrServer, DWORD dwFlags,
                                       INTERNET_PORT nPort = INTERNET_INVALID_PORT_NUMBER,
                                       LPCWSTR pstrUserName = nullptr,
                                       LPCWSTR pstrPassword = nullptr);
    void Close();

private:
    UniqueInternetHandle m_hSession;
    DWORD_PTR m_dwContext;
};

class CHttpConnection : public CObject {
public:
    CHttpConnection(CInternetSession* pSession, LPCWSTR pstrServer, INTERNET_PORT nPort,
                    LPCWSTR pstrUserName, LPCWSTR pstrPassword, DWORD dwFlags);
    ~CHttpConnection() override;
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;

    operator HINTERNET() const { return m_hConnection.get(); }
    DWORD_PTR GetContext() const { return m_dwContext; }

    // The caller owns the returned request and deletes it before the connection goes.
    CHttpFile* OpenRequest(LPCWSTR pstrVerb, LPCWSTR pstrObjectName, LPCWSTR pstrReferer = nullptr,
                           DWORD_PTR dwContext = 1, LPCWSTR* ppstrAcceptTypes = nullptr,
                           LPCWSTR pstrVersion = nullptr, DWORD dwFlags = 0);
    void Close();

private:
    UniqueInternetHandle m_hConnection;
    DWORD_PTR m_dwContext;
};

class CHttpFile : public CObject {
public:
    CHttpFile(UniqueInternetHandle&& hRequest, DWORD_PTR dwContext);
    ~CHttpFile() override;
    CHttpFile(const CHttpFile&) = delete;
    CHttpFile& operator=(const CHttpFile&) = delete;

    operator HINTERNET() const { return m_hRequest.get(); }
    DWORD_PTR GetContext() const { return m_dwContext; }

    // A length of (DWORD)-1 means zero-terminated text.
    BOOL AddRequestHeaders(LPCWSTR pstrHeaders, DWORD dwFlags = HTTP_ADDREQ_FLAG_ADD_IF_NEW,
                           DWORD dwHeadersLen = static_cast<DWORD>(-1));
    BOOL SendRequest(LPCWSTR pstrHeaders = nullptr, DWORD dwHeadersLen = 0,
                     LPVOID lpOptional = nullptr, DWORD dwOptionalLen = 0);
    // Returns the number of bytes read; 0 at the end of the response.
    UINT Read(void* lpBuf, UINT nCount);
    void Close();

private:
    UniqueInternetHandle m_hRequest;
    DWORD_PTR m_dwContext;
};
