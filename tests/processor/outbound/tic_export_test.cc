// Handing an accepted file to one link: flow-file lines, the outgoing TIC,
// the busy flag around both.
#include "processor/outbound/tic_export.h"

#include <cstdlib>
#include <ctime>
#include <set>
#include <utility>

#include "platform/exit_cleanup.h"
#include "processor/log.h"
#include "processor/outbound/outbound_session.h"
#include "tests/processor/loaded_node.h"
#include "tests/support/faulty_env.h"

namespace {

const char kLinks[] =
    "[echo]\ntag = PELIX.FILES\n"
    "link = 2:5020/1 receive send\nlink = 2:5020/2 send\nlink = 2:5020/3 send\n"
    "link = 2:5020/4 send\nlink = 2:5020/6 send\nlink = 2:5020/7 receive\n"
    "link = 2:5020/5.1 send\n"
    "[link]\naddress = 2:5020/1\nflavour = c\ntic_password = SECRET\n"
    "[link]\naddress = 2:5020/2\nflavour = d\nfrom_address = 2:5020/100.1\n"
    "[link]\naddress = 2:5020/3\nflavour = f\n"
    "[link]\naddress = 2:5020/4\nflavour = h\npassive = 1\n"
    "[link]\naddress = 2:5020/7\nflavour = f\n"
    "[link]\naddress = 2:5020/5.1\nflavour = i\n";

// 2020-09-13 12:26:40 UTC, a Sunday.
constexpr int64_t kNow = 1600000000;

class TicExportTest : public LoadedNodeTest {
 protected:
  void SetUp() override {
    LoadedNodeTest::SetUp();
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    env_.UseFakeClock(kNow);
  }
  void TearDown() override {
    (void)outbound_.ReleaseAll(log());
    made_.End(log());
    LoadedNodeTest::TearDown();
  }
  void LoadNode(const std::string& config = BasicConfigText()) {
    node_.MakeDir("ticout");
    node_.WriteFile("queue/FILE.ZIP", "data");
    Load(config + kLinks);
    job_.emplace(env_, log(), "in/A.TIC");
    TicRecord& tic = job_->tic;
    tic.area = "Pelix.Files";
    tic.file = "FILE.ZIP";
    tic.crc = "DEADBEEF";
    tic.from = "2:5020/9";
  }
  void FullTic() {
    TicRecord& tic = job_->tic;
    tic.areadesc = "Test files";
    tic.origin = "2:5020/9";
    tic.desc = "A  test file";
    tic.ldesc = {"line one", "line two"};
    tic.crc = "1234abcd";
    tic.replaces = "OLD.ZIP";
    tic.magic = "LATEST";
    tic.created = "by hand";
    tic.path = {"2:5020/9 1599999000 Sun Sep 13 12:10:00 2020 UTC+0300"};
    tic.seenby = {"2:5020/9", "2:5020/3"};
    tic.pw = "old";
    tic.to = "2:5020/100";
  }
  const FileEchoRecord& Echo() { return *config_.FindFileEcho("PELIX.FILES"); }
  EchoLinkEntry EntryOf(const std::string& address) {
    EchoLinkEntry entry{address, 0, 1};
    if (const EchoLinkEntry* listed = FindEchoLink(Echo(), ParseAddress(address))) entry = *listed;
    return entry;
  }
  // What the inbound pass does for one selected entry: the status the
  // export ends the run with, 0 when the run goes on.
  int Export(const std::string& address) {
    const LinkRecord* link = config_.FindLink(ParseAddress(address));
    EXPECT_NE(link, nullptr) << address;
    const EchoLinkEntry entry = EntryOf(address);
    const std::string domain = DomainPart(address);
    std::optional<std::string> base = outbound_.Base(log(), ParseAddress(address), domain);
    EXPECT_TRUE(base.has_value());
    if (!link || !base) return -1;
    const RunStatus exported = exporter_.Export(*job_, entry, domain, *base, *link, Echo());
    (void)outbound_.ReleaseAll(log());  // as the end of a run does
    return exported.ends() ? exported.exit_status() : 0;
  }

  OutboundSession outbound_{env_, platform::ExitCleanup::OfProcess()};
  MadeTics made_{env_};
  Serials serials_{env_};
  TicExporter exporter_{env_, outbound_, made_, serials_};
  std::optional<TicJob> job_;
};

TEST_F(TicExportTest, OutgoingTicHoldsEveryLineInOrder) {
  LoadNode();
  FullTic();
  Export("2:5020/1");
  EXPECT_EQ(node_.List("ticout"), std::vector<std::string>{"px000000.tic"});
  EXPECT_EQ(node_.ReadFile("ticout/px000000.tic"),
            "Area Pelix.Files\r\n"
            "Areadesc Test files\r\n"
            "Origin 2:5020/9\r\n"
            "From 2:5020/100\r\n"
            "File FILE.ZIP\r\n"
            "Desc A  test file\r\n"
            "Ldesc line one\r\n"
            "Ldesc line two\r\n"
            "Crc 1234abcd\r\n"
            "Replaces OLD.ZIP\r\n"
            "Magic LATEST\r\n"
            "Created by hand\r\n"
            "Path 2:5020/9 1599999000 Sun Sep 13 12:10:00 2020 UTC+0300\r\n"
            "Path 2:5020/100 1600000000 Sun Sep 13 12:26:40 2020 UTC+0300\r\n"
            "Seenby 2:5020/9\r\n"
            "Seenby 2:5020/3\r\n"
            "Seenby 2:5020/1\r\n"
            "Seenby 2:5020/2\r\n"
            "Seenby 2:5020/4\r\n"
            "Seenby 2:5020/5.1\r\n"
            "Seenby 2:5020/100\r\n"
            "Pw SECRET\r\n");
  EXPECT_EQ(node_.LogMessages(), std::vector<std::string>{"* Exported to 2:5020/1"});
}

TEST_F(TicExportTest, EmptyFieldsKeepOnlyTheLinesThatAreAlwaysWritten) {
  LoadNode();
  Export("2:5020/2");  // from_address set, no TIC password
  EXPECT_EQ(node_.ReadFile("ticout/px000000.tic"),
            "Area Pelix.Files\r\n"
            "Origin \r\n"
            "From 2:5020/100.1\r\n"
            "File FILE.ZIP\r\n"
            "Desc \r\n"
            "Crc DEADBEEF\r\n"
            "Created \r\n"
            "Path 2:5020/100.1 1600000000 Sun Sep 13 12:26:40 2020 UTC+0300\r\n"
            "Seenby 2:5020/1\r\n"
            "Seenby 2:5020/2\r\n"
            "Seenby 2:5020/3\r\n"
            "Seenby 2:5020/4\r\n"
            "Seenby 2:5020/5.1\r\n"
            "Seenby 2:5020/100.1\r\n");
}

TEST_F(TicExportTest, OwnPathLineCarriesTheConfiguredUtcOffset) {
  LoadNode();
  struct Case {
    int32_t offset;
    const char* tail;
  } cases[] = {{3, "2020 UTC+0300\r\n"}, {-5, "2020 UTC-0500\r\n"},
               {0, "2020 UTC+0000\r\n"}, {-11, "2020 UTC-1100\r\n"},
               {12, "2020 UTC+1200\r\n"}};
  for (const Case& c : cases) {
    config_.main.utc_offset = c.offset;
    job_->tic.seenby = {"2:5020/1", "2:5020/2", "2:5020/3", "2:5020/4", "2:5020/5.1"};
    Export("2:5020/3");
    std::vector<std::string> names = node_.List("ticout");
    std::string text = node_.ReadFile("ticout/" + names.back());
    std::string own = "Path 2:5020/100 1600000000 Sun Sep 13 12:26:40 " + std::string(c.tail);
    ASSERT_GE(text.size(), own.size());
    // Our Path line comes right before the received Seenby lines.
    EXPECT_NE(text.find(own + "Seenby 2:5020/1\r\n"), std::string::npos) << text;
  }
}

TEST_F(TicExportTest, EachFlavourGetsItsFlowFileNamingQueueCopyAndTic) {
  LoadNode();
  struct Case {
    const char* address;
    const char* flow;
  } cases[] = {{"2:5020/1", "out/139c0001.clo"},
               {"2:5020/2", "out/139c0002.dlo"},
               {"2:5020/3", "out/139c0003.flo"},
               {"2:5020/4", "out/139c0004.hlo"},
               {"2:5020/5.1", "out/139c0005.pnt/00000001.ilo"}};
  int n = 0;
  for (const Case& c : cases) {
    Export(c.address);
    EXPECT_EQ(node_.ReadFile(c.flow), node_.dir() + "queue/FILE.ZIP\r\n" +
                                          Format("^%sticout/px%06d.tic\r\n", node_.dir().c_str(), n++))
        << c.address;
  }
  // Both flags of every destination are gone again.
  for (const char* dir : {"out", "out/139c0005.pnt"})
    for (const std::string& name : node_.List(dir))
      EXPECT_EQ(name.find("sy"), std::string::npos) << dir << "/" << name;
  EXPECT_EQ(node_.List("ticout").size(), 5u);
}

TEST_F(TicExportTest, FlowFileIsAppendedToNeverRewritten) {
  LoadNode();
  // Another tool's last line may lack its line end: it is ended first.
  const struct {
    const char* before;
    const char* kept;
  } cases[] = {{"^/var/spool/other.pkt\r\n", "^/var/spool/other.pkt\r\n"},
               {"/x/OTHER.PKT", "/x/OTHER.PKT\r\n"},
               {"/x/OTHER.PKT\r", "/x/OTHER.PKT\r\n"},
               {"/x/OTHER.PKT\n", "/x/OTHER.PKT\n"}};
  int n = 0;
  for (const auto& c : cases) {
    node_.WriteFile("out/139c0001.clo", c.before);
    Export("2:5020/1");
    EXPECT_EQ(node_.ReadFile("out/139c0001.clo"),
              c.kept + node_.dir() + "queue/FILE.ZIP\r\n^" + node_.dir() +
                  Format("ticout/px%06d.tic\r\n", n++))
        << c.before;
  }
}

TEST_F(TicExportTest, FlowLinesNameFilesAsTheyLieOnDisk) {
  std::string config = BasicConfigText();
  config.replace(config.find("queue_dir = queue/"), 18, "queue_dir = Queue\\");
  config.replace(config.find("tic_outbound_dir = ticout/"), 26, "tic_outbound_dir = TicOut\\");
  LoadNode(config);
  job_->tic.file = "file.zip";  // the queue copy is FILE.ZIP
  Export("2:5020/1");
  // Absolute, since the mailer resolves a relative line against its own
  // directory.
  EXPECT_EQ(node_.ReadFile("out/139c0001.clo"),
            node_.dir() + "queue/FILE.ZIP\r\n^" + node_.dir() + "ticout/px000000.tic\r\n");
}

TEST_F(TicExportTest, ManyExportsInOneSecondNeverReuseOrOverwriteATic) {
  LoadNode();
  node_.WriteFile("ticout/px000000.tic", "keep 0");
  node_.WriteFile("ticout/PX000002.TIC", "keep 2");
  for (int i = 0; i < 30; ++i) Export("2:5020/1");
  EXPECT_EQ(node_.ReadFile("ticout/px000000.tic"), "keep 0");
  EXPECT_EQ(node_.ReadFile("ticout/PX000002.TIC"), "keep 2");
  std::vector<std::string> names = node_.List("ticout");
  ASSERT_EQ(names.size(), 32u);
  std::string flow = node_.ReadFile("out/139c0001.clo");
  std::set<std::string> named;
  for (size_t at = flow.find('^'); at != std::string::npos; at = flow.find('^', at + 1))
    named.insert(flow.substr(at, flow.find('\r', at) - at));
  EXPECT_EQ(named.size(), 30u);
  EXPECT_EQ(named.count("^" + node_.dir() + "ticout/px000000.tic"), 0u);
  EXPECT_EQ(named.count("^" + node_.dir() + "ticout/px000002.tic"), 0u);
  EXPECT_EQ(named.count("^" + node_.dir() + "ticout/px000031.tic"), 1u);
}

TEST_F(TicExportTest, WaitsWhileTheMailerHoldsTheDestination) {
  LoadNode();
  for (const char* flag : {"out/139c0001.bsy", "out/139c0001.csy", "out/139C0001.BSY"}) {
    ASSERT_TRUE(platform::DefaultEnv().MakeDirectory("out"));
    node_.WriteFile(flag, "");
    // The mailer ends its session while pelix waits.
    bool untouched_while_busy = false;
    bool ended = false;
    env_.OnSleep([&] {
      if (std::exchange(ended, true)) return;
      untouched_while_busy = !platform::DefaultEnv().Exists("out/139c0001.clo");
      EXPECT_TRUE(platform::DefaultEnv().DeleteFile(flag));
    });
    ASSERT_EQ(Export("2:5020/1"), 0);
    EXPECT_TRUE(untouched_while_busy) << flag;
    EXPECT_TRUE(node_.Exists("out/139c0001.clo")) << flag;
    EXPECT_EQ(node_.List("out"), std::vector<std::string>{"139c0001.clo"}) << flag;
    ASSERT_TRUE(platform::DefaultEnv().DeleteFile("out/139c0001.clo"));
  }
  env_.OnSleep(nullptr);
}

TEST_F(TicExportTest, FlagThatNeverGoesStopsTheRunAndTouchesNothing) {
  LoadNode();
  ASSERT_TRUE(platform::DefaultEnv().MakeDirectory("out"));
  node_.WriteFile("out/139c0001.bsy", "mailer");
  // Ten minutes of waiting on a clock that moves only while pelix sleeps
  // between its looks at the flag.
  EXPECT_EQ(Export("2:5020/1"), 2);
  // Said once ten seconds into the wait, given up ten minutes after 12:26:40.
  EXPECT_EQ(node_.LogLines(),
            (std::vector<std::string>{"* 13 Sep 12:26:50 PELX Waiting for busy node 2:5020/1",
                                      "! 13 Sep 12:36:40 PELX Node 2:5020/1 stays busy, giving up"}));
  EXPECT_EQ(node_.List("out"), std::vector<std::string>{"139c0001.bsy"});
  EXPECT_EQ(node_.ReadFile("out/139c0001.bsy"), "mailer");
  EXPECT_TRUE(node_.List("ticout").empty());
}

TEST_F(TicExportTest, UnopenableFlowFileStopsWithStatusTwoAndClearsOurFlag) {
  LoadNode();
  node_.MakeDir("out/139c0001.clo");  // a directory where the flow file goes
  EXPECT_EQ(Export("2:5020/1"), 2);
  EXPECT_EQ(node_.LogMessages(),
            std::vector<std::string>{
                "! Can't modify bink outbound out/139c0001.clo: Is a directory"});
  EXPECT_EQ(node_.List("out"), std::vector<std::string>{"139c0001.clo"});
  EXPECT_TRUE(node_.List("ticout").empty());
}

TEST_F(TicExportTest, MissingTicOutboundIsCreated) {
  std::string config = BasicConfigText();
  config.replace(config.find("ticout/"), 7, "missing/");
  LoadNode(config);
  Export("2:5020/1");
  EXPECT_EQ(node_.List("missing").size(), 1u);
  EXPECT_EQ(node_.List("out"), std::vector<std::string>{"139c0001.clo"});
}

TEST_F(TicExportTest, UncreatableTicStopsWithStatusThreeAndClearsOurFlag) {
  std::string config = BasicConfigText();
  config.replace(config.find("ticout/"), 7, "blocker/");
  LoadNode(config);
  node_.WriteFile("blocker", "a file where the TIC outbound should be");
  EXPECT_EQ(Export("2:5020/1"), 3);
  EXPECT_EQ(node_.LogMessages(),
            std::vector<std::string>{"! Can't create TIC file: Not a directory"});
  // No flow line names a TIC that is not there.
  EXPECT_TRUE(node_.List("out").empty());
}

TEST_F(TicExportTest, FailedWriteLeavesNeitherFlowLinesNorTic) {
  struct Case {
    FaultyEnv::Op op;
    const char* path_part;
    int status;
    const char* message;
  } cases[] = {{FaultyEnv::Op::kWrite, "ticout/", 3,
                "! Can't create TIC file: No space left on device"},
               {FaultyEnv::Op::kSync, "ticout/", 3,
                "! Can't create TIC file: No space left on device"},
               {FaultyEnv::Op::kWrite, ".clo", 2,
                "! Can't modify bink outbound out/139c0001.clo: No space left on device"},
               {FaultyEnv::Op::kCreate, ".clo", 2,
                "! Can't modify bink outbound out/139c0001.clo: No space left on device"}};
  LoadNode();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    node_.WriteFile("out/139c0001.clo", "^/var/spool/other.pkt\r\n");
    env_.ClearFailures();
    env_.Fail(c.op, 1, c.path_part, 1);
    EXPECT_EQ(Export("2:5020/1"), c.status);
    EXPECT_EQ(node_.LogMessages().back(), c.message);
    // A half-written append is cut back off; the TIC no line names is gone.
    EXPECT_EQ(node_.ReadFile("out/139c0001.clo"), "^/var/spool/other.pkt\r\n");
    EXPECT_EQ(node_.List("out"), std::vector<std::string>{"139c0001.clo"});
    EXPECT_TRUE(node_.List("ticout").empty());
  }
}

// The outgoing TICs written ahead for a group's flush are each taken by the
// export of the entry they were written for, whatever the order of the
// exports: a link never gets another link's TIC, with its password.
TEST_F(TicExportTest, PreparedTicGoesToTheLinkItWasWrittenFor) {
  LoadNode();
  const FileEchoRecord& echo = Echo();
  std::vector<ExportTarget> targets;
  for (const char* address : {"2:5020/1", "2:5020/3"})
    targets.push_back({FindEchoLink(echo, ParseAddress(address)),
                       config_.FindLink(ParseAddress(address))});
  exporter_.Prepare(*job_, targets, echo);
  ASSERT_EQ(node_.List("ticout").size(), 2u);
  ASSERT_EQ(Export("2:5020/3"), 0);
  ASSERT_EQ(Export("2:5020/1"), 0);
  EXPECT_EQ(node_.List("ticout").size(), 2u);  // each took one made ahead
  auto tic_of = [&](const char* flow) {
    const std::string lines = node_.ReadFile(flow);
    const size_t at = lines.find('^') + 1 + node_.dir().size();
    return node_.ReadFile(lines.substr(at, lines.find('\r', at) - at));
  };
  EXPECT_EQ(tic_of("out/139c0003.flo").find("Pw "), std::string::npos);
  EXPECT_NE(tic_of("out/139c0001.clo").find("Pw SECRET\r\n"), std::string::npos);
}

TEST_F(TicExportTest, UnusableFlavourIsHandledAsNormal) {
  LoadNode();
  for (LinkRecord& link : config_.link_list)
    if (link.address == "2:5020/1") link.flavour = '\0';
  Export("2:5020/1");
  EXPECT_TRUE(node_.Exists("out/139c0001.flo"));
}

}  // namespace
