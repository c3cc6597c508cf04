// The address of a partner's dealer server: the web site on which the dealer follows the
// orders sent to that partner. It is the partner's gateway server with "gate." turned into
// "dealer." in its host name, asked of the partner's transmission method (the connector's
// GetConnection), or for a legacy method the viewer's server of the registry.
#pragma once

#include <string>

#include "platform/err.h"
#include "platform/xml/xml.h"

namespace larkedi {

/// The dealer server's base address made from a gateway server name: "gate." becomes
/// "dealer." (any case) in the host name; a name without a scheme gets "http://"; the result
/// ends with exactly one "/", and a doubled "/" after the host is made single. An address
/// with an http or https scheme keeps it ("https://gate.x" gives "https://dealer.x/").
/// Empty for an empty name.
std::string DealerServerAddress(const std::string& server);

/// The dealer server of partner `partner_id` in `docSettings` ("" and `err` set on a failure:
/// no partner code, no connector object, no server name). Legacy methods read the value
/// "Server" of HKEY_CURRENT_USER\Software\Orca Technologies\EDI\Viewer.
std::string FindDealerServer(const xml::Node& docSettings, const std::string& partner_id, Err& err);

/// FindDealerServer, with a failure shown in a message box ("MSG ErrorOccuredInParam" and
/// "MSG ErrorNumberDescription") and logged; the result is then empty.
std::string GetDealerServer(const xml::Node& docSettings, const std::string& partner_id);

}  // namespace larkedi
