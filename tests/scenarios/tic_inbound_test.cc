// Arrived TICs checked by the real pelix: rejections into bad/, auto-created
// echoes, placement in the file area and the announce database.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "platform/platform.h"
#include "common/text_helpers.h"
#include "tests/support/faulty_env.h"
#include "tests/support/in_process_run.h"
#include "tests/support/temp_node.h"
#include "tests/support/tic_arrival.h"

namespace {

using Lines = std::vector<std::string>;

const char kEchoesAndLinks[] =
    "[echo]\ntag = PELIX.TEST\ndescription = Test echo\nlink = 2:5020/1 receive send\n"
    "[echo]\ntag = PELIX.PASS\npassthrough = 1\nlink = 2:5020/1 receive\n"
    "[echo]\ntag = NO.RECEIVE\nlink = 2:5020/1 send\n"
    "[echo]\ntag = OTHERS.ONLY\nlink = 2:5020/2 receive send\n"
    "[link]\naddress = 2:5020/1\ntic_password = TICPW\n"
    "[link]\naddress = 2:5020/2@fidonet\ntic_password = PW2\n"
    "[link]\naddress = 2:5020/9\nallow_autocreate = 1\n";

std::string NodeConfig() { return BasicConfigText() + kEchoesAndLinks; }

// An echo of two links: an accepted file is copied to the queue and
// forwarded.
std::string TwoLinksConfig() {
  return BasicConfigText() + "[echo]\ntag = PELIX.TEST\nlink = 2:5020/1 receive send\n"
         "link = 2:5020/2 send\n[link]\naddress = 2:5020/1\ntic_password = TICPW\n"
         "[link]\naddress = 2:5020/2\n";
}

const char kContents[] = "The file's contents\r\n";

// Log messages of the TIC handling, without the run's own lines.
Lines TicMessages(const TempNode& node) {
  Lines out;
  for (const std::string& m : node.LogMessages()) {
    if (m.rfind("^ No Netmail", 0) == 0) continue;
    out.push_back(m);
  }
  return out;
}

Lines Header(const std::string& area = "PELIX.TEST", const std::string& file = "FILE.ZIP",
             const std::string& from = "2:5020/1") {
  return {"* Processing A.TIC", "$ Area : " + area, "$ File : " + file, "$ From : " + from};
}

// The CR LF ended lines of a text.
Lines Split(const std::string& text) {
  Lines lines;
  for (size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
    lines.push_back(text.substr(pos, end - pos));
  return lines;
}

Lines Plus(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The processor time of the programs run and waited for so far.
double ChildCpuSeconds() {
  struct rusage usage {};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Counts the opens of TICs for reading, in memory that the run forked by
// RunPelixWith shares with the test.
class TicReadCounter : public FaultyEnv {
 public:
  TicReadCounter()
      : count_(static_cast<int*>(::mmap(nullptr, sizeof(int), PROT_READ | PROT_WRITE,
                                        MAP_SHARED | MAP_ANONYMOUS, -1, 0))) {
    *count_ = 0;
  }
  ~TicReadCounter() override { ::munmap(count_, sizeof(int)); }
  int reads() const { return *count_; }

  platform::FilePtr Open(const std::string& path, platform::OpenMode mode,
                         bool* exists = nullptr) override {
    using platform::OpenMode;
    const bool reads = mode == OpenMode::kRead || mode == OpenMode::kReadNoFollow;
    if (reads && path.size() > 4 && EqualsIgnoreCase(path.substr(path.size() - 4), ".tic"))
      ++*count_;
    return FaultyEnv::Open(path, mode, exists);
  }

 private:
  int* count_;
};

TEST(TicInbound, AcceptedFileIsPlacedListedAnnouncedAndClearedFromInbound) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents));
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(TicMessages(node), Header());
  EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILE.ZIP"), kContents);
  EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILES.BBS"), "FILE.ZIP     A test file\r\n");
  EXPECT_EQ(node.ReadFile("announce/Announce.PELIX.TEST"), " FILE.ZIP     A test file\r\n");
  EXPECT_EQ(node.List("in"), Lines{});
  // One link entry only: nothing to forward, so no queue copy.
  EXPECT_EQ(node.List("queue"), Lines{});
  EXPECT_FALSE(node.Exists("bad"));
}

TEST(TicInbound, EveryRejectionIsLoggedAndMovesTicAndFileToBadTics) {
  const std::string contents = kContents;
  const Lines good = TicLines("FILE.ZIP", contents);
  // A file whose CRC starts with a zero digit, to show that the Crc value
  // is compared as text.
  std::string zero_led;
  for (int i = 0; zero_led.empty(); ++i) {
    std::string candidate = "file " + std::to_string(i);
    if (Crc32Of(candidate) < 0x10000000u) zero_led = candidate;
  }
  std::string short_crc = CrcText(zero_led).substr(1);
  Lines too_big = good, too_many = good;
  while (TicText(too_big).size() <= (1u << 20)) too_big.push_back("Ldesc " + std::string(240, 'x'));
  too_many.insert(too_many.end(), 10000, "Seenby 2:5020/1");
  // A TIC whose sender is not a link with that password moves alone: the
  // file may be one that waits for its own TIC.
  const bool alone = true;
  const struct {
    const char* what;
    Lines lines;
    std::string contents;
    Lines log;
    bool tic_alone = false;
  } cases[] = {
      {"bad crc", WithLine(good, "Crc", "Crc 12345678"), contents, {"! Bad CRC32"}},
      {"crc without leading zero", WithLine(TicLines("FILE.ZIP", zero_led), "Crc", "Crc " + short_crc),
       zero_led, {"! Bad CRC32"}},
      {"bad crc from a stranger",
       WithLine(WithLine(good, "Crc", "Crc 12345678"), "From", "From 2:5020/7"), contents,
       {"! Bad CRC32"}, alone},
      {"unknown sender", WithLine(good, "From", "From 2:5020/7"), contents, {"! Unknown From Node"},
       alone},
      {"wrong password", WithLine(good, "Pw", "Pw OTHER"), contents, {"! Password mismatch"}, alone},
      {"missing password", WithLine(good, "Pw", ""), contents, {"! Password mismatch"}, alone},
      {"unknown echo", WithLine(good, "Area", "Area NO.SUCH.ECHO"), contents,
       {"& Auto create for this node is not allowed."}},
      {"sender not in echo", WithLine(good, "Area", "Area OTHERS.ONLY"), contents, {}},
      {"sender may not send", WithLine(good, "Area", "Area NO.RECEIVE"), contents, {}},
      {"over 1 MiB", too_big, contents, {"! TIC too big, over 1048576 bytes"}},
      {"over 10000 list lines", too_many, contents,
       {"! Too many Seenby, Path and Ldesc lines in TIC, over 10000"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempNode node;
    node.WriteConfig(NodeConfig());
    DropArrival(node, "A.TIC", "FILE.ZIP", c.contents, c.lines);
    RunResult r = node.Run();
    EXPECT_EQ(r.status, 0) << r.output;
    Lines expected_log = Plus(Header(c.lines[0].substr(5), "FILE.ZIP",
                                     std::find_if(c.lines.begin(), c.lines.end(), [](auto& l) {
                                       return l.rfind("From ", 0) == 0;
                                     })->substr(5)),
                              c.log);
    expected_log.push_back("* Moving TIC to Bad Tics");
    // The right to send is the one check whose message follows the move.
    if (c.log.empty()) expected_log.push_back("& This node can't send files to this fileecho");
    EXPECT_EQ(TicMessages(node), expected_log);
    if (c.tic_alone) {
      EXPECT_EQ(BadTics(node), Lines{"A.TIC"});
      EXPECT_EQ(node.List("in"), Lines{"FILE.ZIP"});
    } else {
      EXPECT_EQ(BadTics(node), (Lines{"A.TIC", "FILE.ZIP"}));
      EXPECT_EQ(node.ReadFile("bad/FILE.ZIP"), c.contents);
      EXPECT_EQ(node.List("in"), Lines{});
    }
    EXPECT_FALSE(node.Exists("files"));
    EXPECT_FALSE(node.Exists("announce"));
  }
}

TEST(TicInbound, MissingFileMovesOnlyTheTic) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  DropArrival(node, "A.TIC", "", "", TicLines("FILE.ZIP", kContents));
  // A directory of that name is not the file.
  node.MakeDir("in/FILE.ZIP");
  node.Run();
  EXPECT_EQ(TicMessages(node), Plus(Header(), {"! File Missing", "* Moving TIC to Bad Tics"}));
  EXPECT_EQ(BadTics(node), Lines{"A.TIC"});
  EXPECT_EQ(node.List("in"), Lines{"FILE.ZIP"});
}

TEST(TicInbound, EmptyFileValueIsMissingAndLeavesTheInboundInPlace) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  node.WriteFile("in/OTHER.ZIP", "another arrival");
  DropArrival(node, "A.TIC", "", "", WithLine(TicLines("X", kContents), "File", "File"));
  node.Run();
  EXPECT_EQ(TicMessages(node), Plus(Header("PELIX.TEST", ""), {"! File Missing", "* Moving TIC to Bad Tics"}));
  EXPECT_EQ(BadTics(node), Lines{"A.TIC"});
  EXPECT_EQ(node.List("in"), Lines{"OTHER.ZIP"});
}

TEST(TicInbound, UnsafeFileOrAreaIsRejectedWithoutTouchingAnythingOutside) {
  const struct {
    std::string area;
    std::string file;
    std::string message;
    Lines bad;
  } cases[] = {
      {"PELIX.TEST", "../SECRET.TXT", "! Unsafe File name in TIC, it holds a path separator", {"A.TIC"}},
      {"PELIX.TEST", "..", "! Unsafe File name in TIC, it holds \"..\"", {"A.TIC"}},
      {"PELIX.TEST", "in\\..\\SECRET.TXT", "! Unsafe File name in TIC, it holds a path separator", {"A.TIC"}},
      {"PELIX.TEST", "C:SECRET.TXT", "! Unsafe File name in TIC, it holds a drive or device colon", {"A.TIC"}},
      {"PELIX.TEST", "SECRET\x01.TXT", "! Unsafe File name in TIC, it holds a control character", {"A.TIC"}},
      {"PELIX.TEST", "*", "! Unsafe File name in TIC, it holds a wildcard", {"A.TIC"}},
      {"PELIX.TEST", "files.bbs", "! Unsafe File name in TIC, it is the name of the area listing", {"A.TIC"}},
      // Downstream, the file would be taken for a TIC.
      {"PELIX.TEST", "MY.TIC", "! Unsafe File name in TIC, it ends in \".tic\"", {"A.TIC"}},
      {"", "FILE.ZIP", "! Unsafe Area tag in TIC, it is empty", {"A.TIC", "FILE.ZIP"}},
      {"../..", "FILE.ZIP", "! Unsafe Area tag in TIC, it holds a path separator", {"A.TIC", "FILE.ZIP"}},
      {"..", "FILE.ZIP", "! Unsafe Area tag in TIC, it holds \"..\"", {"A.TIC", "FILE.ZIP"}},
      {"X/../../..", "FILE.ZIP", "! Unsafe Area tag in TIC, it holds a path separator", {"A.TIC", "FILE.ZIP"}},
      {"AUX:", "FILE.ZIP", "! Unsafe Area tag in TIC, it holds a drive or device colon", {"A.TIC", "FILE.ZIP"}},
      {"A\x1b[2J", "FILE.ZIP", "! Unsafe Area tag in TIC, it holds a control character", {"A.TIC", "FILE.ZIP"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message + " " + c.area + " " + c.file);
    TempNode node;
    // The sender may create echoes, so an unsafe tag would otherwise be
    // created, placed and announced.
    node.WriteConfig(NodeConfig());
    node.WriteFile("SECRET.TXT", kContents);
    node.WriteFile("in/FILE.ZIP", kContents);
    Lines lines = WithLine(TicLines(c.file, kContents, c.area), "From", "From 2:5020/9");
    node.WriteFile("in/A.TIC", TicText(WithLine(lines, "Pw", "")));
    const Lines before = node.List("");
    RunResult r = node.Run();
    EXPECT_EQ(r.status, 0) << r.output;
    Lines log = TicMessages(node);
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log[4], c.message);
    EXPECT_EQ(log[5], "* Moving TIC to Bad Tics");
    EXPECT_EQ(log.size(), 6u);
    EXPECT_EQ(BadTics(node), c.bad);
    EXPECT_EQ(node.ReadFile("SECRET.TXT"), kContents);
    Lines after = node.List("");
    for (const char* made : {"bad", "pelix.log"})
      after.erase(std::remove(after.begin(), after.end(), made), after.end());
    EXPECT_EQ(after, before);
    EXPECT_EQ(node.ReadConfig().echoes.size(), 4u);
  }
}

TEST(TicInbound, ControlCharactersAreNotWrittenIntoTheLog) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  // A line feed in a TIC's name would write a line of its own.
  DropArrival(node, "A\nB.TIC", "FILE.ZIP", kContents,
              WithLine(TicLines("FILE.ZIP", kContents), "Area", "Area EVIL\x1b[2J\x07" "ECHO"));
  RunResult r = node.Run();
  Lines log = TicMessages(node);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "* Processing A?B.TIC");
  EXPECT_EQ(log[1], "$ Area : EVIL?[2J?ECHO");
  EXPECT_NE(r.output.find("Processing A?B.TIC\n"), std::string::npos) << r.output;
}

TEST(TicInbound, EchoDirectoryThatIsAFileMakesABadTicAndTheRunGoesOn) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  node.WriteFile("files/X.ZIP", "a file where the echo directory would go");
  Lines lines = WithLine(TicLines("A.ZIP", kContents, "x.zip"), "From", "From 2:5020/9");
  DropArrival(node, "A.TIC", "A.ZIP", kContents, WithLine(lines, "Pw", ""));
  DropArrival(node, "B.TIC", "B.ZIP", kContents, TicLines("B.ZIP", kContents));
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0) << r.output;
  Lines log = TicMessages(node);
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(log[4], "! Echo directory files/x.zip is not a directory");
  EXPECT_EQ(log[5], "* Moving TIC to Bad Tics");
  EXPECT_EQ(BadTics(node), (Lines{"A.TIC", "A.ZIP"}));
  EXPECT_EQ(node.ReadConfig().echoes.size(), 4u);
  EXPECT_EQ(node.ReadFile("files/PELIX.TEST/B.ZIP"), kContents);
  EXPECT_EQ(node.List("in"), Lines{});
}

TEST(TicInbound, OnlyRegularFilesAreTakenFromTheInbound) {
  const struct {
    const char* what;
    bool fifo;
    const char* target;
  } cases[] = {{"link to a secret", false, "../SECRET.TXT"},
               {"dangling link", false, "no-such-file"},
               {"fifo", true, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempNode node;
    node.WriteConfig(TwoLinksConfig());
    node.WriteFile("SECRET.TXT", kContents);
    DropArrival(node, "A.TIC", "", "", TicLines("FILE.ZIP", kContents));
    if (c.fifo) {
      ASSERT_EQ(::mkfifo(node.Path("in/FILE.ZIP").c_str(), 0600), 0);
    } else {
      ASSERT_EQ(::symlink(c.target, node.Path("in/FILE.ZIP").c_str()), 0);
    }
    // A linked TIC is not read either.
    node.WriteFile("OUTSIDE.TIC", TicText(TicLines("C.ZIP", kContents)));
    node.WriteFile("in/C.ZIP", kContents);
    ASSERT_EQ(::symlink("../OUTSIDE.TIC", node.Path("in/B.TIC").c_str()), 0);
    RunResult r = node.Run();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(TicMessages(node), Plus(Header(), {"! File Missing", "* Moving TIC to Bad Tics",
                                                 "* Processing B.TIC", "! Can't open in/B.TIC"}));
    EXPECT_EQ(node.List("in"), (Lines{"B.TIC", "C.ZIP", "FILE.ZIP"}));
    EXPECT_EQ(BadTics(node), Lines{"A.TIC"});
    EXPECT_FALSE(node.Exists("queue/FILE.ZIP"));
    EXPECT_FALSE(node.Exists("out"));
  }
}

TEST(TicInbound, RejectedTicLeavesAFileThatAnotherTicNeeds) {
  const struct {
    const char* forged;
    const char* file;
  } cases[] = {{"From 2:5020/7", "FILE.ZIP"},
               {"Pw STOLEN", "FILE.ZIP"},
               // Its "file" is the real TIC itself.
               {"From 2:5020/7", "B.TIC"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.forged) + " " + c.file);
    TempNode node;
    node.WriteConfig(NodeConfig());
    const Lines good = TicLines("FILE.ZIP", kContents);
    const std::string forged = c.forged;
    // Without a Crc line the computed one is taken, so the forgery gets as
    // far as the sender checks.
    Lines lines = WithLine(WithLine(good, "File", std::string("File ") + c.file), "Crc", "");
    lines = WithLine(lines, forged.substr(0, forged.find(' ')), forged);
    node.WriteFile("in/A.TIC", TicText(lines));
    DropArrival(node, "B.TIC", "FILE.ZIP", kContents, good);
    node.Run();
    EXPECT_EQ(BadTics(node), Lines{"A.TIC"});
    EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILE.ZIP"), kContents);
    EXPECT_EQ(node.List("in"), Lines{});
  }
}

// The file came first; a stranger's TIC naming it is refused and leaves it
// for the link's own TIC, which comes later.
TEST(TicInbound, StrangersTicLeavesAFileThatArrivedBeforeItsOwnTic) {
  const Lines good = TicLines("FILE.ZIP", kContents);
  const Lines forged[] = {WithLine(WithLine(good, "From", "From 2:5020/7"), "Crc", ""),
                          WithLine(WithLine(good, "Pw", "Pw STOLEN"), "Crc", "")};
  for (const Lines& lines : forged) {
    SCOPED_TRACE(lines[2] + " " + lines.back());
    TempNode node;
    node.WriteConfig(NodeConfig());
    DropArrival(node, "A.TIC", "FILE.ZIP", kContents, lines);
    node.Run();
    EXPECT_EQ(BadTics(node), Lines{"A.TIC"});
    node.WriteFile("in/B.TIC", TicText(good));
    node.Run();
    EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILE.ZIP"), kContents);
    EXPECT_EQ(node.List("in"), Lines{});
  }
}

TEST(TicInbound, AcceptedVariantsOfCrcAddressAndPassword) {
  const Lines good = TicLines("FILE.ZIP", kContents);
  std::string lower = CrcText(kContents);
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  const struct {
    const char* what;
    Lines lines;
  } cases[] = {
      {"crc in small letters", WithLine(good, "Crc", "Crc " + lower)},
      {"no crc line", WithLine(good, "Crc", "")},
      {"sender with domain", WithLine(good, "From", "From 2:5020/1@fidonet")},
      {"sender as point zero", WithLine(good, "From", "From 2:5020/1.0")},
      {"password in other case", WithLine(good, "Pw", "Pw ticpw")},
      {"tag in other case", WithLine(good, "Area", "Area pelix.test")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempNode node;
    node.WriteConfig(NodeConfig());
    DropArrival(node, "A.TIC", "FILE.ZIP", kContents, c.lines);
    node.Run();
    EXPECT_FALSE(node.Exists("bad"));
    EXPECT_EQ(node.List("in"), Lines{});
    EXPECT_EQ(node.List("announce").size(), 1u);
  }
}

// Whatever letter case the TIC uses, the echo's directory and announce
// file are named as the configuration spells the tag, where a BBS
// configured with it finds them.
TEST(TicInbound, TagInOtherCaseLandsWhereTheConfigurationSpellsIt) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents,
              WithLine(TicLines("FILE.ZIP", kContents), "Area", "Area Pelix.Test"));
  node.Run();
  EXPECT_EQ(node.List("files"), Lines{"PELIX.TEST"});
  EXPECT_EQ(node.List("announce"), Lines{"Announce.PELIX.TEST"});
}

TEST(TicInbound, EmptyPasswordMatchesOnlyAnEmptyOne) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  // 2:5020/9 has no TIC password: a TIC with one is refused.
  Lines lines = WithLine(TicLines("FILE.ZIP", kContents, "NEW.ECHO"), "From", "From 2:5020/9");
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents, WithLine(lines, "Pw", "Pw TICPW"));
  node.Run();
  EXPECT_EQ(TicMessages(node),
            Plus(Header("NEW.ECHO", "FILE.ZIP", "2:5020/9"), {"! Password mismatch", "* Moving TIC to Bad Tics"}));
}

TEST(TicInbound, UnknownEchoFromAllowedLinkIsCreatedAndAppendedToPelixFe) {
  const struct {
    const char* areadesc;
    const char* description;
  } cases[] = {{"", "Automaticaly added area"}, {"Areadesc Brand new echo", "Brand new echo"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    TempNode node;
    node.WriteConfig(NodeConfig());
    const std::string fe_before = node.ReadFile("pelix.fe");
    Lines lines = WithLine(TicLines("FILE.ZIP", kContents, "New.Echo"), "From", "From 2:5020/9@fidonet");
    lines = WithLine(lines, "Pw", "");
    if (*c.areadesc) lines.push_back(c.areadesc);
    DropArrival(node, "A.TIC", "FILE.ZIP", kContents, lines);
    node.Run();
    EXPECT_EQ(TicMessages(node), Plus(Header("New.Echo", "FILE.ZIP", "2:5020/9@fidonet"),
                                      {"& Autocreated filecho New.Echo"}));
    // Appended: the records before it are untouched.
    const std::string fe_after = node.ReadFile("pelix.fe");
    EXPECT_EQ(fe_after.substr(0, fe_before.size()), fe_before);
    ConfigText config = node.ReadConfig();
    ASSERT_EQ(config.echoes.size(), 5u);
    const FileEchoRecord& echo = config.echoes.back();
    EXPECT_EQ(echo.tag, "New.Echo");
    EXPECT_EQ(echo.description, c.description);
    EXPECT_EQ(echo.passthrough, 0);
    EXPECT_EQ(echo.links, (std::vector<EchoLinkEntry>{{"2:5020/9@fidonet", 1, 0}}));
    EXPECT_EQ(node.ReadFile("files/New.Echo/FILE.ZIP"), kContents);
    EXPECT_EQ(node.ReadFile("announce/Announce.New.Echo"), " FILE.ZIP     A test file\r\n");
    EXPECT_EQ(node.List("ticout"), Lines{});
    EXPECT_EQ(node.List("in"), Lines{});
  }
}

TEST(TicInbound, SecondTicOfANewEchoInTheSameRunFindsIt) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  for (const char* name : {"A", "B"}) {
    Lines lines = WithLine(TicLines(std::string(name) + ".ZIP", kContents, "NEW.ECHO"), "From",
                           "From 2:5020/9");
    DropArrival(node, std::string(name) + ".TIC", std::string(name) + ".ZIP", kContents,
                WithLine(lines, "Pw", ""));
  }
  node.Run();
  EXPECT_EQ(node.ReadConfig().echoes.size(), 5u);
  EXPECT_EQ(node.ReadFile("files/NEW.ECHO/FILES.BBS"), "A.ZIP        A test file\r\nB.ZIP        A test file\r\n");
  EXPECT_EQ(node.ReadFile("announce/Announce.NEW.ECHO"),
            " A.ZIP        A test file\r\n B.ZIP        A test file\r\n");
}

TEST(TicInbound, PassThroughEchoIsAnnouncedButNotPlaced) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents, "PELIX.PASS"));
  node.Run();
  EXPECT_EQ(TicMessages(node), Header("PELIX.PASS"));
  EXPECT_FALSE(node.Exists("files"));
  EXPECT_EQ(node.ReadFile("announce/Announce.PELIX.PASS"), " FILE.ZIP     A test file\r\n");
  EXPECT_EQ(node.List("in"), Lines{});
}

TEST(TicInbound, TicWhoseNameIsTakenInBadTicsStaysForTheNextRun) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  node.WriteFile("bad/A.TIC", "an earlier rejected TIC");
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents,
              WithLine(TicLines("FILE.ZIP", kContents), "Area", "Area NO.SUCH.ECHO"));
  node.Run();
  EXPECT_EQ(node.List("in"), Lines{"A.TIC"});
  EXPECT_EQ(node.ReadFile("bad/A.TIC"), "an earlier rejected TIC");
  EXPECT_EQ(BadTics(node), (Lines{"A.TIC", "FILE.ZIP"}));
}

TEST(TicInbound, UnreadableTicStaysWhereItIs) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  node.MakeDir("in");
  ASSERT_EQ(::symlink("no-such-target", node.Path("in/A.TIC").c_str()), 0);
  node.Run();
  EXPECT_EQ(TicMessages(node), (Lines{"* Processing A.TIC", "! Can't open in/A.TIC"}));
  EXPECT_EQ(node.List("in"), Lines{"A.TIC"});
  EXPECT_FALSE(node.Exists("bad"));
}

TEST(TicInbound, TicRefusedForItsMissingFileIsRetriedWhenTheFileArrives) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  DropArrival(node, "A.TIC", "", "", TicLines("FILE.ZIP", kContents));
  DropArrival(node, "B.TIC", "OTHER.ZIP", kContents,
              WithLine(TicLines("OTHER.ZIP", kContents), "Pw", "Pw WRONG"));
  node.Run();
  const Lines index = Split(node.ReadFile("bad/" + std::string(kBadTicIndexName)));
  ASSERT_EQ(index.size(), 2u);
  EXPECT_TRUE(index[0].starts_with("A.TIC\tFile Missing\t")) << index[0];
  EXPECT_TRUE(index[1].starts_with("B.TIC\tPassword mismatch\t")) << index[1];
  const int64_t moved = std::stoll(index[0].substr(index[0].rfind('\t') + 1));
  EXPECT_LE(std::abs(platform::DefaultEnv().UtcSeconds() - moved), 60);

  // Both files arrive: only the TIC that waited for its file is handled.
  const size_t first_run = TicMessages(node).size();
  node.WriteFile("in/FILE.ZIP", kContents);
  node.WriteFile("in/OTHER.ZIP", kContents);
  node.Run();
  const Lines log = TicMessages(node);
  EXPECT_EQ(Lines(log.begin() + first_run, log.end()),
            Plus({"* Retrying A.TIC, its file has arrived"}, Header()));
  EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILE.ZIP"), kContents);
  // A TIC with a wrong password leaves its file in the inbound.
  EXPECT_EQ(BadTics(node), Lines{"B.TIC"});
  EXPECT_EQ(node.List("in"), Lines{"OTHER.ZIP"});
}

// A link's TIC refused for its file is retried when a file that is its own
// (by length and CRC-32) arrives, under its name or renamed by the mailer;
// a stranger's file of that name does not make it fail again for good.
TEST(TicInbound, OnlyRecentFileMissingTicsAreRetried) {
  const int64_t day = 24 * 60 * 60;
  const int64_t now = platform::DefaultEnv().UtcSeconds();
  const std::string recent = Format("A.TIC\tFile Missing\t%lld\r\n", (long long)now);
  const struct {
    const char* what;
    std::string index;
    bool retried;
    std::string arrival = "FILE.ZIP";
    std::string contents = kContents;
    Lines tic = TicLines("FILE.ZIP", kContents);
    Lines log = {};  // after the header of a retried TIC
    std::string ini = "";  // pelix.ini
  } cases[] = {
      {"13 days ago", Format("A.TIC\tFile Missing\t%lld\r\n", (long long)(now - 13 * day)), true},
      {"later line wins", Format("A.TIC\tPassword mismatch\t%lld\r\nA.TIC\tFile Missing\t%lld\r\n",
                                 (long long)now, (long long)now), true},
      {"15 days ago", Format("A.TIC\tFile Missing\t%lld\r\n", (long long)(now - 15 * day)), false},
      {"15 days ago, waiting 20", Format("A.TIC\tFile Missing\t%lld\r\n", (long long)(now - 15 * day)),
       true, "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents), {},
       "[pelix]\nlate_file_days = 20\n"},
      {"13 days ago, waiting 10", Format("A.TIC\tFile Missing\t%lld\r\n", (long long)(now - 13 * day)),
       false, "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents), {},
       "[pelix]\nlate_file_days = 10\n"},
      {"other reason", Format("A.TIC\tPassword mismatch\t%lld\r\n", (long long)now), false},
      {"no index", "", false},
      {"damaged line", Format("A.TIC\tFile Missing\t%lld\tX\r\nA.TIC\tFile Mis", (long long)now),
       false},
      {"renamed by the mailer", recent, true, "FILE.ZIP.1", kContents,
       TicLines("FILE.ZIP", kContents), {"* Using FILE.ZIP.1 for FILE.ZIP"}},
      {"a stranger's file of that name", recent, false, "FILE.ZIP", "a stranger's junk"},
      {"its own file after a stranger's",
       Format("A.TIC\tBad CRC32\t%lld\r\n", (long long)now), true},
      {"a stranger's TIC", recent, false, "FILE.ZIP", kContents,
       WithLine(TicLines("FILE.ZIP", kContents), "From", "From 2:5020/7")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempNode node;
    node.WriteConfig(NodeConfig());
    node.WriteFile("bad/A.TIC", TicText(c.tic));
    if (!c.index.empty()) node.WriteFile("bad/" + std::string(kBadTicIndexName), c.index);
    if (!c.ini.empty()) node.WriteFile("pelix.ini", c.ini);
    node.WriteFile("in/" + c.arrival, c.contents);
    node.Run();
    if (c.retried) {
      EXPECT_EQ(TicMessages(node),
                Plus(Plus({"* Retrying A.TIC, its file has arrived"}, Header()), c.log));
      EXPECT_EQ(BadTics(node), Lines{});
      EXPECT_EQ(node.List("in"), Lines{});
    } else {
      EXPECT_EQ(TicMessages(node), Lines{"^ No TIC files found"});
      EXPECT_EQ(BadTics(node), Lines{"A.TIC"});
      EXPECT_EQ(node.List("in"), Lines{c.arrival});
    }
  }
}

// The index of Bad Tics drops what is of no more use, is read from its end
// when it grew too big, and says so when it cannot be read; a File that
// would replace it is refused.
TEST(TicInbound, BadTicIndexStaysBoundedAndSaysWhenItCannotBeUsed) {
  const int64_t now = platform::DefaultEnv().UtcSeconds();
  const std::string index = "bad/" + std::string(kBadTicIndexName);
  const std::string waiting = Format("A.TIC\tFile Missing\t%lld\r\n", (long long)now);
  std::string old;
  for (int i = 0; old.size() <= (16u << 20); ++i)
    old += Format("OLD%07d.TIC\tFile Missing\t%lld\r\n", i, (long long)(now - 20 * 86400));
  const struct {
    const char* what;
    bool link;
    std::string before;
    Lines log;
    std::string after;
  } cases[] = {
      {"over 16 MiB", false, old + waiting,
       {Format("! %s is over 16777216 bytes, only its last lines are read", index.c_str())},
       waiting},
      {"a symbolic link", true, "",
       {"! Can't read " + index + ", no TIC there is retried: Too many levels of symbolic links"},
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempNode node;
    node.WriteConfig(NodeConfig());
    node.WriteFile("bad/A.TIC", TicText(TicLines("FILE.ZIP", kContents)));
    node.WriteFile("elsewhere.txt", waiting);
    if (c.link) {
      ASSERT_EQ(::symlink("../elsewhere.txt", node.Path(index).c_str()), 0);
    } else {
      node.WriteFile(index, c.before);
    }
    node.Run();
    EXPECT_EQ(TicMessages(node), Plus(c.log, {"^ No TIC files found"}));
    if (!c.link) {
      EXPECT_EQ(node.ReadFile(index), c.after);
    }
  }
  // A TIC whose name is not indexed cannot make its file the index.
  TempNode node;
  node.WriteConfig(NodeConfig());
  node.WriteFile("bad/A.TIC", TicText(TicLines("FILE.ZIP", kContents)));
  node.WriteFile(index, waiting);
  DropArrival(node, "A\x01.TIC", "BADTICS.IDX", "forged", TicLines("BADTICS.IDX", "forged"));
  node.Run();
  EXPECT_EQ(node.ReadFile(index), waiting);
  EXPECT_EQ(node.List("in"), Lines{"BADTICS.IDX"});
}

TEST(TicInbound, FileTheMailerRenamedIsFoundByItsCrc) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> inbound;  // name, contents
    const char* used;  // nullptr: refused with `refusal`
    const char* refusal;
    Lines left;
    Lines aside = {};  // the other numbered copies, in Bad Tics
  } cases[] = {
      {"missing, first copy", {{"FILE.ZIP.1", kContents}}, "FILE.ZIP.1", "", {}},
      {"other crc, a later copy",
       {{"FILE.ZIP", "another file"}, {"FILE.ZIP.1", "a third file"}, {"FILE.ZIP.12", kContents}},
       "FILE.ZIP.12", "", {"FILE.ZIP"}, {"FILE.ZIP.1"}},
      {"copy with another crc", {{"FILE.ZIP.1", "another file"}}, nullptr, "! File Missing",
       {"FILE.ZIP.1"}},
      {"not a number", {{"FILE.ZIP.1a", kContents}, {"FILE.ZIP.", kContents}}, nullptr,
       "! File Missing", {"FILE.ZIP.", "FILE.ZIP.1a"}},
      {"named file bad, copy bad", {{"FILE.ZIP", "another file"}, {"FILE.ZIP.1", "a third file"}},
       nullptr, "! Bad CRC32", {"FILE.ZIP.1"}},
      {"link to the right file", {{"RIGHT", kContents}}, nullptr, "! File Missing",
       {"FILE.ZIP.1", "RIGHT"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempNode node;
    node.WriteConfig(TwoLinksConfig());
    for (const auto& [name, contents] : c.inbound) node.WriteFile("in/" + name, contents);
    if (c.inbound[0].first == "RIGHT") {
      ASSERT_EQ(::symlink("RIGHT", node.Path("in/FILE.ZIP.1").c_str()), 0);
    }
    DropArrival(node, "A.TIC", "", "", TicLines("FILE.ZIP", kContents));
    node.Run();
    const Lines log = TicMessages(node);
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(Lines(log.begin(), log.begin() + 4), Header());
    EXPECT_EQ(node.List("in"), c.left);
    if (c.used) {
      EXPECT_EQ(log[4], "* Using " + std::string(c.used) + " for FILE.ZIP");
      EXPECT_EQ(node.ReadFile("queue/FILE.ZIP"), kContents);
      EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILE.ZIP"), kContents);
      EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILES.BBS"), "FILE.ZIP     A test file\r\n");
      EXPECT_EQ(node.List("ticout").size(), 1u);
      EXPECT_EQ(BadTics(node), c.aside);
    } else {
      EXPECT_EQ(Lines(log.begin() + 4, log.end()), (Lines{c.refusal, "* Moving TIC to Bad Tics"}));
      EXPECT_FALSE(node.Exists("queue/FILE.ZIP"));
      EXPECT_FALSE(node.Exists("files"));
    }
  }
}

// A numbered copy is looked for only for a link's TIC, and only when the
// file under the TIC's name is not its own; a Size line that a file's
// length is not rules it out, whatever its CRC-32. Once one is taken, the
// other numbered copies of the name that no TIC names go to Bad Tics.
TEST(TicInbound, RenamedFileIsTakenForALinkByItsSizeAndCrc) {
  const std::string forged = ForgedToCrc("a forger's file", Crc32Of(kContents));
  ASSERT_EQ(CrcText(forged), CrcText(kContents));
  const Lines sized =
      WithLine(TicLines("FILE.ZIP", kContents), "Size", Format("Size %zu", sizeof kContents - 1));
  const struct {
    const char* what;
    Lines tic;
    std::vector<std::pair<std::string, std::string>> inbound;  // name, contents
    Lines log;  // after the header
    Lines in, bad;
  } cases[] = {
      {"forged copy before the real one",
       sized,
       {{"FILE.ZIP", "a stranger's junk"}, {"FILE.ZIP.1", forged}, {"FILE.ZIP.2", kContents}},
       {"* Using FILE.ZIP.2 for FILE.ZIP", "* Moving FILE.ZIP.1 to Bad Tics, no TIC names it"},
       {"FILE.ZIP"},
       {"FILE.ZIP.1"}},
      {"forged file under the name",
       sized,
       {{"FILE.ZIP", forged}, {"FILE.ZIP.1", kContents}},
       {"* Using FILE.ZIP.1 for FILE.ZIP"},
       {"FILE.ZIP"},
       {}},
      {"size that no file has",
       WithLine(sized, "Size", "Size 1"),
       {{"FILE.ZIP", kContents}, {"FILE.ZIP.1", kContents}},
       {"! Bad Size", "* Moving TIC to Bad Tics"},
       {"FILE.ZIP.1"},
       {"A.TIC", "FILE.ZIP"}},
      {"a stranger's TIC",
       WithLine(sized, "From", "From 2:5020/7"),
       {{"FILE.ZIP.1", kContents}},
       {"! File Missing", "* Moving TIC to Bad Tics"},
       {"FILE.ZIP.1"},
       {"A.TIC"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempNode node;
    node.WriteConfig(NodeConfig());
    for (const auto& [name, contents] : c.inbound) node.WriteFile("in/" + name, contents);
    DropArrival(node, "A.TIC", "", "", c.tic);
    node.Run();
    const Lines log = TicMessages(node);
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(Lines(log.begin() + 4, log.end()), c.log);
    EXPECT_EQ(node.List("in"), c.in);
    EXPECT_EQ(BadTics(node), c.bad);
    if (c.log[0].rfind("* Using", 0) == 0) {
      EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILE.ZIP"), kContents);
    }
  }
}

// A symbolic link in place of a file pelix appends to (put there by a BBS
// in a file area, or by whoever may write the outbound) is never followed;
// only the log may be a link, one the sysop (or root) made.
TEST(TicInbound, AppendsNeverFollowASymbolicLink) {
  const struct {
    const char* link;
    bool foreign;  // made by another user
    int status;
    bool followed;
  } cases[] = {{"files/PELIX.TEST/FILES.BBS", false, 2, false},
               {"announce/Announce.PELIX.TEST", false, 0, false},
               {"out/139c0002.flo", false, 2, false},
               {"bad/badtics.idx", false, 0, false},
               {"pelix.log", true, 7, false},
               {"pelix.log", false, 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    // Only root can give a link to another user.
    if (c.foreign && ::geteuid() != 0) continue;
    const uid_t owner = c.foreign ? 65534 : ::geteuid();
    TempNode node;
    node.WriteConfig(TwoLinksConfig());
    node.WriteFile("outside.txt", "outside\n");
    const std::string link = node.Path(c.link);
    node.MakeDir(std::string(c.link).substr(0, std::string(c.link).rfind('/') + 1));
    ASSERT_EQ(::symlink(node.Path("outside.txt").c_str(), link.c_str()), 0);
    ASSERT_EQ(::lchown(link.c_str(), owner, owner), 0);
    DropArrival(node, "0.TIC", "REFUSED.ZIP", kContents,
                TicLines("REFUSED.ZIP", kContents, "NO.SUCH.ECHO"));
    DropArrival(node, "A.TIC", "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents));
    RunResult r = node.Run();
    EXPECT_EQ(r.status, c.status) << r.output;
    const std::string outside = node.ReadFile("outside.txt");
    EXPECT_EQ(outside != "outside\n", c.followed) << outside;
  }
}

// A stranger's TIC of one line of a megabyte costs the time its length
// gives, not that length squared.
TEST(TicInbound, TicOfOneLongLineIsReadInLinearTime) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  node.WriteFile("in/A.TIC", "From 2:5020/7\r\nFile FILE.ZIP\r\nDesc " + std::string(1000000, 'x'));
  const double before = ChildCpuSeconds();
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_LT(ChildCpuSeconds() - before, 0.5);
  EXPECT_EQ(BadTics(node), Lines{"A.TIC"});
}

// Refusals ask which file another TIC of the inbound names: every TIC is
// read for that once in the pass, not once for each refusal.
TEST(TicInbound, RefusedTicsReadTheOtherTicsOnceInThePass) {
  TempNode node;
  node.WriteConfig(NodeConfig());
  constexpr int kTics = 60;
  for (int i = 0; i < kTics; ++i) {
    const std::string file = Format("F%02d.ZIP", i);
    DropArrival(node, Format("F%02d.TIC", i), file, kContents,
                TicLines(file, kContents, "NO.SUCH.ECHO"));
  }
  TicReadCounter env;
  RunResult r = RunPelixWith(env, node);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(BadTics(node).size(), 2u * kTics);
  EXPECT_LE(env.reads(), 2 * kTics);
}

// Finished files are moved aside into in/.pelix-done and deleted from
// there; whatever else stands in its place is never listed, moved into or
// emptied: the files then leave the inbound by deletion.
TEST(TicInbound, DoneDirectoryThatIsNotPelixsOwnIsLeftAlone) {
  const struct {
    const char* what;
    bool link;
  } cases[] = {{"link to another directory", true}, {"directory of another user", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Only root can give a directory to another user.
    if (!c.link && ::geteuid() != 0) continue;
    TempNode node;
    node.WriteConfig(NodeConfig());
    const std::string target = c.link ? "elsewhere" : "in/.pelix-done";
    node.WriteFile(target + "/ONE.TXT", "one");
    node.WriteFile(target + "/TWO.TXT", "two");
    if (c.link) {
      node.MakeDir("in");
      ASSERT_EQ(::symlink("../elsewhere", node.Path("in/.pelix-done").c_str()), 0);
    } else {
      ASSERT_EQ(::chown(node.Path(target).c_str(), 65534, 65534), 0);
    }
    RunResult r = node.Run();
    EXPECT_EQ(r.status, 0) << r.output;
    const std::string refused = c.link ? "Not a directory" : "Operation not permitted";
    EXPECT_EQ(TicMessages(node),
              (Lines{"! Can't use in/.pelix-done, files leave the inbound by deletion: " + refused,
                     "^ No TIC files found"}));
    DropArrival(node, "A.TIC", "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents));
    r = node.Run();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILE.ZIP"), kContents);
    EXPECT_EQ(node.List("in"), Lines{".pelix-done"});
    EXPECT_EQ(node.List(target), (Lines{"ONE.TXT", "TWO.TXT"}));
  }
}

// In an echo with `replaces` on, a new file removes the files its Replaces
// value names, with their FILES.BBS entries, and takes over the entry of
// its own name; elsewhere, and for a value that could leave the echo's
// directory, nothing is removed.
TEST(TicInbound, ReplacesRemovesTheNamedFilesWhereTheEchoSaysSo) {
  const std::string listing =
      "-- The nodelists --\r\n"
      "NODELIST.A01 Day 1\r\n"
      "                             | its second line\r\n"
      "OTHER.ZIP    Other file\n"
      "nodelist.a02 Day 2\r\n";
  const std::string honoured = "[echo pelix.test]\nreplaces = yes\n";
  const struct {
    const char* what;
    std::string ini;
    std::string file;
    std::string replaces;  // the TIC's Replaces line; empty: none
    Lines log;
    Lines area;
    std::string files_bbs;
  } cases[] = {
      {"a pattern", honoured, "NODELIST.A03", "Replaces NODELIST.A*",
       {"* Replacing NODELIST.A01", "* Replacing NODELIST.A02", "* Replacing NODELIST.A04"},
       {"FILES.BBS", "NODELIST.A03", "NODELIST.A05", "OTHER.ZIP"},
       "-- The nodelists --\r\nOTHER.ZIP    Other file\nNODELIST.A03 A test file\r\n"},
      {"the same name again", honoured, "NODELIST.A01", "",
       {},
       {"FILES.BBS", "NODELIST.A01", "NODELIST.A02", "NODELIST.A04", "NODELIST.A05", "OTHER.ZIP"},
       "-- The nodelists --\r\nNODELIST.A01 A test file\r\nOTHER.ZIP    Other file\n"
       "nodelist.a02 Day 2\r\n"},
      {"a path", honoured, "NODELIST.A03", "Replaces ../x",
       {"! Replaces ../x ignored, it holds a path separator"},
       {"FILES.BBS", "NODELIST.A01", "NODELIST.A02", "NODELIST.A03", "NODELIST.A04",
        "NODELIST.A05", "OTHER.ZIP"},
       listing + "NODELIST.A03 A test file\r\n"},
      {"a pattern of another directory", "[echo *]\nreplaces = yes\n", "NODELIST.A03",
       "Replaces /etc/*",
       {"! Replaces /etc/* ignored, it holds a path separator"},
       {"FILES.BBS", "NODELIST.A01", "NODELIST.A02", "NODELIST.A03", "NODELIST.A04",
        "NODELIST.A05", "OTHER.ZIP"},
       listing + "NODELIST.A03 A test file\r\n"},
      {"replaces off", "", "NODELIST.A01", "Replaces NODELIST.A*",
       {},
       {"FILES.BBS", "NODELIST.A01", "NODELIST.A02", "NODELIST.A04", "NODELIST.A05", "OTHER.ZIP"},
       listing + "NODELIST.A01 A test file\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempNode node;
    node.WriteConfig(NodeConfig());
    if (!c.ini.empty()) node.WriteFile("pelix.ini", c.ini);
    for (const char* name : {"NODELIST.A01", "NODELIST.A02", "OTHER.ZIP"})
      node.WriteFile(std::string("files/PELIX.TEST/") + name, name);
    node.WriteFile("files/PELIX.TEST/FILES.BBS", listing);
    // A link to a file elsewhere goes, never what it points at; a
    // directory stays.
    node.WriteFile("secret", "kept");
    ASSERT_EQ(::symlink("../../secret", node.Path("files/PELIX.TEST/NODELIST.A04").c_str()), 0);
    node.MakeDir("files/PELIX.TEST/NODELIST.A05");
    node.WriteFile("files/x", "kept");
    DropArrival(node, "A.TIC", c.file, kContents,
                WithLine(TicLines(c.file, kContents), "Replaces", c.replaces));
    RunResult r = node.Run();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(TicMessages(node), Plus(Header("PELIX.TEST", c.file), c.log));
    EXPECT_EQ(node.List("files/PELIX.TEST"), c.area);
    EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILES.BBS"), c.files_bbs);
    EXPECT_EQ(node.ReadFile("files/PELIX.TEST/" + c.file), kContents);
    EXPECT_EQ(node.ReadFile("secret"), "kept");
    EXPECT_EQ(node.ReadFile("files/x"), "kept");
  }
}

// The lines of pelix.dup, each without its LF.
Lines DupeRecords(const TempNode& node) {
  Lines lines;
  const std::string text = node.ReadFile("pelix.dup");
  for (size_t pos = 0, end; (end = text.find('\n', pos)) != std::string::npos; pos = end + 1)
    lines.push_back(text.substr(pos, end - pos));
  return lines;
}

// With dupe_days, a file taken in before (arrived or hatched) is refused
// when it comes again into the same echo, for good; another file of the
// same name, or the same file in another echo, is not.
TEST(TicInbound, FileReceivedBeforeIsRefusedAsADupe) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(NodeConfig());
  node.WriteFile("pelix.ini", "[pelix]\ndupe_days = 30\n");
  node.WriteFile("work/HATCHED.ZIP", kContents);
  ASSERT_EQ(RunProgram(PELIX_HATCH_BINARY, {"work/HATCHED.ZIP", "PELIX.TEST", "Ours"}, node.dir())
                .status,
            0);
  std::string other = kContents;
  other[0] = 'X';  // the same size, another CRC
  const struct {
    const char* what;
    std::string area;
    std::string file;
    std::string contents;
    const char* refusal;  // nullptr: taken in
  } arrivals[] = {
      {"first", "PELIX.TEST", "FILE.ZIP", kContents, nullptr},
      {"again", "PELIX.TEST", "FILE.ZIP", kContents, "! Dupe, FILE.ZIP was received already"},
      {"in other letter case", "pelix.test", "file.zip", kContents,
       "! Dupe, file.zip was received already"},
      {"other contents", "PELIX.TEST", "FILE.ZIP", other, nullptr},
      {"other echo", "PELIX.PASS", "FILE.ZIP", kContents, nullptr},
      {"hatched here", "PELIX.TEST", "HATCHED.ZIP", kContents,
       "! Dupe, HATCHED.ZIP was received already"},
  };
  for (const auto& a : arrivals) {
    SCOPED_TRACE(a.what);
    const size_t before = TicMessages(node).size();
    DropArrival(node, "A.TIC", a.file, a.contents, TicLines(a.file, a.contents, a.area));
    ASSERT_EQ(node.Run().status, 0);
    Lines expected = Header(a.area, a.file);
    if (a.refusal) expected = Plus(expected, {a.refusal, "* Moving TIC to Bad Tics"});
    const Lines log = TicMessages(node);
    EXPECT_EQ(Lines(log.begin() + before, log.end()), expected);
    EXPECT_EQ(node.List("in"), Lines{});
    if (!a.refusal) continue;
    // Not a TIC waiting for its file: a later run leaves it in Bad Tics.
    node.WriteFile("in/" + a.file, a.contents);
    node.Run();
    EXPECT_EQ(TicMessages(node).back(), "^ No TIC files found");
    EXPECT_EQ(BadTics(node), (Lines{"A.TIC", a.file}));
    std::filesystem::remove_all(node.Path("bad"));
    std::filesystem::remove(node.Path("in/" + a.file));
  }
  // Twice in one run, the mailer keeping the second copy under a number.
  const size_t before = TicMessages(node).size();
  node.WriteFile("in/TWICE.ZIP.1", kContents);
  DropArrival(node, "A.TIC", "TWICE.ZIP", kContents, TicLines("TWICE.ZIP", kContents));
  DropArrival(node, "B.TIC", "", "", TicLines("TWICE.ZIP", kContents));
  ASSERT_EQ(node.Run().status, 0);
  const Lines log = TicMessages(node);
  EXPECT_EQ(Lines(log.begin() + before, log.end()),
            Plus(Header("PELIX.TEST", "TWICE.ZIP"),
                 {"* Processing B.TIC", "$ Area : PELIX.TEST", "$ File : TWICE.ZIP",
                  "$ From : 2:5020/1", "* Using TWICE.ZIP.1 for TWICE.ZIP",
                  "! Dupe, TWICE.ZIP was received already", "* Moving TIC to Bad Tics"}));
  EXPECT_EQ(BadTics(node), (Lines{"B.TIC", "TWICE.ZIP"}));

  Lines records = DupeRecords(node);
  for (std::string& record : records) record.erase(record.rfind('\t'));
  EXPECT_EQ(records, (Lines{"PELIX.TEST\tHATCHED.ZIP\t21\t" + CrcText(kContents),
                            "PELIX.TEST\tFILE.ZIP\t21\t" + CrcText(kContents),
                            "PELIX.TEST\tFILE.ZIP\t21\t" + CrcText(other),
                            "PELIX.PASS\tFILE.ZIP\t21\t" + CrcText(kContents),
                            "PELIX.TEST\tTWICE.ZIP\t21\t" + CrcText(kContents)}));
}

// Records older than dupe_days are dropped, a record cut short is passed
// over and the next one starts a line of its own, and a record file that
// cannot be read or written costs the check, never the run or the file.
TEST(TicInbound, DupeRecordsAgeAndSurviveCutsAndFailures) {
  const int64_t now = platform::DefaultEnv().UtcSeconds();
  const int64_t day = 24 * 60 * 60;
  const std::string file_zip = "PELIX.TEST\tFILE.ZIP\t21\t" + CrcText(kContents) + "\t";
  const std::string taken_now = file_zip + std::to_string(now) + "\n";
  const std::string other = "PELIX.TEST\tOTHER.ZIP\t5\t0000ABCD\t" + std::to_string(now) + "\n";
  const std::string aged_29 = file_zip + std::to_string(now - 29 * day) + "\n";
  const std::string on = "[pelix]\ndupe_days = 30\n";
  const Lines dupe = {"! Dupe, FILE.ZIP was received already", "* Moving TIC to Bad Tics"};
  const struct {
    const char* what;
    std::string ini;
    std::string before;  // pelix.dup; empty: none
    FaultyEnv::Op fail;
    int error;  // 0: nothing fails
    Lines said;
    std::string after;  // empty: no pelix.dup
  } cases[] = {
      {"off", "", "", FaultyEnv::Op::kRead, 0, {}, ""},
      {"29 days old", on, aged_29 + other, FaultyEnv::Op::kRead, 0, dupe, aged_29 + other},
      {"30 days old", on, file_zip + std::to_string(now - 30 * day) + "\n" + other,
       FaultyEnv::Op::kRead, 0, {}, other + taken_now},
      {"cut short", on, other + "damaged\n" + file_zip + std::to_string(now), FaultyEnv::Op::kRead,
       0, {}, other + "damaged\n" + file_zip + std::to_string(now) + "\n" + taken_now},
      {"unreadable", on, aged_29, FaultyEnv::Op::kRead, EACCES,
       {"! Can't read pelix.dup, no duplicate check in this run: Permission denied"}, aged_29},
      {"full disk", on, "", FaultyEnv::Op::kCreate, ENOSPC,
       {"! Can't write pelix.dup: No space left on device"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempNode node;
    node.WriteConfig(NodeConfig());
    if (!c.ini.empty()) node.WriteFile("pelix.ini", c.ini);
    if (!c.before.empty()) node.WriteFile("pelix.dup", c.before);
    DropArrival(node, "A.TIC", "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents));
    FaultyEnv env;
    env.UseFakeClock(now);
    if (c.error) env.Fail(c.fail, 1, "pelix.dup", -1, c.error);
    ASSERT_EQ(RunPelixWith(env, node).status, 0);
    EXPECT_EQ(TicMessages(node), Plus(Header(), c.said));
    EXPECT_EQ(node.Exists("files/PELIX.TEST/FILE.ZIP"), c.said != dupe);
    EXPECT_EQ(node.Exists("pelix.dup"), !c.after.empty());
    if (!c.after.empty()) {
      EXPECT_EQ(node.ReadFile("pelix.dup"), c.after);
    }
  }
}

}  // namespace
