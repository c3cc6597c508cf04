// The window's shell: the geometry kept between sessions, the host's font on the window
// page, the help and the diagnostic source view.
#include "host/window_shell.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry/registry_store.h"
#include "support/module.h"
#include "support/registry.h"
#include "support/resx.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

const char kHostSettings[] = "Software\\Orca Technologies\\Larkspur\\Design\\Settings";

class WindowShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LARKEDI_REGISTRY_DIR", module_.path("registry").c_str(), 1);
    module_.Restart();
  }
  void TearDown() override { ::unsetenv("LARKEDI_REGISTRY_DIR"); }

  void SetHost(const std::string& name, const std::string& value) {
    clsRegistry reg;
    ASSERT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kHostSettings, kRegTypeText, name, value), REG_OK);
  }
  std::string Stored(const std::string& name) {
    std::string value;
    clsRegistry().ReadRegValue(HKEY_CURRENT_USER, DisplayKey(), name, value);
    return value;
  }

  testing::TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
};

TEST_F(WindowShellTest, TheWindowOpensWhereThePageLastReportedIt) {
  WindowShell shell;
  shell.RestoreSize();
  EXPECT_FALSE(shell.Placement().has_value());  // nothing stored yet
  shell.SaveSize();                             // nothing reported: nothing stored
  EXPECT_EQ(Stored("width"), "");

  ui::PageGeometry moved{120, 80, 1024, 700, 1920, 1080, false};
  shell.PageMoved(moved);
  shell.PageMoved(ui::PageGeometry{});  // a page that cannot tell keeps the last one
  shell.SaveSize();
  // Stored in twips, as the settings store keeps window sizes.
  EXPECT_EQ(Stored("left"), "1800");
  EXPECT_EQ(Stored("width"), "15360");
  EXPECT_EQ(Stored("windowstate"), "0");

  WindowShell next;
  next.RestoreSize();
  ASSERT_TRUE(next.Placement().has_value());
  EXPECT_EQ(next.Placement()->left, 120);
  EXPECT_EQ(next.Placement()->top, 80);
  EXPECT_EQ(next.Placement()->width, 1024);
  EXPECT_EQ(next.Placement()->height, 700);
  EXPECT_FALSE(next.Placement()->maximized);

  // A maximised window opens maximised again.
  moved.maximized = true;
  next.PageMoved(moved);
  next.SaveSize();
  WindowShell third;
  third.RestoreSize();
  ASSERT_TRUE(third.Placement().has_value());
  EXPECT_TRUE(third.Placement()->maximized);
}

TEST(StoredGeometry, ARectangleOffItsScreenOrWithoutSizeIsIgnored) {
  StoredGeometry on{1500, 1500, 15000, 9000, 0, 28800, 16200};
  EXPECT_TRUE(PlacementOf(on).has_value());
  StoredGeometry g = on;
  g.left = -15;  // left of the screen
  EXPECT_FALSE(PlacementOf(g).has_value());
  g = on;
  g.left = 28800 - 14000;  // beyond its right edge
  EXPECT_FALSE(PlacementOf(g).has_value());
  g = on;
  g.top = 16200 - 8000;  // below its bottom edge
  EXPECT_FALSE(PlacementOf(g).has_value());
  g = on;
  g.width = 0;
  EXPECT_FALSE(PlacementOf(g).has_value());
  // Exactly filling the screen is on it; an unknown screen size checks only the corner.
  g = StoredGeometry{0, 0, 28800, 16200, 0, 28800, 16200};
  EXPECT_TRUE(PlacementOf(g).has_value());
  g = StoredGeometry{99000, 99000, 15000, 9000, 0, 0, 0};
  EXPECT_TRUE(PlacementOf(g).has_value());
  // Maximised wins over everything else.
  g = StoredGeometry{-30, -30, 0, 0, 2, 0, 0};
  ASSERT_TRUE(PlacementOf(g).has_value());
  EXPECT_TRUE(PlacementOf(g)->maximized);
}

TEST_F(WindowShellTest, TheHostFontReachesTheWindowPage) {
  ui::FrameModel window("window");
  window.LoadHtml("<html><body><div id=\"hostfont\"></div></body></html>");
  WindowShell shell;
  shell.SetFormFonts(window);
  ui::HtmlElement font = window.GetElementById("hostfont");
  EXPECT_EQ(font.getAttribute("data-family").rfind("\"Ms Sans Serif\", ", 0), 0u);
  EXPECT_EQ(font.getAttribute("data-size"), "8pt");
  EXPECT_EQ(font.getAttribute("data-dir"), "ltr");

  // "-1" and blank values keep the defaults; others replace them.
  SetHost("DefaultVBFontName", "-1");
  SetHost("DefaultVBFontSize", " ");
  EXPECT_EQ(ReadHostFont().name, "Ms Sans Serif");
  EXPECT_EQ(ReadHostFont().size, 8);
  SetHost("DefaultVBFontName", "DejaVu Sans");
  SetHost("DefaultVBFontSize", "10.5");
  shell.SetFormFonts(window);
  EXPECT_EQ(font.getAttribute("data-family").rfind("\"DejaVu Sans\", ", 0), 0u);
  EXPECT_EQ(font.getAttribute("data-size"), "10.5pt");

  // Right-to-left is wanted but the host language reads left to right: only the font.
  SetHost("DefaultVBRightToLeft", "1");
  EXPECT_TRUE(ReadHostFont().right_to_left);
  if (!IsRightToLeftLocale(GetLanguageLCID())) {
    shell.SetFormFonts(window);
    EXPECT_EQ(font.getAttribute("data-dir"), "ltr");
  }
  EXPECT_TRUE(IsRightToLeftLocale(1037));
  EXPECT_FALSE(IsRightToLeftLocale(1033));
}

TEST(CssFontFamily, AFaceNameCannotBreakOutOfTheValue) {
  EXPECT_EQ(CssFontFamily("Arial"), "\"Arial\", verdana, arial, helvetica, sans-serif");
  const std::string evil = CssFontFamily("x\"; background: url(http://e/) ; }");
  EXPECT_EQ(evil.find(';'), std::string::npos) << evil;
  EXPECT_EQ(evil.find('('), std::string::npos) << evil;
  EXPECT_EQ(evil.rfind("\"x background url", 0), 0u) << evil;
  EXPECT_EQ(CssFontFamily("\"\""), "verdana, arial, helvetica, sans-serif");
}

TEST_F(WindowShellTest, HelpOpensTheGuideOrSaysWhichFileIsMissing) {
  std::vector<std::string> opened;
  WindowShell shell;
  shell.OpenPage = [&](const std::string& page) { opened.push_back(page); };
  shell.DisplayHelp();
  ASSERT_EQ(opened, std::vector<std::string>{"Help/orderprocessing.html"});
  EXPECT_TRUE(dialogs_.shown.empty());
  // The guide is a page of the window's own folder, served like every other.
  EXPECT_TRUE(std::filesystem::exists(module_.path("html/Help/orderprocessing.html")));

  std::filesystem::remove(module_.path("html/Help/orderprocessing.html"));
  shell.DisplayHelp();
  EXPECT_EQ(opened.size(), 1u);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  const std::string path = module_.path("html/Help/orderprocessing.html");
  EXPECT_EQ(dialogs_.shown[0].text,
            Res("MSG FailedToLaunchHelp") + "\n" + ResParam("MSG FileDoesNotExistParam", {path}));
  EXPECT_NE(dialogs_.shown[0].text.find(path), std::string::npos);
  EXPECT_EQ(dialogs_.shown[0].icon, MsgIcon::Information);
}

TEST(WindowShell, TheSourceViewShowsThePageAsText) {
  ui::FrameModel b("fDocB");
  b.LoadHtml("<html><body><p id=\"x\">PO <b>42</b></p></body></html>");
  FramePages pages;
  pages.fDocB = &b;
  WindowShell().ShowPageSource(pages);
  EXPECT_FALSE(b.GetElementById("x"));  // no element of the old page is left
  const std::string text = b.body().innerText();
  EXPECT_NE(text.find("<p id=\"x\">PO <b>42</b></p>"), std::string::npos) << text;
}

}  // namespace
}  // namespace larkedi
