// Late-bound automation objects created by programmatic identifier.
//
// CreateObject looks first for a class built into the module (RegisterBuiltinClass), then
// asks the local-server resolver for the command line of an executable that serves the
// object over its standard input and output (docs/automation-protocol.md). Members are
// called by name; every argument is passed by reference, so the caller's vector holds the
// values as the object left them.
//
// Nothing here throws. Failures come back as an Err: creation failures as 429 ("ActiveX
// component can't create object"), unknown members as 438, and a served object that
// crashed, hung or answered nonsense as one of the remote-call errors below.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/err.h"
#include "platform/log_sink.h"

namespace larkedi::automation {

class AutomationObject;

/// Error numbers of this layer (the numbers the original automation runtime used).
constexpr long kErrCannotCreateObject = 429;  // ActiveX component can't create object
constexpr long kErrNoSuchMember = 438;        // Object doesn't support this property or method
constexpr long kErrTypeMismatch = 13;
constexpr long kErrRemoteCallFailed = -2147023170;   // 0x800706BE: the served object failed
constexpr long kErrServerUnavailable = -2147023174;  // 0x800706BA: it is gone already
constexpr long kErrCallTimeout = -2147023436;        // 0x800705B4: no answer in time

/// A small automation variant: Empty, Null, Boolean, integer, floating point, text or an
/// object reference.
class Variant {
 public:
  enum class Type { Empty, Null, Bool, Long, Double, String, Object };

  Variant() = default;
  Variant(bool value) : v_(value) {}
  Variant(int value) : v_(static_cast<long long>(value)) {}
  Variant(long value) : v_(static_cast<long long>(value)) {}
  Variant(long long value) : v_(value) {}
  Variant(double value) : v_(value) {}
  Variant(std::string value) : v_(std::move(value)) {}
  Variant(const char* value) : v_(std::string(value ? value : "")) {}
  Variant(std::shared_ptr<AutomationObject> object) : v_(std::move(object)) {}
  static Variant Null() {
    Variant v;
    v.v_ = NullTag{};
    return v;
  }

  Type type() const { return static_cast<Type>(v_.index()); }
  bool IsEmpty() const { return type() == Type::Empty; }
  bool IsNull() const { return type() == Type::Null; }
  bool IsObject() const { return type() == Type::Object; }

  /// Conversions in the manner of the original runtime: True is "True" and -1, Empty and
  /// Null are "" and 0, text converts to a number when it holds one (else 0).
  std::string AsString() const;
  long long AsLong() const;
  double AsDouble() const;
  bool AsBool() const;
  std::shared_ptr<AutomationObject> AsObject() const;

  bool operator==(const Variant& other) const { return v_ == other.v_; }

 private:
  struct NullTag {
    bool operator==(const NullTag&) const { return true; }
  };
  std::variant<std::monostate, NullTag, bool, long long, double, std::string,
               std::shared_ptr<AutomationObject>>
      v_;
};

/// A late-bound object. Member names are matched without regard to case.
class AutomationObject {
 public:
  virtual ~AutomationObject() = default;

  /// Calls the method `member`. `args` are by reference: afterwards they hold the values
  /// the object left in them. `result` (may be null) receives the return value.
  virtual Err Call(const std::string& member, std::vector<Variant>& args, Variant* result) = 0;
  /// Reads the property `member`.
  virtual Err Get(const std::string& member, Variant* result) = 0;
  /// Writes the property `member`.
  virtual Err Put(const std::string& member, const Variant& value) = 0;

  /// Calls a method without arguments.
  Err Call(const std::string& member, Variant* result) {
    std::vector<Variant> none;
    return Call(member, none, result);
  }
};

/// Helper base for classes built into the module: members are added as functions.
class DispatchObject : public AutomationObject {
 public:
  using Method = std::function<Err(std::vector<Variant>& args, Variant* result)>;
  using Getter = std::function<Err(Variant* result)>;
  using Setter = std::function<Err(const Variant& value)>;

  explicit DispatchObject(std::string source) : source_(std::move(source)) {}

  void AddMethod(const std::string& name, Method method);
  /// A property; without a setter it is read-only.
  void AddProperty(const std::string& name, Getter getter, Setter setter = {});

  Err Call(const std::string& member, std::vector<Variant>& args, Variant* result) override;
  Err Get(const std::string& member, Variant* result) override;
  Err Put(const std::string& member, const Variant& value) override;
  using AutomationObject::Call;

 private:
  std::string source_;
  std::map<std::string, Method> methods_;  // keys lower-cased
  std::map<std::string, std::pair<Getter, Setter>> properties_;
};

/// Makes a new instance of a built-in class, or returns null with `error` set.
using ObjectFactory = std::function<std::shared_ptr<AutomationObject>(Err* error)>;
/// The command line of the executable serving `progId`, or nullopt when none is known.
using LocalServerResolver = std::function<std::optional<std::string>(const std::string& progId)>;

/// Registers (or replaces) a built-in class. The identifier is matched without regard to case.
void RegisterBuiltinClass(const std::string& progId, ObjectFactory factory);
void UnregisterBuiltinClass(const std::string& progId);
/// Installs the resolver for served objects; returns the previous one. An empty function
/// means no served objects.
LocalServerResolver SetLocalServerResolver(LocalServerResolver resolver);

/// Time limits for served objects.
struct AutomationOptions {
  /// A call, get or put that gets no answer in this time fails with kErrCallTimeout and
  /// the serving process is killed. Dialog members wait for a person, hence the generous
  /// default.
  std::chrono::milliseconds call_timeout{std::chrono::minutes(10)};
  /// Time the executable has to answer the creation message.
  std::chrono::milliseconds create_timeout{std::chrono::seconds(30)};
  /// After the last release, how long the process may take to end before it is killed.
  std::chrono::milliseconds release_wait{std::chrono::seconds(2)};
};
/// Installs new limits for objects created afterwards; returns the previous ones.
AutomationOptions SetAutomationOptions(const AutomationOptions& options);
AutomationOptions CurrentAutomationOptions();

/// Creates the object `progId`. Null with `error` set (number 429, source `progId`) when
/// no class or server is known for it, or the server cannot be started or refuses.
std::shared_ptr<AutomationObject> CreateObject(const std::string& progId, Err* error);

/// Installs a resolver for the life of the object (tests).
class ScopedLocalServerResolver {
 public:
  explicit ScopedLocalServerResolver(LocalServerResolver resolver)
      : previous_(SetLocalServerResolver(std::move(resolver))) {}
  ~ScopedLocalServerResolver() { SetLocalServerResolver(std::move(previous_)); }
  ScopedLocalServerResolver(const ScopedLocalServerResolver&) = delete;
  ScopedLocalServerResolver& operator=(const ScopedLocalServerResolver&) = delete;

 private:
  LocalServerResolver previous_;
};

namespace detail {
/// Starts the served object (local_server.cpp).
std::shared_ptr<AutomationObject> CreateServedObject(const std::string& progId,
                                                     const std::string& command_line,
                                                     const AutomationOptions& options, Err* error);
}  // namespace detail

}  // namespace larkedi::automation
