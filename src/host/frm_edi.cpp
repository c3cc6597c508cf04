#include "host/frm_edi.h"

namespace larkedi {

frmEDI::frmEDI() : Orders(Settings, *this) {}

Err frmEDI::OpenHeadless() {
  Settings.bWebServiceDone = true;
  return Settings.FillSettings();
}

void frmEDI::LoadStarting() {
  StyleSheets.FillStyleSheets(Settings.docSettings);
}

std::string frmEDI::SortStyleSheet() {
  return StyleSheets.Item("SortCabinets");
}

}  // namespace larkedi
