#pragma once
// The page window's decisions, free of windows and controls.

#include "framework/plain_types.h"

#include <string>

// The retry area on the offline picture (placed by CalcCentredImageRect): from 185 right and 130
// down of the picture's corner to its far corner. Empty (PtInRect never holds) for a picture
// smaller than that, a zero-size one included.
RECT RetryHotArea(const RECT& picture);

enum class PageKeyAction {
    Swallow,            // neither the dialog nor the page sees it
    BrowserAccelerator, // the browser translates it first, then normal dispatch follows
    Dialog,             // the dialog's own keyboard handling
};
PageKeyAction ClassifyPageKey(UINT message, WPARAM wParam);

// The address to hand to the default browser for a page's new-window request, or empty when it
// must be dropped: only http and https (any case, white space trimmed), no control characters,
// at most 2048 characters.
std::wstring ExternalBrowserAddress(const wchar_t* url);
