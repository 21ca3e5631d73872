#pragma once

#include "report/ChannelRule.h"

#include <string>

// A string of a file's version record, looked up under its first translation; empty when the
// file, its translation table or the string is missing.
std::wstring GetFileVersionString(const std::wstring& fileName, const std::wstring& key);
// Reads section "Tovo", key "channel" of config.ini in appDir (which ends with a backslash).
std::wstring ReadChannel(const std::wstring& appDir);
