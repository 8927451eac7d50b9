#include "tools/field_text.h"

#include <gtest/gtest.h>

#include "tools/config_text.h"

namespace {

TEST(ConfigTextFields, ValuesThatDoNotFitTheirFieldAreRefusedNotCut) {
  const std::string longest(254, 'a');
  struct Case {
    std::string text;
    std::string error;  // "" when it fits
  } cases[] = {
      {"[config]\naka_list = " + longest + "\n", ""},
      {"[config]\naka_list = " + longest + "a\n", "line 2: aka_list takes at most 254 characters"},
      {"[link]\ntic_password = " + std::string(20, 'p') + "\n",
       "line 2: tic_password takes at most 19 characters"},
      {"[echo]\nlink = 2:5020/" + longest + " send\n",
       "line 2: link address takes at most 254 characters"},
      {"[domain]\nmain_zone = 65536\n", "line 2: main_zone takes a number from 0 to 65535"},
      {"[domain]\nis_default = -1\n", "line 2: is_default takes a number from 0 to 255"},
      {"[config]\nutc_offset = 3h\n", "line 2: utc_offset takes a number from -2147483648"},
      {"[config]\nutc_offset = -5\nkill_answers = +1\n", ""},
      {"[link]\nflavour = x\n", "line 2: flavour takes one of the letters cdfhi"},
      {"[link]\nspare_flavour = ff\n", "line 2: spare_flavour takes one letter"},
  };
  for (const Case& c : cases) {
    ConfigText config;
    std::string error;
    EXPECT_EQ(ParseConfigText(c.text, config, error), c.error.empty()) << c.text;
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.text;
  }
}

}  // namespace
