// The purchase-order document of one order and its conversion.
//
// The send pipeline takes a private copy of a stacked design (`tmpdoc`, root `Design`) for
// each order group and turns it into the document of that one order: only the order's
// catalogs (stamped with the partner identification) and its own ORDERGROUP, the design
// file and the attached files embedded, the header values written and excluded items
// removed. The partner's style sheet then converts it; in per-catalog mode the converted
// document is cut down to one catalog.
//
// Nothing throws. Every XPath built from data quotes its literal with xml::XPathLiteral.
#pragma once

#include <string>
#include <string_view>

#include "platform/err.h"
#include "platform/xml/xml.h"

namespace larkedi {

/// Prepares `tmpdoc` (a copy of the design holding `order`) as the document of `order`,
/// the ORDERGROUP element in the order stack document. `settings` is the settings document
/// (root SETTINGS), read for the partner's KITFILEID. True when the document is complete.
/// False with `error` empty when the user chose not to go on without a missing file; false
/// with `error` set when a file could not be embedded.
bool BuildOrderDocument(const xml::Node& order, xml::Document& tmpdoc, const xml::Node& settings,
                        const std::string& manuf_id, const std::string& dealer_id,
                        const std::string& password, Err* error = nullptr);

/// Writes `value` into the element `target` (a path from the document): when it is
/// missing, creates it under `parent` holding a CDATA section with the value; when it has
/// no child node, appends such a section; otherwise sets the text of its first child node.
/// Returns the element written, or a null node when neither it nor its parent exists.
xml::Node SetHeaderValue(const xml::Node& doc, std::string_view target, std::string_view parent,
                         std::string_view value);

/// Removes every item of class 885 from the catalogs; such items are never sent.
void RemoveExcludedItems(const xml::Node& doc);

/// Converts `doc` with the style sheet at `xsl_path`. A name without '/' is a style sheet of
/// the module's html/ folder and is replaced by its full path. Returns the output as UTF-8
/// text (its declaration, if any, says UTF-8), or "ERROR : " followed by the reason.
std::string DoCustomTransformation(const xml::Node& doc, std::string& xsl_path);

/// Keeps in a converted document only what belongs to the catalog `catalog_name`: the
/// PODETAILS, POLINES/ITEM and Design/Catalog elements of other catalogs are removed.
void KeepCatalogOnly(const xml::Node& doc, const std::string& catalog_name);

}  // namespace larkedi
