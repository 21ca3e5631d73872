// Libraries bound at run time come from the system directory, never from beside the program.

#include "framework/afxsensapi.h"
#include "framework/afxwin.h"
#include "report/MacAddress.h"
#include "support/test_util.h"

#include <delayimp.h>
#include <gtest/gtest.h>

#include <set>

namespace {

std::wstring Lower(std::wstring s) {
    CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

// Names of the DLLs in a program's import table (not its delay-import table), in lower case. The
// program is built for this test's architecture, so the image headers are this process's.
std::set<std::string> StaticImports(const std::wstring& path) {
    std::set<std::string> names;
    HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!image)
        return names;
    const BYTE* base =
        reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR(3));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (const auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + rva);
         rva && d->Name; ++d) {
        std::string name = reinterpret_cast<const char*>(base + d->Name);
        for (char& c : name)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        names.insert(name);
    }
    FreeLibrary(image);
    return names;
}

} // namespace

// Windows looks beside the program first for any DLL that is not a Known DLL. Only libraries it
// always takes from the system may be imported at load time, and of those only what a bare window
// program loads anyway: everything else would be paid for before the program's own code runs.
TEST(SystemLibraries, ProgramImportsAtLoadTimeOnlyWhatTheSystemAlwaysProvides) {
    const std::set<std::string> known = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                         "msvcrt.dll"};
    std::set<std::string> imports = StaticImports(testutil::ExeDir() + L"TovoBox.exe");
    ASSERT_TRUE(imports.count("kernel32.dll")) << "no import table read";
    for (const std::string& dll : imports)
        EXPECT_TRUE(known.count(dll)) << dll << " is imported at load time";
}

TEST(SystemLibraries, PlantedCopiesBesideTheProgramAreNeverLoaded) {
    // The build puts fakes named sensapi.dll and inetmib1.dll next to this program.
    std::wstring dir = testutil::ExeDir();
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"sensapi.dll").c_str()));
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"inetmib1.dll").c_str()));

    DWORD flags = 0;
    EXPECT_NE(2, AfxIsNetworkAlive(&flags)); // what the planted copy answers, with 0x7A7A
    EXPECT_NE(0x7A7Au, flags);
    std::wstring mac;
    GetMacBySnmp(mac);
    // The loader's hook, called where nothing may unwind, loads without allocating.
    DelayLoadInfo info = {};
    info.szDll = "inetmib1.dll";
    testutil::FailAllocation(1);
    FARPROC loaded = AfxDelayLoadHook(dliNotePreLoadLibrary, &info);
    testutil::FailAllocation(0);
    EXPECT_TRUE(loaded);

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
