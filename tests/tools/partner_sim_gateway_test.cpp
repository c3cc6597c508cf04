// The partner simulator's gateway over real HTTP, as the send tests use it: storing and
// numbering orders (as documents and in the input-parameter form, under the gate and dealer
// host names), the fault modes, and HTTPS.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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
std::string PurchaseOrder(const std::string& global_id) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PURCHASEORDER>\n  <POHEADER><GLOBALID>" +
         global_id +
         "</GLOBALID></POHEADER>\n  <PODETAILS><CATALOG>NWC</CATALOG>"
         "<DEALERID>shop@example.com</DEALERID><GLOBALID>CATALOGGUID</GLOBALID></PODETAILS>\n"
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
  PartnerSimOptions Options() {
    PartnerSimOptions options;
    options.data_dir = data_dir_;
    return options;
  }
  testing::TempModule module_{false};
  const std::string dir_ = module_.dir();
  const std::string data_dir_ = dir_ + "/gateway";
};

TEST_F(GatewayTest, StoresEachOrderWholeAndNumbersIt) {
  PartnerSim sim(kData, Options());
  ASSERT_TRUE(sim.running());
  // curl resolves every *.localhost name to loopback by itself.
  const std::string port = std::to_string(sim.port());
  EXPECT_EQ(Fetch("http://dealer.localhost:" + port + "/gateway/health").status, 200);
  FetchResult answer = Post("http://gate.localhost:" + port + "/gateway/receive?partner=NWC",
                            PurchaseOrder("AAAA0001"));
  EXPECT_EQ(answer.body, "<RESPONSE><SEQUENCE>1</SEQUENCE></RESPONSE>");
  ASSERT_FALSE(sim.Requests().empty());
  EXPECT_EQ(sim.Requests()[0].Header("Host"), "dealer.localhost:" + port);
  // A design sent without conversion, in the input-parameter form: its header's GlobalID
  // names the order, the partner code comes from the parameter.
  const std::string design =
      "<Design><JobInfo><Header><GlobalID>DESIGN42</GlobalID></Header></JobInfo><Catalog>"
      "<Identification><GlobalID>CAT1</GlobalID><DealerID>D-7</DealerID></Identification>"
      "</Catalog></Design>";
  EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"),
                            "<InputParameter><PartnerCode freeedi=\"1\"><![CDATA[Lake & Co]]>"
                            "</PartnerCode><Data>" +
                                design + "</Data></InputParameter>")),
            2);
  // What is no order is refused without using a number.
  EXPECT_EQ(Post(sim.url("/gateway/receive"), "PO=1&item=2").status, 400);

  EXPECT_EQ(ReadFileOrEmpty(data_dir_ + "/received/000001.xml"), PurchaseOrder("AAAA0001"));
  EXPECT_EQ(ReadFileOrEmpty(data_dir_ + "/received/000002.xml"), design);
  auto orders = sim.ReceivedOrders();
  ASSERT_EQ(orders.size(), 2u);
  EXPECT_EQ(orders[0].sequence, 1);
  EXPECT_EQ(orders[0].partner_code, "NWC");
  EXPECT_EQ(orders[0].global_id, "AAAA0001");  // the header's, not the catalog's
  EXPECT_EQ(orders[0].dealer, "shop@example.com");
  EXPECT_EQ(orders[0].file, "000001.xml");
  EXPECT_EQ(orders[1].partner_code, "Lake & Co");
  EXPECT_EQ(orders[1].global_id, "DESIGN42");
  EXPECT_EQ(orders[1].dealer, "D-7");
}

TEST_F(GatewayTest, EachFaultHitsTheNextOrderOnlyAndOnlyFailStoresNothing) {
  PartnerSim sim(kData, Options());
  ASSERT_TRUE(sim.running());
  const struct {
    const char* mode;
    int delay_ms;
    bool stored;
    bool completed;  // an answer came back at all
    int status;
  } faults[] = {
      {"fail", 0, false, true, 500},
      {"drop", 0, true, false, 0},       // stored, then the line is cut
      {"garbage", 0, true, true, 200},   // stored, then an answer that is not XML
      {"delay", 60000, true, false, 0},  // stored; the client gives up first
  };
  long next = 1;
  for (const auto& f : faults) {
    SCOPED_TRACE(f.mode);
    const size_t before = sim.ReceivedOrders().size();
    ASSERT_TRUE(sim.SetGatewayFault(f.mode, f.delay_ms, 1));
    FetchRequest request;
    if (f.delay_ms > 0) request.timeout_ms = 1000;  // gives up long before the answer
    FetchResult answer = Post(sim.url("/gateway/receive"), PurchaseOrder(f.mode), request);
    EXPECT_EQ(answer.completed, f.completed);
    if (f.completed) {
      EXPECT_EQ(answer.status, f.status);
    }
    EXPECT_EQ(SequenceOf(answer), -1) << answer.body;
    EXPECT_EQ(sim.ReceivedOrders().size(), before + (f.stored ? 1 : 0));
    if (f.stored) ++next;
    // The next order is answered normally.
    EXPECT_EQ(SequenceOf(Post(sim.url("/gateway/receive"), PurchaseOrder("NEXT"))), next++);
  }
}

TEST_F(GatewayTest, ServesHttpsThatOnlyTheCaItTrustsAccepts) {
  if (!testing::HaveOpenssl()) GTEST_SKIP() << "no openssl";
  std::string error;
  ASSERT_TRUE(testing::MakeTestCertificates(dir_, &error)) << error;
  PartnerSimOptions options = Options();
  options.tls_cert = dir_ + "/server.pem";
  options.tls_key = dir_ + "/server.key";
  options.tls_ca = dir_ + "/ca.pem";
  PartnerSim sim(kData, options);
  ASSERT_TRUE(sim.running());
  EXPECT_EQ(sim.base_url().rfind("https://", 0), 0u);
  const std::string port = std::to_string(sim.port());

  FetchRequest trusting;
  trusting.ca_file = dir_ + "/ca.pem";
  FetchResult order =
      Post("https://gate.localhost:" + port + "/gateway/receive", PurchaseOrder("TLS"), trusting);
  EXPECT_EQ(SequenceOf(order), 1) << order.error;
  FetchResult untrusting = Fetch("https://localhost:" + port + "/gateway/health");
  EXPECT_FALSE(untrusting.completed);
  EXPECT_EQ(sim.ReceivedOrders().size(), 1u);
}

}  // namespace
}  // namespace larkedi
