#include "orders/design_builder.h"

#include <gtest/gtest.h>

#include <string>

#include "support/xml_helpers.h"

namespace larkedi {
namespace {

// The element structure under `node` as "Name(Child,Child(...))"; texts are left out, except
// that a non-empty leaf is written Name=text.
std::string Shape(const xml::Node& node) {
  std::string out = node.nodeName();
  std::string children;
  for (xml::Node c = node.firstChild(); !c.isNull(); c = c.nextSibling()) {
    if (c.nodeType() != xml::NodeType::Element) continue;
    if (!children.empty()) children += ",";
    children += Shape(c);
  }
  if (!children.empty()) return out + "(" + children + ")";
  if (!node.text().empty()) out += "=" + node.text();
  return out;
}

xml::Node LoadDesign(xml::Document& doc, const std::string& text) {
  EXPECT_TRUE(doc.loadXML(text)) << doc.parseErrorReason();
  return doc.selectSingleNode("//Design");
}

// Names of the element children of `node`, in order.
std::string Children(const xml::Node& node) {
  std::string out;
  for (xml::Node c : node.selectNodes("*")) out += (out.empty() ? "" : ",") + c.nodeName();
  return out;
}

// The whole tree in order; a second run only appends three more bill-to contacts.
TEST(DesignBuilder, EmptyDesignGetsTheWholeTreeInOrder) {
  xml::Document doc;
  xml::Node design = LoadDesign(doc, "<Design/>");
  CompleteJobInfo(design);
  EXPECT_EQ(Children(design.selectSingleNode("JobInfo")),
            "Mode,FileName,Header,Profile,Profile,Profile,PaymentSchedule,Survey");
  std::string types;
  for (xml::Node t : design.selectNodes("JobInfo/Profile/Type | JobInfo/Profile/Contact/Type")) {
    types += t.text() + " ";
  }
  EXPECT_EQ(types, "BillTo Dealer DealerSalesRep Designer ShipTo Customer Main ");
  const std::string once = design.xml();
  CompleteJobInfo(design);
  xml::Node bill_to = design.selectSingleNode("JobInfo/Profile[Type='BillTo']");
  xml::NodeList contacts = bill_to.selectNodes("Contact");
  ASSERT_EQ(contacts.length(), 6);
  for (int i = 3; i < 6; ++i) bill_to.removeChild(contacts.item(i));
  EXPECT_EQ(design.xml(), once);
}

TEST(DesignBuilder, PartialDesignKeepsValuesAndPlacesMissingElementsAfterThem) {
  xml::Document doc;
  xml::Node design = LoadDesign(doc, R"(<Project><Design>
      <Catalog><Identification><Name>ABC</Name></Identification></Catalog>
      <JobInfo>
        <Header><Name>Côté &amp; "Fils"</Name><DateBias>300</DateBias><Locale></Locale></Header>
        <FileName>/designs/O'Brien.kit</FileName>
        <Profile><Type>ShipTo</Type><Location><City>Québec</City></Location></Profile>
        <Profile><Type>BillTo</Type><Contact><Type>Designer</Type><Name>Ann</Name></Contact></Profile>
        <Profile><Type>Customer</Type><Contact><Type>Spouse</Type><Name>Bo</Name></Contact></Profile>
      </JobInfo></Design></Project>)");
  ASSERT_FALSE(design.isNull());
  CompleteJobInfo(design);

  EXPECT_EQ(Shape(design.firstChild()), "Catalog(Identification(Name=ABC))");
  xml::Node job = design.selectSingleNode("JobInfo");
  EXPECT_EQ(design.selectNodes("JobInfo").length(), 1);
  EXPECT_EQ(job.selectNodes("FileName").length(), 1);
  EXPECT_EQ(GetNodeText(job, "FileName"), "/designs/O'Brien.kit");
  // Existing header children stay first and keep their values, the missing ones follow.
  std::string header = Shape(job.selectSingleNode("Header"));
  EXPECT_EQ(header.rfind("Header(Name=Côté & \"Fils\",DateBias=300,Locale,BranchID,Number,", 0), 0u)
      << header;

  // Existing profiles keep their place and values; none is duplicated.
  xml::NodeList profiles = job.selectNodes("Profile");
  ASSERT_EQ(profiles.length(), 3);
  EXPECT_EQ(GetNodeText(profiles.item(0), "Type"), "ShipTo");
  EXPECT_EQ(GetNodeText(profiles.item(0), "Location/City"), "Québec");
  // The bill-to profile's own designer comes first and is still the one a selection finds.
  EXPECT_EQ(profiles.item(1).selectNodes("Contact").length(), 4);
  EXPECT_EQ(GetNodeText(profiles.item(1), "Contact[Type='Designer']/Name"), "Ann");
  // The customer's first contact is completed in place; its own Type is kept.
  ASSERT_EQ(profiles.item(2).selectNodes("Contact").length(), 1);
  EXPECT_EQ(Shape(profiles.item(2).selectSingleNode("Contact")),
            "Contact(Type=Spouse,Name=Bo,Code,Prefix,Title,Phone(Type,Number,Label),Email)");
}

TEST(DesignBuilder, NothingIsMadeWhereNoElementCanGo) {
  xml::Document doc;
  ASSERT_TRUE(doc.loadXML("<p>text<a>1</a></p>"));
  xml::Node p = doc.documentElement();
  EXPECT_EQ(EnsureChildText(p, "a", "new").text(), "1");
  EXPECT_TRUE(EnsureChild(xml::Node(), "a").isNull());
  EXPECT_TRUE(AppendChildElement(p.firstChild(), "a").isNull());
  EXPECT_TRUE(EnsureChild(p, "no such").isNull());
  EXPECT_EQ(p.selectNodes("*").length(), 1);
  CompleteJobInfo(xml::Node());  // must not fail
}

}  // namespace
}  // namespace larkedi
