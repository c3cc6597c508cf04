// The order document of one order group (catalogs, groups, files, header values) and the
// purchase-order conversion around the partner's style sheet.
#include "sending/order_document.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ui/dialogs.h"
#include "sending/ckutil.h"
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
         "<PONUMBER>PO-7</PONUMBER><CONTACTNAME>Bob</CONTACTNAME><RFQ>0</RFQ></ORDERGROUP>"
         "</Design></Orders>";
}

std::string SettingsXml(const std::string& kit_for_10) {
  return "<SETTINGS><PARTNER><ID>10</ID><KITFILEID>" + kit_for_10 +
         "</KITFILEID></PARTNER><PARTNER><ID>11</ID><KITFILEID>0</KITFILEID></PARTNER></SETTINGS>";
}

class OrderDocumentTest : public ::testing::Test {
 protected:
  /// Loads the stack and copies the design for the order group `group`.
  xml::Node Prepare(const std::string& stack, const std::string& group) {
    EXPECT_TRUE(orders_.loadXML(stack));
    EXPECT_TRUE(tmpdoc_.loadXML(orders_.selectSingleNode("Orders/Design").xml()));
    return orders_.selectSingleNode("//ORDERGROUP[ID='" + group + "']");
  }

  testing::TempModule module_;
  const std::string dir_ = module_.dir();
  ScriptedDialogs dialogs_;
  ScopedDialogs dialogs_scope_{&dialogs_};
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
    EXPECT_EQ(catalog.selectSingleNode("Identification/ManufID").text(), "M-10");
    EXPECT_EQ(catalog.selectSingleNode("Identification/DealerID").text(), "D-1");
    EXPECT_EQ(catalog.selectSingleNode("Identification/Password").text(), "pw");
  }
  EXPECT_EQ(tmpdoc_.selectNodes("//Catalog/Item").length(), 1);  // the 885 items are gone
  ASSERT_EQ(tmpdoc_.selectNodes("//ORDERGROUP").length(), 1);
  EXPECT_EQ(tmpdoc_.selectSingleNode("//ORDERGROUP/ID").text(), "5");

  const std::string guid = tmpdoc_.selectSingleNode("Design/JobInfo/Header/GlobalID").text();
  EXPECT_NE(guid, "OLDGUID");
  EXPECT_EQ(tmpdoc_.selectSingleNode("Design/JobInfo/Header/Number").text(), "PO-9");
  EXPECT_EQ(tmpdoc_.selectSingleNode("Design/JobInfo/Header/Comment").text(), "Call first");
  EXPECT_EQ(tmpdoc_.selectSingleNode("Design/JobInfo/Header/TransactionCode").text(), "10");
  EXPECT_EQ(tmpdoc_
                .selectSingleNode("Design/JobInfo/Profile[Type='BillTo']/Contact[Type='Designer']/"
                                  "Name[@Type='FullName']")
                .text(),
            "Ann Lee");
  // The kit file was not asked for: the stack's File element is untouched.
  EXPECT_EQ(tmpdoc_.selectNodes("Design/File[FileData!='']").length(), 0);

  // The other partner's copy of the same design, whose stack names no designer contact.
  xml::Node other = Prepare(StackXml("/none", "", ""), "6");
  ASSERT_TRUE(BuildOrderDocument(other, tmpdoc_, settings_, "M-11", "D-1", "", &err));
  ASSERT_EQ(tmpdoc_.selectNodes("//Catalog").length(), 1);
  EXPECT_EQ(tmpdoc_.selectSingleNode("//Catalog/ID").text(), "2");
  EXPECT_EQ(tmpdoc_.selectSingleNode("Design/JobInfo/Header/TransactionCode").text(), "00");
  EXPECT_NE(tmpdoc_.selectSingleNode("Design/JobInfo/Header/GlobalID").text(), guid);
  EXPECT_FALSE(tmpdoc_.selectSingleNode("//Name[@Type='FullName']"));
}

TEST_F(OrderDocumentTest, FilesAreEmbeddedWholeAndAMissingOneIsAskedAbout) {
  const std::string kit = dir_ + "/job.kit";
  const std::string first = dir_ + "/a.txt";
  const std::string third = dir_ + "/c.txt";
  WriteFileOrDie(kit, std::string(3000, 'k') + "\r\nkit end");
  WriteFileOrDie(first, "first");
  WriteFileOrDie(third, "third");
  const std::string files = "<File><Name>" + first + "</Name></File><File><Name>" + dir_ +
                            "/missing.txt</Name></File><File><Name>" + third + "</Name></File>";
  ASSERT_TRUE(settings_.loadXML(SettingsXml("1")));

  dialogs_.msgbox_answers = {MsgResult::No};  // No stops the order
  xml::Node order = Prepare(StackXml(kit, files), "5");
  Err err;
  EXPECT_FALSE(BuildOrderDocument(order, tmpdoc_, settings_, "M", "D", "P", &err));
  EXPECT_FALSE(err);  // declined, not failed
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find(dir_ + "/missing.txt"), std::string::npos);

  dialogs_.msgbox_answers = {MsgResult::Yes};  // Yes skips the file
  order = Prepare(StackXml(kit, files), "5");
  ASSERT_TRUE(BuildOrderDocument(order, tmpdoc_, settings_, "M", "D", "P", &err))
      << err.Description;
  EXPECT_EQ(dialogs_.shown.size(), 2u);  // asked about the missing file only
  // The stack's File element holds the kit, the attachments are appended.
  xml::NodeList embedded = tmpdoc_.selectNodes("Design/File");
  ASSERT_EQ(embedded.length(), 3);
  CKUtil ck;
  const std::string names[] = {kit, first, third};
  for (long i = 0; i < 3; ++i) {
    EXPECT_EQ(embedded.item(i).selectSingleNode("Name").text(), names[i]);
    EXPECT_EQ(embedded.item(i).selectSingleNode("Type").text(), "Kit");
    const std::string data = embedded.item(i).selectSingleNode("FileData").text();
    EXPECT_EQ(data.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(ck.GetDecompressedFileData(true, true, data, false),
              testing::ReadFileOrEmpty(names[i]));
  }

  // A missing kit file asks the same question.
  dialogs_.msgbox_answers = {MsgResult::No};
  order = Prepare(StackXml(dir_ + "/gone.kit", ""), "5");
  EXPECT_FALSE(BuildOrderDocument(order, tmpdoc_, settings_, "M", "D", "P", &err));
  EXPECT_NE(dialogs_.shown.back().text.find(dir_ + "/gone.kit"), std::string::npos);
}

TEST(KeepCatalogOnlyTest, KeepsOneCatalogWhateverQuotesItsNameHolds) {
  const std::vector<std::string> names = {"Base", "O'Neil", "O'Neil \"Tall\""};
  std::string design, details, lines;
  for (const auto& n : names) {
    const std::string e = xml::EscapeXmlText(n);
    design += "<Catalog><Identification><Name>" + e + "</Name></Identification></Catalog>";
    details += "<PODETAILS><CATALOG>" + e + "</CATALOG></PODETAILS>";
    lines += "<ITEM><CATNAME>" + e + "</CATNAME></ITEM><ITEM><CATNAME>" + e + "</CATNAME></ITEM>";
  }
  const std::string po = "<PURCHASEORDER><Design>" + design + "</Design>" + details + "<POLINES>" +
                         lines + "</POLINES><POHEADER>kept</POHEADER></PURCHASEORDER>";

  for (const auto& keep : names) {
    xml::Document doc;
    ASSERT_TRUE(doc.loadXML(po));
    KeepCatalogOnly(doc, keep);
    SCOPED_TRACE(keep);
    for (const char* path : {"//PODETAILS/CATALOG", "//POLINES/ITEM/CATNAME",
                             "//Design/Catalog/Identification/Name"}) {
      xml::NodeList kept = doc.selectNodes(path);
      ASSERT_EQ(kept.length(), std::string(path) == "//POLINES/ITEM/CATNAME" ? 2 : 1) << path;
      for (xml::Node n : kept) EXPECT_EQ(n.text(), keep) << path;
    }
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

TEST_F(TransformationTest, ANameResolvesUnderTheHtmlFolderOutputIsUtf8AndFailuresSayError) {
  std::string path = "CatalogToEDI.xsl";
  xml::Document po;
  ASSERT_TRUE(po.loadXML(DoCustomTransformation(design_, path)));
  EXPECT_EQ(path, module_.path("html/CatalogToEDI.xsl"));
  EXPECT_EQ(po.selectSingleNode("//POHEADER/PONUMBER").text(), "PO-\xC3\xA9");

  WriteFileOrDie(module_.path("broken.xsl"), "<xsl:stylesheet version=\"1.0\"");
  for (std::string sheet : {module_.path("elsewhere/x.xsl"), module_.path("broken.xsl"),
                            Sheet("stops.xsl",
                                  "<xsl:template match=\"/\"><xsl:message terminate=\"yes\">no "
                                  "partner</xsl:message></xsl:template>")}) {
    const std::string result = DoCustomTransformation(design_, sheet);
    EXPECT_EQ(result.rfind("ERROR : ", 0), 0u) << result;
  }

  // UTF-8 whatever the sheet declares.
  std::string latin = Sheet("latin.xsl",
                            "<xsl:template match=\"/\"><PO><N><xsl:value-of "
                            "select=\"//Number\"/></N></PO></xsl:template>",
                            "<xsl:output method=\"xml\" encoding=\"ISO-8859-1\"/>");
  const std::string result = DoCustomTransformation(design_, latin);
  EXPECT_EQ(result.find("ISO-8859-1"), std::string::npos) << result;
  ASSERT_TRUE(po.loadXML(result)) << result;
  EXPECT_EQ(po.selectSingleNode("/PO/N").text(), "PO-\xC3\xA9");
}

TEST_F(TransformationTest, AStyleSheetCannotWriteFilesOrReachTheNetwork) {
  const std::string target = module_.path("written.txt");
  std::string writer =
      Sheet("writer.xsl", "<xsl:template match=\"/\"><exsl:document href=\"" + target +
                              "\" method=\"text\">owned</exsl:document><PO/></xsl:template>");
  const std::string written = DoCustomTransformation(design_, writer);
  EXPECT_EQ(written.rfind("ERROR : ", 0), 0u) << written;
  EXPECT_FALSE(std::filesystem::exists(target));

  testing::PartnerSim sim(R"({"dealers": []})");
  ASSERT_TRUE(sim.running());
  std::string reader =
      Sheet("reader.xsl", "<xsl:template match=\"/\"><PO><xsl:copy-of select=\"document('" +
                              sim.url("/gateway/health") + "')\"/></PO></xsl:template>");
  const std::string read = DoCustomTransformation(design_, reader);
  EXPECT_EQ(read.find("OK"), std::string::npos) << read;
  EXPECT_TRUE(sim.Requests().empty());
}

}  // namespace
}  // namespace larkedi
