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
  // Two sheets missing from the installation.
  std::remove(module.path("html/Status.xsl").c_str());
  std::remove(module.path("html/ediorderlist.xsl").c_str());

  StyleSheetTable table;
  table.FillStyleSheets(Settings("PartnerPO.xsl"));

  const auto& standard = StyleSheetTable::StandardEntries();
  ASSERT_EQ(table.Count(), standard.size() + 1);
  EXPECT_EQ(table.Keys().back(), "PartnerPO.xsl");
  for (const std::string key : {"ediorderlist", "status", "STATUS", "sortcabinets", "catalogtoedi",
                                "OrderStackList", "partnerpo.XSL"}) {
    EXPECT_TRUE(table.Contains(key)) << key;
  }
  EXPECT_FALSE(table.Contains("status.xsl"));
  EXPECT_EQ(table.Item("SORTCABINETS"), table.Item("SortCabinets"));
  EXPECT_NE(table.Item("sortcabinets").find("xsl:stylesheet"), std::string::npos);
  EXPECT_NE(table.Item("PARTNERPO.xsl").find("OrderID"), std::string::npos);
  EXPECT_EQ(table.Item("no such key"), "");

  // Sheets that are missing have been reported once each and hold an empty text.
  EXPECT_TRUE(table.Item("Status").empty());
  EXPECT_TRUE(ShownMissing(dialogs, module.path("html/Status.xsl"), MsgIcon::Critical));
  EXPECT_TRUE(ShownMissing(dialogs, module.path("html/ediorderlist.xsl"), MsgIcon::Critical));
  EXPECT_EQ(dialogs.CountShown("Status.xsl"), 1);

  // A refill starts from an empty table; an empty TRANSFORMATION adds nothing.
  table.FillStyleSheets(Settings(""));
  EXPECT_EQ(table.Count(), standard.size());
  EXPECT_FALSE(table.Contains("PartnerPO.xsl"));
}

TEST_F(StyleSheetModule, StyleSheetNamedWithFolderIsReadFromThere) {
  std::string elsewhere = module.path("partners/po.xsl");
  WriteFileOrDie(elsewhere, kEchoSheet);
  WriteFileOrDie(module.path("html/po.xsl"), "<not-this/>");

  StyleSheetTable table;
  table.FillStyleSheets(Settings(elsewhere));
  EXPECT_NE(table.Item(elsewhere).find("OrderID"), std::string::npos);
}

TEST_F(StyleSheetModule, LoadLocalizedFileReplacesResourcePlaceholders) {
  WriteFileOrDie(module.path("html/page.xsl"),
                 "<page><b><IDS Name='MSG Done'/></b><i>keep</i></page>");

  std::string text = LoadLocalizedFile("page.xsl", "lkedi.resx", true);
  EXPECT_NE(text.find("<b>" + Res("MSG Done") + "</b>"), std::string::npos) << text;
  EXPECT_EQ(text.find("IDS"), std::string::npos);
  EXPECT_NE(text.find("<i>keep</i>"), std::string::npos);

  // Without a resource file name the text comes back as it is on disk.
  EXPECT_EQ(LoadLocalizedFile("page.xsl", "", true), ReadFileOrEmpty(module.path("html/page.xsl")));
  EXPECT_EQ(LoadLocalizedFile("  ", "lkedi.resx", true), "");
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

TEST_F(ThirdPlaceResources, ResourceFileFoundOnlyInSharedFolderStillLocalises) {
  std::string resx = ReadFileOrEmpty(testing::SourceDir() + "/html/LkEDI.resx");
  std::string marker = "<value>Done</value>";
  ASSERT_NE(resx.find(marker), std::string::npos);
  resx.replace(resx.find(marker), marker.size(), "<value>Shared resources</value>");
  WriteFileOrDie(module_.path("common/resources/en/LkEDI.resx"), resx);

  std::string text = LoadLocalizedFile("page.xsl", "lkedi.resx", true);
  EXPECT_NE(text.find("<page>Shared resources</page>"), std::string::npos) << text;
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(ThirdPlaceResources, NoResourceFileAnywhereIsReportedWithTheLastPlace) {
  EXPECT_EQ(LoadLocalizedFile("page.xsl", "lkedi.resx", true), "");
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find(JoinPath(mod_, "../common/resources/en/lkedi.resx")),
            std::string::npos)
      << dialogs_.shown[0].text;
  EXPECT_EQ(dialogs_.shown[0].icon, MsgIcon::Critical);
}

TEST_F(StyleSheetModule, ReadHtmlFileReportsAMissingFileUnlessNotChecked) {
  WriteFileOrDie(module.path("html/home.htm"), "<html>home</html>");

  EXPECT_EQ(ReadHtmlFile("home.htm", false), "<html>home</html>");
  EXPECT_EQ(ReadHtmlFile("HOME.HTM", false), "<html>home</html>");
  EXPECT_EQ(ReadHtmlFile("gone.htm", true), "");
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(ReadHtmlFile("gone.htm", false), "");
  EXPECT_TRUE(ShownMissing(dialogs, module.path("html/gone.htm"), MsgIcon::Exclamation));
  EXPECT_EQ(ReadHtmlFile("", false), "");
  EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(StyleSheetModule, TransformWithAMissingStyleSheetRaisesWithTheCallersText) {
  std::remove(module.path("html/orderstogo.xsl").c_str());
  StyleSheetTable table;
  table.FillStyleSheets(Settings(""));
  EXPECT_TRUE(ShownMissing(dialogs, module.path("html/orderstogo.xsl"), MsgIcon::Critical));

  xml::Document orders;
  ASSERT_TRUE(orders.loadXML("<Orders><Design/></Orders>"));
  std::string output = "stale";
  Err err;
  const std::string text = Res("MSG ErrorLoadingOrdersToGoXSLFile");
  EXPECT_FALSE(table.TransformXmlDoc(orders, "orderstogo", text, "", "", output, err));
  EXPECT_EQ(output, "");
  EXPECT_EQ(err.Number, kErrComponent);
  EXPECT_EQ(err.Source, "TransformXmlDoc using orderstogo");
  ASSERT_GT(err.Description.size(), text.size() + 2);
  EXPECT_EQ(err.Description.substr(0, text.size() + 2), text + "\r\n");

  // Well-formed XML that is not a style sheet is reported the same way.
  table.Add("broken", "<notxsl/>");
  EXPECT_FALSE(table.TransformXmlDoc(orders, "Broken", text, "", "", output, err));
  EXPECT_EQ(err.Source, "TransformXmlDoc using Broken");
  EXPECT_EQ(err.Description.rfind(text + "\r\n", 0), 0u);
}

TEST(TransformXmlDoc, ParameterIsPassedAsStringAndOnlyWhenNamed) {
  StyleSheetTable table;
  ASSERT_TRUE(table.Add("echo", kEchoSheet));
  EXPECT_FALSE(table.Add("ECHO", "<other/>"));
  xml::Document orders;
  ASSERT_TRUE(orders.loadXML("<Orders><Design/><Design/></Orders>"));
  std::string output;
  Err err;

  const std::string quoted = "it's \"7\" or 1=1 and count(//x)";
  ASSERT_TRUE(table.TransformXmlDoc(orders, "Echo", "", "OrderID", quoted, output, err))
      << err.Description;
  EXPECT_EQ(output, "[" + quoted + "]2");
  EXPECT_FALSE(err);

  ASSERT_TRUE(table.TransformXmlDoc(orders, "echo", "", "  ", "ignored", output, err));
  EXPECT_EQ(output, "[none]2");
}

TEST(TransformXmlDoc, FailingTransformationIsRaisedToTheCaller) {
  StyleSheetTable table;
  table.Add("stop",
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:template match='/'><xsl:message terminate='yes'>no orders</xsl:message>"
            "</xsl:template></xsl:stylesheet>");
  xml::Document orders;
  ASSERT_TRUE(orders.loadXML("<Orders/>"));
  std::string output;
  Err err;
  EXPECT_FALSE(table.TransformXmlDoc(orders, "stop", "unused", "", "", output, err));
  EXPECT_EQ(err.Source, "TransformXmlDoc using stop");
  EXPECT_NE(err.Description.find("no orders"), std::string::npos) << err.Description;
}

}  // namespace
}  // namespace larkedi
