#pragma once
// The forced reachability check of start-up, with a bound on how long the caller waits.

#include <windows.h>

#include <string>

// How long start-up waits for the probe before it counts the machine as offline.
constexpr DWORD kStartupProbeWaitMs = 3000;

// InternetCheckConnectionW(url, FLAG_ICC_FORCE_CONNECTION, 0), run on a worker thread; FALSE when
// it has not answered within timeoutMs. The worker then finishes on its own and its answer is
// dropped: a site whose packets vanish would otherwise hold the caller for a minute on Windows
// and for minutes under Wine, whose connect ignores every time-out.
BOOL CheckConnectionWithin(const std::wstring& url, DWORD timeoutMs);
