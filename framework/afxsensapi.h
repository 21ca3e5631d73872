#pragma once
// IsNetworkAlive has no import library in every toolchain: it is bound at run time, from the
// system directory only.

#include <windows.h>

// The system's IsNetworkAlive; FALSE when the library or the function is missing.
BOOL AfxIsNetworkAlive(LPDWORD lpdwFlags);
