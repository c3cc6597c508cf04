// Reading HTML pages (the module's rendered views) into a DOM document.
#pragma once

#include <string>
#include <string_view>

#include "platform/xml/xml.h"

namespace larkedi::xml {

/// Parses `html` with a forgiving HTML parser (as a browser would: missing end tags,
/// void elements, entities) and loads the resulting tree into `out` as an XML document
/// whose element and attribute names are lower case. Nothing is fetched from the
/// network. False with `error` set when the text cannot be parsed at all.
bool ParseHtml(std::string_view html, Document& out, std::string* error = nullptr);

}  // namespace larkedi::xml
