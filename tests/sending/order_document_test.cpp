// The order document of one order group (catalogs, groups, files, header values) and the
// purchase-order conversion around the partner's style sheet.
#include "sending/order_document.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ui/dialogs.h"
#include "sending/ckutil.h"
#include "support/resx.h"
#include "testing/partner_sim.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::WriteFileOrDie;

// A stacked design with catalogs of two partners: 10 orders catalogs 1 and 3, 11 orders 2.
std::string StackXml(const std::string& kit_path, const std::string& files_of_group_5,
                     const std::string& designer = "<Contact><Type>Designer</Type></Contact>") {
  auto catalog = [](const std::string& id, const std::string& name, const std::string& items) {
    return "<Catalog><ID>" + id + "</ID><Identification><Name><![CDATA[" + name +
           "]]></Name><ManufID><![CDATA[old]]></ManufID><DealerID><![CDATA[old]]></DealerID>"
           "<Password><![CDATA[old]]></Password></Identification>" +
           items + "</Catalog>";
  };
  return "<Orders><Design><ID>1</ID><FileName>ABC.xme</FileName>"
         "<JobInfo><FileName>" +
         kit_path +
         "</FileName><Header><GlobalID>OLDGUID</GlobalID><Number><![CDATA[stale]]></Number>"
         "<TransactionCode/></Header>"
         "<Profile><Type>BillTo</Type>" +
         designer +
         "</Profile></JobInfo>"
         "<File><Type>Kit</Type><Name><![CDATA[]]></Name><FileData></FileData></File>" +
         catalog("1", "Base", "<Item><Class>100</Class></Item><Item><Class>885</Class></Item>") +
         catalog("2", "Other", "<Item><Class>100</Class></Item>") +
         catalog("3", "O'Neil \"Wall\"", "<Item><Class>885</Class></Item>") +
         "<ORDERGROUP><ID>5</ID><PARTNERID>10</PARTNERID><CATALOGID>1</CATALOGID>"
         "<CATALOGID>3</CATALOGID><PONUMBER>PO-9</PONUMBER><COMMENT>Call first</COMMENT>"
         "<CONTACTNAME>Ann Lee</CONTACTNAME><RFQ>1</RFQ>" +
         files_of_group_5 +
         "</ORDERGROUP>"
         "<ORDERGROUP><ID>6</ID><PARTNERID>11</PARTNERID><CATALOGID>2</CATALOGID>"
         "<PONUMBER>PO-7</PONUMBER><RFQ>0</RFQ></ORDERGROUP>"
         "</Design></Orders>";
}

std::string SettingsXml(const std::string& kit_for_10) {
  return "<SETTINGS><PARTNER><ID>10</ID><KITFILEID>" + kit_for_10 +
         "</KITFILEID></PARTNER><PARTNER><ID>11</ID><KITFILEID>0</KITFILEID></PARTNER></SETTINGS>";
}

class OrderDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScopedReset();
    dir_ = module_.dir();
  }
  void ScopedReset() { dialogs_scope_ = std::make_unique<ScopedDialogs>(&dialogs_); }

  /// Loads the stack and copies the design for the order group `group`.
  xml::Node Prepare(const std::string& stack, const std::string& group) {
    EXPECT_TRUE(orders_.loadXML(stack));
    EXPECT_TRUE(tmpdoc_.loadXML(orders_.selectSingleNode("Orders/Design").xml()));
    return orders_.selectSingleNode("//ORDERGROUP[ID='" + group + "']");
  }

  testing::TempModule module_;
  std::string dir_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<ScopedDialogs> dialogs_scope_;
  xml::Document orders_, tmpdoc_, settings_;
};

TEST_F(OrderDocumentTest, EachPartnersCopyHoldsOnlyItsCatalogsGroupAndHeader) {
  ASSERT_TRUE(settings_.loadXML(SettingsXml("0")));
  xml::Node order = Prepare(StackXml("/none", ""), "5");
  Err err;
  ASSERT_TRUE(BuildOrderDocument(order, tmpdoc_, settings_, "M-10", "D-1", "pw", &err));
  EXPECT_FALSE(err);

  xml::NodeList catalogs = tmpdoc_.selectNodes("//Catalog");
  ASSERT_EQ(catalogs.length(), 2);
  for (xml::Node catalog : catalogs) {
    xml::Node manuf = catalog.selectSingleNode("Identification/ManufID");
    EXPECT_EQ(manuf.text(), "M-10");
    EXPECT_EQ(manuf.firstChild().nodeType(), xml::NodeType::CData);  // the section is kept
    EXPECT_EQ(catalog.selectSingleNode("Identification/DealerID").text(), "D-1");
    EXPECT_EQ(catalog.selectSingleNode("Identification/Password").text(), "pw");
    EXPECT_FALSE(catalog.selectSingleNode("Item[Class='885']"));
  }
  EXPECT_EQ(tmpdoc_.selectNodes("//Catalog/Item").length(), 1);  // the 885 items are gone
  xml::NodeList groups = tmpdoc_.selectNodes("//ORDERGROUP");
  ASSERT_EQ(groups.length(), 1);
  EXPECT_EQ(groups.item(0).selectSingleNode("ID").text(), "5");

  const std::string guid = tmpdoc_.selectSingleNode("Design/JobInfo/Header/GlobalID").text();
  EXPECT_EQ(guid.size(), 32u);
  EXPECT_NE(guid, "OLDGUID");
  EXPECT_EQ(tmpdoc_.selectSingleNode("Design/JobInfo/Header/Number").text(), "PO-9");
  xml::Node comment = tmpdoc_.selectSingleNode("Design/JobInfo/Header/Comment");
  ASSERT_TRUE(comment);
  EXPECT_EQ(comment.firstChild().nodeType(), xml::NodeType::CData);
  EXPECT_EQ(comment.text(), "Call first");
  EXPECT_EQ(tmpdoc_.selectSingleNode("Design/JobInfo/Header/TransactionCode").text(), "10");
  xml::Node name = tmpdoc_.selectSingleNode(
      "Design/JobInfo/Profile[Type='BillTo']/Contact[Type='Designer']/Name[@Type='FullName']");
  ASSERT_TRUE(name);
  EXPECT_EQ(name.text(), "Ann Lee");
  // The kit file was not asked for: the stack's File element is untouched.
  EXPECT_EQ(tmpdoc_.selectNodes("Design/File").length(), 1);
  EXPECT_EQ(tmpdoc_.selectSingleNode("Design/File/FileData").text(), "");

  // The other partner's copy of the same design.
  xml::Node other = Prepare(StackXml("/none", ""), "6");
  ASSERT_TRUE(BuildOrderDocument(other, tmpdoc_, settings_, "M-11", "D-1", "", &err));
  catalogs = tmpdoc_.selectNodes("//Catalog");
  ASSERT_EQ(catalogs.length(), 1);
  EXPECT_EQ(catalogs.item(0).selectSingleNode("ID").text(), "2");
  EXPECT_EQ(tmpdoc_.selectSingleNode("//ORDERGROUP/ID").text(), "6");
  EXPECT_EQ(tmpdoc_.selectSingleNode("Design/JobInfo/Header/TransactionCode").text(), "00");
  EXPECT_NE(tmpdoc_.selectSingleNode("Design/JobInfo/Header/GlobalID").text(), guid);
}

TEST_F(OrderDocumentTest, KitFileUpdatesTheStacksFileElementAndAttachmentsAreAppended) {
  const std::string kit = dir_ + "/job.kit";
  const std::string attach = dir_ + "/plan.pdf";
  WriteFileOrDie(kit, std::string(3000, 'k') + "\r\nkit end");
  WriteFileOrDie(attach, "attached plan");
  ASSERT_TRUE(settings_.loadXML(SettingsXml("1")));
  xml::Node order = Prepare(StackXml(kit, "<File><Name>" + attach + "</Name></File>"), "5");
  Err err;
  ASSERT_TRUE(BuildOrderDocument(order, tmpdoc_, settings_, "M", "D", "P", &err))
      << err.Description;

  xml::NodeList files = tmpdoc_.selectNodes("Design/File");
  ASSERT_EQ(files.length(), 2);  // the stack's element updated, the attachment added
  EXPECT_EQ(files.item(0).selectSingleNode("Name").text(), kit);
  EXPECT_EQ(files.item(1).selectSingleNode("Name").text(), attach);
  CKUtil ck;
  for (long i = 0; i < 2; ++i) {
    EXPECT_EQ(files.item(i).selectSingleNode("Type").text(), "Kit");
    const std::string data = files.item(i).selectSingleNode("FileData").text();
    EXPECT_EQ(data.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(ck.GetDecompressedFileData(true, true, data, false),
              testing::ReadFileOrEmpty(i == 0 ? kit : attach));
  }
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(OrderDocumentTest, AMissingFileIsAskedAboutNoStopsYesSkipsIt) {
  const std::string first = dir_ + "/a.txt";
  const std::string third = dir_ + "/c.txt";
  WriteFileOrDie(first, "first");
  WriteFileOrDie(third, "third");
  const std::string files = "<File><Name>" + first + "</Name></File><File><Name>" + dir_ +
                            "/missing.txt</Name></File><File><Name>" + third + "</Name></File>";
  ASSERT_TRUE(settings_.loadXML(SettingsXml("0")));

  dialogs_.msgbox_answers = {MsgResult::No};
  xml::Node order = Prepare(StackXml("/none", files), "5");
  Err err;
  EXPECT_FALSE(BuildOrderDocument(order, tmpdoc_, settings_, "M", "D", "P", &err));
  EXPECT_FALSE(err);  // declined, not failed
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find(dir_ + "/missing.txt"), std::string::npos);
  EXPECT_NE(dialogs_.shown[0].text.find(Res("MSG DoYouWishProcessOrder")), std::string::npos);
  EXPECT_EQ(dialogs_.shown[0].buttons, MsgButtons::YesNo);

  dialogs_.msgbox_answers = {MsgResult::Yes};
  order = Prepare(StackXml("/none", files), "5");
  ASSERT_TRUE(BuildOrderDocument(order, tmpdoc_, settings_, "M", "D", "P", &err));
  xml::NodeList embedded = tmpdoc_.selectNodes("Design/File[FileData!='']/Name");
  ASSERT_EQ(embedded.length(), 2);
  EXPECT_EQ(embedded.item(0).text(), first);
  EXPECT_EQ(embedded.item(1).text(), third);

  // A missing kit file asks the same question.
  ASSERT_TRUE(settings_.loadXML(SettingsXml("1")));
  dialogs_.msgbox_answers = {MsgResult::No};
  order = Prepare(StackXml(dir_ + "/gone.kit", ""), "5");
  EXPECT_FALSE(BuildOrderDocument(order, tmpdoc_, settings_, "M", "D", "P", &err));
  EXPECT_NE(dialogs_.shown.back().text.find(dir_ + "/gone.kit"), std::string::npos);
}

TEST_F(OrderDocumentTest, ADesignWithoutDesignerContactIsStillPrepared) {
  ASSERT_TRUE(settings_.loadXML(SettingsXml("0")));
  xml::Node order = Prepare(StackXml("/none", "", ""), "5");
  Err err;
  ASSERT_TRUE(BuildOrderDocument(order, tmpdoc_, settings_, "M", "D", "P", &err));
  EXPECT_FALSE(tmpdoc_.selectSingleNode("//Name[@Type='FullName']"));
  EXPECT_EQ(tmpdoc_.selectSingleNode("Design/JobInfo/Header/Number").text(), "PO-9");
}

TEST(SetHeaderValueTest, CreatesFillsOrOverwritesAndNeedsAParent) {
  xml::Document doc;
  ASSERT_TRUE(doc.loadXML(
      "<Design><JobInfo><Header><Empty/><Full>old<b>x</b></Full></Header></JobInfo></Design>"));
  xml::Node created =
      SetHeaderValue(doc, "Design/JobInfo/Header/New", "Design/JobInfo/Header", "a&b");
  ASSERT_TRUE(created);
  EXPECT_EQ(created.xml(), "<New><![CDATA[a&b]]></New>");
  EXPECT_EQ(SetHeaderValue(doc, "Design/JobInfo/Header/Empty", "Design/JobInfo/Header", "e").xml(),
            "<Empty><![CDATA[e]]></Empty>");
  // Only the first child node is set.
  EXPECT_EQ(SetHeaderValue(doc, "Design/JobInfo/Header/Full", "Design/JobInfo/Header", "new").xml(),
            "<Full>new<b>x</b></Full>");
  EXPECT_FALSE(SetHeaderValue(doc, "Design/Nowhere/X", "Design/Nowhere", "v"));
  EXPECT_FALSE(doc.selectSingleNode("//X"));
}

TEST(KeepCatalogOnlyTest, KeepsOneCatalogWhateverQuotesItsNameHolds) {
  const std::vector<std::string> names = {"Base", "O'Neil", "The \"Wall\"", "O'Neil \"Tall\""};
  std::string po = "<PURCHASEORDER><Design>";
  for (const auto& n : names) {
    po += "<Catalog><Identification><Name>" + xml::EscapeXmlText(n) +
          "</Name></Identification></Catalog>";
  }
  po += "</Design>";
  for (const auto& n : names)
    po += "<PODETAILS><CATALOG>" + xml::EscapeXmlText(n) + "</CATALOG></PODETAILS>";
  po += "<POLINES>";
  for (const auto& n : names) {
    po += "<ITEM><CATNAME>" + xml::EscapeXmlText(n) + "</CATNAME></ITEM><ITEM><CATNAME>" +
          xml::EscapeXmlText(n) + "</CATNAME></ITEM>";
  }
  po += "</POLINES><POHEADER>kept</POHEADER></PURCHASEORDER>";

  for (const auto& keep : names) {
    xml::Document doc;
    ASSERT_TRUE(doc.loadXML(po));
    KeepCatalogOnly(doc, keep);
    xml::NodeList details = doc.selectNodes("//PODETAILS/CATALOG");
    ASSERT_EQ(details.length(), 1) << keep;
    EXPECT_EQ(details.item(0).text(), keep);
    xml::NodeList items = doc.selectNodes("//POLINES/ITEM/CATNAME");
    ASSERT_EQ(items.length(), 2) << keep;
    EXPECT_EQ(items.item(1).text(), keep);
    xml::NodeList catalogs = doc.selectNodes("//Design/Catalog/Identification/Name");
    ASSERT_EQ(catalogs.length(), 1) << keep;
    EXPECT_EQ(catalogs.item(0).text(), keep);
    EXPECT_TRUE(doc.selectSingleNode("//POHEADER"));
  }
}

class TransformationTest : public ::testing::Test {
 protected:
  testing::TempModule module_;
  xml::Document design_;
  void SetUp() override {
    ASSERT_TRUE(design_.loadXML(
        "<Design><JobInfo><Header><Number>PO-\xC3\xA9</Number><GlobalID>G1</GlobalID></Header>"
        "</JobInfo><Catalog><Identification><Name>Base</Name></Identification>"
        "<Item><Class>100</Class></Item></Catalog></Design>"));
  }
  std::string Sheet(const std::string& name, const std::string& body,
                    const std::string& output = "<xsl:output method=\"xml\"/>") {
    const std::string path = module_.path(name);
    WriteFileOrDie(path,
                   "<xsl:stylesheet version=\"1.0\" "
                   "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
                   "xmlns:exsl=\"http://exslt.org/common\" extension-element-prefixes=\"exsl\">" +
                       output + body + "</xsl:stylesheet>");
    return path;
  }
};

TEST_F(TransformationTest, AStyleSheetNameResolvesUnderTheModulesHtmlFolder) {
  std::string path = "CatalogToEDI.xsl";
  const std::string result = DoCustomTransformation(design_, path);
  EXPECT_EQ(path, module_.path("html/CatalogToEDI.xsl"));
  ASSERT_NE(result.rfind("ERROR", 0), 0u) << result;
  xml::Document po;
  ASSERT_TRUE(po.loadXML(result)) << result;
  EXPECT_EQ(po.selectSingleNode("//POHEADER/PONUMBER").text(), "PO-\xC3\xA9");

  std::string missing = "NoSuch.xsl";
  EXPECT_EQ(DoCustomTransformation(design_, missing),
            "ERROR : File was not found: " + module_.path("html/NoSuch.xsl"));
  std::string absolute = module_.path("elsewhere/x.xsl");  // a path is used as it is
  EXPECT_EQ(DoCustomTransformation(design_, absolute), "ERROR : File was not found: " + absolute);
  EXPECT_EQ(absolute, module_.path("elsewhere/x.xsl"));
}

TEST_F(TransformationTest, FailuresAllBeginWithError) {
  std::string broken = module_.path("broken.xsl");
  WriteFileOrDie(broken, "<xsl:stylesheet version=\"1.0\"");
  const std::string load = DoCustomTransformation(design_, broken);
  ASSERT_FALSE(Res("MSG ErrorLoadingPOTransformXSFiile").empty());
  EXPECT_EQ(load.rfind("ERROR : " + Res("MSG ErrorLoadingPOTransformXSFiile") + "\r\n", 0), 0u)
      << load;

  std::string stops = Sheet("stops.xsl",
                            "<xsl:template match=\"/\"><xsl:message terminate=\"yes\">no "
                            "partner</xsl:message></xsl:template>");
  const std::string run = DoCustomTransformation(design_, stops);
  EXPECT_EQ(run.rfind("ERROR : ", 0), 0u) << run;
  EXPECT_NE(run.find("no partner"), std::string::npos) << run;
}

TEST_F(TransformationTest, OutputIsUtf8WhateverTheSheetDeclares) {
  std::string latin = Sheet("latin.xsl",
                            "<xsl:template match=\"/\"><PO><N><xsl:value-of "
                            "select=\"//Number\"/></N></PO></xsl:template>",
                            "<xsl:output method=\"xml\" encoding=\"ISO-8859-1\"/>");
  const std::string result = DoCustomTransformation(design_, latin);
  EXPECT_NE(result.find("PO-\xC3\xA9"), std::string::npos) << result;
  EXPECT_EQ(result.find("ISO-8859-1"), std::string::npos) << result;
  xml::Document po;
  ASSERT_TRUE(po.loadXML(result)) << result;
  EXPECT_EQ(po.selectSingleNode("/PO/N").text(), "PO-\xC3\xA9");
}

TEST_F(TransformationTest, AStyleSheetCannotWriteFiles) {
  const std::string target = module_.path("written.txt");
  std::string writer =
      Sheet("writer.xsl", "<xsl:template match=\"/\"><exsl:document href=\"" + target +
                              "\" method=\"text\">owned</exsl:document><PO/></xsl:template>");
  const std::string result = DoCustomTransformation(design_, writer);
  EXPECT_EQ(result.rfind("ERROR : ", 0), 0u) << result;
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(TransformationTest, AStyleSheetCannotReachTheNetwork) {
  testing::PartnerSim sim(R"({"dealers": []})");
  ASSERT_TRUE(sim.running());
  std::string reader =
      Sheet("reader.xsl", "<xsl:template match=\"/\"><PO><xsl:copy-of select=\"document('" +
                              sim.url("/gateway/health") + "')\"/></PO></xsl:template>");
  const std::string result = DoCustomTransformation(design_, reader);
  EXPECT_EQ(result.find("OK"), std::string::npos) << result;
  EXPECT_TRUE(sim.Requests().empty());
}

}  // namespace
}  // namespace larkedi
