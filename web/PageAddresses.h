#pragma once
// The six tab pages of the box server, and the two addresses opened in the default browser.

#include "mainwnd/Layout.h"

#include <string>

// Path of tab i (0 to 5) on the box server.
extern const wchar_t* const kTabPaths[kTabCount];
// Box-server base address followed by the tab's path.
std::wstring TabPageAddress(int tab);
// The feedback page ("/book") on the box server.
std::wstring FeedbackPageAddress();
// The portal's home page.
std::wstring HomePageAddress();
