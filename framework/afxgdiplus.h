#pragma once
// GDI+ with NOMINMAX: some GDI+ headers call min and max unqualified inside namespace Gdiplus.

#include <windows.h>
#include <objidl.h>

#include <algorithm>

namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus

#include <gdiplus.h>
