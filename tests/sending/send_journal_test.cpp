// The send journal: states of an order and what a connector's answer leaves there, several
// processes writing at once, and reopening.
#include "sending/send_journal.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <tuple>

#include "sending/connect_method_orca.h"
#include "sending/send_record.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

JournalOrder Order(const std::string& design, const std::string& partner_id,
                   const std::string& code, int64_t time = 0) {
  JournalOrder order;
  order.design_file = design;
  order.order_id = "3";
  order.partner_id = partner_id;
  order.partner_code = code;
  order.catalogs = {"Base", "Wall's \"best\""};
  order.global_ids = {"GID-" + design + "-1", "GID-" + design + "-2"};
  order.po_number = "PO-" + design;
  order.time = time;
  return order;
}

SendState StateOf(SendJournal& journal, const std::string& design, const std::string& partner,
                  std::vector<JournalEntry>* entries = nullptr) {
  SendState state = SendState::Accepted;
  EXPECT_FALSE(journal.OrderState(design, partner, &state, entries));
  return state;
}

class SendJournalTest : public ::testing::Test {
 protected:
  testing::TempModule module_{false};
  const std::string dir_ = module_.dir();
};

TEST_F(SendJournalTest, AnOrderMovesFromNotRecordedThroughInDoubtToItsAnswers) {
  SendJournal journal(dir_);
  EXPECT_EQ(StateOf(journal, "A.xme", "1"), SendState::NotRecorded);
  int64_t first = 0;
  ASSERT_FALSE(journal.HandOver(Order("A.xme", "1", "NWC"), &first));
  EXPECT_EQ(StateOf(journal, "A.xme", "1"), SendState::InDoubt);
  // The same design for another partner is another order.
  EXPECT_EQ(StateOf(journal, "A.xme", "2"), SendState::NotRecorded);

  ASSERT_FALSE(journal.RecordAccepted(first, "41"));
  std::vector<JournalEntry> entries;
  EXPECT_EQ(StateOf(journal, "A.xme", "1", &entries), SendState::Accepted);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].sequence, "41");

  // An answer is recorded once; an unknown entry has none to record.
  EXPECT_TRUE(journal.RecordRefused(first, "too late"));
  EXPECT_TRUE(journal.RecordAccepted(first + 1000, "1"));
  EXPECT_EQ(StateOf(journal, "A.xme", "1"), SendState::Accepted);

  int64_t refused = 0;
  ASSERT_FALSE(journal.HandOver(Order("B.xme", "1", "NWC"), &refused));
  ASSERT_FALSE(journal.RecordRefused(refused, "Gateway error 500"));
  EXPECT_EQ(StateOf(journal, "B.xme", "1", &entries), SendState::Refused);
  EXPECT_EQ(entries.at(0).reason, "Gateway error 500");

  // One unanswered catalog keeps the order in doubt.
  int64_t base = 0, wall = 0, retry = 0;
  ASSERT_FALSE(journal.HandOver(Order("C.xme", "7", "LK"), &base));
  ASSERT_FALSE(journal.RecordAccepted(base, "10"));
  ASSERT_FALSE(journal.HandOver(Order("C.xme", "7", "LK"), &wall));  // no answer
  ASSERT_FALSE(journal.HandOver(Order("C.xme", "7", "LK"), &retry));
  ASSERT_FALSE(journal.RecordRefused(retry, "refused"));
  EXPECT_EQ(StateOf(journal, "C.xme", "7"), SendState::InDoubt);

  // Once the doubtful hand-over is settled, the latest answer counts.
  ASSERT_FALSE(journal.RecordAccepted(wall, "11"));
  EXPECT_EQ(StateOf(journal, "C.xme", "7"), SendState::Refused);
}

// Accepted with its sequence, refused with its reason, and no answer at all, which must stay
// in doubt (the gateway may hold the order).
TEST_F(SendJournalTest, EachConnectorAnswerLeavesTheRightState) {
  EXPECT_EQ(SequenceOf("<RESPONSE><SEQUENCE> 12 </SEQUENCE></RESPONSE>"), "12");
  EXPECT_EQ(SequenceOf("<RESPONSE/>"), "");
  EXPECT_EQ(SequenceOf("<RESPONSE><SEQUENCE>1</SEQ"), "");
  SendJournal journal(dir_);
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
    int64_t id = 0;
    ASSERT_FALSE(journal.HandOver(Order(c.design, "1", "NWC"), &id));
    bool in_doubt = !c.in_doubt;
    ASSERT_FALSE(RecordSendAnswer(journal, id, c.answer, &in_doubt));
    EXPECT_EQ(in_doubt, c.in_doubt);
    std::vector<JournalEntry> entries;
    EXPECT_EQ(StateOf(journal, c.design, "1", &entries), c.state);
    if (c.state == SendState::Accepted) {
      EXPECT_EQ(entries.at(0).sequence, c.recorded);
    }
    if (c.state == SendState::Refused && *c.recorded) {
      EXPECT_EQ(entries.at(0).reason, c.recorded);
    }
  }
}

TEST_F(SendJournalTest, ReopeningKeepsEveryFieldMissingIdentityOrFolderIsRefused) {
  int64_t id = 0;
  JournalOrder order = Order("D.xme", "4", "O'Brien & \"Sons\"", 1700000000);
  {
    SendJournal journal(dir_);
    ASSERT_FALSE(journal.HandOver(order, &id));
    ASSERT_FALSE(journal.RecordAccepted(id, "77"));
    int64_t none = 5;
    EXPECT_TRUE(journal.HandOver(Order("", "4", "X"), &none));
    EXPECT_EQ(none, 0);
    EXPECT_TRUE(journal.HandOver(Order("E.xme", "", "X"), &none));
  }
  SendJournal reopened(dir_);
  std::vector<JournalEntry> all;
  ASSERT_FALSE(reopened.History({}, &all));
  ASSERT_EQ(all.size(), 1u);
  const JournalEntry& e = all[0];
  EXPECT_EQ(e.id, id);
  EXPECT_EQ(
      std::tie(e.order.design_file, e.order.order_id, e.order.partner_id, e.order.partner_code,
               e.order.catalogs, e.order.global_ids, e.order.po_number, e.order.time),
      std::tie(order.design_file, order.order_id, order.partner_id, order.partner_code,
               order.catalogs, order.global_ids, order.po_number, order.time));
  EXPECT_EQ(e.state, SendState::Accepted);
  EXPECT_EQ(e.sequence, "77");

  // A folder that cannot hold the journal is an error naming its file.
  SendJournal nowhere(dir_ + "/no/such/folder");
  Err err = nowhere.HandOver(order, &id);
  ASSERT_TRUE(err);
  EXPECT_NE(err.Description.find("larkEDI-journal.db"), std::string::npos) << err.Description;
  EXPECT_TRUE(nowhere.History({}, &all));
}

// Two processes write hand-overs and answers at the same time; nothing is lost.
TEST_F(SendJournalTest, ConcurrentWritersFromTwoProcessesLoseNothing) {
  constexpr int kPerProcess = 120;
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      SendJournal journal(dir_);
      for (int i = 0; i < kPerProcess; ++i) {
        int64_t id = 0;
        const std::string design = "P" + std::to_string(p) + "-" + std::to_string(i) + ".xme";
        if (journal.HandOver(Order(design, "1", "NWC"), &id)) _exit(10);
        if (journal.RecordAccepted(id, std::to_string(p * 1000 + i))) _exit(11);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  SendJournal journal(dir_);
  std::vector<JournalEntry> all;
  ASSERT_FALSE(journal.History({}, &all));
  ASSERT_EQ(all.size(), 2u * kPerProcess);
  std::set<std::string> designs, sequences;
  for (const auto& e : all) {
    EXPECT_EQ(e.state, SendState::Accepted) << e.order.design_file;
    designs.insert(e.order.design_file);
    sequences.insert(e.sequence);
  }
  EXPECT_EQ(designs.size(), 2u * kPerProcess);
  EXPECT_EQ(sequences.size(), 2u * kPerProcess);
}

}  // namespace
}  // namespace larkedi
