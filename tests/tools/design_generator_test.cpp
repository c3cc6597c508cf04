#include "design_generator.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/xml/xml.h"
#include "support/xml_helpers.h"
#include "testing/temp_module.h"

namespace larkedi::gen {
namespace {

// The generator's output is what the stack benchmark feeds the module and keeps between runs:
// the same seed must give the same files, and every item must carry the fields the module
// reads. (Completing a generated design's job information is the design builder's test.)
TEST(DesignGenerator, TheSameSeedWritesTheSameDesignsWithEveryItemField) {
  DesignGenOptions o;
  o.seed = 42;
  testing::TempModule module(false);
  std::string error;
  ASSERT_TRUE(WriteDesigns(o, 2, module.path("one"), &error)) << error;
  ASSERT_TRUE(WriteDesigns(o, 2, module.path("two"), &error)) << error;
  for (int i = 1; i <= 2; ++i) {
    const std::string text = testing::ReadFileOrEmpty(module.path("one/" + DesignFileName(i)));
    EXPECT_EQ(text, testing::ReadFileOrEmpty(module.path("two/" + DesignFileName(i)))) << i;
    xml::Document doc;
    ASSERT_TRUE(doc.loadXML(text)) << doc.parseErrorReason();
    ASSERT_GE(doc.selectNodes("/Design/Catalog/Item").length(), 1);
    for (xml::Node item : doc.selectNodes("/Design/Catalog/Item")) {
      for (const char* field : {"SubType", "Instance", "SortOrder", "Class", "LineItemNumber",
                                "Code", "Description", "Quantity"}) {
        ASSERT_TRUE(NodeExists(field, item)) << field << " in " << item.xml();
      }
    }
  }
}

}  // namespace
}  // namespace larkedi::gen
