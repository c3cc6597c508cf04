#include "platform/automation/automation.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/registry/registry_store.h"

namespace larkedi::automation {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A program registered as the local server of a class: the default value of
// HKEY_CLASSES_ROOT\<progId>\LocalServer32 in the registry store.
std::optional<std::string> RegisteredLocalServer(const std::string& progId) {
  std::optional<std::string> command =
      registry::RegistryGetString("HKEY_CLASSES_ROOT\\" + progId + "\\LocalServer32", "");
  if (command && command->find_first_not_of(" \t") == std::string::npos) return std::nullopt;
  return command;
}

struct Registry {
  std::mutex mutex;
  std::map<std::string, ObjectFactory> builtins;  // keys lower-cased
  LocalServerResolver resolver = RegisteredLocalServer;
  AutomationOptions options;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();  // never destroyed: used until process end
  return *registry;
}

Err CannotCreate(const std::string& progId, const std::string& reason) {
  std::string description = "ActiveX component can't create object";
  if (!reason.empty()) description += ": " + reason;
  return Err::Raise(kErrCannotCreateObject, progId, description);
}

bool ParseNumber(const std::string& text, double* out) {
  std::size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return false;
  std::size_t e = text.find_last_not_of(" \t");
  std::string t = text.substr(b, e - b + 1);
  char* end = nullptr;
  double d = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(d)) return false;
  *out = d;
  return true;
}

}  // namespace

// ---- Variant -----------------------------------------------------------------------------

std::string Variant::AsString() const {
  switch (type()) {
    case Type::Empty:
    case Type::Null:
      return {};
    case Type::Bool:
      return std::get<bool>(v_) ? "True" : "False";
    case Type::Long:
      return std::to_string(std::get<long long>(v_));
    case Type::Double: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.15g", std::get<double>(v_));
      return buf;
    }
    case Type::String:
      return std::get<std::string>(v_);
    case Type::Object:
      return {};
  }
  return {};
}

long long Variant::AsLong() const {
  switch (type()) {
    case Type::Bool:
      return std::get<bool>(v_) ? -1 : 0;
    case Type::Long:
      return std::get<long long>(v_);
    case Type::Double: {
      double d = std::nearbyint(std::get<double>(v_));
      if (!(d > -9.2e18 && d < 9.2e18)) return 0;
      return static_cast<long long>(d);
    }
    case Type::String: {
      double d = 0;
      if (!ParseNumber(std::get<std::string>(v_), &d)) return 0;
      return Variant(d).AsLong();
    }
    default:
      return 0;
  }
}

double Variant::AsDouble() const {
  switch (type()) {
    case Type::Bool:
      return std::get<bool>(v_) ? -1.0 : 0.0;
    case Type::Long:
      return static_cast<double>(std::get<long long>(v_));
    case Type::Double:
      return std::get<double>(v_);
    case Type::String: {
      double d = 0;
      return ParseNumber(std::get<std::string>(v_), &d) ? d : 0.0;
    }
    default:
      return 0.0;
  }
}

bool Variant::AsBool() const {
  switch (type()) {
    case Type::Bool:
      return std::get<bool>(v_);
    case Type::Long:
      return std::get<long long>(v_) != 0;
    case Type::Double:
      return std::get<double>(v_) != 0.0;
    case Type::String: {
      std::string s = Lower(std::get<std::string>(v_));
      if (s == "true") return true;
      double d = 0;
      return ParseNumber(s, &d) && d != 0.0;
    }
    case Type::Object:
      return std::get<std::shared_ptr<AutomationObject>>(v_) != nullptr;
    default:
      return false;
  }
}

std::shared_ptr<AutomationObject> Variant::AsObject() const {
  if (type() != Type::Object) return nullptr;
  return std::get<std::shared_ptr<AutomationObject>>(v_);
}

// ---- DispatchObject ----------------------------------------------------------------------

void DispatchObject::AddMethod(const std::string& name, Method method) {
  methods_[Lower(name)] = std::move(method);
}

void DispatchObject::AddProperty(const std::string& name, Getter getter, Setter setter) {
  properties_[Lower(name)] = {std::move(getter), std::move(setter)};
}

Err DispatchObject::Call(const std::string& member, std::vector<Variant>& args, Variant* result) {
  Variant ignored;
  if (!result) result = &ignored;
  *result = Variant();
  auto it = methods_.find(Lower(member));
  if (it == methods_.end()) {
    // A property read with no arguments is also a valid call, as late binding allows.
    if (args.empty() && properties_.count(Lower(member))) return Get(member, result);
    return Err::Raise(kErrNoSuchMember, source_,
                      "Object doesn't support this property or method: '" + member + "'");
  }
  try {
    return it->second(args, result);
  } catch (const std::exception& e) {
    return Err::Raise(kErrComponent, source_, e.what());
  } catch (...) {
    return Err::Raise(kErrComponent, source_, "unexpected failure in '" + member + "'");
  }
}

Err DispatchObject::Get(const std::string& member, Variant* result) {
  Variant ignored;
  if (!result) result = &ignored;
  *result = Variant();
  auto it = properties_.find(Lower(member));
  if (it == properties_.end() || !it->second.first) {
    return Err::Raise(kErrNoSuchMember, source_,
                      "Object doesn't support this property or method: '" + member + "'");
  }
  try {
    return it->second.first(result);
  } catch (...) {
    return Err::Raise(kErrComponent, source_, "unexpected failure reading '" + member + "'");
  }
}

Err DispatchObject::Put(const std::string& member, const Variant& value) {
  auto it = properties_.find(Lower(member));
  if (it == properties_.end()) {
    return Err::Raise(kErrNoSuchMember, source_,
                      "Object doesn't support this property or method: '" + member + "'");
  }
  if (!it->second.second) {
    return Err::Raise(kErrNoSuchMember, source_, "Property '" + member + "' is read-only");
  }
  try {
    return it->second.second(value);
  } catch (...) {
    return Err::Raise(kErrComponent, source_, "unexpected failure writing '" + member + "'");
  }
}

// ---- Creation ----------------------------------------------------------------------------

void RegisterBuiltinClass(const std::string& progId, ObjectFactory factory) {
  auto& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.builtins[Lower(progId)] = std::move(factory);
}

void UnregisterBuiltinClass(const std::string& progId) {
  auto& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.builtins.erase(Lower(progId));
}

LocalServerResolver SetLocalServerResolver(LocalServerResolver resolver) {
  auto& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  std::swap(r.resolver, resolver);
  return resolver;
}

AutomationOptions SetAutomationOptions(const AutomationOptions& options) {
  auto& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  AutomationOptions previous = r.options;
  r.options = options;
  return previous;
}

AutomationOptions CurrentAutomationOptions() {
  auto& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.options;
}

std::shared_ptr<AutomationObject> CreateObject(const std::string& progId, Err* error) {
  Err local;
  if (!error) error = &local;
  error->Clear();
  if (progId.empty()) {
    *error = CannotCreate(progId, "no programmatic identifier given");
    return nullptr;
  }
  ObjectFactory factory;
  LocalServerResolver resolver;
  AutomationOptions options;
  {
    auto& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.builtins.find(Lower(progId));
    if (it != r.builtins.end()) factory = it->second;
    resolver = r.resolver;
    options = r.options;
  }
  if (factory) {
    std::shared_ptr<AutomationObject> object;
    Err made;
    try {
      object = factory(&made);
    } catch (...) {
      made = Err::Raise(kErrComponent, progId, "the class failed while being created");
    }
    if (object) return object;
    *error = CannotCreate(progId, made.Description);
    return nullptr;
  }
  std::optional<std::string> command_line;
  if (resolver) {
    try {
      command_line = resolver(progId);
    } catch (...) {
      command_line.reset();
    }
  }
  if (!command_line || command_line->find_first_not_of(" \t") == std::string::npos) {
    *error = CannotCreate(progId, "'" + progId + "' is not registered");
    return nullptr;
  }
  auto object = detail::CreateServedObject(progId, *command_line, options, error);
  if (!object) {
    PlatformLog("Cannot create " + progId + " from '" + *command_line + "': " + error->Description);
  }
  return object;
}

}  // namespace larkedi::automation
