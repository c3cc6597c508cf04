#include "sending/last_po.h"

#include "platform/env.h"
#include "platform/xml/xml.h"
#include "support/module.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

// Shorter encoded passwords are left to the element rule: cutting out two or three
// characters wherever they occur would mangle the document.
constexpr size_t kMinCutLength = 4;

bool IsPasswordName(const std::string& name) {
  const std::string lower = LowerAscii(name);
  return lower.find("password") != std::string::npos;
}

void CutOut(std::string& text, const std::string& secret) {
  if (secret.size() < kMinCutLength) return;
  for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at)) {
    text.erase(at, secret.size());
  }
}

}  // namespace

std::string WithoutPasswords(const std::string& document, const std::string& encoded_password) {
  std::string out = document;
  xml::Document doc;
  if (doc.loadXML(document)) {
    for (xml::Node element : doc.selectNodes("//*")) {
      if (IsPasswordName(element.baseName())) element.setText("");
      for (xml::Node attribute : element.attributes()) {
        if (IsPasswordName(attribute.baseName())) attribute.setText("");
      }
    }
    out = doc.xml();
  }
  CutOut(out, encoded_password);
  // The same value as the XML layer escapes it.
  CutOut(out, xml::EscapeXmlText(encoded_password));
  return out;
}

bool WriteLastPO(const std::string& archive_path, const std::string& document,
                 const std::string& encoded_password) {
  if (!Module().LogEnabled) return false;
  std::string text = WithoutPasswords(document, encoded_password);
  return SaveXmlText(text, JoinPath(archive_path, "lastPO.xml"));
}

}  // namespace larkedi
