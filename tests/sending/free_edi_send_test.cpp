// Orders for free-EDI partners against the partner simulator: the web service's answer
// about the manufacturer (active, not active, no answer), the dealer's account check with
// its profile copy, and the dealer given to `larkedi send` without a terminal.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "host/frm_edi.h"
#include "platform/xml/xml.h"
#include "sending/connect_method_orca.h"
#include "sending/send_fixture.h"
#include "sending/send_pipeline.h"
#include "settings/settings_document.h"
#include "support/xml_helpers.h"
#include "testing/partner_sim.h"
#include "testing/scripted_dialogs.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrEmpty;
using testing::RunCommand;
using testing::StackDesign;
using testing::StackedGroups;
using testing::WriteFileOrDie;

constexpr const char* kSimData = R"({
  "manufacturers": [{"id": "100", "name": "Northwood", "active": true},
                    {"id": "300", "name": "Old Mill", "active": false}],
  "dealers": [
    {"email": "good@example.com", "password": "acct-pw", "status": 2,
     "profile": {"Location": {"Address1": "12 Lakeshore Road", "Address2": "",
                              "City": "Kingston", "Zip": "K7L 1A1"}}},
    {"email": "a<b>@example.com", "password": "right", "status": 2}
  ]})";

std::string Design(const std::string& number, const std::string& catalog) {
  return "<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName><Number>" + number +
         "</Number><GlobalID/></Header><FileName>" + number +
         ".kit</FileName><Profile><Type>BillTo</Type><Location><Type>Main</Type>"
         "<Address>old street</Address><Address>old unit</Address><City>Old town</City>"
         "<State>QC</State><Zip>H0H</Zip></Location></Profile></JobInfo>"
         "<Catalog><Identification><Name>" +
         catalog + "</Name></Identification><Item><LineItemNumber>1</LineItemNumber><Code>C-" +
         number + "</Code><Qty>1</Qty></Item></Catalog></Design></Designs>";
}

class FreeEdiSendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::PartnerSimOptions options;
    options.data_dir = gateway_dir_;
    sim_ = std::make_unique<testing::PartnerSim>(kSimData, options);
    ASSERT_TRUE(sim_->running());
    ::setenv("LARKEDI_PARTNER_ENDPOINT", sim_->url().c_str(), 1);
    WriteFileOrDie(
        module_.path("larkEDI.xml"),
        "<SETTINGS><METHOD><ID>1</ID><NAME>Orca</NAME><OBJECTNAME>ConnectMethodOrca</OBJECTNAME>"
        "</METHOD><SPOOLPATH>" +
            module_.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" + module_.path("Archive") +
            "</ARCHIVEPATH><SORTORDER>NS</SORTORDER>"
            "<PARTNER freeedi=\"1\"><ID>1</ID><NAME>North &lt;wood&gt; &amp; Co</NAME>"
            "<CODE>NWC</CODE><MANUFID>100</MANUFID><DEALERID></DEALERID><METHODID>1</METHODID>"
            "<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE></PARTNER>"
            "<PARTNER freeedi=\"1\"><ID>2</ID><NAME>Old Mill</NAME><CODE>OLD</CODE>"
            "<MANUFID>300</MANUFID><METHODID>1</METHODID>"
            "<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE></PARTNER>"
            "<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG>"
            "<CATALOG><ID>2</ID><CODE>OMW</CODE><PARTNERID>2</PARTNERID></CATALOG></SETTINGS>");
    WriteFileOrDie(module_.path("ConnectMethodOrca.xml"),
                   "<ConnectMethodOrca><CONNECTTIMEOUTMS>2000</CONNECTTIMEOUTMS>"
                   "<TIMEOUTMS>3000</TIMEOUTMS><HEALTHTIMEOUTMS>2000</HEALTHTIMEOUTMS>"
                   "</ConnectMethodOrca>");
    ConnectMethodOrca orca(module_.dir());
    ASSERT_FALSE(orca.AddServer("NWC", sim_->base_url()));
    ASSERT_FALSE(orca.AddServer("OLD", sim_->base_url()));
    module_.Restart();
  }
  void TearDown() override {
    ::unsetenv("LARKEDI_PARTNER_ENDPOINT");
    fs::remove_all(gateway_dir_);
  }

  // One run on the stack as it is on disk now.
  std::vector<SendRow> Send(SendOrders** keep = nullptr) {
    edi_ = std::make_unique<frmEDI>();
    EXPECT_FALSE(edi_->OpenHeadless());
    edi_->Orders.LoadOrders(false);
    sender_ = std::make_unique<SendOrders>(edi_->Orders, journal_);
    testing::RowCollector rows;
    EXPECT_TRUE(sender_->Run(&rows));
    if (keep) *keep = sender_.get();
    return rows.rows;
  }

  int DealerChecks() const {
    int n = 0;
    for (const auto& r : sim_->Requests()) {
      if (r.body.find("IsDealerSupported") != std::string::npos) ++n;
    }
    return n;
  }

  int Lark(const std::string& args, std::string* out) {
    return RunCommand(testing::LarkediExe() + " " + args + " </dev/null", out);
  }

  std::string gateway_dir_ = testing::MakeTempDir();
  testing::TempModule module_;
  std::unique_ptr<testing::PartnerSim> sim_;
  SendJournal journal_{module_.dir()};
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  std::unique_ptr<frmEDI> edi_;
  std::unique_ptr<SendOrders> sender_;
};

TEST_F(FreeEdiSendTest, AGoodAccountSendsTheOrderWithTheDealersAddressAndKeepsTheEmail) {
  StackDesign(Design("PO-1", "ABC"));
  dialogs_.credential_answers = {{false, "good@example.com", "acct-pw"}};
  SendOrders* sender = nullptr;
  const auto rows = Send(&sender);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, SendResult::Sent) << rows[0].message;
  ASSERT_EQ(dialogs_.credentials_asked.size(), 1u);
  EXPECT_EQ(dialogs_.credentials_asked[0].email, "");  // no dealer ID yet
  EXPECT_EQ(DealerChecks(), 1);

  // The order carries the dealer's address from the account; an empty Address2 is copied
  // along with Address1, values the profile lacks stay.
  ASSERT_EQ(sim_->ReceivedOrders().size(), 1u);
  xml::Document sent;
  ASSERT_TRUE(
      sent.loadXML(ReadFileOrEmpty(gateway_dir_ + "/received/" + sim_->ReceivedOrders()[0].file)));
  const std::string loc = "Design/JobInfo/Profile[Type='BillTo']/Location[Type='Main']/";
  EXPECT_EQ(GetNodeText(sent, loc + "Address[1]"), "12 Lakeshore Road");
  EXPECT_EQ(GetNodeText(sent, loc + "Address[2]"), "");
  EXPECT_EQ(GetNodeText(sent, loc + "State"), "QC");
  EXPECT_EQ(GetNodeText(sent, loc + "Zip"), "K7L 1A1");

  // The confirmed address is the partner's dealer ID from now on.
  EXPECT_TRUE(sender->settings_changed());
  xml::Document settings;
  ASSERT_TRUE(settings.load(SettingsPath()));
  EXPECT_EQ(GetNodeText(settings, "SETTINGS/PARTNER[ID='1']/DEALERID"), "good@example.com");
  EXPECT_EQ(StackedGroups(), 0);
}

TEST_F(FreeEdiSendTest, OnlyADefiniteNotActiveDropsThePartner) {
  // Not active: the order fails, the partner leaves the settings file, nothing is asked.
  StackDesign(Design("PO-1", "OMW"));
  auto rows = Send();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, SendResult::Failed);
  EXPECT_NE(rows[0].message.find("Old Mill"), std::string::npos) << rows[0].message;
  EXPECT_TRUE(dialogs_.credentials_asked.empty());
  EXPECT_TRUE(sim_->ReceivedOrders().empty());
  xml::Document settings;
  ASSERT_TRUE(settings.load(SettingsPath()));
  EXPECT_TRUE(settings.selectSingleNode("SETTINGS/PARTNER[CODE='OLD']").isNull());
  EXPECT_FALSE(settings.selectSingleNode("SETTINGS/PARTNER[CODE='NWC']").isNull());

  // No answer (the service is gone): the order fails, the partner stays.
  StackDesign(Design("PO-2", "ABC"));
  sim_->Stop();
  rows = Send();
  ASSERT_FALSE(rows.empty());
  for (const auto& row : rows) EXPECT_EQ(row.result, SendResult::Failed) << row.message;
  EXPECT_TRUE(dialogs_.credentials_asked.empty());
  ASSERT_TRUE(settings.load(SettingsPath()));
  xml::Node kept = settings.selectSingleNode("SETTINGS/PARTNER[CODE='NWC']");
  ASSERT_FALSE(kept.isNull());
  EXPECT_GE(StackedGroups(), 1);
}

TEST_F(FreeEdiSendTest, ARefusedAccountFailsWithLinksAndEscapedData) {
  StackDesign(Design("PO-1", "ABC"));
  dialogs_.credential_answers = {{false, "a<b>@example.com", "wrong"}};
  const auto rows = Send();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, SendResult::Failed);
  // The text names the address as typed; the markup escapes it and links the service.
  EXPECT_NE(rows[0].message.find("a<b>@example.com"), std::string::npos) << rows[0].message;
  EXPECT_NE(rows[0].message_html.find("a&lt;b&gt;@example.com"), std::string::npos)
      << rows[0].message_html;
  EXPECT_EQ(rows[0].message_html.find("<b>"), std::string::npos) << rows[0].message_html;
  EXPECT_TRUE(sim_->ReceivedOrders().empty());
  EXPECT_EQ(StackedGroups(), 1);

  // An empty e-mail address sends without the check.
  dialogs_.credential_answers = {{false, "", ""}};
  const int checks = DealerChecks();
  const auto empty = Send();
  ASSERT_EQ(empty.size(), 1u);
  EXPECT_EQ(empty[0].result, SendResult::Sent) << empty[0].message;
  EXPECT_EQ(DealerChecks(), checks);
  EXPECT_EQ(sim_->ReceivedOrders().size(), 1u);
}

TEST_F(FreeEdiSendTest, TheCommandTakesTheDealerFromItsOptionsAndNamesWhatIsMissing) {
  StackDesign(Design("PO-1", "ABC"));
  std::string out;
  // No terminal and no option: an error naming the option, nothing sent.
  EXPECT_EQ(Lark("send", &out), 2) << out;
  EXPECT_NE(out.find("--dealer"), std::string::npos) << out;
  EXPECT_TRUE(sim_->ReceivedOrders().empty());

  // A wrong password is the account check's failure, not a usage error.
  EXPECT_EQ(Lark("send --dealer good@example.com --password NWC=nope", &out), 1) << out;
  EXPECT_TRUE(sim_->ReceivedOrders().empty());

  ASSERT_EQ(Lark("send --dealer good@example.com --password NWC=acct-pw", &out), 0) << out;
  EXPECT_EQ(sim_->ReceivedOrders().size(), 1u);
  xml::Document settings;
  ASSERT_TRUE(settings.load(SettingsPath()));
  EXPECT_EQ(GetNodeText(settings, "SETTINGS/PARTNER[ID='1']/DEALERID"), "good@example.com");
}

}  // namespace
}  // namespace larkedi
