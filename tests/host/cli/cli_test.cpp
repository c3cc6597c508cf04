#include <gtest/gtest.h>

#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::LarkediExe;
using testing::RunCommand;

TEST(CommandLine, HelpUsageErrorsAndResourceLookup) {
  testing::TempModule module;
  std::string out;
  EXPECT_EQ(RunCommand(LarkediExe() + " --help", &out), 0);
  EXPECT_EQ(RunCommand(LarkediExe(), &out), 2);
  EXPECT_EQ(RunCommand(LarkediExe() + " no-such-command", &out), 2);
  EXPECT_EQ(RunCommand(LarkediExe() + " res get", &out), 2);
  EXPECT_NE(out.find("KEY"), std::string::npos) << out;

  testing::WriteFileOrDie(module.path("html/LkEDI.resx"),
                          "<root><data name=\"MSG TwoParam\"><value>%s1 and %s0</value></data>"
                          "</root>");
  EXPECT_EQ(RunCommand(LarkediExe() + " res get 'MSG TwoParam' a 'b c'", &out), 0);
  EXPECT_EQ(out, "b c and a\n");
  EXPECT_EQ(RunCommand(LarkediExe() + " res get 'MSG Nope'", &out), 1);
  EXPECT_EQ(out, "ResNotFound!\n");
  EXPECT_EQ(RunCommand(LarkediExe() + " version", &out), 0);
  EXPECT_NE(out.find(module.dir()), std::string::npos) << out;
}

}  // namespace
}  // namespace larkedi
