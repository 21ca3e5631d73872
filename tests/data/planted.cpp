// A library planted beside the test program under the name of a system library. It must never
// be loaded: if it is, it says so through a named event.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        HANDLE event = CreateEventW(nullptr, TRUE, TRUE, L"TovoPlantedLibraryLoaded");
        (void)event; // kept open for the process's life, so the test can see it
    }
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI IsNetworkAlive(LPDWORD flags) {
    if (flags)
        *flags = 0x7A7A;
    return 2;
}
