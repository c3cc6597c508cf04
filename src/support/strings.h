// Letter case of ASCII texts: catalog codes, file extensions, keys. Only the letters a-z and
// A-Z change; every other byte (UTF-8 sequences included) stays as it is, so a fold never
// makes two different non-ASCII names equal.
#pragma once

#include <string>
#include <string_view>

namespace larkedi {

/// The text with a-z in upper case. Catalog codes are compared in this form on both sides.
std::string FoldAscii(std::string_view text);
/// The text with A-Z in lower case.
std::string LowerAscii(std::string_view text);
/// True when the texts are equal once ASCII letters are folded.
bool EqualsNoCaseAscii(std::string_view a, std::string_view b);
/// True when `text` ends with `suffix`, ASCII letters folded.
bool EndsWithNoCaseAscii(std::string_view text, std::string_view suffix);
/// `text` with every byte other than A-Z a-z 0-9 - . _ ~ (and those of `also_plain`)
/// written as %XX: a query value or path part that arrives as it was ("&", "#", "+", "%",
/// blanks and non-ASCII bytes included).
std::string PercentEncode(std::string_view text, std::string_view also_plain = {});

}  // namespace larkedi
