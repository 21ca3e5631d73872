#include "framework/afxsensapi.h"

#include "framework/afxwin.h"

namespace {

using IsNetworkAliveFn = BOOL(WINAPI*)(LPDWORD);

IsNetworkAliveFn Bind() {
    HMODULE module = AfxLoadSystemLibrary(L"sensapi.dll");
    if (!module)
        return nullptr;
    // Through a plain function pointer type so the compiler accepts the cast.
    return reinterpret_cast<IsNetworkAliveFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "IsNetworkAlive")));
}

} // namespace

BOOL AfxIsNetworkAlive(LPDWORD lpdwFlags) {
    // Kept loaded for the life of the process; the pages ask often.
    static const IsNetworkAliveFn isNetworkAlive = Bind();
    if (!isNetworkAlive) {
        if (lpdwFlags)
            *lpdwFlags = 0;
        return FALSE;
    }
    return isNetworkAlive(lpdwFlags);
}
