#pragma once
// The tab pages of the box server, and the two addresses opened in the default browser.

#include "mainwnd/Layout.h"

#include <string>

// Box-server base address followed by the path of tab i in the tab table; empty for no tab.
std::wstring TabPageAddress(int tab);
// The feedback page ("/book") on the box server.
std::wstring FeedbackPageAddress();
// The portal's home page.
std::wstring HomePageAddress();
