#include "settings/web_sites.h"

#include "support/log.h"
#include "support/registry.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {

const char* const kWebSitesKey = "Software\\Orca Technologies\\EDI\\WebSites";

const char* WebSiteValueName(WebSite site) {
  switch (site) {
    case WebSite::EdiService:
      return "EdiWebSite";
    case WebSite::Design:
      return "DesignWebSite";
    case WebSite::Orcanet:
      return "OrcanetWebSite";
    case WebSite::Support:
      return "SupportWebSite";
  }
  return "";
}

std::string DefaultWebSiteAddress(WebSite site) {
  switch (site) {
    case WebSite::EdiService:
      return "https://edi.larkedi.invalid/";
    case WebSite::Design:
      return "https://design.larkedi.invalid/";
    case WebSite::Orcanet:
      return "https://orcanet.larkedi.invalid/";
    case WebSite::Support:
      return "https://support.larkedi.invalid/";
  }
  return {};
}

std::string WebSiteAddress(WebSite site) {
  std::string value;
  clsRegistry registry;
  if (registry.ReadRegValue(HKEY_CURRENT_USER, kWebSitesKey, WebSiteValueName(site), value) ==
      REG_OK) {
    value = Trim(value);
    const std::string lower = LowerAscii(value);
    // Only web addresses: the value is handed to the desktop's opener, which would run a
    // file or another scheme's handler as well.
    if ((lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0) &&
        value.find_first_of(" \t\r\n") == std::string::npos) {
      return value;
    }
    if (!value.empty()) {
      WriteLog(std::string("Ignoring the address of ") + WebSiteValueName(site) +
               ", which is not an http or https address: " + value);
    }
  }
  return DefaultWebSiteAddress(site);
}

}  // namespace larkedi
