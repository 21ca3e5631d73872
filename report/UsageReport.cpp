#include "report/UsageReport.h"

#include "mainwnd/MainWnd.h"
#include "portal.h"
#include "report/MacAddress.h"
#include "report/MD5.h"
#include "report/SendData.h"
#include "report/UpdateCheck.h"

#include <vector>

bool ShouldStartReport(BOOL online, BOOL reportStarted) {
    return online && !reportStarted;
}

bool ShouldStartOnTick(BOOL wasOnline, BOOL nowOnline) {
    return nowOnline && !wasOnline;
}

namespace {

std::string ToAnsi(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::vector<char> buffer(size + 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer.data(), size, nullptr, nullptr);
    return std::string(buffer.data());
}

std::wstring DigestOf(CMD5& md5, const std::wstring& text) {
    std::string bytes = ToAnsi(text);
    md5.Init();
    md5.DigestText(bytes.c_str());
    const char* digest = md5.GetDigestText();
    return digest ? std::wstring(digest, digest + strlen(digest)) : std::wstring();
}

} // namespace

std::wstring ComputeCenterKey(const std::wstring& version, const std::wstring& mac,
                              const std::wstring& type) {
    CMD5 md5;
    std::wstring first = DigestOf(md5, version + mac);
    return DigestOf(md5, type + first);
}

void SendUsageReport(std::wstring channel, std::wstring version, std::wstring type) {
    std::wstring mac = GetMacAddress();
    std::wstring key = ComputeCenterKey(version, mac, type);
    std::wstring url = BuildReportUrl(TOVO_BOX_SERVER, channel, version, mac, type, key);
    CSendData sender;
    std::wstring response;
    sender.PostRequest(url, response);
}

UINT ReportThreadProc(LPVOID param) {
    if (!g_pMainWnd || !g_pMainWnd->m_bOnline.load(std::memory_order_relaxed))
        return 0;
    // A report that throws has failed; nothing of it is ever shown (AfxBeginThread).
    CMainWnd* wnd = static_cast<CMainWnd*>(param);
    // The update check waits for the same sign of the network, on a thread of its own.
    StartUpdateCheck(wnd->m_strVersion, wnd->m_strChannel);
    SendUsageReport(wnd->m_strChannel, wnd->m_strVersion, L"2");
    return 0;
}
