// The version the run's first record names is the one the program's version resource states.
#include <fstream>
#include <sstream>

#include "support/product.h"
#include "tests/support/sim_test.h"

namespace {

TEST(ProductVersionTest, TheRecordsVersionIsTheVersionResources) {
  std::ifstream script(std::string(ZQ_RESOURCE_DIR) + "/installer.rc");
  ASSERT_TRUE(script.good());
  std::stringstream text;
  text << script.rdbuf();
  const std::string version = sim::Utf8(ProductVersion);
  std::string numbers = version;
  for (auto& c : numbers)
    if (c == '.') c = ',';
  for (const std::string& expected :
       {"FILEVERSION " + numbers, "PRODUCTVERSION " + numbers, "\"FileVersion\", \"" + version + "\"",
        "\"ProductVersion\", \"" + version + "\""})
    EXPECT_NE(text.str().find(expected), std::string::npos) << expected;
}

}  // namespace
