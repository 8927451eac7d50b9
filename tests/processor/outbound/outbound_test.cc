// Where a destination's files live in the outbound, and its busy flags.
#include "processor/outbound/outbound_layout.h"
#include "processor/outbound/outbound_session.h"

#include <chrono>
#include <csignal>
#include <thread>

#include "platform/exit_cleanup.h"
#include "processor/log.h"
#include "tests/processor/loaded_node.h"
#include "tests/support/faulty_env.h"

namespace {

// fidonet: default, main zone 2, zones 1-6; @othernet: zone 2, no main zone.
const char kTwoDomains[] =
    "[domain]\nname = @othernet\noutbound_dir = other\nzone_list = 2,255\n";

class OutboundTest : public LoadedNodeTest {
 protected:
  void TearDown() override {
    (void)outbound_.ReleaseAll(log());
    LoadedNodeTest::TearDown();
  }
  std::optional<std::string> OutboundBase(const FidoAddress& address, const std::string& domain) {
    return outbound_.Base(log(), address, domain);
  }
  bool LinkBusy(const FidoAddress& address, const std::string& domain) {
    return outbound_.LinkBusy(log(), address, domain);
  }
  BusyResult SetBusy(const FidoAddress& address, const std::string& domain) {
    return outbound_.SetBusy(log(), address, domain);
  }
  void ClearBusy(const FidoAddress& address, const std::string& domain) {
    outbound_.ClearBusy(log(), address, domain);
  }
  bool WaitWhileBusy(const FidoAddress& address, const std::string& domain, int64_t limit) {
    size_t busy = 0;
    return outbound_.WaitWhileAnyBusy(log(), {Destination{address, domain}}, limit, busy);
  }

  OutboundSession outbound_{env_, platform::ExitCleanup::OfProcess()};
};

TEST_F(OutboundTest, BaseNamesFollowZoneNetNodeAndPoint) {
  Load(BasicConfigText() + kTwoDomains);
  struct Case {
    const char* address;
    const char* expected;
  } cases[] = {
      {"2:345/6", "out/01590006"},
      {"1:23/4", "out.001/00170004"},
      {"2:345/6.7", "out/01590006.pnt/00000007"},
      {"2:5020/1@FidoNet", "out/139c0001"},
      {"2:345/6@othernet", "other.002/01590006"},
      {"255:1/1@OtherNet", "other.0ff/00010001"},
      {"21:1/100", "out.015/00010064"},
      {"4097:1/1", "out.1001/00010001"},
  };
  for (const Case& c : cases) {
    std::optional<std::string> base =
        OutboundBase(ParseAddress(c.address), DomainPart(c.address));
    ASSERT_TRUE(base.has_value()) << c.address;
    EXPECT_EQ(*base, c.expected) << c.address;
  }
  EXPECT_TRUE(node_.Exists("out.001"));
  EXPECT_TRUE(node_.Exists("other.0ff"));
  // The point's directory lies beside the node's own files, not holding them.
  EXPECT_TRUE(platform::DefaultEnv().IsDirectory("out/01590006.pnt"));
  EXPECT_FALSE(node_.Exists("out/01590006"));
}

TEST_F(OutboundTest, DomainChosenByNameThenZoneListThenDefault) {
  struct Case {
    const char* domains;
    const char* address;
    const char* expected;
  } cases[] = {
      // A named domain wins over an earlier domain that lists the zone.
      {"[domain]\nname = fidonet\noutbound_dir = a\nzone_list = 2\n"
       "[domain]\nname = @othernet\noutbound_dir = b\nzone_list = 3\n",
       "2:345/6@othernet", "b.002/01590006"},
      // The zone belongs to the first domain that lists it.
      {"[domain]\nname = A\noutbound_dir = a\nzone_list = 1,2\n"
       "[domain]\nname = B\noutbound_dir = b\nzone_list = 2\n",
       "2:1/1", "a.002/00010001"},
      // A domain without a name takes every address without a domain part.
      {"[domain]\nname = fidonet\noutbound_dir = a\nzone_list = 2\n"
       "[domain]\noutbound_dir = plain\nhas_main_zone = 1\nmain_zone = 2\n",
       "2:1/1", "plain/00010001"},
      // Nothing fits by name or zone: the first default domain.
      {"[domain]\nname = A\noutbound_dir = a\nzone_list = 1\n"
       "[domain]\nname = B\noutbound_dir = b\nis_default = 1\n"
       "[domain]\nname = C\noutbound_dir = c\nis_default = 1\n",
       "7:1/1@unknown", "b.007/00010001"},
  };
  for (const Case& c : cases) {
    std::string config = BasicConfigText();
    config = config.substr(0, config.find("[domain]")) + c.domains;
    Load(config);
    std::optional<std::string> base =
        OutboundBase(ParseAddress(c.address), DomainPart(c.address));
    ASSERT_TRUE(base.has_value()) << c.domains;
    EXPECT_EQ(*base, c.expected) << c.domains;
  }
}

TEST_F(OutboundTest, NoFittingDomainGivesNoDirectoryAndSaysSo) {
  std::string config = BasicConfigText();
  Load(config.substr(0, config.find("[domain]")) +
       "[domain]\nname = A\noutbound_dir = a\nzone_list = 1\n");
  EXPECT_FALSE(OutboundDirectory(log(), ParseAddress("2:1/1"), "").has_value());
  EXPECT_FALSE(OutboundBase(ParseAddress("2:1/1.5"), "@x").has_value());
  EXPECT_EQ(node_.List(""), (std::vector<std::string>{"netmail", "pelix.cfg", "pelix.dmn",
                                                      "pelix.fe", "pelix.log", "pelix.nod"}));
  EXPECT_EQ(node_.LogMessages(),
            (std::vector<std::string>{"! No default domain", "! No default domain"}));
}

TEST_F(OutboundTest, DomainWithoutOutboundGivesNoDirectoryAndSaysSo) {
  std::string config = BasicConfigText();
  // A blank domain takes every address without a domain part by its name.
  Load(config.substr(0, config.find("[domain]")) +
       "[domain]\nhas_main_zone = 1\nmain_zone = 2\n"
       "[domain]\nname = fidonet\noutbound_dir = out\nis_default = 1\n");
  EXPECT_FALSE(OutboundBase(ParseAddress("2:345/6"), "").has_value());
  EXPECT_FALSE(OutboundBase(ParseAddress("1:23/4.5"), "").has_value());
  EXPECT_EQ(*OutboundBase(ParseAddress("2:345/6@fidonet"), "@fidonet"), "out.002/01590006");
  EXPECT_EQ(node_.List(""), (std::vector<std::string>{"netmail", "out.002", "pelix.cfg", "pelix.dmn",
                                                      "pelix.fe", "pelix.log", "pelix.nod"}));
  EXPECT_EQ(node_.LogMessages(),
            (std::vector<std::string>{"! No outbound directory for 2:345/6",
                                      "! No outbound directory for 1:23/4.5"}));
}

// Any flag of the destination, its base name with "." one character and
// "sy", in any letter case: the mailer's busy and call flags and another
// program's alike.
TEST_F(OutboundTest, AnyFlagOfTheDestinationInAnyLetterCaseMakesItBusy) {
  Load(BasicConfigText());
  const FidoAddress node = ParseAddress("2:345/6");
  const FidoAddress point = ParseAddress("2:345/6.7");
  ASSERT_TRUE(OutboundBase(point, "").has_value());
  EXPECT_FALSE(LinkBusy(node, ""));
  for (const char* flag : {"out/01590006.bsy", "out/01590006.CSY", "out/01590006.BSY",
                           "out/01590006.xsy", "out/01590006.Bsy", "out/01590006.QSY"}) {
    node_.WriteFile(flag, "");
    EXPECT_TRUE(LinkBusy(node, "")) << flag;
    EXPECT_FALSE(LinkBusy(point, "")) << flag;
    ASSERT_TRUE(platform::DefaultEnv().DeleteFile(flag));
  }
  node_.WriteFile("out/01590006.flo", "");
  node_.WriteFile("out/01590006.sy", "");
  EXPECT_FALSE(LinkBusy(node, ""));
  node_.WriteFile("out/01590006.pnt/00000007.bsy", "");
  EXPECT_TRUE(LinkBusy(point, ""));
  EXPECT_FALSE(LinkBusy(node, ""));
}

TEST_F(OutboundTest, OurFlagHoldsOurPidAndClearBusyRemovesOnlyIt) {
  Load(BasicConfigText());
  const FidoAddress address = ParseAddress("1:23/4");
  ASSERT_TRUE(OutboundBase(address, "").has_value());
  ClearBusy(address, "");  // nothing there: nothing happens, nothing said
  EXPECT_FALSE(node_.Exists("pelix.log"));
  ASSERT_EQ(SetBusy(address, ""), BusyResult::kHeld);
  // Linked into place from a side file that holds our pid: never seen empty.
  EXPECT_EQ(node_.List("out.001"),
            (std::vector<std::string>{"00170004.bsy", Format("~pelix.%d.bsy", ::getpid())}));
  EXPECT_EQ(node_.ReadFile("out.001/00170004.bsy"), Format("pelix %d\n", ::getpid()));
  EXPECT_TRUE(LinkBusy(address, ""));
  node_.WriteFile("out.001/00170004.csy", "");
  ClearBusy(address, "");
  (void)outbound_.ReleaseAll(log());
  EXPECT_EQ(node_.List("out.001"), (std::vector<std::string>{"00170004.csy"}));
  ASSERT_TRUE(platform::DefaultEnv().DeleteFile("out.001/00170004.csy"));
  // The mailer's flag under our name: busy again, and never removed by us.
  node_.WriteFile("out.001/00170004.bsy", "4242\n");
  EXPECT_EQ(SetBusy(address, ""), BusyResult::kTaken);
  ClearBusy(address, "");
  (void)outbound_.ReleaseAll(log());
  EXPECT_EQ(node_.ReadFile("out.001/00170004.bsy"), "4242\n");
  EXPECT_EQ(node_.List("out.001"), (std::vector<std::string>{"00170004.bsy"}));
}

// A sysop's clean-up of "*.bsy" takes the file our flags are linked from:
// it is made again, and the flag still appears whole, holding our pid.
TEST_F(OutboundTest, VanishedSideFileIsMadeAgain) {
  Load(BasicConfigText());
  const FidoAddress address = ParseAddress("1:23/4");
  ASSERT_TRUE(OutboundBase(address, "").has_value());
  ASSERT_EQ(SetBusy(address, ""), BusyResult::kHeld);
  ClearBusy(address, "");
  const std::string side = Format("out.001/~pelix.%d.bsy", ::getpid());
  ASSERT_TRUE(platform::DefaultEnv().DeleteFile(side));
  ASSERT_EQ(SetBusy(address, ""), BusyResult::kHeld);
  EXPECT_EQ(node_.ReadFile("out.001/00170004.bsy"), Format("pelix %d\n", ::getpid()));
  EXPECT_TRUE(node_.Exists(side));
  ClearBusy(address, "");
  (void)outbound_.ReleaseAll(log());
  EXPECT_EQ(node_.List("out.001"), std::vector<std::string>{});
  EXPECT_FALSE(node_.Exists("pelix.log"));
}

// What a fatal end or an interrupt does: our flag and the file it is linked
// from go, the mailer's flags stay.
TEST_F(OutboundTest, FatalEndRemovesOurFlagAndItsSideFile) {
  Load(BasicConfigText());
  const FidoAddress address = ParseAddress("1:23/4");
  ASSERT_TRUE(OutboundBase(address, "").has_value());
  node_.WriteFile("out.001/00170005.bsy", "4242\n");
  ASSERT_EQ(SetBusy(address, ""), BusyResult::kHeld);
  platform::ExitCleanup::OfProcess().RemoveAll();
  EXPECT_EQ(node_.List("out.001"), (std::vector<std::string>{"00170005.bsy"}));
}

using OutboundDeathTest = OutboundTest;

TEST_F(OutboundDeathTest, InterruptRemovesTheFlagWeHoldWithPelixBsy) {
  Load(BasicConfigText());
  const FidoAddress address = ParseAddress("2:345/6");
  ASSERT_TRUE(OutboundBase(address, "").has_value());
  EXPECT_EXIT(
      {
        if (env_.ClaimProcessFlag("pelix.bsy").result !=
            platform::FlagClaim::kClaimed)
          ::_exit(1);
        if (SetBusy(address, "") != BusyResult::kHeld) ::_exit(1);
        ::raise(SIGTERM);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_FALSE(node_.Exists("out/01590006.bsy"));
  EXPECT_FALSE(node_.Exists("pelix.bsy"));
}

TEST_F(OutboundTest, FlagOfAProcessThatIsGoneIsStale) {
  Load(BasicConfigText());
  const FidoAddress address = ParseAddress("2:345/6");
  ASSERT_TRUE(OutboundBase(address, "").has_value());
  const int64_t now = platform::DefaultEnv().UtcSeconds();
  // Process ids above the largest a Linux system hands out, so that no real
  // process (this test's own included) can stand for them.
  struct Case {
    const char* flag;
    std::string text;
    int64_t age;
    bool stale;
  } cases[] = {
      {"out/01590006.bsy", "pelix 5000999\n", 0, true},           // ours, process gone
      {"out/01590006.bsy", Format("pelix %d\n", ::getpid()), 0, true},  // an old pid of ours
      {"out/01590006.bsy", "pelix 5004242\n", 7200, false},      // ours, still running
      {"out/01590006.bsy", "5000999\n", 7200, true},              // a mailer's, gone, old
      {"out/01590006.csy", "5000999", 600, false},                // gone, but young
      {"out/01590006.csy", "5004242\n", 7200, false},            // still running
      {"out/01590006.bsy", "", 7200, false},                  // no pid: busy
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    node_.WriteFile(c.flag, c.text);
    env_.UseProcesses({5004242});
    env_.UseFakeClock(now + c.age);
    EXPECT_EQ(LinkBusy(address, ""), !c.stale);
    EXPECT_EQ(node_.Exists(c.flag), !c.stale);
    if (node_.Exists(c.flag)) {
      ASSERT_TRUE(platform::DefaultEnv().DeleteFile(c.flag));
    }
  }
  EXPECT_EQ(node_.LogMessages(),
            (std::vector<std::string>{
                "! Removing stale busy flag out/01590006.bsy of process 5000999",
                Format("! Removing stale busy flag out/01590006.bsy of process %d", ::getpid()),
                "! Removing stale busy flag out/01590006.bsy of process 5000999"}));
}

TEST_F(OutboundTest, WaitEndsWhenTheMailerRemovesItsFlag) {
  Load(BasicConfigText());
  const FidoAddress address = ParseAddress("2:345/6");
  ASSERT_TRUE(OutboundBase(address, "").has_value());
  for (const char* flag : {"out/01590006.bsy", "out/01590006.csy", "out/01590006.CSY"}) {
    node_.WriteFile(flag, "");
    std::thread mailer([flag] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      EXPECT_TRUE(platform::DefaultEnv().DeleteFile(flag));
    });
    EXPECT_TRUE(WaitWhileBusy(address, "", 3600)) << flag;
    mailer.join();
    EXPECT_FALSE(node_.Exists(flag));
  }
}

TEST_F(OutboundTest, WaitGivesUpAtItsLimitAndLeavesForeignFlagsAlone) {
  Load(BasicConfigText());
  const FidoAddress address = ParseAddress("2:345/6");
  ASSERT_TRUE(OutboundBase(address, "").has_value());
  EXPECT_TRUE(WaitWhileBusy(address, "", 0));  // free: no waiting at all
  node_.WriteFile("out/01590006.csy", "");
  EXPECT_FALSE(WaitWhileBusy(address, "", 0));
  EXPECT_TRUE(node_.Exists("out/01590006.csy"));
}

}  // namespace

namespace {

TEST_F(OutboundTest, SideFilesOfFlagsLeftByKilledRunsAreRemoved) {
  Load(BasicConfigText());
  node_.WriteFile("out/~01590006.bsy", "");                // killed before its pid
  node_.WriteFile("out/~01590007.bsy", "pelix 5000999\n");  // its process is gone
  node_.WriteFile("out/01590008.bsy", "");                  // a real flag stays
  // This run's own side file holds our pid: it is never taken for a
  // killed run's while the run goes on.
  const FidoAddress address = ParseAddress("2:5020/9");
  ASSERT_TRUE(OutboundBase(address, "").has_value());
  ASSERT_EQ(SetBusy(address, ""), BusyResult::kHeld);
  ClearBusy(address, "");
  const std::string own = Format("~pelix.%d.bsy", ::getpid());
  outbound_.RemoveStaleSideFlags(log(), "out");
  EXPECT_EQ(node_.List("out"), (std::vector<std::string>{"01590008.bsy", own}));
  EXPECT_EQ(node_.LogMessages(),
            (std::vector<std::string>{
                "! Removing unfinished busy flag out/~01590006.bsy",
                "! Removing stale busy flag out/~01590007.bsy of process 5000999"}));
}

}  // namespace
