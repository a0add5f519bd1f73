// The main of every test program that needs no application object of its own.
#include "testenv.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    const testenv::IsolatedRun run("tests");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
