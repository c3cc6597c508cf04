// Orders for free-EDI partners against the partner simulator: the web service's answer
// about the manufacturer (active, not active, no answer), the dealer's account check with
// its profile copy, and the dealer given to `larkedi send` without a terminal.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/xml/xml.h"
#include "sending/connect_method_orca.h"
#include "sending/send_fixture.h"
#include "sending/send_pipeline.h"
#include "settings/settings_document.h"
#include "support/xml_helpers.h"
#include "testing/partner_sim.h"

namespace larkedi {
namespace {

using testing::ReadFileOrEmpty;

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
  return testing::DesignText(number, {catalog}, "", "");
}

class FreeEdiSendTest : public testing::SendFixture {
 protected:
  void SetUp() override {
    testing::PartnerSimOptions options;
    options.data_dir = gateway_dir_;
    sim_ = std::make_unique<testing::PartnerSim>(kSimData, options);
    ASSERT_TRUE(sim_->running());
    ::setenv("LARKEDI_PARTNER_ENDPOINT", sim_->url().c_str(), 1);
    testing::WriteOrcaConfig(module_.dir());
    ConnectMethodOrca orca(module_.dir());
    ASSERT_FALSE(orca.AddServer("NWC", sim_->base_url()));
    ASSERT_FALSE(orca.AddServer("OLD", sim_->base_url()));
    WriteSettings({{.code = "NWC",
                    .catalogs = {"ABC"},
                    .whole_order = true,
                    .name = "North <wood> & Co",
                    .free_edi = true,
                    .manuf_id = "100"},
                   {.code = "OLD",
                    .catalogs = {"OMW"},
                    .whole_order = true,
                    .name = "Old Mill",
                    .free_edi = true,
                    .manuf_id = "300"}},
                  "ConnectMethodOrca");
  }
  void TearDown() override { ::unsetenv("LARKEDI_PARTNER_ENDPOINT"); }

  int DealerChecks() const {
    int n = 0;
    for (const auto& r : sim_->Requests()) {
      if (r.body.find("IsDealerSupported") != std::string::npos) ++n;
    }
    return n;
  }

  int Lark(const std::string& args, std::string* out) {
    return testing::RunCommand(testing::LarkediExe() + " " + args + " </dev/null", out);
  }

  const std::string gateway_dir_ = module_.path("gateway");
  std::unique_ptr<testing::PartnerSim> sim_;
};

TEST_F(FreeEdiSendTest, TheDealersAccountIsCheckedAndItsAddressAndEmailKept) {
  Stack(Design("PO-1", "ABC"));
  {
    SCOPED_TRACE("a refused account fails the order with links and escaped data");
    dialogs_.credential_answers = {{false, "a<b>@example.com", "wrong"}};
    const auto rows = Send();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].result, SendResult::Failed);
    ASSERT_EQ(dialogs_.credentials_asked.size(), 1u);
    EXPECT_EQ(dialogs_.credentials_asked[0].email, "");  // no dealer ID yet
    // The text names the address as typed; the markup escapes it and links the service.
    EXPECT_NE(rows[0].message.find("a<b>@example.com"), std::string::npos) << rows[0].message;
    EXPECT_NE(rows[0].message_html.find("a&lt;b&gt;@example.com"), std::string::npos)
        << rows[0].message_html;
    EXPECT_EQ(rows[0].message_html.find("<b>"), std::string::npos) << rows[0].message_html;
    EXPECT_TRUE(sim_->ReceivedOrders().empty());
    EXPECT_EQ(StackedOrders().size(), 1u);
  }
  {
    SCOPED_TRACE("an empty e-mail address sends without the check");
    dialogs_.credential_answers = {{false, "", ""}};
    const int checks = DealerChecks();
    const auto rows = Send();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].result, SendResult::Sent) << rows[0].message;
    EXPECT_EQ(DealerChecks(), checks);
    EXPECT_EQ(sim_->ReceivedOrders().size(), 1u);
  }
  SCOPED_TRACE("a good account sends the order with the dealer's address");
  Stack(Design("PO-2", "ABC"));
  dialogs_.credential_answers = {{false, "good@example.com", "acct-pw"}};
  const int checks = DealerChecks();
  bool settings_changed = false;
  const auto rows = Send({}, &settings_changed);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, SendResult::Sent) << rows[0].message;
  EXPECT_EQ(DealerChecks(), checks + 1);
  // The order carries the dealer's address from the account; an empty Address2 is copied
  // along with Address1, values the profile lacks stay.
  ASSERT_EQ(sim_->ReceivedOrders().size(), 2u);
  xml::Document sent;
  ASSERT_TRUE(
      sent.loadXML(ReadFileOrEmpty(gateway_dir_ + "/received/" + sim_->ReceivedOrders()[1].file)));
  const std::string loc = "Design/JobInfo/Profile[Type='BillTo']/Location[Type='Main']/";
  EXPECT_EQ(GetNodeText(sent, loc + "Address[1]"), "12 Lakeshore Road");
  EXPECT_EQ(GetNodeText(sent, loc + "Address[2]"), "");
  EXPECT_EQ(GetNodeText(sent, loc + "State"), "QC");
  // The confirmed address is the partner's dealer ID from now on.
  EXPECT_TRUE(settings_changed);
  xml::Document settings;
  ASSERT_TRUE(settings.load(SettingsPath()));
  EXPECT_EQ(GetNodeText(settings, "SETTINGS/PARTNER[ID='1']/DEALERID"), "good@example.com");
  EXPECT_TRUE(StackedOrders().empty());
}

TEST_F(FreeEdiSendTest, OnlyADefiniteNotActiveDropsThePartner) {
  // Not active: the order fails, the partner leaves the settings file, nothing is asked.
  Stack(Design("PO-1", "OMW"));
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
  Stack(Design("PO-2", "ABC"));
  sim_->Stop();
  rows = Send();
  ASSERT_FALSE(rows.empty());
  for (const auto& row : rows) EXPECT_EQ(row.result, SendResult::Failed) << row.message;
  ASSERT_TRUE(settings.load(SettingsPath()));
  EXPECT_FALSE(settings.selectSingleNode("SETTINGS/PARTNER[CODE='NWC']").isNull());
  EXPECT_FALSE(StackedOrders().empty());
}

TEST_F(FreeEdiSendTest, TheCommandTakesTheDealerFromItsOptionsAndNamesWhatIsMissing) {
  Stack(Design("PO-1", "ABC"));
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
