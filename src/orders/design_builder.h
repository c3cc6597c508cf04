// Completes a design's job information to the full element tree of the design format, so
// that validation scripts, style sheets and the purchase-order conversion can address every
// header element without testing for it first.
#pragma once

#include <string_view>

#include "platform/xml/xml.h"

namespace larkedi {

/// The first child element of `parent` named `name`; a new empty one is appended when there
/// is none. A null node when `parent` is null or the element cannot be created.
xml::Node EnsureChild(const xml::Node& parent, std::string_view name);

/// Like EnsureChild, but an element it creates gets `text`; an existing one keeps its text.
xml::Node EnsureChildText(const xml::Node& parent, std::string_view name, std::string_view text);

/// Always creates a new empty element named `name` and appends it to `parent`.
xml::Node AppendChildElement(const xml::Node& parent, std::string_view name);

/// Completes the `JobInfo` element of `design` (a `Design` element) in place: every element
/// of the header, profile, payment and survey tree is made to exist, empty where the design
/// gave no value. Values already present are kept. The bill-to profile receives three new
/// contacts (Dealer, DealerSalesRep, Designer) on every call, after any it already has.
/// Never fails loudly: a step that cannot be done is skipped.
void CompleteJobInfo(const xml::Node& design);

}  // namespace larkedi
