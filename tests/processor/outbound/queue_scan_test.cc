// Erasing queue copies once no flow file of any outbound names them.
#include <unistd.h>

#include <cerrno>

#include "platform/exit_cleanup.h"
#include "processor/outbound/outbound_session.h"
#include "processor/outbound/queue_scan.h"
#include "processor/outbound/tic_export.h"
#include "tests/processor/loaded_node.h"
#include "tests/support/faulty_env.h"

namespace {

const char kSecondDomain[] =
    "[domain]\nname = @othernet\noutbound_dir = net/other\nzone_list = 99\n";

class QueueScanTest : public LoadedNodeTest {
 protected:
  void TearDown() override {
    (void)outbound_.ReleaseAll(log());
    LoadedNodeTest::TearDown();
  }
  void ScanQueue() { ::ScanQueue(env_, log(), outbound_); }

  OutboundSession outbound_{env_, platform::ExitCleanup::OfProcess()};
  std::vector<std::string> Erased() {
    std::vector<std::string> erased;
    for (const std::string& m : node_.LogMessages())
      if (m.rfind("( ", 0) == 0) erased.push_back(m);
    return erased;
  }
};

TEST_F(QueueScanTest, KeepsWhatAnyFlowFileNamesAndErasesTheRest) {
  for (const char* name : {"A.ZIP", "B.ZIP", "C.ZIP", "D.ZIP", "E.ZIP", "F.ZIP", "G.ZIP",
                           "H.ZIP", "I.ZIP", "sub/J.ZIP"})
    node_.WriteFile(std::string("queue/") + name, name);
  node_.WriteFile("out/139c0001.clo", "^QUEUE/a.zip\r\n^ticout/px000001.tic\r\n");
  node_.WriteFile("out.001/00170004.flo", "#queue/B.ZIP\r\n");
  node_.WriteFile("out/139c0005.pnt/00000001.hlo", "queue/c.ZIP");  // no line end
  node_.WriteFile("out/139c0002.ilo", "~queue/D.ZIP\r\n");
  node_.WriteFile("net/other.063/00010001.DLO", "queue\\F.ZIP\n");
  node_.WriteFile("net/other.063/00010001.pnt/00000002.flo", "^queue/G.ZIP\r\n");
  node_.WriteFile("out/139c0003.txt", "queue/H.ZIP\r\n");
  node_.WriteFile("elsewhere/00010001.flo", "queue/I.ZIP\r\n");
  Load(BasicConfigText() + kSecondDomain);
  ScanQueue();
  EXPECT_EQ(Erased(), (std::vector<std::string>{"( Erasing sent passtrought file queue/D.ZIP",
                                                "( Erasing sent passtrought file queue/E.ZIP",
                                                "( Erasing sent passtrought file queue/H.ZIP",
                                                "( Erasing sent passtrought file queue/I.ZIP"}));
  EXPECT_EQ(node_.List("queue"),
            (std::vector<std::string>{"A.ZIP", "B.ZIP", "C.ZIP", "F.ZIP", "G.ZIP", "sub"}));
  EXPECT_TRUE(node_.Exists("queue/sub/J.ZIP"));
  // Nothing else was touched: the flow files stay as they were.
  EXPECT_EQ(node_.ReadFile("out/139c0002.ilo"), "~queue/D.ZIP\r\n");

  ScanQueue();  // a second scan finds nothing more to erase
  EXPECT_EQ(Erased().size(), 4u);
}

TEST_F(QueueScanTest, AbsoluteAndEarlierRelativeLinesBothProtectTheirCopy) {
  for (const char* name : {"ABS.ZIP", "REL.ZIP", "DOT.ZIP", "OTHER.ZIP", "px0001/SUB.ZIP",
                           "px0002/SENT.ZIP", "PX0003/up.zip"})
    node_.WriteFile(std::string("queue/") + name, name);
  node_.WriteFile("out/139c0001.flo", node_.dir() + "queue/ABS.ZIP\r\nqueue/REL.ZIP\r\n" +
                                          node_.dir() + "./queue//dot.zip\r\n/elsewhere/queue/OTHER.ZIP\r\n" +
                                          "^" + node_.dir() + "queue/px0001/SUB.ZIP\r\n" +
                                          node_.dir() + "queue/px0003/UP.ZIP\r\n");
  Load(BasicConfigText());
  ScanQueue();
  EXPECT_EQ(Erased(),
            (std::vector<std::string>{"( Erasing sent passtrought file queue/OTHER.ZIP",
                                      "( Erasing sent passtrought file queue/px0002/SENT.ZIP"}));
  EXPECT_EQ(node_.List("queue"), (std::vector<std::string>{"ABS.ZIP", "DOT.ZIP", "PX0003",
                                                           "REL.ZIP", "px0001"}));
}

TEST_F(QueueScanTest, UnreadableFlowFileLeavesTheWholeQueueAlone) {
  node_.WriteFile("queue/A.ZIP", "a");
  node_.WriteFile("queue/B.ZIP", "b");
  node_.WriteFile("out/139c0001.flo", "queue/A.ZIP\r\n");
  // A flow file the mailer holds: listed by the search, not openable.
  ASSERT_EQ(::symlink("gone-while-held", node_.Path("out/139c0002.hlo").c_str()), 0);
  Load(BasicConfigText());
  ScanQueue();
  EXPECT_EQ(node_.List("queue"), (std::vector<std::string>{"A.ZIP", "B.ZIP"}));
  EXPECT_EQ(node_.LogMessages(),
            std::vector<std::string>{"! Can't read out/139c0002.hlo, queue left alone"});
  ASSERT_EQ(::unlink(node_.Path("out/139c0002.hlo").c_str()), 0);
  ScanQueue();
  EXPECT_EQ(node_.List("queue"), std::vector<std::string>{"A.ZIP"});
}

TEST_F(QueueScanTest, LongFlowLineStillProtectsItsFile) {
  const std::string name = std::string(240, 'n') + ".zip";
  node_.WriteFile("queue/" + name, "x");
  node_.WriteFile("out/139c0001.flo", "^queue/" + name + "\r\nqueue/OTHER.ZIP\r\n");
  node_.WriteFile("queue/OTHER.ZIP", "x");
  Load(BasicConfigText());
  ScanQueue();
  EXPECT_EQ(node_.List("queue"), (std::vector<std::string>{"OTHER.ZIP", name}));
  EXPECT_TRUE(Erased().empty());
}

TEST_F(QueueScanTest, NoQueueDirectoryErasesNothing) {
  node_.WriteFile("stray.zip", "x");
  Load(BasicConfigText());
  config_.main.queue_dir = "";
  ScanQueue();
  config_.main.queue_dir = "missing/";
  ScanQueue();
  EXPECT_TRUE(node_.Exists("stray.zip"));
  EXPECT_TRUE(node_.Exists("pelix.cfg"));
  EXPECT_TRUE(Erased().empty());
}

TEST_F(QueueScanTest, QueueCopyStaysUntilTheLastLinkHasIt) {
  node_.MakeDir("ticout");
  node_.WriteFile("queue/FILE.ZIP", "data");
  Load(BasicConfigText() +
       "[echo]\ntag = E\nlink = 2:5020/1 send\nlink = 1:23/4.5 send\n"
       "[link]\naddress = 2:5020/1\nflavour = c\n"
       "[link]\naddress = 1:23/4.5\nflavour = h\n");
  MadeTics made(env_);
  Serials serials(env_);
  TicExporter exporter(env_, outbound_, made, serials);
  TicJob job(env_, log(), "in/A.TIC");
  job.tic.area = "E";
  job.tic.file = "FILE.ZIP";
  FileEchoRecord& echo = config_.fileecho_list[0];
  for (size_t i = 0; i < 2; ++i) {
    const EchoLinkEntry& entry = echo.links[i];
    std::optional<std::string> base = outbound_.Base(log(), ParseAddress(entry.address), "");
    ASSERT_TRUE(base.has_value());
    ASSERT_FALSE(exporter.Export(job, entry, "", *base, config_.link_list[i], echo).ends());
  }
  ScanQueue();
  EXPECT_TRUE(node_.Exists("queue/FILE.ZIP"));
  ASSERT_TRUE(platform::DefaultEnv().DeleteFile("out/139c0001.clo"));  // sent to the first link
  ScanQueue();
  EXPECT_TRUE(node_.Exists("queue/FILE.ZIP"));
  ASSERT_TRUE(platform::DefaultEnv().DeleteFile("out.001/00170004.pnt/00000005.hlo"));
  ScanQueue();
  EXPECT_FALSE(node_.Exists("queue/FILE.ZIP"));
  EXPECT_EQ(Erased(),
            std::vector<std::string>{"( Erasing sent passtrought file queue/FILE.ZIP"});
}

TEST_F(QueueScanTest, CopyThatCannotBeErasedIsLoggedAndTriedAgain) {
  node_.WriteFile("queue/A.ZIP", "a");
  Load(BasicConfigText());
  env_.Fail(FaultyEnv::Op::kDelete, 1, "A.ZIP", 1, EACCES);
  ScanQueue();
  EXPECT_EQ(node_.LogMessages(), (std::vector<std::string>{
                                     "( Erasing sent passtrought file queue/A.ZIP",
                                     "! Can't erase queue/A.ZIP: Permission denied"}));
  ScanQueue();
  EXPECT_EQ(node_.List("queue"), std::vector<std::string>{});
}

}  // namespace
