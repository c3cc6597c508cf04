// Sending through a connector served over the automation line protocol
// (larkedi-fake-connector): whole orders and catalog by catalog, what reaches the partner,
// and what the stack keeps when a later catalog of an order fails. A run stopped between
// two catalogs is in send_crash_test.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/xml/xml.h"
#include "sending/send_fixture.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::PartnerSpec;
using testing::RowCollector;

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

TEST_F(CatalogSendTest, WholeOrderAndPerCatalogModesSendOneDocumentPerOrderOrCatalog) {
  WriteSettings({{"OAK", {"Oak Base", "Oak Wall"}, "1", false},
                 {"ELM", {"Elm Base", "Elm Wall"}, "1", true}});
  RegisterConnector();
  Stack(testing::DesignText("PO-1", {"Oak Base", "Elm Base", "Oak Wall", "Elm Wall"}));

  RowCollector rows;
  ASSERT_TRUE(Send(rows));
  ASSERT_EQ(rows.rows.size(), 2u);
  for (const auto& row : rows.rows) EXPECT_EQ(row.result, SendResult::Sent) << row.message;
  // Per catalog for OAK (two calls, two sequence numbers), one call for ELM.
  EXPECT_EQ(Received(), (std::vector<Names>{{"Oak Base"}, {"Oak Wall"}, {"Elm Base", "Elm Wall"}}));
  EXPECT_EQ(rows.rows[0].sequence, "1, 2");
  EXPECT_EQ(rows.rows[1].sequence, "3");
  EXPECT_TRUE(StackedOrders().empty());

  // Each catalog was its own hand-over with its own GlobalID.
  std::set<std::string> global_ids;
  for (const auto& e : Journal()) {
    EXPECT_EQ(e.state, SendState::Accepted);
    ASSERT_EQ(e.order.global_ids.size(), 1u);
    global_ids.insert(e.order.global_ids[0]);
  }
  EXPECT_EQ(global_ids.size(), 3u);
}

TEST_F(CatalogSendTest, CatalogsAcceptedBeforeALaterCatalogFailedAreNotSentAgain) {
  WriteSettings({{"OAK", {"Oak Base", "Oak Wall", "Oak Tall"}}});
  RegisterConnector("--refuse=Oak_Wall_Item");
  // The refused catalog is recognised by a code only its item carries.
  std::string design = testing::DesignText("PO-1", {"Oak Base", "Oak Wall", "Oak Tall"});
  design.replace(design.find("ITEM-PO-1-2"), 11, "Oak_Wall_Item");
  Stack(design);

  RowCollector first;
  ASSERT_TRUE(Send(first));
  ASSERT_EQ(first.rows.size(), 1u);
  EXPECT_EQ(first.rows[0].result, SendResult::Failed);
  EXPECT_EQ(first.rows[0].accepted_catalogs, Names{"Oak Base"});
  EXPECT_NE(first.rows[0].message.find("Oak Base (sequence 1)"), std::string::npos)
      << first.rows[0].message;
  EXPECT_EQ(Received(), std::vector<Names>{{"Oak Base"}});
  // The order keeps only what is still to send.
  EXPECT_EQ(StackedOrders(), (std::vector<Names>{{"Oak Wall", "Oak Tall"}}));

  // The partner takes it now: only the rest goes, and the order leaves the stack.
  RegisterConnector();
  RowCollector second;
  ASSERT_TRUE(Send(second));
  ASSERT_EQ(second.rows.size(), 1u);
  EXPECT_EQ(second.rows[0].result, SendResult::Sent) << second.rows[0].message;
  EXPECT_EQ(Received(), (std::vector<Names>{{"Oak Base"}, {"Oak Wall"}, {"Oak Tall"}}));
  EXPECT_TRUE(StackedOrders().empty());
}

TEST_F(CatalogSendTest, AnOrderWithNoCatalogToSendFailsAndStaysStacked) {
  WriteSettings({{"OAK", {"Oak Base"}}, {"ELM", {"Elm Base"}}});
  RegisterConnector();
  Stack(testing::DesignText("PO-1", {"Oak Base", "Elm Base"}));
  RowCollector rows;
  // OAK's group names a catalog its design does not hold; ELM's is not to be sent.
  ASSERT_TRUE(Send(rows, [](OrderStack& stack) {
    stack.docOrders.selectSingleNode("//ORDERGROUP[PARTNERID='1']/CATALOGID").setText("99");
    stack.docOrders.selectSingleNode("//ORDERGROUP[PARTNERID='2']/SENDIT").setText("0");
  }));
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0].result, SendResult::Failed);
  EXPECT_TRUE(Received().empty());
  EXPECT_TRUE(Journal().empty());
  EXPECT_EQ(StackedOrders(), (std::vector<Names>{{"Oak Base"}, {"Elm Base"}}));
  EXPECT_TRUE(fs::is_empty(module_.path("Archive")));
}

}  // namespace
}  // namespace larkedi
