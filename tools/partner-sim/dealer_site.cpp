#include "dealer_site.h"

#include <strings.h>

#include <cstdio>
#include <random>

#include "dealer_orders.h"
#include "platform/xml/xml.h"

namespace partnersim {
namespace {

constexpr const char* kCookie = "LarkSimSession";

/// `text` as a whole number from `low` to `high`; false otherwise.
bool ParseNumber(const std::string& text, int low, int high, int* value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  int n = std::stoi(text);
  if (n < low || n > high) return false;
  *value = n;
  return true;
}

std::string Html(const std::string& text) {
  return larkedi::xml::EscapeXmlText(text, /*attribute=*/true);
}

bool SameText(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string OrdersPage(const DealerAccount& account, std::vector<OrderRecord> orders) {
  SortOrders(&orders, "SEQUENCE DESC");
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Dealer orders</title></head>"
      "<body><h1>Orders of " +
      Html(account.email) + "</h1>\n";
  if (orders.empty()) {
    page += "<p id=\"noorders\">No orders yet.</p>\n";
  } else {
    page +=
        "<table id=\"orders\"><tr><th>Sequence</th><th>Received</th><th>PO number</th>"
        "<th>Job</th><th>Status</th><th>GUID</th></tr>\n";
    for (const OrderRecord& r : orders) {
      page += "<tr><td>" + std::to_string(r.sequence) + "</td><td>" + Html(r.received) +
              "</td><td>" + Html(r.po_number) + "</td><td>" + Html(r.job_name) + "</td><td>" +
              Html(r.status) + "</td><td>" + Html(r.global_id) + "</td></tr>\n";
    }
    page += "</table>\n";
  }
  return page + "</body></html>\n";
}

}  // namespace

const DealerAccount* DealerSite::Authenticate(const httplib::Request& req) const {
  const DealerAccount* account = data_.FindDealerByLogin(req.get_param_value("dealercode"));
  if (account == nullptr || !req.has_param("pw") ||
      req.get_param_value("pw") != account->password) {
    return nullptr;
  }
  return account;
}

std::vector<OrderRecord> DealerSite::OrdersOf(const DealerAccount& account,
                                              const std::string& manufcode) const {
  std::vector<OrderRecord> mine;
  for (OrderRecord& r : store_.All()) {
    const bool dealer = SameText(r.dealer, account.email) ||
                        (!account.code.empty() && SameText(r.dealer, account.code));
    const bool manufacturer =
        manufcode.empty() || r.manufacturer.empty() || SameText(r.manufacturer, manufcode);
    if (dealer && manufacturer) mine.push_back(std::move(r));
  }
  return mine;
}

std::string DealerSite::NewSession(Session session) {
  std::random_device random;
  char id[33];
  std::snprintf(id, sizeof id, "%08x%08x%08x%08x", random(), random(), random(), random());
  std::lock_guard<std::mutex> lock(mutex_);
  sessions_[id] = std::move(session);
  return id;
}

bool DealerSite::SessionOf(const httplib::Request& req, Session* session) const {
  const std::string cookies = req.get_header_value("Cookie");
  const std::string key = std::string(kCookie) + "=";
  std::size_t at = cookies.find(key);
  if (at == std::string::npos) return false;
  at += key.size();
  const std::string id = cookies.substr(at, cookies.find(';', at) - at);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return false;
  *session = it->second;
  return true;
}

void DealerSite::Login(const httplib::Request& req, httplib::Response& res) {
  Session session;
  if (!req.has_param("dealercode") && SessionOf(req, &session)) {
    if (const DealerAccount* account = data_.FindDealer(session.email)) {
      res.set_content(OrdersPage(*account, OrdersOf(*account, session.manufcode)),
                      "text/html; charset=utf-8");
      return;
    }
  }
  const DealerAccount* account = Authenticate(req);
  if (account == nullptr) {
    res.status = 403;
    res.set_content(
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Login failed</title></head>"
        "<body><h1>Login failed</h1><p>Unknown dealer or wrong password.</p></body></html>\n",
        "text/html; charset=utf-8");
    return;
  }
  const std::string manufcode = req.get_param_value("manufcode");
  const std::string id = NewSession({account->email, manufcode});
  res.set_header("Set-Cookie", std::string(kCookie) + "=" + id + "; Path=/; HttpOnly");
  res.set_content(OrdersPage(*account, OrdersOf(*account, manufcode)), "text/html; charset=utf-8");
}

void DealerSite::OrderList(const httplib::Request& req, httplib::Response& res) {
  auto answer = [&res](const std::string& body) {
    res.set_content(body, "text/xml; charset=utf-8");
  };
  const DealerAccount* account = Authenticate(req);
  if (account == nullptr) {
    answer(ErrorXml("DATA", "Unknown dealer or wrong password."));
    return;
  }
  OrderListQuery query;
  if (req.has_param("y") || req.has_param("m")) {
    if (!ParseNumber(req.get_param_value("y"), 1, 9999, &query.year) ||
        !ParseNumber(req.get_param_value("m"), 1, 12, &query.month)) {
      answer(ErrorXml("DATA", "Invalid month or year."));
      return;
    }
  }
  if ((req.has_param("page") &&
       !ParseNumber(req.get_param_value("page"), 1, 1000000, &query.page)) ||
      (req.has_param("pagelen") &&
       !ParseNumber(req.get_param_value("pagelen"), 1, 1000, &query.page_length))) {
    answer(ErrorXml("DATA", "Invalid page or page length."));
    return;
  }
  if (req.has_param("sort")) query.sort = req.get_param_value("sort");
  if (req.has_param("fldset")) query.field_set = req.get_param_value("fldset");
  answer(OrderListXml(OrdersOf(*account, req.get_param_value("manufcode")), query));
}

void DealerSite::OrderDetail(const httplib::Request& req, httplib::Response& res) {
  const std::string guid = req.get_param_value("guid");
  const OrderRecord* found = nullptr;
  const std::vector<OrderRecord> all = store_.All();
  for (const OrderRecord& r : all) {
    if (!guid.empty() && SameText(r.global_id, guid) &&
        (found == nullptr || r.sequence >= found->sequence)) {
      found = &r;
    }
  }
  if (found == nullptr) {
    res.set_content(ErrorXml("ORDERDETAIL", "No order with GUID " + guid + "."),
                    "text/xml; charset=utf-8");
    return;
  }
  std::string document;
  store_.Document(*found, &document);
  res.set_content(OrderDetailXml(*found, document), "text/xml; charset=utf-8");
}

void DealerSite::Mount(httplib::Server& server) {
  // The site may be installed below any folder of the server.
  server.Get(R"(.*/loginremote2\.asp)",
             [this](const httplib::Request& req, httplib::Response& res) {
               log_(req);
               Login(req, res);
             });
  server.Get(R"(.*/xmlorderlist\.asp)",
             [this](const httplib::Request& req, httplib::Response& res) {
               log_(req);
               OrderList(req, res);
             });
  server.Get(R"(.*/xmlorderdetail\.asp)",
             [this](const httplib::Request& req, httplib::Response& res) {
               log_(req);
               OrderDetail(req, res);
             });
}

}  // namespace partnersim
