// The util and xme commands as support staff run them.
#include <gtest/gtest.h>

#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::LarkediExe;
using testing::ReadFileOrEmpty;
using testing::RunCommand;
using testing::TempModule;
using testing::WriteFileOrDie;

std::string Larkedi(const std::string& args, int* code) {
  std::string out;
  *code = RunCommand(LarkediExe() + " " + args, &out);
  return out;
}

TEST(XmeCommandTest, EncryptDecryptAndPack) {
  TempModule module;
  const std::string file = module.path("Send/ABC.xme");
  WriteFileOrDie(file, "<Design>é</Design>");
  int code = -1;
  Larkedi("xme encrypt '" + file + "'", &code);
  EXPECT_EQ(code, 0);
  EXPECT_NE(ReadFileOrEmpty(file), "<Design>é</Design>");
  EXPECT_EQ(Larkedi("xme decrypt '" + file + "'", &code), "<Design>é</Design>\n");
  EXPECT_EQ(code, 0);

  WriteFileOrDie(module.path("Send/bad.xme"), "plain text");
  const std::string out = Larkedi("xme decrypt '" + module.path("Send/bad.xme") + "'", &code);
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("bad.xme"), std::string::npos) << out;
  EXPECT_NE(out.find("not an encrypted archive"), std::string::npos) << out;
  EXPECT_NE(out.find("not a zip archive"), std::string::npos) << out;
  Larkedi("xme decrypt '" + module.path("none.xme") + "'", &code);
  EXPECT_EQ(code, 1);

  const std::string listing = Larkedi("xme pack '" + module.path("Send") + "'", &code);
  EXPECT_EQ(code, 0) << listing;
  EXPECT_NE(listing.find("archive_"), std::string::npos);
  Larkedi("xme pack '" + module.path("NoSuchFolder") + "'", &code);
  EXPECT_EQ(code, 1);
  Larkedi("xme", &code);
  EXPECT_EQ(code, 2);
  Larkedi("xme decrypt --help", &code);
  EXPECT_EQ(code, 0);
}

TEST(XmeCommandTest, UtilPrintsOneResultPerLine) {
  TempModule module;
  int code = -1;
  const std::string encoded = Larkedi("util encode 'Crème brûlée' pw", &code);
  ASSERT_EQ(code, 0);
  ASSERT_EQ(encoded.size(), 4 * 12 + 1);
  std::string trimmed = encoded.substr(0, encoded.size() - 1);
  EXPECT_EQ(Larkedi("util decode " + trimmed + " pw", &code), "Crème brûlée\n");
  EXPECT_EQ(Larkedi("util xsdatetime '2006-03-05 14:07:09' 2>&1 | cat", &code).substr(0, 19),
            "2006-03-05T14:07:09");
  EXPECT_EQ(RunCommand("TZ=America/Montreal " + LarkediExe() +
                       " util xsdatetime '2006-03-05 14:07:09' | grep -qx "
                       "'2006-03-05T14:07:09-05:00'"),
            0);
  EXPECT_EQ(Larkedi("util from-xsdatetime 2006-03-05T14:07:09Z", &code), "2006-03-05 14:07:09\n");
  Larkedi("util xsdatetime 'next tuesday'", &code);
  EXPECT_EQ(code, 2);
  Larkedi("util from-xsdatetime nonsense", &code);
  EXPECT_EQ(code, 2);
  EXPECT_EQ(Larkedi("util guid", &code).size(), 33u);
  EXPECT_EQ(RunCommand("LC_ALL=fr_CA.UTF-8 " + LarkediExe() + " util locale | grep -qx 3084"), 0);
  for (const char* sub : {"guid", "bias", "locale", "encode", "decode", "encrypted-gmt-date"}) {
    Larkedi(std::string("util ") + sub + " --help", &code);
    EXPECT_EQ(code, 0) << sub;
  }
}

}  // namespace
}  // namespace larkedi
