#include "design_generator.h"

#include <gtest/gtest.h>

#include <string>

#include "orders/design_builder.h"
#include "platform/xml/xml.h"
#include "support/xml_helpers.h"
#include "testing/temp_module.h"

namespace larkedi::gen {
namespace {

// The generator's output is what load tests feed the module: the same seed must give the same
// files, and every file must be a design the module takes in (job information completed, the
// customer and designer it carries kept).
TEST(DesignGenerator, WritesDeterministicDesignsTheModuleTakesIn) {
  DesignGenOptions o;
  o.seed = 42;
  testing::TempModule module(false);
  std::string error;
  ASSERT_TRUE(WriteDesigns(o, 3, module.path("one"), &error)) << error;
  ASSERT_TRUE(WriteDesigns(o, 3, module.path("two"), &error)) << error;
  for (int i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    const std::string text = testing::ReadFileOrEmpty(module.path("one/" + DesignFileName(i)));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text, testing::ReadFileOrEmpty(module.path("two/" + DesignFileName(i))));

    xml::Document doc;
    ASSERT_TRUE(doc.loadXML(text)) << doc.parseErrorReason();
    xml::Node design = doc.documentElement();
    ASSERT_EQ(design.nodeName(), "Design");
    ASSERT_GE(design.selectNodes("Catalog").length(), 1);
    for (xml::Node item : design.selectNodes("Catalog/Item")) {
      for (const char* field : {"SubType", "Instance", "SortOrder", "Class", "LineItemNumber",
                                "Code", "Description", "Quantity"}) {
        ASSERT_TRUE(NodeExists(field, item)) << field << " in " << item.xml();
      }
    }
    const std::string customer = GetNodeText(design, "JobInfo/Profile[Type='Customer']/Name");
    const std::string designer =
        GetNodeText(design, "JobInfo/Profile[Type='BillTo']/Contact[Type='Designer']/Name");
    EXPECT_FALSE(customer.empty());
    CompleteJobInfo(design);
    EXPECT_EQ(GetNodeText(design, "JobInfo/Profile[Type='Customer']/Name"), customer);
    EXPECT_EQ(GetNodeText(design, "JobInfo/Profile[Type='BillTo']/Contact[Type='Designer']/Name"),
              designer);
    EXPECT_EQ(design.selectNodes("JobInfo/Profile").length(), 3);
  }
}

}  // namespace
}  // namespace larkedi::gen
