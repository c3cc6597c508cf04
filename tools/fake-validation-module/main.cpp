// larkedi-fake-validation: a validation module served over standard input and output, one
// JSON message per line, for tests.
//
// Members:
//   ValidateCatalog(sXml)  sets CatalogStatus of every Catalog to $FAKE_MODULE_STATUS (when
//                          set), returns $FAKE_MODULE_MESSAGE (default empty)
//   DoDialog(sXml)         returns $FAKE_MODULE_DIALOG when set ("Cancel" or a text), else
//                          the design text; marks the design with a DIALOGSHOWN element
//   Echo(a)                returns a             Swap(a, b)      swaps its arguments
//   Upper(s)               upper-cases s, returns its length
//   Nothing()              returns Null          IsTrue(x)       returns x == "yes"
//   Half(n)                returns n / 2         Fail(n, text)   fails with number n, text
//   Sleep(ms)              answers after ms      Pid()           the process id
//   property Value         read and write        property Child  a second object (Name,
//                                                                 property UnlockOrca)
//   property Misbehave     as $FAKE_MODULE_MISBEHAVE, for the calls after it is set
// $FAKE_MODULE_MISBEHAVE (or the argument --misbehave=X): "refuse" (creation refused), "exit" (ends
// at creation),
//   "crash", "hang", "badjson", "noisy" (1 MB on standard error first), "silent-exit"
//   (ends without answering) — all but the first two apply to ValidateCatalog and DoDialog.
// $FAKE_MODULE_LOG: a file that receives one line per message handled.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "platform/env.h"
#include "platform/xml/xml.h"

using nlohmann::json;
using namespace larkedi;

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string EnvOr(const char* name, const std::string& fallback = "") {
  const char* v = std::getenv(name);
  return v ? std::string(v) : fallback;
}

void Log(const std::string& line) {
  std::string path = EnvOr("FAKE_MODULE_LOG");
  if (path.empty()) return;
  std::string error;
  Env::Default()->AppendFile(path, line + "\n", &error);
}

void Send(const json& message) {
  std::cout << message.dump() << "\n" << std::flush;
}

std::string misbehave = EnvOr("FAKE_MODULE_MISBEHAVE");
std::string value_property;
std::map<long long, std::string> objects;  // live sub-objects
long long next_object = 1;
bool unlocked = false;
bool root_released = false;

// Misbehaviour that applies to the validation members. Returns true when the message was
// dealt with (a bad answer was sent).
bool Misbehave(const json& request) {
  if (misbehave == "crash") std::abort();
  if (misbehave == "silent-exit") std::exit(4);
  if (misbehave == "hang") {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  if (misbehave == "noisy") {
    std::string chunk(1023, 'x');
    for (int i = 0; i < 1024; ++i) std::cerr << chunk << "\n";
    std::cerr << std::flush;
  }
  if (misbehave == "badjson") {
    std::cout << "{\"id\": " << request["id"] << ", this is not json\n" << std::flush;
    return true;
  }
  return false;
}

json Error(const json& request, long number, const std::string& description) {
  return json{
      {"id", request["id"]},
      {"error",
       {{"number", number}, {"source", "FakeValidation.Module"}, {"description", description}}}};
}

std::string ArgText(const json& args, std::size_t i) {
  if (i >= args.size()) return {};
  if (args[i].is_string()) return args[i];
  return args[i].dump();
}

json HandleCall(const json& request) {
  const std::string member = Lower(request.value("member", ""));
  json args = request.value("args", json::array());
  json answer{{"id", request["id"]}};
  long long object = request.value("object", 0LL);
  if (object != 0) {
    if (member == "name") {
      answer["result"] = objects.count(object) ? objects[object] : "";
      return answer;
    }
    return Error(request, 438, "Object doesn't support this property or method");
  }
  if (member == "validatecatalog" || member == "dodialog") {
    xml::Document doc;
    doc.loadXML(ArgText(args, 0));
    if (member == "validatecatalog") {
      std::string status = EnvOr("FAKE_MODULE_STATUS");
      if (!status.empty()) {
        for (xml::Node catalog : doc.selectNodes("//Catalog")) {
          xml::Node old = catalog.selectSingleNode("CatalogStatus");
          if (old) catalog.removeChild(old);
          xml::Node node = doc.createElement("CatalogStatus");
          node.setText(status);
          catalog.appendChild(node);
        }
        args[0] = doc.xml();
      }
      answer["result"] = EnvOr("FAKE_MODULE_MESSAGE");
    } else {
      if (xml::Node root = doc.documentElement()) {
        root.appendChild(doc.createElement("DIALOGSHOWN"));
        args[0] = doc.xml();
      }
      const char* reply = std::getenv("FAKE_MODULE_DIALOG");
      answer["result"] = reply ? std::string(reply) : ArgText(args, 0);
    }
    answer["args"] = args;
    return answer;
  }
  if (member == "echo") {
    answer["result"] = args.empty() ? json(nullptr) : args[0];
  } else if (member == "swap" && args.size() >= 2) {
    std::swap(args[0], args[1]);
    answer["args"] = args;
  } else if (member == "upper" && !args.empty()) {
    std::string s = ArgText(args, 0);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    args[0] = s;
    answer["args"] = args;
    answer["result"] = s.size();
  } else if (member == "nothing") {
    answer["result"] = nullptr;
  } else if (member == "istrue") {
    answer["result"] = ArgText(args, 0) == "yes";
  } else if (member == "half") {
    answer["result"] = (args.empty() || !args[0].is_number()) ? 0.0 : args[0].get<double>() / 2;
  } else if (member == "fail") {
    return Error(request, args.empty() ? 1000 : args[0].get<long>(), ArgText(args, 1));
  } else if (member == "sleep") {
    long ms = args.empty() || !args[0].is_number() ? 0 : args[0].get<long>();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  } else if (member == "pid") {
    answer["result"] = static_cast<long long>(::getpid());
  } else {
    return Error(request, 438, "Object doesn't support this property or method: " + member);
  }
  return answer;
}

json HandleGet(const json& request) {
  const std::string member = Lower(request.value("member", ""));
  json answer{{"id", request["id"]}};
  if (member == "value") {
    answer["result"] = value_property;
  } else if (member == "misbehave") {
    answer["result"] = misbehave;
  } else if (member == "child") {
    long long id = next_object++;
    objects[id] = "child";
    answer["result"] = {{"object", id}};
  } else if (member == "unlocked") {
    answer["result"] = unlocked;
  } else {
    return Error(request, 438, "Object doesn't support this property or method: " + member);
  }
  return answer;
}

json HandlePut(const json& request) {
  const std::string member = Lower(request.value("member", ""));
  json value = request.value("value", json());
  if (member == "value") {
    value_property = value.is_string() ? value.get<std::string>() : value.dump();
  } else if (member == "misbehave") {
    misbehave = value.is_string() ? value.get<std::string>() : "";
  } else if (member == "unlockorca" && request.value("object", 0LL) != 0) {
    unlocked = value.is_boolean() && value.get<bool>();
  } else {
    return Error(request, 438, "Object doesn't support this property or method: " + member);
  }
  return json{{"id", request["id"]}};
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--misbehave=", 0) == 0) misbehave = arg.substr(12);
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    json request = json::parse(line, nullptr, false);
    if (request.is_discarded() || !request.is_object()) continue;
    const std::string op = request.value("op", "");
    Log(op + (request.contains("member") ? " " + request["member"].get<std::string>() : "") +
        (op == "release" ? " " + request.value("object", json(0)).dump() : ""));
    if (op == "create") {
      if (misbehave == "exit") return 3;
      if (misbehave == "refuse") {
        Send(Error(request, 1000, "this module is not licensed"));
        continue;
      }
      Send(json{{"id", request["id"]}});
    } else if (op == "call") {
      const std::string member = Lower(request.value("member", ""));
      if ((member == "validatecatalog" || member == "dodialog") && Misbehave(request)) continue;
      Send(HandleCall(request));
    } else if (op == "get") {
      Send(HandleGet(request));
    } else if (op == "put") {
      Send(HandlePut(request));
    } else if (op == "release") {
      long long object = request.value("object", 0LL);
      Send(json{{"id", request["id"]}});
      if (object == 0) root_released = true;
      objects.erase(object);
      if (root_released && objects.empty()) return 0;  // nothing left to serve
    } else {
      Send(Error(request, 438, "unknown operation " + op));
    }
  }
  return 0;
}
