// Test helper: runs larkedi-partner-sim as a child process on a free port.
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

/// Starts the simulator with `data_json` as its data file and `extra_args` after the
/// usual ones, and waits for its "listening" line. Stopped (SIGTERM, reaped) when destroyed.
class PartnerSim {
 public:
  explicit PartnerSim(const std::string& data_json, std::vector<std::string> extra_args = {});
  ~PartnerSim();
  PartnerSim(const PartnerSim&) = delete;
  PartnerSim& operator=(const PartnerSim&) = delete;

  /// True when the simulator runs and announced its port.
  bool running() const { return port_ > 0; }
  int port() const { return port_; }
  /// http://127.0.0.1:PORT
  std::string base_url() const;
  /// base_url() + `path` (default: the partner web service).
  std::string url(const std::string& path = "/wsManufInfo.asmx") const;
  /// Every request received so far, in order.
  std::vector<SimRequest> Requests() const;
  /// Stops the simulator now (the destructor does it otherwise).
  void Stop();

 private:
  std::string dir_;
  std::string log_path_;
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int port_ = -1;
};

/// Path of the built simulator.
std::string PartnerSimExe();

}  // namespace larkedi::testing
