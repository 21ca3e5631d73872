#include "report/ChannelRule.h"

std::wstring ChannelFromValue(const std::wstring& value) {
    size_t dot = value.find_last_of(L'.');
    return dot == std::wstring::npos ? std::wstring() : value.substr(0, dot);
}
