#include "testing/test_certificates.h"

#include <cstdlib>

#include "testing/temp_module.h"

namespace larkedi::testing {

bool HaveOpenssl() {
  return std::system("openssl version > /dev/null 2>&1") == 0;
}

bool MakeTestCertificates(const std::string& dir, std::string* error) {
  WriteFileOrDie(dir + "/server.ext",
                 "subjectAltName=DNS:localhost,DNS:gate.localhost,DNS:dealer.localhost,"
                 "IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
  const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  const std::string commands =
      "cd '" + dir + "' && openssl req -x509" + ec +
      " -keyout ca.key -out ca.pem -days 2 -subj '/CN=LarkEDI test CA'"
      " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign"
      " && openssl req" +
      ec + " -keyout server.key -out server.csr -subj /CN=localhost" +
      " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
      " -out server.pem -days 2 -extfile server.ext";
  std::string output;
  const bool ok = RunCommand("(" + commands + ")", &output) == 0;
  if (!ok && error) *error = output;
  return ok;
}

}  // namespace larkedi::testing
