#pragma once

#include "report/ReportUrl.h"

#include <windows.h>

#include <string>

// When a report may start: online, and none started yet in this run.
bool ShouldStartReport(BOOL online, BOOL reportStarted);
// A timer tick starts the report only on a rise of the network flag that it observes itself.
bool ShouldStartOnTick(BOOL wasOnline, BOOL nowOnline);

// hex(MD5(ansi(type + hex(MD5(ansi(version + mac)))))), ansi being the system code page.
std::wstring ComputeCenterKey(const std::wstring& version, const std::wstring& mac,
                              const std::wstring& type);

// Builds and sends one report to the box server; the answer is not used.
void SendUsageReport(std::wstring channel, std::wstring version, std::wstring type);
// Thread procedure (AfxBeginThread); its argument is the main window.
UINT ReportThreadProc(LPVOID param);
