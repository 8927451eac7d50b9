// In-process tests of the passes: a temporary node made the working
// directory, its configuration loaded into the run state as pelix loads it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "processor/config_store.h"
#include "processor/run_state.h"
#include "tests/support/temp_node.h"

class LoadedNodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRunState();
    ASSERT_NE(::getcwd(old_dir_, sizeof old_dir_), nullptr);
  }
  void TearDown() override {
    platform::SetFixedClock(std::nullopt);
    ASSERT_EQ(::chdir(old_dir_), 0);
    ResetRunState();
  }
  // Writes the configuration, enters the node and loads it.
  void Load(const std::string& text) {
    node_.WriteConfig(text);
    ASSERT_EQ(::chdir(node_.dir().c_str()), 0);
    ReadConfiguration();
  }

  TempNode node_;
  char old_dir_[4096];
};
