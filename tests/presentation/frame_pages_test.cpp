// The frame page services: reading element ids, frame rows, menu strips and messages.
#include "presentation/frame_pages.h"

#include <gtest/gtest.h>

#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

TEST(PageIds, ActionNameAndNumberIgnoreCaseAndTakeEveryDigit) {
  EXPECT_EQ(GetIdName("EditCatalog7"), "editcatalog");
  EXPECT_EQ(GetIdName("a1b2"), "ab");
  EXPECT_EQ(GetIdNumber("a1b2"), 12);
  EXPECT_EQ(GetIdNumber("lmenureturn"), 0);
  // More digits than any ID names no object rather than wrapping around to one.
  EXPECT_EQ(GetIdNumber("ordercheck123456789012345"), -1);
}

class FramePagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        window_.LoadHtml("<html><body><div id=\"frameset\" rows=\"36,*,0\"></div></body></html>"));
    pages_.fDocA = &a_;
    pages_.fDocB = &b_;
    pages_.fDocC = &c_;
    pages_.window = &window_;
  }
  ui::FrameModel a_{"fDocA"}, b_{"fDocB"}, c_{"fDocC"}, window_{"window"};
  FramePages pages_;
};

TEST_F(FramePagesTest, RowHeightReplacesOnlyItsEntry) {
  SetFrameRowHeight(pages_, 2, 35);
  EXPECT_EQ(FrameRows(pages_), "36,*,35");
  SetFrameRowHeight(pages_, 7, 10);  // no such row
  EXPECT_EQ(FrameRows(pages_), "36,*,35");
  EXPECT_EQ(pages_.FrameAt(3), nullptr);
}

TEST_F(FramePagesTest, MenuStripNeedsWholeTriplesAndShowsCaptionsAsText) {
  EXPECT_EQ(BuildMenuHtml({"a", "#"}), "");
  EXPECT_EQ(BuildMenuHtml({"a", "#", "x", "b"}), "");
  const std::string html =
      BuildMenuHtml({"lmenureturn", "#", "Back <b>now</b>", "lmenuprint", "#", "Print"});
  ASSERT_TRUE(c_.LoadHtml(html));
  EXPECT_EQ(c_.GetElementById("lmenureturn").innerText(), "Back <b>now</b>");
  EXPECT_TRUE(c_.GetElementsByTagName("b").empty());
  EXPECT_TRUE(c_.GetElementById("lmenuprint"));
}

TEST_F(FramePagesTest, ErrorsInAFrameShowTheReasonAsText) {
  SetFrameBody(&b_, ErrorHtml("Style sheet failed", "line 1: <oops>"));
  EXPECT_NE(b_.body().innerText().find("line 1: <oops>"), std::string::npos);
  EXPECT_TRUE(b_.GetElementsByTagName("oops").empty());
}

TEST_F(FramePagesTest, LoadPageHidesTheStripAndFillsSettingsForms) {
  testing::TempModule module;
  ScriptedDialogs dialogs;
  ScopedDialogs scoped(&dialogs);
  testing::WriteFileOrDie(module.path("html/form.htm"),
                          "<html><body><a id=\"l\" href=\" about:blankpage.htm \">x</a><form "
                          "id=\"dealer\"><input type=\"text\" id=\"name\"/>"
                          "<input type=\"text\" id=\"city\" value=\"old\"/></form></body></html>");
  xml::Document settings;
  ASSERT_TRUE(
      settings.loadXML("<SETTINGS><DEALER><NAME>Kitchens &amp; Co</NAME></DEALER>"
                       "</SETTINGS>"));
  SetFrameRowHeight(pages_, 2, 35);
  Err err;
  ASSERT_TRUE(LoadPage(pages_, 1, "form.htm", settings, err)) << err.Description;
  EXPECT_EQ(FrameRows(pages_), "36,*,0");
  EXPECT_EQ(b_.GetElementById("name").value(), "Kitchens & Co");
  EXPECT_EQ(b_.GetElementById("city").value(), "");  // no CITY: emptied
  EXPECT_EQ(b_.GetElementById("l").href(), "page.htm");
  EXPECT_FALSE(LoadPage(pages_, 1, "missing-page.htm", settings, err));
  EXPECT_TRUE(err);
}

}  // namespace
}  // namespace larkedi
