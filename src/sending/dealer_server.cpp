#include "sending/dealer_server.h"

#include <memory>
#include <utility>
#include <vector>

#include "platform/automation/automation.h"
#include "platform/registry/registry_store.h"
#include "platform/ui/dialogs.h"
#include "sending/connect_method_orca.h"
#include "support/log.h"
#include "support/module.h"
#include "support/registry.h"
#include "support/resx.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

constexpr const char* kSource = "GetDealerServer";

std::string PartnerPath(const std::string& partner_id) {
  return "/SETTINGS/PARTNER[normalize-space(ID)=" + xml::XPathLiteral(Trim(partner_id)) + "]";
}

// Replaces every "gate." of `host` (any case) by "dealer.".
std::string GateToDealer(const std::string& host) {
  std::string out;
  const std::string lower = LowerAscii(host);
  std::size_t at = 0;
  while (at < host.size()) {
    const std::size_t found = lower.find("gate.", at);
    if (found == std::string::npos) {
      out += host.substr(at);
      break;
    }
    out += host.substr(at, found - at) + "dealer.";
    at = found + 5;
  }
  return out;
}

}  // namespace

std::string DealerServerAddress(const std::string& server) {
  std::string text = Trim(server);
  if (text.empty()) return "";
  std::string scheme = "http://";
  const std::size_t mark = text.find("://");
  if (mark != std::string::npos) {
    const std::string given = LowerAscii(text.substr(0, mark));
    if (given == "http" || given == "https") {
      scheme = given + "://";
      text = text.substr(mark + 3);
    }
  }
  const std::size_t host_end = text.find('/');
  std::string host = text.substr(0, host_end);
  std::string rest = host_end == std::string::npos ? std::string() : text.substr(host_end);
  rest += "/";
  std::string path;
  for (char c : rest) {
    if (c == '/' && !path.empty() && path.back() == '/') continue;
    path += c;
  }
  return scheme + GateToDealer(host) + path;
}

std::string FindDealerServer(const xml::Node& docSettings, const std::string& partner_id,
                             Err& err) {
  err.Clear();
  // The partner and its method are read from the settings: the order stack may be empty
  // (the home page empties it) while the status pages are shown.
  const std::string partner = PartnerPath(partner_id);
  const std::string method_id = Trim(docSettings.selectSingleNode(partner + "/METHODID").text());
  xml::Node method = docSettings.selectSingleNode(
      "/SETTINGS/METHOD[normalize-space(ID)=" + xml::XPathLiteral(method_id) + "]");
  std::string server;
  if (!method.isNull() && Trim(method.getAttribute("legacy")) == "1") {
    clsRegistry registry;
    registry.ReadRegValue(HKEY_CURRENT_USER, "Software\\Orca Technologies\\EDI\\Viewer", "Server",
                          server);
  } else {
    const std::string object_name = Trim(method.selectSingleNode("OBJECTNAME").text());
    const std::string code = Trim(docSettings.selectSingleNode(partner + "/CODE").text());
    if (code.empty()) {
      err = Err::Raise(kErrGeneral, kSource, Res("MSG CannotFindPartnerCode"));
      return "";
    }
    RegisterConnectMethodOrca();  // the connector built into the module
    Err create_error;
    std::shared_ptr<automation::AutomationObject> connector =
        object_name.empty() ? nullptr
                            : automation::CreateObject(object_name + ".spooler", &create_error);
    if (!connector) {
      err = Err::Raise(kErrGeneral, kSource,
                       ResParam("MSG CannotCreateObjectForParam", {object_name}));
      return "";
    }
    std::vector<automation::Variant> args = {automation::Variant(
        "<InputParameter><PartnerCode><![CDATA[" + code + "]]></PartnerCode></InputParameter>")};
    automation::Variant result;
    if (Err call = connector->Call("GetConnection", args, &result)) {
      err = call;
      return "";
    }
    server = result.AsString();
  }
  if (Trim(server).empty()) {
    err = Err::Raise(kErrGeneral, kSource, Res("MSG CannotGetServerNameForPartner"));
    return "";
  }
  return DealerServerAddress(server);
}

std::string GetDealerServer(const xml::Node& docSettings, const std::string& partner_id) {
  WriteLog("Entering GetDealerServer().");
  Err err;
  std::string server = FindDealerServer(docSettings, partner_id, err);
  if (err) {
    LogError(kSource, std::as_const(err));
    CurrentDialogs().MsgBox(
        ResParam("MSG ErrorOccuredInParam", {err.Source}) + "\n" +
            ResParam("MSG ErrorNumberDescription", {std::to_string(err.Number), err.Description}),
        MsgButtons::OK, MsgIcon::Information, ModuleTitle());
    return "";
  }
  return server;
}

}  // namespace larkedi
