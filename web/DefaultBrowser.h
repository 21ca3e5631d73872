#pragma once

#include <windows.h>

#include <string>

// Opens an address in the user's default browser: the shell's "open" verb, no owner window, no
// parameters. The result is ignored: nothing is shown when no browser opens.
void OpenInDefaultBrowser(const std::wstring& url, int nShowCmd = SW_SHOW);

// The shell call behind OpenInDefaultBrowser; tests replace it to see what would open.
extern void (*g_pfnShellOpen)(const std::wstring& url, int nShowCmd);
