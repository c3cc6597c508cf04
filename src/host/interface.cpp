#include "host/interface.h"

#include "host/frm_edi.h"
#include "presentation/style_sheets.h"

namespace larkedi {

std::string Interface::Settings() const {
  return ReadHtmlFile(SettingsPath(), false);
}

void Interface::Settings(std::string& text) {
  SaveSettingsXML(text);
}

}  // namespace larkedi
