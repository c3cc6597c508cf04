#include "settings/partner_service.h"

#include "platform/registry/registry_store.h"

#include <cstdlib>
#include <mutex>

#include "platform/env.h"
#include "platform/http_client.h"
#include "platform/ui/dialogs.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

constexpr const char* kSoapEnvelopeNs = "http://schemas.xmlsoap.org/soap/envelope/";

std::mutex& ProviderMutex() {
  static std::mutex mutex;
  return mutex;
}

PartnerServiceConfigProvider& Provider() {
  static PartnerServiceConfigProvider provider;
  return provider;
}

std::string EnvValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

/// Operation names become element names and XPath steps: letters, digits and "_" only.
bool IsPlainName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    bool ok =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return !(name[0] >= '0' && name[0] <= '9');
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

/// One namespace declaration for setSelectionNamespaces, quoted so the URI cannot end it.
std::string NamespaceBinding(const std::string& prefix, const std::string& uri) {
  char quote = uri.find('\'') == std::string::npos ? '\'' : '"';
  return "xmlns:" + prefix + "=" + quote + uri + quote;
}

void ShowCannotCreateDocument() {
  std::string text = ResParam("MSG CannotCreateObjectParam", {"MSXML2.DOMDocument40"}) + "\r\n" +
                     Res("LBL Reference") + " Microsoft XML, v4.0 (msxml4.dll)";
  CurrentDialogs().MsgBox(text, MsgButtons::OK, MsgIcon::Critical, ModuleName());
}

/// Keeps the last answer for support staff; a failure here never fails the call.
void WriteDiagnosticCopy(const xml::Document& doc) {
  std::string folder = ModulePath("Response");
  std::string error;
  if (!Env::Default()->CreateDirectories(folder, &error) ||
      !doc.save(JoinPath(folder, "wsResponse.xml"), &error)) {
    WriteLog("Cannot write the Web Service response copy: " + error);
  }
}

bool GetSoapResultIn(const std::string& responseText, const std::string& operation,
                     const std::string& ns, xml::Node& resultNode) {
  resultNode = xml::Node();
  if (responseText.empty() || operation.empty()) return false;
  WriteLog("Parsing Web Service response.\r\nResponse: " + responseText);

  xml::Document doc;
  if (!CreateDomDocument(doc)) {
    ShowCannotCreateDocument();
    return false;
  }
  if (!doc.setSelectionNamespaces(NamespaceBinding("soap", kSoapEnvelopeNs) + " " +
                                  NamespaceBinding("oxox", ns))) {
    WriteLog("The Web Service namespace cannot be bound: " + ns);
    return false;
  }
  if (!doc.loadXML(responseText)) {
    std::string description =
        Res("MSG CannotLoadXML") + "\r\n" + ResParam("MSG ReasonParam", {doc.parseErrorReason()});
    Err err = Err::Raise(kErrComponent, "frmEDI.GetSoapResult", description);
    LogError(ResParam("MSG ErrorNumberSourceDescription",
                      {std::to_string(err.Number), err.Source, err.Description}),
             err);
    return false;
  }
  WriteDiagnosticCopy(doc);
  if (!IsPlainName(operation)) return false;
  resultNode = doc.selectSingleNode("soap:Envelope/soap:Body/oxox:" + operation +
                                    "Response/oxox:" + operation + "Result");
  return !resultNode.isNull();
}

}  // namespace

PartnerServiceConfig RegistryPartnerServiceConfig() {
  // Values missing or empty in the registry keep the built-in defaults.
  const std::string key = "HKEY_CURRENT_USER\\Software\\Orca Technologies\\EDI\\PartnerService";
  PartnerServiceConfig config;
  auto read = [&](const char* name, std::string& field) {
    std::optional<std::string> v = registry::RegistryGetString(key, name);
    if (v && !Trim(*v).empty()) field = Trim(*v);
  };
  read("Endpoint", config.Endpoint);
  read("DevelopmentEndpoint", config.DevelopmentEndpoint);
  read("Namespace", config.Namespace);
  return config;
}

void SetPartnerServiceConfigProvider(PartnerServiceConfigProvider provider) {
  std::lock_guard<std::mutex> lock(ProviderMutex());
  Provider() = std::move(provider);
}

PartnerServiceConfig GetPartnerServiceConfig() {
  PartnerServiceConfigProvider provider;
  {
    std::lock_guard<std::mutex> lock(ProviderMutex());
    provider = Provider();
  }
  PartnerServiceConfig config = provider ? provider() : RegistryPartnerServiceConfig();
  if (std::string v = EnvValue("LARKEDI_PARTNER_ENDPOINT"); !v.empty()) {
    config.Endpoint = v;
    config.DevelopmentEndpoint = v;
  }
  if (std::string v = EnvValue("LARKEDI_PARTNER_DEV_ENDPOINT"); !v.empty()) {
    config.DevelopmentEndpoint = v;
  }
  if (std::string v = EnvValue("LARKEDI_PARTNER_NAMESPACE"); !v.empty()) config.Namespace = v;
  return config;
}

std::string PartnerServiceEndpoint(const PartnerServiceConfig& config) {
  return Module().LogEnabled ? config.DevelopmentEndpoint : config.Endpoint;
}

std::string BuildSoapEnvelope(const std::string& ns, const std::string& operation,
                              const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
         "<soap:Envelope xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
         "<soap:Body><" +
         operation + " xmlns=\"" + ns + "\">" + body + "</" + operation +
         "></soap:Body></soap:Envelope>";
}

std::string SoapAction(const std::string& ns, const std::string& operation) {
  if (!ns.empty() && ns.back() == '/') return ns + operation;
  return ns + "/" + operation;
}

std::string SendSoapRequest(const std::string& endpoint, const std::string& ns,
                            const std::string& operation, const std::string& body) {
  if (endpoint.empty() || !IsPlainName(operation)) return {};
  const PartnerServiceConfig config = GetPartnerServiceConfig();
  // std::string holds UTF-8 bytes, so its size is the byte count the header needs.
  const std::string envelope = BuildSoapEnvelope(ns, operation, body);
  HttpRequest request;
  request.method = "POST";
  request.url = endpoint;
  request.headers = {{"Content-Type", "text/xml; charset=utf-8"},
                     {"Content-Length", std::to_string(envelope.size())},
                     {"SOAPAction", SoapAction(ns, operation)}};
  request.body = envelope;
  request.connect_timeout_ms = config.ConnectTimeoutMs;
  request.total_timeout_ms = config.TotalTimeoutMs;
  request.max_response_bytes = config.MaxResponseBytes;
  HttpResponse response = HttpSend(request);
  if (!response.completed) {
    WriteLog("The Web Service request " + operation + " to " + endpoint +
             " failed: " + response.error);
    return {};
  }
  return response.body;
}

bool GetSoapResult(const std::string& responseText, const std::string& operation,
                   xml::Node& resultNode) {
  return GetSoapResultIn(responseText, operation, GetPartnerServiceConfig().Namespace, resultNode);
}

bool GetManufInfo(xml::Node& resultNode) {
  resultNode = xml::Node();
  const PartnerServiceConfig config = GetPartnerServiceConfig();
  std::string response =
      SendSoapRequest(PartnerServiceEndpoint(config), config.Namespace, "GetManufInfo", "");
  return GetSoapResultIn(response, "GetManufInfo", config.Namespace, resultNode);
}

std::vector<FreeEdiManufacturer> ReadManufList(const xml::Node& manufInfoResult) {
  std::vector<FreeEdiManufacturer> list;
  if (manufInfoResult.isNull()) return list;
  // The result is read in a document of its own with the service namespace bound to oxox.
  xml::Document doc;
  const PartnerServiceConfig config = GetPartnerServiceConfig();
  if (!doc.setSelectionNamespaces(NamespaceBinding("oxox", config.Namespace)) ||
      !doc.setDocumentElement(manufInfoResult.cloneNode(true))) {
    return list;
  }
  for (xml::Node manuf : doc.selectNodes("oxox:GetManufInfoResult/oxox:Manufs/oxox:Manuf")) {
    xml::Node id = manuf.selectSingleNode("oxox:ID");
    xml::Node name = manuf.selectSingleNode("oxox:Name");
    if (id.isNull() || name.isNull()) continue;
    list.push_back({id.text(), name.text()});
  }
  return list;
}

bool IsFreeEdiPartnerActive(const std::string& manufCode) {
  LogScope log_scope("IsFreeEdiPartnerActive().");
  const PartnerServiceConfig config = GetPartnerServiceConfig();
  // Values are escaped: a code holding "<" or "&" must not break the envelope.
  std::string body = "<sManufCode>" + xml::EscapeXmlText(manufCode) + "</sManufCode>";
  std::string response =
      SendSoapRequest(PartnerServiceEndpoint(config), config.Namespace, "IsManufHaveEmail", body);
  xml::Node result;
  if (!GetSoapResultIn(response, "IsManufHaveEmail", config.Namespace, result)) return false;
  std::string text = result.ownerDocument().selectSingleNode("//oxox:IsManufHaveEmail").text();
  return EqualsNoCase(text, "TRUE");
}

int CheckDealerStatus(const std::string& email, const std::string& password,
                      xml::Node& profileNode) {
  LogScope log_scope("CheckDealerStatus().");
  profileNode = xml::Node();
  const PartnerServiceConfig config = GetPartnerServiceConfig();
  std::string body = "<sDealerEmail>" + xml::EscapeXmlText(email) +
                     "</sDealerEmail><sDealerPassword>" + xml::EscapeXmlText(password) +
                     "</sDealerPassword>";
  std::string response =
      SendSoapRequest(PartnerServiceEndpoint(config), config.Namespace, "IsDealerSupported", body);
  xml::Node result;
  if (!GetSoapResultIn(response, "IsDealerSupported", config.Namespace, result)) {
    return kDealerNoAnswer;
  }
  xml::Document doc = result.ownerDocument();
  std::string status = GetNodeText(doc, "//Response/Status");
  if (status == "0") return kDealerNoAccount;
  if (status == "1") return kDealerNeedsSupport;
  if (status == "2") {
    profileNode = doc.selectSingleNode("//Profile");
    return kDealerAccountGood;
  }
  if (status == "3") return kDealerBadPassword;
  if (status == "4") return kDealerNotInErp;
  return kDealerUnknownStatus;
}

}  // namespace larkedi
