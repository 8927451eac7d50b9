// The outgoing TIC's name: the listed, remembered search must pick exactly
// the names, and leave exactly the serial counter, that trying serial after
// serial against the directory gives.
#include "processor/outbound/tic_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "common/text_helpers.h"
#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

namespace {

std::string NameOf(uint32_t serial) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08u", serial);
  return "px" + std::string(digits + 2, 6) + ".tic";
}

// One try per serial, as the first versions searched.
std::string SearchSerialBySerial(int64_t now, const std::set<std::string>& taken,
                                 uint32_t& counter) {
  while (true) {
    std::string name = NameOf(static_cast<uint32_t>(now) + counter++);
    if (!taken.count(name)) return name;
  }
}

TEST(TicNameSearch, PicksWhatTryingEverySerialPicks) {
  // Ten digits keep names for 100 serials, nine for 10, eight for one.
  for (int64_t now : {1600000000LL, 160000000LL, 16000000LL}) {
    SCOPED_TRACE(now);
    const uint32_t block = now >= 1000000000 ? 100 : now >= 100000000 ? 10 : 1;
    TempNode node;
    FaultyEnv env;
    env.UseFakeClock(now);
    Serials serials(env);
    MadeTics made(env);
    LogFile log(env, node.Path("pelix.log"));
    const std::string dir = node.dir() + "ticout/";
    // As the TIC pass keeps it: listed once, then kept by our own names.
    env.KeepNamesOf(dir);
    std::set<std::string> taken;
    auto name_of_block = [&](uint32_t k) { return NameOf(static_cast<uint32_t>(now) + k * block); };
    node.WriteFile("ticout/" + ToUpperAscii(name_of_block(0)), "other case");
    node.WriteFile("ticout/" + name_of_block(2), "waiting");
    node.MakeDir("ticout/" + name_of_block(3));
    for (uint32_t k : {0u, 2u, 3u}) taken.insert(name_of_block(k));
    uint32_t counter = 0;
    std::string previous, theirs;
    for (int i = 0; i < 6; ++i) {
      if (i == 3) {  // the mailer sends one and removes it
        ASSERT_EQ(std::remove((dir + name_of_block(2)).c_str()), 0);
        taken.erase(name_of_block(2));
      }
      if (i == 4) {  // another program takes the next name after the listing
        uint32_t peek = counter;
        theirs = SearchSerialBySerial(now, taken, peek);
        node.WriteFile("ticout/" + theirs, "theirs");
        taken.insert(theirs);
      }
      const std::string expected = SearchSerialBySerial(now, taken, counter);
      std::string path;
      // The TIC made just before is known taken without a look.
      platform::FilePtr tic =
          CreateNextTicFile(env, log, serials, made, dir, path, i == 5 ? previous : std::string());
      ASSERT_NE(tic, nullptr);
      EXPECT_EQ(path, dir + expected);
      taken.insert(expected);
      previous = path;
      if (i == 1) {  // ours, removed again because no flow line names it
        ASSERT_TRUE(platform::DefaultEnv().DeleteFile(path));
        taken.erase(expected);
      }
    }
    env.ForgetKeptNames();
    made.End(log);
    // The serials after the search are those trying every serial leaves.
    EXPECT_EQ(serials.Next(), static_cast<uint32_t>(now) + counter);
    EXPECT_EQ(node.ReadFile("ticout/" + ToUpperAscii(name_of_block(0))), "other case");
    EXPECT_EQ(node.ReadFile("ticout/" + theirs), "theirs");
  }
}

}  // namespace
