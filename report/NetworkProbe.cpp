#include "report/NetworkProbe.h"

#include "framework/afxwin.h"
#include "framework/handles.h"

#include <wininet.h>

#include <chrono>
#include <memory>

BOOL ForcedConnectionCheck(const std::wstring& url) {
    return InternetCheckConnectionW(url.c_str(), FLAG_ICC_FORCE_CONNECTION, 0);
}

namespace {

// The worker owns the promise and its copy of the address, so it may outlive the caller.
struct Probe {
    std::wstring url;
    BOOL (*pfnCheck)(const std::wstring&);
    std::promise<BOOL> answer;
};

UINT ProbeThreadProc(LPVOID param) {
    // A check that throws leaves the promise broken, which reads as no answer.
    std::unique_ptr<Probe> probe(static_cast<Probe*>(param));
    probe->answer.set_value(probe->pfnCheck(probe->url));
    return 0;
}

} // namespace

std::future<BOOL> StartConnectionCheck(const std::wstring& url,
                                       BOOL (*pfnCheck)(const std::wstring&)) {
    auto* probe = new Probe{url, pfnCheck, {}};
    std::future<BOOL> answer = probe->answer.get_future();
    UniqueHandle thread(AfxBeginThread(ProbeThreadProc, probe));
    if (!thread)
        delete probe;
    return answer;
}

BOOL AwaitConnectionCheck(std::future<BOOL>& answer, DWORD timeoutMs) {
    if (!answer.valid() ||
        answer.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        return FALSE;
    try {
        return answer.get();
    } catch (const std::future_error&) {
        return FALSE; // the worker ended without an answer
    }
}
