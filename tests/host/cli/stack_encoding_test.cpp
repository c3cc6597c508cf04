// `stack add` reads a design file in the encoding it declares, as `complete-design` reads it,
// including the text `xme decrypt` prints for a stacked design.
#include <gtest/gtest.h>

#include <filesystem>

#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::LarkediExe;
using testing::RunCommand;
using testing::WriteFileOrDie;

std::string Design(const std::string& encoding, const std::string& name) {
  return "<?xml version=\"1.0\" encoding=\"" + encoding +
         "\"?>\r\n<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName>"
         "<Number>N-1</Number><GlobalID/></Header><FileName>" +
         name +
         "</FileName></JobInfo><Catalog><Identification><Name>ABC</Name>"
         "</Identification><Item><Code>B30</Code></Item></Catalog></Design></Designs>\r\n";
}

std::string Utf16Be(const std::string& ascii) {
  std::string out = "\xFE\xFF";
  for (char c : ascii) out += std::string{'\0', c};
  return out;
}

TEST(StackEncodings, StackAddReadsADesignAsCompleteDesignDoes) {
  testing::TempModule module;
  WriteFileOrDie(module.path("larkEDI.xml"),
                 "<SETTINGS><SPOOLPATH>" + module.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" +
                     module.path("Archive") +
                     "</ARCHIVEPATH><SORTORDER>NS</SORTORDER><PARTNER><ID>1</ID><NAME>Acme"
                     "</NAME></PARTNER><CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1"
                     "</PARTNERID></CATALOG></SETTINGS>");
  const std::string exe = LarkediExe() + " --yes --module-dir '" + module.dir() + "' ";
  const std::string cafe = "caf\xC3\xA9.kit";  // "café.kit" in UTF-8
  auto stacked_files = [&] {
    std::vector<std::string> files;
    if (!fs::is_directory(module.path("Send"))) return files;
    for (const auto& e : fs::directory_iterator(module.path("Send"))) {
      if (e.path().extension() == ".xme") files.push_back(e.path().string());
    }
    return files;
  };

  // The first design stacked, then the text `xme decrypt` prints for it.
  const std::pair<const char*, std::string> files[] = {
      {"latin1.xml", Design("ISO-8859-1", "caf\xE9.kit")},
      {"utf16.xml", Utf16Be(Design("UTF-16", "caf&#233;.kit"))},
      {"decrypted.xml", ""},
  };
  std::string out;
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::string path = module.path(name);
    if (bytes.empty()) {
      const auto stacked = stacked_files();
      ASSERT_EQ(stacked.size(), 1u);
      ASSERT_EQ(RunCommand(exe + "xme decrypt '" + stacked[0] + "' >'" + path + "'"), 0);
      ASSERT_NE(testing::ReadFileOrEmpty(path).find("caf\xE9.kit"), std::string::npos)
          << "the stacked text is in a one-byte encoding";
    } else {
      WriteFileOrDie(path, bytes);
    }
    ASSERT_EQ(RunCommand(exe + "complete-design '" + path + "'", &out), 0) << out;
    EXPECT_NE(out.find("<FileName>" + cafe + "</FileName>"), std::string::npos) << out;

    for (const auto& f : stacked_files()) fs::remove(f);
    EXPECT_EQ(RunCommand(exe + "stack add '" + path + "'", &out), 0) << out;
    EXPECT_EQ(RunCommand(exe + "stack list --xml", &out), 0) << out;
    EXPECT_NE(out.find("<FileName>" + cafe + "</FileName>"), std::string::npos) << out;
    EXPECT_EQ(stacked_files().size(), 1u);
  }

  // Bytes that are not what the declaration says are refused with the reason, as a design
  // that cannot be taken in (3), and nothing is stored.
  for (const auto& f : stacked_files()) fs::remove(f);
  WriteFileOrDie(module.path("lying.xml"), Design("UTF-8", "caf\xE9.kit"));
  EXPECT_EQ(RunCommand(exe + "stack add '" + module.path("lying.xml") + "'", &out), 3) << out;
  EXPECT_NE(out.find("not valid UTF-8"), std::string::npos) << out;
  EXPECT_TRUE(stacked_files().empty());
}

}  // namespace
}  // namespace larkedi
