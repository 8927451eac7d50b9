// The outgoing TIC's name: the node's next number, past every name the TIC
// outbound holds in any letter case, and never one this run made a moment
// ago.
#include "processor/outbound/tic_names.h"

#include <gtest/gtest.h>

#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

namespace {

TEST(TicNames, NextNumberPastEveryTakenNameInAnyCase) {
  TempNode node;
  FaultyEnv env;
  env.UseFakeClock(1600000000);  // the digits 000000
  Serials serials(env, node.Path("pelix.seq"));
  MadeTics made(env);
  LogFile log(env, node.Path("pelix.log"));
  const std::string dir = node.dir() + "ticout/";
  node.WriteFile("ticout/PX000001.TIC", "other case");
  node.WriteFile("ticout/px000002.tic", "waiting");
  node.MakeDir("ticout/px000003.tic");
  env.KeepNamesOf(dir);  // as the TIC pass keeps it
  std::vector<std::string> names;
  std::string previous;
  for (int i = 0; i < 3; ++i) {
    std::string path;
    platform::FilePtr tic = CreateNextTicFile(env, log, serials, made, dir, path, previous);
    ASSERT_NE(tic, nullptr);
    names.push_back(path.substr(dir.size()));
    previous = path;
  }
  env.ForgetKeptNames();
  made.End(log);
  EXPECT_EQ(names, (std::vector<std::string>{"px000000.tic", "px000004.tic", "px000005.tic"}));
  EXPECT_EQ(node.ReadFile("ticout/PX000001.TIC"), "other case");
  // The next run goes on after them, even once the mailer sent them all.
  for (const std::string& name : names) ASSERT_TRUE(env.DeleteFile(dir + name));
  Serials next_run(env, node.Path("pelix.seq"));
  std::string path;
  ASSERT_NE(CreateNextTicFile(env, log, next_run, made, dir, path), nullptr);
  made.End(log);
  EXPECT_GT(path.substr(dir.size()), std::string("px000005.tic"));
}

}  // namespace
