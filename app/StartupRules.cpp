#include "app/StartupRules.h"

#include <cwctype>

std::wstring TrimCommandLine(const std::wstring& text) {
    size_t end = text.size();
    while (end > 0 && std::iswspace(text[end - 1]))
        --end;
    size_t begin = 0;
    while (begin < end && std::iswspace(text[begin]))
        ++begin;
    return text.substr(begin, end - begin);
}

bool IsAutoStart(const std::wstring& commandLine) {
    return TrimCommandLine(commandLine) == L"Auto";
}
