// The window's shell: which stored geometry is used, and the host's font in the window
// page's style. (The browser check sees the geometry stored when the window closes and
// the guide opened with F1.)
#include "host/window_shell.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/registry/registry_store.h"
#include "support/module.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

class WindowShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LARKEDI_REGISTRY_DIR", module_.path("registry").c_str(), 1);
    module_.Restart();
  }
  void TearDown() override { ::unsetenv("LARKEDI_REGISTRY_DIR"); }

  testing::TempModule module_;
};

TEST(StoredGeometry, ARectangleOffItsScreenOrWithoutSizeIsIgnored) {
  const struct {
    StoredGeometry g;
    bool placed;
  } cases[] = {
      {{1500, 1500, 15000, 9000, 0, 28800, 16200}, true},
      {{-15, 1500, 15000, 9000, 0, 28800, 16200}, false},            // left of the screen
      {{28800 - 14000, 1500, 15000, 9000, 0, 28800, 16200}, false},  // beyond its right edge
      {{1500, 16200 - 8000, 15000, 9000, 0, 28800, 16200}, false},   // below its bottom edge
      {{1500, 1500, 0, 9000, 0, 28800, 16200}, false},               // no width
      {{0, 0, 28800, 16200, 0, 28800, 16200}, true},                 // exactly the screen
      {{99000, 99000, 15000, 9000, 0, 0, 0}, true},  // unknown screen: only the corner
      {{-30, -30, 0, 0, 2, 0, 0}, true},             // maximised wins over everything else
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.g.left << "," << c.g.top << " " << c.g.width);
    EXPECT_EQ(PlacementOf(c.g).has_value(), c.placed);
  }
  EXPECT_TRUE(PlacementOf(cases[7].g)->maximized);
}

TEST(CssFontFamily, AFaceNameCannotBreakOutOfTheValue) {
  EXPECT_EQ(CssFontFamily("Arial"), "\"Arial\", verdana, arial, helvetica, sans-serif");
  const std::string evil = CssFontFamily("x\"; background: url(http://e/) ; }");
  EXPECT_EQ(evil.find(';'), std::string::npos) << evil;
  EXPECT_EQ(evil.find('('), std::string::npos) << evil;
  EXPECT_EQ(evil.rfind("\"x background url", 0), 0u) << evil;
  EXPECT_EQ(CssFontFamily("\"\""), "verdana, arial, helvetica, sans-serif");
}

TEST_F(WindowShellTest, TheHostsFontValuesAreTakenOnlyWhenUsable) {
  const std::string key = "HKCU\\Software\\Orca Technologies\\Larkspur\\Design\\Settings";
  for (const auto& [size, expected] : std::vector<std::pair<std::string, double>>{
           {"11", 11}, {"1e999", 8}, {"0", 8}, {"500", 8}, {"big", 8}}) {
    ASSERT_TRUE(registry::RegistrySetString(key, "DefaultVBFontSize", size));
    EXPECT_EQ(ReadHostFont().size, expected) << size;
  }
  ASSERT_TRUE(registry::RegistrySetString(key, "DefaultVBFontName", " Tahoma "));
  ASSERT_TRUE(registry::RegistrySetString(key, "DefaultVBRightToLeft", "1"));
  EXPECT_EQ(ReadHostFont().name, "Tahoma");
  EXPECT_TRUE(ReadHostFont().right_to_left);
}

}  // namespace
}  // namespace larkedi
