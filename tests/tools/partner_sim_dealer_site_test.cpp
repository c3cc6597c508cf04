// The partner simulator's dealer status web site over real HTTP, as the status window's
// tests use it: login with percent-encoded passwords and sessions, the XML order list
// (month, manufacturer, sorting, paging, field set) and the detail of a received order.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "platform/xml/xml.h"
#include "testing/partner_sim.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::Fetch;
using testing::FetchRequest;
using testing::FetchResult;
using testing::PartnerSim;

// "a&b#1+%" percent-encoded.
constexpr const char* kEncodedPassword = "a%26b%231%2B%25";

// The shop's March 2026 orders for manufacturer 100 are 101, 102, 104, 105 and 106 (106
// names no manufacturer); 103 went to manufacturer 200, 107 is of April, 108 is another
// dealer's.
constexpr const char* kData = R"({
  "dealers": [
    {"email": "Shop@Lakeside.example", "password": "a&b#1+%", "code": "LK1001", "status": 2},
    {"email": "other@example.com", "password": "pw", "status": 2}
  ],
  "orders": [
    {"sequence": 101, "global_id": "G101", "dealer": "shop@lakeside.example", "manufacturer": "100",
     "received": "2026-03-02T09:00:00Z", "po_number": "PO-C", "job_name": "Able", "status": "Shipped"},
    {"sequence": 102, "global_id": "G102", "dealer": "LK1001", "manufacturer": "100",
     "received": "2026-03-09T09:00:00Z", "po_number": "PO-A", "job_name": "Baker"},
    {"sequence": 103, "global_id": "G103", "dealer": "shop@lakeside.example", "manufacturer": "200",
     "received": "2026-03-10T09:00:00Z", "po_number": "PO-X", "job_name": "Other maker"},
    {"sequence": 104, "global_id": "G104", "dealer": "shop@lakeside.example", "manufacturer": "100",
     "received": "2026-03-15T09:00:00Z", "po_number": "PO-E", "job_name": "Charlie"},
    {"sequence": 105, "global_id": "G105", "dealer": "shop@lakeside.example", "manufacturer": "100",
     "received": "2026-03-20T09:00:00Z", "po_number": "PO-B", "job_name": "Delta"},
    {"sequence": 106, "global_id": "G106", "dealer": "shop@lakeside.example",
     "received": "2026-03-31T23:59:59Z", "po_number": "PO-D", "job_name": "Echo"},
    {"sequence": 107, "global_id": "G107", "dealer": "shop@lakeside.example", "manufacturer": "100",
     "received": "2026-04-01T00:00:00Z", "po_number": "PO-APRIL", "job_name": "Foxtrot"},
    {"sequence": 108, "global_id": "G108", "dealer": "other@example.com", "manufacturer": "100",
     "received": "2026-03-05T09:00:00Z", "po_number": "PO-OTHER", "job_name": "Golf"}
  ]
})";

std::string ListQuery(const std::string& password, int year, int month, const std::string& sort,
                      int page, int page_length) {
  return "/xmlorderlist.asp?manufcode=100&dealercode=shop@lakeside.example&pw=" + password +
         "&fldset=10111010000&y=" + std::to_string(year) + "&m=" + std::to_string(month) +
         "&sort=" + sort + "&page=" + std::to_string(page) +
         "&pagelen=" + std::to_string(page_length) + "&lang=en";
}

xml::Document Parse(const FetchResult& answer) {
  xml::Document doc;
  EXPECT_TRUE(answer.completed) << answer.error;
  EXPECT_EQ(answer.status, 200);
  EXPECT_TRUE(doc.loadXML(answer.body)) << doc.parseErrorReason() << "\n" << answer.body;
  return doc;
}

/// The sequence numbers of the rows of a list, in order.
std::vector<std::string> Rows(const xml::Document& list) {
  std::vector<std::string> rows;
  for (const auto& row : list.selectNodes("/DATA/ORDER")) {
    rows.push_back(row.selectSingleNode("SEQUENCE").text());
  }
  return rows;
}

TEST(DealerSiteTest, LoginOrderListAndDetailOfAReceivedOrder) {
  PartnerSim sim{kData};
  ASSERT_TRUE(sim.running());
  // Login with the encoded password starts a session, anything else is refused.
  FetchResult page =
      Fetch(sim.url(std::string("/edi/loginremote2.asp?manufcode=100") +
                    "&dealercode=shop@lakeside.example&pw=" + kEncodedPassword + "&lang=en"));
  EXPECT_EQ(page.status, 200) << page.body;
  EXPECT_NE(page.body.find("PO-A"), std::string::npos);
  EXPECT_EQ(page.body.find("PO-X"), std::string::npos);      // manufacturer 200
  EXPECT_EQ(page.body.find("PO-OTHER"), std::string::npos);  // another dealer
  const std::string cookie = page.Header("Set-Cookie");
  ASSERT_EQ(cookie.rfind("LarkSimSession=", 0), 0u) << cookie;

  // The session shows the page again without the credentials.
  FetchRequest with_session;
  with_session.headers = {"Cookie: " + cookie.substr(0, cookie.find(';'))};
  FetchResult again = Fetch(sim.url("/edi/loginremote2.asp"), with_session);
  EXPECT_EQ(again.status, 200);
  EXPECT_NE(again.body.find("PO-A"), std::string::npos);
  with_session.headers = {"Cookie: LarkSimSession=0123456789abcdef0123456789abcdef"};
  EXPECT_EQ(Fetch(sim.url("/edi/loginremote2.asp"), with_session).status, 403);

  const std::string base = "/loginremote2.asp?manufcode=100&dealercode=";
  // By dealer code, with the right password.
  EXPECT_EQ(Fetch(sim.url(base + "LK1001&pw=" + kEncodedPassword)).status, 200);
  for (const std::string& query :
       {base + "shop@lakeside.example&pw=a&b#1+%",  // cut at '&', the rest a fragment
        base + "nobody@example.com&pw=pw"}) {
    FetchResult refused = Fetch(sim.url(query));
    EXPECT_EQ(refused.status, 403) << query;
    EXPECT_NE(refused.body.find("Login failed"), std::string::npos) << query;
    EXPECT_EQ(refused.Header("Set-Cookie"), "") << query;
  }

  // The order list of a month, sorted and paged.
  // The module's own spelling: a raw "+" (a space once decoded).
  xml::Document page1 =
      Parse(Fetch(sim.url(ListQuery(kEncodedPassword, 2026, 3, "SEQUENCE+DESC", 1, 2))));
  EXPECT_EQ(Rows(page1), (std::vector<std::string>{"106", "105"}));
  EXPECT_EQ(page1.selectSingleNode("/DATA/PAGECOUNT").text(), "3");
  std::vector<std::string> columns;
  for (const auto& field : page1.selectNodes("/DATA/ORDER[1]/*"))
    columns.push_back(field.nodeName());
  EXPECT_EQ(columns, (std::vector<std::string>{"SEQUENCE", "DATE", "PONUMBER", "JOBNAME", "STATUS",
                                               "GUID"}));
  EXPECT_EQ(page1.selectSingleNode("/DATA/ORDER[2]/DATE").text(), "2026-03-20T09:00:00Z");

  xml::Document page3 =
      Parse(Fetch(sim.url(ListQuery(kEncodedPassword, 2026, 3, "SEQUENCE%2BDESC", 3, 2))));
  EXPECT_EQ(Rows(page3), (std::vector<std::string>{"101"}));

  xml::Document by_po =
      Parse(Fetch(sim.url(ListQuery(kEncodedPassword, 2026, 3, "ponumber", 1, 15))));
  EXPECT_EQ(Rows(by_po), (std::vector<std::string>{"102", "105", "101", "106", "104"}));

  xml::Document april =
      Parse(Fetch(sim.url(ListQuery(kEncodedPassword, 2026, 4, "SEQUENCE", 1, 15))));
  EXPECT_EQ(Rows(april), (std::vector<std::string>{"107"}));

  // A failure is an ERROR element of the list.
  xml::Document bad_login = Parse(Fetch(sim.url(ListQuery("a&b", 2026, 3, "SEQUENCE", 1, 15))));
  EXPECT_NE(bad_login.selectSingleNode("/DATA/ERROR").text(), "");
  EXPECT_TRUE(bad_login.selectNodes("/DATA/ORDER").empty());

  // A received order is listed this month and shown in detail.
  FetchRequest post;
  post.method = "POST";
  post.body =
      "<PURCHASEORDER><POHEADER><PONUMBER>PO-NEW</PONUMBER><GLOBALID>"
      "ABCDEF0123456789ABCDEF0123456789</GLOBALID></POHEADER><PODETAILS><MANUFID>100</MANUFID>"
      "<DEALERID>LK1001</DEALERID></PODETAILS><POLINES><ITEM><Code>B30</Code></ITEM>"
      "<ITEM><Code>W3030</Code></ITEM></POLINES></PURCHASEORDER>";
  FetchResult sent = Fetch(sim.url("/gateway/receive?partner=NWC"), post);
  ASSERT_EQ(sent.status, 200) << sent.body;

  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  xml::Document list = Parse(Fetch(
      sim.url(ListQuery(kEncodedPassword, utc.tm_year + 1900, utc.tm_mon + 1, "SEQUENCE", 1, 15))));
  EXPECT_EQ(list.selectSingleNode("/DATA/ORDER[PONUMBER='PO-NEW']/GUID").text(),
            "ABCDEF0123456789ABCDEF0123456789");

  // Any case of the GUID finds it.
  xml::Document detail =
      Parse(Fetch(sim.url("/xmlorderdetail.asp?guid=abcdef0123456789abcdef0123456789&lang=en")));
  EXPECT_EQ(detail.selectSingleNode("/ORDERDETAIL/GUID").text(),
            "ABCDEF0123456789ABCDEF0123456789");
  EXPECT_EQ(detail.selectSingleNode("/ORDERDETAIL/PONUMBER").text(), "PO-NEW");
  EXPECT_EQ(detail.selectNodes("/ORDERDETAIL/PURCHASEORDER/POLINES/ITEM").length(), 2);
  xml::Document unknown = Parse(Fetch(sim.url("/xmlorderdetail.asp?guid=NOSUCHGUID&lang=en")));
  EXPECT_NE(unknown.selectSingleNode("/ORDERDETAIL/ERROR").text(), "");
}

}  // namespace
}  // namespace larkedi
