#include "host/interface.h"

#include <utility>

#include "host/window_host.h"
#include "platform/env.h"
#include "presentation/style_sheets.h"
#include "settings/settings_document.h"
#include "support/log.h"
#include "support/module.h"
#include "support/xml_helpers.h"

namespace larkedi {

PublicWindowClass::PublicWindowClass() {
  handler_ = WindowHost::Instance().AddFinishedHandler([this] { RaiseFinished(); });
}

PublicWindowClass::~PublicWindowClass() {
  WindowHost::Instance().RemoveFinishedHandler(handler_);
}

bool PublicWindowClass::OpenWindow(int start_value, const std::string& input) {
  // The window's load raises Finished itself when it fails.
  return WindowHost::Instance().Load(start_value, input);
}

void Interface::show(int startupvalue) {
  if (Module().bAnotherInstance) {
    RaiseFinished();
    return;
  }
  WriteLog("startupvalue = " + std::to_string(startupvalue));
  Module().StartupValue = startupvalue;
  WriteLog("frmEDI.show");
  if (!OpenWindow(startupvalue, std::exchange(Module().StartupInput, std::string()))) return;
  WriteLog("frmEDI shown");
}

bool Interface::Activate(const std::string& sXml, const std::string& xParams, int& StartScr) {
  if (Module().bAnotherInstance) {
    RaiseFinished();
    return false;
  }
  Env::Default()->CreateDirectories(ModulePath("Send"), nullptr);
  Module().StartupValue = StartScr;
  if (Module().LogEnabled) {
    Env::Default()->WriteFileAtomic(ModulePath("input.xml"), sXml, nullptr);
  }
  if (!Trim(sXml).empty()) Module().StartupInput = sXml;
  WriteLog("Showing Form");
  WriteLog("Tagging Window (this will priorly load the Form)");
  // The window takes the design text in; a later call without one does not stack it again.
  if (!OpenWindow(StartScr, std::exchange(Module().StartupInput, std::string()))) return true;
  WriteLog("Showing Form");
  if (xParams != "Modeless") WindowHost::Instance().RunModal();
  WriteLog("Form Shown");
  return true;
}

std::string Interface::Settings() const {
  return ReadHtmlFile(SettingsPath(), false);
}

void Interface::Settings(std::string& text) {
  if (Err err = SaveSettingsXML(text)) LogError("Interface.Settings", err);
}

bool config::Activate(const std::string&, const std::string&) {
  WriteLog("Config Class Activate");
  Module().StartupValue = kStartSettings;
  if (OpenWindow(kStartSettings, "")) WindowHost::Instance().RunModal();
  WriteLog("frmEDI shown");
  return false;
}

void Spooler::Configure() {
  WriteLog("Spooler Class Activate");
  Module().StartupValue = kStartSettings;
  if (OpenWindow(kStartSettings, "")) WindowHost::Instance().RunModal();
  WriteLog("frmEDI shown");
}

}  // namespace larkedi
