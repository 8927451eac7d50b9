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

struct Step {
  std::vector<std::string> arguments;
  int status;
  std::string says;  // part of what it prints
};

void RunSteps(platform::Env& env, const TempNode& node, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    const std::vector<std::string> before = Contents(node);
    Ran ran = Pelixcfg(env, node, step.arguments);
    const std::string shown = step.arguments[0] + " " + step.arguments.back();
    EXPECT_EQ(ran.status, step.status) << shown << ": " << ran.err;
    EXPECT_NE((ran.out + ran.err).find(step.says), std::string::npos) << shown << ": " << ran.out
                                                                       << ran.err;
    if (step.status != 0) {
      EXPECT_EQ(Contents(node), before) << shown;
    }
    EXPECT_FALSE(node.Exists("pelix.bsy")) << shown;
  }
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

// pelix.ini travels in the dump: its fingerprint guards it as it guards
// the binary files, and write says what pelix would not read in it.
TEST(PelixcfgWrite, CarriesPelixIniWarnsAboutItAndLeavesItToTextsWithout) {
  FaultyEnv env;
  TempNode node;
  node.WriteConfig(NodeText());
  const std::string ini = "[pelix]\r\ndupe_days = ten\r\n";
  node.WriteFile("pelix.ini", ini);
  Ran dump = Pelixcfg(env, node, {"dump"});
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_NE(dump.out.find(" pelix.ini=26:"), std::string::npos) << dump.out;
  EXPECT_NE(dump.out.find("[ini]\nline = \"[pelix]\\r\"\nline = \"dupe_days = ten\\r\"\n"),
            std::string::npos)
      << dump.out;
  node.WriteFile("node.txt", dump.out);

  // pelix-setup changes pelix.ini after the dump: writing it back would undo that.
  node.WriteFile("pelix.ini", "[pelix]\r\ndupe_days = 10\r\n");
  Ran stale = Pelixcfg(env, node, {"write", node.Path("node.txt")});
  EXPECT_EQ(stale.status, kPelixcfgChanged);
  EXPECT_NE(stale.err.find("pelix.ini changed since"), std::string::npos) << stale.err;
  Ran forced = Pelixcfg(env, node, {"--force", "write", node.Path("node.txt")});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(node.ReadFile("pelix.ini"), ini);
  EXPECT_NE(forced.err.find("pelixcfg: Warning : pelix.ini line 2: can't read dupe_days = ten"),
            std::string::npos)
      << forced.err;

  // A text without [ini], such as a dump from before pelix.ini was carried,
  // leaves it as it is, changed or not.
  std::string old = Pelixcfg(env, node, {"dump"}).out;
  const size_t entry = old.find(" pelix.ini=");
  old.erase(entry, old.find(' ', entry + 1) - entry);
  old.erase(old.find("[ini]"), old.find("[domain]") - old.find("[ini]"));
  node.WriteFile("node.txt", old);
  node.WriteFile("pelix.ini", "[pelix]\r\ndupe_days = 10\r\n");
  Ran kept = Pelixcfg(env, node, {"write", node.Path("node.txt")});
  EXPECT_EQ(kept.status, 0) << kept.err;
  EXPECT_EQ(node.ReadFile("pelix.ini"), "[pelix]\r\ndupe_days = 10\r\n");
}

TEST(PelixcfgInPlace, LinkCommandsChangePelixNodAndRefuseWhatMakesNoSense) {
  FaultyEnv env;
  TempNode node;
  node.WriteConfig(NodeText());
  RunSteps(env, node,
           {
               {{"link", "add", "2:5020/7"}, 0, "added link 2:5020/7"},
               {{"link", "add", "2:5020/7.0@fidonet"}, 1, "link 2:5020/7.0@fidonet exists already"},
               {{"link", "add", "2:5020"}, 1, "not an address"},
               {{"link", "add", "2:5020/8", "tic_password=" + std::string(20, 'p')}, 1,
                "tic_password takes at most 19 characters"},
               {{"link", "set", "2:5020/7", "flavour=h", "tic_password=SECRET",
                 "sysop_name=New Downlink"},
                0, "changed link 2:5020/7"},
               {{"link", "set", "2:5020/7", "flavour=x"}, 1, "flavour takes one of the letters cdfhi"},
               {{"link", "set", "2:5020/7", "passive=yes"}, 1, "passive takes a number"},
               {{"link", "set", "2:5020/7", "address=2:5020/9"}, 1, "address cannot be changed"},
               {{"link", "set", "2:5020/7", "colour=red"}, 1, "unknown key colour"},
               {{"link", "set", "2:5020/9", "passive=1"}, 1, "no link 2:5020/9"},
               {{"link", "set", "2:5020/7"}, kPelixcfgUsage, "usage:"},
               {{"list", "links"}, 0, "2:5020/7 h - - New Downlink\n"},
               {{"link", "remove", "2:5020/1"}, 0, "still subscribed to PELIX.TEST"},
               {{"link", "remove", "2:5020/1"}, 1, "no link 2:5020/1"},
           });
  const std::vector<LinkRecord> links = node.ReadConfig().links;
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].address, "2:5020/7");
  EXPECT_EQ(links[0].flavour, 'h');
  EXPECT_EQ(links[0].spare_flavour, 'f');
  EXPECT_EQ(links[0].tic_password, "SECRET");

  TempNode elsewhere;  // no pelix.cfg: a mistyped -C, not a node
  Ran ran = Pelixcfg(env, elsewhere, {"link", "add", "2:5020/7"});
  EXPECT_EQ(ran.status, 1);
  EXPECT_NE(ran.err.find("not a node directory"), std::string::npos) << ran.err;
  EXPECT_TRUE(elsewhere.List("").empty());
}

TEST(PelixcfgInPlace, EchoAndSubscriptionCommandsChangePelixFe) {
  FaultyEnv env;
  TempNode node;
  node.WriteConfig(NodeText());
  RunSteps(env, node,
           {
               {{"echo", "add", "new.files", "New", "files"}, 0, "added echo NEW.FILES"},
               {{"echo", "add", "NEW.files"}, 1, "echo NEW.FILES exists already"},
               {{"echo", "add", std::string(255, 'A')}, 1, "tag takes at most 254 characters"},
               {{"echo", "add", "../ETC"}, 1, "not a tag"},
               {{"echo", "add", ""}, 1, "not a tag"},
               {{"echo", "set", "new.files", "passthrough=1"}, 0, "changed echo NEW.FILES"},
               {{"subscribe", "2:5020/1", "new.files", "receive"}, 0,
                "NEW.FILES: link = 2:5020/1 receive\n"},
               {{"subscribe", "2:5020/1.0@fidonet", "NEW.FILES", "both"}, 0,
                "NEW.FILES: link = 2:5020/1 receive send\n"},
               {{"subscribe", "2:5020/1", "PELIX.TEST", "send"}, 0, "link = 2:5020/1 send\n"},
               {{"subscribe", "2:5020/99", "NEW.FILES", "send"}, 1, "no link 2:5020/99"},
               {{"subscribe", "2:5020/1", "NOPE", "send"}, 1, "no echo NOPE"},
               {{"subscribe", "2:5020/1", "NEW.FILES", "sideways"}, 1, "receive, send or both"},
               {{"unsubscribe", "2:5020/100.7", "pelix.test"}, 0, "unsubscribed"},
               {{"unsubscribe", "2:5020/100.7", "PELIX.TEST"}, 1, "is not subscribed to PELIX.TEST"},
               {{"echo", "remove", "empty"}, 0, "removed echo EMPTY"},
               {{"echo", "remove", "EMPTY"}, 1, "no echo EMPTY"},
               {{"list", "echoes"}, 0,
                "PELIX.TEST - Test echo\n  2:5020/1 send\n"
                "NEW.FILES passthrough New files\n  2:5020/1 receive send\n"},
           });
  const std::vector<FileEchoRecord> echoes = node.ReadConfig().echoes;
  ASSERT_EQ(echoes.size(), 2u);
  EXPECT_EQ(echoes[0].links, (std::vector<EchoLinkEntry>{{"2:5020/1", 0, 1}}));
  EXPECT_EQ(echoes[1].tag, "NEW.FILES");
  EXPECT_EQ(echoes[1].passthrough, 1);
  EXPECT_EQ(echoes[1].links, (std::vector<EchoLinkEntry>{{"2:5020/1", 1, 1}}));
}

TEST(Pelixcfg, WritingCommandsRefuseAsRootInAnotherUsersNodeAndWhileBusy) {
  TempNode node;
  node.WriteConfig(NodeText());
  node.WriteFile("node.txt", NodeText());
  const std::vector<std::vector<std::string>> writers = {
      {"--force", "write", node.Path("node.txt")}, {"link", "add", "2:5020/7"},
      {"link", "remove", "2:5020/1"},               {"echo", "add", "NEW"},
      {"subscribe", "2:5020/1", "EMPTY", "send"},   {"unsubscribe", "2:5020/1", "PELIX.TEST"},
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
       {std::vector<std::string>{"dump"}, {"--force", "write", node.Path("node.txt")},
        {"list", "links"}, {"link", "add", "2:5020/7"}}) {
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
  Ran added = Pelixcfg(env, node, {"link", "add", "2:5020/7"});
  EXPECT_EQ(added.status, 0) << added.err;
  EXPECT_FALSE(node.Exists("pelix.fe"));
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
