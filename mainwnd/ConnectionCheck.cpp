#include "mainwnd/ConnectionCheck.h"

#include "framework/handles.h"

#include <wininet.h>

#include <atomic>
#include <memory>
#include <string>

namespace {

// Shared by the caller and the worker, so that a worker that outlives the wait still writes
// into live memory.
struct CheckState {
    std::wstring url;
    std::atomic<BOOL> online{FALSE};
};

DWORD WINAPI CheckProc(LPVOID param) {
    std::unique_ptr<std::shared_ptr<CheckState>> state(
        static_cast<std::shared_ptr<CheckState>*>(param));
    (*state)->online.store(
        InternetCheckConnectionW((*state)->url.c_str(), FLAG_ICC_FORCE_CONNECTION, 0));
    return 0;
}

} // namespace

BOOL CheckConnectionWithin(const wchar_t* url, DWORD timeoutMs) {
    auto state = std::make_shared<CheckState>();
    state->url = url;
    auto* param = new std::shared_ptr<CheckState>(state);
    UniqueHandle worker(CreateThread(nullptr, 0, CheckProc, param, 0, nullptr));
    if (!worker) {
        delete param;
        return InternetCheckConnectionW(url, FLAG_ICC_FORCE_CONNECTION, 0);
    }
    if (WaitForSingleObject(worker.get(), timeoutMs) != WAIT_OBJECT_0)
        return FALSE;
    return state->online.load();
}
