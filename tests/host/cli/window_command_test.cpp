// The window commands where no page is needed: what they refuse before a window opens.
#include <gtest/gtest.h>

#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::LarkediExe;
using testing::RunCommand;
using testing::WriteFileOrDie;

TEST(WindowCommand, ActivateRefusesDesignsItCannotTakeIn) {
  testing::TempModule module;
  std::string out;
  EXPECT_EQ(
      RunCommand(LarkediExe() + " --yes activate " + module.path("none.xml") + " --no-browser",
                 &out),
      1)
      << out;
  EXPECT_NE(out.find("none.xml"), std::string::npos) << out;

  // A design that does not parse ends at the load: the address was printed first, the
  // window finished without being shown, and the status says so.
  WriteFileOrDie(module.path("bad.xml"), "<Designs><Design>");
  EXPECT_EQ(RunCommand(LarkediExe() + " --yes activate " + module.path("bad.xml") +
                           " --no-browser 2>/dev/null",
                       &out),
            3)
      << out;
  EXPECT_EQ(out.rfind("http://127.0.0.1:", 0), 0u) << out;
  EXPECT_NE(out.find("\nFinished\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace larkedi
