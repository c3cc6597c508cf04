// Transmission methods: the system's side of the contract with the modules that carry a
// partner's orders. A method (settings METHOD, named by the partner's METHODID) is either a
// connector object (<OBJECTNAME>.spooler, driven through late-bound members) or a legacy
// program started once per catalog, which fetches the order from the host's project server.
// The method whose OBJECTNAME is "ORDR" is the report module.
//
// Nothing throws. Every XPath built from data quotes its literal with xml::XPathLiteral.
#pragma once

#include <string>

#include "platform/err.h"
#include "platform/xml/xml.h"

namespace larkedi {

/// `path` with "/" appended unless it already ends with one.
std::string AddBackslash(const std::string& path);

/// True when `method` (a settings METHOD element) is present and its OBJECTNAME, upper-cased,
/// is "ORDR" (the report module).
bool IsOrdrMethod(const xml::Node& method);

/// True when the partner of the order group `order` uses a legacy method: its METHODID
/// names a METHOD of the order stack document's settings copy (Orders/SETTINGS) whose
/// attribute `legacy` is a non-zero number. False for a null order.
bool IsLegacyMethod(const xml::Node& order);

/// The connection form of the input parameter for `partner_code` (placed unchanged in a
/// CDATA section), with freeedi="1" on PartnerCode for free-EDI partners.
std::string ConnectionParameter(const std::string& partner_code, bool freeedi = false);

/// The executable of the legacy method `method`: the host application folder (registry
/// value "ApplicationPath" of HKEY_CURRENT_USER\Software\Orca Technologies, with "/"
/// appended), then "RptModule/60/EN/" for the report module or "edi/60/", then the
/// method's EXEPATH. Empty with `error` set when the folder or EXEPATH is not set.
std::string LegacyExecutablePath(const xml::Node& method, Err* error);

/// Opens the configuration dialog of partner `partner_id`'s method (its connector's
/// Configure; nothing for the report module). `chosen_method_id`, when not empty, names the method
/// instead of the partner's stored METHODID (the one chosen on the page but not saved yet).
/// A connector that cannot be created is reported in a message box; other failures and an
/// unknown method are logged.
void DisplayMethod(const std::string& partner_id, const xml::Node& settings,
                   const std::string& chosen_method_id = "");

}  // namespace larkedi
