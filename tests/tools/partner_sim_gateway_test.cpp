// The partner simulator's gateway over real HTTP, as the send tests use it: storing and
// numbering orders (as documents and in the input-parameter form, under the gate and dealer
// host names). Its fault modes and HTTPS are exercised through the XML connector in
// connect_method_orca_test, which checks what each fault stores.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/xml/xml.h"
#include "testing/partner_sim.h"
#include "testing/temp_module.h"

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

TEST(GatewayTest, StoresEachOrderWholeAndNumbersIt) {
  testing::TempModule module{false};
  PartnerSimOptions options;
  options.data_dir = module.path("gateway");
  PartnerSim sim(kData, options);
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

  EXPECT_EQ(ReadFileOrEmpty(options.data_dir + "/received/000001.xml"), PurchaseOrder("AAAA0001"));
  EXPECT_EQ(ReadFileOrEmpty(options.data_dir + "/received/000002.xml"), design);
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

}  // namespace
}  // namespace larkedi
