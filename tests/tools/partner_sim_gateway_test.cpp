// The partner simulator's gateway over real HTTP: storing and numbering orders, the
// numbering across restarts, the GlobalID list, every fault mode, host names and HTTPS.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "platform/xml/xml.h"
#include "testing/partner_sim.h"
#include "testing/temp_module.h"
#include "testing/test_certificates.h"

namespace larkedi {
namespace {

using testing::Fetch;
using testing::FetchRequest;
using testing::FetchResult;
using testing::PartnerSim;
using testing::PartnerSimOptions;
using testing::ReadFileOrEmpty;

constexpr const char* kData = R"({"dealers": [{"email": "shop@example.com", "password": "pw"}]})";

/// A purchase order as the default conversion writes it, for one GlobalID.
std::string PurchaseOrder(const std::string& global_id, const std::string& po = "PO-1") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PURCHASEORDER>\n  <POHEADER><PONUMBER>" +
         po + "</PONUMBER><GLOBALID>" + global_id +
         "</GLOBALID><JOBNAME>Smith kitchen</JOBNAME></POHEADER>\n"
         "  <PODETAILS><CATALOG>NWC</CATALOG><MANUFID>100</MANUFID>"
         "<DEALERID>shop@example.com</DEALERID><GLOBALID>CATALOGGUID</GLOBALID></PODETAILS>\n"
         "  <POLINES><ITEM><CATNAME>NWC</CATNAME><LINENUMBER>1</LINENUMBER></ITEM></POLINES>\n"
         "</PURCHASEORDER>\n";
}

FetchResult Post(const std::string& url, const std::string& body, FetchRequest request = {}) {
  request.method = "POST";
  request.body = body;
  return Fetch(url, request);
}

/// The sequence number of a gateway answer; -1 when it is not one.
long SequenceOf(const FetchResult& answer) {
  xml::Document doc;
  if (!answer.completed || answer.status != 200 || !doc.loadXML(answer.body)) return -1;
  xml::Node sequence = doc.selectSingleNode("/RESPONSE/SEQUENCE");
  return sequence ? std::atol(sequence.text().c_str()) : -1;
}

class GatewayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::MakeTempDir();
    data_dir_ = dir_ + "/gateway";
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  PartnerSimOptions WithDataDir(std::vector<std::string> extra = {}) {
    PartnerSimOptions options;
    options.data_dir = data_dir_;
    options.extra_args = std::move(extra);
    return options;
  }

  std::string dir_;
  std::string data_dir_;
};

TEST_F(GatewayTest, StoresEachOrderWholeAndNumbersIt) {
  PartnerSim sim(kData, WithDataDir());
  ASSERT_TRUE(sim.running());
  const std::string first = PurchaseOrder("AAAA0001");
  const std::string second = PurchaseOrder("AAAA0002", "PO-2");

  FetchResult answer = Post(sim.url("/gateway/receive?partner=NWC"), first);
  EXPECT_EQ(answer.body, "<RESPONSE><SEQUENCE>1</SEQUENCE></RESPONSE>");
  EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive?partner=NWC"), second)), 2);

  EXPECT_EQ(ReadFileOrEmpty(data_dir_ + "/received/000001.xml"), first);
  EXPECT_EQ(ReadFileOrEmpty(data_dir_ + "/received/000002.xml"), second);
  auto orders = sim.ReceivedOrders();
  ASSERT_EQ(orders.size(), 2u);
  EXPECT_EQ(orders[0].sequence, 1);
  EXPECT_EQ(orders[0].partner_code, "NWC");
  EXPECT_EQ(orders[0].global_id, "AAAA0001");  // the header's, not the catalog's
  EXPECT_EQ(orders[0].dealer, "shop@example.com");
  EXPECT_EQ(orders[0].file, "000001.xml");
  EXPECT_EQ(orders[1].global_id, "AAAA0002");
  EXPECT_EQ(orders[1].received.size(), 20u) << orders[1].received;  // YYYY-MM-DDTHH:MM:SSZ
}

TEST_F(GatewayTest, TakesTheInputParameterFormAndTheDesignsOwnGlobalId) {
  PartnerSim sim(kData, WithDataDir());
  ASSERT_TRUE(sim.running());
  // A design sent without conversion: its header's GlobalID names the order.
  const std::string design =
      "<Design><JobInfo><Header><GlobalID>DESIGN42</GlobalID><Name>Job</Name></Header>"
      "</JobInfo><Catalog><Identification><Name>NWC</Name><GlobalID>CAT1</GlobalID>"
      "<DealerID>D-7</DealerID></Identification></Catalog></Design>";
  const std::string parameter =
      "<InputParameter><PartnerCode freeedi=\"1\"><![CDATA[Lake & Co]]></PartnerCode><Data>" +
      design + "</Data></InputParameter>";
  EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), parameter)), 1);

  EXPECT_EQ(ReadFileOrEmpty(data_dir_ + "/received/000001.xml"), design);
  auto orders = sim.ReceivedOrders();
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orders[0].partner_code, "Lake & Co");
  EXPECT_EQ(orders[0].global_id, "DESIGN42");
  EXPECT_EQ(orders[0].dealer, "D-7");
}

TEST_F(GatewayTest, RefusesWhatIsNoOrderWithoutUsingANumber) {
  PartnerSim sim(kData, WithDataDir());
  ASSERT_TRUE(sim.running());
  FetchResult not_xml = Post(sim.url("/gateway/receive"), "PO=1&item=2");
  EXPECT_EQ(not_xml.status, 400);
  FetchResult no_data = Post(sim.url("/gateway/receive"),
                             "<InputParameter><PartnerCode>X</PartnerCode></InputParameter>");
  EXPECT_EQ(no_data.status, 400);
  EXPECT_TRUE(sim.ReceivedOrders().empty());
  EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), PurchaseOrder("B1"))), 1);
}

TEST_F(GatewayTest, NumberingContinuesAfterARestart) {
  {
    PartnerSim sim(kData, WithDataDir());
    ASSERT_TRUE(sim.running());
    EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), PurchaseOrder("R1"))), 1);
    EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), PurchaseOrder("R2"))), 2);
  }
  PartnerSim restarted(kData, WithDataDir());
  ASSERT_TRUE(restarted.running());
  EXPECT_EQ(SequenceOf(Post(restarted.url("/gateway/receive"), PurchaseOrder("R3"))), 3);
  auto orders = restarted.ReceivedOrders();
  ASSERT_EQ(orders.size(), 3u);
  EXPECT_EQ(orders[0].global_id, "R1");
  EXPECT_EQ(orders[2].global_id, "R3");
  EXPECT_EQ(ReadFileOrEmpty(data_dir_ + "/received/000003.xml"), PurchaseOrder("R3"));
}

TEST_F(GatewayTest, WithoutADataFolderTheOrdersAreListedButNotWritten) {
  PartnerSim sim(kData);
  ASSERT_TRUE(sim.running());
  EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), PurchaseOrder("M1"))), 1);
  auto orders = sim.ReceivedOrders();
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orders[0].file, "");
}

TEST_F(GatewayTest, HealthAndTheGlobalIdListThatCountsDuplicates) {
  PartnerSim sim(kData, WithDataDir());
  ASSERT_TRUE(sim.running());
  FetchResult health = Fetch(sim.url("/gateway/health"));
  EXPECT_EQ(health.status, 200);
  EXPECT_EQ(health.body, "OK");

  // One order sent three times (e.g. retried after lost answers), another once.
  for (int i = 0; i < 3; ++i) Post(sim.url("/gateway/receive"), PurchaseOrder("DUP"));
  Post(sim.url("/gateway/receive"), PurchaseOrder("ONCE"));
  std::map<std::string, int> received;
  for (const auto& order : sim.ReceivedOrders()) ++received[order.global_id];
  EXPECT_EQ(received, (std::map<std::string, int>{{"DUP", 3}, {"ONCE", 1}}));
}

TEST_F(GatewayTest, FailRefusesTheOrderForCountRequestsThenRecovers) {
  PartnerSim sim(kData, WithDataDir());
  ASSERT_TRUE(sim.running());
  ASSERT_TRUE(sim.SetGatewayFault("fail", 0, 2));
  for (int i = 0; i < 2; ++i) {
    FetchResult failed = Post(sim.url("/gateway/receive"), PurchaseOrder("F"));
    EXPECT_EQ(failed.status, 500);
    EXPECT_NE(failed.body.find("Gateway error"), std::string::npos) << failed.body;
  }
  EXPECT_TRUE(sim.ReceivedOrders().empty());
  EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), PurchaseOrder("F"))), 1);
  FetchResult state = Fetch(sim.url("/control/gateway"));
  EXPECT_NE(state.body.find("\"mode\":\"ok\""), std::string::npos) << state.body;
}

TEST_F(GatewayTest, DropStoresTheOrderButTheClientSeesNoAnswer) {
  PartnerSim sim(kData, WithDataDir());
  ASSERT_TRUE(sim.running());
  ASSERT_TRUE(sim.SetGatewayFault("drop", 0, 1));
  FetchResult dropped = Post(sim.url("/gateway/receive"), PurchaseOrder("MAYBE"));
  EXPECT_FALSE(dropped.completed);
  EXPECT_NE(dropped.curl_code, 0);
  EXPECT_EQ(dropped.body, "");

  auto orders = sim.ReceivedOrders();
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orders[0].global_id, "MAYBE");
  EXPECT_EQ(ReadFileOrEmpty(data_dir_ + "/received/000001.xml"), PurchaseOrder("MAYBE"));
  EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), PurchaseOrder("NEXT"))), 2);
}

TEST_F(GatewayTest, GarbageAnswersSomethingThatIsNotXmlAfterStoring) {
  PartnerSim sim(kData, WithDataDir());
  ASSERT_TRUE(sim.running());
  ASSERT_TRUE(sim.SetGatewayFault("garbage", 0, 1));
  FetchResult answer = Post(sim.url("/gateway/receive"), PurchaseOrder("G"));
  EXPECT_EQ(answer.status, 200);
  xml::Document doc;
  EXPECT_FALSE(doc.loadXML(answer.body)) << answer.body;
  EXPECT_EQ(sim.ReceivedOrders().size(), 1u);
  EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), PurchaseOrder("H"))), 2);
}

TEST_F(GatewayTest, DelayHoldsTheAnswerOfAStoredOrder) {
  PartnerSim sim(kData, WithDataDir());
  ASSERT_TRUE(sim.running());
  // A client that gives up long before the answer comes has still delivered the order.
  ASSERT_TRUE(sim.SetGatewayFault("delay", 60000, 1));
  FetchRequest impatient;
  impatient.timeout_ms = 300;
  FetchResult gave_up = Post(sim.url("/gateway/receive"), PurchaseOrder("SLOW"), impatient);
  EXPECT_FALSE(gave_up.completed);
  auto orders = sim.ReceivedOrders();
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orders[0].global_id, "SLOW");

  // A patient client gets the normal answer.
  ASSERT_TRUE(sim.SetGatewayFault("delay", 50, 1));
  EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), PurchaseOrder("LATE"))), 2);
}

TEST_F(GatewayTest, FaultFromTheCommandLineAndMalformedControlRequests) {
  PartnerSim sim(kData, WithDataDir({"--gateway-fault", "fail", "--gateway-fault-count", "1"}));
  ASSERT_TRUE(sim.running());
  EXPECT_EQ(Post(sim.url("/gateway/receive"), PurchaseOrder("C")).status, 500);
  EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), PurchaseOrder("C"))), 1);

  FetchRequest json;
  json.content_type = "application/json";
  EXPECT_EQ(Post(sim.url("/control/gateway"), "{\"mode\":\"explode\"}", json).status, 400);
  EXPECT_EQ(Post(sim.url("/control/gateway"), "mode=fail", json).status, 400);
  EXPECT_EQ(Post(sim.url("/control/gateway"), "{\"mode\":\"fail\",\"count\":-1}", json).status,
            400);
  // A refused request leaves the plan as it was.
  EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), PurchaseOrder("C"))), 2);
}

TEST_F(GatewayTest, AnswersUnderTheGatewayAndDealerHostNames) {
  PartnerSim sim(kData, WithDataDir());
  ASSERT_TRUE(sim.running());
  const std::string port = std::to_string(sim.port());
  // curl resolves every *.localhost name to loopback by itself.
  FetchResult gate =
      Post("http://gate.localhost:" + port + "/gateway/receive", PurchaseOrder("H1"));
  EXPECT_EQ(SequenceOf(gate), 1) << gate.error;
  FetchResult dealer = Fetch("http://dealer.localhost:" + port + "/gateway/health");
  EXPECT_EQ(dealer.status, 200) << dealer.error;
  auto requests = sim.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Header("Host"), "gate.localhost:" + port);
  EXPECT_EQ(requests[1].Header("Host"), "dealer.localhost:" + port);
}

class GatewayTlsTest : public GatewayTest {
 protected:
  void SetUp() override {
    GatewayTest::SetUp();
    if (!testing::HaveOpenssl()) GTEST_SKIP() << "no openssl";
    std::string error;
    ASSERT_TRUE(testing::MakeTestCertificates(dir_, &error)) << error;
    ca_ = dir_ + "/ca.pem";
  }

  std::string ca_;
};

TEST_F(GatewayTlsTest, ServesHttpsThatOnlyTheCaItTrustsAccepts) {
  PartnerSimOptions options = WithDataDir();
  options.tls_cert = dir_ + "/server.pem";
  options.tls_key = dir_ + "/server.key";
  options.tls_ca = ca_;
  PartnerSim sim(kData, options);
  ASSERT_TRUE(sim.running());
  EXPECT_EQ(sim.base_url().rfind("https://", 0), 0u);
  const std::string port = std::to_string(sim.port());

  FetchRequest trusting;
  trusting.ca_file = ca_;
  FetchResult health = Fetch("https://localhost:" + port + "/gateway/health", trusting);
  EXPECT_EQ(health.status, 200) << health.error;
  FetchResult order =
      Post("https://gate.localhost:" + port + "/gateway/receive", PurchaseOrder("TLS"), trusting);
  EXPECT_EQ(SequenceOf(order), 1) << order.error;

  FetchResult untrusting = Fetch("https://localhost:" + port + "/gateway/health");
  EXPECT_FALSE(untrusting.completed);
  EXPECT_NE(untrusting.curl_code, 0);
  // Plain HTTP gets no answer from the HTTPS server either.
  FetchResult plain = Fetch("http://localhost:" + port + "/gateway/health");
  EXPECT_FALSE(plain.completed && plain.status == 200) << plain.body;

  // The drop fault also cuts a TLS connection.
  ASSERT_TRUE(sim.SetGatewayFault("drop", 0, 1));
  EXPECT_FALSE(
      Post("https://localhost:" + port + "/gateway/receive", PurchaseOrder("TLS2"), trusting)
          .completed);
  EXPECT_EQ(sim.ReceivedOrders().size(), 2u);
}

TEST_F(GatewayTlsTest, RefusesToStartWithAKeyThatIsNotThere) {
  testing::WriteFileOrDie(dir_ + "/partners.json", kData);
  const std::string command = "'" + testing::PartnerSimExe() + "' --data '" + dir_ +
                              "/partners.json' --tls-cert '" + dir_ + "/server.pem' --tls-key '" +
                              dir_ + "/missing.key' > '" + dir_ + "/sim.out' 2>&1";
  EXPECT_NE(std::system(command.c_str()), 0);
  const std::string output = ReadFileOrEmpty(dir_ + "/sim.out");
  EXPECT_NE(output.find("cannot use the certificate"), std::string::npos) << output;
  EXPECT_EQ(output.find("listening"), std::string::npos) << output;
}

}  // namespace
}  // namespace larkedi
