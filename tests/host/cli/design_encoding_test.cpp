// The design commands and `stack add` read a design file in whatever encoding it declares,
// including the text `xme decrypt` prints for a stacked design; bytes that are not what the
// declaration says are refused with the reason. (Every encoding itself is the decoder's test.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::RunCommand;
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

std::string Utf16Be(const std::string& ascii) {
  std::string out = "\xFE\xFF";
  for (char c : ascii) out += std::string{'\0', c};
  return out;
}

class DesignEncodings : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteOnePartnerSettings(module_, "Acme");
    WriteFileOrDie(module_.path("settings.xml"), "<SETTINGS/>");
  }
  std::vector<std::string> Stacked() {
    std::vector<std::string> files;
    if (!fs::is_directory(module_.path("Send"))) return files;
    for (const auto& e : fs::directory_iterator(module_.path("Send"))) {
      if (e.path().extension() == ".xme") files.push_back(e.path().string());
    }
    return files;
  }
  int Lark(const std::string& args, std::string* out) {
    return RunCommand(exe_ + args + " 2>&1", out);
  }

  testing::TempModule module_;
  const std::string exe_ = testing::LarkediExe() + " --yes --module-dir '" + module_.dir() + "' ";
  const std::string validate_ = "validate --settings '" + module_.path("settings.xml") + "'";
};

TEST_F(DesignEncodings, EveryCommandReadsEveryDeclaredEncoding) {
  const std::string cafe = "Caf\xC3\xA9 \xE2\x82\xAC";  // "Café €" in UTF-8
  const std::pair<const char*, std::string> files[] = {
      {"cp1252.xml", Design("windows-1252", "Caf\xE9 \x80")},
      {"utf16be.xml", Utf16Be(Design("UTF-16", "Caf&#233; &#x20AC;"))},
      {"bom.xml", "\xEF\xBB\xBF" + Design("UTF-8", cafe)},
      {"decrypted.xml", ""},  // what `xme decrypt` prints for the design stacked before
  };
  std::string out;
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::string path = module_.path(name);
    if (bytes.empty()) {
      ASSERT_EQ(Stacked().size(), 1u);
      ASSERT_EQ(RunCommand(exe_ + "xme decrypt '" + Stacked()[0] + "' >'" + path + "'"), 0);
    } else {
      WriteFileOrDie(path, bytes);
    }
    for (const std::string& command :
         {std::string("sort --method BWT"), std::string("complete-design"), validate_}) {
      EXPECT_EQ(Lark(command + " '" + path + "'", &out), 0) << command << ": " << out;
      EXPECT_NE(out.find("<Name>" + cafe + "</Name>"), std::string::npos) << command << ": " << out;
    }
    for (const auto& f : Stacked()) fs::remove(f);
    EXPECT_EQ(Lark("stack add '" + path + "'", &out), 0) << out;
    EXPECT_EQ(Lark("stack list --xml", &out), 0) << out;
    EXPECT_NE(out.find("<FileName>" + cafe + ".kit</FileName>"), std::string::npos) << out;
    EXPECT_EQ(Stacked().size(), 1u);
  }
}

TEST_F(DesignEncodings, UnknownOrFalselyDeclaredEncodingsAreRefusedWithTheReason) {
  const std::string martian = module_.path("martian.xml");
  WriteFileOrDie(martian, Design("x-martian", "x"));
  std::string out;
  for (const auto& [command, code] : {std::pair<std::string, int>{"sort --method BWT", 1},
                                      {"complete-design", 1},
                                      {validate_, 4},
                                      {"stack add", 3}}) {
    EXPECT_EQ(Lark(command + " '" + martian + "'", &out), code) << command;
    EXPECT_NE(out.find("unknown encoding \"x-martian\""), std::string::npos) << out;
  }
  WriteFileOrDie(module_.path("lying.xml"), Design("UTF-8", "caf\xE9"));
  EXPECT_EQ(Lark("stack add '" + module_.path("lying.xml") + "'", &out), 3) << out;
  EXPECT_NE(out.find("not valid UTF-8"), std::string::npos) << out;
  EXPECT_TRUE(Stacked().empty());
}

}  // namespace
}  // namespace larkedi
