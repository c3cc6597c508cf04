#include "platform/ui/frame_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace larkedi::ui {
namespace {

const char kPage[] = R"(<html><head><title>t</title></head><body>
<div id="EditCatalog7" class="c">Edit</div>
<form id="partnerForm">
  <input id="ponumber3" value="PO-1"/>
  <input type="CheckBox" id="ordercheck5" checked="checked"/>
  <input type="radio" name="mode" id="modeA" checked="checked"/>
  <input type="radio" name="mode" id="modeB"/>
  <select id="sortlist"><option value="a">A</option><option>B</option></select>
  <textarea id="comment">old</textarea>
</form>
<a id="link1" href="x.htm">x</a><a href="y.htm">y</a>
<div id="bar" style="color: red; width: 10%">&#160;</div>
</body></html>)";

class FrameModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model.set_sink([this](const Patch& p) { patches.push_back(p); });
    ASSERT_TRUE(model.LoadHtml(kPage));
    patches.clear();
  }
  // The page written out and parsed again, as the browser receives it.
  std::unique_ptr<FrameModel> Reparsed() {
    auto copy = std::make_unique<FrameModel>("copy");
    EXPECT_TRUE(copy->LoadHtml(model.Html()));
    return copy;
  }
  FrameModel model{"fDocB"};
  std::vector<Patch> patches;
};

TEST_F(FrameModelTest, LookupsIgnoreCaseAndFollowChangesOfTheTreeAndOfIds) {
  HtmlElement el = model.GetElementById("editcatalog7");
  ASSERT_TRUE(el);
  EXPECT_TRUE(model.GetElementById("EDITCATALOG7") == el);
  HtmlElement missing = model.GetElementById("nosuch");
  EXPECT_FALSE(missing);
  EXPECT_EQ(missing.value(), "");
  EXPECT_FALSE(missing.setInnerHTML("x"));
  EXPECT_FALSE(missing.setAttribute("a", "b"));
  EXPECT_TRUE(patches.empty());

  model.GetElementById("partnerForm").setInnerHTML("<input id=\"PONumber9\"/>");
  EXPECT_FALSE(model.GetElementById("ponumber3"));
  EXPECT_EQ(model.GetElementById("ponumber9").id(), "PONumber9");
  HtmlElement link = model.GetElementById("link1");
  link.setAttribute("id", "link2");
  EXPECT_FALSE(model.GetElementById("link1"));
  EXPECT_TRUE(model.GetElementById("LINK2") == link);
  link.removeAttribute("id");
  EXPECT_FALSE(model.GetElementById("link2"));
}

TEST_F(FrameModelTest, InnerHtmlChangesProduceOnePatchWrittenAsHtml) {
  HtmlElement el = model.GetElementById("EditCatalog7");
  ASSERT_TRUE(el.setInnerHTML("<b>Bold</b> and <i>caf\xc3\xa9</i><br>"));
  ASSERT_EQ(patches.size(), 1u);
  EXPECT_EQ(patches[0].target, "EditCatalog7");
  EXPECT_EQ(patches[0].kind, Patch::Kind::InnerHtml);
  EXPECT_EQ(patches[0].value, el.innerHTML());
  // A void element has no end tag, others are never self-closed.
  EXPECT_EQ(el.innerHTML().find("</br>"), std::string::npos);
  EXPECT_EQ(el.innerHTML().find("/>"), std::string::npos);
  EXPECT_EQ(Reparsed()->GetElementById("editcatalog7").innerText(), "Bold and caf\xc3\xa9");
  // The body and a new document go as whole patches.
  model.body().setInnerHTML("<CENTER><B>Loading</B></CENTER>");
  EXPECT_EQ(patches.back().target, "!body");
  ASSERT_TRUE(model.LoadHtml("<html><body><p id=\"n\">x</p></body></html>"));
  EXPECT_EQ(patches.back().kind, Patch::Kind::Document);
}

// Markup set on an element loses its scripts and handlers; texts and attribute values are
// escaped, so a parser reading the page back finds exactly the texts and no new element.
TEST_F(FrameModelTest, HostileContentNeverBecomesScriptOrMarkup) {
  HtmlElement el = model.GetElementById("EditCatalog7");
  el.setInnerHTML("<img src=\"a.gif\" onerror=\"alert(1)\"><script>alert(2)</script>ok");
  EXPECT_TRUE(model.GetElementsByTagName("script").empty());
  std::vector<HtmlElement> images = model.GetElementsByTagName("img");
  ASSERT_EQ(images.size(), 1u);
  EXPECT_FALSE(images[0].hasAttribute("onerror"));
  EXPECT_FALSE(el.setAttribute("onClick", "alert(3)"));
  EXPECT_FALSE(el.hasAttribute("onclick"));

  patches.clear();
  const std::string hostile = "<script>alert('x')</script> & \"quoted\" </div>";
  const std::string attribute = "\"><script>alert(1)</script><x a=\"";
  ASSERT_TRUE(el.setInnerText(hostile));
  ASSERT_EQ(patches.size(), 1u);
  EXPECT_EQ(patches[0].value.find("<script"), std::string::npos);
  ASSERT_TRUE(el.setAttribute("title", attribute));
  ASSERT_TRUE(model.GetElementById("ponumber3").setValue("\" onfocus=\"alert(1)"));
  std::unique_ptr<FrameModel> copy = Reparsed();
  EXPECT_TRUE(copy->GetElementsByTagName("script").empty());
  EXPECT_TRUE(copy->GetElementsByTagName("x").empty());
  EXPECT_EQ(copy->GetElementById("editcatalog7").innerText(), hostile);
  EXPECT_EQ(copy->GetElementById("editcatalog7").getAttribute("title"), attribute);
  EXPECT_EQ(copy->GetElementById("ponumber3").value(), "\" onfocus=\"alert(1)");
  EXPECT_FALSE(copy->GetElementById("ponumber3").hasAttribute("onfocus"));

  // A loaded page loses them too.
  ASSERT_TRUE(model.LoadHtml(
      "<html><body onload=\"x()\"><script>bad()</script><p id=p>ok</p></body></html>"));
  EXPECT_EQ(model.Html().find("bad()"), std::string::npos);
  EXPECT_EQ(model.Html().find("onload"), std::string::npos);
  EXPECT_EQ(model.GetElementById("p").innerText(), "ok");
}

TEST_F(FrameModelTest, FormControlsChangeAsInABrowserAndEachChangeIsPatched) {
  HtmlElement sort = model.GetElementById("sortlist");
  EXPECT_EQ(sort.value(), "a");     // nothing selected: the first option
  ASSERT_TRUE(sort.setValue("B"));  // an option without value is matched by its text
  EXPECT_EQ(sort.selectedIndexes(), std::vector<int>{1});
  ASSERT_TRUE(model.GetElementById("ordercheck5").setChecked(false));
  ASSERT_TRUE(model.GetElementById("modeB").setChecked(true));
  EXPECT_FALSE(model.GetElementById("modeA").checked());
  ASSERT_TRUE(model.GetElementById("comment").setValue("new <text>"));
  EXPECT_EQ(model.GetElementById("comment").value(), "new <text>");
  // An element without id is addressed through its whole document.
  ASSERT_TRUE(model.anchors().at(1).setHref("z.htm"));
  ASSERT_EQ(patches.size(), 5u);
  EXPECT_EQ(patches[0].kind, Patch::Kind::Selected);
  EXPECT_EQ(patches[0].value, "1");
  EXPECT_EQ(patches[1].kind, Patch::Kind::Checked);
  EXPECT_EQ(patches[1].value, "0");
  EXPECT_EQ(patches[3].kind, Patch::Kind::Value);
  EXPECT_EQ(patches[3].value, "new <text>");
  EXPECT_EQ(patches[4].kind, Patch::Kind::Document);
  EXPECT_NE(patches[4].value.find("z.htm"), std::string::npos);
}

TEST_F(FrameModelTest, PageControlStateIsTakenOverWithoutPatches) {
  model.ApplyControlState({
      {"PONUMBER3", std::string("typed"), std::nullopt, std::nullopt},
      {"sortlist", std::nullopt, std::nullopt, std::vector<int>{1}},
      {"nosuch", std::string("x"), true, std::nullopt},
  });
  EXPECT_TRUE(patches.empty());
  EXPECT_EQ(model.GetElementById("ponumber3").value(), "typed");
  EXPECT_EQ(model.GetElementById("sortlist").value(), "B");
}

// An input the module dropped: the page is shown the model's state of that control again.
TEST_F(FrameModelTest, RestoringAControlPatchesTheModelsStateBackIntoThePage) {
  model.RestoreControl("ordercheck5");
  model.RestoreControl("modeB");  // the group's ticked button is modeA
  model.RestoreControl("sortlist");
  model.RestoreControl("ponumber3");  // typed text is not a choice: left as the page has it
  model.RestoreControl("nosuch");
  ASSERT_EQ(patches.size(), 3u);
  EXPECT_EQ(patches[0].target, "ordercheck5");
  EXPECT_EQ(patches[0].kind, Patch::Kind::Checked);
  EXPECT_EQ(patches[0].value, "1");
  EXPECT_EQ(patches[1].target, "modeA");
  EXPECT_EQ(patches[1].value, "1");
  EXPECT_EQ(patches[2].kind, Patch::Kind::Selected);
  EXPECT_EQ(patches[2].value, "0");
  EXPECT_TRUE(model.GetElementById("ordercheck5").checked());
  EXPECT_FALSE(model.GetElementById("modeB").checked());
}

TEST(FrameModelWindow, TopElementsKeepTheirOwnContentWhenMarked) {
  FrameModel window("window");
  ASSERT_TRUE(window.LoadHtml(
      "<html><body><div id=\"menubar\"><button id=\"tool1\">Home</button></div>"
      "<div id=\"frameset\" data-keep=\"1\" rows=\"36,*,0\"><span id=\"inner\">x</span></div>"
      "</body></html>"));
  std::vector<FrameModel::ElementState> top = window.TopElements();
  ASSERT_EQ(top.size(), 3u);  // menubar, frameset and the element inside the kept one
  EXPECT_NE(top[0].html.value_or("").find("tool1"), std::string::npos);
  EXPECT_EQ(top[1].id, "frameset");
  EXPECT_FALSE(top[1].html.has_value());
  EXPECT_EQ(top[2].id, "inner");
}

}  // namespace
}  // namespace larkedi::ui
