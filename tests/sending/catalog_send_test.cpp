// Sending through a connector served over the automation line protocol
// (larkedi-fake-connector): whole orders and catalog by catalog, what reaches the partner,
// what the year's archive keeps, and what the stack keeps when a later catalog of an order
// fails. Then power cuts during `larkedi send`: the process stops right after the connector
// took a catalog (before its answer is recorded) or right after the answer was recorded
// (before the stack was saved). The next send never hands the accepted catalog over again;
// one handed over without an answer is in doubt and goes again only when the dealer confirms.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "orders/xme_file.h"
#include "platform/xml/xml.h"
#include "sending/send_fixture.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::PartnerSpec;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

class CatalogSendTest : public testing::SendFixture {
 protected:
  /// The catalogs of each document the partner received, in the order received.
  std::vector<std::vector<std::string>> Received() {
    std::vector<std::vector<std::string>> out;
    for (int n = 1; fs::exists(store() + "/" + std::to_string(n) + ".xml"); ++n) {
      xml::Document po;
      EXPECT_TRUE(po.loadXML(testing::ReadFileOrEmpty(store() + "/" + std::to_string(n) + ".xml")));
      std::vector<std::string> catalogs;
      for (xml::Node d : po.selectNodes("PURCHASEORDER/PODETAILS/CATALOG")) {
        catalogs.push_back(d.text());
      }
      // Every item line belongs to a catalog of the document.
      for (xml::Node item : po.selectNodes("PURCHASEORDER/POLINES/ITEM/CATNAME")) {
        EXPECT_NE(std::find(catalogs.begin(), catalogs.end(), item.text()), catalogs.end());
      }
      out.push_back(catalogs);
    }
    return out;
  }
};

using Names = std::vector<std::string>;

TEST_F(CatalogSendTest, OneDocumentPerOrderOrCatalogAndNoneForAnOrderWithNothingToSend) {
  WriteSettings({{"OAK", {"Oak Base", "Oak Wall"}, "1", false},
                 {"ELM", {"Elm Base", "Elm Wall"}, "1", true}});
  RegisterConnector();
  Stack(testing::DesignText("PO-1", {"Oak Base", "Elm Base", "Oak Wall", "Elm Wall"}));

  // An order with no catalog to send fails and stays stacked: OAK's group names only
  // catalogs its design does not hold, ELM's is not to be sent. Nothing is recorded.
  const auto failed = Send([](OrderStack& stack) {
    for (xml::Node id : stack.docOrders.selectNodes("//ORDERGROUP[PARTNERID='1']/CATALOGID")) {
      id.setText("99");
    }
    stack.docOrders.selectSingleNode("//ORDERGROUP[PARTNERID='2']/SENDIT").setText("0");
  });
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].result, SendResult::Failed);
  EXPECT_TRUE(Received().empty());
  EXPECT_TRUE(Journal().empty());
  EXPECT_EQ(StackedOrders(),
            (std::vector<Names>{{"Oak Base", "Oak Wall"}, {"Elm Base", "Elm Wall"}}));
  EXPECT_TRUE(fs::is_empty(module_.path("Archive")));

  const auto rows = Send();
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& row : rows) EXPECT_EQ(row.result, SendResult::Sent) << row.message;
  // Per catalog for OAK (two calls, two sequence numbers), one call for ELM.
  EXPECT_EQ(Received(), (std::vector<Names>{{"Oak Base"}, {"Oak Wall"}, {"Elm Base", "Elm Wall"}}));
  EXPECT_TRUE(StackedOrders().empty());

  // Each catalog was its own hand-over with its own GlobalID.
  std::set<std::string> global_ids;
  for (const auto& e : Journal()) {
    EXPECT_EQ(e.state, SendState::Accepted);
    ASSERT_EQ(e.order.global_ids.size(), 1u);
    global_ids.insert(e.order.global_ids[0]);
  }
  EXPECT_EQ(global_ids.size(), 3u);

  // The year's archive keeps each order's sent copy (deciphered: its own catalogs) and the
  // design itself; nothing is left loose.
  std::string zip;
  for (const auto& e : fs::directory_iterator(module_.path("Archive"))) {
    if (e.path().extension() == ".zip") zip = e.path().string();
    EXPECT_NE(e.path().extension(), ".xme") << "left loose: " << e.path();
  }
  ASSERT_FALSE(zip.empty());
  std::set<std::set<std::string>> copies;
  const auto entries = testing::ZipEntries(zip);
  for (const auto& [name, bytes] : entries) {
    std::string text;
    ASSERT_FALSE(DecipherBytes(name, bytes, &text)) << name;
    xml::Document doc;
    ASSERT_TRUE(doc.loadXML(text)) << name;
    if (name.find("-sent") == std::string::npos) continue;
    std::set<std::string> catalogs;
    for (xml::Node n : doc.selectNodes("//Catalog/Identification/Name")) catalogs.insert(n.text());
    copies.insert(catalogs);
  }
  EXPECT_EQ(copies,
            (std::set<std::set<std::string>>{{"Oak Base", "Oak Wall"}, {"Elm Base", "Elm Wall"}}));
  EXPECT_EQ(entries.size(), 3u);
}

TEST_F(CatalogSendTest, CatalogsAcceptedBeforeALaterCatalogFailedAreNotSentAgain) {
  WriteSettings({{"OAK", {"Oak Base", "Oak Wall", "Oak Tall"}}});
  RegisterConnector("--refuse=Oak_Wall_Item");
  // The refused catalog is recognised by a code only its item carries.
  std::string design = testing::DesignText("PO-1", {"Oak Base", "Oak Wall", "Oak Tall"});
  design.replace(design.find("ITEM-PO-1-2"), 11, "Oak_Wall_Item");
  Stack(design);

  const auto first = Send();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].result, SendResult::Failed);
  EXPECT_EQ(first[0].accepted_catalogs, Names{"Oak Base"});
  EXPECT_NE(first[0].message.find("Oak Base (sequence 1)"), std::string::npos) << first[0].message;
  EXPECT_EQ(Received(), std::vector<Names>{{"Oak Base"}});
  // The order keeps only what is still to send.
  EXPECT_EQ(StackedOrders(), (std::vector<Names>{{"Oak Wall", "Oak Tall"}}));

  // The partner takes it now: only the rest goes, and the order leaves the stack.
  RegisterConnector();
  const auto second = Send();
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].result, SendResult::Sent) << second[0].message;
  EXPECT_EQ(Received(), (std::vector<Names>{{"Oak Base"}, {"Oak Wall"}, {"Oak Tall"}}));
  EXPECT_TRUE(StackedOrders().empty());
}

struct CrashCase {
  const char* name;
  const char* step;       // the crash point the send stops at (its first occurrence)
  const char* next_args;  // the send after the crash
  int next_status;
  const char* next_result;    // in the next send's output
  int received_after_next;    // documents the partner holds after it
  size_t stacked_after_next;  // orders still stacked after it
};

// Test listings name a case by its name, not by its bytes.
void PrintTo(const CrashCase& c, std::ostream* os) {
  *os << c.name;
}

class SendCrashTest : public testing::SendFixture, public ::testing::WithParamInterface<CrashCase> {
 protected:
  void SetUp() override {
    WriteSettings({{"OAK", {"Oak Base", "Oak Wall"}}});  // per catalog
    RegisterConnector();
    Stack(testing::DesignText("PO-1", {"Oak Base", "Oak Wall"}));
  }

  // A copy of the module whose settings and registry name the copy's own folders.
  std::string Copy() {
    const std::string dir = testing::MakeTempDir();
    fs::copy(module_.dir(), dir, fs::copy_options::recursive);
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      const std::string ext = e.path().extension().string();
      if (!e.is_regular_file() || (ext != ".xml" && ext != ".reg")) continue;
      std::string text = ReadFileOrEmpty(e.path().string());
      for (std::size_t at; (at = text.find(module_.dir())) != std::string::npos;) {
        text.replace(at, module_.dir().size(), dir);
      }
      WriteFileOrDie(e.path().string(), text);
    }
    return dir;
  }

  static int Run(const std::string& dir, const std::string& args, const std::string& env,
                 std::string* out) {
    return testing::RunCommand("XDG_RUNTIME_DIR=" + dir + "/run LARKEDI_REGISTRY_DIR=" + dir +
                                   "/registry " + env + " " + testing::LarkediExe() +
                                   " --module-dir " + dir + " " + args + " 2>&1",
                               out);
  }

  static int Received(const std::string& dir) {
    int n = 0;
    while (fs::exists(dir + "/received/" + std::to_string(n + 1) + ".xml")) ++n;
    return n;
  }
};

TEST_P(SendCrashTest, TheNextSendNeitherLosesNorRepeatsTheCatalog) {
  const CrashCase& c = GetParam();
  const std::string send = "send --password OAK=pw";

  // Where the step lies in an uninterrupted send.
  const std::string probe = Copy();
  std::string out;
  ASSERT_EQ(Run(probe, "--no " + send, "LARKEDI_CRASH_TRACE=" + probe + "/trace.txt", &out), 0)
      << out;
  ASSERT_EQ(Received(probe), 2);
  int at = 0;
  std::istringstream trace(ReadFileOrEmpty(probe + "/trace.txt"));
  for (std::string line; std::getline(trace, line);) {
    if (line.substr(line.find(' ') + 1) == c.step) {
      at = std::stoi(line);
      break;
    }
  }
  ASSERT_GT(at, 0) << ReadFileOrEmpty(probe + "/trace.txt");
  fs::remove_all(probe);

  const std::string dir = Copy();
  EXPECT_EQ(Run(dir, "--no " + send, "LARKEDI_CRASH_AT=" + std::to_string(at), &out), 86) << out;
  EXPECT_EQ(Received(dir), 1);  // the first catalog reached the partner

  EXPECT_EQ(Run(dir, std::string(c.next_args) + " " + send, "", &out), c.next_status) << out;
  EXPECT_NE(out.find(c.next_result), std::string::npos) << out;
  EXPECT_EQ(Received(dir), c.received_after_next) << out;
  std::string list;
  EXPECT_EQ(Run(dir, "stack list --xml", "", &list), 0) << list;
  xml::Document stacked;
  ASSERT_TRUE(stacked.loadXML(list.substr(list.find('<')))) << list;
  EXPECT_EQ(stacked.selectNodes("//ORDERGROUP").length(), static_cast<int>(c.stacked_after_next));
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SendCrashTest,
    ::testing::Values(
        // Accepted and journaled: only the second catalog goes, the order leaves the stack.
        CrashCase{"AfterTheAnswer", "send-accepted", "--no", 0, "sent", 2, 0},
        // No answer recorded: in doubt, nothing goes without the dealer's confirmation...
        CrashCase{"BeforeTheAnswer", "send-handed-over", "--no", 1, "in doubt", 1, 1},
        // ...and with it both catalogs go again.
        CrashCase{"BeforeTheAnswerConfirmed", "send-handed-over", "--yes", 0, "sent", 3, 0}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace larkedi
