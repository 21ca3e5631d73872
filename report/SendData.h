#pragma once
// Sends one HTTP POST to an http address and returns the response body as text.

#include <windows.h>
#include <wininet.h>

#include <string>

class CSendData {
public:
    CSendData();
    virtual ~CSendData();
    CSendData(const CSendData&) = delete;
    CSendData& operator=(const CSendData&) = delete;

    // TRUE when the request was sent and the whole response read into strResponse (decoded from
    // UTF-8). FALSE, with strResponse empty, for an address that is not http, a response longer
    // than 1 MB, or any failure.
    BOOL PostRequest(const std::wstring& strUrl, std::wstring& strResponse);

private:
    // Settings of a multipart picture upload to a microblog endpoint; kept, though nothing uses
    // them yet. PostRequest takes everything from its address.
    std::wstring m_strBoundary;
    std::wstring m_strAppKey;
    std::wstring m_strUserName;
    std::wstring m_strPassword;
    INTERNET_PORT m_nPort;
    wchar_t m_szObject[100];
    wchar_t m_szServer[100];
    BYTE* m_pHeadBuffer;
    BYTE* m_pBodyBuffer;
    BYTE* m_pTailBuffer;
};
