// Character set conversions between the module's UTF-8 texts and other encodings.
#pragma once

#include <string>
#include <string_view>

namespace larkedi {

/// True for "UTF-8"/"utf8" spelled in any case.
bool EncodingIsUtf8(std::string_view encoding);

/// Converts `in` from `encoding` to UTF-8. False when the encoding is unknown or the input
/// is not valid in it (then `out` is left unchanged).
bool ConvertToUtf8(std::string_view in, const std::string& encoding, std::string* out);

/// The text of an XML document's bytes (a design file as it lies on disk) as UTF-8, decoded
/// the way the document itself says: by its byte order mark (UTF-8, UTF-16 LE/BE, UTF-32
/// LE/BE), else by the encoding its XML declaration names (ISO-8859-1, windows-1252 or any
/// other iconv knows), else as UTF-8. A byte order mark is dropped and the declaration's
/// encoding becomes "UTF-8", so the result parses as the UTF-8 text it is. False with
/// `error` for an encoding iconv does not know, bytes that are not valid in the encoding
/// (UTF-8 included), or UTF-16/32 text without its mark that names no such encoding;
/// `utf8` is then unchanged.
bool DecodeXmlBytes(std::string_view bytes, std::string* utf8, std::string* error);

/// Converts XML markup held as UTF-8 into `encoding`. Characters the encoding cannot hold
/// become numeric character references (inside CDATA sections the section is closed around
/// the reference), so the markup reads back with the same text. Characters that cannot be
/// written at all (inside comments or processing instructions) become '?'.
/// Unknown encodings give UTF-8 with every non-ASCII character as a reference.
std::string EncodeXmlMarkup(std::string_view utf8, const std::string& encoding);

/// Decodes one UTF-8 sequence at `pos`; returns the code point and advances `pos`.
/// An invalid byte yields U+FFFD and advances by one.
char32_t NextCodePoint(std::string_view utf8, std::size_t& pos);
/// Appends the UTF-8 form of `cp` to `out`.
void AppendUtf8(char32_t cp, std::string& out);

}  // namespace larkedi
