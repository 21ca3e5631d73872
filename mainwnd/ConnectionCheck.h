#pragma once

#include <windows.h>

// The forced reachability check (InternetCheckConnectionW with FLAG_ICC_FORCE_CONNECTION), run
// on a worker and waited for at most timeoutMs: a probe site whose packets are dropped would
// otherwise hold the caller for minutes, since the system's connect time-out is not honoured
// everywhere. A check that takes longer counts as offline; the worker ends on its own.
BOOL CheckConnectionWithin(const wchar_t* url, DWORD timeoutMs);
