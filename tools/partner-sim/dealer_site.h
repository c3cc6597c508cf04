// The dealer status web site of a partner's server (the pages may sit below any folder):
//
//   GET .../loginremote2.asp?manufcode=M&dealercode=D&pw=P&lang=L
//       Checks the dealer (e-mail address or dealer code) and password against the data
//       file's dealer accounts. Right: starts a session (cookie "LarkSimSession") and answers
//       an HTML page with the dealer's orders. Wrong or missing: 403 with an HTML page
//       "Login failed". Without dealercode, a request that carries a live session cookie
//       shows the session's page again.
//   GET .../xmlorderlist.asp?manufcode=M&dealercode=D&pw=P&fldset=F&y=Y&m=M&sort=S
//                           &page=N&pagelen=N&lang=L
//       The dealer's orders of month m of year y (every month when either is missing) as the
//       DATA document of dealer_orders.h. Bad login, or a month, year, page or page length
//       that is not a number in range: a DATA document with an ERROR element (HTTP 200, so
//       a client that renders the list shows the reason).
//   GET .../xmlorderdetail.asp?guid=G&lang=L
//       The order whose GlobalID is G (any case; the latest when received more than once)
//       as an ORDERDETAIL document; unknown GUID: ORDERDETAIL with an ERROR element.
//
// A dealer's orders are those whose dealer is the account's e-mail address or code (any
// case). When manufcode is given, orders naming another manufacturer are left out (orders
// that name none are kept). Query values are percent-decoded ("+" is a space), so a
// password with "&", "#", "+" or "%" must arrive encoded. lang is accepted and ignored.
#pragma once

#include <httplib.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "order_store.h"
#include "partner_data.h"

namespace partnersim {

class DealerSite {
 public:
  using RequestLogger = std::function<void(const httplib::Request&)>;

  DealerSite(const PartnerData& data, const OrderStore& store, RequestLogger log)
      : data_(data), store_(store), log_(std::move(log)) {}

  void Mount(httplib::Server& server);

 private:
  void Login(const httplib::Request& req, httplib::Response& res);
  void OrderList(const httplib::Request& req, httplib::Response& res);
  void OrderDetail(const httplib::Request& req, httplib::Response& res);

  /// The account named by dealercode when pw is its password; null otherwise.
  const DealerAccount* Authenticate(const httplib::Request& req) const;
  /// The orders of `account`, for the manufacturer `manufcode` (empty: every one).
  std::vector<OrderRecord> OrdersOf(const DealerAccount& account,
                                    const std::string& manufcode) const;
  struct Session {
    std::string email;
    std::string manufcode;
  };
  std::string NewSession(Session session);
  /// The session the request's cookie names; false when none.
  bool SessionOf(const httplib::Request& req, Session* session) const;

  const PartnerData& data_;
  const OrderStore& store_;
  RequestLogger log_;
  std::map<std::string, Session> sessions_;  // by session id
  mutable std::mutex mutex_;
};

}  // namespace partnersim
