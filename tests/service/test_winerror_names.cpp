// Win32 error names.
#include "service/winerror_names.h"

#include <gtest/gtest.h>

#include <climits>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "syslib/win32error.h"

using service::Win32ErrorName;

namespace {

// The list of the 834 codes the program names.
const char* const kNamedCodes =
    "0-34, 36, 38-39, 50-72, 80, 82-89, 100-114, 117-162, 164, 167, 170, 173-174, 180, 182-183, 186-203, "
    "205-210, 212, 214-216, 230-234, 240, 254-255, 259, 266-267, 275-278, 282, 288, 298-301, 317, 487, "
    "534-536, 994-999, 1001-1022, 1051-1082, 1100-1132, 1140-1142, 1150-1173, 1200-1251, 1300-1338, "
    "1340-1395, 1400-1461, 1500-1503, 1601-1616, 1700-1728, 1730, 1732-1737, 1739-1775, 1777-1832, "
    "1898-1938, 2000-2005, 2108, 2202, 2250, 2300-2310, 2401-2402, 2404, 3000-3011, 4000-4006, 4100, "
    "4200-4211, 4300-4320, 4350-4352, 4390-4391, 5001-5033, 6000-6006, 6118";

std::set<int32_t> NamedCodes() {
  std::set<int32_t> codes;
  std::stringstream in(kNamedCodes);
  std::string item;
  while (std::getline(in, item, ',')) {
    const auto dash = item.find('-');
    const int a = std::stoi(item.substr(0, dash));
    const int b = dash == std::string::npos ? a : std::stoi(item.substr(dash + 1));
    for (int c = a; c <= b; ++c) codes.insert(c);
  }
  return codes;
}

}  // namespace

TEST(WinErrorNames, KnownSamples) {
  EXPECT_EQ(Win32ErrorName(1, 0), "SUCCESS");
  EXPECT_EQ(Win32ErrorName(1, 5), "ACCESS DENIED");
  EXPECT_EQ(Win32ErrorName(1, 183), "ALREADY EXISTS");
  EXPECT_EQ(Win32ErrorName(1, 1060), "SERVICE DOES NOT EXIST");
  EXPECT_EQ(Win32ErrorName(1, 1063), "FAILED SERVICE CONTROLLER CONNECT");
  EXPECT_EQ(Win32ErrorName(1, 1066), "SERVICE SPECIFIC ERROR");
  EXPECT_EQ(Win32ErrorName(1, 1073), "SERVICE EXISTS");
  EXPECT_EQ(Win32ErrorName(1, 1910), "INVALID OXID");
  EXPECT_EQ(Win32ErrorName(1, 6118), "NO BROWSER SERVERS FOUND");
  EXPECT_EQ(Win32ErrorName(1, 1), "INVALID FUNCTION");
  EXPECT_EQ(Win32ErrorName(1, 1898), "GROUP MEMBER NOT FOUND");
  EXPECT_EQ(Win32ErrorName(1, 194), "ITERATED DATA EXCEEDS 64k");
  EXPECT_EQ(Win32ErrorName(1, 6006), "NO USER KEYS");
}

TEST(WinErrorNames, UnknownCodes) {
  for (int32_t c : {35, 6119, -1, -5, -1610612715, INT32_MIN, INT32_MAX})
    EXPECT_EQ(Win32ErrorName(1, c), "Unknown Status") << c;
}

TEST(WinErrorNames, UseCodeZeroNamesTheLastErrorAndKeepsIt) {
  syslib::SetLastError(1073);
  EXPECT_EQ(Win32ErrorName(0, 5), "SERVICE EXISTS");
  EXPECT_EQ(syslib::GetLastError(), 1073u);
  syslib::SetLastErrorFromErrno(EEXIST);
  EXPECT_EQ(Win32ErrorName(0, 0), "ALREADY EXISTS");
  syslib::SetLastError(35);
  EXPECT_EQ(Win32ErrorName(0, 0), "Unknown Status");
  syslib::SetLastError(0);
  EXPECT_EQ(Win32ErrorName(0, 5), "SUCCESS");
}

TEST(WinErrorNames, TwoCallsGiveTheSameResult) {
  EXPECT_EQ(Win32ErrorName(1, 1063), Win32ErrorName(1, 1063));
  EXPECT_EQ(Win32ErrorName(1, 35), Win32ErrorName(1, 35));
}

TEST(WinErrorNames, GeneratedTableAgainstTheCodeList) {
  const std::set<int32_t> named = NamedCodes();
  ASSERT_EQ(named.size(), 834u);
  const auto entries = service::Win32ErrorNameEntries();
  std::set<int32_t> table;
  const std::regex nameForm("[A-Z0-9 ]+(64k)?");
  for (const auto& e : entries) {
    EXPECT_TRUE(named.count(e.code)) << e.code << " is not in the code list";
    EXPECT_TRUE(table.insert(e.code).second) << e.code << " twice";
    const std::string name = e.name;
    EXPECT_GE(name.size(), 1u);
    EXPECT_LE(name.size(), 34u) << name;
    EXPECT_TRUE(std::regex_match(name, nameForm)) << name;
    EXPECT_EQ(Win32ErrorName(1, e.code), name);
  }
  std::vector<int32_t> leftOut;
  for (int32_t c : named)
    if (!table.count(c)) {
      leftOut.push_back(c);
      EXPECT_EQ(Win32ErrorName(1, c), "Unknown Status") << c;
    }
  // No Debian header names these: 1937, 1938 and 2300 to 2310.
  std::vector<int32_t> expected{1937, 1938};
  for (int32_t c = 2300; c <= 2310; ++c) expected.push_back(c);
  EXPECT_EQ(leftOut, expected);
  EXPECT_EQ(entries.size(), 821u);
  RecordProperty("table_codes", static_cast<int>(entries.size()));
  EXPECT_EQ(entries.front().code, 0);
}
