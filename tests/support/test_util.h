#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace testutil {

// Directory of the running test program, with a trailing backslash.
std::wstring ExeDir();
// A fresh, empty directory under the temporary folder (trailing backslash); removed by the caller.
std::wstring MakeTempDir(const std::wstring& tag);
void RemoveTree(const std::wstring& dir);
// Calls fn for each entry of dir (with its trailing backslash; long paths too), "." and ".." left
// out. Not recursive: a caller that wants the tree calls it again for each directory.
void ForEachEntry(const std::wstring& dir, const std::function<void(const WIN32_FIND_DATAW&)>& fn);
// A click as the mouse gives it, each message handled before the next.
void Click(HWND w, POINT p);
// The top-level window (hidden included) of process pid that carries the instance property.
HWND FindMarkedWindowOf(DWORD pid);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// %XX escapes turned back into their bytes.
std::string PercentDecode(const std::string& s);
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
// From now on the nth allocation with operator new on this thread (counted from 1) throws
// std::bad_alloc; 0 disarms. AllocationFailed() tells whether it came since it was armed.
void FailAllocation(long nth);
bool AllocationFailed();

} // namespace testutil
