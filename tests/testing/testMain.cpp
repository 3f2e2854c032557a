#include <gtest/gtest.h>

// -municode programs start at wmain; GoogleTest's own main library only provides main.
int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
