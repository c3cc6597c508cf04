// How the partner gateway misbehaves, for tests of the sending side.
//
// Modes (they apply to order receipts only; health and the order list always answer):
//   ok       the normal answer
//   fail     HTTP 500 with an error text; the order is NOT stored
//   delay    the order is stored, then the answer waits delay_ms before it is sent (a client
//            that gives up first does not know the order arrived)
//   drop     the whole order is read and stored, then the connection is closed without an
//            answer, as a gateway that crashed after committing would
//   garbage  the order is stored and the answer is 200 with a body that is not XML
// `count` is the number of receipts the mode applies to before the gateway is back to
// ok; 0 means every receipt until the mode is changed again.
#pragma once

#include <nlohmann/json.hpp>

#include <mutex>
#include <string>

namespace partnersim {

enum class FaultMode { Ok, Fail, Delay, Drop, Garbage };

/// "ok", "fail", "delay", "drop", "garbage". False for anything else.
bool ParseFaultMode(const std::string& text, FaultMode* mode);
std::string FaultModeName(FaultMode mode);

struct Fault {
  FaultMode mode = FaultMode::Ok;
  int delay_ms = 0;
  int count = 0;
};

class FaultPlan {
 public:
  /// Replaces the plan.
  void Set(const Fault& fault);
  /// Applies a control request: {"mode": "...", "delay_ms": N, "count": N}; fields left
  /// out keep 0 (count 0: until changed). False with `error` set for a malformed request.
  bool SetFromJson(const std::string& body, std::string* error);
  /// The plan for the next receipt, counted against `count`.
  Fault Next();
  nlohmann::json State() const;

 private:
  Fault fault_;
  mutable std::mutex mutex_;
};

}  // namespace partnersim
