#include "gateway.h"

#include <chrono>
#include <thread>

#include "connection_drop.h"
#include "platform/xml/xml.h"

namespace partnersim {
namespace {

namespace xml = larkedi::xml;

void Refuse(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(message + "\n", "text/plain; charset=utf-8");
}

}  // namespace

void Gateway::Wait(int delay_ms) const {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(delay_ms);
  while (!stopping_ && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void Gateway::Receive(const httplib::Request& req, httplib::Response& res) {
  xml::Document parsed;
  if (!parsed.loadXML(req.body)) {
    Refuse(res, 400, "The order is not an XML document: " + parsed.parseErrorReason());
    return;
  }
  OrderRecord record;
  std::string document = req.body;
  if (parsed.documentElement().nodeName() == "InputParameter") {
    xml::Node data = parsed.selectSingleNode("/InputParameter/Data/*");
    if (!data) {
      Refuse(res, 400, "The input parameter carries no Data document.");
      return;
    }
    record.partner_code = parsed.selectSingleNode("/InputParameter/PartnerCode").text();
    document = data.xml();
    parsed.loadXML(document);
  } else {
    record.partner_code = req.get_param_value("partner");
  }

  const Fault fault = faults_.Next();
  if (fault.mode == FaultMode::Fail) {
    Refuse(res, 500, "Gateway error: the order could not be committed. Please try again later.");
    return;
  }
  ReadOrderFields(parsed, &record);
  std::string error;
  const long sequence = store_.Add(document, std::move(record), &error);
  if (sequence < 0) {
    Refuse(res, 500, "Gateway error: " + error);
    return;
  }

  switch (fault.mode) {
    case FaultMode::Drop:
      DropConnection(req);
      res.set_header("Connection", "close");
      return;
    case FaultMode::Garbage:
      res.set_content("Order accepted, thank you! #" + std::to_string(sequence) + " <RESPONSE",
                      "text/html");
      return;
    case FaultMode::Delay:
      Wait(fault.delay_ms);
      break;
    case FaultMode::Ok:
    case FaultMode::Fail:
      break;
  }
  res.set_content("<RESPONSE><SEQUENCE>" + std::to_string(sequence) + "</SEQUENCE></RESPONSE>",
                  "text/xml; charset=utf-8");
}

void Gateway::Mount(httplib::Server& server) {
  server.Post("/gateway/receive", [this](const httplib::Request& req, httplib::Response& res) {
    log_(req);
    Receive(req, res);
  });
  server.Get("/gateway/health", [this](const httplib::Request& req, httplib::Response& res) {
    log_(req);
    res.set_content("OK", "text/plain");
  });
  server.Get("/gateway/orders", [this](const httplib::Request& req, httplib::Response& res) {
    log_(req);
    nlohmann::json list = nlohmann::json::array();
    for (const OrderRecord& r : store_.Received()) list.push_back(ToJson(r));
    res.set_content(list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                    "application/json");
  });
  server.Get("/control/gateway", [this](const httplib::Request& req, httplib::Response& res) {
    log_(req);
    res.set_content(faults_.State().dump(), "application/json");
  });
  server.Post("/control/gateway", [this](const httplib::Request& req, httplib::Response& res) {
    log_(req);
    std::string error;
    if (!faults_.SetFromJson(req.body, &error)) {
      Refuse(res, 400, error);
      return;
    }
    res.set_content(faults_.State().dump(), "application/json");
  });
}

}  // namespace partnersim
