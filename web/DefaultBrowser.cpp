#include "web/DefaultBrowser.h"

#include <shellapi.h>

namespace {

void ShellOpen(const std::wstring& url, int nShowCmd) {
    ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, nShowCmd);
}

} // namespace

void (*g_pfnShellOpen)(const std::wstring& url, int nShowCmd) = &ShellOpen;

void OpenInDefaultBrowser(const std::wstring& url, int nShowCmd) {
    g_pfnShellOpen(url, nShowCmd);
}
