// main() of the model's unit tests, which load no strings: GoogleTest's,
// with every test held to giving back the blocks it took.
#include <gtest/gtest.h>

#include "tests/support/LeakCheck.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    support::WatchLeaks();
    return RUN_ALL_TESTS();
}
