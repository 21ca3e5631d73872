#include "framework/afxinet.h"

#include <algorithm>
#include <cwchar>
#include <utility>
#include <vector>

void AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError) {
    if (dwError == 0)
        dwError = GetLastError();
    throw new CInternetException(dwError, dwContext);
}

// ---- AfxParseURL ----

namespace {

DWORD ServiceTypeOf(INTERNET_SCHEME nScheme) {
    switch (nScheme) {
    case INTERNET_SCHEME_FTP:
        return AFX_INET_SERVICE_FTP;
    case INTERNET_SCHEME_GOPHER:
        return AFX_INET_SERVICE_GOPHER;
    case INTERNET_SCHEME_HTTP:
        return AFX_INET_SERVICE_HTTP;
    case INTERNET_SCHEME_HTTPS:
        return AFX_INET_SERVICE_HTTPS;
    case INTERNET_SCHEME_FILE:
        return AFX_INET_SERVICE_FILE;
    case INTERNET_SCHEME_NEWS:
        return AFX_INET_SERVICE_NEWS;
    case INTERNET_SCHEME_MAILTO:
        return AFX_INET_SERVICE_MAILTO;
    default:
        return AFX_INET_SERVICE_UNK;
    }
}

bool Canonicalize(LPCWSTR pstrURL, std::wstring& strCanonical) {
    std::vector<wchar_t> buffer(wcslen(pstrURL) + 1);
    for (;;) {
        DWORD dwLength = static_cast<DWORD>(buffer.size());
        if (InternetCanonicalizeUrlW(pstrURL, buffer.data(), &dwLength, ICU_BROWSER_MODE)) {
            strCanonical.assign(buffer.data());
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        // The reported need may or may not count the terminator; never retry with the same size.
        buffer.resize((std::max)(static_cast<size_t>(dwLength) + 1, buffer.size() * 2));
    }
}

} // namespace

BOOL AfxParseURL(LPCWSTR pstrURL, DWORD& dwServiceType, std::wstring& strServer,
                 std::wstring& strObject, INTERNET_PORT& nPort) {
    dwServiceType = AFX_INET_SERVICE_UNK;
    strServer.clear();
    strObject.clear();
    nPort = 0;
    if (pstrURL == nullptr || *pstrURL == L'\0')
        return FALSE;

    std::wstring strCanonical;
    if (!Canonicalize(pstrURL, strCanonical))
        return FALSE;

    // Non-zero lengths with null pointers make the library point into the text it was given.
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = 1;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(strCanonical.c_str(), static_cast<DWORD>(strCanonical.size()), 0,
                           &parts))
        return FALSE;

    DWORD dwType = ServiceTypeOf(parts.nScheme);
    if (dwType == AFX_INET_SERVICE_UNK)
        return FALSE;
    if (parts.lpszHostName != nullptr)
        strServer.assign(parts.lpszHostName, parts.dwHostNameLength);
    if (parts.lpszUrlPath != nullptr)
        strObject.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr)
        strObject.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (strObject.empty())
        strObject = L"/";
    nPort = parts.nPort;
    dwServiceType = dwType;
    return TRUE;
}

// ---- CInternetSession ----

CInternetSession::CInternetSession(LPCWSTR pstrAgent, DWORD_PTR dwContext, DWORD dwAccessType,
                                   LPCWSTR pstrProxyName, LPCWSTR pstrProxyBypass, DWORD dwFlags)
    : m_dwContext(dwContext) {
    if (pstrAgent == nullptr)
        pstrAgent = AfxGetAppName();
    HINTERNET hSession =
        InternetOpenW(pstrAgent, dwAccessType, pstrProxyName, pstrProxyBypass, dwFlags);
    if (hSession == nullptr)
        AfxThrowInternetException(m_dwContext);
    m_hSession.reset(hSession);
}

CInternetSession::~CInternetSession() {
    Close();
}

void CInternetSession::SetOption(DWORD dwOption, DWORD dwValue, DWORD dwFlags) {
    if (!InternetSetOptionExW(m_hSession.get(), dwOption, &dwValue, sizeof(dwValue), dwFlags))
        AfxThrowInternetException(m_dwContext);
}

CHttpConnection* CInternetSession::GetHttpConnection(LPCWSTR pstrServer, DWORD dwFlags,
                                                     INTERNET_PORT nPort, LPCWSTR pstrUserName,
                                                     LPCWSTR pstrPassword) {
    return new CHttpConnection(this, pstrServer, nPort, pstrUserName, pstrPassword, dwFlags);
}

void CInternetSession::Close() {
    m_hSession.reset();
}

// ---- CHttpConnection ----

CHttpConnection::CHttpConnection(CInternetSession* pSession, LPCWSTR pstrServer,
                                 INTERNET_PORT nPort, LPCWSTR pstrUserName, LPCWSTR pstrPassword,
                                 DWORD dwFlags)
    : m_dwContext(pSession->GetContext()) {
    HINTERNET hConnection =
        InternetConnectW(*pSession, pstrServer, nPort, pstrUserName, pstrPassword,
                         INTERNET_SERVICE_HTTP, dwFlags, m_dwContext);
    if (hConnection == nullptr)
        AfxThrowInternetException(m_dwContext);
    m_hConnection.reset(hConnection);
}

CHttpConnection::~CHttpConnection() {
    Close();
}

CHttpFile* CHttpConnection::OpenRequest(LPCWSTR pstrVerb, LPCWSTR pstrObjectName,
                                        LPCWSTR pstrReferer, DWORD_PTR dwContext,
                                        LPCWSTR* ppstrAcceptTypes, LPCWSTR pstrVersion,
                                        DWORD dwFlags) {
    UniqueInternetHandle hRequest(HttpOpenRequestW(m_hConnection.get(), pstrVerb, pstrObjectName,
                                                   pstrVersion, pstrReferer, ppstrAcceptTypes,
                                                   dwFlags, dwContext));
    if (hRequest.get() == nullptr)
        AfxThrowInternetException(dwContext);
    return new CHttpFile(std::move(hRequest), dwContext);
}

void CHttpConnection::Close() {
    m_hConnection.reset();
}

// ---- CHttpFile ----

CHttpFile::CHttpFile(UniqueInternetHandle&& hRequest, DWORD_PTR dwContext)
    : m_hRequest(std::move(hRequest)), m_dwContext(dwContext) {}

CHttpFile::~CHttpFile() {
    Close();
}

BOOL CHttpFile::AddRequestHeaders(LPCWSTR pstrHeaders, DWORD dwFlags, DWORD dwHeadersLen) {
    if (!HttpAddRequestHeadersW(m_hRequest.get(), pstrHeaders, dwHeadersLen, dwFlags))
        AfxThrowInternetException(m_dwContext);
    return TRUE;
}

BOOL CHttpFile::SendRequest(LPCWSTR pstrHeaders, DWORD dwHeadersLen, LPVOID lpOptional,
                            DWORD dwOptionalLen) {
    if (!HttpSendRequestW(m_hRequest.get(), pstrHeaders, dwHeadersLen, lpOptional, dwOptionalLen))
        AfxThrowInternetException(m_dwContext);
    return TRUE;
}

UINT CHttpFile::Read(void* lpBuf, UINT nCount) {
    DWORD dwRead = 0;
    if (!InternetReadFile(m_hRequest.get(), lpBuf, nCount, &dwRead))
        AfxThrowInternetException(m_dwContext);
    return dwRead;
}

void CHttpFile::Close() {
    m_hRequest.reset();
}
