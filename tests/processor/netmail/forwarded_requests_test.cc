// pelix.fwd, the downlinks' requests that were forwarded to uplinks: only
// whole lines count, a request asked again is kept once, and requests whose
// echo never came are forgotten.
#include "processor/netmail/forwarded_requests.h"

#include "tests/processor/loaded_node.h"

namespace {

class ForwardedRequestsTest : public LoadedNodeTest {};

TEST_F(ForwardedRequestsTest, KeepsWholeLinesOnceAndForgetsOldRequests) {
  constexpr int64_t kNow = 1600000000;
  constexpr int64_t kDay = 24 * 60 * 60;
  Load(BasicConfigText());
  env_.UseFakeClock(kNow);
  node_.WriteFile("pelix.fwd",
                  Format("OLD 2:345/6 2:5020/1 %lld\n"
                         "not a request\n"
                         "KEPT 2:345/6 2:5020/1 %lld\n"
                         "HALF 2:345/7 2:5020/1 1600",
                         static_cast<long long>(kNow - 61 * kDay),
                         static_cast<long long>(kNow - 59 * kDay)));
  ASSERT_TRUE(RememberForwardedRequests(
      env_, {{"kept", "2:345/6.0", "2:5020/1", kNow}, {"NEW", "2:345/7", "2:5020/1", kNow}}));
  EXPECT_EQ(ParseForwardedRequests(node_.ReadFile("pelix.fwd")),
            (std::vector<ForwardedRequest>{{"KEPT", "2:345/6", "2:5020/1", kNow},
                                           {"NEW", "2:345/7", "2:5020/1", kNow}}));
  EXPECT_EQ(node_.ReadFile("pelix.fwd").back(), '\n');
}

}  // namespace
