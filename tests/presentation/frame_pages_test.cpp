// The frame page services: element ids, frame rows, menu strips, messages, and image
// references made absolute against the window server's address of the html/ folder (the
// browser check prints a page).
#include "presentation/frame_pages.h"

#include <gtest/gtest.h>

#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

const std::string kBase = "http://127.0.0.1:9/";

int Occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

TEST(PageIds, ActionNameAndNumberIgnoreCaseAndTakeEveryDigit) {
  EXPECT_EQ(GetIdName("EditCatalog7"), "editcatalog");
  EXPECT_EQ(GetIdName("a1b2"), "ab");
  EXPECT_EQ(GetIdNumber("a1b2"), 12);
  EXPECT_EQ(GetIdNumber("lmenureturn"), 0);
  // More digits than any ID names no object rather than wrapping around to one.
  EXPECT_EQ(GetIdNumber("ordercheck123456789012345"), -1);
}

// Image references become absolute (the loaded pages below show it on a real page).
TEST(FixImagePaths, AQuoteInTheFoldersAddressNeitherLoopsNorBreaksTheAttribute) {
  // Unencoded, the quote in a folder's address would be taken for the start of the reference
  // again and again; the search goes on after the reference instead.
  const std::string raw = "file:///home/o'brien/mod \"x\"/html/";
  const std::string two = "<img src='a.gif'><img src=\"b.gif\">";
  EXPECT_EQ(Occurrences(FixImagePaths(two, ".gif", raw), raw), 2);
  // Encoded, the address is one attribute value with the folder's characters kept.
  const std::string base = "file://" + PercentEncodePath("/home/o'brien/mod \"x\"/html/");
  EXPECT_EQ(base, "file:///home/o%27brien/mod%20%22x%22/html/");
  ui::FrameModel page("fDocB");
  ASSERT_TRUE(page.LoadHtml("<html><body>" + FixImagePaths(two, ".gif", base) + "</body></html>"));
  const auto images = page.GetElementsByTagName("img");
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[1].getAttribute("src"), base + "b.gif");
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
    pages_.html_address = kBase;
  }
  testing::TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  ui::FrameModel a_{"fDocA"}, b_{"fDocB"}, c_{"fDocC"}, window_{"window"};
  FramePages pages_;
};

TEST_F(FramePagesTest, RowsMenuStripAndErrorsShowTheirTextsAsText) {
  SetFrameRowHeight(pages_, 7, 10);  // no such row
  EXPECT_EQ(FrameRows(pages_), "36,*,0");
  EXPECT_EQ(pages_.FrameAt(3), nullptr);
  EXPECT_EQ(BuildMenuHtml({"a", "#", "x", "b"}), "");  // the menu strip needs whole triples
  ASSERT_TRUE(c_.LoadHtml(
      BuildMenuHtml({"lmenureturn", "#", "Back <b>now</b>", "lmenuprint", "#", "Print"})));
  EXPECT_EQ(c_.GetElementById("lmenureturn").innerText(), "Back <b>now</b>");
  EXPECT_TRUE(c_.GetElementsByTagName("b").empty());
  EXPECT_TRUE(c_.GetElementById("lmenuprint"));

  SetFrameBody(&b_, ErrorHtml("Style sheet failed", "line 1: <oops>"));
  EXPECT_NE(b_.body().innerText().find("line 1: <oops>"), std::string::npos);
  EXPECT_TRUE(b_.GetElementsByTagName("oops").empty());
}

// A loaded page hides the strip, fills a settings form and finds its images beside it on the
// server.
TEST_F(FramePagesTest, LoadedAndPrintedPagesFillFormsAndFindTheirImages) {
  testing::WriteFileOrDie(module_.path("html/form.htm"),
                          "<html><body><a id=\"l\" href=\" about:blankpage.htm \">x</a><form "
                          "id=\"dealer\"><input type=\"text\" id=\"name\"/>"
                          "<input type=\"text\" id=\"city\" value=\"old\"/><img id=\"a\" "
                          "src=\"logo.jpg\"/></form></body></html>");
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
  EXPECT_EQ(b_.GetElementById("a").getAttribute("src"), kBase + "logo.jpg");
  EXPECT_FALSE(LoadPage(pages_, 1, "missing-page.htm", settings, err));
  EXPECT_TRUE(err);
}

}  // namespace
}  // namespace larkedi
