#include "support/resx.h"

#include "support/log.h"
#include "support/module.h"
#include "support/xml_helpers.h"

namespace larkedi {

const std::string& clsResX::ResNotFound() const {
  static const std::string text = "ResNotFound!";
  return text;
}

bool clsResX::LoadResXFile(const std::string& path) {
  if (Module().LogEnabled) WriteLog("Loading the resource file: " + path);
  if (!resx_) resx_.emplace();
  index_.clear();
  if (!resx_->load(path)) {
    Err err =
        Err::Raise(kErrComponent, "clsResX - LoadResXFile",
                   "Cannot load ResX file with MSXML\r\nReason: " + resx_->parseErrorReason());
    LogError("An unexpected error occured.", err);
    return false;
  }
  // The first data element of a name that has a value decides, as //data[@name=k]/value does.
  for (xml::Node data : resx_->selectNodes("//data[value]")) {
    std::string name = data.getAttribute("name");
    if (!data.hasAttribute("name") || index_.count(name)) continue;
    index_.emplace(std::move(name), data.selectSingleNode("value").text());
  }
  if (this == &Resources()) {
    // The XML layer words its own refusals (a document nested too deep) from these texts.
    xml::SetMessageLookup([](std::string_view key, const std::vector<std::string>& parameters) {
      const clsResX& shared = Resources();
      if (!shared.IsLoaded() || !shared.HasKey(key)) return std::string();
      return shared.GetResXStringParam(key, parameters);
    });
  }
  return true;
}

bool clsResX::LoadXmlFile(const std::string& path) {
  if (Module().LogEnabled) WriteLog("Loading file: " + path);
  if (!template_) template_.emplace();
  if (!template_->load(path)) {
    Err err =
        Err::Raise(kErrComponent, "clsResX - LoadXmlFile",
                   "Cannot load XML file with MSXML\r\nReason: " + template_->parseErrorReason());
    LogError("An unexpected error occured.", err);
    return false;
  }
  return true;
}

std::string clsResX::LoadAllResXString() {
  if (Module().LogEnabled) {
    WriteLog("Starting to load all resources from ResX document into XML document.");
  }
  if (!resx_) {
    LogError("Cannot get resources. ResX file is not loaded.", Err{});
    return {};
  }
  if (!template_) {
    LogError("Cannot load resources into XML document.The object is not set.", Err{});
    return {};
  }
  for (xml::Node ids : template_->selectNodes("//IDS")) {
    xml::Node text = template_->createTextNode(GetResXString(ids.getAttribute("Name"), ""));
    ids.parentNode().replaceChild(text, ids);
  }
  return template_->xml();
}

std::string clsResX::GetResXString(std::string_view key, std::string_view default_text) const {
  std::string found;
  if (!resx_) {
    LogError("Cannot get resource string IDS = " + std::string(key) + ". ResX file is not loaded.",
             Err{});
  } else if (auto it = index_.find(std::string(key)); it != index_.end()) {
    found = it->second;
  }
  if (found.empty()) {
    if (!Trim(default_text).empty()) return std::string(default_text);
    return ResNotFound();
  }
  return found;
}

std::string clsResX::GetResXStringParam(std::string_view key,
                                        const std::vector<std::string>& parameters) const {
  std::string s = GetResXString(key, "");
  for (std::size_t i = 0; i < 10 && i < parameters.size(); ++i) {
    std::string placeholder = "%s" + std::to_string(i);
    std::size_t at = s.find(placeholder);
    if (at != std::string::npos) s.replace(at, placeholder.size(), parameters[i]);
  }
  return s;
}

clsResX& Resources() {
  static clsResX resources;
  return resources;
}

std::string Res(std::string_view key) {
  return Resources().GetResXString(key, "");
}

std::string ResParam(std::string_view key, const std::vector<std::string>& parameters) {
  return Resources().GetResXStringParam(key, parameters);
}

}  // namespace larkedi
