// In-process tests of the passes: a temporary node made the working
// directory, its configuration loaded as pelix loads it, an Env that fails
// nothing until a test asks it to, and the node's log.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/platform.h"
#include "processor/config_store.h"
#include "processor/log.h"
#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

class LoadedNodeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(::getcwd(old_dir_, sizeof old_dir_), nullptr); }
  void TearDown() override {
    log_.reset();
    in_use_.reset();
    ASSERT_EQ(::chdir(old_dir_), 0);
  }
  // Writes the configuration, enters the node and loads it.
  void Load(const std::string& text) {
    node_.WriteConfig(text);
    ASSERT_EQ(::chdir(node_.dir().c_str()), 0);
    config_ = Configuration{};
    ASSERT_FALSE(ReadConfiguration(env_, config_).ends());
    in_use_.emplace(config_);
    log_.emplace(env_, config_.main.log_file);
  }
  Log& log() { return *log_; }

  TempNode node_;
  FaultyEnv env_;
  Configuration config_;
  std::optional<ConfigurationInUse> in_use_;
  std::optional<LogFile> log_;
  char old_dir_[4096];
};
