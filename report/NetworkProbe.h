#pragma once
// The forced reachability check of start-up, with a bound on how long the caller waits.

#include <windows.h>

#include <future>
#include <string>

// How long start-up waits for the probe before it counts the machine as offline.
constexpr DWORD kStartupProbeWaitMs = 3000;

// InternetCheckConnectionW(url, FLAG_ICC_FORCE_CONNECTION, 0).
BOOL ForcedConnectionCheck(const std::wstring& url);
// pfnCheck(url), started on a worker thread so that the caller goes on working while it runs.
std::future<BOOL>
StartConnectionCheck(const std::wstring& url,
                     BOOL (*pfnCheck)(const std::wstring&) = ForcedConnectionCheck);
// The check's answer; FALSE when it has not come within timeoutMs of this call. The worker then
// finishes on its own and its answer is dropped: a site whose packets vanish would otherwise hold
// the caller for a minute on Windows and for minutes under Wine, whose connect ignores every
// time-out.
BOOL AwaitConnectionCheck(std::future<BOOL>& answer, DWORD timeoutMs);
