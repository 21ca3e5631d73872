#include "report/NetworkProbe.h"

#include <wininet.h>

#include <chrono>
#include <future>
#include <system_error>
#include <thread>

std::future<BOOL> StartConnectionCheck(const std::wstring& url) {
    std::promise<BOOL> promise;
    std::future<BOOL> answer = promise.get_future();
    try {
        // The worker owns the promise and its copy of the address, so it may outlive the caller.
        std::thread([url, promise = std::move(promise)]() mutable {
            promise.set_value(InternetCheckConnectionW(url.c_str(), FLAG_ICC_FORCE_CONNECTION, 0));
        }).detach();
    } catch (const std::system_error&) {
        return {}; // no worker: counts as no answer
    }
    return answer;
}

BOOL AwaitConnectionCheck(std::future<BOOL>& answer, DWORD timeoutMs) {
    if (!answer.valid() ||
        answer.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        return FALSE;
    return answer.get();
}
