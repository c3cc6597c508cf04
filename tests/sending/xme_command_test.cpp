// The util command as support staff run it (the xme command is in ckutil_limits_test).
#include <gtest/gtest.h>

#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::LarkediExe;
using testing::RunCommand;
using testing::TempModule;

std::string Larkedi(const std::string& args, int* code) {
  std::string out;
  *code = RunCommand(LarkediExe() + " " + args, &out);
  return out;
}

TEST(XmeCommandTest, UtilEncodesAndConvertsDatesInTheLocalZone) {
  TempModule module;
  int code = -1;
  const std::string encoded = Larkedi("util encode 'Crème brûlée' pw", &code);
  ASSERT_EQ(code, 0);
  std::string trimmed = encoded.substr(0, encoded.size() - 1);
  EXPECT_EQ(Larkedi("util decode " + trimmed + " pw", &code), "Crème brûlée\n");
  EXPECT_EQ(RunCommand("TZ=America/Montreal " + LarkediExe() +
                       " util xsdatetime '2006-03-05 14:07:09' | grep -qx "
                       "'2006-03-05T14:07:09-05:00'"),
            0);
  EXPECT_EQ(Larkedi("util from-xsdatetime 2006-03-05T14:07:09Z", &code), "2006-03-05 14:07:09\n");
  Larkedi("util xsdatetime 'next tuesday'", &code);
  EXPECT_EQ(code, 2);
  Larkedi("util from-xsdatetime nonsense", &code);
  EXPECT_EQ(code, 2);
}

}  // namespace
}  // namespace larkedi
