// The built-in XML connector against the simulator's gateway over real HTTP and HTTPS on
// loopback: accepted orders, refusals, lost answers, unreachable servers, its server list
// and its configuration dialog; and the gateway name made into the dealer site's base
// address (a scheme that is there is kept).
#include "sending/connect_method_orca.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/xml/xml.h"
#include "sending/dealer_server.h"
#include "sending/send_fixture.h"
#include "testing/partner_sim.h"
#include "testing/test_certificates.h"

namespace larkedi {
namespace {

using testing::PartnerSim;
using testing::PartnerSimOptions;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

constexpr const char* kData = R"({"dealers": [{"email": "shop@example.com", "password": "pw"}]})";

std::string PurchaseOrder(const std::string& global_id) {
  return "<PURCHASEORDER><POHEADER><PONUMBER>PO &amp; 1</PONUMBER><GLOBALID>" + global_id +
         "</GLOBALID></POHEADER><PODETAILS><CATALOG>NWC</CATALOG><DEALERID>shop@example.com"
         "</DEALERID></PODETAILS></PURCHASEORDER>";
}

std::string Connection(const std::string& code) {
  return "<InputParameter><PartnerCode><![CDATA[" + code + "]]></PartnerCode></InputParameter>";
}

std::string SendParameter(const std::string& code, const std::string& document) {
  return "<InputParameter><PartnerCode><![CDATA[" + code + "]]></PartnerCode><Data>" + document +
         "</Data></InputParameter>";
}

/// A port on loopback where nothing listens.
constexpr const char* kDeadServer = "http://127.0.0.1:9";

class ConnectMethodOrcaTest : public testing::SendFixture {
 protected:
  PartnerSimOptions Options() {
    PartnerSimOptions options;
    options.data_dir = data_dir_;
    return options;
  }
  void WriteList(const std::string& partners, const std::string& extra = "") {
    testing::WriteOrcaConfig(module_.dir(), extra + partners);
  }

  const std::string data_dir_ = module_.path("gateway-data");
};

// One gateway, one server list: orders, the gateway's faults, then servers that cannot be
// reached and parameters that are no order.
TEST_F(ConnectMethodOrcaTest, SendsRefusalsLostAnswersAndUnreachableServers) {
  PartnerSim sim(kData, Options());
  ASSERT_TRUE(sim.running());
  const std::string gate = "<SERVER>" + sim.base_url() + "</SERVER></PARTNER>";
  const std::string dead = "<SERVER>" + std::string(kDeadServer) + "</SERVER>";
  WriteList("<PARTNER code=\"NWC\"><SERVER>" + sim.base_url() + "/</SERVER></PARTNER>" +
            "<PARTNER code=\"A&amp;B\">" + gate + "<PARTNER code=\"DEAD\">" + dead +
            "</PARTNER><PARTNER code=\"TWO\">" + dead + gate);
  ConnectMethodOrca connector(module_.dir());
  {
    SCOPED_TRACE("accepted");
    EXPECT_EQ(connector.GetConnection(Connection(" nwc ")),
              "127.0.0.1:" + std::to_string(sim.port()));
    // The Data may also come as escaped text.
    const std::string escaped =
        "<InputParameter><PartnerCode freeedi=\"1\"><![CDATA[NWC]]></PartnerCode><Data>" +
        xml::EscapeXmlText(PurchaseOrder("GUID2")) + "</Data></InputParameter>";
    for (const std::string& parameter : {SendParameter(" nwc ", PurchaseOrder("GUID1")), escaped}) {
      EXPECT_TRUE(connector.sendfiles(parameter)) << connector.errordescription();
    }
    EXPECT_NE(connector.response().find("<SEQUENCE>2</SEQUENCE>"), std::string::npos)
        << connector.response();
    auto orders = sim.ReceivedOrders();
    ASSERT_EQ(orders.size(), 2u);
    EXPECT_EQ(orders[0].partner_code, "nwc");
    // Each document arrives as it was handed over (the escaped ampersand included).
    for (std::size_t i = 0; i < orders.size(); ++i) {
      EXPECT_EQ(ReadFileOrEmpty(data_dir_ + "/received/" + orders[i].file),
                PurchaseOrder("GUID" + std::to_string(i + 1)));
    }
  }
  {
    SCOPED_TRACE("gateway faults");
    ASSERT_TRUE(sim.SetGatewayFault("fail", 0, 1));
    EXPECT_FALSE(connector.sendfiles(SendParameter("A&B", PurchaseOrder("F1"))));
    EXPECT_EQ(connector.errornumber(), 500);
    EXPECT_EQ(sim.ReceivedOrders().size(), 2u);
    // Stored, then an answer that is no answer, a cut line, or one too late: in doubt.
    for (const auto& [fault, delay] :
         std::vector<std::pair<std::string, int>>{{"garbage", 0}, {"drop", 0}, {"delay", 20000}}) {
      ASSERT_TRUE(sim.SetGatewayFault(fault, delay, 1));
      EXPECT_FALSE(connector.sendfiles(SendParameter("A&B", PurchaseOrder(fault)))) << fault;
      EXPECT_EQ(connector.errornumber(), kErrOrcaNoAnswer) << fault;
    }
    auto orders = sim.ReceivedOrders();
    ASSERT_EQ(orders.size(), 5u);
    EXPECT_EQ(orders[3].global_id, "drop");
    EXPECT_EQ(orders[3].partner_code, "A&B");  // the code travels encoded in the address
    // After the faults the next order goes through with the next number.
    EXPECT_TRUE(connector.sendfiles(SendParameter("A&B", PurchaseOrder("OK1"))));
    EXPECT_NE(connector.response().find("<SEQUENCE>6</SEQUENCE>"), std::string::npos)
        << connector.response();
  }
  SCOPED_TRACE("unreachable servers and bad parameters");
  EXPECT_EQ(connector.connectioncount(Connection("NONE")), 0);
  EXPECT_FALSE(connector.sendfiles(SendParameter("NONE", PurchaseOrder("N"))));
  EXPECT_EQ(connector.errornumber(), kErrOrcaBadRequest);
  EXPECT_TRUE(connector.testconnection(Connection("DEAD")).IsNull());
  EXPECT_FALSE(connector.sendfiles(SendParameter("DEAD", PurchaseOrder("X"))));
  EXPECT_EQ(connector.errornumber(), kErrOrcaNotDelivered) << connector.errordescription();
  // The first server that answers is the one the order goes to.
  EXPECT_EQ(connector.connectioncount(Connection("TWO")), 2);
  EXPECT_EQ(connector.testconnection(Connection("TWO")).AsString(), sim.base_url());
  EXPECT_TRUE(connector.sendfiles(SendParameter("TWO", PurchaseOrder("T1"))));
  EXPECT_FALSE(connector.sendfiles("not xml"));
  EXPECT_EQ(connector.errornumber(), kErrOrcaBadRequest);
  EXPECT_FALSE(connector.sendfiles(Connection("TWO")));  // no Data
  ASSERT_EQ(sim.ReceivedOrders().size(), 7u);
}

TEST_F(ConnectMethodOrcaTest, TheServerListIsNormalisedKeptAndEditedThroughTheDialog) {
  {
    ConnectMethodOrca connector(module_.dir());
    ASSERT_FALSE(connector.AddServer("NWC", " gate.example.com/ "));
    ASSERT_FALSE(connector.AddServer("nwc", "HTTP://Other.example.com:8080/edi"));
    ASSERT_FALSE(connector.AddServer("NWC", "https://gate.example.com"));  // already there
    EXPECT_TRUE(connector.AddServer("NWC", "ftp://files.example.com"));
    EXPECT_TRUE(connector.AddServer("", "gate.example.com"));
  }
  EXPECT_EQ(
      ConnectMethodOrca(module_.dir()).Servers("Nwc"),
      (std::vector<std::string>{"https://gate.example.com", "http://Other.example.com:8080/edi"}));

  // The dialog: add one, refuse a bad one, remove the first two, test, close.
  PartnerSim sim(kData, Options());
  ASSERT_TRUE(sim.running());
  dialogs_.text_answers = {sim.base_url(),    std::string("ftp://x"), std::string("-1"),
                           std::string("-1"), std::string("?"),       std::string("")};
  ConnectMethodOrca configured(module_.dir());
  configured.Configure(Connection("NWC"));
  EXPECT_EQ(configured.Servers("NWC"), (std::vector<std::string>{sim.base_url()}));
  EXPECT_EQ(ConnectMethodOrca(module_.dir()).Servers("NWC"), configured.Servers("NWC"));
  EXPECT_EQ(dialogs_.CountShown("ftp://x"), 1);
  EXPECT_EQ(dialogs_.CountShown(sim.base_url() + ": answers"), 1);
}

TEST_F(ConnectMethodOrcaTest, HttpsWorksWithTheTrustedAuthorityOnly) {
  if (!testing::HaveOpenssl()) GTEST_SKIP() << "no openssl";
  const std::string tls = module_.path("tls");
  std::filesystem::create_directories(tls);
  std::string error;
  ASSERT_TRUE(testing::MakeTestCertificates(tls, &error)) << error;
  PartnerSimOptions options = Options();
  options.tls_cert = tls + "/server.pem";
  options.tls_key = tls + "/server.key";
  options.tls_ca = tls + "/ca.pem";
  PartnerSim sim(kData, options);
  ASSERT_TRUE(sim.running());
  const std::string server = "gate.localhost:" + std::to_string(sim.port());  // https implied

  WriteList("<PARTNER code=\"NWC\"><SERVER>" + server + "</SERVER></PARTNER>",
            "<CAFILE>" + tls + "/ca.pem</CAFILE>");
  ConnectMethodOrca trusting(module_.dir());
  EXPECT_EQ(trusting.Servers("NWC").front(), "https://" + server);
  EXPECT_FALSE(trusting.testconnection(Connection("NWC")).IsNull());
  EXPECT_TRUE(trusting.sendfiles(SendParameter("NWC", PurchaseOrder("TLS1"))))
      << trusting.errordescription();
  EXPECT_NE(trusting.response().find("<SEQUENCE>1</SEQUENCE>"), std::string::npos);

  // Without the authority the certificate is refused and nothing is sent.
  ASSERT_FALSE(trusting.SetCaFile(""));
  ConnectMethodOrca untrusting(module_.dir());
  if (untrusting.CaFile().empty()) {
    EXPECT_TRUE(untrusting.testconnection(Connection("NWC")).IsNull());
    EXPECT_FALSE(untrusting.sendfiles(SendParameter("NWC", PurchaseOrder("TLS2"))));
    EXPECT_EQ(untrusting.errornumber(), kErrOrcaNotDelivered) << untrusting.errordescription();
  }
  ASSERT_EQ(sim.ReceivedOrders().size(), 1u);
  EXPECT_EQ(sim.ReceivedOrders()[0].global_id, "TLS1");
}

TEST(DealerServerAddressTest, GateBecomesDealerAndTheAddressEndsWithOneSlash) {
  for (const auto& [gateway, dealer] : std::vector<std::pair<std::string, std::string>>{
           {"GATE.example.com:8080", "http://dealer.example.com:8080/"},
           {"gate.example.com//edi//", "http://dealer.example.com/edi/"},
           {"", ""},
           // Only the host name changes; a scheme that is there is kept.
           {"gate.x/gate.y", "http://dealer.x/gate.y/"},
           {"HTTPS://Gate.X:8443/site", "https://dealer.X:8443/site/"}}) {
    EXPECT_EQ(DealerServerAddress(gateway), dealer) << gateway;
  }
}

}  // namespace
}  // namespace larkedi
