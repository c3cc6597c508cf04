#include "design_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "orders/design_builder.h"
#include "platform/xml/xml.h"
#include "support/xml_helpers.h"
#include "testing/temp_module.h"

namespace larkedi::gen {
namespace {

xml::Node Parse(xml::Document& doc, const std::string& text) {
  EXPECT_TRUE(doc.loadXML(text)) << doc.parseErrorReason();
  return doc.documentElement();
}

TEST(DesignGenerator, SameSeedSameBytesAndDesignsIndependentOfCount) {
  DesignGenOptions a;
  a.seed = 42;
  EXPECT_EQ(GenerateDesign(a, 3), GenerateDesign(a, 3));
  EXPECT_NE(GenerateDesign(a, 3), GenerateDesign(a, 4));
  DesignGenOptions b = a;
  b.seed = 43;
  EXPECT_NE(GenerateDesign(a, 1), GenerateDesign(b, 1));

  testing::TempModule module(false);
  std::string error;
  ASSERT_TRUE(WriteDesigns(a, 4, module.path("one"), &error)) << error;
  ASSERT_TRUE(WriteDesigns(a, 2, module.path("two"), &error)) << error;
  for (int i = 1; i <= 2; ++i) {
    std::string first = testing::ReadFileOrEmpty(module.path("one/" + DesignFileName(i)));
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, testing::ReadFileOrEmpty(module.path("two/" + DesignFileName(i))));
    EXPECT_EQ(first, GenerateDesign(a, i));
  }
  EXPECT_EQ(DesignFileName(12), "design-0012.xml");
  EXPECT_FALSE(testing::ReadFileOrEmpty(module.path("one/design-0004.xml")).empty());
  EXPECT_TRUE(testing::ReadFileOrEmpty(module.path("two/design-0003.xml")).empty());
}

TEST(DesignGenerator, DesignsHaveTheDesignFormatWithinTheLimits) {
  DesignGenOptions o;
  o.seed = 2024;
  const std::vector<std::string> codes = DefaultCatalogCodes();
  std::set<int> catalog_counts;
  std::set<std::string> sub_types;
  bool non_ascii = false, attachments = false, excluded = false;
  for (int i = 1; i <= 40; ++i) {
    xml::Document doc;
    xml::Node design = Parse(doc, GenerateDesign(o, i));
    ASSERT_EQ(design.nodeName(), "Design");
    EXPECT_FALSE(GetNodeText(design, "JobInfo/FileName").empty());
    EXPECT_FALSE(GetNodeText(design, "JobInfo/Header/ComputerName").empty());
    EXPECT_TRUE(NodeExists("JobInfo/Header/GlobalID", design));
    for (const char* type : {"BillTo", "ShipTo", "Customer"}) {
      EXPECT_EQ(design.selectNodes(std::string("JobInfo/Profile[Type='") + type + "']").length(), 1)
          << type;
    }
    const std::string customer = GetNodeText(design, "JobInfo/Profile[Type='Customer']/Name");
    for (unsigned char c : customer) non_ascii |= c >= 0x80;
    EXPECT_EQ(customer.find_first_of("'\""), std::string::npos) << customer;

    xml::NodeList catalogs = design.selectNodes("Catalog");
    ASSERT_GE(catalogs.length(), 1);
    ASSERT_LE(catalogs.length(), 5);
    catalog_counts.insert(static_cast<int>(catalogs.length()));
    for (xml::Node catalog : catalogs) {
      const std::string code = GetNodeText(catalog, "Identification/Name");
      EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << code;
      xml::NodeList items = catalog.selectNodes("Item");
      EXPECT_GE(items.length(), 20);
      EXPECT_LE(items.length(), 300);
      // An attachment always follows the item it belongs to.
      EXPECT_NE(GetNodeText(catalog, "Item[1]/Instance"), "Attachment");
      for (xml::Node item : items) {
        for (const char* field : {"SubType", "Instance", "SortOrder", "Class", "LineItemNumber",
                                  "Code", "Description", "Quantity"}) {
          ASSERT_TRUE(NodeExists(field, item)) << field << " in " << item.xml();
        }
        EXPECT_TRUE(IsNumeric(GetNodeText(item, "SubType"))) << item.xml();
        EXPECT_FALSE(GetNodeText(item, "Code").empty());
        sub_types.insert(GetNodeText(item, "SubType"));
        std::string instance = GetNodeText(item, "Instance");
        for (char& c : instance) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        attachments |= instance == "attachment" || instance == "attachement";
        excluded |= GetNodeText(item, "Class") == "885";
      }
    }
  }
  EXPECT_GE(catalog_counts.size(), 4u);
  EXPECT_TRUE(non_ascii);
  EXPECT_TRUE(attachments);
  EXPECT_TRUE(excluded);
  for (const char* s : {"0", "1", "2", "3", "5", "6"}) EXPECT_TRUE(sub_types.count(s)) << s;
}

TEST(DesignGenerator, OptionsShapeTheRun) {
  DesignGenOptions o;
  o.catalogs = {"Base", "O'Hara Wall"};
  o.min_catalogs = o.max_catalogs = 5;
  o.min_items = o.max_items = 7;
  o.names_with_quotes = true;
  bool apostrophe = false, quote = false;
  for (int i = 1; i <= 30; ++i) {
    xml::Document doc;
    xml::Node design = Parse(doc, GenerateDesign(o, i));
    xml::NodeList catalogs = design.selectNodes("Catalog");
    ASSERT_EQ(catalogs.length(), 5);
    std::multiset<std::string> names;
    for (xml::Node c : catalogs) {
      names.insert(GetNodeText(c, "Identification/Name"));
      EXPECT_EQ(c.selectNodes("Item").length(), 7);
    }
    EXPECT_EQ(names.count("Base") + names.count("O'Hara Wall"), 5u);
    EXPECT_GE(names.count("Base"), 2u);
    EXPECT_GE(names.count("O'Hara Wall"), 2u);
    const std::string customer = GetNodeText(design, "JobInfo/Profile[Type='Customer']/Name");
    apostrophe |= customer.find('\'') != std::string::npos;
    quote |= customer.find('"') != std::string::npos;
    // A file name never holds a double quote.
    EXPECT_EQ(GetNodeText(design, "JobInfo/FileName").find('"'), std::string::npos);
  }
  EXPECT_TRUE(apostrophe);
  EXPECT_TRUE(quote);

  o.min_items = o.max_items = 0;
  xml::Document empty;
  EXPECT_EQ(Parse(empty, GenerateDesign(o, 1)).selectNodes("Catalog/Item").length(), 0);
}

TEST(DesignGenerator, BadOptionsAreRefused) {
  testing::TempModule module(false);
  auto refused = [&](DesignGenOptions o) {
    std::string error;
    EXPECT_FALSE(CheckOptions(o).empty());
    EXPECT_TRUE(GenerateDesign(o, 1).empty());
    EXPECT_FALSE(WriteDesigns(o, 1, module.path("bad"), &error));
    EXPECT_FALSE(error.empty());
  };
  DesignGenOptions o;
  o.catalogs = {};
  refused(o);
  o.catalogs = {"A", " "};
  refused(o);
  o = {};
  o.min_catalogs = 0;
  refused(o);
  o = {};
  o.min_items = 50;
  o.max_items = 49;
  refused(o);
  EXPECT_FALSE(testing::ReadFileOrEmpty(module.path("bad/design-0001.xml")).size());

  // A folder that cannot be made is a write failure, not a crash.
  testing::WriteFileOrDie(module.path("plain-file"), "x");
  std::string error;
  EXPECT_FALSE(WriteDesigns({}, 1, module.path("plain-file/sub"), &error));
  EXPECT_FALSE(error.empty());
}

TEST(DesignGenerator, GeneratedDesignsKeepTheirValuesWhenCompleted) {
  DesignGenOptions o;
  o.min_items = o.max_items = 3;
  xml::Document doc;
  xml::Node design = Parse(doc, GenerateDesign(o, 5));
  const std::string customer = GetNodeText(design, "JobInfo/Profile[Type='Customer']/Name");
  const std::string designer =
      GetNodeText(design, "JobInfo/Profile[Type='BillTo']/Contact[Type='Designer']/Name");
  const long host_contacts = design.selectNodes("JobInfo/Profile[Type='BillTo']/Contact").length();
  CompleteJobInfo(design);
  EXPECT_EQ(GetNodeText(design, "JobInfo/Profile[Type='Customer']/Name"), customer);
  EXPECT_EQ(GetNodeText(design, "JobInfo/Profile[Type='BillTo']/Contact[Type='Designer']/Name"),
            designer);
  EXPECT_EQ(design.selectNodes("JobInfo/Profile[Type='BillTo']/Contact").length(),
            host_contacts + 3);
  EXPECT_EQ(design.selectNodes("JobInfo/Profile").length(), 3);
}

TEST(DesignGeneratorCommand, WritesFilesAndReportsUsage) {
  testing::TempModule module(false);
  const std::string exe = std::string(LARKEDI_TOOLS_OUT) + "/larkedi-gen-designs";
  std::string out;
  EXPECT_EQ(testing::RunCommand(exe + " --help", &out), 0);
  EXPECT_NE(out.find("--customer-names-with-quotes"), std::string::npos) << out;
  ASSERT_EQ(testing::RunCommand(exe +
                                    " --seed 9 --count 2 --catalogs AA,BB --min-items 1 "
                                    "--max-items 2 --out " +
                                    module.path("d"),
                                &out),
            0)
      << out;
  DesignGenOptions o;
  o.seed = 9;
  o.catalogs = {"AA", "BB"};
  o.min_items = 1;
  o.max_items = 2;
  EXPECT_EQ(testing::ReadFileOrEmpty(module.path("d/design-0002.xml")), GenerateDesign(o, 2));

  EXPECT_EQ(testing::RunCommand(exe + " --count 1", &out), 2) << out;  // no --out
  EXPECT_EQ(testing::RunCommand(exe + " --out x --min-items 5 --max-items 4", &out), 2) << out;
  EXPECT_NE(out.find("items per catalog"), std::string::npos) << out;
  testing::WriteFileOrDie(module.path("file"), "x");
  EXPECT_EQ(testing::RunCommand(exe + " --out " + module.path("file"), &out), 1) << out;
  EXPECT_NE(out.find(module.path("file")), std::string::npos) << out;
}

}  // namespace
}  // namespace larkedi::gen
