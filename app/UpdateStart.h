#pragma once
// Applying a downloaded update at the start of the copy that holds the instance mutex, before any
// window shows (report/UpdateCheck.h brings it).

#include <string>

// The setup program's update switches: silent, update mode, then the install folder (last, as
// NSIS wants it, unquoted). /AUTO asks it to start the new client with "Auto".
std::wstring UpdateSetupCommandLine(const std::wstring& setupPath, const std::wstring& installDir,
                                    bool autoStart);

// Starts a pending update that passes every check again (manifest signature and rules, size,
// SHA-256, publisher) and returns true: this process must then end. Otherwise removes what is not
// a usable update, allows this run's update check, and returns false.
bool StartPendingUpdate(const std::wstring& commandLine);
