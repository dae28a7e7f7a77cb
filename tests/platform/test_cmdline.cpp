#include "platform/cmdline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

struct QueryCase {
  std::vector<std::string> args;
  const char* name;
  const char* query;
  bool has;
};

class CmdlineTest : public ::testing::Test {
 protected:
  void TearDown() override { SetCommandLine({}); }
};

TEST_F(CmdlineTest, MatchesWholeSwitchesAndNamedValues) {
  const QueryCase cases[] = {
      {{"/debug"}, "/DEBUG", "/debug", true},
      {{"/DEBUG"}, "/debug", "/DEBUG", true},
      {{"/debugX"}, "/DEBUG", "", false},
      {{"/deb"}, "/DEBUG", "", false},
      {{"SERVICEPATH=/data/rs/x"}, "SERVICEPATH", "/data/rs/x", true},
      {{"SERVICEPATH=/data/rs/x"}, "/RS", "", false},
      {{"SERVICEPATH=/data/rs/x"}, "SERVICE", "", false},
      {{"servicepath=/a"}, "SERVICEPATH", "/a", true},
      {{"SERVICEPATH=a=b"}, "SERVICEPATH", "a=b", true},
      {{"SERVICEPATH="}, "SERVICEPATH", "", false},
      {{"SERVICEPATH=  "}, "SERVICEPATH", "  ", false},
      {{"SERVICEPATH"}, "SERVICEPATH", "SERVICEPATH", true},
      {{"/x", "SERVICEPATH=/first", "SERVICEPATH=/second"}, "SERVICEPATH", "/first", true},
      {{"SERVICEPATH=", "SERVICEPATH=/second"}, "SERVICEPATH", "", false},
      {{}, "/DEBUG", "", false},
      {{""}, "", "", false},
  };
  for (const QueryCase& c : cases) {
    SetCommandLine(c.args);
    const std::string where = std::string("name ") + c.name + " first arg " +
                              (c.args.empty() ? std::string("(none)") : c.args[0]);
    EXPECT_EQ(CommandQuery(c.name), c.query) << where;
    EXPECT_EQ(CommandHas(c.name), c.has) << where;
  }
}

TEST_F(CmdlineTest, ArgvSkipsProgramName) {
  const char* argv[] = {"/DEBUG", "SERVICEPATH=/srv"};
  SetCommandLine(2, argv);
  EXPECT_FALSE(CommandHas("/DEBUG"));
  EXPECT_EQ(CommandQuery("SERVICEPATH"), "/srv");
}

}  // namespace
}  // namespace platform
