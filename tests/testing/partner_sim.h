// Test helper: runs larkedi-partner-sim as a child process on a free port, and talks to it
// over real HTTP (libcurl) for the tests of the simulator itself.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace larkedi::testing {

/// One request as the simulator logged it.
struct SimRequest {
  std::string method;
  std::string path;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  /// Value of the first header of that name (any case); empty when absent.
  std::string Header(const std::string& name) const;
};

/// One order the simulator's gateway received (its GET /gateway/orders entry).
struct ReceivedOrder {
  long sequence = 0;
  std::string partner_code;
  std::string global_id;
  std::string dealer;
  std::string received;
  std::string file;
};

struct PartnerSimOptions {
  // Declared so that a braced list of arguments picks the extra-arguments constructor.
  PartnerSimOptions() = default;

  /// --data-dir: the gateway's data folder (the test owns it); empty: none.
  std::string data_dir;
  /// --tls-cert and --tls-key: serve HTTPS. `tls_ca` is the CA the helper's own requests
  /// (ReceivedOrders, SetGatewayFault) trust.
  std::string tls_cert;
  std::string tls_key;
  std::string tls_ca;
  /// Further arguments, after the usual ones.
  std::vector<std::string> extra_args;
};

/// A request for Fetch.
struct FetchRequest {
  std::string method = "GET";
  std::string body;
  std::string content_type = "text/xml; charset=utf-8";
  std::vector<std::string> headers;  // "Name: value"
  std::string ca_file;               // CA bundle for https; empty: the system's
  std::vector<std::string> resolve;  // curl's HOST:PORT:ADDRESS entries
  long timeout_ms = 10000;
};

struct FetchResult {
  /// True when a whole HTTP answer arrived.
  bool completed = false;
  /// libcurl's result code (0 when completed) and its message.
  int curl_code = 0;
  std::string error;
  long status = 0;
  std::string body;
  std::vector<std::string> headers;  // "Name: value" as received

  /// Value of the first header of that name (any case); empty when absent.
  std::string Header(const std::string& name) const;
};

/// One HTTP request through libcurl (no proxy, no redirects).
FetchResult Fetch(const std::string& url, const FetchRequest& request = {});

/// Starts the simulator with `data_json` as its data file and `extra_args` after the
/// usual ones, and waits for its "listening" line. Stopped (SIGTERM, reaped) when destroyed.
class PartnerSim {
 public:
  explicit PartnerSim(const std::string& data_json, std::vector<std::string> extra_args = {});
  PartnerSim(const std::string& data_json, PartnerSimOptions options);
  ~PartnerSim();
  PartnerSim(const PartnerSim&) = delete;
  PartnerSim& operator=(const PartnerSim&) = delete;

  /// True when the simulator runs and announced its port.
  bool running() const { return port_ > 0; }
  int port() const { return port_; }
  /// http://127.0.0.1:PORT (https with TLS)
  std::string base_url() const;
  /// base_url() + `path` (default: the partner web service).
  std::string url(const std::string& path = "/wsManufInfo.asmx") const;
  /// Every request received so far, in order.
  std::vector<SimRequest> Requests() const;
  /// The orders the gateway received so far, in order (empty with a failure added when
  /// the list cannot be read).
  std::vector<ReceivedOrder> ReceivedOrders() const;
  /// Sets the gateway's fault plan; false (with a failure added) when refused.
  bool SetGatewayFault(const std::string& mode, int delay_ms = 0, int count = 0) const;
  /// Stops the simulator now (the destructor does it otherwise).
  void Stop();

 private:
  void Start(const std::string& data_json, const PartnerSimOptions& options);

  std::string dir_;
  std::string log_path_;
  std::string scheme_ = "http";
  std::string tls_ca_;
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int port_ = -1;
};

/// Path of the built simulator.
std::string PartnerSimExe();

}  // namespace larkedi::testing
