#include "common/node_options.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

namespace {

NodeOptions Read(const std::string& text, std::vector<std::string>& warnings) {
  return ReadNodeOptionsFrom(IniDocument(text), "pelix.ini", warnings);
}

}  // namespace

TEST(NodeOptionsTest, MissingFileGivesTheDefaultsAndAWrittenOneIsPrivate) {
  TempNode node;
  std::string bytes = "left over";
  bool present = true;
  ASSERT_TRUE(platform::ReadFileIfPresent(platform::DefaultEnv(), node.Path("pelix.ini"), bytes,
                                          present, kNodeOptionsSizeLimit));
  EXPECT_FALSE(present);
  std::vector<std::string> warnings;
  NodeOptions options = ReadNodeOptionsFrom(IniDocument(bytes), "pelix.ini", warnings);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(options.dupe_days, 0);
  EXPECT_EQ(options.late_file_days, 14);
  EXPECT_EQ(options.rescan_limit, 100);
  EXPECT_FALSE(options.ForEcho("ANY").replaces);
  EXPECT_TRUE(options.uplinks.empty());

  // It holds the uplinks' passwords.
  IniDocument written("; ours\n[uplink 2:5020/1]\npassword = secret\n");
  ASSERT_TRUE(platform::RewriteFile(platform::DefaultEnv(), node.Path("pelix.ini"), written.Text(),
                                    platform::kPrivateFileMode));
  uint32_t mode = 0;
  ASSERT_TRUE(platform::DefaultEnv().ModeOf(node.Path("pelix.ini"), mode));
  EXPECT_EQ(mode, platform::kPrivateFileMode);
  ASSERT_TRUE(platform::ReadFileIfPresent(platform::DefaultEnv(), node.Path("pelix.ini"), bytes,
                                          present, kNodeOptionsSizeLimit));
  EXPECT_TRUE(present);
  EXPECT_EQ(IniDocument(bytes).Text(), written.Text());
}

// A file another user keeps to himself, or one on a failing disk, must not
// pass for a missing one: the caller reports it with the reason.
TEST(NodeOptionsTest, FileThatCannotBeReadIsAnErrorWithItsReason) {
  TempNode node;
  node.WriteFile("pelix.ini", "[pelix]\ndupe_days = 3\n");
  node.WriteFile("big.ini", "; " + std::string(kNodeOptionsSizeLimit, 'x') + "\n");
  FaultyEnv env;
  env.Fail(FaultyEnv::Op::kRead, 1, "pelix.ini", 1, EACCES);
  std::string bytes;
  bool present = false;
  EXPECT_FALSE(platform::ReadFileIfPresent(env, node.Path("pelix.ini"), bytes, present,
                                           kNodeOptionsSizeLimit));
  EXPECT_EQ(errno, EACCES);
  EXPECT_FALSE(platform::ReadFileIfPresent(env, node.Path("big.ini"), bytes, present,
                                           kNodeOptionsSizeLimit));
  EXPECT_EQ(errno, EFBIG);
  ASSERT_TRUE(platform::ReadFileIfPresent(env, node.Path("pelix.ini"), bytes, present,
                                          kNodeOptionsSizeLimit));
  std::vector<std::string> warnings;
  EXPECT_EQ(ReadNodeOptionsFrom(IniDocument(bytes), "pelix.ini", warnings).dupe_days, 3);
}

TEST(NodeOptionsTest, ReadsEveryKeyWithEchoFallbackAndOneUplinkPerSystem) {
  std::vector<std::string> warnings;
  NodeOptions options = Read(
      "[pelix]\nDupe_Days = 30\nlate_file_days = 0\nrescan_limit = 2147483647\n"
      "[echo *]\nreplaces = On\n"
      "[echo nodelist]\nreplaces = FALSE\n"
      "[echo FILES]\n; nothing of its own: [echo *] holds\n"
      "[uplink 2:5020/1@fidonet]\nrobot = FileFix\npassword = pw;#1\n"
      "echo_list = /var/spool/ftn/fareas.lst\nforward_requests = 1\n"
      "[uplink 1:2/3]\nrobot = AllFix\n"
      "[uplink 2:5020/1.0]\nrobot = Pelix\n",
      warnings);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(options.dupe_days, 30);
  EXPECT_EQ(options.late_file_days, 0);
  EXPECT_EQ(options.rescan_limit, 2147483647);
  EXPECT_FALSE(options.ForEcho("NODELIST").replaces);
  EXPECT_TRUE(options.ForEcho("files").replaces);
  EXPECT_TRUE(options.ForEcho("ANY.OTHER").replaces);

  ASSERT_EQ(options.uplinks.size(), 2u);
  const UplinkOptions& first = options.uplinks[0];
  EXPECT_EQ(first.address, (FidoAddress{2, 5020, 1, 0}));
  EXPECT_EQ(first.section, "uplink 2:5020/1.0");
  EXPECT_EQ(first.robot, "Pelix");
  EXPECT_EQ(first.password, "pw;#1");
  EXPECT_EQ(first.echo_list, "/var/spool/ftn/fareas.lst");
  EXPECT_TRUE(first.forward_requests);
  EXPECT_EQ(options.uplinks[1].robot, "AllFix");
  EXPECT_FALSE(options.uplinks[1].forward_requests);
  EXPECT_EQ(options.ForUplink({1, 2, 3, 0}), &options.uplinks[1]);
  EXPECT_EQ(options.ForUplink({1, 2, 4, 0}), nullptr);
}

TEST(NodeOptionsTest, EachUnknownOrUnreadableLineIsOneWarningAndKeepsTheDefault) {
  std::vector<std::string> warnings;
  NodeOptions options = Read(
      "stray = 1\n"
      "[pelix]\ndupe_days = ten\nlate_file_days = -1\nrescan_limit = 2147483648\n"
      "colour = blue\n"
      "[pelix\n"
      "[echo *]\nreplaces = maybe\n"
      "[echo]\nreplaces = yes\n"
      "[uplink 2:5020]\nrobot = Ignored\n"
      "[uplink 2:5020/1]\nrobot = " + std::string(36, 'R') + "\npassword = " +
          std::string(72, 's') + "\nforward_requests = sometimes\nareafix = yes\n"
      "[colours]\nbackground = blue\n",
      warnings);
  EXPECT_EQ(warnings,
            (std::vector<std::string>{
                "pelix.ini line 1: key stray outside any section, ignored",
                "pelix.ini line 3: can't read dupe_days = ten (a whole number of 0 or more), "
                "the default is used",
                "pelix.ini line 4: can't read late_file_days = -1 (a whole number of 0 or "
                "more), the default is used",
                "pelix.ini line 5: can't read rescan_limit = 2147483648 (a whole number of 0 "
                "or more), the default is used",
                "pelix.ini line 6: unknown key colour in [pelix], ignored",
                "pelix.ini line 7: no key = value, ignored",
                "pelix.ini line 9: can't read replaces = maybe (yes or no), the default is used",
                "pelix.ini line 10: unknown section [echo], ignored",
                "pelix.ini line 12: can't read the address of [uplink 2:5020], the section is "
                "ignored",
                "pelix.ini line 15: can't read robot = " + std::string(36, 'R') +
                    " (at most 35 characters), the default is used",
                "pelix.ini line 16: can't read password (at most 71 characters), the default "
                "is used",
                "pelix.ini line 17: can't read forward_requests = sometimes (yes or no), the "
                "default is used",
                "pelix.ini line 18: unknown key areafix in [uplink 2:5020/1], ignored",
                "pelix.ini line 19: unknown section [colours], ignored",
            }));
  EXPECT_EQ(options.dupe_days, 0);
  EXPECT_EQ(options.late_file_days, 14);
  EXPECT_EQ(options.rescan_limit, 100);
  EXPECT_FALSE(options.ForEcho("X").replaces);
  ASSERT_EQ(options.uplinks.size(), 1u);
  EXPECT_EQ(options.uplinks[0].robot, "");
  EXPECT_EQ(options.uplinks[0].password, "");
  EXPECT_FALSE(options.uplinks[0].forward_requests);
}

TEST(NodeOptionsTest, ValuesReadAsTheSysopWritesThem) {
  struct Case {
    const char* text;
    bool readable;
    bool on;
  };
  for (const Case& c : {Case{"yes", true, true}, Case{"YES", true, true}, Case{"1", true, true},
                        Case{"True", true, true}, Case{"on", true, true}, Case{"no", true, false},
                        Case{"0", true, false}, Case{"false", true, false},
                        Case{"OFF", true, false}, Case{"", false, false},
                        Case{"y", false, false}, Case{"2", false, false}}) {
    bool on = !c.on;
    EXPECT_EQ(ReadSwitchValue(c.text, on), c.readable) << c.text;
    if (c.readable) {
      EXPECT_EQ(on, c.on) << c.text;
    }
  }
  int count = -1;
  EXPECT_TRUE(ReadCountValue("0", count) && count == 0);
  EXPECT_TRUE(ReadCountValue("007", count) && count == 7);
  for (const char* bad : {"", "+1", "-1", "1.5", "12 days", "99999999999"})
    EXPECT_FALSE(ReadCountValue(bad, count)) << bad;
  for (const char* good : {"2:5020/1", "2:5020/1.5", "2:5020/1@fidonet", "65535:0/0.65535"})
    EXPECT_TRUE(IsAddressText(good)) << good;
  for (const char* bad : {"", "2:5020", "2:5020/", "2:5020/1.", "2:5020/1@", "2:5020/x",
                          "65536:1/1", "2:5020/1 ", "fidonet"})
    EXPECT_FALSE(IsAddressText(bad)) << bad;
}

// The example the package installs says it shows the defaults: it must
// read without a warning and agree with them.
TEST(NodeOptionsTest, ShippedExampleReadsCleanAndShowsTheDefaults) {
  std::string here = __FILE__;  // .../tests/common/node_options_test.cc
  std::string example = here.substr(0, here.rfind("/tests/")) + "/packaging/pelix.ini";
  std::string bytes;
  ASSERT_TRUE(platform::ReadWholeFile(platform::DefaultEnv(), example, bytes));
  std::vector<std::string> warnings;
  const NodeOptions options = ReadNodeOptionsFrom(IniDocument(bytes), "pelix.ini", warnings);
  EXPECT_EQ(warnings, std::vector<std::string>{});
  const NodeOptions defaults;
  EXPECT_EQ(options.dupe_days, defaults.dupe_days);
  EXPECT_EQ(options.late_file_days, defaults.late_file_days);
  EXPECT_EQ(options.rescan_limit, defaults.rescan_limit);
  EXPECT_EQ(options.every_echo.replaces, defaults.every_echo.replaces);
  EXPECT_TRUE(options.ForEcho("nodelist").replaces);
  ASSERT_EQ(options.uplinks.size(), 1u);
  EXPECT_EQ(options.uplinks[0].robot, "FileFix");
}
