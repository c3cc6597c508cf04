// Language resources: every user-visible text, looked up by key in a .resx file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/xml/xml.h"

namespace larkedi {

class clsResX {
 public:
  /// The text returned for a key that has no text: "ResNotFound!".
  const std::string& ResNotFound() const;

  /// Loads the resource file. False (and logged) when it cannot be read or parsed.
  bool LoadResXFile(const std::string& path);
  /// Loads a template (page or style sheet) whose IDS elements LoadAllResXString fills.
  bool LoadXmlFile(const std::string& path);
  /// The template's markup with every IDS element replaced by its key's text; empty when
  /// the resource file or the template is not loaded.
  std::string LoadAllResXString();

  /// The text of `key` (first occurrence). An empty or missing text gives `default_text`
  /// when that is not blank, else "ResNotFound!".
  std::string GetResXString(std::string_view key, std::string_view default_text = "") const;
  /// GetResXString(key) with the first occurrence of %s0..%s9 replaced by parameter 0..9.
  std::string GetResXStringParam(std::string_view key,
                                 const std::vector<std::string>& parameters) const;

  bool IsLoaded() const { return resx_.has_value(); }
  /// True when the loaded resource file has a text for `key`.
  bool HasKey(std::string_view key) const { return index_.count(std::string(key)) > 0; }

 private:
  std::optional<xml::Document> resx_;
  std::optional<xml::Document> template_;
  // Key -> text of its first value, built once per load for fast lookups.
  std::unordered_map<std::string, std::string> index_;
};

/// The one resource object the whole process shares.
clsResX& Resources();

/// Shorthand for Resources().GetResXString(key).
std::string Res(std::string_view key);
/// Shorthand for Resources().GetResXStringParam(key, parameters).
std::string ResParam(std::string_view key, const std::vector<std::string>& parameters);

}  // namespace larkedi
