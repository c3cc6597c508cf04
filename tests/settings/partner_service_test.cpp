#include "settings/partner_service.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/ui/dialogs.h"
#include "testing/partner_sim.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::PartnerSim;
using testing::ReadFileOrEmpty;

constexpr const char* kNs = "http://partners.larkedi.invalid/";

// Manufacturers and dealers the simulator answers from. Each dealer's status text is sent
// as it stands, so every row of the status table has a dealer.
constexpr const char* kData = R"({
  "manufacturers": [
    {"id": "100", "name": "Northwood Cabinets"},
    {"id": "200", "name": "Sleeping Mill", "active": false},
    {"id": "A<&B", "name": "Odd & Co"},
    {"name": "No Id Inc"},
    {"id": "300"}
  ],
  "dealers": [
    {"email": "s1@example.com", "password": "pw", "status": 1},
    {"email": "s2@example.com", "password": "pw", "status": 2,
     "profile": {"Location": {"Address1": "12 Rue du Lac", "City": "Québec", "Zip": "G1A 1A1"}}},
    {"email": "s3@example.com", "password": "pw", "status": 3},
    {"email": "blank2@example.com", "password": "pw", "status": " 2",
     "profile": {"Location": {"City": "Nowhere"}}},
    {"email": "none@example.com", "password": "pw"},
    {"email": "seven@example.com", "password": "pw", "status": 7},
    {"email": "word@example.com", "password": "pw", "status": "two"},
    {"email": "josé@exämple.com", "password": "pw", "status": 2},
    {"email": "tricky@example.com", "password": "a<b&c]]>\"'d", "status": 2}
  ]
})";

/// A module folder of its own and a partner-service configuration for one test.
class PartnerServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("LARKEDI_PARTNER_ENDPOINT");
    ::unsetenv("LARKEDI_PARTNER_DEV_ENDPOINT");
    ::unsetenv("LARKEDI_PARTNER_NAMESPACE");
  }
  void TearDown() override { SetPartnerServiceConfigProvider(nullptr); }

  /// Points both endpoints at `endpoint`, with short time-outs so failures come quickly.
  void UseEndpoint(const std::string& endpoint, const std::string& ns = kNs) {
    config_.Endpoint = endpoint;
    config_.DevelopmentEndpoint = endpoint;
    config_.Namespace = ns;
    config_.ConnectTimeoutMs = 2000;
    config_.TotalTimeoutMs = 3000;
    Apply();
  }
  void Apply() {
    PartnerServiceConfig c = config_;
    SetPartnerServiceConfigProvider([c] { return c; });
  }
  std::string ResponseCopy() const {
    return ReadFileOrEmpty(module_.path("Response/wsResponse.xml"));
  }

  testing::TempModule module_;
  PartnerServiceConfig config_;
};

TEST_F(PartnerServiceTest, NamespaceWithoutSlashIsAcceptedByAStrictService) {
  PartnerSim sim(std::string(R"({"namespace": "urn:larkedi:partners",
                                 "manufacturers": [{"id": "9", "name": "Nine"}]})"));
  ASSERT_TRUE(sim.running());
  UseEndpoint(sim.url(), "urn:larkedi:partners");
  EXPECT_TRUE(IsFreeEdiPartnerActive("9"));
  ASSERT_EQ(sim.Requests().size(), 1u);
  EXPECT_EQ(sim.Requests()[0].Header("SOAPAction"), "urn:larkedi:partners/IsManufHaveEmail");
  // Another namespace sends another SOAPAction: the service faults, read as "no answer".
  UseEndpoint(sim.url(), "urn:larkedi:other");
  EXPECT_FALSE(IsFreeEdiPartnerActive("9"));
}

// One service, asked in turn: the wire format, markup in values, and every dealer status.
TEST_F(PartnerServiceTest, RequestsArriveIntactAndEveryDealerStatusMapsAsTheTableSays) {
  PartnerSim sim(kData);
  ASSERT_TRUE(sim.running());
  UseEndpoint(sim.url());
  xml::Node profile;
  // The service finds the account by the address and compares the password it parsed with
  // the account's: status 2 (not 0 or 3, and not -1 for a broken envelope) proves both arrived
  // unchanged. Content-Length counts bytes: a non-ASCII address must not cut the envelope short.
  EXPECT_EQ(CheckDealerStatus("josé@exämple.com", "pw", profile), kDealerAccountGood);
  ASSERT_EQ(sim.Requests().size(), 1u);
  EXPECT_EQ(sim.Requests()[0].Header("Content-Type"), "text/xml; charset=utf-8");
  EXPECT_EQ(sim.Requests()[0].Header("SOAPAction"), std::string(kNs) + "IsDealerSupported");
  EXPECT_EQ(CheckDealerStatus("tricky@example.com", "a<b&c]]>\"'d", profile), kDealerAccountGood);
  EXPECT_TRUE(IsFreeEdiPartnerActive("A<&B"));
  EXPECT_FALSE(IsFreeEdiPartnerActive("200"));  // listed as inactive
  EXPECT_FALSE(IsFreeEdiPartnerActive("999"));  // unknown

  struct Row {
    const char* email;
    const char* password;
    int status;
  } rows[] = {
      {"s1@example.com", "pw", 1},
      {"s3@example.com", "pw", 3},
      {"blank2@example.com", "pw", 99},  // " 2" is not "2"
      {"none@example.com", "pw", 99},
      {"seven@example.com", "pw", 99},
      {"word@example.com", "pw", 99},
      {"nobody@example.com", "pw", 0},  // the service's answer for an unknown dealer
      {"s2@example.com", "wrong", 3},
      {"tricky@example.com", "a<b&c", kDealerBadPassword},
  };
  for (const Row& row : rows) {
    xml::Node stale = xml::Document().createElement("stale");
    EXPECT_EQ(CheckDealerStatus(row.email, row.password, stale), row.status) << row.email;
    EXPECT_TRUE(stale.isNull()) << row.email;
  }
  ASSERT_EQ(CheckDealerStatus("s2@example.com", "pw", profile), kDealerAccountGood);
  ASSERT_FALSE(profile.isNull());
  EXPECT_EQ(profile.selectSingleNode("Location/City").text(), "Québec");
}

TEST_F(PartnerServiceTest, FaultHtmlAndEmptyAnswersGiveNoResultAndShowNothing) {
  ScriptedDialogs dialogs;
  ScopedDialogs scoped(&dialogs);
  for (const char* mode : {"fault", "html", "empty"}) {
    SCOPED_TRACE(mode);
    std::remove(module_.path("Response/wsResponse.xml").c_str());
    PartnerSim sim(kData, {"--misbehave", mode});
    ASSERT_TRUE(sim.running());
    UseEndpoint(sim.url());
    xml::Node profile;
    EXPECT_EQ(CheckDealerStatus("s2@example.com", "pw", profile), kDealerNoAnswer);
    EXPECT_TRUE(profile.isNull());
    EXPECT_FALSE(IsFreeEdiPartnerActive("100"));
    xml::Node result;
    EXPECT_FALSE(GetManufInfo(result));
    EXPECT_TRUE(result.isNull());
    // A fault parses and is kept for support; an HTML page or nothing is not.
    EXPECT_EQ(ResponseCopy().find("faultstring") != std::string::npos,
              std::string(mode) == "fault");
  }
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(PartnerServiceTest, ServiceDownTooSlowOrAnsweringTooMuchGivesNoResult) {
  UseEndpoint("http://127.0.0.1:9/wsManufInfo.asmx");  // nobody listens on the discard port
  xml::Node profile;
  EXPECT_EQ(CheckDealerStatus("s2@example.com", "pw", profile), kDealerNoAnswer);

  PartnerSim slow(kData, {"--delay-ms", "5000"});
  ASSERT_TRUE(slow.running());
  UseEndpoint(slow.url());
  config_.TotalTimeoutMs = 300;
  Apply();
  EXPECT_EQ(CheckDealerStatus("s2@example.com", "pw", profile), kDealerNoAnswer);
  EXPECT_FALSE(IsFreeEdiPartnerActive("100"));
  EXPECT_EQ(slow.Requests().size(), 2u);  // the requests did reach it

  // The padded answer is otherwise valid: with a larger cap it is read.
  PartnerSim huge(kData, {"--misbehave", "huge"});
  ASSERT_TRUE(huge.running());
  UseEndpoint(huge.url());
  EXPECT_FALSE(IsFreeEdiPartnerActive("100"));
  config_.MaxResponseBytes = 32u << 20;
  Apply();
  EXPECT_TRUE(IsFreeEdiPartnerActive("100"));
}

}  // namespace
}  // namespace larkedi
