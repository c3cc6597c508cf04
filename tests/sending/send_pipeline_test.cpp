// The send run against a connector built into the test: what reaches the partner, what the
// stack and the journal keep after accepted, refused and unanswered orders.
#include "sending/send_pipeline.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <set>
#include <tuple>

#include "host/frm_edi.h"
#include "orders/stack_files.h"
#include "platform/automation/automation.h"
#include "platform/xml/xml.h"
#include "sending/send_fixture.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using automation::Variant;
using testing::ReadFileOrEmpty;
using testing::RowCollector;
using testing::WriteFileOrDie;

/// What the test connector does with each sendfiles call, in order (empty: accept).
enum class Answer { Accept, Refuse, NoAnswer, CallFails };

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

std::string DataOf(const std::string& parameter) {
  const auto b = parameter.find("<Data>");
  const auto e = parameter.rfind("</Data>");
  if (b == std::string::npos || e == std::string::npos) return {};
  return parameter.substr(b + 6, e - b - 6);
}

std::shared_ptr<automation::AutomationObject> MakeTestConnector(Err*) {
  auto object = std::make_shared<automation::DispatchObject>("TestConnector.spooler");
  auto state = std::make_shared<std::tuple<std::string, long, std::string>>();
  object->AddMethod("connectioncount", [](std::vector<Variant>&, Variant* r) {
    *r = Variant(1L);
    return Err{};
  });
  object->AddMethod("testconnection", [](std::vector<Variant>&, Variant* r) {
    *r = Variant("http://gateway.test");
    return Err{};
  });
  object->AddMethod("sendfiles", [state](std::vector<Variant>& args, Variant* r) {
    ConnectorScript& s = Script();
    s.spool_at_send.push_back(ListXmeFiles(s.spool));
    Answer answer = Answer::Accept;
    if (!s.answers.empty()) {
      answer = s.answers.front();
      s.answers.pop_front();
    }
    if (answer == Answer::CallFails) {
      s.received.push_back(DataOf(args[0].AsString()));
      return Err::Raise(automation::kErrRemoteCallFailed, "TestConnector", "the server died");
    }
    s.received.push_back(DataOf(args[0].AsString()));
    auto& [response, number, description] = *state;
    response.clear();
    number = 0;
    description.clear();
    if (answer == Answer::Accept) {
      response = "<RESPONSE><SEQUENCE>" + std::to_string(++s.sequence) + "</SEQUENCE></RESPONSE>";
      *r = Variant(true);
    } else if (answer == Answer::Refuse) {
      number = 403;
      description = "dealer <unknown> & refused";
      *r = Variant(false);
    } else {
      number = 9011;  // sent, no usable answer
      description = "the connection dropped";
      *r = Variant(false);
    }
    return Err{};
  });
  object->AddProperty("response", [state](Variant* r) {
    *r = Variant(std::get<0>(*state));
    return Err{};
  });
  object->AddProperty("errornumber", [state](Variant* r) {
    *r = Variant(std::get<1>(*state));
    return Err{};
  });
  object->AddProperty("errordescription", [state](Variant* r) {
    *r = Variant(std::get<2>(*state));
    return Err{};
  });
  return object;
}

// A design with one catalog per name and no project keys.
std::string Design(const std::string& number, const std::vector<std::string>& catalogs) {
  return testing::DesignText(number, catalogs, "", "");
}

class SendPipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    automation::RegisterBuiltinClass("TestConnector.spooler", MakeTestConnector);
    Script() = ConnectorScript{};
    Script().spool = module_.path("Send");
    WriteFileOrDie(
        module_.path("larkEDI.xml"),
        "<SETTINGS><METHOD><ID>1</ID><NAME>test</NAME><OBJECTNAME>TestConnector</OBJECTNAME>"
        "</METHOD><SPOOLPATH>" +
            module_.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" + module_.path("Archive") +
            "</ARCHIVEPATH><SORTORDER>NS</SORTORDER>"
            "<PARTNER><ID>1</ID><NAME>Acme &amp; &lt;Sons&gt;</NAME><CODE>ACM</CODE>"
            "<MANUFID>ACME</MANUFID><DEALERID>D-1</DEALERID><METHODID>1</METHODID>"
            "<TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
            "<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE></PARTNER>"
            "<PARTNER><ID>2</ID><NAME>Birch</NAME><CODE>BIR</CODE><MANUFID>BIRCH</MANUFID>"
            "<DEALERID>D-2</DEALERID><METHODID>1</METHODID>"
            "<TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
            "<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE></PARTNER>"
            "<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG>"
            "<CATALOG><ID>2</ID><CODE><![CDATA[O'Hare \"Base\"]]></CODE><PARTNERID>2</PARTNERID>"
            "</CATALOG></SETTINGS>");
    module_.Restart();  // resources, as start-up loads them
  }
  void TearDown() override { automation::UnregisterBuiltinClass("TestConnector.spooler"); }

  void Stack(const std::string& design) { testing::StackDesign(design); }

  /// One send run on a freshly loaded stack, as `larkedi send` makes it.
  bool Send(RowCollector& rows, SendOrders* reuse = nullptr) {
    frmEDI edi;
    EXPECT_FALSE(edi.OpenHeadless());
    OrderStack::Transaction transaction(edi.Orders);
    edi.Orders.LoadOrders(false);
    SendOrders sender(edi.Orders, journal_);
    sender.SetPartnerPassword("acm", "secret-acm");
    sender.SetPartnerPassword("BIR", "secret-bir");
    const bool ran = (reuse ? *reuse : sender).Run(&rows);
    last_failures_ = (reuse ? *reuse : sender).failures();
    nothing_ = (reuse ? *reuse : sender).nothing_to_send();
    return ran;
  }

  /// Order groups stacked on disk now.
  int StackedGroups() {
    frmEDI edi;
    EXPECT_FALSE(edi.OpenHeadless());
    edi.Orders.LoadOrders(false);
    return static_cast<int>(edi.Orders.docOrders.selectNodes("//ORDERGROUP").length());
  }

  testing::TempModule module_;
  SendJournal journal_{module_.dir()};
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  int last_failures_ = 0;
  bool nothing_ = false;
};

TEST_F(SendPipelineTest, EachOrderIsSentOnceConvertedAndLeavesTheStack) {
  Stack(Design("PO-1", {"ABC", "O'Hare \"Base\""}));  // one design, two partners
  Stack(Design("PO-2", {"ABC"}));

  RowCollector rows;
  ASSERT_TRUE(Send(rows));
  ASSERT_EQ(rows.rows.size(), 3u);
  EXPECT_EQ(last_failures_, 0);
  std::set<std::string> sequences;
  for (const auto& row : rows.rows) {
    EXPECT_EQ(row.result, SendResult::Sent) << row.message;
    EXPECT_FALSE(row.sequence.empty());
    sequences.insert(row.sequence);
  }
  EXPECT_EQ(sequences.size(), 3u);
  ASSERT_EQ(Script().received.size(), 3u);

  // The quoted catalog name selected its own catalog: Birch's order holds it alone, and the
  // row names it as typed, not escaped. The partner name stays plain text too.
  int birch = 0;
  for (const auto& row : rows.rows) {
    if (row.partner_code == "BIR") {
      ++birch;
      EXPECT_EQ(row.catalogs, std::vector<std::string>{"O'Hare \"Base\""});
    } else {
      EXPECT_EQ(row.partner_name, "Acme & <Sons>");
      EXPECT_EQ(row.catalogs, std::vector<std::string>{"ABC"});
    }
  }
  EXPECT_EQ(birch, 1);

  // Every document is the partner's conversion, carrying only its own items.
  for (const auto& data : Script().received) {
    xml::Document po;
    ASSERT_TRUE(po.loadXML(data)) << data;
    ASSERT_TRUE(po.selectSingleNode("PURCHASEORDER/POHEADER/GLOBALID"));
    const std::string catalog = po.selectSingleNode("PURCHASEORDER/PODETAILS/CATALOG").text();
    EXPECT_EQ(po.selectNodes("PURCHASEORDER/PODETAILS").length(), 1);
    for (xml::Node item : po.selectNodes("PURCHASEORDER/POLINES/ITEM")) {
      EXPECT_EQ(item.selectSingleNode("CATNAME").text(), catalog);
    }
  }

  EXPECT_EQ(StackedGroups(), 0);
  EXPECT_TRUE(ListXmeFiles(module_.path("Send")).empty());
  EXPECT_FALSE(fs::is_empty(module_.path("Archive")));

  std::vector<JournalEntry> history;
  ASSERT_FALSE(journal_.History({}, &history));
  ASSERT_EQ(history.size(), 3u);
  for (const auto& e : history) EXPECT_EQ(e.state, SendState::Accepted);

  // Nothing left: a second run sends nothing.
  RowCollector again;
  EXPECT_FALSE(Send(again));
  EXPECT_TRUE(nothing_);
  EXPECT_EQ(Script().received.size(), 3u);
}

TEST_F(SendPipelineTest, AFailureEndsOnlyItsOrderAndSentOrdersAreSavedAtOnce) {
  Stack(Design("PO-1", {"ABC"}));
  Stack(Design("PO-2", {"ABC"}));
  Stack(Design("PO-3", {"ABC"}));
  // First accepted, second refused, third: the connector itself fails.
  Script().answers = {Answer::Accept, Answer::Refuse, Answer::CallFails};

  RowCollector rows;
  ASSERT_TRUE(Send(rows));
  ASSERT_EQ(rows.rows.size(), 3u);
  EXPECT_EQ(rows.rows[0].result, SendResult::Sent);
  EXPECT_EQ(rows.rows[1].result, SendResult::Failed);
  // The connector's text is kept as it came, for the page to escape.
  EXPECT_NE(rows.rows[1].message.find("dealer <unknown> & refused"), std::string::npos)
      << rows.rows[1].message;
  EXPECT_EQ(rows.rows[2].result, SendResult::InDoubt);
  EXPECT_EQ(last_failures_, 2);

  // When the second order was handed over, the first was already out of the spool folder.
  ASSERT_EQ(Script().spool_at_send.size(), 3u);
  EXPECT_EQ(Script().spool_at_send[0].size(), 3u);
  EXPECT_EQ(Script().spool_at_send[1].size(), 2u);
  EXPECT_EQ(StackedGroups(), 2);
}

TEST_F(SendPipelineTest, AnOrderInDoubtIsSentAgainOnlyWhenTheDealerConfirms) {
  Stack(Design("PO-1", {"ABC"}));
  Script().answers = {Answer::NoAnswer};
  RowCollector first;
  ASSERT_TRUE(Send(first));
  ASSERT_EQ(first.rows.size(), 1u);
  EXPECT_EQ(first.rows[0].result, SendResult::InDoubt);
  EXPECT_EQ(StackedGroups(), 1);

  // The dealer says No: nothing is handed over.
  dialogs_.msgbox_answers = {MsgResult::No};
  RowCollector second;
  ASSERT_TRUE(Send(second));
  ASSERT_EQ(second.rows.size(), 1u);
  EXPECT_EQ(second.rows[0].result, SendResult::InDoubt);
  EXPECT_EQ(Script().received.size(), 1u);
  ASSERT_FALSE(dialogs_.shown.empty());
  EXPECT_EQ(dialogs_.shown.back().buttons, MsgButtons::YesNo);

  // Confirmed: sent, and the journal now knows it as sent.
  dialogs_.msgbox_answers = {MsgResult::Yes};
  RowCollector third;
  ASSERT_TRUE(Send(third));
  ASSERT_EQ(third.rows.size(), 1u);
  EXPECT_EQ(third.rows[0].result, SendResult::Sent);
  EXPECT_EQ(Script().received.size(), 2u);
  EXPECT_EQ(StackedGroups(), 0);
}

TEST_F(SendPipelineTest, AnOrderTheJournalShowsAcceptedIsRemovedWithoutSending) {
  Stack(Design("PO-1", {"ABC"}));
  std::string file;
  {
    frmEDI edi;
    ASSERT_FALSE(edi.OpenHeadless());
    edi.Orders.LoadOrders(false);
    file = edi.Orders.docOrders.selectSingleNode("//Design/FileName").text();
  }
  // As a run that crashed after the answer but before its save leaves it.
  JournalOrder order;
  order.design_file = file;
  order.order_id = "1";
  order.partner_id = "1";
  order.partner_code = "ACM";
  int64_t id = 0;
  ASSERT_FALSE(journal_.HandOver(order, &id));
  ASSERT_FALSE(journal_.RecordAccepted(id, "77"));

  RowCollector rows;
  ASSERT_TRUE(Send(rows));
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0].result, SendResult::AlreadySent);
  EXPECT_EQ(rows.rows[0].sequence, "77");
  EXPECT_TRUE(Script().received.empty());
  EXPECT_EQ(StackedGroups(), 0);
}

TEST_F(SendPipelineTest, PasswordsAreAskedOnceCachedAndNeverWrittenDown) {
  module_.EnableLogging();
  Stack(Design("PO-1", {"ABC"}));
  Stack(Design("PO-2", {"ABC"}));
  frmEDI edi;
  ASSERT_FALSE(edi.OpenHeadless());
  edi.Orders.LoadOrders(false);
  SendOrders sender(edi.Orders, journal_);
  // The first order is refused: the cached password is dropped and asked again.
  Script().answers = {Answer::Refuse, Answer::Accept};
  dialogs_.text_answers = {std::string("typed-pw-1"), std::string("typed-pw-2")};
  RowCollector rows;
  ASSERT_TRUE(sender.Run(&rows));
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.rows[0].result, SendResult::Failed);
  EXPECT_EQ(rows.rows[1].result, SendResult::Sent);
  EXPECT_TRUE(dialogs_.text_answers.empty());  // asked twice

  // Cached now: a further order asks nothing. A cancel would otherwise end it.
  Stack(Design("PO-3", {"ABC"}));
  edi.Orders.LoadOrders(false);
  dialogs_.text_answers = {std::nullopt};
  RowCollector more;
  ASSERT_TRUE(sender.Run(&more));
  ASSERT_GE(more.rows.size(), 1u);
  for (const auto& row : more.rows) EXPECT_NE(row.result, SendResult::Canceled);

  // No file of the module (log, journal, stack, archive) holds the passwords.
  for (const auto& entry : fs::recursive_directory_iterator(module_.dir())) {
    if (!entry.is_regular_file()) continue;
    const std::string data = ReadFileOrEmpty(entry.path().string());
    EXPECT_EQ(data.find("typed-pw"), std::string::npos) << entry.path();
  }
}

TEST_F(SendPipelineTest, CancelledPasswordLeavesTheOrderStacked) {
  Stack(Design("PO-1", {"ABC"}));
  frmEDI edi;
  ASSERT_FALSE(edi.OpenHeadless());
  edi.Orders.LoadOrders(false);
  SendOrders sender(edi.Orders, journal_);
  dialogs_.text_answers = {std::nullopt};
  RowCollector rows;
  ASSERT_TRUE(sender.Run(&rows));
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0].result, SendResult::Canceled);
  EXPECT_TRUE(Script().received.empty());
  EXPECT_EQ(StackedGroups(), 1);
}

}  // namespace
}  // namespace larkedi
