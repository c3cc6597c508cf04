// larkedi send, history and connector against the partner simulator's gateway, as a
// dealer's script runs them: every order arrives once at its partner, and an order whose
// answer was lost is not sent again without confirmation.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "host/cli/cli_fixture.h"
#include "testing/partner_sim.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::Designs;
using testing::PartnerSim;
using testing::PartnerSimOptions;

class SendCommandTest : public testing::CommandTest {
 protected:
  void SetUp() override {
    PartnerSimOptions options;
    options.data_dir = module_.path("gateway-data");
    fs::create_directories(options.data_dir);
    sim_ = std::make_unique<PartnerSim>(
        R"({"dealers": [{"email": "shop@example.com", "password": "pw"}]})", options);
    ASSERT_TRUE(sim_->running());
    const std::string each = "<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE>";
    testing::WriteSettings(
        module_,
        testing::Method(1, "Orca", "ConnectMethodOrca") +
            testing::Partner(1, "ACM", "Acme", "ACME", 1, "<DEALERID>D-1</DEALERID>" + each) +
            testing::Partner(2, "BIR", "Birch", "BIRCH", 1, "<DEALERID>D-2</DEALERID>" + each) +
            testing::Catalog(1, "ABC", 1) + testing::Catalog(2, "XYZ", 2));
    // Short time-outs, so a dropped connection ends quickly.
    testing::WriteFileOrDie(module_.path("ConnectMethodOrca.xml"),
                            "<ConnectMethodOrca><CONNECTTIMEOUTMS>2000</CONNECTTIMEOUTMS>"
                            "<TIMEOUTMS>3000</TIMEOUTMS><HEALTHTIMEOUTMS>2000</HEALTHTIMEOUTMS>"
                            "</ConnectMethodOrca>");
    for (const char* code : {"ACM", "BIR"}) {
      ASSERT_EQ(Lark(std::string("connector add ") + code + " " + sim_->base_url()), 0);
    }
  }
  std::string StackList() {
    std::string out;
    EXPECT_EQ(Lark("stack list", &out), 0) << out;
    return out;
  }

  std::unique_ptr<PartnerSim> sim_;
};

TEST_F(SendCommandTest, EveryOrderReachesItsPartnerOnceAndTheCommandsFailWhatTheyCannotDo) {
  ASSERT_EQ(Add(Designs("PO-1", {"ABC"})), 0);
  ASSERT_EQ(Add(Designs("PO-2", {"XYZ"})), 0);
  ASSERT_EQ(Add(Designs("PO-3", {"ABC", "XYZ"})), 0);  // one design, two partners: two orders

  std::string out;
  ASSERT_EQ(Lark("send --yes --password ACM=pa --password bir=pb", &out), 0) << out;

  const auto received = sim_->ReceivedOrders();
  ASSERT_EQ(received.size(), 4u) << out;
  std::map<std::string, int> by_global_id;
  std::map<std::string, int> by_partner;
  for (const auto& order : received) {
    ++by_global_id[order.global_id];
    ++by_partner[order.partner_code];
  }
  EXPECT_EQ(by_global_id.size(), 4u);
  for (const auto& [id, n] : by_global_id) EXPECT_EQ(n, 1) << id;
  EXPECT_EQ(by_partner["ACM"], 2);
  EXPECT_EQ(by_partner["BIR"], 2);

  // Stack empty, designs archived.
  EXPECT_EQ(StackList().find(".xme"), std::string::npos);
  EXPECT_FALSE(fs::is_empty(module_.path("Archive")));

  // A second send sends nothing.
  ASSERT_EQ(Lark("send --yes", &out), 0) << out;
  EXPECT_EQ(sim_->ReceivedOrders().size(), 4u);

  // The connector and history commands fail what they cannot do.
  ASSERT_EQ(Lark("connector test ACM", &out), 0) << out;
  ASSERT_EQ(Lark("connector remove ACM " + sim_->base_url(), &out), 0) << out;
  EXPECT_NE(Lark("connector test ACM", &out), 0) << out;  // no server left
  EXPECT_NE(Lark("connector add ACM 'two words'", &out), 0) << out;
  EXPECT_NE(Lark("history --since yesterday", &out), 0) << out;
}

TEST_F(SendCommandTest, AnOrderWhoseAnswerWasLostIsNotSentAgainWithoutConfirmation) {
  ASSERT_EQ(Add(Designs("PO-9", {"ABC"})), 0);
  ASSERT_TRUE(sim_->SetGatewayFault("drop", 0, 1));
  std::string out;
  EXPECT_NE(Lark("send --password ACM=pa", &out), 0) << out;
  EXPECT_NE(out.find("in doubt"), std::string::npos) << out;
  ASSERT_EQ(sim_->ReceivedOrders().size(), 1u);  // it did arrive
  EXPECT_NE(StackList().find(".xme"), std::string::npos);

  // No confirmation (no terminal, no --yes): not sent again.
  EXPECT_NE(Lark("send --password ACM=pa", &out), 0) << out;
  EXPECT_EQ(sim_->ReceivedOrders().size(), 1u);
  EXPECT_NE(Lark("--no send --password ACM=pa", &out), 0) << out;
  EXPECT_EQ(sim_->ReceivedOrders().size(), 1u);
  std::string history;
  ASSERT_EQ(Lark("history", &history), 0);
  EXPECT_NE(history.find("in doubt"), std::string::npos) << history;

  // Confirmed: sent once more, then gone from the stack.
  ASSERT_EQ(Lark("send --yes --password ACM=pa", &out), 0) << out;
  EXPECT_EQ(sim_->ReceivedOrders().size(), 2u);
  EXPECT_EQ(StackList().find(".xme"), std::string::npos);
}

}  // namespace
}  // namespace larkedi
