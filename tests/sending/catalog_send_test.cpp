// Sending through a connector served over the automation line protocol
// (larkedi-fake-connector): whole orders and catalog by catalog, what reaches the partner,
// what the year's archive keeps, and what the stack keeps when a later catalog of an order
// fails. A run stopped between
// two catalogs is in send_crash_test.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "orders/xme_file.h"
#include "platform/xml/xml.h"
#include "sending/send_fixture.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::PartnerSpec;

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
  EXPECT_EQ(rows[0].sequence, "1, 2");
  EXPECT_EQ(rows[1].sequence, "3");
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

}  // namespace
}  // namespace larkedi
