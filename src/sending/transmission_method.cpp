#include "sending/transmission_method.h"

#include <memory>
#include <vector>

#include "platform/automation/automation.h"
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

constexpr const char* kOrcaKey = "Software\\Orca Technologies";

std::string PartnerPath(const std::string& partner_id, const std::string& element) {
  return "SETTINGS/PARTNER[ID=" + xml::XPathLiteral(partner_id) + "]/" + element;
}

}  // namespace

std::string AddBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path;
  return path + "/";
}

bool IsOrdrMethod(const xml::Node& method) {
  if (method.isNull()) return false;
  return FoldAscii(GetNodeText(method, "OBJECTNAME")) == "ORDR";
}

bool IsLegacyMethod(const xml::Node& order) {
  if (order.isNull()) return false;
  const xml::Document doc = order.ownerDocument();
  const std::string partner_id = GetNodeText(order, "PARTNERID");
  const std::string method_id = GetNodeText(
      doc, "Orders/SETTINGS/PARTNER[ID=" + xml::XPathLiteral(partner_id) + "]/METHODID");
  xml::Node method;
  if (!GetSingleNode("Orders/SETTINGS/METHOD[ID=" + xml::XPathLiteral(method_id) + "]", doc,
                     method)) {
    return false;
  }
  bool legacy = false;
  GetAttributeBoolean(method, ".", "legacy", legacy);
  return legacy;
}

std::string ConnectionParameter(const std::string& partner_code, bool freeedi) {
  return std::string("<InputParameter><PartnerCode") + (freeedi ? " freeedi=\"1\"" : "") +
         "><![CDATA[" + partner_code + "]]></PartnerCode></InputParameter>";
}

std::string LegacyExecutablePath(const xml::Node& method, Err* error) {
  std::string folder;
  if (!ReadRegistryValue(HKEY_CURRENT_USER, kOrcaKey, "ApplicationPath", folder) ||
      Trim(folder).empty()) {
    if (error) {
      *error = Err::Raise(kErrGeneral, "SendLegacyOrder",
                          "the host application folder is not set (ApplicationPath of "
                          "HKEY_CURRENT_USER\\Software\\Orca Technologies)");
    }
    return {};
  }
  // Methods registered on the host's original platform name their program with '\'.
  std::string exe = GetNodeText(method, "EXEPATH");
  for (char& c : exe) {
    if (c == '\\') c = '/';
  }
  if (Trim(exe).empty()) {
    if (error) {
      *error = Err::Raise(kErrGeneral, "SendLegacyOrder",
                          "the method " + GetNodeText(method, "NAME") + " names no program");
    }
    return {};
  }
  return AddBackslash(folder) + (IsOrdrMethod(method) ? "RptModule/60/EN/" : "edi/60/") + exe;
}

void DisplayMethod(const std::string& partner_id, const xml::Node& settings,
                   const std::string& chosen_method_id) {
  LogScope log_scope("DisplayMethod().");
  const std::string method_id = Trim(
      chosen_method_id.empty() ? GetNodeText(settings, "/" + PartnerPath(partner_id, "METHODID"))
                               : chosen_method_id);
  xml::Node method;
  if (!GetSingleNode("SETTINGS/METHOD[normalize-space(ID)=" + xml::XPathLiteral(method_id) + "]",
                     settings, method)) {
    WriteLog("Unable to get the method from Settings document for partner '" + partner_id +
             "'.\nMETHODID: " + method_id);
    return;
  }
  bool legacy = false;
  GetAttributeBoolean(method, ".", "legacy", legacy);
  if (IsOrdrMethod(method)) return;  // the report module has no configuration dialog
  const std::string object_name = Trim(GetNodeText(method, "OBJECTNAME"));
  RegisterConnectMethodOrca();  // the connector built into the module is found like any other
  Err create_error;
  std::shared_ptr<automation::AutomationObject> connector =
      automation::CreateObject(object_name + ".spooler", &create_error);
  if (!connector) {
    CurrentDialogs().MsgBox(ResParam("MSG CannotCreateObjectForParam", {object_name}),
                            MsgButtons::OK, MsgIcon::Information, ModuleTitle());
    return;
  }
  Err err;
  if (legacy) {
    err = connector->Call("Configure", nullptr);
  } else {
    std::vector<automation::Variant> args{automation::Variant(
        ConnectionParameter(Trim(GetNodeText(settings, PartnerPath(partner_id, "CODE")))))};
    err = connector->Call("Configure", args, nullptr);
  }
  if (err) {
    LogError(ResParam("MSG ErrorNumberSourceDescription",
                      {std::to_string(err.Number), err.Source, err.Description}),
             err);
  }
}

}  // namespace larkedi
