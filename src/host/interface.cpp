#include "host/interface.h"

#include "presentation/style_sheets.h"
#include "settings/settings_document.h"
#include "support/log.h"

namespace larkedi {

std::string Interface::Settings() const {
  return ReadHtmlFile(SettingsPath(), false);
}

void Interface::Settings(std::string& text) {
  if (Err err = SaveSettingsXML(text)) LogError("Interface.Settings", err);
}

}  // namespace larkedi
