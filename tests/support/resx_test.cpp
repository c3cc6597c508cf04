#include "support/resx.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "support/module.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::TempModule;
using testing::WriteFileOrDie;

const char* kResx =
    "<root><data name=\"A\"><value>first</value></data>"
    "<data name=\"A\"><value>second</value></data>"
    "<data name=\"Empty\"><value></value></data>"
    "<data name=\"O'Key &quot;q&quot;\"><value>quoted</value></data>"
    "<data name=\"MSG OrderParam\"><value>%s1 before %s0, again %s0</value></data></root>";

TEST(ResX, LookupsFirstOccurrenceDefaultsNotFoundAndTemplates) {
  TempModule module(false);
  WriteFileOrDie(module.path("r.resx"), kResx);
  WriteFileOrDie(module.path("bad.resx"), "<root><data>");
  clsResX res;
  EXPECT_FALSE(res.LoadResXFile(module.path("bad.resx")));
  EXPECT_EQ(res.GetResXString("A", "dflt"), "dflt");  // nothing loaded
  ASSERT_TRUE(res.LoadResXFile(module.path("r.resx")));
  EXPECT_EQ(res.GetResXString("A"), "first");
  EXPECT_EQ(res.GetResXString("O'Key \"q\""), "quoted");
  EXPECT_EQ(res.GetResXString("Empty", "fallback"), "fallback");
  EXPECT_EQ(res.GetResXString("Missing"), res.ResNotFound());
  EXPECT_EQ(res.GetResXStringParam("MSG OrderParam", {"a", "b"}), "b before a, again %s0");

  // A page template is localised only once both files are loaded.
  WriteFileOrDie(module.path("t.xsl"), "<p>x<IDS Name=\"A\"/><IDS Name=\"Missing\"/>y</p>");
  clsResX page;
  ASSERT_TRUE(page.LoadXmlFile(module.path("t.xsl")));
  EXPECT_EQ(page.LoadAllResXString(), "");
  ASSERT_TRUE(page.LoadResXFile(module.path("r.resx")));
  EXPECT_EQ(page.LoadAllResXString(), "<p>xfirstResNotFound!y</p>\r\n");
}

// Every key the module's code looks up must be in both shipped resource files.
TEST(ResX, ShippedFilesHoldEveryKeyTheCodeUses) {
  std::set<std::string> used;
  std::string list = testing::ReadFileOrEmpty(testing::SourceDir() + "/html/resource-keys.txt");
  std::istringstream lines(list);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) used.insert(line);
  }
  // Keys named in the sources: Res("..."), ResParam("...", ...), GetResXString("...").
  std::string out;
  ASSERT_EQ(testing::RunCommand(
                "grep -rhoE '(Res|ResParam|GetResXString|GetResXStringParam)\\(\"[^\"]+\"' " +
                    testing::SourceDir() + "/src",
                &out),
            0);
  std::regex key_re("\\(\"([^\"]+)\"");
  for (std::sregex_iterator it(out.begin(), out.end(), key_re), end; it != end; ++it) {
    used.insert((*it)[1]);
  }
  ASSERT_GT(used.size(), 100u);
  for (std::string file : {"/html/LkEDI.resx", "/html/fr/LkEDI.resx"}) {
    clsResX res;
    ASSERT_TRUE(res.LoadResXFile(testing::SourceDir() + file)) << file;
    for (const auto& key : used) {
      EXPECT_NE(res.GetResXString(key), res.ResNotFound()) << key << " missing in " << file;
    }
    std::string code = res.GetResXString("LanguageCode");
    EXPECT_EQ(code, file.find("/fr/") != std::string::npos ? "fr" : "en");
  }
}

}  // namespace
}  // namespace larkedi
