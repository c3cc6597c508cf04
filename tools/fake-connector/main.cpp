// larkedi-fake-connector: a connector module (<OBJECTNAME>.spooler) served over standard
// input and output, one JSON message per line, for tests. It keeps every document it
// accepts, so a test can count what reached the partner.
//
// Members: connectioncount(p) -> the number of servers; testconnection(p) -> a server name,
// or Null with --no-server; sendfiles(p) -> True when accepted (the Data of p is stored);
// GetConnection(p) -> "gate.fake.test"; Configure([p]); properties response (RESPONSE/
// SEQUENCE), errornumber and errordescription.
//
// Options:
//   --store=DIR     accepted documents are kept as DIR/<n>.xml, n counting from 1 over all
//                   runs; n is the sequence number answered
//   --servers=N     what connectioncount answers (default 1)
//   --no-server     testconnection answers Null
//   --refuse=TEXT   sendfiles refuses (errornumber 403) a document that holds TEXT
//   --log=FILE      one line per call: the member and its first argument's partner code
#include <nlohmann/json.hpp>
#include <string>

#include "line_fixture.h"
#include "platform/env.h"

using nlohmann::json;
using namespace larkedi;
using fixture::Lower;
using fixture::SendLine;

namespace {

std::string store;
std::string log_path;
std::string refuse_text;
long long servers = 1;
bool no_server = false;

std::string response;
long long error_number = 0;
std::string error_description;

void Log(const std::string& line) {
  fixture::LogLine(log_path, line);
}

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  const auto b = text.find(open);
  const auto e = text.rfind(close);
  if (b == std::string::npos || e == std::string::npos || e < b + open.size()) return {};
  return text.substr(b + open.size(), e - b - open.size());
}

bool SendFiles(const std::string& parameter) {
  response.clear();
  error_number = 0;
  error_description.clear();
  const std::string data = Between(parameter, "<Data>", "</Data>");
  if (!refuse_text.empty() && data.find(refuse_text) != std::string::npos) {
    error_number = 403;
    error_description = "refused: the document holds " + refuse_text;
    return false;
  }
  Env* env = Env::Default();
  std::string reason;
  env->CreateDirectories(store, nullptr);
  int n = 1;
  while (env->Exists(JoinPath(store, std::to_string(n) + ".xml"))) ++n;
  if (store.empty() ||
      !env->WriteFileAtomic(JoinPath(store, std::to_string(n) + ".xml"), data, &reason)) {
    error_number = 500;
    error_description = "cannot store the document: " + reason;
    return false;
  }
  response = "<RESPONSE><SEQUENCE>" + std::to_string(n) + "</SEQUENCE></RESPONSE>";
  return true;
}

json Handle(const json& request) {
  const std::string op = request.value("op", "");
  const std::string member = Lower(request.value("member", ""));
  const json args = request.value("args", json::array());
  const std::string first = !args.empty() && args[0].is_string() ? args[0].get<std::string>() : "";
  json answer{{"id", request["id"]}};
  if (op == "call") {
    Log(member + " " + Between(first, "<![CDATA[", "]]></PartnerCode>"));
    if (member == "connectioncount") {
      answer["result"] = servers;
    } else if (member == "testconnection") {
      answer["result"] = no_server ? json(nullptr) : json("fake.gateway.test");
    } else if (member == "sendfiles") {
      answer["result"] = SendFiles(first);
    } else if (member == "getconnection") {
      answer["result"] = "gate.fake.test";
    } else if (member == "configure") {
    } else {
      return json{{"id", request["id"]},
                  {"error", {{"number", 438}, {"description", "no member " + member}}}};
    }
    return answer;
  }
  if (op == "get") {
    if (member == "response") {
      answer["result"] = response;
    } else if (member == "errornumber") {
      answer["result"] = error_number;
    } else if (member == "errordescription") {
      answer["result"] = error_description;
    } else {
      return json{{"id", request["id"]},
                  {"error", {{"number", 438}, {"description", "no property " + member}}}};
    }
    return answer;
  }
  return answer;  // create, release
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--store=", 0) == 0) store = arg.substr(8);
    if (arg.rfind("--log=", 0) == 0) log_path = arg.substr(6);
    if (arg.rfind("--refuse=", 0) == 0) refuse_text = arg.substr(9);
    if (arg.rfind("--servers=", 0) == 0) servers = std::stoll(arg.substr(10));
    if (arg == "--no-server") no_server = true;
  }
  fixture::ServeLines([](const json& request) {
    SendLine(Handle(request));
    return true;
  });
  return 0;
}
