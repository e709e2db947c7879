// Shared main of the test executables that need the user-interface engine. ctest's discovery
// runs the binary at build time with no display, so offscreen is chosen unless a platform is set.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/userint.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  if (!InitCVIRTE(argc, argv)) return 2;
  return RUN_ALL_TESTS();
}
