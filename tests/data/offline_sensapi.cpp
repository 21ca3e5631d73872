// Stands in for the system's sensapi.dll in a test prefix: the network is always down.
#include <windows.h>

extern "C" __declspec(dllexport) BOOL WINAPI IsNetworkAlive(LPDWORD flags) {
    if (flags)
        *flags = 0;
    return FALSE;
}
