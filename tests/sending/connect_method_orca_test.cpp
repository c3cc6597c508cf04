// The built-in XML connector against the simulator's gateway over real HTTP and HTTPS on
// loopback: accepted orders, refusals, lost answers, unreachable servers, its server list
// and its configuration dialog.
#include "sending/connect_method_orca.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/automation/automation.h"
#include "platform/xml/xml.h"
#include "testing/partner_sim.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"
#include "testing/test_certificates.h"

namespace larkedi {
namespace {

using automation::Variant;
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

class ConnectMethodOrcaTest : public ::testing::Test {
 protected:
  PartnerSimOptions Options() {
    PartnerSimOptions options;
    options.data_dir = data_dir_;
    return options;
  }
  /// Short time-outs so that the lost-answer cases end quickly.
  void WriteList(const std::string& partners, const std::string& extra = "") {
    WriteFileOrDie(module_.path("ConnectMethodOrca.xml"),
                   "<ConnectMethodOrca><CONNECTTIMEOUTMS>2000</CONNECTTIMEOUTMS>"
                   "<TIMEOUTMS>3000</TIMEOUTMS><HEALTHTIMEOUTMS>2000</HEALTHTIMEOUTMS>" +
                       extra + partners + "</ConnectMethodOrca>");
  }

  testing::TempModule module_;
  const std::string data_dir_ = module_.path("gateway-data");
};

TEST_F(ConnectMethodOrcaTest, SendsThroughTheAutomationObjectAndGetsTheSequence) {
  PartnerSim sim(kData, Options());
  ASSERT_TRUE(sim.running());
  WriteList("<PARTNER code=\"NWC\"><SERVER>" + sim.base_url() + "/</SERVER></PARTNER>");

  Err err;
  auto object = automation::CreateObject("connectmethodorca.SPOOLER", &err);
  ASSERT_TRUE(object) << err.Description;
  std::vector<Variant> args = {Variant(Connection(" nwc "))};
  Variant result;
  ASSERT_FALSE(object->Call("GetConnection", args, &result));
  EXPECT_EQ(result.AsString(), "127.0.0.1:" + std::to_string(sim.port()));

  for (const char* id : {"GUID1", "GUID2"}) {
    std::vector<Variant> send = {Variant(SendParameter(" nwc ", PurchaseOrder(id)))};
    ASSERT_FALSE(object->Call("sendfiles", send, &result));
    EXPECT_TRUE(result.AsBool());
  }
  // Other spellings of the parameter carry the same document.
  const std::string spaced =
      "<?xml version=\"1.0\"?>\n<InputParameter>\n  <PartnerCode>NWC</PartnerCode>\n"
      "  <Data>" +
      PurchaseOrder("GUID3") + "</Data>\n</InputParameter>";
  const std::string escaped =
      "<InputParameter><PartnerCode freeedi=\"1\"><![CDATA[NWC]]></PartnerCode>"
      "<Data>" +
      xml::EscapeXmlText(PurchaseOrder("GUID4")) + "</Data></InputParameter>";
  for (const std::string& parameter : {spaced, escaped}) {
    std::vector<Variant> send = {Variant(parameter)};
    ASSERT_FALSE(object->Call("sendfiles", send, &result));
    EXPECT_TRUE(result.AsBool()) << parameter;
  }
  Variant response;
  ASSERT_FALSE(object->Get("response", &response));
  xml::Document answer;
  ASSERT_TRUE(answer.loadXML(response.AsString())) << response.AsString();
  EXPECT_EQ(answer.selectSingleNode("RESPONSE/SEQUENCE").text(), "4");

  auto orders = sim.ReceivedOrders();
  ASSERT_EQ(orders.size(), 4u);
  EXPECT_EQ(orders[0].partner_code, "nwc");
  // Each document arrives as it was handed over (the escaped ampersand included).
  for (std::size_t i = 0; i < orders.size(); ++i) {
    EXPECT_EQ(ReadFileOrEmpty(data_dir_ + "/received/" + orders[i].file),
              PurchaseOrder("GUID" + std::to_string(i + 1)));
  }
}

TEST_F(ConnectMethodOrcaTest, RefusalsAndLostAnswersAreNotAccepted) {
  PartnerSim sim(kData, Options());
  ASSERT_TRUE(sim.running());
  WriteList("<PARTNER code=\"A&amp;B\"><SERVER>" + sim.base_url() + "</SERVER></PARTNER>");
  ConnectMethodOrca connector(module_.dir());

  ASSERT_TRUE(sim.SetGatewayFault("fail", 0, 1));
  EXPECT_FALSE(connector.sendfiles(SendParameter("A&B", PurchaseOrder("F1"))));
  EXPECT_EQ(connector.errornumber(), 500);
  EXPECT_TRUE(sim.ReceivedOrders().empty());

  ASSERT_TRUE(sim.SetGatewayFault("garbage", 0, 1));
  EXPECT_FALSE(connector.sendfiles(SendParameter("A&B", PurchaseOrder("G1"))));
  EXPECT_EQ(connector.errornumber(), kErrOrcaNoAnswer);

  // The gateway keeps the order and cuts the line: the order is in doubt.
  ASSERT_TRUE(sim.SetGatewayFault("drop", 0, 1));
  EXPECT_FALSE(connector.sendfiles(SendParameter("A&B", PurchaseOrder("D1"))));
  EXPECT_EQ(connector.errornumber(), kErrOrcaNoAnswer);

  ASSERT_TRUE(sim.SetGatewayFault("delay", 20000, 1));
  EXPECT_FALSE(connector.sendfiles(SendParameter("A&B", PurchaseOrder("S1"))));
  EXPECT_EQ(connector.errornumber(), kErrOrcaNoAnswer);

  auto orders = sim.ReceivedOrders();
  ASSERT_EQ(orders.size(), 3u);
  EXPECT_EQ(orders[1].global_id, "D1");
  EXPECT_EQ(orders[1].partner_code, "A&B");  // the code travels encoded in the address

  // After the faults the next order goes through with the next number.
  EXPECT_TRUE(connector.sendfiles(SendParameter("A&B", PurchaseOrder("OK1"))));
  EXPECT_NE(connector.response().find("<SEQUENCE>4</SEQUENCE>"), std::string::npos)
      << connector.response();
}

TEST_F(ConnectMethodOrcaTest, UnreachableServersAndBadParameters) {
  PartnerSim sim(kData, Options());
  ASSERT_TRUE(sim.running());
  WriteList("<PARTNER code=\"DEAD\"><SERVER>" + std::string(kDeadServer) +
            "</SERVER></PARTNER>"
            "<PARTNER code=\"TWO\"><SERVER>" +
            kDeadServer + "</SERVER><SERVER>" + sim.base_url() + "</SERVER></PARTNER>");
  ConnectMethodOrca connector(module_.dir());

  EXPECT_EQ(connector.connectioncount(Connection("NONE")), 0);
  EXPECT_FALSE(connector.sendfiles(SendParameter("NONE", PurchaseOrder("N"))));
  EXPECT_EQ(connector.errornumber(), kErrOrcaBadRequest);

  EXPECT_TRUE(connector.testconnection(Connection("DEAD")).IsNull());
  EXPECT_FALSE(connector.sendfiles(SendParameter("DEAD", PurchaseOrder("X"))));
  EXPECT_EQ(connector.errornumber(), kErrOrcaNotDelivered) << connector.errordescription();

  // The first server that answers is the one the order goes to.
  EXPECT_EQ(connector.connectioncount(Connection("TWO")), 2);
  Variant found = connector.testconnection(Connection("TWO"));
  EXPECT_EQ(found.AsString(), sim.base_url());
  EXPECT_TRUE(connector.sendfiles(SendParameter("TWO", PurchaseOrder("T1"))));
  EXPECT_EQ(connector.GetConnection(Connection("TWO")), "127.0.0.1:9");

  EXPECT_FALSE(connector.sendfiles("not xml"));
  EXPECT_EQ(connector.errornumber(), kErrOrcaBadRequest);
  EXPECT_FALSE(connector.sendfiles(Connection("TWO")));  // no Data
  ASSERT_EQ(sim.ReceivedOrders().size(), 1u);
}

TEST_F(ConnectMethodOrcaTest, TheServerListIsNormalisedKeptAndEditedThroughTheDialog) {
  {
    ConnectMethodOrca connector(module_.dir());
    ASSERT_FALSE(connector.AddServer("NWC", " gate.example.com/ "));
    ASSERT_FALSE(connector.AddServer("nwc", "HTTP://Other.example.com:8080/edi"));
    ASSERT_FALSE(connector.AddServer("NWC", "https://gate.example.com"));  // already there
    EXPECT_TRUE(connector.AddServer("NWC", "ftp://files.example.com"));
    EXPECT_TRUE(connector.AddServer("NWC", "two words"));
    EXPECT_TRUE(connector.AddServer("", "gate.example.com"));
  }
  ConnectMethodOrca reread(module_.dir());
  EXPECT_EQ(reread.Servers("Nwc"), (std::vector<std::string>{"https://gate.example.com",
                                                             "http://Other.example.com:8080/edi"}));
  ASSERT_FALSE(reread.RemoveServer("NWC", "gate.example.com"));
  EXPECT_EQ(ConnectMethodOrca(module_.dir()).Servers("NWC"),
            (std::vector<std::string>{"http://Other.example.com:8080/edi"}));

  // The dialog: add one, refuse a bad one, remove the first, test, close.
  PartnerSim sim(kData, Options());
  ASSERT_TRUE(sim.running());
  ScriptedDialogs dialogs;
  ScopedDialogs scope(&dialogs);
  dialogs.text_answers = {sim.base_url(), std::string("ftp://x"), std::string("-1"),
                          std::string("?"), std::string("")};
  ConnectMethodOrca configured(module_.dir());
  configured.Configure(Connection("NWC"));
  EXPECT_EQ(configured.Servers("NWC"), (std::vector<std::string>{sim.base_url()}));
  EXPECT_EQ(ConnectMethodOrca(module_.dir()).Servers("NWC"), configured.Servers("NWC"));
  EXPECT_EQ(dialogs.CountShown("ftp://x"), 1);
  EXPECT_EQ(dialogs.CountShown(sim.base_url() + ": answers"), 1);
}

class ConnectMethodOrcaTlsTest : public ConnectMethodOrcaTest {
 protected:
  void SetUp() override {
    ConnectMethodOrcaTest::SetUp();
    if (!testing::HaveOpenssl()) GTEST_SKIP() << "no openssl";
    tls_ = module_.path("tls");
    std::filesystem::create_directories(tls_);
    std::string error;
    ASSERT_TRUE(testing::MakeTestCertificates(tls_, &error)) << error;
  }
  std::string tls_;
};

TEST_F(ConnectMethodOrcaTlsTest, HttpsWorksWithTheTrustedAuthorityOnly) {
  PartnerSimOptions options = Options();
  options.tls_cert = tls_ + "/server.pem";
  options.tls_key = tls_ + "/server.key";
  options.tls_ca = tls_ + "/ca.pem";
  PartnerSim sim(kData, options);
  ASSERT_TRUE(sim.running());
  const std::string server = "gate.localhost:" + std::to_string(sim.port());  // https implied

  WriteList("<PARTNER code=\"NWC\"><SERVER>" + server + "</SERVER></PARTNER>",
            "<CAFILE>" + tls_ + "/ca.pem</CAFILE>");
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

}  // namespace
}  // namespace larkedi
