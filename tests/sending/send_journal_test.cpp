// The send journal: states of an order, the history list, several processes writing at
// once, a crash between hand-over and answer, and reopening.
#include "sending/send_journal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

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

std::vector<std::string> Designs(const std::vector<JournalEntry>& entries) {
  std::vector<std::string> out;
  for (const auto& e : entries) out.push_back(e.order.design_file);
  return out;
}

class SendJournalTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing::MakeTempDir(); }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string dir_;
};

TEST_F(SendJournalTest, AnOrderMovesFromNotRecordedThroughInDoubtToItsAnswer) {
  SendJournal journal(dir_);
  EXPECT_EQ(journal.path(), dir_ + "/larkEDI-journal.db");
  SendState state = SendState::Accepted;
  ASSERT_FALSE(journal.OrderState("A.xme", "1", &state));
  EXPECT_EQ(state, SendState::NotRecorded);

  int64_t first = 0;
  ASSERT_FALSE(journal.HandOver(Order("A.xme", "1", "NWC"), &first));
  EXPECT_GT(first, 0);
  ASSERT_FALSE(journal.OrderState("A.xme", "1", &state));
  EXPECT_EQ(state, SendState::InDoubt);
  // The same design for another partner is another order.
  ASSERT_FALSE(journal.OrderState("A.xme", "2", &state));
  EXPECT_EQ(state, SendState::NotRecorded);

  ASSERT_FALSE(journal.RecordAccepted(first, "41"));
  std::vector<JournalEntry> entries;
  ASSERT_FALSE(journal.OrderState("A.xme", "1", &state, &entries));
  EXPECT_EQ(state, SendState::Accepted);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].sequence, "41");
  EXPECT_GT(entries[0].answered, 0);

  // An answer is recorded once; an unknown entry has none to record.
  EXPECT_TRUE(journal.RecordRefused(first, "too late"));
  EXPECT_TRUE(journal.RecordAccepted(first + 1000, "1"));
  ASSERT_FALSE(journal.OrderState("A.xme", "1", &state));
  EXPECT_EQ(state, SendState::Accepted);

  int64_t refused = 0;
  ASSERT_FALSE(journal.HandOver(Order("B.xme", "1", "NWC"), &refused));
  ASSERT_FALSE(journal.RecordRefused(refused, "Gateway error 500"));
  ASSERT_FALSE(journal.OrderState("B.xme", "1", &state, &entries));
  EXPECT_EQ(state, SendState::Refused);
  EXPECT_EQ(entries[0].reason, "Gateway error 500");
  EXPECT_EQ(entries[0].sequence, "");
}

TEST_F(SendJournalTest, OneUnansweredCatalogKeepsTheOrderInDoubt) {
  SendJournal journal(dir_);
  int64_t base = 0, wall = 0, retry = 0;
  ASSERT_FALSE(journal.HandOver(Order("C.xme", "7", "LK"), &base));
  ASSERT_FALSE(journal.RecordAccepted(base, "10"));
  ASSERT_FALSE(journal.HandOver(Order("C.xme", "7", "LK"), &wall));  // no answer
  ASSERT_FALSE(journal.HandOver(Order("C.xme", "7", "LK"), &retry));
  ASSERT_FALSE(journal.RecordRefused(retry, "refused"));
  SendState state = SendState::NotRecorded;
  std::vector<JournalEntry> entries;
  ASSERT_FALSE(journal.OrderState("C.xme", "7", &state, &entries));
  EXPECT_EQ(state, SendState::InDoubt);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].id, base);  // oldest first
  EXPECT_EQ(entries[2].id, retry);

  // Once the doubtful hand-over is settled, the latest answer counts.
  ASSERT_FALSE(journal.RecordAccepted(wall, "11"));
  ASSERT_FALSE(journal.OrderState("C.xme", "7", &state));
  EXPECT_EQ(state, SendState::Refused);
}

TEST_F(SendJournalTest, ReopeningKeepsEveryFieldAndMissingIdentityIsRefused) {
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
  EXPECT_EQ(e.order.design_file, order.design_file);
  EXPECT_EQ(e.order.order_id, order.order_id);
  EXPECT_EQ(e.order.partner_id, order.partner_id);
  EXPECT_EQ(e.order.partner_code, order.partner_code);
  EXPECT_EQ(e.order.catalogs, order.catalogs);
  EXPECT_EQ(e.order.global_ids, order.global_ids);
  EXPECT_EQ(e.order.po_number, order.po_number);
  EXPECT_EQ(e.order.time, 1700000000);
  EXPECT_EQ(e.state, SendState::Accepted);
  EXPECT_EQ(e.sequence, "77");
}

TEST_F(SendJournalTest, HistoryFiltersByPartnerDateAndTextNewestFirst) {
  SendJournal journal(dir_);
  int64_t id = 0;
  ASSERT_FALSE(journal.HandOver(Order("OLD.xme", "1", "NWC", 1000), &id));
  ASSERT_FALSE(journal.RecordAccepted(id, "5"));
  ASSERT_FALSE(journal.HandOver(Order("MID.xme", "2", "lake", 2000), &id));
  ASSERT_FALSE(journal.RecordRefused(id, "Dealer 100% unknown"));
  ASSERT_FALSE(journal.HandOver(Order("NEW.xme", "1", "nwc", 3000), &id));

  std::vector<JournalEntry> list;
  ASSERT_FALSE(journal.History({}, &list));
  EXPECT_EQ(Designs(list), (std::vector<std::string>{"NEW.xme", "MID.xme", "OLD.xme"}));

  HistoryFilter partner;
  partner.partner_code = "NWC";
  ASSERT_FALSE(journal.History(partner, &list));
  EXPECT_EQ(Designs(list), (std::vector<std::string>{"NEW.xme", "OLD.xme"}));

  HistoryFilter since;
  since.since = 2000;
  ASSERT_FALSE(journal.History(since, &list));
  EXPECT_EQ(Designs(list), (std::vector<std::string>{"NEW.xme", "MID.xme"}));

  HistoryFilter search;
  search.search = "100%";  // the wildcard is a plain character here
  ASSERT_FALSE(journal.History(search, &list));
  EXPECT_EQ(Designs(list), (std::vector<std::string>{"MID.xme"}));
  search.search = "po-old";
  ASSERT_FALSE(journal.History(search, &list));
  EXPECT_EQ(Designs(list), (std::vector<std::string>{"OLD.xme"}));
  search.search = "wall's \"BEST\"";
  ASSERT_FALSE(journal.History(search, &list));
  EXPECT_EQ(list.size(), 3u);
  search.search = "_";
  ASSERT_FALSE(journal.History(search, &list));
  EXPECT_TRUE(list.empty());

  HistoryFilter combined;
  combined.partner_code = "nwc";
  combined.since = 1500;
  combined.limit = 5;
  ASSERT_FALSE(journal.History(combined, &list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].state, SendState::InDoubt);
  HistoryFilter limited;
  limited.limit = 2;
  ASSERT_FALSE(journal.History(limited, &list));
  EXPECT_EQ(Designs(list), (std::vector<std::string>{"NEW.xme", "MID.xme"}));
}

TEST(SendJournalHistoryText, LinesAndDates) {
  int64_t t = 0;
  ASSERT_TRUE(ParseHistoryDate("2026-12-07", &t));
  int64_t later = 0;
  ASSERT_TRUE(ParseHistoryDate("2026-12-07T14:03:11", &later));
  EXPECT_EQ(later - t, 14 * 3600 + 3 * 60 + 11);
  int64_t next_day = 0;
  ASSERT_TRUE(ParseHistoryDate("2026-12-08 00:00:00", &next_day));
  EXPECT_EQ(next_day - t, 86400);
  int64_t epoch = -1;
  ASSERT_TRUE(ParseHistoryDate("1970-01-01", &epoch));
  EXPECT_EQ(epoch, 0);
  for (const char* bad : {"", "yesterday", "2026-13-01", "2026-04-31", "2026-12-07x",
                          "2026-12-07T25:00:00", "2026-12-07T10:00"}) {
    EXPECT_FALSE(ParseHistoryDate(bad, &t)) << bad;
  }

  JournalEntry entry;
  entry.order = Order("F.xme", "1", "NWC", later);
  entry.state = SendState::Accepted;
  entry.sequence = "41";
  const std::string sent = HistoryLine(entry);
  EXPECT_EQ(sent.rfind("2026-12-07 14:03:11Z  NWC  F.xme", 0), 0u) << sent;
  EXPECT_NE(sent.find("Base, Wall's \"best\""), std::string::npos) << sent;
  EXPECT_EQ(sent.substr(sent.size() - 8), " sent 41") << sent;
  entry.state = SendState::Refused;
  entry.reason = "500: Gateway error";
  EXPECT_EQ(HistoryLine(entry).substr(HistoryLine(entry).size() - 27),
            "refused: 500: Gateway error");
  entry.state = SendState::InDoubt;
  const std::string doubt = HistoryLine(entry);
  EXPECT_EQ(doubt.substr(doubt.size() - 8), "in doubt") << doubt;
}

TEST_F(SendJournalTest, AFolderThatCannotHoldTheJournalIsAnError) {
  SendJournal journal(dir_ + "/no/such/folder");
  int64_t id = 0;
  Err err = journal.HandOver(Order("A.xme", "1", "X"), &id);
  ASSERT_TRUE(err);
  EXPECT_NE(err.Description.find("larkEDI-journal.db"), std::string::npos) << err.Description;
  std::vector<JournalEntry> list;
  EXPECT_TRUE(journal.History({}, &list));
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

// A process killed after the hand-over was recorded, before its answer: the order stays in
// doubt for the next process, and an answer can still be recorded for it then.
TEST_F(SendJournalTest, ACrashBetweenHandOverAndAnswerLeavesTheOrderInDoubt) {
  int pipe_fd[2];
  ASSERT_EQ(pipe(pipe_fd), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(pipe_fd[0]);
    SendJournal journal(dir_);
    int64_t done = 0, pending = 0;
    if (journal.HandOver(Order("DONE.xme", "1", "NWC"), &done)) _exit(10);
    if (journal.RecordAccepted(done, "1")) _exit(11);
    if (journal.HandOver(Order("CRASH.xme", "1", "NWC"), &pending)) _exit(12);
    if (write(pipe_fd[1], &pending, sizeof pending) != sizeof pending) _exit(13);
    raise(SIGKILL);  // as a power cut would, with the connection still open
    _exit(14);
  }
  close(pipe_fd[1]);
  int64_t pending = 0;
  ASSERT_EQ(read(pipe_fd[0], &pending, sizeof pending), static_cast<ssize_t>(sizeof pending));
  close(pipe_fd[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status));

  SendJournal journal(dir_);
  SendState state = SendState::NotRecorded;
  ASSERT_FALSE(journal.OrderState("CRASH.xme", "1", &state));
  EXPECT_EQ(state, SendState::InDoubt);
  ASSERT_FALSE(journal.OrderState("DONE.xme", "1", &state));
  EXPECT_EQ(state, SendState::Accepted);
  ASSERT_FALSE(journal.RecordAccepted(pending, "2"));
  ASSERT_FALSE(journal.OrderState("CRASH.xme", "1", &state));
  EXPECT_EQ(state, SendState::Accepted);
}

}  // namespace
}  // namespace larkedi
