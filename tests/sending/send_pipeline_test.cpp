// The send run against a connector built into the test: what reaches the partner, what the
// stack keeps after accepted, refused and unanswered orders, and where passwords go: the
// password and dealer dialogs and the copy of the last purchase order.
#include "sending/send_pipeline.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <filesystem>

#include "host/frm_edi.h"
#include "orders/stack_files.h"
#include "platform/automation/automation.h"
#include "platform/xml/xml.h"
#include "sending/credential_dialogs.h"
#include "sending/last_po.h"
#include "sending/send_fixture.h"
#include "support/utility.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using automation::Variant;
using testing::ReadFileOrEmpty;
using testing::RowCollector;

/// What the test connector does with each sendfiles call, in order (empty: accept).
enum class Answer { Accept, Refuse, CallFails };

struct ConnectorScript {
  std::deque<Answer> answers;
  /// The Data of every sendfiles call.
  std::vector<std::string> received;
  /// The stacked files at each sendfiles call.
  std::vector<std::vector<std::string>> spool_at_send;
  std::string spool;
  int sequence = 100;
};

ConnectorScript& Script() {
  static ConnectorScript script;
  return script;
}

std::shared_ptr<automation::AutomationObject> MakeTestConnector(Err*) {
  auto object = std::make_shared<automation::DispatchObject>("TestConnector.spooler");
  for (const auto& [name, value] : {std::pair<const char*, Variant>{"connectioncount", Variant(1L)},
                                    {"testconnection", Variant("http://gateway.test")}}) {
    object->AddMethod(name, [value](std::vector<Variant>&, Variant* r) {
      *r = value;
      return Err{};
    });
  }
  // The last call's response, errornumber and errordescription.
  auto last = std::make_shared<std::array<Variant, 3>>();
  object->AddMethod("sendfiles", [last](std::vector<Variant>& args, Variant* r) {
    ConnectorScript& s = Script();
    s.spool_at_send.push_back(ListXmeFiles(s.spool));
    const std::string parameter = args[0].AsString();
    const auto b = parameter.find("<Data>");
    const auto e = parameter.rfind("</Data>");
    s.received.push_back(b == std::string::npos || e == std::string::npos
                             ? std::string()
                             : parameter.substr(b + 6, e - b - 6));
    const Answer answer = s.answers.empty() ? Answer::Accept : s.answers.front();
    if (!s.answers.empty()) s.answers.pop_front();
    if (answer == Answer::CallFails) {
      return Err::Raise(automation::kErrRemoteCallFailed, "TestConnector", "the server died");
    }
    if (answer == Answer::Accept) {
      *last = {"<RESPONSE><SEQUENCE>" + std::to_string(++s.sequence) + "</SEQUENCE></RESPONSE>", 0L,
               ""};
    } else {
      *last = {"", 403L, "dealer <unknown> & refused"};
    }
    *r = Variant(answer == Answer::Accept);
    return Err{};
  });
  const char* fields[] = {"response", "errornumber", "errordescription"};
  for (std::size_t i = 0; i < 3; ++i) {
    object->AddProperty(fields[i], [last, i](Variant* r) {
      *r = (*last)[i];
      return Err{};
    });
  }
  return object;
}

// A design with one catalog per name and no project keys.
std::string Design(const std::string& number, const std::vector<std::string>& catalogs) {
  return testing::DesignText(number, catalogs, "", "");
}

class SendPipelineTest : public testing::SendFixture {
 protected:
  void SetUp() override {
    automation::RegisterBuiltinClass("TestConnector.spooler", MakeTestConnector);
    Script() = ConnectorScript{};
    Script().spool = module_.path("Send");
    WriteSettings(
        {{.code = "ACM", .catalogs = {"ABC"}, .whole_order = true, .name = "Acme & <Sons>"},
         {.code = "BIR", .catalogs = {"O'Hare \"Base\""}, .whole_order = true}},
        "TestConnector");
  }
  void TearDown() override { automation::UnregisterBuiltinClass("TestConnector.spooler"); }

  /// Loads the stack as it is on disk into `edi_` for a run of `sender_`, which is kept
  /// (with the passwords it was given) from run to run.
  SendOrders& Load() {
    if (!edi_) {
      edi_ = std::make_unique<frmEDI>();
      EXPECT_FALSE(edi_->OpenHeadless());
    }
    edi_->Orders.LoadOrders(false);
    if (!sender_) sender_ = std::make_unique<SendOrders>(edi_->Orders, journal_);
    return *sender_;
  }

  SendJournal journal_{module_.dir()};
  std::unique_ptr<frmEDI> edi_;
  std::unique_ptr<SendOrders> sender_;
};

TEST_F(SendPipelineTest, EachOrderGoesAloneQuotedNamesAndFailuresIncluded) {
  Stack(Design("PO-1", {"ABC", "O'Hare \"Base\""}));  // two partners
  SendOrders& sender = Load();
  sender.SetPartnerPassword("acm", "pw");
  sender.SetPartnerPassword("BIR", "pw");
  RowCollector rows;
  ASSERT_TRUE(sender.Run(&rows));
  ASSERT_EQ(rows.rows.size(), 2u);
  for (const auto& row : rows.rows) {
    EXPECT_EQ(row.result, SendResult::Sent) << row.message;
    // Names are kept as typed, not escaped.
    EXPECT_EQ(row.catalogs,
              std::vector<std::string>{row.partner_code == "BIR" ? "O'Hare \"Base\"" : "ABC"});
    if (row.partner_code == "ACM") {
      EXPECT_EQ(row.partner_name, "Acme & <Sons>");
    }
  }
  // Each document is the partner's conversion, carrying only its own catalog's items.
  ASSERT_EQ(Script().received.size(), 2u);
  for (const auto& data : Script().received) {
    xml::Document po;
    ASSERT_TRUE(po.loadXML(data)) << data;
    ASSERT_EQ(po.selectNodes("PURCHASEORDER/PODETAILS").length(), 1);
    const std::string catalog = po.selectSingleNode("PURCHASEORDER/PODETAILS/CATALOG").text();
    ASSERT_GT(po.selectNodes("PURCHASEORDER/POLINES/ITEM").length(), 0);
    for (xml::Node item : po.selectNodes("PURCHASEORDER/POLINES/ITEM")) {
      EXPECT_EQ(item.selectSingleNode("CATNAME").text(), catalog);
    }
  }
  EXPECT_TRUE(StackedOrders().empty());

  // A failure ends only its order, and sent orders are saved at once.
  for (const char* number : {"PO-2", "PO-3", "PO-4"}) Stack(Design(number, {"ABC"}));
  // First accepted, second refused, third: the connector itself fails.
  Script().answers = {Answer::Accept, Answer::Refuse, Answer::CallFails};
  Script().spool_at_send.clear();
  Load();
  rows.rows.clear();
  ASSERT_TRUE(sender.Run(&rows));
  ASSERT_EQ(rows.rows.size(), 3u);
  EXPECT_EQ(rows.rows[0].result, SendResult::Sent);
  EXPECT_EQ(rows.rows[1].result, SendResult::Failed);
  // The connector's text is kept as it came, for the page to escape.
  EXPECT_NE(rows.rows[1].message.find("dealer <unknown> & refused"), std::string::npos)
      << rows.rows[1].message;
  EXPECT_EQ(rows.rows[2].result, SendResult::InDoubt);
  EXPECT_EQ(sender.failures(), 2);

  // When the second order was handed over, the first was already out of the spool folder.
  ASSERT_EQ(Script().spool_at_send.size(), 3u);
  EXPECT_EQ(Script().spool_at_send[0].size(), 3u);
  EXPECT_EQ(Script().spool_at_send[1].size(), 2u);
  EXPECT_EQ(StackedOrders().size(), 2u);
}

TEST_F(SendPipelineTest, CancelKeepsTheOrderARefusalForgetsThePasswordNoFileHoldsIt) {
  module_.EnableLogging();
  Stack(Design("PO-1", {"ABC"}));
  dialogs_.text_answers = {std::nullopt};  // the password dialog is cancelled
  RowCollector cancelled;
  ASSERT_TRUE(Load().Run(&cancelled));
  ASSERT_EQ(cancelled.rows.size(), 1u);
  EXPECT_EQ(cancelled.rows[0].result, SendResult::Canceled);
  EXPECT_TRUE(Script().received.empty());
  EXPECT_EQ(StackedOrders().size(), 1u);

  Stack(Design("PO-2", {"ABC"}));
  sender_.reset();
  dialogs_.credentials_asked.clear();
  SendOrders& sender = Load();
  // The first order is refused: its password is forgotten and asked for again.
  Script().answers = {Answer::Refuse, Answer::Accept};
  dialogs_.credential_answers = {{false, "", "first-secret-pw"}, {false, "", "second-secret-pw"}};
  RowCollector rows;
  ASSERT_TRUE(sender.Run(&rows));
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.rows[0].result, SendResult::Failed);
  EXPECT_EQ(rows.rows[1].result, SendResult::Sent);
  EXPECT_EQ(dialogs_.credentials_asked.size(), 2u);

  // With logging on, lastPO.xml is written, its password emptied.
  xml::Document po;
  ASSERT_TRUE(po.loadXML(ReadFileOrEmpty(module_.path("Archive/lastPO.xml"))));
  ASSERT_FALSE(po.selectSingleNode("//PASSWORD").isNull());
  EXPECT_EQ(po.selectSingleNode("//PASSWORD").text(), "");

  // Neither password, plain or encoded, is in any file of the module (log included).
  ASSERT_FALSE(ReadFileOrEmpty(module_.path("larkEDI.log")).empty());
  Utility utility;
  for (const std::string pw : {"first-secret-pw", "second-secret-pw"}) {
    for (const std::string& needle : {pw, utility.Encode(pw, "7850")}) {
      for (const auto& entry : fs::recursive_directory_iterator(module_.dir())) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(ReadFileOrEmpty(entry.path().string()).find(needle), std::string::npos)
            << pw << " in " << entry.path();
      }
    }
  }

  // Sent with the second password: a further order is not asked for again.
  Stack(Design("PO-3", {"ABC"}));
  Load();
  RowCollector more;
  ASSERT_TRUE(sender.Run(&more));
  ASSERT_EQ(more.rows.size(), 2u);  // the refused PO-1 and the new PO-3
  for (const auto& row : more.rows) EXPECT_EQ(row.result, SendResult::Sent) << row.message;
  EXPECT_EQ(dialogs_.credentials_asked.size(), 2u);
}

// A run that stopped after the partner's answer but before its stack save leaves the order
// stacked and accepted in the journal: the next run removes it without sending it again.
TEST_F(SendPipelineTest, AnOrderTheJournalShowsAcceptedIsRemovedWithoutSending) {
  Stack(Design("PO-1", {"ABC"}));
  Load();
  JournalOrder order;
  order.design_file = edi_->Orders.docOrders.selectSingleNode("//Design/FileName").text();
  order.order_id = "1";
  order.partner_id = "1";
  order.partner_code = "ACM";
  int64_t id = 0;
  ASSERT_FALSE(journal_.HandOver(order, &id));
  ASSERT_FALSE(journal_.RecordAccepted(id, "77"));

  RowCollector rows;
  ASSERT_TRUE(Load().Run(&rows));
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0].result, SendResult::AlreadySent);
  EXPECT_EQ(rows.rows[0].sequence, "77");
  EXPECT_TRUE(Script().received.empty());
  EXPECT_TRUE(StackedOrders().empty());
}

TEST_F(SendPipelineTest, CredentialDialogsCancelledKeepNothingTyped) {
  dialogs_.credential_answers = {
      {true, "", "typed"}, {false, "", "  pw  "}, {true, "changed@example.com", "typed"}};
  frmPassword cancelled_password;
  EXPECT_EQ(cancelled_password.GetPassword(), "");
  EXPECT_TRUE(cancelled_password.Cancelled);
  frmPassword blanks;  // blanks are part of a password
  EXPECT_EQ(blanks.GetPassword(), "  pw  ");

  frmDealerID cancelled;
  cancelled.Email("dealer@example.com");
  std::string email = "x", password = "y";
  cancelled.GetDealerInfo(email, password);
  EXPECT_TRUE(cancelled.Cancelled);
  EXPECT_EQ(email, "dealer@example.com");
  EXPECT_EQ(password, "");
  EXPECT_EQ(dialogs_.credentials_asked.at(2).email, "dealer@example.com");
}

TEST(LastPoTest, PasswordValuesAreRemovedWhereverTheyAre) {
  const std::string encoded = "Zq8#xW2p";
  const std::string po = "<PURCHASEORDER><PODETAILS><PASSWORD>" + encoded +
                         "</PASSWORD><Password>other</Password><CATALOG pwd=\"1\" password=\"" +
                         encoded + "\">ABC</CATALOG><NOTE>code " + encoded +
                         " in text</NOTE></PODETAILS></PURCHASEORDER>";
  const std::string clean = WithoutPasswords(po, encoded);
  EXPECT_EQ(clean.find(encoded), std::string::npos) << clean;
  EXPECT_EQ(clean.find("other"), std::string::npos) << clean;
  xml::Document doc;
  ASSERT_TRUE(doc.loadXML(clean)) << clean;
  EXPECT_EQ(doc.selectSingleNode("//CATALOG").text(), "ABC");
  EXPECT_EQ(doc.selectSingleNode("//NOTE").text(), "code  in text");
}

}  // namespace
}  // namespace larkedi
