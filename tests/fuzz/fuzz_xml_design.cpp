// Fuzz target: a design text parsed by the XML layer and walked the way the module reads a
// design (catalogs, items, their texts), then written back and parsed again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/xml/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace larkedi;
  (void)fuzz::ScratchDir();
  const std::string text(reinterpret_cast<const char*>(data), size);
  xml::Document design;
  if (!design.loadXML(text)) {
    (void)design.parseErrorReason().size();
    return 0;
  }
  for (xml::Node item : design.selectNodes("//Catalog/Item")) {
    (void)item.selectSingleNode("SubType").text();
    (void)item.selectSingleNode("Instance").text();
  }
  xml::Document again;
  if (!again.loadXML(design.xml())) __builtin_trap();
  return 0;
}
