// A headless back end for each test, removed (with every window left) at its end.
#pragma once

#include <gtest/gtest.h>

#include "standalone/app/toolkit/headless/HeadlessBackend.h"

namespace kelo::test {

class HeadlessToolkit : public ::testing::Test {
 protected:
  void SetUp() override { ui = &vantor::VNT::headless::HeadlessBackend::install(); }
  void TearDown() override { vantor::VNT::setBackend(nullptr); }

  vantor::VNT::headless::HeadlessBackend* ui = nullptr;
};

}  // namespace kelo::test
