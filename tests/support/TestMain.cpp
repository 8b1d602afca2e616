// main() of the native unit tests: GoogleTest's, with the catalogue in place
// and every test held to giving back the blocks it took.
#include <gtest/gtest.h>

#include "tests/support/Catalogue.h"
#include "tests/support/LeakCheck.h"

int main(int argc, char** argv) {
    support::UseCatalogue();
    testing::InitGoogleTest(&argc, argv);
    support::WatchLeaks();
    return RUN_ALL_TESTS();
}
