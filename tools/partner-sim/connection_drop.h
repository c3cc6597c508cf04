// Cutting the connection a request arrived on, from inside its handler, so a client sees
// the connection end without an answer (after the server has done its work).
#pragma once

#include <httplib.h>

namespace partnersim {

/// Shuts down (both directions) the socket that `request` came in on. The server's own
/// attempt to answer then fails and it closes the socket as usual. False when the socket
/// could not be found.
bool DropConnection(const httplib::Request& request);

}  // namespace partnersim
