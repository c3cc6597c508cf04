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
    "<data name=\"O'Key\"><value>quoted</value></data>"
    "<data name=\"MSG OrderParam\"><value>%s1 before %s0, again %s0</value></data></root>";

TEST(ResX, LookupsFirstOccurrenceDefaultsAndNotFound) {
  TempModule module(false);
  WriteFileOrDie(module.path("r.resx"), kResx);
  clsResX res;
  EXPECT_EQ(res.GetResXString("A", "dflt"), "dflt");  // nothing loaded yet
  ASSERT_TRUE(res.LoadResXFile(module.path("r.resx")));
  EXPECT_EQ(res.GetResXString("A"), "first");
  EXPECT_EQ(res.GetResXString("O'Key"), "quoted");
  EXPECT_EQ(res.GetResXString("Empty", "fallback"), "fallback");
  EXPECT_EQ(res.GetResXString("Missing"), res.ResNotFound());
  EXPECT_EQ(res.GetResXStringParam("MSG OrderParam", {"a", "b"}), "b before a, again %s0");
  EXPECT_EQ(res.GetResXStringParam("MSG OrderParam", {"only"}), "%s1 before only, again %s0");
}

TEST(ResX, TemplatesAreLocalisedOnlyOnceBothFilesLoaded) {
  TempModule module(false);
  WriteFileOrDie(module.path("bad.resx"), "<root><data>");
  WriteFileOrDie(module.path("r.resx"), kResx);
  WriteFileOrDie(module.path("t.xsl"),
                 "<page><h1><IDS Name=\"A\"/></h1><p>x<IDS Name=\"Missing\"/>y</p></page>");
  WriteFileOrDie(module.path("plain.xml"), "<page><h1>same</h1></page>");
  clsResX failing;
  EXPECT_FALSE(failing.LoadResXFile(module.path("bad.resx")));
  EXPECT_FALSE(failing.LoadXmlFile(module.path("nothere.xml")));
  EXPECT_EQ(failing.LoadAllResXString(), "");
  clsResX res;
  ASSERT_TRUE(res.LoadXmlFile(module.path("t.xsl")));
  EXPECT_EQ(res.LoadAllResXString(), "");  // resources not loaded
  ASSERT_TRUE(res.LoadResXFile(module.path("r.resx")));
  EXPECT_EQ(res.LoadAllResXString(), "<page><h1>first</h1><p>xResNotFound!y</p></page>\r\n");
  ASSERT_TRUE(res.LoadXmlFile(module.path("plain.xml")));
  EXPECT_EQ(res.LoadAllResXString(), "<page><h1>same</h1></page>\r\n");
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
