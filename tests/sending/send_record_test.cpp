// What a connector's answer leaves in the send journal: accepted with its sequence, refused
// with its reason, and no answer at all, which must stay in doubt (the gateway may hold it).
#include "sending/send_record.h"

#include <gtest/gtest.h>

#include "sending/connect_method_orca.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

TEST(SendRecordTest, SequenceOfReadsOnlyAWellFormedResponse) {
  EXPECT_EQ(SequenceOf("<RESPONSE><SEQUENCE> 12 </SEQUENCE></RESPONSE>"), "12");
  EXPECT_EQ(SequenceOf("<RESPONSE/>"), "");
  EXPECT_EQ(SequenceOf("<RESPONSE><SEQUENCE>1</SEQ"), "");
}

TEST(SendRecordTest, EachConnectorAnswerLeavesTheRightJournalState) {
  testing::TempModule module;
  SendJournal journal(module.dir());
  const struct {
    const char* design;
    ConnectorAnswer answer;
    SendState state;
    bool in_doubt;
    const char* recorded;  // the sequence (accepted) or the reason (refused)
  } cases[] = {
      {"SENT",
       {true, "<RESPONSE><SEQUENCE>7</SEQUENCE></RESPONSE>", 0, ""},
       SendState::Accepted,
       false,
       "7"},
      {"FAILED",
       {false, "", 500, "Gateway error"},
       SendState::Refused,
       false,
       "500: Gateway error"},
      // The line was cut after the gateway may have stored the order.
      {"DROPPED", {false, "", kErrOrcaNoAnswer, "no answer"}, SendState::InDoubt, true, ""},
      // Nothing can have arrived at a gateway that could not be reached.
      {"UNREACHABLE", {false, "", kErrOrcaNotDelivered, "refused"}, SendState::Refused, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.design);
    JournalOrder order;
    order.design_file = c.design;
    order.partner_id = "1";
    order.partner_code = "NWC";
    int64_t id = 0;
    ASSERT_FALSE(journal.HandOver(order, &id));
    bool in_doubt = !c.in_doubt;
    ASSERT_FALSE(RecordSendAnswer(journal, id, c.answer, &in_doubt));
    EXPECT_EQ(in_doubt, c.in_doubt);
    SendState state = SendState::NotRecorded;
    std::vector<JournalEntry> entries;
    ASSERT_FALSE(journal.OrderState(c.design, "1", &state, &entries));
    EXPECT_EQ(state, c.state);
    if (c.state == SendState::Accepted) {
      EXPECT_EQ(entries.at(0).sequence, c.recorded);
    }
    if (*c.recorded && c.state == SendState::Refused) {
      EXPECT_EQ(entries.at(0).reason, c.recorded);
    }
  }
}

}  // namespace
}  // namespace larkedi
