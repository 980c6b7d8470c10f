// A test fixture that runs each test on a fresh headless platform.
#pragma once

#include <gtest/gtest.h>

#include "platform/headless/headless.h"

class HeadlessTest : public ::testing::Test {
 protected:
  // Installs a fresh headless platform; its parts are in `hl`.
  void SetUp() override { hl = platform::headless::Install(); }
  // Removes it, so no state leaks into the next test.
  void TearDown() override { platform::Uninstall(); }

  platform::headless::Handles hl;
};
