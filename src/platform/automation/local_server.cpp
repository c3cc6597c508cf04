// Objects served by another executable over its standard input and output, one JSON
// message per line. The protocol is described in docs/automation-protocol.md.
#include <nlohmann/json.hpp>

#include "platform/automation/automation.h"
#include "platform/process/line_channel.h"

namespace larkedi::automation::detail {

namespace {

using nlohmann::json;
using process::Clock;
using process::IoStatus;

class ServedObject;

// One running server process and the message stream to it, shared by every object it serves.
class ServerConnection : public std::enable_shared_from_this<ServerConnection> {
 public:
  ServerConnection(std::string progId, AutomationOptions options)
      : prog_id_(std::move(progId)), options_(options) {}
  ~ServerConnection() { Shutdown(); }
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  bool Start(const std::string& command_line, Err* error);
  // Sends `request` (an id is added) and waits for its answer within `timeout`.
  Err Request(json request, std::chrono::milliseconds timeout, json* answer);
  void Release(long long object_id);

  const std::string& prog_id() const { return prog_id_; }
  const AutomationOptions& options() const { return options_; }

 private:
  // Ends the process (at once, or after the release wait) and returns how it ended.
  std::string MarkDead(const std::string& reason, bool kill_now);
  void Shutdown();

  std::string prog_id_;
  AutomationOptions options_;
  process::LineChannel channel_;
  pid_t pid_ = -1;
  long long next_id_ = 1;
  bool dead_ = true;
  std::string dead_reason_ = "not started";
};

class ServedObject : public AutomationObject {
 public:
  ServedObject(std::shared_ptr<ServerConnection> connection, long long id)
      : connection_(std::move(connection)), id_(id) {}
  ~ServedObject() override {
    try {
      connection_->Release(id_);
    } catch (...) {
    }
  }
  ServedObject(const ServedObject&) = delete;
  ServedObject& operator=(const ServedObject&) = delete;

  Err Call(const std::string& member, std::vector<Variant>& args, Variant* result) override;
  Err Get(const std::string& member, Variant* result) override;
  Err Put(const std::string& member, const Variant& value) override;
  using AutomationObject::Call;

  const ServerConnection* connection() const { return connection_.get(); }
  long long id() const { return id_; }

 private:
  Err Exchange(json request, const std::string& member, json* answer);

  std::shared_ptr<ServerConnection> connection_;
  long long id_;
};

Err Failed(const std::string& progId, const std::string& what) {
  return Err::Raise(kErrRemoteCallFailed, progId, "The remote procedure call failed: " + what);
}

bool ToJson(const Variant& value, const ServerConnection* connection, json* out, Err* error) {
  switch (value.type()) {
    case Variant::Type::Empty:
      *out = json{{"empty", true}};
      return true;
    case Variant::Type::Null:
      *out = nullptr;
      return true;
    case Variant::Type::Bool:
      *out = value.AsBool();
      return true;
    case Variant::Type::Long:
      *out = value.AsLong();
      return true;
    case Variant::Type::Double:
      *out = value.AsDouble();
      return true;
    case Variant::Type::String:
      *out = value.AsString();
      return true;
    case Variant::Type::Object: {
      auto served = std::dynamic_pointer_cast<ServedObject>(value.AsObject());
      if (served && served->connection() == connection) {
        *out = json{{"object", served->id()}};
        return true;
      }
      *error = Err::Raise(kErrTypeMismatch, connection->prog_id(),
                          "Type mismatch: only objects of the same server can be passed to it");
      return false;
    }
  }
  return false;
}

bool FromJson(const json& value, const std::shared_ptr<ServerConnection>& connection,
              Variant* out) {
  if (value.is_null()) {
    *out = Variant::Null();
  } else if (value.is_boolean()) {
    *out = Variant(value.get<bool>());
  } else if (value.is_number_integer()) {
    *out = Variant(value.get<long long>());
  } else if (value.is_number_unsigned()) {
    *out = Variant(static_cast<double>(value.get<unsigned long long>()));
  } else if (value.is_number_float()) {
    *out = Variant(value.get<double>());
  } else if (value.is_string()) {
    *out = Variant(value.get<std::string>());
  } else if (value.is_object() && value.contains("object") && value["object"].is_number_integer()) {
    *out = Variant(std::static_pointer_cast<AutomationObject>(
        std::make_shared<ServedObject>(connection, value["object"].get<long long>())));
  } else if (value.is_object() && value.contains("empty")) {
    *out = Variant();
  } else {
    return false;
  }
  return true;
}

bool ServerConnection::Start(const std::string& command_line, Err* error) {
  std::vector<std::string> argv = process::SplitCommandLine(command_line);
  process::SpawnedChild child;
  std::string reason;
  if (!process::SpawnWithChannel(argv, &child, &reason)) {
    *error = Err::Raise(kErrCannotCreateObject, prog_id_,
                        "ActiveX component can't create object: " + reason);
    return false;
  }
  pid_ = child.pid;
  channel_ = process::LineChannel(child.channel_fd);
  std::string tag = prog_id_;
  channel_.SetSideInput(child.stderr_fd,
                        [tag](const std::string& line) { PlatformLog(tag + ": " + line); });
  dead_ = false;
  dead_reason_.clear();

  json answer;
  Err err = Request(json{{"op", "create"}, {"progid", prog_id_}}, options_.create_timeout, &answer);
  if (err) {
    *error = Err::Raise(kErrCannotCreateObject, prog_id_,
                        "ActiveX component can't create object: " + err.Description);
    MarkDead("creation failed", true);
    return false;
  }
  return true;
}

std::string ServerConnection::MarkDead(const std::string& reason, bool kill_now) {
  if (dead_) return {};
  dead_ = true;
  dead_reason_ = reason;
  int status =
      process::EndChild(pid_, kill_now ? std::chrono::milliseconds(0) : options_.release_wait);
  pid_ = -1;
  channel_.DrainSide(Clock::now() + std::chrono::milliseconds(100));
  channel_.Close();
  std::string how = process::DescribeWaitStatus(status);
  if (!kill_now) dead_reason_ += " (" + how + ")";
  return how;
}

Err ServerConnection::Request(json request, std::chrono::milliseconds timeout, json* answer) {
  if (dead_) {
    return Err::Raise(kErrServerUnavailable, prog_id_,
                      "The RPC server is unavailable: " + dead_reason_);
  }
  const long long id = next_id_++;
  request["id"] = id;
  const std::string op = request.value("op", "");
  const std::string what =
      op + (request.contains("member") ? " '" + request["member"].get<std::string>() + "'"
                                       : std::string());
  auto deadline = Clock::now() + timeout;
  IoStatus st =
      channel_.WriteLine(request.dump(-1, ' ', false, json::error_handler_t::replace), deadline);
  for (;;) {
    if (st == IoStatus::Ok) {
      std::string line;
      st = channel_.ReadLine(&line, deadline);
      if (st != IoStatus::Ok) continue;
      if (line.find_first_not_of(" \t") == std::string::npos) continue;
      json message = json::parse(line, nullptr, false);
      if (message.is_discarded() || !message.is_object()) {
        MarkDead("it sent a line that is not a JSON message", true);
        return Failed(prog_id_, "malformed answer to " + what + " from " + prog_id_);
      }
      if (!message.contains("id")) {
        if (message.contains("log") && message["log"].is_string()) {
          PlatformLog(prog_id_ + ": " + message["log"].get<std::string>());
          continue;
        }
        MarkDead("it sent a message without an id", true);
        return Failed(prog_id_, "answer to " + what + " without an id from " + prog_id_);
      }
      if (!message["id"].is_number_integer() || message["id"].get<long long>() != id) {
        MarkDead("it answered out of turn", true);
        return Failed(prog_id_, "answer with an unexpected id from " + prog_id_);
      }
      if (message.contains("error")) {
        const json& e = message["error"];
        long number = kErrComponent;
        std::string source = prog_id_, description;
        if (e.is_object()) {
          if (e.contains("number") && e["number"].is_number()) number = e["number"].get<long>();
          if (e.contains("source") && e["source"].is_string()) source = e["source"];
          if (e.contains("description") && e["description"].is_string())
            description = e["description"];
        } else if (e.is_string()) {
          description = e.get<std::string>();
        }
        if (number == 0) number = kErrComponent;
        return Err::Raise(number, source, description);
      }
      *answer = std::move(message);
      return Err{};
    }
    if (st == IoStatus::Timeout) {
      MarkDead("it did not answer in time and was stopped", true);
      return Err::Raise(kErrCallTimeout, prog_id_,
                        "This operation returned because the timeout period expired: " + prog_id_ +
                            " did not answer " + what + " within " +
                            std::to_string(timeout.count()) + " ms");
    }
    // Closed or failed: the process ended or broke its stream.
    std::string how = MarkDead("it ended", false);
    return Failed(prog_id_, prog_id_ + " ended during " + what + " (" + how + ")");
  }
}

void ServerConnection::Release(long long object_id) {
  if (dead_) return;
  json answer;
  Err err = Request(json{{"op", "release"}, {"object", object_id}}, options_.release_wait, &answer);
  (void)err;  // a server that fails to release is stopped when the connection ends
}

void ServerConnection::Shutdown() {
  if (dead_) return;
  dead_ = true;
  channel_.Close();  // the server reads end of file and should end by itself
  process::EndChild(pid_, options_.release_wait);
  pid_ = -1;
}

Err ServedObject::Exchange(json request, const std::string& member, json* answer) {
  request["object"] = id_;
  request["member"] = member;
  return connection_->Request(std::move(request), connection_->options().call_timeout, answer);
}

Err ServedObject::Call(const std::string& member, std::vector<Variant>& args, Variant* result) {
  Variant ignored;
  if (!result) result = &ignored;
  *result = Variant();
  json jargs = json::array();
  for (const Variant& a : args) {
    json v;
    Err err;
    if (!ToJson(a, connection_.get(), &v, &err)) return err;
    jargs.push_back(std::move(v));
  }
  json answer;
  Err err = Exchange(json{{"op", "call"}, {"args", std::move(jargs)}}, member, &answer);
  if (err) return err;
  if (answer.contains("args") && answer["args"].is_array()) {
    const json& back = answer["args"];
    for (std::size_t i = 0; i < args.size() && i < back.size(); ++i) {
      Variant v;
      if (FromJson(back[i], connection_, &v)) args[i] = std::move(v);
    }
  }
  if (answer.contains("result") && !FromJson(answer["result"], connection_, result)) {
    return Err::Raise(kErrTypeMismatch, connection_->prog_id(),
                      "Type mismatch: '" + member + "' returned a value of no known type");
  }
  return Err{};
}

Err ServedObject::Get(const std::string& member, Variant* result) {
  Variant ignored;
  if (!result) result = &ignored;
  *result = Variant();
  json answer;
  Err err = Exchange(json{{"op", "get"}}, member, &answer);
  if (err) return err;
  if (answer.contains("result") && !FromJson(answer["result"], connection_, result)) {
    return Err::Raise(kErrTypeMismatch, connection_->prog_id(),
                      "Type mismatch: '" + member + "' holds a value of no known type");
  }
  return Err{};
}

Err ServedObject::Put(const std::string& member, const Variant& value) {
  json v;
  Err err;
  if (!ToJson(value, connection_.get(), &v, &err)) return err;
  json answer;
  return Exchange(json{{"op", "put"}, {"value", std::move(v)}}, member, &answer);
}

}  // namespace

std::shared_ptr<AutomationObject> CreateServedObject(const std::string& progId,
                                                     const std::string& command_line,
                                                     const AutomationOptions& options, Err* error) {
  try {
    auto connection = std::make_shared<ServerConnection>(progId, options);
    if (!connection->Start(command_line, error)) return nullptr;
    return std::make_shared<ServedObject>(std::move(connection), 0);
  } catch (const std::exception& e) {
    *error = Err::Raise(kErrCannotCreateObject, progId,
                        std::string("ActiveX component can't create object: ") + e.what());
    return nullptr;
  }
}

}  // namespace larkedi::automation::detail
