// Every test case starts from the library's state at load and leaves it so.
#pragma once

#include <gtest/gtest.h>

#include "api/driver_state.h"

namespace teko::testing {

class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override { api::ResetLibraryForTesting(); }
    void TearDown() override { api::ResetLibraryForTesting(); }
};

}  // namespace teko::testing
