// Attached files on the order stack page, driven as the page drives the main window: the
// checks of the chosen file, the page's remove link, what reaches the stack file, and the
// events that must leave the stack marked changed or the window usable. The browser check
// attaches, removes and prints through the page itself.
#include "host/order_attachments.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "host/host_fixture.h"
#include "host/main_window.h"
#include "support/resx.h"
#include "support/strings.h"
#include "testing/failing_env.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

using ui::EventKind;
using ui::PageEvent;

// Records the files written, so a test sees which stacked designs a save rewrote.
class RecordingEnv final : public EnvWrapper {
 public:
  RecordingEnv() : EnvWrapper(Env::Default()) {}
  bool WriteFileAtomic(const std::string& p, std::string_view d, std::string* e) override {
    written.insert(std::filesystem::path(p).filename().string());
    return EnvWrapper::WriteFileAtomic(p, d, e);
  }
  std::set<std::string> written;
};

PageEvent Click(const std::string& id, const std::string& type = "") {
  PageEvent e = testing::Click("fDocB", id);
  e.tag = "a";
  e.type = type;
  return e;
}

class OrderAttachmentsTest : public testing::WindowTest {
 protected:
  void SetUp() override {
    testing::WriteOnePartnerSettings(module_, "Acme");
    std::filesystem::create_directories(module_.path("files"));
  }

  void Open(int designs = 1) {
    std::string input = "<Designs>";
    for (int i = 0; i < designs; ++i) {
      const std::string one = testing::OneDesignInput("kit" + std::to_string(i) + ".kit", "ABC");
      input += one.substr(9, one.size() - 19);  // without <Designs> and </Designs>
    }
    window_.StartupInput = input + "</Designs>";
    window_.StartValue = 1;
    ASSERT_TRUE(window_.Form_Load());
    window_.ShowFirstPage();
  }

  // The first order group's number.
  std::string Group() { return edi_.Orders.docOrders.selectSingleNode("//ORDERGROUP/ID").text(); }
  std::string File(const std::string& name, const std::string& data = "content") {
    const std::string path = module_.path("files/" + name);
    testing::WriteFileOrDie(path, data);
    return path;
  }
  // Clicks "attachfile" of the first group, the picker answering `path`.
  void Attach(const std::string& path) {
    dialogs_.text_answers.push_back(path);
    EXPECT_FALSE(window_.HandleEvent(Click("attachfile" + Group())));
  }
  std::vector<std::string> Names(const xml::Document& doc) {
    std::vector<std::string> names;
    for (xml::Node n : doc.selectNodes("//ORDERGROUP/File/Name")) names.push_back(n.text());
    return names;
  }
  // The stack as another process reads it from the spool folder.
  std::vector<std::string> StackedNames() { return Names(testing::ReloadedOrders()); }
  int Messages() const {
    int n = 0;
    for (const DialogRecord& r : dialogs_.shown) n += r.kind == "msgbox";
    return n;
  }
};

// The browser check attaches and removes files through the page; here: which designs a save
// rewrites, the remove link's name matched as the page hands it over, and a failed save.
TEST_F(OrderAttachmentsTest, AttachmentsRewriteOnlyTheirDesignAndAFailedSaveIsTriedAgainAtClose) {
  Open(2);
  const std::string plan = File("ÉTÉ Plan.PDF");
  const std::string notes = File("notes.txt");
  RecordingEnv recording;
  {
    testing::ScopedEnv scoped(&recording);
    Attach(plan);
  }
  const std::string changed =
      edi_.Orders.docOrders.selectSingleNode("//ORDERGROUP[File]/../FileName").text();
  EXPECT_EQ(recording.written, std::set<std::string>{changed});

  Attach(notes);
  Attach(plan);  // the same file twice: one link removes one of them
  ASSERT_EQ(Names(edi_.Orders.docOrders), (std::vector<std::string>{plan, notes, plan}));
  // The link's own "type", as the style sheet wrote it; the window lower-cases A-Z once more.
  const std::string named =
      LowerAscii(surface_.b_.GetElementById("remattachfile" + Group()).getAttribute("type"));
  EXPECT_NE(named.find("été plan.pdf"), std::string::npos) << named;
  window_.HandleEvent(Click("remattachfile" + Group(), named));
  EXPECT_EQ(StackedNames(), (std::vector<std::string>{notes, plan}));
  // A name that matches nothing changes nothing and reports nothing.
  window_.HandleEvent(Click("remattachfile" + Group(), "/no/such/file.pdf"));
  EXPECT_EQ(Names(edi_.Orders.docOrders), (std::vector<std::string>{notes, plan}));
  EXPECT_EQ(Messages(), 0);

  // A save that fails is reported in the frame and tried again at close.
  const std::string late = File("late.pdf");
  {
    testing::FailingWritesEnv full;
    testing::ScopedEnv scoped(&full);
    Attach(late);
  }
  EXPECT_NE(surface_.b_.body().innerText().find("No space left"), std::string::npos);
  EXPECT_TRUE(edi_.Orders.bOrdersChanged);
  EXPECT_TRUE(window_.Enabled());
  EXPECT_FALSE(window_.Form_Unload());
  EXPECT_EQ(StackedNames(), (std::vector<std::string>{notes, plan, late}));
}

TEST_F(OrderAttachmentsTest, UnknownOrdersAndCancelledMissingOrUnreadableChoicesChangeNothing) {
  Open();
  // No order 999: the error is shown in the frame, no picker opens, the window goes on.
  for (const PageEvent& e : {Click("attachfile999"), Click("remattachfile999", "/x.pdf")}) {
    window_.HandleEvent(e);
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_NE(surface_.b_.body().innerText().find("999"), std::string::npos) << surface_.b_.Html();
    EXPECT_TRUE(window_.Enabled());
  }
  // Gone between choosing and attaching.
  Attach(module_.path("files/gone.pdf"));
  // A pipe, whose read would wait for a writer for ever.
  const std::string pipe = module_.path("files/pipe.pdf");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  Attach(pipe);
  // A name no document can hold as it is.
  Attach(File("bell\x07.pdf"));
  EXPECT_EQ(Messages(), 3);
  EXPECT_NE(dialogs_.shown[1].text.find("gone.pdf"), std::string::npos);
  EXPECT_TRUE(Names(edi_.Orders.docOrders).empty());
  EXPECT_FALSE(edi_.Orders.bOrdersChanged);
  EXPECT_TRUE(window_.Enabled());
}

TEST_F(OrderAttachmentsTest, ARequestForQuoteTickAloneIsSavedAtClose) {
  Open();
  // The box is on the page of a group that carries the field.
  xml::Node group = edi_.Orders.docOrders.selectSingleNode("//ORDERGROUP");
  group.appendChild(edi_.Orders.docOrders.createElement("RFQ")).setText("0");
  window_.DisplayEDI(false);
  const std::string id = "ordermode" + Group();
  ASSERT_TRUE(surface_.b_.GetElementById(id));
  ASSERT_FALSE(edi_.Orders.bOrdersChanged);
  surface_.b_.ApplyControlState({{id, std::nullopt, true, std::nullopt}});
  EXPECT_TRUE(window_.HandleEvent(Click(id, "checkbox")));
  EXPECT_TRUE(edi_.Orders.bOrdersChanged);
  EXPECT_FALSE(window_.Form_Unload());
  EXPECT_EQ(testing::ReloadedOrders().selectSingleNode("//ORDERGROUP/RFQ").text(), "1");
}

}  // namespace
}  // namespace larkedi
