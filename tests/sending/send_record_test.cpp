// Hand-overs to the built-in connector recorded in the send journal, against the
// simulator's gateway: accepted, refused, and the connection dropped after the gateway
// stored the order, which must stay in doubt.
#include "sending/send_record.h"

#include <gtest/gtest.h>

#include "sending/connect_method_orca.h"
#include "testing/partner_sim.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

constexpr const char* kData = R"({"dealers": [{"email": "shop@example.com", "password": "pw"}]})";

std::string SendParameter(const std::string& global_id) {
  return "<InputParameter><PartnerCode><![CDATA[NWC]]></PartnerCode><Data><PURCHASEORDER>"
         "<POHEADER><GLOBALID>" +
         global_id + "</GLOBALID></POHEADER></PURCHASEORDER></Data></InputParameter>";
}

TEST(SendRecordTest, SequenceOfReadsOnlyAWellFormedResponse) {
  EXPECT_EQ(SequenceOf("<RESPONSE><SEQUENCE> 12 </SEQUENCE></RESPONSE>"), "12");
  EXPECT_EQ(SequenceOf("<RESPONSE/>"), "");
  EXPECT_EQ(SequenceOf("<RESPONSE><SEQUENCE>1</SEQ"), "");
}

TEST(SendRecordTest, EachGatewayOutcomeLeavesTheRightJournalState) {
  testing::TempModule module;
  testing::PartnerSimOptions options;
  options.data_dir = module.path("gateway");
  testing::PartnerSim sim(kData, options);
  ASSERT_TRUE(sim.running());
  ConnectMethodOrca connector(module.dir());
  ASSERT_FALSE(connector.AddServer("NWC", sim.base_url()));
  SendJournal journal(module.dir());

  // Hands one order over the way the pipeline does: journal first, then the connector.
  auto send = [&](const std::string& design, SendState* state, bool* in_doubt) {
    JournalOrder order;
    order.design_file = design;
    order.partner_id = "1";
    order.partner_code = "NWC";
    order.global_ids = {design};
    int64_t id = 0;
    ASSERT_FALSE(journal.HandOver(order, &id));
    ConnectorAnswer answer;
    answer.accepted = connector.sendfiles(SendParameter(design));
    answer.response = connector.response();
    answer.error_number = connector.errornumber();
    answer.error_description = connector.errordescription();
    ASSERT_FALSE(RecordSendAnswer(journal, id, answer, in_doubt));
    ASSERT_FALSE(journal.OrderState(design, "1", state));
  };

  SendState state = SendState::NotRecorded;
  bool in_doubt = true;
  send("SENT", &state, &in_doubt);
  EXPECT_EQ(state, SendState::Accepted);
  EXPECT_FALSE(in_doubt);
  std::vector<JournalEntry> entries;
  ASSERT_FALSE(journal.OrderState("SENT", "1", &state, &entries));
  EXPECT_EQ(entries.at(0).sequence, "1");

  ASSERT_TRUE(sim.SetGatewayFault("fail", 0, 1));
  send("FAILED", &state, &in_doubt);
  EXPECT_EQ(state, SendState::Refused);
  ASSERT_FALSE(journal.OrderState("FAILED", "1", &state, &entries));
  EXPECT_EQ(entries.at(0).reason.rfind("500: ", 0), 0u) << entries.at(0).reason;

  ASSERT_TRUE(sim.SetGatewayFault("drop", 0, 1));
  send("DROPPED", &state, &in_doubt);
  EXPECT_EQ(state, SendState::InDoubt);
  EXPECT_TRUE(in_doubt);

  // The gateway did store the dropped order: sending it again would duplicate it.
  auto orders = sim.ReceivedOrders();
  ASSERT_EQ(orders.size(), 2u);
  EXPECT_EQ(orders[0].global_id, "SENT");
  EXPECT_EQ(orders[1].global_id, "DROPPED");

  // A gateway that is gone: refused, as nothing can have arrived.
  sim.Stop();
  send("UNREACHABLE", &state, &in_doubt);
  EXPECT_EQ(state, SendState::Refused);
  EXPECT_FALSE(in_doubt);
  ASSERT_FALSE(journal.OrderState("UNREACHABLE", "1", &state, &entries));
  EXPECT_EQ(entries.at(0).reason.rfind(std::to_string(kErrOrcaNotDelivered) + ": ", 0), 0u)
      << entries.at(0).reason;
}

}  // namespace
}  // namespace larkedi
