// Fuzz target: a stacked design file (.xme) read back as the order stack reads it: the
// archive opened and deciphered, then the design text parsed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/env.h"
#include "platform/xml/xml.h"
#include "sending/ckutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace larkedi;
  static const std::string path = fuzz::ScratchDir() + "/INPUT.xme";
  std::string error;
  if (!Env::Default()->WriteFileAtomic(path, std::string(reinterpret_cast<const char*>(data), size),
                                       &error)) {
    return 0;
  }
  XmeFailure why = XmeFailure::kNone;
  const std::string text = CKUtil().DeCryptFile(path, nullptr, &why);
  if (text.empty()) return 0;
  xml::Document design;
  if (design.loadXML(text)) (void)design.selectNodes("/Project/Design/Catalog/Item").length();
  return 0;
}
