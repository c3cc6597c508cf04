// The design commands read files in whatever encoding the file declares.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::LarkediExe;
using testing::RunCommand;
using testing::TempModule;
using testing::WriteFileOrDie;

std::string Design(const std::string& encoding, const std::string& name) {
  return "<?xml version=\"1.0\" encoding=\"" + encoding +
         "\"?>\r\n<Project><Design><JobInfo><Header><Name>" + name +
         "</Name></Header></JobInfo><Catalog><Identification><ManufID>ACME</ManufID>"
         "</Identification><Item><Code>B30</Code><SubType>0</SubType><SortOrder>0</SortOrder>"
         "<Instance/></Item></Catalog></Design></Project>\r\n";
}

std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

TEST(DesignEncodings, ValidateSortAndCompleteDesignReadEveryDeclaredEncoding) {
  TempModule module;
  WriteFileOrDie(module.path("settings.xml"), "<SETTINGS/>");
  const std::string cafe = "Caf\xC3\xA9 \xE2\x82\xAC";  // "Café €" in UTF-8
  const std::pair<const char*, std::string> files[] = {
      {"cp1252.xml", Design("windows-1252", "Caf\xE9 \x80")},
      {"latin9.xml", Design("ISO-8859-15", "Caf\xE9 \xA4")},
      {"utf16.xml", Utf16Le(Design("UTF-16", "Caf&#233; &#x20AC;"))},
      {"bom.xml", "\xEF\xBB\xBF" + Design("UTF-8", cafe)},
  };
  const std::string exe = LarkediExe() + " --module-dir '" + module.dir() + "' ";
  for (const auto& [name, bytes] : files) {
    const std::string path = module.path(name);
    WriteFileOrDie(path, bytes);
    for (const std::string& command :
         std::vector<std::string>{"sort --method BWT", "complete-design",
                                  "validate --settings '" + module.path("settings.xml") + "'"}) {
      std::string out;
      EXPECT_EQ(RunCommand(exe + command + " '" + path + "' 2>/dev/null", &out), 0)
          << command << " " << name << ": " << out;
      EXPECT_NE(out.find("<Name>" + cafe + "</Name>"), std::string::npos)
          << command << " " << name << ": " << out;
    }
  }

  const std::string martian = module.path("martian.xml");
  WriteFileOrDie(martian, Design("x-martian", "x"));
  for (const auto& [command, code] :
       {std::pair<std::string, int>{"sort --method BWT", 1},
        {"complete-design", 1},
        {"validate --settings '" + module.path("settings.xml") + "'", 4}}) {
    std::string out;
    EXPECT_EQ(RunCommand(exe + command + " '" + martian + "'", &out), code) << command;
    EXPECT_NE(out.find("unknown encoding \"x-martian\""), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace larkedi
