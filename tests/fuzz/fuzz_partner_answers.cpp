// Fuzz target: an answer of the partner web service, read as each operation reads it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/xml/xml.h"
#include "settings/partner_service.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace larkedi;
  (void)fuzz::ScratchDir();
  const std::string answer(reinterpret_cast<const char*>(data), size);
  for (const char* operation : {"GetManufInfo", "IsManufHaveEmail", "IsDealerSupported"}) {
    xml::Node result;
    if (!GetSoapResult(answer, operation, result)) continue;
    if (std::string(operation) == "GetManufInfo") (void)ReadManufList(result).size();
    (void)result.text();
  }
  return 0;
}
