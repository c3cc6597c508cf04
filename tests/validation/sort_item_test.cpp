#include "validation/sort_item.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/xml/xml.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using V = std::vector<std::string>;

// Copies the design unchanged, so the keys and numbers can be read in the input order.
constexpr const char* kIdentity =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/>"
    "</xsl:copy></xsl:template></xsl:stylesheet>";

std::string SortCabinets() {
  return testing::ReadFileOrEmpty(testing::SourceDir() + "/html/SortCabinets.xsl");
}

struct It {
  std::string code;
  std::string sub_type;  // "-" for no SubType element
  std::string instance;  // "" for no Instance element
};

std::string Items(const std::vector<It>& items) {
  std::string xml;
  for (const It& it : items) {
    xml += "<Item><Code>" + it.code + "</Code>";
    if (it.sub_type != "-") xml += "<SubType>" + it.sub_type + "</SubType>";
    if (!it.instance.empty()) xml += "<Instance>" + it.instance + "</Instance>";
    xml += "<SortOrder>99</SortOrder></Item>";
  }
  return xml;
}

std::string ProjectWith(const std::vector<It>& items) {
  return "<Project><Design><JobInfo><FileName>k</FileName></JobInfo><Catalog><Identification>"
         "<Name>Base</Name></Identification>" +
         Items(items) + "</Catalog></Design></Project>";
}

std::vector<std::string> Column(const std::string& xml, const std::string& xpath) {
  xml::Document doc;
  EXPECT_TRUE(doc.loadXML(xml)) << xml;
  std::vector<std::string> texts;
  for (xml::Node n : doc.selectNodes(xpath)) texts.push_back(n.text());
  return texts;
}

std::string Sorted(const std::string& design, int method, const std::string& sheet,
                   bool* ok = nullptr) {
  clsSortItem sorter;
  std::string xml = design;
  std::string xsl = sheet;
  EXPECT_TRUE(sorter.InitInstance(xml, xsl));
  bool result = sorter.SortItems(method);
  if (ok) {
    *ok = result;
  } else {
    EXPECT_TRUE(result) << sorter.LastError();
  }
  return sorter.GetXML();
}

TEST(SortItemKeys, EveryMethodOrdersTheGroupsAsItsLettersSay) {
  // Base, wall, tall, then an accessory (6) and a charge (4) that are not cabinets.
  const std::string design =
      ProjectWith({{"B", "0", ""}, {"W", "1", ""}, {"T", "2", ""}, {"X", "6", ""}, {"C", "4", ""}});
  for (const char* name : {"BWT", "BTW", "WBT", "WTB", "TBW", "TWB"}) {
    SCOPED_TRACE(name);
    SortMethod method{};
    ASSERT_TRUE(ParseSortMethod(name, method));
    // The key of each cabinet group is the place of its letter in the name.
    std::vector<std::string> keys;
    for (char group : std::string("BWT")) {
      keys.push_back(std::to_string(std::string(name).find(group)));
    }
    keys.insert(keys.end(), {"6", "4"});
    EXPECT_EQ(Column(Sorted(design, static_cast<int>(method), kIdentity), "//Item/SortOrder"),
              keys);
  }
  // A value that names no method leaves each item its own sub-type.
  EXPECT_EQ(Column(Sorted(design, 9, kIdentity), "//Item/SortOrder"), (V{"0", "1", "2", "6", "4"}));
  SortMethod m{};
  EXPECT_FALSE(ParseSortMethod("bwt", m));
  // (The module's style sheet keeps the input order within a key: its own test.)
}

TEST(SortItemKeys, AttachmentFollowsItsItemUnlessItIsACabinet) {
  const std::string design = ProjectWith({{"T", "2", ""},
                                          {"knob", "6", "ATTACHMENT"},
                                          {"filler", "0", "attachment"},
                                          {"B", "0", ""},
                                          {"loose", "6", ""}});
  // Sorted with the module's style sheet: bases, walls, talls, then loose accessories,
  // each attachment still behind the tall cabinet it belongs to.
  std::string sorted = Sorted(design, static_cast<int>(SortMethod::BWT), SortCabinets());
  EXPECT_EQ(Column(sorted, "/Design/Catalog/Item/Code"), (V{"filler", "B", "T", "knob", "loose"}));
  EXPECT_EQ(Column(sorted, "/Design/Catalog/Item/LineItemNumber"),
            (V{"0.1", "1", "2", "2.1", "3"}));
}

TEST(SortItemNumbering, AttachmentsAreNumberedUnderTheLineBeforeThemAcrossCatalogs) {
  // Both spellings count as attachments; the numbering replaces numbers already there.
  const std::string design = ProjectWith({{"a", "0", ""},
                                          {"b", "0", ""},
                                          {"c", "6", "Attachment"},
                                          {"d", "6", "attachement"},
                                          {"e", "0", ""}});
  std::string again = Sorted(Sorted(design, 0, kIdentity), 0, kIdentity);
  EXPECT_EQ(Column(again, "//Item/LineItemNumber"), (V{"1", "2", "2.1", "2.2", "3"}));

  // Lines run on into the next catalog; a tenth attachment is not the first one again.
  std::vector<It> first{{"p", "0", ""}};
  for (int i = 0; i < 10; ++i) first.push_back({"acc" + std::to_string(i), "6", "attachment"});
  std::vector<std::string> numbers =
      Column(Sorted("<Design><Catalog>" + Items(first) + "</Catalog><Catalog>" +
                        Items({{"q", "1", ""}}) + "</Catalog></Design>",
                    0, SortCabinets()),
             "/Design/Catalog/Item/LineItemNumber");
  ASSERT_EQ(numbers.size(), 12u);
  EXPECT_EQ(numbers[10], "1.10");
  EXPECT_EQ(numbers[11], "2");
}

TEST(SortItemFailures, BadInputsFailAndKeepTheDesign) {
  // An item without a sub-type stops the keys but not the sort: the item before keeps its
  // new key, the rest their old ones; every item is numbered.
  clsSortItem sorter;
  std::string xml = ProjectWith({{"W", "1", ""}, {"odd", "-", ""}, {"B", "0", ""}});
  std::string xsl = kIdentity;
  ASSERT_TRUE(sorter.InitInstance(xml, xsl));
  EXPECT_TRUE(sorter.SortItems(SortMethod::BWT));
  EXPECT_FALSE(sorter.LastError().empty());
  EXPECT_EQ(Column(sorter.GetXML(), "//Item/SortOrder"), (V{"1", "99", "99"}));
  EXPECT_EQ(Column(sorter.GetXML(), "//Item/LineItemNumber"), (V{"1", "2", "3"}));

  const std::string no_catalog = "<Design><JobInfo><FileName>k</FileName></JobInfo></Design>";
  EXPECT_EQ(Column(Sorted(no_catalog, 0, SortCabinets()), "/Design/JobInfo/FileName"), V{"k"});
  clsSortItem untouched;
  EXPECT_FALSE(untouched.SortItems(SortMethod::BWT));

  clsSortItem bad;
  xml = "<Design>";
  xsl = SortCabinets();
  EXPECT_FALSE(bad.InitInstance(xml, xsl));
  EXPECT_FALSE(bad.SortItems(SortMethod::BWT));

  // A style sheet whose result is not XML fails the sort and keeps the design.
  bool ok = true;
  std::string kept = Sorted(ProjectWith({{"a", "0", ""}}), 0,
                            "<xsl:stylesheet version='1.0' "
                            "xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                            "<xsl:output method='text'/><xsl:template match='/'>x"
                            "</xsl:template></xsl:stylesheet>",
                            &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(Column(kept, "/Project/Design/Catalog/Item/Code"), V{"a"});
}

}  // namespace
}  // namespace larkedi
