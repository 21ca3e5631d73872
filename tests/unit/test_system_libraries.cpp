// Libraries bound at run time come from the system directory, never from beside the program.

#include "framework/afxsensapi.h"
#include "framework/afxwin.h"
#include "report/MacAddress.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

namespace {

std::wstring Lower(std::wstring s) {
    CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

} // namespace

TEST(SystemLibraries, PlantedCopiesBesideTheProgramAreNeverLoaded) {
    // The build puts fakes named sensapi.dll and inetmib1.dll next to this program.
    std::wstring dir = testutil::ExeDir();
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"sensapi.dll").c_str()));
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"inetmib1.dll").c_str()));

    DWORD flags = 0;
    BOOL alive = AfxIsNetworkAlive(&flags);
    EXPECT_TRUE(alive == TRUE || alive == FALSE);
    EXPECT_NE(0x7A7Au, flags);
    std::wstring mac;
    GetMacBySnmp(mac);

    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, L"TovoPlantedLibraryLoaded");
    EXPECT_EQ(nullptr, event) << "a planted library was loaded";
    if (event)
        CloseHandle(event);
    std::wstring system = Lower(AfxSystemLibraryPath(L""));
    for (const wchar_t* name : {L"sensapi.dll", L"inetmib1.dll"}) {
        HMODULE module = GetModuleHandleW(name);
        if (module) {
            std::wstring path = Lower(AfxGetModuleFileName(module));
            EXPECT_EQ(0u, path.find(system)) << testutil::ToUtf8(path);
        }
    }
}
