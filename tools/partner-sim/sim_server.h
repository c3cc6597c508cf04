// The simulator's HTTP (or HTTPS) server: mounts the partner services (web service, gateway,
// dealer site) on one loopback server, logs every request, and can be told to misbehave the
// way broken or overloaded servers do. It answers whatever Host header arrives, so names
// such as gate.localhost and dealer.localhost reach the same server.
#pragma once

#include <httplib.h>

#include <atomic>
#include <memory>
#include <string>

#include "dealer_site.h"
#include "fault_plan.h"
#include "gateway.h"
#include "order_store.h"
#include "partner_data.h"
#include "request_log.h"
#include "soap_service.h"

namespace partnersim {

/// How the SOAP service answers instead of its normal answer.
enum class Misbehaviour {
  None,
  Html,   // 200 with an HTML error page
  Empty,  // 200 with an empty body
  Huge,   // the normal answer padded to several megabytes
  Fault,  // a soap:Server fault for every call
};

/// Parses "none", "html", "empty", "huge", "fault". False for anything else.
bool ParseMisbehaviour(const std::string& text, Misbehaviour* out);

struct SimOptions {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port
  std::string log_path;
  int delay_ms = 0;  // wait this long before every answer
  Misbehaviour misbehave = Misbehaviour::None;
  std::size_t huge_bytes = 9u << 20;
  /// The gateway's data folder; empty: orders are kept in memory only.
  std::string data_dir;
  /// Both set: serve HTTPS with this certificate (PEM, chain allowed) and private key.
  std::string tls_cert;
  std::string tls_key;
  /// The gateway's fault plan at start.
  Fault gateway_fault;
};

class PartnerSimServer {
 public:
  PartnerSimServer(PartnerData data, SimOptions options);
  PartnerSimServer(const PartnerSimServer&) = delete;
  PartnerSimServer& operator=(const PartnerSimServer&) = delete;

  /// Opens the data folder and binds the listening socket; returns the port, or -1 with
  /// `error` set (also for unusable certificate files).
  int Bind(std::string* error);
  /// Serves until Stop() is called. False when the server failed.
  bool Serve();
  /// Waits (a few seconds at most) until Serve() accepts connections.
  void WaitUntilRunning();
  /// Ends Serve(); pending delays are cut short. Safe from another thread.
  void Stop();

 private:
  void Mount();
  void MountWebService();
  void Delay();
  void Log(const httplib::Request& req);

  PartnerData data_;
  SimOptions options_;
  ManufInfoService soap_;
  RequestLog log_;
  OrderStore store_;
  FaultPlan faults_;
  std::atomic<bool> stopping_{false};
  Gateway gateway_;
  DealerSite dealer_site_;
  std::unique_ptr<httplib::Server> server_;
};

}  // namespace partnersim
