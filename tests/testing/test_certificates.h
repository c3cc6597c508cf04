// A private certificate authority and a server certificate for HTTPS tests on loopback.
#pragma once

#include <string>

namespace larkedi::testing {

/// Makes, with openssl, `dir`/ca.pem (a private authority) and `dir`/server.pem with its key
/// `dir`/server.key, valid for localhost, gate.localhost, dealer.localhost and 127.0.0.1.
/// False (with openssl's output in `error`) when that fails.
bool MakeTestCertificates(const std::string& dir, std::string* error);

/// True when the openssl command is there.
bool HaveOpenssl();

}  // namespace larkedi::testing
