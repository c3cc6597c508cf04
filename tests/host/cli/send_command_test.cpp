// larkedi send, history and connector against the partner simulator's gateway, as a
// dealer's script runs them: every order arrives once at its partner, and an order whose
// answer was lost is not sent again without confirmation.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "testing/partner_sim.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::LarkediExe;
using testing::PartnerSim;
using testing::PartnerSimOptions;
using testing::RunCommand;
using testing::WriteFileOrDie;

constexpr const char* kSimData =
    R"({"dealers": [{"email": "shop@example.com", "password": "pw"}]})";

std::string Design(const std::string& number, const std::vector<std::string>& catalogs) {
  std::string d = "<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName><Number>" +
                  number + "</Number><GlobalID/></Header><FileName>" + number +
                  ".kit</FileName></JobInfo>";
  int line = 0;
  for (const auto& c : catalogs) {
    ++line;
    d += "<Catalog><Identification><Name>" + c + "</Name></Identification><Item><LineItemNumber>" +
         std::to_string(line) + "</LineItemNumber><Code>ITEM-" + number + "-" + c +
         "</Code><Qty>2</Qty></Item>"
         "</Catalog>";
  }
  return d + "</Design></Designs>";
}

class SendCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PartnerSimOptions options;
    options.data_dir = module_.path("gateway-data");
    fs::create_directories(options.data_dir);
    sim_ = std::make_unique<PartnerSim>(kSimData, options);
    ASSERT_TRUE(sim_->running());
    WriteFileOrDie(
        module_.path("larkEDI.xml"),
        "<SETTINGS><METHOD><ID>1</ID><NAME>Orca</NAME><OBJECTNAME>ConnectMethodOrca"
        "</OBJECTNAME></METHOD><SPOOLPATH>" +
            module_.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" + module_.path("Archive") +
            "</ARCHIVEPATH><SORTORDER>NS</SORTORDER>"
            "<PARTNER><ID>1</ID><NAME>Acme</NAME><CODE>ACM</CODE><MANUFID>ACME</MANUFID>"
            "<DEALERID>D-1</DEALERID><METHODID>1</METHODID>"
            "<TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
            "<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE></PARTNER>"
            "<PARTNER><ID>2</ID><NAME>Birch</NAME><CODE>BIR</CODE><MANUFID>BIRCH</MANUFID>"
            "<DEALERID>D-2</DEALERID><METHODID>1</METHODID>"
            "<TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
            "<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE></PARTNER>"
            "<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG>"
            "<CATALOG><ID>2</ID><CODE>XYZ</CODE><PARTNERID>2</PARTNERID></CATALOG></SETTINGS>");
    // Short time-outs, so a dropped connection ends quickly.
    WriteFileOrDie(module_.path("ConnectMethodOrca.xml"),
                   "<ConnectMethodOrca><CONNECTTIMEOUTMS>2000</CONNECTTIMEOUTMS>"
                   "<TIMEOUTMS>3000</TIMEOUTMS><HEALTHTIMEOUTMS>2000</HEALTHTIMEOUTMS>"
                   "</ConnectMethodOrca>");
    for (const char* code : {"ACM", "BIR"}) {
      ASSERT_EQ(Lark(std::string("connector add ") + code + " " + sim_->base_url()), 0);
    }
  }

  int Lark(const std::string& args, std::string* out = nullptr) {
    return RunCommand(LarkediExe() + " " + args + " </dev/null", out);
  }

  void Add(const std::string& design) {
    WriteFileOrDie(module_.path("in.xml"), design);
    std::string out;
    ASSERT_EQ(Lark("--yes stack add " + module_.path("in.xml"), &out), 0) << out;
  }

  std::string StackList() {
    std::string out;
    EXPECT_EQ(Lark("stack list", &out), 0) << out;
    return out;
  }

  testing::TempModule module_;
  std::unique_ptr<PartnerSim> sim_;
};

TEST_F(SendCommandTest, ConnectorAndHistoryFailWhatTheyCannotDo) {
  std::string out;
  ASSERT_EQ(Lark("connector test ACM", &out), 0) << out;
  ASSERT_EQ(Lark("connector remove ACM " + sim_->base_url(), &out), 0) << out;
  EXPECT_NE(Lark("connector test ACM", &out), 0) << out;  // no server left
  EXPECT_NE(Lark("connector add ACM 'two words'", &out), 0) << out;
  EXPECT_NE(Lark("history --since yesterday", &out), 0) << out;
}

TEST_F(SendCommandTest, EveryOrderReachesItsPartnerOnceAndTheStackEmpties) {
  Add(Design("PO-1", {"ABC"}));
  Add(Design("PO-2", {"XYZ"}));
  Add(Design("PO-3", {"ABC", "XYZ"}));  // one design, two partners: two orders

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
}

TEST_F(SendCommandTest, AnOrderWhoseAnswerWasLostIsNotSentAgainWithoutConfirmation) {
  Add(Design("PO-9", {"ABC"}));
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
