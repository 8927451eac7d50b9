#include "tools/pelixcfg_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "common/node_owner.h"
#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

namespace {

struct Ran {
  int status = 0;
  std::string out, err;
};

Ran Pelixcfg(platform::Env& env, const TempNode& node, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"-C", node.dir()});
  PelixcfgOutput output;
  Ran ran;
  ran.status = RunPelixcfg(env, arguments, output);
  ran.out = output.out;
  ran.err = output.err;
  return ran;
}

// An uplink feeding one echo that a point receives; a second echo unused.
std::string NodeText() {
  return BasicConfigText() +
         "[echo]\ntag = PELIX.TEST\ndescription = Test echo\n"
         "link = 2:5020/1 receive send\nlink = 2:5020/100.7@fidonet send\n"
         "[echo]\ntag = EMPTY\n"
         "[link]\nsysop_name = Uplink\naddress = 2:5020/1\ntic_password = TIC\n";
}

const char* const kFiles[] = {"pelix.cfg", "pelix.dmn", "pelix.fe", "pelix.nod"};

std::vector<std::string> Contents(const TempNode& node) {
  std::vector<std::string> contents;
  for (const char* file : kFiles) contents.push_back(node.ReadFile(file));
  return contents;
}

TEST(PelixcfgWrite, RefusesADumpWhoseFilesChangedSinceAndForceOverrides) {
  FaultyEnv env;
  TempNode node;
  node.WriteConfig(NodeText());
  ASSERT_EQ(std::remove(node.Path("pelix.nod").c_str()), 0);
  Ran dump = Pelixcfg(env, node, {"dump"});
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_NE(dump.out.find("# fingerprint: pelix.cfg=2829:"), std::string::npos) << dump.out;
  EXPECT_NE(dump.out.find(" pelix.nod=-\n"), std::string::npos) << dump.out;
  // The sysop edits the dump while the robot takes the uplink off an echo.
  std::string edited = dump.out;
  edited.replace(edited.find("Test echo"), 9, "Tested echo");
  node.WriteFile("node.txt", edited);
  ConfigText robot = node.ReadConfig();
  robot.echoes[0].links[0].send = 0;
  node.WriteFile("pelix.fe", WriteFileEchoes(robot.echoes, false));
  const std::vector<std::string> after_robot = Contents(node);

  Ran stale = Pelixcfg(env, node, {"write", node.Path("node.txt")});
  EXPECT_EQ(stale.status, kPelixcfgChanged);
  EXPECT_NE(stale.err.find("pelix.fe changed since"), std::string::npos) << stale.err;
  EXPECT_EQ(Contents(node), after_robot);

  // A file that was missing at the dump and is there now counts too.
  node.WriteFile("pelix.nod", WriteLinks({LinkRecord{}}));
  stale = Pelixcfg(env, node, {"write", node.Path("node.txt")});
  EXPECT_NE(stale.err.find("pelix.fe, pelix.nod changed since"), std::string::npos) << stale.err;

  // A text made by hand cannot replace files it knows nothing of.
  node.WriteFile("hand.txt", NodeText());
  Ran hand = Pelixcfg(env, node, {"write", node.Path("hand.txt")});
  EXPECT_EQ(hand.status, kPelixcfgChanged);
  EXPECT_NE(hand.err.find("has no fingerprint"), std::string::npos) << hand.err;

  Ran forced = Pelixcfg(env, node, {"--force", "write", node.Path("node.txt")});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(node.ReadConfig().echoes[0].description, "Tested echo");
  EXPECT_TRUE(node.ReadConfig().links.empty());

  // A fresh dump goes back as it is.
  node.WriteFile("again.txt", Pelixcfg(env, node, {"dump"}).out);
  EXPECT_EQ(Pelixcfg(env, node, {"write", node.Path("again.txt")}).status, 0);
  EXPECT_FALSE(node.Exists("pelix.bsy"));
}

TEST(Pelixcfg, WritingCommandsRefuseAsRootInAnotherUsersNodeAndWhileBusy) {
  TempNode node;
  node.WriteConfig(NodeText());
  node.WriteFile("node.txt", NodeText());
  const std::vector<std::vector<std::string>> writers = {
      {"--force", "write", node.Path("node.txt")},
      {"write", node.Path("node.txt")},
  };
  const std::vector<std::string> before = Contents(node);
  FaultyEnv root;
  root.UseForeignOwner("ftn");
  for (const std::vector<std::string>& arguments : writers) {
    Ran ran = Pelixcfg(root, node, arguments);
    EXPECT_EQ(ran.status, kExitNotNodeOwner) << arguments[1];
    EXPECT_EQ(ran.err.rfind("Fatal : This node directory belongs to ftn; run as that user: "
                            "sudo -u ftn pelixcfg -C " + node.dir() + " ", 0),
              0u)
        << ran.err;
    EXPECT_EQ(Contents(node), before) << arguments[1];
    EXPECT_FALSE(node.Exists("pelix.bsy")) << arguments[1];
  }
  EXPECT_EQ(Pelixcfg(root, node, {"dump"}).status, 0);

  FaultyEnv env;
  node.WriteFile("pelix.bsy", "");
  for (const std::vector<std::string>& arguments : writers) {
    Ran ran = Pelixcfg(env, node, arguments);
    EXPECT_EQ(ran.status, kPelixcfgBusy) << arguments[1];
    EXPECT_EQ(ran.err, "Pelix is busy\n");
    EXPECT_EQ(Contents(node), before) << arguments[1];
  }
  EXPECT_TRUE(node.Exists("pelix.bsy"));
  EXPECT_EQ(Pelixcfg(env, node, {"dump"}).status, 0);
}

TEST(Pelixcfg, UnreadableFileIsFatalAndMissingOneIsEmpty) {
  FaultyEnv env;
  TempNode node;
  node.WriteConfig(NodeText());
  node.WriteFile("node.txt", NodeText());
  env.Fail(FaultyEnv::Op::kRead, 1, "pelix.fe", -1, EACCES);
  const std::vector<std::string> before = Contents(node);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"dump"}, {"--force", "write", node.Path("node.txt")}}) {
    Ran ran = Pelixcfg(env, node, arguments);
    EXPECT_EQ(ran.status, 1) << arguments[0];
    EXPECT_EQ(ran.err, "Fatal : Can't read " + node.Path("pelix.fe") + ", Permission denied\n");
  }
  EXPECT_EQ(Contents(node), before);
  EXPECT_FALSE(node.Exists("pelix.bsy"));

  env.ClearFailures();
  ASSERT_EQ(std::remove(node.Path("pelix.fe").c_str()), 0);
  Ran dump = Pelixcfg(env, node, {"dump"});
  EXPECT_EQ(dump.status, 0);
  EXPECT_EQ(dump.out.find("[echo]"), std::string::npos);
  EXPECT_NE(dump.out.find("pelix.fe=-"), std::string::npos);
}

TEST(PelixcfgWrite, LinksFileIsMadePrivateAndKeepsTheModeItHas) {
  FaultyEnv env;
  TempNode fresh;
  fresh.WriteFile("node.txt", NodeText());
  ASSERT_EQ(Pelixcfg(env, fresh, {"write", fresh.Path("node.txt")}).status, 0);
  uint32_t mode = 0;
  ASSERT_TRUE(env.ModeOf(fresh.Path("pelix.nod"), mode));
  EXPECT_EQ(mode, platform::kPrivateFileMode);

  TempNode kept;
  kept.WriteConfig(NodeText());
  kept.WriteFile("node.txt", NodeText());
  ASSERT_EQ(::chmod(kept.Path("pelix.nod").c_str(), 0640), 0);
  ASSERT_EQ(Pelixcfg(env, kept, {"--force", "write", kept.Path("node.txt")}).status, 0);
  ASSERT_TRUE(env.ModeOf(kept.Path("pelix.nod"), mode));
  EXPECT_EQ(mode, 0640u);
}

}  // namespace
