// larkedi-fake-oxp: the host project server (OxPServer.clsOxPConnect) served over standard
// input and output, one JSON message per line, for tests.
//
// Objects: the connection (object 0) has the property clsOxProject, which hands out the
// project (object 1): showOrcaProject(), SetOrderInformation2(projectKey, designKey,
// catalog, partner, manufId, dealerId, method) returning True, and the writable property
// UnlockOrca.
//
// Options:
//   --log=FILE        one line per message handled: "create", "get clsOxProject",
//                     "call showOrcaProject", "call SetOrderInformation2 [args as JSON]",
//                     "put UnlockOrca true", "release N"
//   --refuse=CATALOG  SetOrderInformation2 answers False for that catalog
//   --refuse-create   the creation is refused (as a server that is not installed)
#include <nlohmann/json.hpp>
#include <string>

#include "line_fixture.h"

using nlohmann::json;
using namespace larkedi;
using fixture::Lower;
using fixture::SendLine;

namespace {

std::string log_path;
std::string refuse_catalog;
bool refuse_create = false;

void Log(const std::string& line) {
  fixture::LogLine(log_path, line);
}

json Error(const json& request, long number, const std::string& description) {
  return json{
      {"id", request["id"]},
      {"error",
       {{"number", number}, {"source", "OxPServer.clsOxPConnect"}, {"description", description}}}};
}

json Handle(const json& request) {
  const std::string op = request.value("op", "");
  const std::string member = Lower(request.value("member", ""));
  const long long object = request.value("object", 0LL);
  json answer{{"id", request["id"]}};
  if (op == "get" && object == 0 && member == "clsoxproject") {
    answer["result"] = {{"object", 1}};
    return answer;
  }
  if (op == "call" && object == 1 && member == "showorcaproject") return answer;
  if (op == "call" && object == 1 && member == "setorderinformation2") {
    const json args = request.value("args", json::array());
    const bool refused = args.size() > 2 && args[2].is_string() && args[2] == refuse_catalog;
    answer["result"] = args.size() == 7 && !refused;
    return answer;
  }
  if (op == "put" && object == 1 && member == "unlockorca") return answer;
  return Error(request, 438, "Object doesn't support this property or method: " + member);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--log=", 0) == 0) log_path = arg.substr(6);
    if (arg.rfind("--refuse=", 0) == 0) refuse_catalog = arg.substr(9);
    if (arg == "--refuse-create") refuse_create = true;
  }
  fixture::ServeLines([](const json& request) {
    const std::string op = request.value("op", "");
    std::string entry = op;
    if (request.contains("member")) entry += " " + request["member"].get<std::string>();
    if (op == "call") entry += " " + request.value("args", json::array()).dump();
    if (op == "put") entry += " " + request.value("value", json()).dump();
    if (op == "release") entry += " " + request.value("object", json(0)).dump();
    Log(entry);
    if (op == "create") {
      if (refuse_create) {
        SendLine(Error(request, 1000, "Orca Project is not installed"));
        return false;
      }
      SendLine(json{{"id", request["id"]}});
    } else if (op == "release") {
      SendLine(json{{"id", request["id"]}});
    } else {
      SendLine(Handle(request));
    }
    return true;
  });
  return 0;
}
