// Start-up decisions that need no window: the command line and the program's directory.

#include "app/StartupRules.h"
#include "mainwnd/Layout.h"

#include <gtest/gtest.h>

TEST(StartupRules, OnlyTheExactWordAutoStartsHidden) {
    EXPECT_TRUE(IsAutoStart(L"Auto"));
    EXPECT_TRUE(IsAutoStart(L" Auto\t"));
    EXPECT_TRUE(IsAutoStart(L"\r\n  Auto \v\f"));
    EXPECT_FALSE(IsAutoStart(L"auto"));
    EXPECT_FALSE(IsAutoStart(L"AUTO"));
    EXPECT_FALSE(IsAutoStart(L"Auto x"));
    EXPECT_FALSE(IsAutoStart(L"\"Auto\""));
    EXPECT_FALSE(IsAutoStart(L""));
    EXPECT_FALSE(IsAutoStart(L"   "));
    EXPECT_EQ(L"a  b", TrimCommandLine(L" \ta  b\t "));
}

TEST(StartupRules, ModuleDirectoryKeepsTheLastBackslash) {
    EXPECT_EQ(L"C:\\", DirectoryOf(L"C:\\TovoBox.exe"));
    EXPECT_EQ(L"D:\\Games\\Tovo\\", DirectoryOf(L"D:\\Games\\Tovo\\TovoBox.exe"));
    EXPECT_EQ(L"", DirectoryOf(L"TovoBox.exe"));
    EXPECT_EQ(L"", DirectoryOf(L""));
    std::wstring deep = L"C:\\" + std::wstring(300, L'x') + L"\\";
    EXPECT_EQ(deep, DirectoryOf(deep + L"TovoBox.exe"));
}

TEST(StartupRules, OnlyLongPathsTakeTheExtendedForm) {
    EXPECT_EQ(L"C:\\Tovo\\config.ini", ExtendedPath(L"C:\\Tovo\\config.ini"));
    std::wstring longDir = L"C:\\" + std::wstring(290, L'd') + L"\\config.ini";
    EXPECT_EQ(L"\\\\?\\" + longDir, ExtendedPath(longDir));
    EXPECT_EQ(L"\\\\?\\" + longDir, ExtendedPath(L"\\\\?\\" + longDir));
    std::wstring unc = L"\\\\server\\share\\" + std::wstring(290, L'd');
    EXPECT_EQ(L"\\\\?\\UNC\\server\\share\\" + std::wstring(290, L'd'), ExtendedPath(unc));
}
