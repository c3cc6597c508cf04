// Small XML helpers every operation shares. None of them fails loudly: each returns an
// empty text, 0, false or a null node when something is missing or goes wrong.
#pragma once

#include <string>
#include <string_view>

#include "platform/err.h"
#include "platform/xml/xml.h"

namespace larkedi {

/// Replaces `doc` by a new, empty document. True on success.
bool CreateDomDocument(xml::Document& doc);
/// True when `xpath` selects a node under `node`; false for no match, an invalid
/// expression or a null node.
bool NodeExists(std::string_view xpath, const xml::Node& node);
/// Sets `result` to the first match and returns true; else clears it and returns false.
bool GetSingleNode(std::string_view xpath, const xml::Node& node, xml::Node& result);
/// Sets `result` to all matches (at least one) and returns true; else empties it.
bool GetNodeList(std::string_view xpath, const xml::Node& node, xml::NodeList& result);
/// Text of the first match of `xpath` under `node`; empty for a blank expression.
std::string GetNodeText(const xml::Node& node, std::string_view xpath);
/// Like GetNodeText, but a blank expression reads `node`'s own text.
std::string GetElementText(const xml::Node& node, std::string_view xpath);
/// The match's text read as a leading number and rounded (halves to even) to a 16-bit
/// integer; 0 when nothing matches or the value does not fit.
int GetNodeInteger(const xml::Node& node, std::string_view xpath);
/// Reads a flag attribute of the match (or of `node` for a blank expression). Blank or
/// non-numeric text counts as 0. Returns false, leaving `value` alone, when the element or
/// the attribute is missing.
bool GetAttributeBoolean(const xml::Node& node, std::string_view xpath, std::string_view attribute,
                         bool& value);
/// The encoding named in saved XML: the resource "MSG XmlEncoding", or "iso-8859-1".
std::string XmlEncoding();
/// <?xml version="1.0" encoding="..."?>
std::string XmlDeclaration();
/// Removes everything up to and including the first "?>" when the text holds one.
void RemoveXmlHeader(std::string& text);
/// The bytes SaveXmlText writes for `text` (which then holds the text with declaration).
std::string XmlFileBytes(std::string& text);
/// Writes the text with the module's declaration in front (replacing any it had), in the
/// declared encoding, followed by CR LF. The file is replaced whole or not at all. `text`
/// holds the written text (declaration included) afterwards. Failures are logged, and
/// described in `error` (file and reason) when the caller passes one.
bool SaveXmlText(std::string& text, const std::string& path, Err* error = nullptr);
/// True when `path` is not blank and names an existing file or folder.
bool FileExists(std::string_view path);

/// VB-style leading-number parse: leading blanks skipped, longest numeric prefix, else 0.
double LeadingNumber(std::string_view text);
/// True when the whole text (blanks around it allowed) is a number.
bool IsNumeric(std::string_view text);
/// Removes blanks (space, tab, CR, LF) from both ends.
std::string Trim(std::string_view text);

}  // namespace larkedi
