// The maker's web sites the pages link to. Their addresses are configuration: values of
// HKEY_CURRENT_USER\Software\Orca Technologies\EDI\WebSites in the registry store, each
// falling back to a built-in address on a host name that never resolves.
#pragma once

#include <string>

namespace larkedi {

enum class WebSite {
  EdiService,  // the EDI service's public site (link "idOrcaedisite"), value "EdiWebSite"
  Design,      // the design product's public site ("idOrcadesignsite"), "DesignWebSite"
  Orcanet,     // the online dealer service's home page ("urloxnet"), "OrcanetWebSite"
  Support,     // the support page ("urlpaysupport"), "SupportWebSite"
};

/// The registry key holding the addresses (below HKEY_CURRENT_USER).
extern const char* const kWebSitesKey;
/// The registry value naming `site`'s address.
const char* WebSiteValueName(WebSite site);
/// The built-in address of `site`.
std::string DefaultWebSiteAddress(WebSite site);
/// The address to open for `site`: the registry value when it is an http or https address,
/// otherwise the built-in one.
std::string WebSiteAddress(WebSite site);

}  // namespace larkedi
