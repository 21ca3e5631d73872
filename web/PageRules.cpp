#include "web/PageRules.h"

#include <cwctype>

RECT RetryHotArea(const RECT& picture) {
    return RECT{picture.left + 185, picture.top + 130, picture.right, picture.bottom};
}

PageKeyAction ClassifyPageKey(UINT message, WPARAM wParam) {
    if (message != WM_KEYDOWN)
        return PageKeyAction::Dialog;
    if (wParam == VK_ESCAPE || wParam == VK_CONTROL)
        return PageKeyAction::Swallow;
    if (wParam == VK_RETURN)
        return PageKeyAction::BrowserAccelerator;
    return PageKeyAction::Dialog;
}

std::wstring ExternalBrowserAddress(const wchar_t* url) {
    constexpr size_t kMaxLength = 2048;
    if (!url)
        return std::wstring();
    std::wstring s(url);
    auto blank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
    size_t first = 0, last = s.size();
    while (first < last && blank(s[first]))
        ++first;
    while (last > first && blank(s[last - 1]))
        --last;
    s = s.substr(first, last - first);
    if (s.empty() || s.size() > kMaxLength)
        return std::wstring();
    for (wchar_t c : s) {
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0))
            return std::wstring();
    }
    size_t colon = s.find(L':');
    if (colon == std::wstring::npos)
        return std::wstring();
    std::wstring scheme = s.substr(0, colon);
    for (wchar_t& c : scheme)
        c = static_cast<wchar_t>(std::towlower(c));
    if (scheme != L"http" && scheme != L"https")
        return std::wstring();
    // Nothing but an address with a host: "http:evil" or "http:\\host" is not one.
    if (s.compare(colon, 3, L"://") != 0 || s.size() == colon + 3)
        return std::wstring();
    return s;
}
