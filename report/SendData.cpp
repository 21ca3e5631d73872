#include "report/SendData.h"

#include "framework/afxinet.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// One read asks for this much; the buffer keeps one more byte for the terminator.
constexpr UINT kReadChunk = 1024;
// The answer is never used; a longer one (an endless stream, say) is a failure, not a reason to
// exhaust memory.
constexpr size_t kMaxResponse = 1024 * 1024;

std::wstring DecodeUtf8(const std::string& bytes) {
    int nLength = MultiByteToWideChar(CP_UTF8, 0, bytes.c_str(), -1, nullptr, 0);
    if (nLength <= 0)
        return std::wstring();
    std::vector<wchar_t> text(static_cast<size_t>(nLength) + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.c_str(), -1, text.data(), nLength);
    return std::wstring(text.data());
}

} // namespace

CSendData::CSendData()
    : m_strBoundary(L"-------------2389jhrwfjsjd9823"), m_nPort(80), m_pHeadBuffer(nullptr),
      m_pBodyBuffer(nullptr), m_pTailBuffer(nullptr) {
    wcscpy_s(m_szObject, 100, L"/api/t/add_pic");
    wcscpy_s(m_szServer, 100, L"api.microblog-open");
}

CSendData::~CSendData() {
    delete[] m_pHeadBuffer;
    m_pHeadBuffer = nullptr;
    delete[] m_pBodyBuffer;
    m_pBodyBuffer = nullptr;
    delete[] m_pTailBuffer;
    m_pTailBuffer = nullptr;
}

BOOL CSendData::PostRequest(const std::wstring& strUrl, std::wstring& strResponse) {
    strResponse.clear();

    // Declared outside the try so that every failure path closes what was opened, in order.
    std::unique_ptr<CInternetSession> pSession;
    std::unique_ptr<CHttpConnection> pConnection;
    std::unique_ptr<CHttpFile> pFile;
    auto closeAll = [&]() {
        if (pFile) {
            pFile->Close();
            pFile.reset();
        }
        if (pConnection) {
            pConnection->Close();
            pConnection.reset();
        }
        if (pSession) {
            pSession->Close();
            pSession.reset();
        }
    };

    try {
        DWORD dwServiceType = AFX_INET_SERVICE_UNK;
        std::wstring strServer;
        std::wstring strObject;
        INTERNET_PORT nPort = 0;
        AfxParseURL(strUrl.c_str(), dwServiceType, strServer, strObject, nPort);
        if (dwServiceType != AFX_INET_SERVICE_HTTP)
            return FALSE;

        pSession =
            std::make_unique<CInternetSession>(AfxGetAppName(), 1, INTERNET_OPEN_TYPE_PRECONFIG);
        pSession->SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 1000);
        pConnection.reset(
            pSession->GetHttpConnection(strServer.c_str(), INTERNET_FLAG_KEEP_CONNECTION, nPort));
        pFile.reset(pConnection->OpenRequest(L"POST", strObject.c_str(), nullptr, 1, nullptr,
                                             L"HTTP/1.0",
                                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE));
        pFile->AddRequestHeaders(L"Accept: *,*/*", HTTP_ADDREQ_FLAG_ADD_IF_NEW);
        pFile->AddRequestHeaders(L"Accept-Language: zh-cn", HTTP_ADDREQ_FLAG_ADD_IF_NEW);
        pFile->AddRequestHeaders(L"Content-Type: application/x-www-form-urlencoded",
                                 HTTP_ADDREQ_FLAG_ADD_IF_NEW);
        pFile->SendRequest();

        // A zero byte ends the text of its chunk; later chunks still count.
        std::string bytes;
        char buffer[kReadChunk + 1] = {};
        size_t total = 0;
        for (;;) {
            UINT nRead = pFile->Read(buffer, kReadChunk);
            if (nRead == 0)
                break;
            total += nRead;
            if (total > kMaxResponse) {
                closeAll();
                return FALSE;
            }
            buffer[nRead] = '\0';
            bytes.append(buffer, strlen(buffer));
            memset(buffer, 0, sizeof(buffer));
        }
        std::wstring strText = DecodeUtf8(bytes);

        closeAll();
        strResponse.swap(strText);
        return TRUE;
    } catch (CInternetException* pEx) {
        pEx->Delete();
    } catch (CException* pEx) {
        pEx->Delete();
    } catch (...) {
    }
    closeAll();
    strResponse.clear();
    return FALSE;
}
