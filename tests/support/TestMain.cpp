// The main of every test program: COM and the common controls are set up as
// the wizard sets them up at start.
#include "platform/Platform.h"

#include <commctrl.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  platform::ComApartment com;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
