#include "presentation/style_sheets.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <filesystem>

#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "platform/xml/xml.h"
#include "support/module.h"
#include "support/resx.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrEmpty;
using testing::TempModule;
using testing::WriteFileOrDie;

constexpr const char* kEchoSheet =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:output method='text'/>"
    "<xsl:param name='OrderID' select=\"'none'\"/>"
    "<xsl:template match='/'>[<xsl:value-of select='$OrderID'/>]"
    "<xsl:value-of select='count(//Design)'/></xsl:template>"
    "</xsl:stylesheet>";

xml::Document Settings(const std::string& transformation) {
  xml::Document doc;
  EXPECT_TRUE(
      doc.loadXML("<SETTINGS><TRANSFORMATION>" + transformation + "</TRANSFORMATION></SETTINGS>"));
  return doc;
}

// A message box shown with the not-found text for `path`.
bool ShownMissing(const ScriptedDialogs& dialogs, const std::string& path, MsgIcon icon) {
  for (const DialogRecord& shown : dialogs.shown) {
    if (shown.text == ResParam("MSG FileParamWasNotFound", {path}) && shown.icon == icon &&
        shown.title == ModuleTitle()) {
      return true;
    }
  }
  return false;
}

// A fresh module folder with the shipped pages, and the dialogs it shows.
class StyleSheetModule : public ::testing::Test {
 protected:
  void SetUp() override { module.Restart(); }
  TempModule module;
  ScriptedDialogs dialogs;
  ScopedDialogs scoped{&dialogs};
};

TEST_F(StyleSheetModule, FillsEveryKeyAndFindsThemWithoutRegardToCase) {
  WriteFileOrDie(module.path("html/PartnerPO.xsl"), kEchoSheet);
  std::remove(module.path("html/Status.xsl").c_str());  // missing from the installation

  StyleSheetTable table;
  table.FillStyleSheets(Settings("PartnerPO.xsl"));
  ASSERT_EQ(table.Count(), StyleSheetTable::StandardEntries().size() + 1);
  for (const std::string key : {"status", "STATUS", "OrderStackList", "partnerpo.XSL"}) {
    EXPECT_TRUE(table.Contains(key)) << key;
  }
  EXPECT_NE(table.Item("SORTCABINETS").find("xsl:stylesheet"), std::string::npos);
  EXPECT_NE(table.Item("PARTNERPO.xsl").find("OrderID"), std::string::npos);
  // A missing sheet is reported once and holds an empty text.
  EXPECT_TRUE(table.Item("Status").empty());
  EXPECT_TRUE(ShownMissing(dialogs, module.path("html/Status.xsl"), MsgIcon::Critical));
  EXPECT_EQ(dialogs.CountShown("Status.xsl"), 1);

  // A refill starts from an empty table.
  table.FillStyleSheets(Settings(""));
  EXPECT_FALSE(table.Contains("PartnerPO.xsl"));

  // A conversion sheet named with its folder is read from there.
  const std::string elsewhere = module.path("partners/po.xsl");
  WriteFileOrDie(elsewhere, kEchoSheet);
  WriteFileOrDie(module.path("html/po.xsl"), "<not-this/>");
  table.FillStyleSheets(Settings(elsewhere));
  EXPECT_NE(table.Item(elsewhere).find("OrderID"), std::string::npos);
}

TEST_F(StyleSheetModule, LoadLocalizedFileReplacesResourcePlaceholders) {
  WriteFileOrDie(module.path("html/page.xsl"),
                 "<page><b><IDS Name='MSG Done'/></b><i>keep</i></page>");
  std::string text = LoadLocalizedFile("page.xsl", "lkedi.resx", true);
  EXPECT_NE(text.find("<b>" + Res("MSG Done") + "</b><i>keep</i>"), std::string::npos) << text;
  EXPECT_EQ(text.find("IDS"), std::string::npos);
  EXPECT_TRUE(dialogs.shown.empty());
}

// The module runs from <tmp>/mod so that <tmp>/common/resources is its shared resource folder.
class ThirdPlaceResources : public ::testing::Test {
 protected:
  void SetUp() override {
    mod_ = module_.path("mod");
    fs::create_directories(mod_ + "/html");
    SetModuleFolder(mod_);
    Module().LanguageFolder = "en/";
    WriteFileOrDie(mod_ + "/html/page.xsl", "<page><IDS Name='MSG Done'/></page>");
  }

  TempModule module_{false};
  std::string mod_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
};

TEST_F(ThirdPlaceResources, ResourceFileOnlyInTheSharedFolderStillLocalises) {
  // Nowhere yet: reported with the last place looked at.
  EXPECT_EQ(LoadLocalizedFile("page.xsl", "lkedi.resx", true), "");
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find(JoinPath(mod_, "../common/resources/en/lkedi.resx")),
            std::string::npos)
      << dialogs_.shown[0].text;

  std::string resx = ReadFileOrEmpty(testing::SourceDir() + "/html/LkEDI.resx");
  const std::string marker = "<value>Done</value>";
  ASSERT_NE(resx.find(marker), std::string::npos);
  resx.replace(resx.find(marker), marker.size(), "<value>Shared resources</value>");
  WriteFileOrDie(module_.path("common/resources/en/LkEDI.resx"), resx);
  std::string text = LoadLocalizedFile("page.xsl", "lkedi.resx", true);
  EXPECT_NE(text.find("<page>Shared resources</page>"), std::string::npos) << text;
}

TEST_F(StyleSheetModule, TransformWithAMissingStyleSheetRaisesWithTheCallersText) {
  std::remove(module.path("html/orderstogo.xsl").c_str());
  StyleSheetTable table;
  table.FillStyleSheets(Settings(""));
  xml::Document orders;
  ASSERT_TRUE(orders.loadXML("<Orders><Design/></Orders>"));
  std::string output = "stale";
  Err err;
  const std::string text = Res("MSG ErrorLoadingOrdersToGoXSLFile");
  EXPECT_FALSE(table.TransformXmlDoc(orders, "orderstogo", text, "", "", output, err));
  EXPECT_EQ(output, "");
  EXPECT_EQ(err.Description.rfind(text + "\r\n", 0), 0u) << err.Description;
  // Well-formed XML that is not a style sheet is reported the same way.
  table.Add("broken", "<notxsl/>");
  EXPECT_FALSE(table.TransformXmlDoc(orders, "Broken", text, "", "", output, err));
  EXPECT_EQ(err.Description.rfind(text + "\r\n", 0), 0u) << err.Description;
}

TEST(TransformXmlDoc, ParameterIsPassedAsStringAndFailuresReachTheCaller) {
  StyleSheetTable table;
  ASSERT_TRUE(table.Add("echo", kEchoSheet));
  xml::Document orders;
  ASSERT_TRUE(orders.loadXML("<Orders><Design/><Design/></Orders>"));
  std::string output;
  Err err;
  const std::string quoted = "it's \"7\" or 1=1 and count(//x)";
  ASSERT_TRUE(table.TransformXmlDoc(orders, "Echo", "", "OrderID", quoted, output, err))
      << err.Description;
  EXPECT_EQ(output, "[" + quoted + "]2");
  ASSERT_TRUE(table.TransformXmlDoc(orders, "echo", "", "  ", "ignored", output, err));
  EXPECT_EQ(output, "[none]2");

  table.Add("stop",
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:template match='/'><xsl:message terminate='yes'>no orders</xsl:message>"
            "</xsl:template></xsl:stylesheet>");
  EXPECT_FALSE(table.TransformXmlDoc(orders, "stop", "unused", "", "", output, err));
  EXPECT_NE(err.Description.find("no orders"), std::string::npos) << err.Description;
}

}  // namespace
}  // namespace larkedi
