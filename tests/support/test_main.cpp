// The main of the test programs (the toolkit's have QtTestMain): gtest's,
// with the bounds of test_guard.h.
#include <gtest/gtest.h>

#include "tests/support/test_guard.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testsupport::InstallTestGuard();
  return RUN_ALL_TESTS();
}
