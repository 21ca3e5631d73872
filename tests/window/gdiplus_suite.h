#pragma once
// GDI+ started for a whole test suite, as the application starts it for its windows.

#include "framework/afxgdiplus.h"

#include <gtest/gtest.h>

class GdiplusSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&s_token, &input, nullptr);
    }
    static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(s_token); }

private:
    static inline ULONG_PTR s_token = 0;
};
