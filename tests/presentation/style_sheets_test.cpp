#include "presentation/style_sheets.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <filesystem>
#include <string>
#include <vector>

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
  for (const std::string key : {"STATUS", "OrderStackList", "partnerpo.XSL"}) {
    EXPECT_TRUE(table.Contains(key)) << key;
  }
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

// The module runs from <tmp>/mod so that <tmp>/common/resources is its shared resource folder;
// a resource file only there still localises the page's placeholders.
TEST(ThirdPlaceResources, ResourceFileOnlyInTheSharedFolderStillLocalises) {
  TempModule module(false);
  ScriptedDialogs dialogs;
  ScopedDialogs scoped(&dialogs);
  const std::string mod = module.path("mod");
  fs::create_directories(mod + "/html");
  SetModuleFolder(mod);
  Module().LanguageFolder = "en/";
  WriteFileOrDie(mod + "/html/page.xsl", "<page><IDS Name='MSG Done'/></page>");
  // Nowhere yet: reported with the last place looked at.
  EXPECT_EQ(LoadLocalizedFile("page.xsl", "lkedi.resx", true), "");
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].text.find(JoinPath(mod, "../common/resources/en/lkedi.resx")),
            std::string::npos)
      << dialogs.shown[0].text;

  std::string resx = ReadFileOrEmpty(testing::SourceDir() + "/html/LkEDI.resx");
  const std::string marker = "<value>Done</value>";
  ASSERT_NE(resx.find(marker), std::string::npos);
  resx.replace(resx.find(marker), marker.size(), "<value>Shared resources</value>");
  WriteFileOrDie(module.path("common/resources/en/LkEDI.resx"), resx);
  std::string text = LoadLocalizedFile("page.xsl", "lkedi.resx", true);
  EXPECT_NE(text.find("<page>Shared resources</page>"), std::string::npos) << text;
}

// The parameter reaches the sheet as a string; a missing or broken sheet raises with the
// caller's text, and a sheet's own failure reaches the caller.
TEST_F(StyleSheetModule, TransformPassesTheParameterAndReportsFailures) {
  std::remove(module.path("html/orderstogo.xsl").c_str());
  StyleSheetTable table;
  table.FillStyleSheets(Settings(""));
  ASSERT_TRUE(table.Add("echo", kEchoSheet));
  xml::Document orders;
  ASSERT_TRUE(orders.loadXML("<Orders><Design/><Design/></Orders>"));
  std::string output;
  Err err;
  const std::string quoted = "it's \"7\" or 1=1 and count(//x)";
  ASSERT_TRUE(table.TransformXmlDoc(orders, "Echo", "", "OrderID", quoted, output, err))
      << err.Description;
  EXPECT_EQ(output, "[" + quoted + "]2");

  const std::string text = Res("MSG ErrorLoadingOrdersToGoXSLFile");
  EXPECT_FALSE(table.TransformXmlDoc(orders, "orderstogo", text, "", "", output, err));
  EXPECT_EQ(output, "");
  EXPECT_EQ(err.Description.rfind(text + "\r\n", 0), 0u) << err.Description;
  // Well-formed XML that is not a style sheet is reported the same way.
  table.Add("broken", "<notxsl/>");
  EXPECT_FALSE(table.TransformXmlDoc(orders, "Broken", text, "", "", output, err));
  EXPECT_EQ(err.Description.rfind(text + "\r\n", 0), 0u) << err.Description;
  table.Add("stop",
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:template match='/'><xsl:message terminate='yes'>no orders</xsl:message>"
            "</xsl:template></xsl:stylesheet>");
  EXPECT_FALSE(table.TransformXmlDoc(orders, "stop", "unused", "", "", output, err));
  EXPECT_NE(err.Description.find("no orders"), std::string::npos) << err.Description;
}

std::string Transform(const std::string& name, const std::string& input) {
  xml::Document doc;
  EXPECT_TRUE(doc.loadXML(input)) << doc.parseErrorReason();
  std::string error;
  xml::Document sheet;
  EXPECT_TRUE(sheet.load(testing::SourceDir() + "/html/" + name)) << sheet.parseErrorReason();
  std::string out = doc.transformNode(sheet, &error);
  EXPECT_EQ(error, "");
  return out;
}

std::vector<std::string> Texts(const xml::Node& node, const std::string& xpath) {
  std::vector<std::string> texts;
  for (xml::Node n : node.selectNodes(xpath)) texts.push_back(n.text());
  return texts;
}

std::string Item(const std::string& code, const std::string& key) {
  return "<Item><Code>" + code + "</Code><SortOrder>" + key + "</SortOrder></Item>";
}

// The cabinet sort shipped with the module.
TEST(SortCabinetsXsl, SortsEachCatalogNumericallyKeepingOrderOfEqualKeys) {
  std::string design = "<Project><Design><Catalog><Identification><Name>A</Name></Identification>" +
                       Item("ten", "10") + Item("nine-1", "9") + "<Note>n</Note>" +
                       Item("two", "2") + Item("nine-2", "9") + Item("none", "") +
                       Item("one", "1") + "<ID>4</ID></Catalog>" + "</Design><Design><Catalog>" +
                       Item("d", "5") + Item("c", "3") + "</Catalog></Design>" + "</Project>";
  xml::Document out;
  ASSERT_TRUE(out.loadXML(Transform("SortCabinets.xsl", design)));
  // Numeric (10 after 9), stable for the two 9s, the item without a key last; the other
  // children of the catalog stay where they were; every design of a project is kept.
  xml::Node first = out.selectSingleNode("/Project/Design[1]/Catalog");
  EXPECT_EQ(Texts(first, "Item/Code"),
            (std::vector<std::string>{"one", "two", "nine-1", "nine-2", "ten", "none"}));
  EXPECT_EQ(Texts(first, "*[not(self::Item)]"), (std::vector<std::string>{"A", "n", "4"}));
  EXPECT_EQ(first.lastChild().nodeName(), "ID");
  EXPECT_EQ(Texts(out, "/Project/Design[2]/Catalog/Item/Code"),
            (std::vector<std::string>{"c", "d"}));
}

constexpr const char* kOrderDocument = R"(<Design>
  <JobInfo>
    <FileName>C:/jobs/smith.kit</FileName>
    <Header><Number>PO-77</Number><TransactionCode>00</TransactionCode>
      <GlobalID>0123456789ABCDEF0123456789ABCDEF</GlobalID><DateSent>03/07/2006 9:5:3</DateSent>
      <Name>Smith kitchen</Name><Comment><![CDATA[Deliver <before> noon]]></Comment></Header>
    <Profile><Type>BillTo</Type><Name>Dealer Inc</Name>
      <Location><City>Quebec</City></Location>
      <Contact><Type>Designer</Type><Name/></Contact>
      <Contact><Type>Designer</Type><Name Type="FullName">Ann Lee</Name></Contact></Profile>
    <Profile><Type>ShipTo</Type><Name>Smith</Name><Location><City>Levis</City></Location></Profile>
  </JobInfo>
  <Catalog><ID>1</ID><Identification><Name>Base</Name><ManufID><![CDATA[M1]]></ManufID>
      <DealerID><![CDATA[D9]]></DealerID><Password><![CDATA[secret]]></Password></Identification>
    <Item><Code>B12</Code><LineItemNumber>1</LineItemNumber><Quantity>2</Quantity></Item>
    <Item><Code>KNOB</Code><LineItemNumber>1.1</LineItemNumber></Item></Catalog>
  <Catalog><ID>2</ID><Identification><Name>Wall</Name><ManufID><![CDATA[M1]]></ManufID>
      <DealerID><![CDATA[D9]]></DealerID><Password/></Identification>
    <Item><Code>W3030</Code><LineItemNumber>2</LineItemNumber></Item></Catalog>
  <File><Type>Kit</Type><Name><![CDATA[C:/jobs/smith.kit]]></Name><FileData>QUJD</FileData></File>
  <CurCatalog><![CDATA[]]></CurCatalog>
  <ORDERGROUP><ID>1</ID></ORDERGROUP>
</Design>)";

// The default purchase-order conversion shipped with the module (the excluded items are taken
// out of each partner's copy before it, as the order document tests show).
TEST(CatalogToEdiXsl, PurchaseOrderHasDetailsAndLinesPerCatalog) {
  std::string text = Transform("CatalogToEDI.xsl", kOrderDocument);
  ASSERT_NE(text.rfind("ERROR", 0), 0u);
  xml::Document po;
  ASSERT_TRUE(po.loadXML(text)) << po.parseErrorReason();

  // (The sending tests check that every item line names a catalog of the document.)
  EXPECT_EQ(Texts(po, "//PODETAILS[CATALOG='Base']/PASSWORD"), std::vector<std::string>{"secret"});
  EXPECT_EQ(Texts(po, "//POLINES/ITEM[CATNAME='Base']/Code"),
            (std::vector<std::string>{"B12", "KNOB"}));

  EXPECT_EQ(po.selectSingleNode("//POHEADER/PONUMBER").text(), "PO-77");
  EXPECT_EQ(po.selectSingleNode("//POHEADER/COMMENT").text(), "Deliver <before> noon");
  EXPECT_EQ(po.selectSingleNode("//POHEADER/BILLTO/CONTACT").text(), "Ann Lee");
  EXPECT_EQ(po.selectSingleNode("//POHEADER/SHIPTO/CITY").text(), "Levis");
  EXPECT_EQ(po.selectSingleNode("//ATTACHMENTS/FILE/FILEDATA").text(), "QUJD");
}

}  // namespace
}  // namespace larkedi
