#include <gtest/gtest.h>

// -municode: GoogleTest's own main() is never called.
int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
