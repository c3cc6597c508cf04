// The two style sheets shipped for processing rather than display: the cabinet sort and
// the default purchase-order conversion.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/xml/xml.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

xml::Document Sheet(const std::string& name) {
  xml::Document sheet;
  EXPECT_TRUE(sheet.load(testing::SourceDir() + "/html/" + name)) << sheet.parseErrorReason();
  return sheet;
}

std::string Transform(const std::string& name, const std::string& input) {
  xml::Document doc;
  EXPECT_TRUE(doc.loadXML(input)) << doc.parseErrorReason();
  std::string error;
  std::string out = doc.transformNode(Sheet(name), &error);
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

TEST(CatalogToEdiXsl, PurchaseOrderHasDetailsAndLinesPerCatalog) {
  std::string text = Transform("CatalogToEDI.xsl", kOrderDocument);
  ASSERT_NE(text.rfind("ERROR", 0), 0u);
  xml::Document po;
  ASSERT_TRUE(po.loadXML(text)) << po.parseErrorReason();

  EXPECT_EQ(Texts(po, "//PODETAILS/CATALOG"), (std::vector<std::string>{"Base", "Wall"}));
  EXPECT_EQ(Texts(po, "//PODETAILS[CATALOG='Base']/PASSWORD"), std::vector<std::string>{"secret"});
  EXPECT_EQ(Texts(po, "//POLINES/ITEM/CATNAME"),
            (std::vector<std::string>{"Base", "Base", "Wall"}));
  EXPECT_EQ(Texts(po, "//POLINES/ITEM[CATNAME='Base']/Code"),
            (std::vector<std::string>{"B12", "KNOB"}));

  EXPECT_EQ(po.selectSingleNode("//POHEADER/PONUMBER").text(), "PO-77");
  EXPECT_EQ(po.selectSingleNode("//POHEADER/COMMENT").text(), "Deliver <before> noon");
  EXPECT_EQ(po.selectSingleNode("//POHEADER/BILLTO/CONTACT").text(), "Ann Lee");
  EXPECT_EQ(po.selectSingleNode("//POHEADER/SHIPTO/CITY").text(), "Levis");
  EXPECT_EQ(po.selectSingleNode("//ATTACHMENTS/FILE/FILEDATA").text(), "QUJD");
}

TEST(CatalogToEdiXsl, ExcludedItemsAndEmptyCatalogsGiveAValidOrder) {
  std::string text =
      Transform("CatalogToEDI.xsl",
                "<Design><JobInfo><Header/></JobInfo><Catalog><Identification>"
                "<Name>Only885</Name></Identification><Item><Class>885</Class></Item>"
                "</Catalog></Design>");
  xml::Document po;
  ASSERT_TRUE(po.loadXML(text)) << text;
  EXPECT_EQ(Texts(po, "//PODETAILS/CATALOG"), std::vector<std::string>{"Only885"});
  EXPECT_EQ(po.selectNodes("//POLINES/ITEM").length(), 0);
  EXPECT_EQ(po.selectSingleNode("//PODETAILS/LINECOUNT").text(), "0");
}

}  // namespace
}  // namespace larkedi
