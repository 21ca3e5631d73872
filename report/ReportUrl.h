#pragma once
// The report address and its query encoding: plain functions without the window system, so that
// they also build natively for fuzzing.

#include <string>

// Percent-encodes a query value (RFC 3986): unreserved characters stay, everything else goes as
// UTF-8 %XX, so a channel cannot add or break query fields. The value is read as UTF-16 code
// units whatever the width of wchar_t; an unpaired surrogate becomes U+FFFD, as the system's
// own conversion does.
std::wstring EncodeQueryValue(const std::wstring& value);
std::wstring BuildReportUrl(const std::wstring& server, const std::wstring& channel,
                            const std::wstring& version, const std::wstring& mac,
                            const std::wstring& type, const std::wstring& key);
// UTF-16 code units to UTF-8, unpaired surrogates as U+FFFD.
std::string Utf16ToUtf8(const std::wstring& value);
