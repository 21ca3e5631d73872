#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

namespace {

// A crash must fail the run: Wine's debugger, which otherwise takes an unhandled exception, ends
// the process with exit code 0.
LONG WINAPI FailOnCrash(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    std::fprintf(stderr, "unhandled exception 0x%08lx at %p\n",
                 static_cast<unsigned long>(record->ExceptionCode), record->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), record->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

// -municode: GoogleTest's own main() is never called.
int wmain(int argc, wchar_t** argv) {
    SetUnhandledExceptionFilter(FailOnCrash);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
