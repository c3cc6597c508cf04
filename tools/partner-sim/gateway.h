// The partner gateway: receives the purchase orders the module's XML connector sends.
//
//   POST /gateway/receive[?partner=CODE]
//       Body (canonical): the purchase-order document itself, i.e. the Data of the
//       connector's input parameter; the partner code, when wanted, in the query.
//       Also accepted: the whole input parameter,
//         <InputParameter><PartnerCode>CODE</PartnerCode><Data>document</Data></InputParameter>
//       whose PartnerCode is taken as the partner code and whose Data's element is stored.
//       The document is stored whole (the raw body byte for byte; the Data element as
//       markup) and the answer is <RESPONSE><SEQUENCE>n</SEQUENCE></RESPONSE>, n counting
//       up across restarts when a data folder is given. A body that is not XML, or an
//       input parameter without a Data element, is refused with 400 and not stored.
//   GET  /gateway/health    200 "OK"
//   GET  /gateway/orders    JSON array, one object per order received, in order:
//       {"sequence", "partner_code", "global_id", "dealer", "manufacturer", "received",
//        "file", "po_number", "job_name", "catalog", "reference", "design_file",
//        "line_count", "status"} (order_record.h says where each comes from)
//   POST /control/gateway   {"mode": "ok|fail|delay|drop|garbage", "delay_ms": N,
//                            "count": N} sets the fault plan (fault_plan.h); answers the
//                            plan as JSON. GET /control/gateway answers the plan.
#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>

#include "fault_plan.h"
#include "order_store.h"

namespace partnersim {

class Gateway {
 public:
  using RequestLogger = std::function<void(const httplib::Request&)>;

  /// Waits in the delay mode are cut short once `stopping` is set.
  Gateway(OrderStore& store, FaultPlan& faults, const std::atomic<bool>& stopping,
          RequestLogger log)
      : store_(store), faults_(faults), stopping_(stopping), log_(std::move(log)) {}

  void Mount(httplib::Server& server);

 private:
  void Receive(const httplib::Request& req, httplib::Response& res);
  void Wait(int delay_ms) const;

  OrderStore& store_;
  FaultPlan& faults_;
  const std::atomic<bool>& stopping_;
  RequestLogger log_;
};

}  // namespace partnersim
