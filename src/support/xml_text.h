// Building elements of the module's documents: child elements with a text or a CDATA
// section, and the first child element of a name (a plain walk, no XPath).
#pragma once

#include <string>
#include <string_view>

#include "platform/xml/xml.h"

namespace larkedi {

/// Appends <name><![CDATA[text]]></name> to `parent`; returns the new element.
xml::Node AppendCDataElement(xml::Document& doc, xml::Node parent, const std::string& name,
                             const std::string& text);
/// Appends <name>text</name> to `parent` (<name/> for an empty text); returns it.
xml::Node AppendTextElement(xml::Document& doc, xml::Node parent, const std::string& name,
                            const std::string& text);
/// The first child element of `parent` named `name`; a null node when there is none.
xml::Node ChildElement(const xml::Node& parent, std::string_view name);

}  // namespace larkedi
