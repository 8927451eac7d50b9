// Accepted files forwarded by the real pelix: the queue copy, flow files per
// flavour, outgoing TICs, the choice of links and of outbound directories.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "platform/platform.h"
#include "tests/support/faulty_env.h"
#include "tests/support/in_process_run.h"
#include "tests/support/temp_node.h"
#include "tests/support/tic_arrival.h"

namespace {

using Lines = std::vector<std::string>;

const char kContents[] = "Forwarded contents\r\n";

// Log messages after the TIC header lines of the first TIC.
Lines AfterHeader(const TempNode& node) {
  Lines all = node.LogMessages();
  auto from = std::find_if(all.begin(), all.end(),
                           [](const std::string& m) { return m.rfind("$ From : ", 0) == 0; });
  if (from == all.end()) return all;
  return Lines(from + 1, all.end());
}

// The paths a flow file names, with their prefixes.
Lines FlowLines(const std::string& text) {
  Lines lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

const char kThreeLinks[] =
    "[echo]\ntag = PELIX.TEST\ndescription = Test echo\n"
    "link = 2:5020/1 receive send\nlink = 2:5020/2 send\nlink = 2:5020/3 send\n"
    "[link]\naddress = 2:5020/1\ntic_password = TICPW\nflavour = f\n"
    "[link]\naddress = 2:5020/2\ntic_password = TIC2\nflavour = c\n"
    "[link]\naddress = 2:5020/3\nflavour = h\nfrom_address = 2:5020/101\n";

TEST(TicForward, AcceptedFileReachesQueueLinksAreaAndAnnounce) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() + kThreeLinks);
  Lines tic = TicLines("FILE.ZIP", kContents);
  tic.insert(tic.begin() + 5, "Ldesc First long line");
  tic.insert(tic.begin() + 6, "Ldesc Second long line");
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents, tic);
  struct stat arrived;
  ASSERT_EQ(::stat(node.Path("in/FILE.ZIP").c_str(), &arrived), 0);
  RunResult r = node.Run();
  ASSERT_EQ(r.status, 0) << r.output;

  // The queue copy is the arrived file itself, under its queue name.
  struct stat queued;
  ASSERT_EQ(::stat(node.Path("queue/FILE.ZIP").c_str(), &queued), 0);
  EXPECT_EQ(queued.st_ino, arrived.st_ino);
  EXPECT_EQ(queued.st_nlink, 1u);
  EXPECT_EQ(AfterHeader(node), (Lines{"* Node 2:5020/1 is already in SEEN-BY, skiping",
                                      "* Exported to 2:5020/2", "* Exported to 2:5020/3"}));
  EXPECT_EQ(node.ReadFile("queue/FILE.ZIP"), kContents);
  EXPECT_EQ(node.List("out"), (Lines{"139c0002.clo", "139c0003.hlo"}));
  const Lines crash = FlowLines(node.ReadFile("out/139c0002.clo"));
  const Lines hold = FlowLines(node.ReadFile("out/139c0003.hlo"));
  ASSERT_EQ(crash.size(), 2u);
  ASSERT_EQ(hold.size(), 2u);
  // Absolute lines: the mailer runs in a directory of its own.
  EXPECT_EQ(crash[0], node.dir() + "queue/FILE.ZIP");
  EXPECT_EQ(hold[0], node.dir() + "queue/FILE.ZIP");
  const std::regex tic_line("ticout/px[0-9]{6}\\.tic");
  const std::string tic_prefix = "^" + node.dir();
  for (const std::string& line : {crash[1], hold[1]}) {
    ASSERT_EQ(line.rfind(tic_prefix, 0), 0u) << line;
    EXPECT_TRUE(std::regex_match(line.substr(tic_prefix.size()), tic_line)) << line;
  }
  EXPECT_NE(crash[1], hold[1]);
  EXPECT_EQ(node.List("ticout").size(), 2u);

  const std::string sent = node.ReadFile(crash[1].substr(tic_prefix.size()));
  const std::regex expected(
      "Area PELIX\\.TEST\r\n"
      "Origin 2:5020/1\r\n"
      "From 2:5020/100\r\n"
      "File FILE\\.ZIP\r\n"
      "Desc A test file\r\n"
      "Ldesc First long line\r\n"
      "Ldesc Second long line\r\n"
      "Crc " + CrcText(kContents) + "\r\n"
      "Created by hand\r\n"
      "Path 2:5020/1 1600000000 Sun Sep 13 12:26:40 2020 UTC\\+0300\r\n"
      "Path 2:5020/100 [0-9]+ (Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} [0-9]{1,2} "
      "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} UTC\\+0300\r\n"
      "Seenby 2:5020/1\r\n"
      "Seenby 2:5020/2\r\n"
      "Seenby 2:5020/3\r\n"
      "Seenby 2:5020/100\r\n"
      "Pw TIC2\r\n");
  EXPECT_TRUE(std::regex_match(sent, expected)) << sent;
  // The hold link has its own From address and no TIC password.
  const std::string held = node.ReadFile(hold[1].substr(tic_prefix.size()));
  EXPECT_NE(held.find("From 2:5020/101\r\n"), std::string::npos) << held;
  EXPECT_NE(held.find("\r\nPath 2:5020/101 "), std::string::npos) << held;
  EXPECT_NE(held.find("\r\nSeenby 2:5020/101\r\n"), std::string::npos) << held;
  EXPECT_EQ(held.find("Pw "), std::string::npos) << held;

  EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILE.ZIP"), kContents);
  EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILES.BBS"), "FILE.ZIP     A test file\r\n");
  EXPECT_EQ(node.ReadFile("announce/Announce.PELIX.TEST"), " FILE.ZIP     A test file\r\n");
  EXPECT_EQ(node.List("in"), Lines{});
}

TEST(TicForward, FilesBbsCounterAndEmptyDescription) {
  TempNode node;
  node.MakeDir("ticout");
  std::string config = BasicConfigText() + kThreeLinks;
  config.insert(config.find("[domain]"), "files_bbs_counter = 1\n");
  node.WriteConfig(config);
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents,
              WithLine(TicLines("FILE.ZIP", kContents), "Desc", "Desc"));
  RunResult r = node.Run();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILES.BBS"), "FILE.ZIP     [00] \r\n");
  EXPECT_EQ(node.ReadFile("announce/Announce.PELIX.TEST"), " FILE.ZIP     \r\n");
}

TEST(TicForward, LinkSelectionSkipsSendOffSeenByUnknownAndPassiveAndReturnsToSender) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() +
                   "[echo]\ntag = PELIX.TEST\n"
                   "link = 2:5020/1 receive send\n"  // the sender, not in SEEN-BY
                   "link = 2:5020/4 receive\n"       // send off
                   "link = 1:1/1 send\n"             // no such link
                   "link = 2:5020/6 send\n"          // passive
                   "link = 2:5020/7 send\n"          // in SEEN-BY, unknown as well
                   "link = 2:5020/8 send\n"          // in SEEN-BY as a point 0 with domain
                   "link = 2:5020/9 send\n"          // first of a SEEN-BY value of two
                   "[link]\naddress = 2:5020/1\ntic_password = TICPW\n"
                   "[link]\naddress = 2:5020/4\n"
                   "[link]\naddress = 2:5020/6\npassive = 1\n"
                   "[link]\naddress = 2:5020/8\n"
                   "[link]\naddress = 2:5020/9\n");
  Lines tic = WithLine(TicLines("FILE.ZIP", kContents), "Seenby", "Seenby 2:5020/7");
  tic.push_back("Seenby 2:5020/8.0@fidonet 2:5020/99");
  tic.push_back("Seenby 2:5020/9 2:5020/99.5");
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents, tic);
  node.Run();
  EXPECT_EQ(AfterHeader(node), (Lines{"* Exported to 2:5020/1", "* Node 1:1/1 is unknown, skiping",
                                      "* Node 2:5020/6 is passive, skiping",
                                      "* Node 2:5020/7 is already in SEEN-BY, skiping",
                                      "* Node 2:5020/8 is already in SEEN-BY, skiping",
                                      "* Node 2:5020/9 is already in SEEN-BY, skiping"}));
  EXPECT_EQ(node.List("out"), Lines{"139c0001.flo"});
  // The zone directory of the unknown link was made before it was skipped.
  EXPECT_TRUE(node.Exists("out.001"));
  EXPECT_EQ(node.List("out.001"), Lines{});
  const Lines flow = FlowLines(node.ReadFile("out/139c0001.flo"));
  ASSERT_EQ(flow.size(), 2u);
  const std::string sent = node.ReadFile(flow[1].substr(1 + node.dir().size()));
  // The passive link has seen it, the unknown one not.
  EXPECT_NE(sent.find("Seenby 2:5020/7\r\nSeenby 2:5020/8.0@fidonet 2:5020/99\r\n"
                      "Seenby 2:5020/9 2:5020/99.5\r\nSeenby 2:5020/1\r\nSeenby 2:5020/6\r\n"
                      "Seenby 2:5020/100\r\nPw TICPW\r\n"),
            std::string::npos)
      << sent;
}

TEST(TicForward, EchoWithOnlyTheSenderMakesNoQueueCopy) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() +
                   "[echo]\ntag = PELIX.PASS\npassthrough = 1\nlink = 2:5020/1 receive send\n"
                   "[link]\naddress = 2:5020/1\ntic_password = TICPW\n");
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents, "PELIX.PASS"));
  node.Run();
  EXPECT_EQ(node.List("queue"), Lines{});
  EXPECT_FALSE(node.Exists("out"));
  EXPECT_FALSE(node.Exists("files"));
  EXPECT_EQ(node.ReadFile("announce/Announce.PELIX.PASS"), " FILE.ZIP     A test file\r\n");
  EXPECT_EQ(node.List("in"), Lines{});
}

// A directory in the file's place, or a copy that cannot be forced to disk.
TEST(TicForward, FileThatCannotBePlacedStaysInTheInbound) {
  for (bool not_forced : {false, true}) {
    SCOPED_TRACE(not_forced);
    TempNode node;
    node.WriteConfig(BasicConfigText() +
                     "[echo]\ntag = PELIX.TEST\nlink = 2:5020/1 receive send\n"
                     "[link]\naddress = 2:5020/1\ntic_password = TICPW\n");
    if (!not_forced) node.MakeDir("files/PELIX.TEST/FILE.ZIP");
    DropArrival(node, "A.TIC", "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents));
    FaultyEnv env;
    if (not_forced) env.Fail(FaultyEnv::Op::kSync, 1, "files/");
    RunResult r = RunPelixWith(env, node);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(AfterHeader(node),
              Lines{std::string("! Can't copy files/PELIX.TEST/FILE.ZIP, left in the inbound: ") +
                    (not_forced ? "No space left on device" : "Is a directory")});
    // Nothing of the TIC is done: the next run does it all.
    EXPECT_EQ(node.List("in"), (Lines{"A.TIC", "FILE.ZIP"}));
    EXPECT_EQ(node.ReadFile("in/FILE.ZIP"), kContents);
    EXPECT_FALSE(node.Exists("files/PELIX.TEST/FILES.BBS"));
    EXPECT_FALSE(node.Exists("announce"));
  }
}

TEST(TicForward, QueueCopyNoLinkReceivedIsErasedInTheSameRun) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() +
                   "[echo]\ntag = PELIX.PASS\npassthrough = 1\n"
                   "link = 2:5020/1 receive send\nlink = 2:5020/6 send\n"
                   "[link]\naddress = 2:5020/1\ntic_password = TICPW\n"
                   "[link]\naddress = 2:5020/6\npassive = 1\n");
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents, "PELIX.PASS"));
  RunResult r = node.Run();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(AfterHeader(node), (Lines{"* Node 2:5020/1 is already in SEEN-BY, skiping",
                                      "* Node 2:5020/6 is passive, skiping",
                                      "( Erasing sent passtrought file queue/FILE.ZIP"}));
  EXPECT_EQ(node.List("queue"), Lines{});
  EXPECT_EQ(node.List("ticout"), Lines{});
  EXPECT_EQ(node.ReadFile("announce/Announce.PELIX.PASS"), " FILE.ZIP     A test file\r\n");
}

TEST(TicForward, ZonePointAndDomainDecideTheOutboundPlace) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(
      "[config]\ninbound_dir = in/\ntic_outbound_dir = ticout/\nqueue_dir = queue/\n"
      "fileecho_dir = files/\nbad_tic_dir = bad/\nmain_address = 2:5020/100\n"
      "log_file = pelix.log\nannounce_db_dir = announce/\n"
      "[domain]\nname = fidonet\noutbound_dir = out\nhas_main_zone = 1\nmain_zone = 2\n"
      "zone_list = 1,2\n"
      "[domain]\nname = @othernet\noutbound_dir = othernet\nhas_main_zone = 1\nmain_zone = 2\n"
      "[echo]\ntag = PELIX.TEST\nlink = 2:5020/1 receive\nlink = 1:23/4 send\n"
      "link = 2:345/6.7 send\nlink = 2:345/6 send\nlink = 2:345/8@othernet send\n"
      "link = 7:1/1 send\n"
      "[link]\naddress = 2:5020/1\ntic_password = TICPW\n"
      "[link]\naddress = 1:23/4\n"
      "[link]\naddress = 2:345/6.7\nflavour = d\n"
      "[link]\naddress = 2:345/6\nflavour = c\n"
      "[link]\naddress = 2:345/8\nflavour = i\n"
      "[link]\naddress = 7:1/1\n");
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents));
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(AfterHeader(node),
            (Lines{"* Exported to 1:23/4", "* Exported to 2:345/6.7", "* Exported to 2:345/6",
                   "* Exported to 2:345/8@othernet", "! No default domain"}));
  EXPECT_EQ(node.List("out.001"), Lines{"00170004.flo"});
  EXPECT_EQ(node.List("out"), (Lines{"01590006.clo", "01590006.pnt"}));
  EXPECT_EQ(node.List("out/01590006.pnt"), Lines{"00000007.dlo"});
  EXPECT_EQ(node.List("othernet"), Lines{"01590008.ilo"});
  // 7:1/1 has no domain: nothing of it is written anywhere.
  EXPECT_EQ(node.List(""), (Lines{"announce", "files", "in", "othernet", "out", "out.001",
                                  "pelix.cfg", "pelix.dmn", "pelix.fe", "pelix.log", "pelix.nod",
                                  "pelix.seq", "queue", "ticout"}));
  EXPECT_EQ(node.List("ticout").size(), 4u);
}

// A node whose echo has the sender and two links to forward to, and A.TIC
// for FILE.ZIP arrived from the sender.
void DropForwardedArrival(TempNode& node) {
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() + kThreeLinks);
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents));
}

TEST(TicForward, ManyExportsInOneRunGetDistinctTicsAndOverwriteNone) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() + kThreeLinks);
  // The names a run started now would try first.
  const int64_t now = platform::DefaultEnv().UtcSeconds();
  std::set<std::string> taken;
  for (int64_t step = 0; step < 3; ++step) {
    std::string name = Format("px%06lld.tic", static_cast<long long>((now / 100 + step) % 1000000));
    node.WriteFile("ticout/" + name, "taken " + name);
    taken.insert(name);
  }
  for (int i = 0; i < 6; ++i) {
    std::string file = "F" + std::to_string(i) + ".ZIP";
    DropArrival(node, "T" + std::to_string(i) + ".TIC", file, kContents + file,
                TicLines(file, kContents + file));
  }
  RunResult r = node.Run();
  ASSERT_EQ(r.status, 0) << r.output;
  for (const std::string& name : taken) EXPECT_EQ(node.ReadFile("ticout/" + name), "taken " + name);
  EXPECT_EQ(node.List("ticout").size(), 3u + 12u);
  std::set<std::string> named;
  for (const char* flow : {"out/139c0002.clo", "out/139c0003.hlo"}) {
    for (const std::string& line : FlowLines(node.ReadFile(flow)))
      if (line[0] == '^') named.insert(line.substr(1 + node.dir().size() + 7));
  }
  EXPECT_EQ(named.size(), 12u);
  for (const std::string& name : taken) EXPECT_EQ(named.count(name), 0u) << name;
  EXPECT_EQ(node.List("in"), Lines{});
}

TEST(TicForward, WaitsWhileTheMailerHoldsALinkThenExports) {
  for (const char* flag : {"out/139c0002.bsy", "out/139c0002.csy", "out/139C0002.CSY"}) {
    SCOPED_TRACE(flag);
    TempNode node;
    DropForwardedArrival(node);
    node.WriteFile(flag, "");
    RunResult r;
    std::thread run([&] { r = node.Run(); });
    // The run has read the TIC and now waits, before the first link, until
    // every link that gets it is free.
    bool reached = false;
    for (int i = 0; i < 2000 && !reached; ++i) {
      for (const std::string& m : node.LogMessages())
        if (m.rfind("$ From : ", 0) == 0) reached = true;
      if (!reached) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(reached);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(node.Exists("out/139c0002.clo"));
    EXPECT_FALSE(node.Exists("out/139c0003.hlo"));
    EXPECT_TRUE(node.Exists("in/A.TIC"));
    ASSERT_TRUE(platform::DefaultEnv().DeleteFile(node.Path(flag)));
    run.join();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(node.List("out"), (Lines{"139c0002.clo", "139c0003.hlo"}));
    EXPECT_EQ(AfterHeader(node).back(), "* Exported to 2:5020/3");
  }
}

TEST(TicForward, SecondTicOfARunCarriesNoLdescOfTheFirst) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() + kThreeLinks);
  Lines first = TicLines("A.ZIP", "a");
  first.push_back("Ldesc only in the first");
  DropArrival(node, "A.TIC", "A.ZIP", "a", first);
  DropArrival(node, "B.TIC", "B.ZIP", "b", WithLine(TicLines("B.ZIP", "b"), "Desc", "Desc"));
  node.Run();
  const Lines flow = FlowLines(node.ReadFile("out/139c0002.clo"));
  ASSERT_EQ(flow.size(), 4u);
  const std::string second = node.ReadFile(flow[3].substr(1 + node.dir().size()));
  EXPECT_NE(second.find("File B.ZIP\r\nDesc \r\nCrc "), std::string::npos) << second;
  EXPECT_EQ(second.find("Ldesc"), std::string::npos) << second;
}

TEST(TicForward, FailureBeforeForwardingHandsNothingOnAndKeepsTheInbound) {
  struct Case {
    FaultyEnv::Op op;
    const char* path_part;
    const char* message;
  } cases[] = {
      // The queue on a full disk: no whole copy to name in any flow file.
      {FaultyEnv::Op::kCopy, "queue/",
       "! Can't copy queue/FILE.ZIP, left in the inbound: No space left on device"},
      // An inbound pelix may read but not empty: every run would send it again.
      {FaultyEnv::Op::kCanDelete, "A.TIC",
       "! Can't delete in/A.TIC, left in the inbound: Permission denied"},
      {FaultyEnv::Op::kCanDelete, "in/FILE.ZIP",
       "! Can't delete in/FILE.ZIP, left in the inbound: Permission denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TempNode node;
    DropForwardedArrival(node);
    FaultyEnv env;
    env.Fail(c.op, 1, c.path_part, -1, c.op == FaultyEnv::Op::kCanDelete ? EACCES : ENOSPC);
    // A queue on another file system: the copy is made, not linked.
    if (c.op == FaultyEnv::Op::kCopy) env.Fail(FaultyEnv::Op::kLink, 1, c.path_part, 1, EXDEV);
    // With /E the failure shows in the status, and the last line sums it up.
    RunResult r = RunPelixWith(env, node, {"/E"});
    EXPECT_EQ(r.status, 6) << r.output;
    EXPECT_EQ(AfterHeader(node), Lines{c.message});
    const Lines lines = node.LogLines();
    EXPECT_EQ(lines.back().substr(23),
              "Summary : TICs accepted 0, refused 0, left in the inbound 1; requests answered 0; "
              "error lines 1");
    EXPECT_EQ(node.List("in"), (Lines{"A.TIC", "FILE.ZIP"}));
    EXPECT_FALSE(node.Exists("out/139c0002.clo"));
    EXPECT_EQ(node.List("ticout"), Lines{});
    EXPECT_FALSE(node.Exists("files/PELIX.TEST/FILES.BBS"));
    EXPECT_FALSE(node.Exists("announce/Announce.PELIX.TEST"));
  }
}

// A sparse file of 5 GiB, zeros but for a few texts: made at once, and
// checked without reading its holes.
struct SparseFile {
  static constexpr int64_t kSize = int64_t{5} << 30;
  struct Text {
    int64_t at;
    std::string_view text;
  };
  // The last one would be lost to a size kept in 32 bits.
  static constexpr Text kTexts[] = {
      {0, "BEGIN"}, {(int64_t{4} << 30) + 1, "PAST 4 GIB"}, {kSize - 3, "END"}};
  // zlib.crc32 of these bytes.
  static constexpr char kCrc[] = "48F290A3";

  static bool Make(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    bool made = fd >= 0 && ::ftruncate(fd, kSize) == 0;
    for (const Text& t : kTexts)
      made = made && ::pwrite(fd, t.text.data(), t.text.size(), t.at) ==
                         static_cast<ssize_t>(t.text.size());
    return fd >= 0 && ::close(fd) == 0 && made;
  }

  // Whether `path` holds these bytes: its size, the texts where they
  // belong, and nothing but zeros in the rest of the data it has.
  static ::testing::AssertionResult Holds(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size != kSize)
      return ::testing::AssertionFailure() << path << " is not there or not of 5 GiB";
    std::string mismatch;
    for (off_t data = ::lseek(fd, 0, SEEK_DATA); data >= 0 && mismatch.empty();
         data = ::lseek(fd, data, SEEK_DATA)) {
      const off_t hole = ::lseek(fd, data, SEEK_HOLE);
      std::string bytes(hole - data, '\0'), expected(hole - data, '\0');
      if (::pread(fd, bytes.data(), bytes.size(), data) != static_cast<ssize_t>(bytes.size()))
        mismatch = "cannot read its data";
      for (const Text& t : kTexts)
        for (size_t i = 0; i < t.text.size(); ++i)
          if (t.at + static_cast<int64_t>(i) >= data && t.at + static_cast<int64_t>(i) < hole)
            expected[t.at + i - data] = t.text[i];
      if (bytes != expected) mismatch = "other data at " + std::to_string(data);
      data = hole;
    }
    for (const Text& t : kTexts) {
      std::string found(t.text.size(), '\0');
      if (::pread(fd, found.data(), found.size(), t.at) != static_cast<ssize_t>(found.size()) ||
          found != t.text)
        mismatch = "no " + std::string(t.text) + " at " + std::to_string(t.at);
    }
    ::close(fd);
    if (!mismatch.empty()) return ::testing::AssertionFailure() << path << ": " << mismatch;
    return ::testing::AssertionSuccess();
  }
};

// A file over 4 GiB keeps its size and CRC through a pass-through echo and
// into the file area of another: no size is held in 32 bits. pelix reads
// its 5 GiB for the CRC once per TIC, a few seconds each; in /dev/shm the
// holes read without filling the page cache first. The area copy, sparse
// as the file, is checked without reading its holes.
TEST(TicForward, FileOverFourGibKeepsItsSizeAndCrc) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "10 GiB of CRC in an unoptimised, instrumented build take minutes";
#endif
  std::error_code ec;
  TempNode node(std::filesystem::is_directory("/dev/shm", ec)
                    ? "/dev/shm"
                    : std::filesystem::temp_directory_path().string());
  node.MakeDir("ticout");
  std::string config = BasicConfigText() + kThreeLinks;
  config.insert(config.find("link = "), "passthrough = 1\n");
  node.WriteConfig(config + "[echo]\ntag = AREA.TEST\nlink = 2:5020/1 receive\n");
  node.MakeDir("in");
  ASSERT_TRUE(SparseFile::Make(node.Path("in/BIG.BIN")));
  ASSERT_EQ(::link(node.Path("in/BIG.BIN").c_str(), node.Path("in/AREA.BIN").c_str()), 0);
  struct stat arrived;
  ASSERT_EQ(::stat(node.Path("in/BIG.BIN").c_str(), &arrived), 0);
  const std::string crc_line = std::string("Crc ") + SparseFile::kCrc;
  DropArrival(node, "A.TIC", "", "", WithLine(TicLines("BIG.BIN", ""), "Crc", crc_line));
  DropArrival(node, "B.TIC", "", "",
              WithLine(TicLines("AREA.BIN", "", "AREA.TEST"), "Crc", crc_line));
  RunResult r = node.Run();
  ASSERT_EQ(r.status, 0) << r.output;

  // The queue copy is the arrived file under a second name.
  struct stat queued;
  ASSERT_EQ(::stat(node.Path("queue/BIG.BIN").c_str(), &queued), 0);
  EXPECT_EQ(queued.st_ino, arrived.st_ino);
  EXPECT_TRUE(SparseFile::Holds(node.Path("queue/BIG.BIN")));
  EXPECT_FALSE(node.Exists("files/PELIX.TEST"));
  const Lines flow = FlowLines(node.ReadFile("out/139c0002.clo"));
  ASSERT_EQ(flow.size(), 2u);
  EXPECT_NE(node.ReadFile(flow[1].substr(1 + node.dir().size())).find("\r\n" + crc_line + "\r\n"),
            std::string::npos);

  EXPECT_TRUE(SparseFile::Holds(node.Path("files/AREA.TEST/AREA.BIN")));
  struct stat placed;
  ASSERT_EQ(::stat(node.Path("files/AREA.TEST/AREA.BIN").c_str(), &placed), 0);
  EXPECT_LT(placed.st_blocks, 1024) << "the holes were written out";
  EXPECT_EQ(node.ReadFile("files/AREA.TEST/FILES.BBS"), "AREA.BIN     A test file\r\n");
  EXPECT_EQ(node.List("in"), Lines{});
}

// Where the queue cannot hold a second name of the arrived file (another
// file system), it gets a copy, and the TIC is handled as usual.
TEST(TicForward, QueueOnAnotherFileSystemGetsACopy) {
  TempNode node;
  DropForwardedArrival(node);
  struct stat arrived;
  ASSERT_EQ(::stat(node.Path("in/FILE.ZIP").c_str(), &arrived), 0);
  FaultyEnv env;
  env.Fail(FaultyEnv::Op::kLink, 1, "queue/", -1, EXDEV);
  RunResult r = RunPelixWith(env, node);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(AfterHeader(node), (Lines{"* Node 2:5020/1 is already in SEEN-BY, skiping",
                                      "* Exported to 2:5020/2", "* Exported to 2:5020/3"}));
  struct stat queued;
  ASSERT_EQ(::stat(node.Path("queue/FILE.ZIP").c_str(), &queued), 0);
  EXPECT_NE(queued.st_ino, arrived.st_ino);
  EXPECT_EQ(node.ReadFile("queue/FILE.ZIP"), kContents);
  EXPECT_EQ(node.List("in"), Lines{});
}

// A TIC the links would refuse, for the lines this node adds to it, is
// refused here.
TEST(TicForward, TicWhoseForwardedListLinesPassTheLimitIsRefused) {
  TempNode node;
  node.MakeDir("ticout");
  node.WriteConfig(BasicConfigText() + kThreeLinks);
  Lines tic = TicLines("FILE.ZIP", kContents);
  // Received: 10,000 Seenby and Path lines, as many as a TIC may carry.
  tic.insert(tic.end() - 1, 9998, "Seenby 2:5020/50");
  DropArrival(node, "A.TIC", "FILE.ZIP", kContents, tic);
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(AfterHeader(node),
            (Lines{"! Too many Seenby, Path and Ldesc lines to forward, over 10000",
                   "* Moving TIC to Bad Tics"}));
  EXPECT_FALSE(node.Exists("out"));
  EXPECT_EQ(node.List("bad").size(), 3u);
}

// The TICs of one file are written first and forced to disk together; a
// TIC that cannot be, stops the run where its export would have stopped,
// and no TIC is left that no flow line names.
TEST(TicForward, TicThatCannotBeWrittenOrForcedToDiskStopsItsExport) {
  struct Case {
    FaultyEnv::Op op;
    int nth;
    Lines ticout_named_by_clo;
  } cases[] = {{FaultyEnv::Op::kSync, 1, {}}, {FaultyEnv::Op::kWrite, 2, {"one"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nth);
    TempNode node;
    DropForwardedArrival(node);
    FaultyEnv env;
    env.Fail(c.op, c.nth, "ticout/");
    RunResult r = RunPelixWith(env, node);
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_EQ(node.LogMessages().back(), "! Can't create TIC file: No space left on device");
    EXPECT_FALSE(node.Exists("out/139c0003.hlo"));
    EXPECT_EQ(node.List("ticout").size(), c.ticout_named_by_clo.size());
    if (!c.ticout_named_by_clo.empty())
      EXPECT_EQ(FlowLines(node.ReadFile("out/139c0002.clo"))[1],
                "^" + node.dir() + "ticout/" + node.List("ticout")[0]);
    else
      EXPECT_FALSE(node.Exists("out/139c0002.clo"));
    EXPECT_EQ(node.List("in"), (Lines{"A.TIC", "FILE.ZIP"}));
  }
}

// The accepted TICs of a run share one flush of their copies and outgoing
// TICs, and one busy flag per destination, and leave the inbound together
// at the end; the log and the files are still those of TICs handled one by
// one, and a run that stops at one has finished those before it and left
// no outgoing TIC of those after it. What a killed run left is cleared
// first: its files moved aside, and the TICs it made that no flow file
// names; the list of those it leaves itself holds every TIC it made.
TEST(TicForward, TicsOfARunShareOneFlushAndEndInTheirOrder) {
  for (bool files_bbs_fails : {false, true}) {
    SCOPED_TRACE(files_bbs_fails);
    TempNode node;
    node.MakeDir("ticout");
    node.WriteConfig(BasicConfigText() + kThreeLinks);
    node.WriteFile("in/.pelix-done/OLD.ZIP", "left by a killed run");
    node.WriteFile("pelix.tix", "ticout/pxdead01.tic\nticout/pxsent01.tic\nticout/pxgone01.tic\n"
                                "KEEP.TIC\n");
    node.WriteFile("ticout/pxdead01.tic", "made by a killed run");
    node.WriteFile("ticout/pxsent01.tic", "named by its flow line");
    node.WriteFile("out/139c0009.flo", "^" + node.dir() + "ticout/pxsent01.tic\n");
    node.WriteFile("KEEP.TIC", "not in the TIC outbound");
    for (const char* name : {"A", "C", "D"}) {
      const std::string file = std::string(name) + ".ZIP";
      DropArrival(node, std::string(name) + ".TIC", file, name, TicLines(file, name));
    }
    DropArrival(node, "B.TIC", "B.ZIP", "b", WithLine(TicLines("B.ZIP", "b"), "Pw", "Pw WRONG"));
    FaultyEnv env;
    env.Fail(FaultyEnv::Op::kSync, 2, "ticout");  // a second flush would fail
    env.Fail(FaultyEnv::Op::kLink, 3, "out/");     // so would a third busy flag
    env.Fail(FaultyEnv::Op::kCreate, 2, "139c0002.clo");  // and a second open of a flow file
    if (files_bbs_fails) env.Fail(FaultyEnv::Op::kCreate, 2, "FILES.BBS");  // C's
    RunResult r = RunPelixWith(env, node);
    auto accepted = [](const std::string& name) {
      return Lines{"* Processing " + name + ".TIC", "$ Area : PELIX.TEST",
                   "$ File : " + name + ".ZIP", "$ From : 2:5020/1",
                   "* Node 2:5020/1 is already in SEEN-BY, skiping", "* Exported to 2:5020/2",
                   "* Exported to 2:5020/3"};
    };
    Lines expected = accepted("A");
    for (const char* line : {"* Processing B.TIC", "$ Area : PELIX.TEST", "$ File : B.ZIP",
                             "$ From : 2:5020/1", "! Password mismatch", "* Moving TIC to Bad Tics"})
      expected.push_back(line);
    const Lines c = accepted("C");
    const Lines d = accepted("D");
    expected.insert(expected.end(), c.begin(), c.end());
    Lines log = node.LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "( Erasing ticout/pxdead01.tic, no flow file names it"), 1);
    EXPECT_FALSE(node.Exists("ticout/pxdead01.tic"));
    EXPECT_TRUE(node.Exists("ticout/pxsent01.tic") && node.Exists("KEEP.TIC"));
    log.erase(log.begin(), std::find(log.begin(), log.end(), expected[0]));
    if (files_bbs_fails) {
      // A is done, B refused, C handed on but not listed; D, handled
      // before C was finished, is left whole, with no outgoing TIC.
      EXPECT_EQ(r.status, 2) << r.output;
      expected.push_back("! Can't Create FILES.BBS: No space left on device");
      expected.insert(expected.end(), d.begin(), d.begin() + 4);
      EXPECT_EQ(log, expected);
      EXPECT_EQ(node.List("ticout").size(), 5u);  // A's and C's, named by flow files
      // B's TIC, refused for its password, left its file.
      EXPECT_EQ(node.List("in"), (Lines{"B.ZIP", "C.TIC", "C.ZIP", "D.TIC", "D.ZIP"}));
      const std::string made = node.ReadFile("pelix.tix");
      EXPECT_EQ(std::count(made.begin(), made.end(), '\n'), 6);  // D's two removed
      // The next run erases none of them, and gives D's file to both links.
      r = node.Run();
      EXPECT_EQ(r.status, 0) << r.output;
      EXPECT_EQ(node.List("ticout").size(), 7u);
      EXPECT_FALSE(node.Exists("pelix.tix"));
      continue;
    }
    EXPECT_EQ(r.status, 0) << r.output;
    expected.insert(expected.end(), d.begin(), d.end());
    EXPECT_EQ(log, expected);
    EXPECT_EQ(FlowLines(node.ReadFile("out/139c0002.clo")).size(), 6u);
    EXPECT_EQ(node.ReadFile("files/PELIX.TEST/FILES.BBS"),
              "A.ZIP        A test file\r\nC.ZIP        A test file\r\n"
              "D.ZIP        A test file\r\n");
    EXPECT_EQ(node.List("in"), Lines{"B.ZIP"});
    EXPECT_FALSE(node.Exists("pelix.tix"));
  }
}

// Whatever umask the one who started pelix has, what it makes in the
// outbound and the TIC outbound is the mailer's to read.
TEST(TicForward, FilesForTheMailerAreReadableWhateverTheUmask) {
  TempNode node;
  DropForwardedArrival(node);
  FaultyEnv env;
  const mode_t umask_before = ::umask(077);
  RunResult r = RunPelixWith(env, node);
  ::umask(umask_before);
  ASSERT_EQ(r.status, 0) << r.output;
  for (const std::string& path :
       {std::string("out/139c0002.clo"), std::string("out/139c0003.hlo"),
        "ticout/" + node.List("ticout").at(0)}) {
    struct stat st {};
    ASSERT_EQ(::stat(node.Path(path).c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mode & 0444, 0444u) << path;
  }
}

// A sysop's clean-up of "*.bsy" in the outbound while a run hands files on
// takes our flags and the file they are linked from: every later flow line
// still goes into its flow file under a flag of ours, made again (the
// FaultyEnv stops a run that writes one without).
TEST(TicForward, BusyFlagsRemovedMidRunAreMadeAgainBeforeAnyLine) {
  TempNode node;
  DropForwardedArrival(node);
  DropArrival(node, "C.TIC", "C.ZIP", "c", TicLines("C.ZIP", "c"));
  FaultyEnv env;
  bool cleaned = false;
  env.AfterWrite([&](const std::string& path) {
    if (cleaned || path.find("139c0003.hlo") == std::string::npos) return;
    cleaned = true;
    for (const std::string& name : node.List("out"))
      if (name.ends_with(".bsy")) ::unlink(node.Path("out/" + name).c_str());
  });
  RunResult r = RunPelixWith(env, node);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(FlowLines(node.ReadFile("out/139c0002.clo")).size(), 4u);
  EXPECT_EQ(FlowLines(node.ReadFile("out/139c0003.hlo")).size(), 4u);
  EXPECT_EQ(node.List("out"), (Lines{"139c0002.clo", "139c0003.hlo"}));
  EXPECT_EQ(node.List("in"), Lines{});
}

// The mailer starts calling 2:5020/3 just after A's lines for 2:5020/2 are
// written, and, while pelix waits, sends them and removes that flow file.
class MailerBetweenExports : public FaultyEnv {
 public:
  explicit MailerBetweenExports(TempNode& node) : node_(node) { UseFakeClock(1600000000); }
  platform::FilePtr Open(const std::string& path, platform::OpenMode mode,
                         bool* exists = nullptr) override {
    if (!calling_ && path.find("139c0002.clo") != std::string::npos) {
      calling_ = true;
      node_.WriteFile("out/139c0003.csy", "");
    }
    return FaultyEnv::Open(path, mode, exists);
  }
  void SleepMilliseconds(int milliseconds) override {
    ::unlink(node_.Path("out/139c0003.csy").c_str());
    ::unlink(node_.Path("out/139c0002.clo").c_str());
    FaultyEnv::SleepMilliseconds(milliseconds);
  }

 private:
  TempNode& node_;
  bool calling_ = false;
};

// A flow file stays open from one TIC of a group to the next only while our
// busy flag stands: once the flag goes, the mailer may remove the file, and
// later lines must go into a new one, not after the removed one's.
TEST(TicForward, FlowFilesOfAGroupAreClosedBeforeTheirFlagsGo) {
  TempNode node;
  DropForwardedArrival(node);
  DropArrival(node, "C.TIC", "C.ZIP", "c", TicLines("C.ZIP", "c"));
  MailerBetweenExports env(node);
  RunResult r = RunPelixWith(env, node);
  ASSERT_EQ(r.status, 0) << r.output;
  // A's lines went with the removed file; C's are in a new one.
  const Lines flow = FlowLines(node.ReadFile("out/139c0002.clo"));
  ASSERT_EQ(flow.size(), 2u);
  EXPECT_EQ(flow[0], node.dir() + "queue/C.ZIP");
  EXPECT_EQ(FlowLines(node.ReadFile("out/139c0003.hlo")).size(), 4u);
}

TEST(TicForward, EchoWithMoreLinksThanFilesOpenAtOnceReachesEveryLink) {
  // Room for the flow files kept open through a group and pelix's own
  // files, not for one flow file per link.
  constexpr int kLinks = 120;
  constexpr rlim_t kOpenFiles = 100;
  TempNode node;
  node.MakeDir("ticout");
  std::string echo =
      "[echo]\ntag = PELIX.TEST\ndescription = Test echo\nlink = 2:5020/1 receive send\n";
  std::string links = "[link]\naddress = 2:5020/1\ntic_password = TICPW\n";
  for (int l = 1; l <= kLinks; ++l) {
    echo += Format("link = 2:5021/%d send\n", l);
    links += Format("[link]\naddress = 2:5021/%d\nflavour = c\n", l);
  }
  node.WriteConfig(BasicConfigText() + echo + links);
  for (const std::string name : {"A", "B"})
    DropArrival(node, name + ".TIC", name + ".ZIP", name, TicLines(name + ".ZIP", name));
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  struct rlimit lowered = saved;
  lowered.rlim_cur = std::min(saved.rlim_cur, kOpenFiles);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  RunResult r = node.Run();  // the run inherits the limit
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
  ASSERT_EQ(r.status, 0) << r.output;
  for (int l = 1; l <= kLinks; ++l)
    EXPECT_EQ(FlowLines(node.ReadFile(Format("out/139d%04x.clo", l))).size(), 4u) << l;
}

TEST(TicForward, GivingUpAtABusyLinkHandsTheTicToNoLink) {
  TempNode node;
  DropForwardedArrival(node);
  node.WriteFile("out/139c0003.csy", "");  // the mailer is calling the second link
  FaultyEnv clock;
  clock.UseFakeClock(1600000000);  // ten minutes of waiting take no time
  RunResult r = RunPelixWith(clock, node);
  EXPECT_EQ(r.status, 2) << r.output;
  // Ten seconds into the wait the log says what the run is waiting for.
  EXPECT_EQ(AfterHeader(node), (Lines{"* Waiting for busy node 2:5020/3",
                                      "! Node 2:5020/3 stays busy, giving up"}));
  EXPECT_EQ(node.List("out"), Lines{"139c0003.csy"});
  EXPECT_EQ(node.List("ticout"), Lines{});
  EXPECT_EQ(node.List("in"), (Lines{"A.TIC", "FILE.ZIP"}));
  // Once the mailer is done, the next run gives each link the file once.
  ASSERT_TRUE(platform::DefaultEnv().DeleteFile(node.Path("out/139c0003.csy")));
  r = node.Run();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(FlowLines(node.ReadFile("out/139c0002.clo")).size(), 2u);
  EXPECT_EQ(FlowLines(node.ReadFile("out/139c0003.hlo")).size(), 2u);
  EXPECT_EQ(node.List("in"), Lines{});
}

// A TIC whose link stays busy does not hold up the TICs before it: they are
// finished before the wait, not at the end of it.
TEST(TicForward, TicsBeforeABusyLinkAreDoneBeforeTheWait) {
  TempNode node;
  DropForwardedArrival(node);
  node.WriteConfig(BasicConfigText() + kThreeLinks +
                   "[echo]\ntag = OTHER\nlink = 2:5020/1 receive send\nlink = 2:5020/4 send\n"
                   "[link]\naddress = 2:5020/4\n");
  DropArrival(node, "B.TIC", "B.ZIP", "b", TicLines("B.ZIP", "b", "OTHER"));
  node.WriteFile("out/139c0004.csy", "");  // the mailer is calling B's link
  FaultyEnv clock;
  clock.UseFakeClock(1600000000);
  RunResult r = RunPelixWith(clock, node);
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_EQ(node.List("in"), (Lines{"B.TIC", "B.ZIP"}));
  EXPECT_EQ(FlowLines(node.ReadFile("out/139c0003.hlo")).size(), 2u);
  // "* dd Mon hh:mm:ss PELX ...": A's last export is logged ten minutes
  // before the run gives up on B.
  std::string exported, given_up;
  for (const std::string& line : node.LogLines()) {
    if (line.find("Exported to 2:5020/3") != std::string::npos) exported = line.substr(9, 5);
    if (line.find("stays busy, giving up") != std::string::npos) given_up = line.substr(9, 5);
  }
  EXPECT_FALSE(exported.empty());
  EXPECT_NE(exported, given_up);
}

TEST(TicForward, LinkWhoseFlowFileNamesThisFilesQueueCopyIsNotSentItAgain) {
  // A run killed after it served 2:5020/2 left the queue copy and the lines.
  struct Case {
    std::string queued;
    Lines after_header;
    size_t crash_lines;
  } cases[] = {
      {kContents,
       {"* Node 2:5020/1 is already in SEEN-BY, skiping",
        "* Node 2:5020/2 has this file already, skiping", "* Exported to 2:5020/3"},
       2},
      // Another file of that name is no copy of this one.
      {"an older file of the same name",
       {"* Node 2:5020/1 is already in SEEN-BY, skiping", "* Exported to 2:5020/2",
        "* Exported to 2:5020/3"},
       4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.queued);
    TempNode node;
    node.MakeDir("ticout");
    node.WriteConfig(BasicConfigText() + kThreeLinks);
    node.WriteFile("queue/FILE.ZIP", c.queued);
    node.WriteFile("ticout/px000001.tic", "Area PELIX.TEST\r\n");
    node.WriteFile("out/139c0002.clo", "queue/FILE.ZIP\r\n^ticout/px000001.tic\r\n");
    DropArrival(node, "A.TIC", "FILE.ZIP", kContents, TicLines("FILE.ZIP", kContents));
    RunResult r = node.Run();
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(AfterHeader(node), c.after_header);
    EXPECT_EQ(FlowLines(node.ReadFile("out/139c0002.clo")).size(), c.crash_lines);
    EXPECT_EQ(FlowLines(node.ReadFile("out/139c0003.hlo")).size(), 2u);
  }
}

}  // namespace

namespace {

TEST(TicForward, SecondFileOfTheSameNameNeverReplacesACopyStillToBeSent) {
  TempNode node;
  node.MakeDir("ticout");
  node.MakeDir("queue/keep");  // a subdirectory of the sysop's
  node.WriteConfig(BasicConfigText() + kThreeLinks);
  for (const char* contents : {"first", "second", "third"}) {
    DropArrival(node, "A.TIC", "SAME.ZIP", contents, TicLines("SAME.ZIP", contents));
    ASSERT_EQ(node.Run().status, 0);
  }
  EXPECT_EQ(node.ReadFile("queue/SAME.ZIP"), "first");
  EXPECT_EQ(node.ReadFile("queue/px0001/SAME.ZIP"), "second");
  EXPECT_EQ(node.ReadFile("queue/px0002/SAME.ZIP"), "third");
  const Lines flow = FlowLines(node.ReadFile("out/139c0002.clo"));
  ASSERT_EQ(flow.size(), 6u);
  EXPECT_EQ(flow[2], node.dir() + "queue/px0001/SAME.ZIP");
  EXPECT_NE(node.ReadFile(flow[3].substr(1 + node.dir().size())).find("Crc " + CrcText("second")),
            std::string::npos);
  // Once the mailer has sent everything the copies and their numbered
  // subdirectories go; the sysop's subdirectory stays.
  ASSERT_TRUE(platform::DefaultEnv().DeleteFile(node.Path("out/139c0002.clo")));
  ASSERT_TRUE(platform::DefaultEnv().DeleteFile(node.Path("out/139c0003.hlo")));
  ASSERT_EQ(node.Run().status, 0);
  EXPECT_EQ(node.List("queue"), Lines{"keep"});
}

TEST(TicForward, TicThatPassedUsAlreadyIsADupe) {
  for (const char* path : {"Path 2:5020/100 1600000100 Sun Sep 13 12:28:20 2020 UTC+0300",
                           "Path 2:5020/101 1600000100 Sun Sep 13 12:28:20 2020 UTC+0300"}) {
    SCOPED_TRACE(path);
    TempNode node;
    node.MakeDir("ticout");
    node.WriteConfig(BasicConfigText() + kThreeLinks);
    Lines tic = TicLines("FILE.ZIP", kContents);
    tic.insert(tic.begin() + 7, path);  // our own Path line, the file came back
    DropArrival(node, "A.TIC", "FILE.ZIP", kContents, tic);
    ASSERT_EQ(node.Run().status, 0);
    EXPECT_EQ(AfterHeader(node),
              (Lines{"! Dupe, FILE.ZIP has passed us already", "* Moving TIC to Bad Tics"}));
    EXPECT_EQ(BadTics(node), (Lines{"A.TIC", "FILE.ZIP"}));
    EXPECT_FALSE(node.Exists("out"));
    EXPECT_FALSE(node.Exists("files/PELIX.TEST"));
  }
}

}  // namespace
