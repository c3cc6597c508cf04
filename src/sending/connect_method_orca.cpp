#include "sending/connect_method_orca.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

#include "platform/env.h"
#include "platform/http_client.h"
#include "platform/ui/dialogs.h"
#include "platform/xml/xml.h"
#include "support/log.h"
#include "support/module.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {

namespace {

constexpr const char* kFileName = "ConnectMethodOrca.xml";
constexpr const char* kTitle = "ConnectMethodOrca";

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

/// The authority file named by LARKEDI_CA_FILE, read once per process.
const std::string& EnvironmentCaFile() {
  static const std::string file = [] {
    const char* value = std::getenv("LARKEDI_CA_FILE");
    return std::string(value ? value : "");
  }();
  return file;
}

/// The host[:port] of a normalised server address.
std::string Authority(const std::string& server) {
  std::size_t start = server.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  return server.substr(start, server.find('/', start) - start);
}

long ReadMs(const xml::Node& root, const char* name, long fallback) {
  const std::string text = Trim(GetNodeText(root, name));
  if (text.empty()) return fallback;
  long value = std::atol(text.c_str());
  return value > 0 ? value : fallback;
}

/// At most the first 200 characters of an answer, on one line, for an error text.
std::string Excerpt(const std::string& body) {
  std::string out = body.substr(0, 200);
  for (char& c : out) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  return Trim(out);
}

/// Whether a failed transfer certainly sent nothing (no connection was made).
bool NothingSent(const std::string& curl_error) {
  static const char* kBeforeSending[] = {"Couldn't resolve",     "Could not resolve",
                                         "Couldn't connect",     "Could not connect",
                                         "SSL peer certificate", "SSL certificate",
                                         "SSL connect error",    "Problem with the SSL CA cert",
                                         "Unsupported protocol"};
  for (const char* text : kBeforeSending) {
    if (curl_error.find(text) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

ConnectMethodOrca::ConnectMethodOrca(std::string module_folder)
    : path_(JoinPath(module_folder, kFileName)) {
  if (Err err = Load()) LogError("ConnectMethodOrca", err);
}

Err ConnectMethodOrca::Load() {
  partners_.clear();
  ca_file_.clear();
  if (!Env::Default()->Exists(path_)) return {};
  std::string text, error;
  if (!Env::Default()->ReadFile(path_, &text, &error)) {
    return Err::Raise(kErrFileAccess, "ConnectMethodOrca", error);
  }
  xml::Document doc;
  if (!doc.loadXML(text)) {
    return Err::Raise(kErrComponent, "ConnectMethodOrca",
                      "The server list " + path_ + " does not parse: " + doc.parseErrorReason());
  }
  xml::Node root = doc.documentElement();
  ca_file_ = Trim(GetNodeText(root, "CAFILE"));
  connect_timeout_ms_ = ReadMs(root, "CONNECTTIMEOUTMS", 5000);
  total_timeout_ms_ = ReadMs(root, "TIMEOUTMS", 60000);
  health_timeout_ms_ = ReadMs(root, "HEALTHTIMEOUTMS", 3000);
  for (xml::Node partner : root.selectNodes("PARTNER")) {
    Partner entry;
    entry.code = Trim(partner.getAttribute("code"));
    for (xml::Node server : partner.selectNodes("SERVER")) {
      std::string normalized, reason;
      if (NormalizeServer(server.text(), &normalized, &reason)) {
        entry.servers.push_back(normalized);
      } else {
        WriteLog("ConnectMethodOrca: server skipped: " + reason);
      }
    }
    if (!entry.code.empty()) partners_.push_back(std::move(entry));
  }
  return {};
}

Err ConnectMethodOrca::Save() {
  xml::Document doc;
  xml::Node root = doc.createElement("ConnectMethodOrca");
  doc.setDocumentElement(root);
  auto add = [&doc](xml::Node parent, const char* name, const std::string& value) {
    xml::Node element = doc.createElement(name);
    element.setText(value);
    return parent.appendChild(element);
  };
  if (!ca_file_.empty()) add(root, "CAFILE", ca_file_);
  add(root, "CONNECTTIMEOUTMS", std::to_string(connect_timeout_ms_));
  add(root, "TIMEOUTMS", std::to_string(total_timeout_ms_));
  add(root, "HEALTHTIMEOUTMS", std::to_string(health_timeout_ms_));
  for (const auto& partner : partners_) {
    xml::Node element = doc.createElement("PARTNER");
    element.setAttribute("code", partner.code);
    for (const auto& server : partner.servers) add(element, "SERVER", server);
    root.appendChild(element);
  }
  std::string text = root.xml();
  Err err;
  SaveXmlText(text, path_, &err);
  return err;
}

bool ConnectMethodOrca::NormalizeServer(const std::string& server, std::string* normalized,
                                        std::string* error) {
  std::string text = Trim(server);
  if (text.empty()) {
    *error = "No server given.";
    return false;
  }
  for (unsigned char c : text) {
    if (std::isspace(c) || c < 0x20) {
      *error = "A server address holds no blanks: " + text;
      return false;
    }
  }
  std::size_t scheme_end = text.find("://");
  if (scheme_end == std::string::npos) {
    text = "https://" + text;
    scheme_end = 5;
  }
  const std::string scheme = Lower(text.substr(0, scheme_end));
  if (scheme != "http" && scheme != "https") {
    *error = "Only https and http servers can be used: " + text;
    return false;
  }
  std::string rest = text.substr(scheme_end + 3);
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  const std::string host = rest.substr(0, rest.find('/'));
  if (host.empty() || host.front() == ':' || rest.find_first_of("?#") != std::string::npos) {
    *error = "Not a server address: " + Trim(server);
    return false;
  }
  text = scheme + "://" + rest;
  *normalized = text;
  return true;
}

ConnectMethodOrca::Partner* ConnectMethodOrca::Find(const std::string& code) {
  const std::string wanted = Upper(Trim(code));
  for (auto& partner : partners_) {
    if (Upper(partner.code) == wanted) return &partner;
  }
  return nullptr;
}

const ConnectMethodOrca::Partner* ConnectMethodOrca::Find(const std::string& code) const {
  return const_cast<ConnectMethodOrca*>(this)->Find(code);
}

std::vector<std::string> ConnectMethodOrca::Servers(const std::string& partner_code) const {
  const Partner* partner = Find(partner_code);
  return partner ? partner->servers : std::vector<std::string>{};
}

Err ConnectMethodOrca::AddServer(const std::string& partner_code, const std::string& server) {
  const std::string code = Trim(partner_code);
  if (code.empty()) return Err::Raise(kErrOrcaBadRequest, "ConnectMethodOrca", "No partner code.");
  std::string normalized, reason;
  if (!NormalizeServer(server, &normalized, &reason)) {
    return Err::Raise(kErrOrcaBadRequest, "ConnectMethodOrca", reason);
  }
  Partner* partner = Find(code);
  if (!partner) {
    partners_.push_back(Partner{code, {}});
    partner = &partners_.back();
  }
  if (std::find(partner->servers.begin(), partner->servers.end(), normalized) ==
      partner->servers.end()) {
    partner->servers.push_back(normalized);
  }
  return Save();
}

Err ConnectMethodOrca::RemoveServer(const std::string& partner_code, const std::string& server) {
  Partner* partner = Find(partner_code);
  std::string normalized, reason;
  if (!NormalizeServer(server, &normalized, &reason)) normalized = Trim(server);
  if (partner) {
    auto it = std::find(partner->servers.begin(), partner->servers.end(), normalized);
    if (it != partner->servers.end()) {
      partner->servers.erase(it);
      if (partner->servers.empty()) {
        partners_.erase(partners_.begin() + (partner - partners_.data()));
      }
      return Save();
    }
  }
  return Err::Raise(kErrOrcaBadRequest, "ConnectMethodOrca",
                    "No server " + Trim(server) + " for partner " + Trim(partner_code) + ".");
}

Err ConnectMethodOrca::SetCaFile(const std::string& ca_file) {
  ca_file_ = Trim(ca_file);
  return Save();
}

std::string ConnectMethodOrca::CaFile() const {
  return ca_file_.empty() ? EnvironmentCaFile() : ca_file_;
}

void ConnectMethodOrca::SetError(long number, std::string description) {
  error_number_ = number;
  error_description_ = std::move(description);
}

namespace {

/// Reads an input parameter of the exact form the send pipeline builds,
/// <InputParameter><PartnerCode[ freeedi="1"]><![CDATA[code]]></PartnerCode>[<Data>document
/// </Data>]</InputParameter>, without parsing the document it carries (a purchase order
/// can be large, and the gateway checks it anyway). False for any other form.
bool ReadPipelineParameter(std::string_view text, std::string* code, std::string* data) {
  auto take = [&text](std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
  };
  if (!take("<InputParameter><PartnerCode")) return false;
  if (!take(">") && !(take(" freeedi=\"1\">"))) return false;
  if (!take("<![CDATA[")) return false;
  const std::size_t end = text.find("]]>");
  if (end == std::string_view::npos) return false;
  const std::string_view partner = text.substr(0, end);
  text.remove_prefix(end + 3);
  if (!take("</PartnerCode>")) return false;
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  constexpr std::string_view kClose = "</InputParameter>";
  constexpr std::string_view kDataClose = "</Data></InputParameter>";
  std::string_view document;
  if (text == kClose) {
    document = {};
  } else if (take("<Data>") && text.size() >= kDataClose.size() &&
             text.substr(text.size() - kDataClose.size()) == kDataClose) {
    document = text.substr(0, text.size() - kDataClose.size());
  } else {
    return false;
  }
  // Only markup is taken as it stands; escaped or CDATA content needs the parser.
  if (!document.empty() && (document.front() != '<' || document.substr(0, 9) == "<![CDATA[")) {
    return false;
  }
  *code = Trim(partner);
  if (data) *data = std::string(document);
  return true;
}

}  // namespace

bool ConnectMethodOrca::ReadParameter(const std::string& input_parameter, std::string* code,
                                      std::string* data) {
  if (ReadPipelineParameter(input_parameter, code, data) && !code->empty()) return true;
  xml::Document doc;
  if (!doc.loadXML(input_parameter)) {
    SetError(kErrOrcaBadRequest, "The input parameter is not XML: " + doc.parseErrorReason());
    return false;
  }
  *code = Trim(GetNodeText(doc, "InputParameter/PartnerCode"));
  if (code->empty()) {
    SetError(kErrOrcaBadRequest, "The input parameter names no partner.");
    return false;
  }
  if (data) {
    data->clear();
    xml::Node node = doc.selectSingleNode("InputParameter/Data");
    if (node) {
      bool markup = false;
      for (xml::Node child : node.childNodes()) {
        markup = markup || child.nodeType() == xml::NodeType::Element;
      }
      // The document travels as markup inside Data; text there is a document escaped.
      if (markup) {
        for (xml::Node child : node.childNodes()) *data += child.xml();
      } else {
        *data = node.text();
      }
    }
  }
  return true;
}

long ConnectMethodOrca::connectioncount(const std::string& input_parameter) {
  std::string code;
  if (!ReadParameter(input_parameter, &code, nullptr)) return 0;
  return static_cast<long>(Servers(code).size());
}

bool ConnectMethodOrca::Healthy(const std::string& server) {
  HttpRequest request;
  request.url = server + "/gateway/health";
  request.connect_timeout_ms = std::min(connect_timeout_ms_, health_timeout_ms_);
  request.total_timeout_ms = health_timeout_ms_;
  request.max_response_bytes = 64 * 1024;
  request.ca_file = CaFile();
  HttpResponse answer = HttpSend(request);
  return answer.completed && answer.status == 200;
}

automation::Variant ConnectMethodOrca::testconnection(const std::string& input_parameter) {
  std::string code;
  if (!ReadParameter(input_parameter, &code, nullptr)) return automation::Variant::Null();
  const std::string key = Upper(code);
  found_.erase(std::remove_if(found_.begin(), found_.end(),
                              [&key](const auto& entry) { return entry.first == key; }),
               found_.end());
  for (const auto& server : Servers(code)) {
    if (Healthy(server)) {
      found_.emplace_back(key, server);
      SetError(0, "");
      return automation::Variant(server);
    }
  }
  SetError(kErrOrcaNotDelivered, "No gateway server of partner " + code + " answers.");
  return automation::Variant::Null();
}

bool ConnectMethodOrca::sendfiles(const std::string& input_parameter) {
  response_.clear();
  SetError(0, "");
  std::string code, data;
  if (!ReadParameter(input_parameter, &code, &data)) return false;
  if (Trim(data).empty()) {
    SetError(kErrOrcaBadRequest, "The input parameter holds no document to send.");
    return false;
  }
  std::string server;
  for (const auto& [key, found] : found_) {
    if (key == Upper(code)) server = found;
  }
  if (server.empty()) {
    std::vector<std::string> servers = Servers(code);
    if (servers.empty()) {
      SetError(kErrOrcaBadRequest, "No gateway server is configured for partner " + code + ".");
      return false;
    }
    server = servers.front();
  }

  HttpRequest request;
  request.method = "POST";
  request.url = server + "/gateway/receive?partner=" + PercentEncode(code);
  request.headers = {{"Content-Type", "text/xml; charset=utf-8"}};
  request.body = std::move(data);
  request.connect_timeout_ms = connect_timeout_ms_;
  request.total_timeout_ms = total_timeout_ms_;
  request.max_response_bytes = 1 << 20;
  request.ca_file = CaFile();
  HttpResponse answer = HttpSend(request);
  if (!answer.completed) {
    if (NothingSent(answer.error)) {
      SetError(kErrOrcaNotDelivered,
               "The order could not be delivered to " + server + ": " + answer.error);
    } else {
      SetError(kErrOrcaNoAnswer,
               "No answer from " + server +
                   " after the order was sent; it may have arrived: " + answer.error);
    }
    return false;
  }
  if (answer.status >= 400) {
    SetError(answer.status, "The gateway " + server + " refused the order (HTTP " +
                                std::to_string(answer.status) + "): " + Excerpt(answer.body));
    return false;
  }
  xml::Document reply;
  if (answer.status != 200 || !reply.loadXML(answer.body) ||
      Trim(GetNodeText(reply, "RESPONSE/SEQUENCE")).empty()) {
    SetError(kErrOrcaNoAnswer, "The gateway " + server +
                                   " answered without a sequence number; the order may have "
                                   "arrived (HTTP " +
                                   std::to_string(answer.status) + "): " + Excerpt(answer.body));
    return false;
  }
  response_ = answer.body;
  return true;
}

std::string ConnectMethodOrca::GetConnection(const std::string& input_parameter) {
  std::string code;
  if (!ReadParameter(input_parameter, &code, nullptr)) return "";
  std::vector<std::string> servers = Servers(code);
  return servers.empty() ? "" : Authority(servers.front());
}

void ConnectMethodOrca::Configure(const std::string& input_parameter) {
  std::string code;
  if (!ReadParameter(input_parameter, &code, nullptr)) {
    CurrentDialogs().MsgBox(error_description_, MsgButtons::OK, MsgIcon::Information, kTitle);
    return;
  }
  Dialogs& dialogs = CurrentDialogs();
  while (true) {
    std::vector<std::string> servers = Servers(code);
    std::string prompt = "Gateway servers for partner " + code + ":\n";
    if (servers.empty()) prompt += "  (none)\n";
    for (std::size_t i = 0; i < servers.size(); ++i) {
      prompt += "  " + std::to_string(i + 1) + ". " + servers[i] + "\n";
    }
    prompt +=
        "\nType a host name or address to add it, -N to remove server N, ? to test the "
        "servers. Leave empty to close.";
    std::optional<std::string> answer = dialogs.InputBox(prompt, kTitle, "");
    if (!answer) return;
    const std::string command = Trim(*answer);
    if (command.empty()) return;
    Err err;
    if (command == "?") {
      std::string report;
      for (const auto& server : servers) {
        report += server + (Healthy(server) ? ": answers\n" : ": does not answer\n");
      }
      if (report.empty()) report = "No server to test.";
      dialogs.MsgBox(report, MsgButtons::OK, MsgIcon::Information, kTitle);
      continue;
    }
    if (command[0] == '-') {
      const long index = std::atol(command.c_str() + 1);
      if (index >= 1 && static_cast<std::size_t>(index) <= servers.size()) {
        err = RemoveServer(code, servers[static_cast<std::size_t>(index - 1)]);
      } else {
        err = Err::Raise(kErrOrcaBadRequest, "ConnectMethodOrca",
                         "There is no server " + command.substr(1) + ".");
      }
    } else {
      err = AddServer(code, command);
    }
    if (err) dialogs.MsgBox(err.Description, MsgButtons::OK, MsgIcon::Exclamation, kTitle);
  }
}

// ---- automation object -------------------------------------------------------------------

namespace {

std::string ArgText(const std::vector<automation::Variant>& args) {
  return args.empty() ? std::string() : args[0].AsString();
}

}  // namespace

std::shared_ptr<automation::AutomationObject> CreateConnectMethodOrcaObject(Err* /*error*/) {
  auto connector = std::make_shared<ConnectMethodOrca>(ModuleFolder());
  auto object = std::make_shared<automation::DispatchObject>(ConnectMethodOrca::kProgId);
  using Args = std::vector<automation::Variant>;
  object->AddMethod("connectioncount", [connector](Args& args, automation::Variant* result) {
    long count = connector->connectioncount(ArgText(args));
    if (result) *result = automation::Variant(count);
    return Err{};
  });
  object->AddMethod("testconnection", [connector](Args& args, automation::Variant* result) {
    automation::Variant found = connector->testconnection(ArgText(args));
    if (result) *result = found;
    return Err{};
  });
  object->AddMethod("sendfiles", [connector](Args& args, automation::Variant* result) {
    bool sent = connector->sendfiles(ArgText(args));
    if (result) *result = automation::Variant(sent);
    return Err{};
  });
  object->AddMethod("GetConnection", [connector](Args& args, automation::Variant* result) {
    std::string host = connector->GetConnection(ArgText(args));
    if (result) *result = automation::Variant(host);
    return Err{};
  });
  object->AddMethod("Configure", [connector](Args& args, automation::Variant* result) {
    connector->Configure(ArgText(args));
    if (result) *result = automation::Variant();
    return Err{};
  });
  object->AddProperty("response", [connector](automation::Variant* result) {
    *result = automation::Variant(connector->response());
    return Err{};
  });
  object->AddProperty("errornumber", [connector](automation::Variant* result) {
    *result = automation::Variant(connector->errornumber());
    return Err{};
  });
  object->AddProperty("errordescription", [connector](automation::Variant* result) {
    *result = automation::Variant(connector->errordescription());
    return Err{};
  });
  return object;
}

void RegisterConnectMethodOrca() {
  automation::RegisterBuiltinClass(ConnectMethodOrca::kProgId, CreateConnectMethodOrcaObject);
}

namespace {
// Registered when the module starts, as every built-in class is.
[[maybe_unused]] const bool kRegistered = (RegisterConnectMethodOrca(), true);
}  // namespace

}  // namespace larkedi
