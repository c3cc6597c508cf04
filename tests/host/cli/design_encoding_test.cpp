// The design commands and `stack add` read a design file in whatever encoding it declares,
// including the text `xme decrypt` prints for a stacked design; bytes that are not what the
// declaration says are refused with the reason. (Every encoding itself is the decoder's test.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/cli/cli_fixture.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::WriteFileOrDie;

std::string Design(const std::string& encoding, const std::string& name) {
  return "<?xml version=\"1.0\" encoding=\"" + encoding +
         "\"?>\r\n<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName>"
         "<Number>N-1</Number><GlobalID/><Name>" +
         name + "</Name></Header><FileName>" + name +
         ".kit</FileName></JobInfo><Catalog><Identification><Name>ABC</Name><ManufID>ACME"
         "</ManufID></Identification><Item><Code>B30</Code><SubType>0</SubType><SortOrder>0"
         "</SortOrder><Instance/></Item></Catalog></Design></Designs>\r\n";
}

using DesignEncodings = testing::CommandTest;

TEST_F(DesignEncodings, EveryCommandReadsEveryDeclaredEncodingAndRefusesFalseOnes) {
  WriteFileOrDie(module_.path("settings.xml"), "<SETTINGS/>");
  const std::string validate = "validate --settings '" + module_.path("settings.xml") + "'";
  std::string out;
  WriteFileOrDie(module_.path("martian.xml"), Design("x-martian", "x"));
  EXPECT_EQ(Lark("--yes " + validate + " '" + module_.path("martian.xml") + "'", &out), 4);
  EXPECT_NE(out.find("unknown encoding \"x-martian\""), std::string::npos) << out;
  WriteFileOrDie(module_.path("lying.xml"), Design("UTF-8", "caf\xE9"));
  EXPECT_EQ(Lark("--yes stack add '" + module_.path("lying.xml") + "'", &out), 3) << out;
  EXPECT_NE(out.find("not valid UTF-8"), std::string::npos) << out;
  EXPECT_TRUE(Stacked().empty());

  const std::string cafe = "Caf\xC3\xA9 \xE2\x82\xAC";  // "Café €" in UTF-8
  const std::pair<const char*, std::string> files[] = {
      {"cp1252.xml", Design("windows-1252", "Caf\xE9 \x80")},
      {"decrypted.xml", ""},  // what `xme decrypt` prints for the design stacked before
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::string path = module_.path(name);
    if (bytes.empty()) {
      ASSERT_EQ(Stacked().size(), 1u);
      ASSERT_EQ(Lark("xme decrypt '" + Stacked()[0] + "' >'" + path + "'"), 0);
    } else {
      WriteFileOrDie(path, bytes);
    }
    for (const std::string& command :
         {std::string("sort --method BWT"), std::string("complete-design"), validate}) {
      EXPECT_EQ(Lark("--yes " + command + " '" + path + "'", &out), 0) << command << ": " << out;
      EXPECT_NE(out.find("<Name>" + cafe + "</Name>"), std::string::npos) << command << ": " << out;
    }
    for (const auto& f : Stacked()) fs::remove(f);
    EXPECT_EQ(Lark("--yes stack add '" + path + "'", &out), 0) << out;
    EXPECT_EQ(Lark("stack list --xml", &out), 0) << out;
    EXPECT_NE(out.find("<FileName>" + cafe + ".kit</FileName>"), std::string::npos) << out;
    EXPECT_EQ(Stacked().size(), 1u);
  }
}

}  // namespace
}  // namespace larkedi
