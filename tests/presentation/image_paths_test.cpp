// Image references made absolute against the window server's address of the html/
// folder, in pages and in what is printed.
#include <gtest/gtest.h>

#include "presentation/frame_pages.h"
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

TEST(FixImagePaths, RelativeReferencesGetTheAddressOthersStay) {
  const std::string html =
      "<img src=\"img/logo.gif\"><IMG SRC='Photo.GIF'>"
      "<div style=\"background:url('bg.gif')\"></div>"
      "<img src=\"http://other/a.gif\"><img src=\"/root.gif\">"
      "<p>see plan.gif here</p><a title=\"plan.gif is big\">x</a><img src=\"pic.jpg\">";
  const std::string out = FixImagePaths(html, ".gif", kBase);
  EXPECT_NE(out.find("src=\"" + kBase + "img/logo.gif\""), std::string::npos) << out;
  EXPECT_NE(out.find("SRC='" + kBase + "Photo.GIF'"), std::string::npos) << out;
  EXPECT_NE(out.find("url('" + kBase + "bg.gif')"), std::string::npos) << out;
  EXPECT_EQ(Occurrences(out, kBase), 3);  // text, absolute addresses, other extensions stay
  EXPECT_EQ(FixImagePaths(out, ".gif", kBase), out);
}

TEST(FixImagePaths, AFolderHoldingAQuoteIsInsertedOnce) {
  // Unencoded, the quote in the address would be taken for the start of the reference
  // again and again; the search goes on after the reference instead.
  const std::string raw = "file:///home/o'brien/mod \"x\"/html/";
  const std::string html = "<img src='a.gif'><img src=\"b.gif\">";
  const std::string out = FixImagePaths(html, ".gif", raw);
  EXPECT_EQ(Occurrences(out, raw), 2);

  // Encoded, the address is one attribute value with the folder's characters kept.
  const std::string base = "file://" + PercentEncodePath("/home/o'brien/mod \"x\"/html/");
  EXPECT_EQ(base, "file:///home/o%27brien/mod%20%22x%22/html/");
  ui::FrameModel page("fDocB");
  ASSERT_TRUE(page.LoadHtml("<html><body>" + FixImagePaths(html, ".gif", base) + "</body></html>"));
  const auto images = page.GetElementsByTagName("img");
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[1].getAttribute("src"), base + "b.gif");
  EXPECT_EQ(PercentEncodePath("Help/ä&<>.gif"), "Help/%C3%A4%26%3C%3E.gif");
}

class ImagePagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        window_.LoadHtml("<html><body><div id=\"frameset\" rows=\"0,*,0\"></div></body></html>"));
    pages_.fDocB = &b_;
    pages_.window = &window_;
    pages_.html_address = kBase;
  }
  testing::TempModule module_;
  ui::FrameModel b_{"fDocB"}, window_{"window"};
  FramePages pages_;
};

TEST_F(ImagePagesTest, PagesFindTheirImagesBesideThemOnTheServer) {
  testing::WriteFileOrDie(module_.path("html/pic.htm"),
                          "<html><body><img id=\"a\" src=\"logo.jpg\"/></body></html>");
  testing::WriteFileOrDie(module_.path("html/My Help/guide.htm"),
                          "<html><body><img id=\"a\" src=\"shot.gif\"/></body></html>");
  Err err;
  ASSERT_TRUE(LoadPage(pages_, 1, "pic.htm", xml::Node(), err)) << err.Description;
  EXPECT_EQ(b_.GetElementById("a").getAttribute("src"), kBase + "logo.jpg");
  ASSERT_TRUE(LoadPage(pages_, 1, module_.path("html/My Help/guide.htm"), xml::Node(), err))
      << err.Description;
  EXPECT_EQ(b_.GetElementById("a").getAttribute("src"), kBase + "My%20Help/shot.gif");
}

TEST_F(ImagePagesTest, PrintedHtmlCarriesAbsoluteImageAddresses) {
  std::string printed;
  PrintPage(pages_, "<p><img src=\"a.gif\"><img src=\"b.JPG\"></p>",
            [&printed](const std::string& html) { printed = html; });
  EXPECT_EQ(printed, "<p><img src=\"" + kBase + "a.gif\"><img src=\"" + kBase + "b.JPG\"></p>");
}

}  // namespace
}  // namespace larkedi
