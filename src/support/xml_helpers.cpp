#include "support/xml_helpers.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>

#include "platform/env.h"
#include "platform/text_encoding.h"
#include "support/log.h"
#include "support/resx.h"

namespace larkedi {

std::string Trim(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

namespace {

// Length of the numeric prefix of `s` (sign, digits, decimal point, exponent).
std::size_t NumericPrefix(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    std::size_t exp_digits = 0;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j, ++exp_digits;
    if (exp_digits > 0) i = j;
  }
  return i;
}

}  // namespace

double LeadingNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' ||
                           text.front() == '\n')) {
    text.remove_prefix(1);
  }
  std::size_t n = NumericPrefix(text);
  if (n == 0) return 0;
  return std::strtod(std::string(text.substr(0, n)).c_str(), nullptr);
}

bool IsNumeric(std::string_view text) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  return NumericPrefix(t) == t.size();
}

bool CreateDomDocument(xml::Document& doc) {
  doc = xml::Document();
  return true;
}

bool NodeExists(std::string_view xpath, const xml::Node& node) {
  if (node.isNull()) return false;
  return !node.selectSingleNode(xpath).isNull();
}

bool GetSingleNode(std::string_view xpath, const xml::Node& node, xml::Node& result) {
  result = xml::Node();
  if (node.isNull()) return false;
  result = node.selectSingleNode(xpath);
  return !result.isNull();
}

bool GetNodeList(std::string_view xpath, const xml::Node& node, xml::NodeList& result) {
  result = xml::NodeList();
  if (node.isNull()) return false;
  xml::NodeList list = node.selectNodes(xpath);
  if (list.empty()) return false;
  result = std::move(list);
  return true;
}

std::string GetNodeText(const xml::Node& node, std::string_view xpath) {
  if (node.isNull() || Trim(xpath).empty()) return {};
  return node.selectSingleNode(xpath).text();
}

std::string GetElementText(const xml::Node& node, std::string_view xpath) {
  if (node.isNull()) return {};
  if (Trim(xpath).empty()) return node.text();
  return node.selectSingleNode(xpath).text();
}

int GetNodeInteger(const xml::Node& node, std::string_view xpath) {
  std::string text = GetNodeText(node, xpath);
  if (text.empty()) return 0;
  double v = LeadingNumber(text);
  std::fesetround(FE_TONEAREST);
  double r = std::nearbyint(v);
  if (!(r >= -32768.0 && r <= 32767.0)) return 0;
  return static_cast<int>(r);
}

bool GetAttributeBoolean(const xml::Node& node, std::string_view xpath, std::string_view attribute,
                         bool& value) {
  if (node.isNull()) return false;
  xml::Node element = Trim(xpath).empty() ? node : node.selectSingleNode(xpath);
  if (element.isNull() || !element.hasAttribute(attribute)) return false;
  std::string text = element.getAttribute(attribute);
  double number = IsNumeric(text) ? std::strtod(Trim(text).c_str(), nullptr) : 0.0;
  value = number != 0.0;
  return true;
}

std::string XmlEncoding() {
  std::string encoding = Resources().GetResXString("MSG XmlEncoding", "");
  if (Trim(encoding) == Resources().ResNotFound()) return "iso-8859-1";
  return encoding;
}

std::string XmlDeclaration() {
  return "<?xml version=\"1.0\" encoding=\"" + XmlEncoding() + "\"?>";
}

void RemoveXmlHeader(std::string& text) {
  // "?>" has no letters, so a case-blind search is a plain search.
  std::size_t at = text.find("?>");
  if (at != std::string::npos) text.erase(0, at + 2);
}

std::string XmlFileBytes(std::string& text) {
  RemoveXmlHeader(text);
  const std::string encoding = XmlEncoding();
  text = "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>" + text;
  return EncodeXmlMarkup(text + "\r\n", Trim(encoding));
}

bool SaveXmlText(std::string& text, const std::string& path, Err* out) {
  std::string bytes = XmlFileBytes(text);
  std::string error;
  if (Trim(path).empty() || !Env::Default()->WriteFileAtomic(path, bytes, &error)) {
    if (error.empty()) error = "Bad file name or number";
    Err err = Err::Raise(kErrFileAccess, "SaveXmlText", error);
    if (out) *out = err;
    std::string message =
        Resources().GetResXStringParam("MSG ErrorNumberSourceDescription",
                                       {std::to_string(err.Number), err.Source, err.Description});
    LogError(message, err);
    return false;
  }
  return true;
}

bool FileExists(std::string_view path) {
  std::string p = Trim(path);
  if (p.empty()) return false;
  return Env::Default()->Exists(std::string(path));
}

}  // namespace larkedi
