#include "fault_plan.h"

namespace partnersim {

bool ParseFaultMode(const std::string& text, FaultMode* mode) {
  if (text == "ok")
    *mode = FaultMode::Ok;
  else if (text == "fail")
    *mode = FaultMode::Fail;
  else if (text == "delay")
    *mode = FaultMode::Delay;
  else if (text == "drop")
    *mode = FaultMode::Drop;
  else if (text == "garbage")
    *mode = FaultMode::Garbage;
  else
    return false;
  return true;
}

std::string FaultModeName(FaultMode mode) {
  switch (mode) {
    case FaultMode::Fail:
      return "fail";
    case FaultMode::Delay:
      return "delay";
    case FaultMode::Drop:
      return "drop";
    case FaultMode::Garbage:
      return "garbage";
    case FaultMode::Ok:
      break;
  }
  return "ok";
}

void FaultPlan::Set(const Fault& fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  fault_ = fault;
}

bool FaultPlan::SetFromJson(const std::string& body, std::string* error) {
  nlohmann::json request = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (request.is_discarded() || !request.is_object()) {
    *error = "the request is not a JSON object";
    return false;
  }
  Fault fault;
  auto mode = request.find("mode");
  if (mode == request.end() || !mode->is_string() ||
      !ParseFaultMode(mode->get<std::string>(), &fault.mode)) {
    *error = "\"mode\" must be one of ok, fail, delay, drop, garbage";
    return false;
  }
  for (auto [key, target] : {std::pair{"delay_ms", &fault.delay_ms}, {"count", &fault.count}}) {
    auto it = request.find(key);
    if (it == request.end()) continue;
    if (!it->is_number_integer() || it->get<long>() < 0 || it->get<long>() > 3600000) {
      *error = std::string("\"") + key + "\" must be a whole number from 0 to 3600000";
      return false;
    }
    *target = it->get<int>();
  }
  Set(fault);
  return true;
}

Fault FaultPlan::Next() {
  std::lock_guard<std::mutex> lock(mutex_);
  Fault now = fault_;
  if (fault_.count > 0 && --fault_.count == 0) fault_ = Fault{};
  return now;
}

nlohmann::json FaultPlan::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {
      {"mode", FaultModeName(fault_.mode)}, {"delay_ms", fault_.delay_ms}, {"count", fault_.count}};
}

}  // namespace partnersim
