#pragma once
// The channel rule: a plain function, also built natively for fuzzing.

#include <string>

// The channel is the part of the configured value before its last "."; empty without one.
std::wstring ChannelFromValue(const std::wstring& value);
