#include "soap_service.h"

#include "platform/xml/xml.h"

namespace partnersim {
namespace {

using larkedi::xml::EscapeXmlText;

constexpr const char* kSoapNs = "http://schemas.xmlsoap.org/soap/envelope/";

std::string Element(const std::string& name, const std::string& text) {
  return "<" + name + ">" + EscapeXmlText(text) + "</" + name + ">";
}

bool IsElementName(const std::string& name) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
    if (!letter && !(i > 0 && other)) return false;
  }
  return true;
}

/// A profile value as elements: objects give child elements, arrays repeat the element,
/// anything else is text.
std::string ProfileXml(const std::string& name, const nlohmann::json& value) {
  if (!IsElementName(name)) return {};
  if (value.is_array()) {
    std::string out;
    for (const auto& item : value) out += ProfileXml(name, item);
    return out;
  }
  if (value.is_object()) {
    std::string out = "<" + name + ">";
    for (const auto& [key, child] : value.items()) out += ProfileXml(key, child);
    return out + "</" + name + ">";
  }
  if (value.is_null()) return "<" + name + "/>";
  return Element(name, value.is_string() ? value.get<std::string>() : value.dump());
}

std::string Unquote(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

}  // namespace

std::string ManufInfoService::Envelope(const std::string& body_content) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
         "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body>" +
         body_content + "</soap:Body></soap:Envelope>";
}

SoapAnswer ManufInfoService::Fault(const std::string& code, const std::string& message) {
  SoapAnswer answer;
  answer.status = 500;
  answer.body = Envelope("<soap:Fault><faultcode>" + code + "</faultcode>" +
                         Element("faultstring", message) + "<detail/></soap:Fault>");
  return answer;
}

std::string ManufInfoService::ActionOf(const std::string& operation) const {
  if (!data_.ns.empty() && data_.ns.back() == '/') return data_.ns + operation;
  return data_.ns + "/" + operation;
}

std::string ManufInfoService::Wrap(const std::string& operation,
                                   const std::string& result_content) const {
  return Envelope("<" + operation + "Response xmlns=\"" + EscapeXmlText(data_.ns, true) + "\"><" +
                  operation + "Result>" + result_content + "</" + operation + "Result></" +
                  operation + "Response>");
}

SoapAnswer ManufInfoService::Answer(const std::string& soap_action, const std::string& body) const {
  larkedi::xml::Document doc;
  if (!doc.loadXML(body)) {
    return Fault("soap:Client", "The request is not well-formed XML: " + doc.parseErrorReason());
  }
  std::string q = data_.ns.find('\'') == std::string::npos ? "'" : "\"";
  doc.setSelectionNamespaces(std::string("xmlns:soap='") + kSoapNs + "' xmlns:svc=" + q + data_.ns +
                             q);
  if (doc.selectSingleNode("soap:Envelope/soap:Body").isNull()) {
    return Fault("soap:Client", "The request is not a SOAP 1.1 envelope.");
  }
  larkedi::xml::Node call = doc.selectSingleNode("soap:Envelope/soap:Body/*[1]");
  const std::string action = Unquote(soap_action);
  larkedi::xml::Node in_ns = doc.selectSingleNode("soap:Envelope/soap:Body/svc:*[1]");
  const std::string operation = in_ns.isNull() ? std::string() : in_ns.baseName();
  const bool known = operation == "GetManufInfo" || operation == "IsManufHaveEmail" ||
                     operation == "IsDealerSupported";
  if (call.isNull() || !(call == in_ns) || !known) {
    return Fault("soap:Client",
                 "Server did not recognize the value of HTTP Header SOAPAction: " + action + ".");
  }
  if (action != ActionOf(operation)) {
    return Fault("soap:Client",
                 "Server did not recognize the value of HTTP Header SOAPAction: " + action + ".");
  }

  SoapAnswer answer;
  if (operation == "GetManufInfo") {
    answer.body = GetManufInfo();
  } else if (operation == "IsManufHaveEmail") {
    answer.body = IsManufHaveEmail(call.selectSingleNode("svc:sManufCode").text());
  } else {
    answer.body = IsDealerSupported(call.selectSingleNode("svc:sDealerEmail").text(),
                                    call.selectSingleNode("svc:sDealerPassword").text());
  }
  return answer;
}

std::string ManufInfoService::GetManufInfo() const {
  std::string manufs;
  for (const Manufacturer& m : data_.manufacturers) {
    if (!m.active) continue;
    manufs += "<Manuf>";
    if (m.id) manufs += Element("ID", *m.id);
    if (m.name) manufs += Element("Name", *m.name);
    manufs += "</Manuf>";
  }
  return Wrap("GetManufInfo", "<Manufs>" + manufs + "</Manufs>");
}

std::string ManufInfoService::IsManufHaveEmail(const std::string& code) const {
  const Manufacturer* m = data_.FindManufacturer(code);
  bool active = m && m->active;
  return Wrap("IsManufHaveEmail", Element("IsManufHaveEmail", active ? "TRUE" : "FALSE"));
}

std::string ManufInfoService::IsDealerSupported(const std::string& email,
                                                const std::string& password) const {
  // The dealer part of the answer is plain XML without namespace, as the ERP produces it.
  std::string response = "<Response xmlns=\"\">";
  const DealerAccount* dealer = data_.FindDealer(email);
  if (!dealer) {
    response += Element("Status", "0");
  } else if (dealer->password != password) {
    response += Element("Status", "3");
  } else {
    if (dealer->status) response += Element("Status", *dealer->status);
    if (dealer->status && *dealer->status == "2" && !dealer->profile.is_null()) {
      response += ProfileXml("Profile", dealer->profile);
    }
  }
  response += "</Response>";
  return Wrap("IsDealerSupported", response);
}

}  // namespace partnersim
