#include "tools/config_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/temp_node.h"

namespace {

std::string Sample() {
  return BasicConfigText() +
         "[echo]\n"
         "tag = PELIX.TEST\n"
         "description = Test echo\n"
         "passthrough = 1\n"
         "link = 2:5020/1 receive send\n"
         "link = 2:5020/2.7@fidonet send\n"
         "[echo]\n"
         "tag = EMPTY\n"
         "[link]\n"
         "sysop_name = Uplink\n"
         "address = 2:5020/1\n"
         "areamgr_password = AM\n"
         "tic_password = TIC\n"
         "flavour = h\n"
         "passive = 1\n"
         "allow_autocreate = 1\n";
}

TEST(ConfigTool, WrittenFilesReadBackAndWriteAgainByteForByte) {
  TempNode first;
  RunResult write = RunProgram(PELIXCFG_BINARY, {"write", "-", first.dir()}, first.dir());
  EXPECT_NE(write.status, 0);  // "-" is no file: refused, not half-written

  first.WriteFile("node.txt", Sample());
  write = RunProgram(PELIXCFG_BINARY, {"write", "node.txt", "."}, first.dir());
  ASSERT_EQ(write.status, 0) << write.output;
  EXPECT_FALSE(first.Exists("pelix.ini"));  // none in the text: none made
  // pelix.ini goes along byte for byte: a BOM, CR LF and LF, a tab, quotes,
  // backslashes, a byte of another code page, no line end at the end.
  first.WriteFile("pelix.ini", "\xEF\xBB\xBF; \"options\"\r\n[uplink 2:5020/1]\r\n"
                               "password = a\\b\tc\xE9\n\nrobot = FileFix");
  RunResult dump = RunProgram(PELIXCFG_BINARY, {"dump", "."}, first.dir());
  ASSERT_EQ(dump.status, 0);

  TempNode second;
  second.WriteFile("node.txt", dump.output);
  ASSERT_EQ(RunProgram(PELIXCFG_BINARY, {"write", "node.txt"}, second.dir()).status, 0);
  for (const char* file : {"pelix.cfg", "pelix.ini", "pelix.dmn", "pelix.fe", "pelix.nod"}) {
    EXPECT_EQ(first.ReadFile(file), second.ReadFile(file)) << file;
  }
  // It holds the uplinks' passwords.
  struct stat ini;
  ASSERT_EQ(::stat(second.Path("pelix.ini").c_str(), &ini), 0);
  EXPECT_EQ(ini.st_mode & 0777, 0600u);
  EXPECT_EQ(first.ReadFile("pelix.cfg").size(), kMainConfigSize);
  EXPECT_EQ(first.ReadFile("pelix.nod").size(), kLinkRecordSize);
  EXPECT_EQ(first.ReadFile("pelix.fe").size(), 2 * kFileEchoHeaderSize + 2 * kEchoLinkEntrySize);

  ConfigText read = first.ReadConfig();
  ASSERT_EQ(read.echoes.size(), 2u);
  EXPECT_EQ(read.echoes[0].links[1].address, "2:5020/2.7@fidonet");
  EXPECT_EQ(read.echoes[0].links[1].receive, 0);
  EXPECT_EQ(read.links[0].flavour, 'h');
  EXPECT_EQ(read.config.utc_offset, 3);
}

TEST(ConfigTool, RejectsMistypedDescriptions) {
  ConfigText c;
  std::string error;
  EXPECT_FALSE(ParseConfigText("[config]\ninbond_dir = x\n", c, error));
  EXPECT_NE(error.find("line 2"), std::string::npos);
  EXPECT_FALSE(ParseConfigText("[nodes]\n", c, error));
  EXPECT_FALSE(ParseConfigText("inbound_dir = x\n", c, error));
  EXPECT_FALSE(ParseConfigText("[echo]\nlink = 1:2/3 sned\n", c, error));
  for (const char* ini : {"[ini]\nline = [pelix]\n", "[ini]\nlne = \"[pelix]\"\n",
                          "[ini]\n[ini]\n", "[ini]\nline = \"a\\c\"\nline = \"b\"\n"}) {
    EXPECT_FALSE(ParseConfigText(ini, c, error)) << ini;
  }
  EXPECT_TRUE(ParseConfigText("[ini]\n", c, error));
  EXPECT_EQ(c.ini, "");  // an empty pelix.ini, not none
  EXPECT_TRUE(ParseConfigText("# only a comment\n", c, error));
  EXPECT_EQ(c.config.version, 4);
}

TEST(ConfigTool, OlderVersionsCanBeWrittenForConversionTests) {
  ConfigText c;
  std::string error;
  ASSERT_TRUE(ParseConfigText("[config]\nversion = 3\n", c, error));
  TempNode node;
  ASSERT_TRUE(WriteConfigFiles(c, node.dir()));
  std::string cfg = node.ReadFile("pelix.cfg");
  EXPECT_EQ(cfg[6], 3);
  EXPECT_EQ(node.Run().status, 1);
}

}  // namespace
