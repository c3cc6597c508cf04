#include "orders/design_builder.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/temp_module.h"

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

const std::string kPhone = "Phone(Type,Number,Label)";
const std::string kPerson = "Name,Prefix,Title," + kPhone + ",Email";
std::string Contact(const std::string& type) {
  return "Contact(Type=" + type + ",Code," + kPerson + ")";
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

TEST(DesignBuilder, EmptyDesignGetsTheWholeTreeInOrder) {
  for (const char* text : {"<Design/>", "<Design><JobInfo/></Design>"}) {
    SCOPED_TRACE(text);
    xml::Document doc;
    xml::Node design = LoadDesign(doc, text);
    CompleteJobInfo(design);
    EXPECT_EQ(Children(design), "JobInfo");
    EXPECT_EQ(Children(design.selectSingleNode("JobInfo")),
              "Mode,FileName,Header,Profile,Profile,Profile,PaymentSchedule,Survey");
    std::string types;
    for (xml::Node t : design.selectNodes("JobInfo/Profile/Type | JobInfo/Profile/Contact/Type")) {
      types += t.text() + " ";
    }
    EXPECT_EQ(types, "BillTo Dealer DealerSalesRep Designer ShipTo Customer Main ");
    EXPECT_EQ(Shape(design.selectSingleNode("JobInfo/Profile/Contact[Type='Designer']")),
              Contact("Designer"));
    EXPECT_EQ(design.selectNodes("JobInfo/Header/*").length(), 37);
  }
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

  // The catalog before JobInfo stays where it was and is not touched.
  EXPECT_EQ(Shape(design.firstChild()), "Catalog(Identification(Name=ABC))");
  xml::Node job = design.selectSingleNode("JobInfo");
  EXPECT_EQ(design.selectNodes("JobInfo").length(), 1);
  EXPECT_EQ(job.selectSingleNode("Header/Name").text(), "Côté & \"Fils\"");
  EXPECT_EQ(job.selectSingleNode("Header/DateBias").text(), "300");
  EXPECT_EQ(job.selectSingleNode("FileName").text(), "/designs/O'Brien.kit");
  EXPECT_EQ(job.selectNodes("FileName").length(), 1);
  EXPECT_EQ(job.selectNodes("Header/Locale").length(), 1);
  // Existing header children stay first, the missing ones follow in the tree's order.
  std::string header = Shape(job.selectSingleNode("Header"));
  EXPECT_EQ(header.rfind("Header(Name=Côté & \"Fils\",DateBias=300,Locale,BranchID,Number,", 0), 0u)
      << header;
  EXPECT_EQ(job.selectNodes("Header/*").length(), 37);

  // Existing profiles keep their place; none is duplicated.
  xml::NodeList profiles = job.selectNodes("Profile");
  ASSERT_EQ(profiles.length(), 3);
  EXPECT_EQ(profiles.item(0).selectSingleNode("Type").text(), "ShipTo");
  EXPECT_EQ(profiles.item(1).selectSingleNode("Type").text(), "BillTo");
  EXPECT_EQ(profiles.item(0).selectSingleNode("Location/City").text(), "Québec");
  EXPECT_EQ(profiles.item(0).selectNodes("Location/*").length(), 7);

  // The bill-to profile's own designer comes first and is still the one a selection finds.
  xml::Node bill_to = profiles.item(1);
  xml::NodeList contacts = bill_to.selectNodes("Contact");
  ASSERT_EQ(contacts.length(), 4);
  EXPECT_EQ(bill_to.selectSingleNode("Contact[Type='Designer']/Name").text(), "Ann");
  EXPECT_EQ(Shape(contacts.item(3)), Contact("Designer"));
  // Existing bill-to contacts are not looked at, so not completed either.
  EXPECT_EQ(Shape(contacts.item(0)), "Contact(Type=Designer,Name=Ann)");

  // The customer's first contact is completed in place; its own Type is kept.
  xml::Node customer = profiles.item(2);
  ASSERT_EQ(customer.selectNodes("Contact").length(), 1);
  EXPECT_EQ(Shape(customer.selectSingleNode("Contact")),
            "Contact(Type=Spouse,Name=Bo,Code,Prefix,Title," + kPhone + ",Email)");
}

TEST(DesignBuilder, SecondRunOnlyAppendsThreeMoreBillToContacts) {
  xml::Document doc;
  xml::Node design = LoadDesign(doc,
                                "<Design><JobInfo><Header><Number>PO-7</Number></Header>"
                                "</JobInfo></Design>");
  CompleteJobInfo(design);
  const std::string once = design.xml();
  CompleteJobInfo(design);

  xml::Node bill_to = design.selectSingleNode("JobInfo/Profile[Type='BillTo']");
  xml::NodeList contacts = bill_to.selectNodes("Contact");
  ASSERT_EQ(contacts.length(), 6);
  // The new ones come after everything the first run made, in the fixed order.
  EXPECT_EQ(bill_to.lastChild().previousSibling().previousSibling(), contacts.item(3));
  EXPECT_EQ(Shape(contacts.item(3)), Contact("Dealer"));
  EXPECT_EQ(Shape(contacts.item(4)), Contact("DealerSalesRep"));
  EXPECT_EQ(Shape(contacts.item(5)), Contact("Designer"));
  for (int i = 3; i < 6; ++i) bill_to.removeChild(contacts.item(i));
  EXPECT_EQ(design.xml(), once);
}

TEST(DesignBuilder, PrimitivesFindCreateAndAppend) {
  xml::Document doc;
  ASSERT_TRUE(doc.loadXML("<p>text<a>1</a><b/><a>2</a><x:a xmlns:x='urn:x'>3</x:a></p>"));
  xml::Node p = doc.documentElement();

  EXPECT_EQ(EnsureChild(p, "a").text(), "1");
  EXPECT_EQ(EnsureChildText(p, "a", "new").text(), "1");
  // An existing empty element keeps its (empty) text.
  EXPECT_EQ(EnsureChildText(p, "b", "new").text(), "");
  xml::Node c = EnsureChildText(p, "c", "it's <3>");
  EXPECT_EQ(p.lastChild(), c);
  EXPECT_EQ(c.text(), "it's <3>");
  EXPECT_EQ(EnsureChild(p, "c"), c);

  xml::Node a3 = AppendChildElement(p, "a");
  EXPECT_EQ(p.selectNodes("a").length(), 3);
  EXPECT_EQ(p.lastChild(), a3);
  EXPECT_FALSE(a3.hasChildNodes());

  // Nothing is made on a null parent, a text node or with a name that is not an XML name.
  EXPECT_TRUE(EnsureChild(xml::Node(), "a").isNull());
  EXPECT_TRUE(AppendChildElement(p.firstChild(), "a").isNull());
  EXPECT_TRUE(EnsureChild(p, "no such").isNull());
  EXPECT_TRUE(EnsureChildText(p, "", "x").isNull());
  EXPECT_EQ(p.selectNodes("*").length(), 6);  // a, b, a, x:a, c, a
  CompleteJobInfo(xml::Node());               // must not fail
}

TEST(CompleteDesignCommand, PrintsCompletedDesignAndReportsBadFiles) {
  testing::TempModule module(false);
  const std::string exe = testing::LarkediExe() + " --module-dir " + module.dir();
  const std::string file = module.path("in design.xml");
  testing::WriteFileOrDie(file,
                          "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<Project><Design>"
                          "<JobInfo><Header><Name>C\xF4t\xE9</Name></Header></JobInfo>"
                          "</Design></Project>");
  std::string out;
  ASSERT_EQ(testing::RunCommand(exe + " complete-design '" + file + "'", &out), 0) << out;
  xml::Document printed;
  ASSERT_TRUE(printed.loadXML(out)) << out;
  EXPECT_EQ(printed.documentElement().nodeName(), "Design");
  EXPECT_EQ(printed.selectSingleNode("/Design/JobInfo/Header/Name").text(), "Côté");
  EXPECT_EQ(printed.selectNodes("//Profile[Type='BillTo']/Contact").length(), 3);
  // The file itself is left as it was.
  EXPECT_EQ(testing::ReadFileOrEmpty(file).find("Profile"), std::string::npos);

  EXPECT_EQ(testing::RunCommand(exe + " complete-design " + module.path("missing.xml"), &out), 1);
  EXPECT_NE(out.find("missing.xml"), std::string::npos) << out;
  testing::WriteFileOrDie(module.path("broken.xml"), "<Design><JobInfo></Design>");
  EXPECT_EQ(testing::RunCommand(exe + " complete-design " + module.path("broken.xml"), &out), 1);
  EXPECT_NE(out.find("broken.xml"), std::string::npos) << out;
  EXPECT_NE(out.find("mismatch"), std::string::npos) << out;
  EXPECT_EQ(testing::RunCommand(exe + " complete-design", &out), 2) << out;
}

}  // namespace
}  // namespace larkedi
