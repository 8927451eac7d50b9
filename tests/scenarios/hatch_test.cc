// Files originated on this node by pelix-hatch: exported as an accepted file
// is, the original left alone, and the requests it refuses.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <fstream>
#include <regex>

#include "processor/tic/tic_reader.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/temp_node.h"
#include "tests/support/tic_arrival.h"

namespace {

using Lines = std::vector<std::string>;

const char kContents[] = "Hatched contents\r\n";

const char kTwoDownlinks[] =
    "[echo]\ntag = PELIX.HATCH\ndescription = Hatched files\n"
    "link = 2:5020/2 send\nlink = 2:5020/3 send\n"
    "[link]\naddress = 2:5020/2\ntic_password = TIC2\nflavour = c\n"
    "[link]\naddress = 2:5020/3\nflavour = h\n";

RunResult Hatch(const TempNode& node, const Lines& arguments) {
  return RunProgram(PELIX_HATCH_BINARY, arguments, node.dir());
}

Lines FlowLines(const std::string& text) {
  Lines lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 2;
  }
  return lines;
}

TEST(Hatch, FileGoesToQueueLinksAreaAndAnnounceAndStays) {
  TempNode node;
  node.MakeDir("ticout");
  node.MakeDir("work");
  node.WriteConfig(BasicConfigText() + kTwoDownlinks);
  node.WriteFile("work/NODELIST.Z01", kContents);
  node.WriteFile("ldesc.txt", "First long line\r\nSecond long line\n");
  RunResult r = Hatch(node, {"--ldesc-file", "ldesc.txt", "--replaces", "NODELIST.Z*",
                             "work/NODELIST.Z01", "pelix.hatch", "The nodelist"});
  // "NODELIST.Z*" is a wildcard: refused before anything is written.
  EXPECT_EQ(r.status, 8) << r.output;
  r = Hatch(node, {"--ldesc-file", "ldesc.txt", "--replaces", "NODELIST.Z00",
                   "work/NODELIST.Z01", "pelix.hatch", "The nodelist"});
  ASSERT_EQ(r.status, 0) << r.output;

  EXPECT_EQ(node.LogMessages(),
            (Lines{"! Can't hatch, the replaced name NODELIST.Z* holds a wildcard",
                   "* Hatching NODELIST.Z01 into PELIX.HATCH", "* Exported to 2:5020/2",
                   "* Exported to 2:5020/3"}));
  EXPECT_EQ(node.ReadFile("work/NODELIST.Z01"), kContents);
  EXPECT_EQ(node.ReadFile("queue/NODELIST.Z01"), kContents);
  // The sysop's next change to the hatched file, made in place, does not
  // reach the copy that waits for the links.
  std::ofstream(node.Path("work/NODELIST.Z01"), std::ios::trunc) << "changed";
  EXPECT_EQ(node.ReadFile("queue/NODELIST.Z01"), kContents);
  EXPECT_EQ(node.List("out"), (Lines{"139c0002.clo", "139c0003.hlo"}));
  const Lines crash = FlowLines(node.ReadFile("out/139c0002.clo"));
  const Lines hold = FlowLines(node.ReadFile("out/139c0003.hlo"));
  ASSERT_EQ(crash.size(), 2u);
  ASSERT_EQ(hold.size(), 2u);
  EXPECT_EQ(crash[0], node.dir() + "queue/NODELIST.Z01");
  EXPECT_EQ(hold[0], node.dir() + "queue/NODELIST.Z01");
  const std::string tic_prefix = "^" + node.dir();
  ASSERT_EQ(crash[1].rfind(tic_prefix, 0), 0u) << crash[1];
  ASSERT_EQ(hold[1].rfind(tic_prefix, 0), 0u) << hold[1];
  EXPECT_EQ(node.List("ticout").size(), 2u);

  const std::string body =
      "Area PELIX\\.HATCH\r\n"
      "Areadesc Hatched files\r\n"
      "Origin 2:5020/100\r\n"
      "From 2:5020/100\r\n"
      "File NODELIST\\.Z01\r\n"
      "Desc The nodelist\r\n"
      "Ldesc First long line\r\n"
      "Ldesc Second long line\r\n"
      "Crc " + CrcText(kContents) + "\r\n"
      "Replaces NODELIST\\.Z00\r\n"
      "Created by Pelix 1\\.02\r\n"
      "Path 2:5020/100 [0-9]+ [A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{1,2} "
      "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} UTC\\+0300\r\n"
      "Seenby 2:5020/2\r\n"
      "Seenby 2:5020/3\r\n"
      "Seenby 2:5020/100\r\n";
  const std::string sent = node.ReadFile(crash[1].substr(tic_prefix.size()));
  EXPECT_TRUE(std::regex_match(sent, std::regex(body + "Pw TIC2\r\n"))) << sent;
  const std::string held = node.ReadFile(hold[1].substr(tic_prefix.size()));
  EXPECT_TRUE(std::regex_match(held, std::regex(body))) << held;

  EXPECT_EQ(node.ReadFile("files/PELIX.HATCH/NODELIST.Z01"), kContents);
  EXPECT_EQ(node.ReadFile("files/PELIX.HATCH/FILES.BBS"), "NODELIST.Z01 The nodelist\r\n");
  EXPECT_EQ(node.ReadFile("announce/Announce.PELIX.HATCH"), " NODELIST.Z01 The nodelist\r\n");
  EXPECT_FALSE(node.Exists("pelix.bsy"));
}

// A long description line (an uploader's FILE_ID.DIZ) is wrapped into
// Ldesc lines a receiver reads whole: nothing of it is read there as a
// keyword line of its own.
TEST(Hatch, LongDescriptionLinesAreWrappedIntoWholeTicLines) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() + kTwoDownlinks);
  node.WriteFile("FILE.ZIP", kContents);
  const std::string word(300, 'w');
  node.WriteFile("diz.txt", std::string(248, ' ') + "File OTHER.ZIP\r\n" + word + "\r\n" +
                                "two words\r\n");
  RunResult r = Hatch(node, {"--ldesc-file", "diz.txt", "FILE.ZIP", "PELIX.HATCH"});
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string sent = node.ReadFile("out/139c0003.hlo");
  const std::string tic_path = FlowLines(sent)[1].substr(1);
  const std::string text = node.ReadFile(tic_path.substr(node.dir().size()));
  for (const std::string& line : FlowLines(text)) EXPECT_LE(line.size(), 254u) << line;
  TicRecord tic;
  ReadTicLines(text, tic);
  EXPECT_EQ(tic.file, "FILE.ZIP");
  EXPECT_EQ(tic.ldesc, (Lines{"", "File OTHER.ZIP", word.substr(0, 248), word.substr(248),
                              "two words"}));
}

// The very file hatched a second time is listed once, as the links get it
// once.
TEST(Hatch, SameFileHatchedTwiceIsListedOnce) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() + kTwoDownlinks);
  node.WriteFile("FILE.ZIP", kContents);
  for (int run = 0; run < 2; ++run) {
    RunResult r = Hatch(node, {"FILE.ZIP", "PELIX.HATCH", "Twice"});
    ASSERT_EQ(r.status, 0) << r.output;
  }
  EXPECT_EQ(node.ReadFile("files/PELIX.HATCH/FILES.BBS"), "FILE.ZIP     Twice\r\n");
  EXPECT_EQ(node.LogMessages().back(), "* FILE.ZIP is in FILES.BBS already");
  EXPECT_EQ(FlowLines(node.ReadFile("out/139c0002.clo")).size(), 2u);
}

// With no sender among the entries, an echo's one link gets the file too.
TEST(Hatch, EchoWithOneLinkStillExports) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() +
                   "[echo]\ntag = ONE\ndescription = One link\nlink = 2:5020/2 send\n"
                   "[link]\naddress = 2:5020/2\nflavour = c\n");
  node.WriteFile("FILE.ZIP", kContents);
  RunResult r = Hatch(node, {node.Path("FILE.ZIP"), "ONE"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(node.ReadFile("queue/FILE.ZIP"), kContents);
  EXPECT_EQ(FlowLines(node.ReadFile("out/139c0002.clo")).size(), 2u);
  EXPECT_EQ(node.ReadFile("FILE.ZIP"), kContents);
}

// In an echo with `replaces` on, the hatched file removes the one it
// replaces from the area, with its FILES.BBS entry.
TEST(Hatch, ReplacedFileLeavesTheAreaWhereTheEchoSaysSo) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() +
                   "[echo]\ntag = NODELIST\nlink = 2:5020/2 send\n"
                   "[link]\naddress = 2:5020/2\nflavour = c\n");
  node.WriteFile("pelix.ini", "[echo nodelist]\nreplaces = yes\n");
  node.WriteFile("files/NODELIST/NODELIST.Z00", "Last week's");
  node.WriteFile("files/NODELIST/FILES.BBS", "NODELIST.Z00 Last week's\r\n");
  node.WriteFile("NODELIST.Z01", kContents);
  RunResult r =
      Hatch(node, {"--replaces", "NODELIST.Z00", "NODELIST.Z01", "NODELIST", "The nodelist"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(node.LogMessages(),
            (Lines{"* Hatching NODELIST.Z01 into NODELIST", "* Exported to 2:5020/2",
                   "* Replacing NODELIST.Z00"}));
  EXPECT_EQ(node.List("files/NODELIST"), (Lines{"FILES.BBS", "NODELIST.Z01"}));
  EXPECT_EQ(node.ReadFile("files/NODELIST/FILES.BBS"), "NODELIST.Z01 The nodelist\r\n");
}

// The lines of the one TIC an echo with one link gets that start with
// "Desc" or "Ldesc".
Lines DescriptionLines(const TempNode& node) {
  Lines lines;
  const Lines tics = node.List("ticout");
  if (tics.size() != 1) return {"TICs made: " + std::to_string(tics.size())};
  for (const std::string& line : FlowLines(node.ReadFile("ticout/" + tics[0])))
    if (line.rfind("Desc", 0) == 0 || line.rfind("Ldesc", 0) == 0) lines.push_back(line);
  return lines;
}

TEST(Hatch, WithoutDescTheArchivesFileIdDizDescribesTheFile) {
  const std::string diz_zip = ArchiveBytes(
      ArchiveKind::kZip, {{"GAME.EXE", "MZ"}, {"file_id.diz", "Game of the year\r\nBy us\r\n"}});
  struct Case {
    const char* name;
    std::string bytes;
    Lines arguments;  // after FILE and AREA
    Lines description;
    std::string files_bbs;
    std::string said;  // the '!' line, if any
  };
  const Case cases[] = {
      {"GAME.ZIP", diz_zip, {}, {"Desc Game of the year", "Ldesc By us"},
       "GAME.ZIP     Game of the year\r\n", ""},
      {"GIVEN.ZIP", diz_zip, {"Given wins"}, {"Desc Given wins"}, "GIVEN.ZIP    Given wins\r\n",
       ""},
      {"LDESC.ZIP", diz_zip, {"--ldesc-file", "ldesc.txt"},
       {"Desc Game of the year", "Ldesc From the file"}, "LDESC.ZIP    Game of the year\r\n", ""},
      {"NODIZ.ZIP", ArchiveBytes(ArchiveKind::kZip, {{"GAME.EXE", "MZ"}}), {}, {"Desc "},
       "NODIZ.ZIP    \r\n", "! No FILE_ID.DIZ in NODIZ.ZIP, the description is empty"},
      {"README.TXT", "Game of the year\r\n", {}, {"Desc "}, "README.TXT   \r\n",
       "! No FILE_ID.DIZ in README.TXT (not an archive), the description is empty"},
  };
  for (const Case& c : cases) {
    TempNode node;
    node.MakeDir("ticout");
    node.WriteConfig(BasicConfigText() +
                     "[echo]\ntag = GAMES\nlink = 2:5020/2 send\n"
                     "[link]\naddress = 2:5020/2\nflavour = c\n");
    node.WriteFile(c.name, c.bytes);
    node.WriteFile("ldesc.txt", "From the file\n");
    Lines arguments = {c.name, "GAMES"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    RunResult r = Hatch(node, arguments);
    ASSERT_EQ(r.status, 0) << c.name << r.output;
    EXPECT_EQ(DescriptionLines(node), c.description) << c.name;
    EXPECT_EQ(node.ReadFile("files/GAMES/FILES.BBS"), c.files_bbs) << c.name;
    Lines said;
    for (const std::string& line : node.LogMessages())
      if (line[0] == '!') said.push_back(line);
    EXPECT_EQ(said, c.said.empty() ? Lines{} : Lines{c.said}) << c.name;
  }
}

TEST(Hatch, RefusesWithStatusAndNothingWritten) {
  struct Case {
    Lines arguments;
    bool busy;
    int status;
    std::string message;  // console text expected
  };
  const Case cases[] = {
      {{"FILE.ZIP", "NO.SUCH"}, false, 6, "Unknown fileecho NO.SUCH"},
      {{"FILE.ZIP", "../x"}, false, 8, "Can't hatch into ../x, the tag holds a path separator"},
      {{"FILES.BBS", "PELIX.HATCH"}, false, 8,
       "Can't hatch FILES.BBS, its name is the name of the area listing"},
      {{"MISSING.ZIP", "PELIX.HATCH"}, false, 9, "Can't hatch MISSING.ZIP, no such regular file"},
      {{"work", "PELIX.HATCH"}, false, 9, "Can't hatch work, no such regular file"},
      // What a receiver would read as lines of their own, or refuse.
      {{"FILE.ZIP", "PELIX.HATCH", std::string(249, 'd') + "Area EVIL.ECHO"}, false, 8,
       "Can't hatch, the description is too long for a TIC line"},
      {{std::string(250, 'N') + ".ZIP", "PELIX.HATCH"}, false, 8,
       "its name is too long for a TIC line"},
      {{"MY.TIC", "PELIX.HATCH"}, false, 8, "Can't hatch MY.TIC, its name ends in \".tic\""},
      {{"--ldesc-file", "newlines.txt", "FILE.ZIP", "PELIX.HATCH"}, false, 8,
       "Can't hatch, the TIC would have over 10000 Seenby, Path and Ldesc lines"},
      {{"FILE.ZIP", "PELIX.HATCH"}, true, 5, "Pelix is busy"},
      {{"FILE.ZIP"}, false, 3, "Usage: pelix-hatch"},
      // Root in a node that belongs to another user (the mailer's): what it
      // made, the mailer could not touch.
      {{"FILE.ZIP", "PELIX.HATCH", "A file"}, false, 10,
       "belongs to nobody; run as that user: sudo -u nobody pelix-hatch FILE.ZIP PELIX.HATCH "
       "'A file'"},
  };
  for (const Case& c : cases) {
    const bool foreign = c.status == 10;
    if (foreign && ::geteuid() != 0) continue;  // only root can hand the node to another user
    TempNode node;
    node.MakeDir("work");
    node.WriteConfig(BasicConfigText() + kTwoDownlinks);
    node.WriteFile("FILE.ZIP", kContents);
    node.WriteFile("FILES.BBS", kContents);
    node.WriteFile("newlines.txt", std::string(64 * 1024, '\n'));
    if (c.busy) node.WriteFile("pelix.bsy", "");
    const struct passwd* nobody = ::getpwnam("nobody");
    if (foreign) {
      ASSERT_TRUE(nobody && ::chown(node.dir().c_str(), nobody->pw_uid, nobody->pw_gid) == 0);
    }
    RunResult r = Hatch(node, c.arguments);
    EXPECT_EQ(r.status, c.status) << c.arguments[0] << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_EQ(node.Exists("pelix.bsy"), c.busy) << c.arguments[0];
    EXPECT_FALSE(node.Exists("queue/FILE.ZIP")) << c.arguments[0];
    EXPECT_FALSE(node.Exists("files")) << c.arguments[0];
    EXPECT_EQ(node.Exists("pelix.log"), !foreign && c.status != 3) << c.arguments[0];
  }
}

}  // namespace
