#pragma once
#include <string>

namespace testutil {

// Directory of the running test program, with a trailing backslash.
std::wstring ExeDir();
// A fresh, empty directory under the temporary folder (trailing backslash); removed by the caller.
std::wstring MakeTempDir(const std::wstring& tag);
void RemoveTree(const std::wstring& dir);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

} // namespace testutil
