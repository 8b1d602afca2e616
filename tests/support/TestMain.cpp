// main() of the native unit tests: GoogleTest's, with the catalogue in place.
#include <gtest/gtest.h>

#include "tests/support/Catalogue.h"

int main(int argc, char** argv) {
    support::UseCatalogue();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
