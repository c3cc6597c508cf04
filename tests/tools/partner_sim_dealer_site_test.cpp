// The partner simulator's dealer status web site over real HTTP: the password is compared
// after percent-decoding, so a password sent without encoding is refused (the browser's
// status check relies on this to prove the module encodes it). The order list, its months,
// pages and details are followed by that check.
#include <gtest/gtest.h>

#include "testing/partner_sim.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::Fetch;
using testing::FetchResult;
using testing::PartnerSim;

// "a&b#1+%" percent-encoded.
constexpr const char* kEncodedPassword = "a%26b%231%2B%25";

constexpr const char* kData = R"({"dealers": [
    {"email": "Shop@Lakeside.example", "password": "a&b#1+%", "code": "LK1001", "status": 2}]})";

TEST(DealerSiteTest, LoginNeedsTheEncodedPassword) {
  PartnerSim sim{kData};
  ASSERT_TRUE(sim.running());
  const std::string login = "/loginremote2.asp?manufcode=100&dealercode=";
  for (const char* dealer : {"shop@lakeside.example", "LK1001"}) {
    FetchResult page = Fetch(sim.url(login + dealer + "&pw=" + kEncodedPassword));
    EXPECT_EQ(page.status, 200) << dealer << page.body;
    EXPECT_NE(page.Header("Set-Cookie"), "") << dealer;
  }
  for (const std::string& query : {login + "shop@lakeside.example&pw=a&b#1+%",  // cut at '&'
                                   login + "nobody@example.com&pw=pw"}) {
    FetchResult refused = Fetch(sim.url(query));
    EXPECT_EQ(refused.status, 403) << query;
    EXPECT_EQ(refused.Header("Set-Cookie"), "") << query;
  }
}

}  // namespace
}  // namespace larkedi
