#include "support/xml_text.h"

namespace larkedi {

xml::Node AppendCDataElement(xml::Document& doc, xml::Node parent, const std::string& name,
                             const std::string& text) {
  xml::Node element = parent.appendChild(doc.createElement(name));
  element.appendChild(doc.createCDATASection(text));
  return element;
}

xml::Node AppendTextElement(xml::Document& doc, xml::Node parent, const std::string& name,
                            const std::string& text) {
  xml::Node element = parent.appendChild(doc.createElement(name));
  if (!text.empty()) element.appendChild(doc.createTextNode(text));
  return element;
}

xml::Node ChildElement(const xml::Node& parent, std::string_view name) {
  for (xml::Node c = parent.firstChild(); c; c = c.nextSibling()) {
    if (c.nodeType() == xml::NodeType::Element && c.nodeName() == name) return c;
  }
  return {};
}

}  // namespace larkedi
