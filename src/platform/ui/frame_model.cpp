#include "platform/ui/frame_model.h"

#include <libxml/HTMLtree.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/xml/html.h"

namespace larkedi::ui {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

bool IsElement(const xml::Node& node) {
  return node.nodeType() == xml::NodeType::Element;
}

void CollectElements(const xml::Node& node, std::string_view tag, std::vector<xml::Node>& out) {
  for (xml::Node child = node.firstChild(); child; child = child.nextSibling()) {
    if (!IsElement(child)) continue;
    if (tag == "*" || child.nodeName() == tag) out.push_back(child);
    CollectElements(child, tag, out);
  }
}

// Scripts never run in the window's pages: script elements and on... attributes go.
void StripScripts(xml::Node node) {
  std::vector<xml::Node> doomed;
  for (xml::Node child = node.firstChild(); child; child = child.nextSibling()) {
    if (!IsElement(child)) continue;
    if (child.nodeName() == "script") {
      doomed.push_back(child);
      continue;
    }
    std::vector<std::string> handlers;
    for (xml::Node attr : child.attributes()) {
      std::string name = Lower(attr.nodeName());
      if (name.size() > 2 && name.compare(0, 2, "on") == 0) handlers.push_back(attr.nodeName());
    }
    for (const auto& name : handlers) child.removeAttribute(name);
    StripScripts(child);
  }
  for (auto& child : doomed) node.removeChild(child);
}

struct OutputFree {
  void operator()(xmlOutputBuffer* out) const { xmlOutputBufferClose(out); }
};

void DumpHtml(const xml::Node& node, std::string& out) {
  auto* raw = static_cast<xmlNode*>(node.raw());
  if (!raw) return;
  // No output encoder: the text stays in the buffer, and characters beyond ASCII are
  // written as character references, which every browser reads the same way.
  std::unique_ptr<xmlOutputBuffer, OutputFree> buffer(xmlAllocOutputBuffer(nullptr));
  if (!buffer) return;
  htmlNodeDumpFormatOutput(buffer.get(), raw->doc, raw, "UTF-8", 0);
  xmlOutputBufferFlush(buffer.get());
  const xmlChar* content = xmlOutputBufferGetContent(buffer.get());
  if (content)
    out.append(reinterpret_cast<const char*>(content), xmlOutputBufferGetSize(buffer.get()));
}

// The declarations of a style attribute as (property, value) pairs.
std::vector<std::pair<std::string, std::string>> ParseStyle(std::string_view style) {
  std::vector<std::pair<std::string, std::string>> out;
  std::size_t pos = 0;
  while (pos <= style.size()) {
    std::size_t end = style.find(';', pos);
    if (end == std::string_view::npos) end = style.size();
    std::string_view decl = style.substr(pos, end - pos);
    std::size_t colon = decl.find(':');
    if (colon != std::string_view::npos) {
      std::string prop = Lower(Trim(decl.substr(0, colon)));
      if (!prop.empty()) out.emplace_back(prop, Trim(decl.substr(colon + 1)));
    }
    pos = end + 1;
  }
  return out;
}

std::string JoinIndexes(const std::vector<int>& indexes) {
  std::string out;
  for (int i : indexes) {
    if (!out.empty()) out += ',';
    out += std::to_string(i);
  }
  return out;
}

std::string OptionValue(const xml::Node& option) {
  return option.hasAttribute("value") ? option.getAttribute("value") : Trim(option.text());
}

std::vector<xml::Node> Options(const xml::Node& select) {
  std::vector<xml::Node> out;
  CollectElements(select, "option", out);
  return out;
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
  // The XML attribute escaping, with the apostrophe written as HTML 4 browsers read it too.
  std::string out = xml::EscapeXmlText(text, /*attribute=*/true);
  for (std::size_t at; (at = out.find("&apos;")) != std::string::npos;) {
    out.replace(at, 6, "&#39;");
  }
  return out;
}

std::string SerializeHtml(const xml::Node& node) {
  std::string out;
  DumpHtml(node, out);
  return out;
}

std::string SerializeChildrenHtml(const xml::Node& node) {
  std::string out;
  for (xml::Node child = node.firstChild(); child; child = child.nextSibling())
    DumpHtml(child, out);
  return out;
}

std::vector<xml::Node> ParseHtmlFragment(std::string_view html, xml::Document& doc) {
  std::vector<xml::Node> out;
  if (Trim(html).empty()) return out;
  std::string page = "<html><body>";
  page.append(html);
  page += "</body></html>";
  xml::Document parsed;
  if (!xml::ParseHtml(page, parsed)) return out;
  xml::Node root = parsed.documentElement();
  StripScripts(root);
  // Content the parser placed in the head (a leading style or title) comes first.
  for (const char* part : {"head", "body"}) {
    xml::Node holder = root.selectSingleNode(part);
    if (!holder) continue;
    for (xml::Node child = holder.firstChild(); child; child = child.nextSibling()) {
      xml::Node copy = doc.importNode(child, true);
      if (copy) out.push_back(copy);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------

FrameModel::FrameModel(std::string name, PatchSink sink)
    : name_(std::move(name)), sink_(std::move(sink)) {
  xml::ParseHtml("<html><head></head><body></body></html>", doc_);
}

void FrameModel::set_sink(PatchSink sink) {
  std::lock_guard<std::mutex> lock(mu_);
  sink_ = std::move(sink);
}

bool FrameModel::LoadHtml(std::string_view html, std::string* error) {
  xml::Document parsed;
  std::string text =
      Trim(html).empty() ? std::string("<html><body></body></html>") : std::string(html);
  if (!xml::ParseHtml(text, parsed, error)) return false;
  StripScripts(parsed.documentElement());
  std::string doctype;
  std::string head = Lower(Trim(std::string_view(text).substr(0, 200)));
  if (head.compare(0, 9, "<!doctype") == 0) {
    std::size_t start = text.find('<');
    std::size_t end = text.find('>', start);
    if (end != std::string::npos) doctype = text.substr(start, end - start + 1);
  }
  Patch patch;
  {
    std::lock_guard<std::mutex> lock(mu_);
    doc_ = parsed;
    index_valid_ = false;
    doctype_ = doctype;
    patch.value = SerializeLocked();
  }
  patch.kind = Patch::Kind::Document;
  Emit(std::move(patch));
  return true;
}

std::string FrameModel::SerializeLocked() const {
  std::string out = doctype_;
  if (!out.empty()) out += "\n";
  DumpHtml(doc_.documentElement(), out);
  return out;
}

std::string FrameModel::Html() const {
  std::lock_guard<std::mutex> lock(mu_);
  return SerializeLocked();
}

xml::Node FrameModel::FindById(std::string_view id) const {
  if (id.empty()) return {};
  if (!index_valid_) {
    // Built on the first lookup after a change of the tree or of an id; the first
    // element with an id wins, as in a browser.
    id_index_.clear();
    std::vector<xml::Node> all;
    CollectElements(doc_, "*", all);
    for (const auto& node : all) {
      if (node.hasAttribute("id")) id_index_.emplace(Lower(node.getAttribute("id")), node);
    }
    index_valid_ = true;
  }
  auto it = id_index_.find(Lower(id));
  return it == id_index_.end() ? xml::Node() : it->second;
}

HtmlElement FrameModel::GetElementById(std::string_view id) {
  std::lock_guard<std::mutex> lock(mu_);
  xml::Node node = FindById(id);
  return node ? HtmlElement(this, node) : HtmlElement();
}

std::vector<HtmlElement> FrameModel::GetElementsByTagName(std::string_view tag) {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<xml::Node> nodes;
  CollectElements(doc_, Lower(tag), nodes);
  std::vector<HtmlElement> out;
  for (auto& n : nodes) out.push_back(HtmlElement(this, n));
  return out;
}

HtmlElement FrameModel::body() {
  std::lock_guard<std::mutex> lock(mu_);
  xml::Node node = doc_.documentElement().selectSingleNode("body");
  return node ? HtmlElement(this, node) : HtmlElement();
}

std::string FrameModel::TargetOf(const xml::Node& node) const {
  std::string id = node.getAttribute("id");
  if (!id.empty() && FindById(id) == node) return id;
  if (node.nodeName() == "body") return "!body";
  return "";
}

void FrameModel::Emit(Patch patch) {
  PatchSink sink;
  {
    std::lock_guard<std::mutex> lock(mu_);
    sink = sink_;
    if (patch.kind != Patch::Kind::Document && patch.target.empty()) {
      // The page cannot find an element without id: it gets the document again.
      patch = Patch{};
      patch.value = SerializeLocked();
    }
  }
  patch.frame = name_;
  if (sink) sink(patch);
}

void FrameModel::ApplyControlState(const std::vector<ControlState>& controls) {
  std::lock_guard<std::mutex> lock(mu_);
  for (const auto& control : controls) {
    xml::Node node = FindById(control.id);
    if (!node) continue;
    std::string tag = node.nodeName();
    if (control.value) {
      if (tag == "textarea") {
        node.setText(*control.value);
      } else if (tag == "input") {
        node.setAttribute("value", *control.value);
      }
    }
    if (control.checked && tag == "input") {
      if (*control.checked) {
        node.setAttribute("checked", "checked");
      } else {
        node.removeAttribute("checked");
      }
    }
    if (control.selected && tag == "select") {
      std::vector<xml::Node> options = Options(node);
      for (std::size_t i = 0; i < options.size(); ++i) {
        bool on = std::find(control.selected->begin(), control.selected->end(),
                            static_cast<int>(i)) != control.selected->end();
        if (on) {
          options[i].setAttribute("selected", "selected");
        } else {
          options[i].removeAttribute("selected");
        }
      }
    }
  }
}

void FrameModel::RestoreControl(std::string_view id) {
  HtmlElement control = GetElementById(id);
  if (!control) return;
  const std::string type = control.type();
  if (type == "checkbox" || type == "radio") {
    // Of a radio group, the button the model holds ticked: the page unticks the rest.
    HtmlElement shown = control;
    const std::string group = control.getAttribute("name");
    if (type == "radio" && !group.empty()) {
      for (HtmlElement other : GetElementsByTagName("input")) {
        if (other.type() == "radio" && other.getAttribute("name") == group && other.checked()) {
          shown = other;
          break;
        }
      }
    }
    shown.setChecked(shown.checked());
  } else if (type.rfind("select", 0) == 0) {
    std::vector<int> chosen = control.selectedIndexes();
    // A list of one choice with none marked shows its first option, as a browser does.
    if (chosen.empty() && type == "select-one" && !control.options().empty()) chosen = {0};
    control.setSelectedIndexes(chosen);
  }
}

std::vector<FrameModel::ElementState> FrameModel::TopElements() const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<ElementState> out;
  std::function<void(const xml::Node&)> walk = [&](const xml::Node& node) {
    for (xml::Node child = node.firstChild(); child; child = child.nextSibling()) {
      if (!IsElement(child)) continue;
      std::string id = child.getAttribute("id");
      if (id.empty()) {
        walk(child);
        continue;
      }
      ElementState state;
      state.id = id;
      for (xml::Node attr : child.attributes())
        state.attributes.emplace_back(attr.nodeName(), attr.text());
      if (child.hasAttribute("data-keep")) {
        out.push_back(std::move(state));
        walk(child);
      } else {
        state.html = SerializeChildrenHtml(child);
        out.push_back(std::move(state));
      }
    }
  };
  walk(doc_.documentElement());
  return out;
}

// ---------------------------------------------------------------------------------------

#define LK_LOCK_OR(fail)   \
  if (!*this) return fail; \
  std::unique_lock<std::mutex> lock(model_->mu_)

std::string HtmlElement::id() const {
  LK_LOCK_OR("");
  return node_.getAttribute("id");
}

std::string HtmlElement::tagName() const {
  LK_LOCK_OR("");
  return node_.nodeName();
}

std::string HtmlElement::type() const {
  LK_LOCK_OR("");
  std::string tag = node_.nodeName();
  std::string type = Lower(Trim(node_.getAttribute("type")));
  if (tag == "input") return type.empty() ? "text" : type;
  if (tag == "button") return type.empty() ? "submit" : type;
  if (tag == "select") return node_.hasAttribute("multiple") ? "select-multiple" : "select-one";
  if (tag == "textarea") return "textarea";
  return type;
}

std::string HtmlElement::innerHTML() const {
  LK_LOCK_OR("");
  return SerializeChildrenHtml(node_);
}

bool HtmlElement::setInnerHTML(std::string_view html) {
  Patch patch;
  {
    LK_LOCK_OR(false);
    for (xml::Node child : node_.childNodes()) node_.removeChild(child);
    model_->index_valid_ = false;
    xml::Document doc = node_.ownerDocument();
    for (auto& child : ParseHtmlFragment(html, doc)) node_.appendChild(child);
    patch.kind = Patch::Kind::InnerHtml;
    patch.target = model_->TargetOf(node_);
    patch.value = SerializeChildrenHtml(node_);
  }
  model_->Emit(std::move(patch));
  return true;
}

std::string HtmlElement::innerText() const {
  LK_LOCK_OR("");
  return node_.text();
}

bool HtmlElement::setInnerText(std::string_view text) {
  Patch patch;
  {
    LK_LOCK_OR(false);
    node_.setText(text);
    model_->index_valid_ = false;
    patch.kind = Patch::Kind::InnerHtml;
    patch.target = model_->TargetOf(node_);
    patch.value = SerializeChildrenHtml(node_);
  }
  model_->Emit(std::move(patch));
  return true;
}

std::string HtmlElement::getAttribute(std::string_view name) const {
  LK_LOCK_OR("");
  return node_.getAttribute(Lower(name));
}

bool HtmlElement::hasAttribute(std::string_view name) const {
  LK_LOCK_OR(false);
  return node_.hasAttribute(Lower(name));
}

bool HtmlElement::setAttribute(std::string_view name, std::string_view value) {
  std::string key = Lower(Trim(name));
  // Event handlers are never put into a page.
  if (key.empty() || key.compare(0, 2, "on") == 0) return false;
  Patch patch;
  {
    LK_LOCK_OR(false);
    // The element's address is the id it had before the change.
    patch.target = model_->TargetOf(node_);
    if (!node_.setAttribute(key, value)) return false;
    if (key == "id") model_->index_valid_ = false;
    if (key == "id") patch.target.clear();
    patch.kind = Patch::Kind::SetAttribute;
    patch.name = key;
    patch.value = std::string(value);
  }
  model_->Emit(std::move(patch));
  return true;
}

bool HtmlElement::removeAttribute(std::string_view name) {
  std::string key = Lower(Trim(name));
  Patch patch;
  {
    LK_LOCK_OR(false);
    if (!node_.hasAttribute(key)) return true;
    patch.target = model_->TargetOf(node_);
    node_.removeAttribute(key);
    if (key == "id") {
      model_->index_valid_ = false;
      patch.target.clear();
    }
    patch.kind = Patch::Kind::RemoveAttribute;
    patch.name = key;
  }
  model_->Emit(std::move(patch));
  return true;
}

std::string HtmlElement::styleWidth() const {
  LK_LOCK_OR("");
  for (const auto& [prop, value] : ParseStyle(node_.getAttribute("style"))) {
    if (prop == "width") return value;
  }
  return "";
}

bool HtmlElement::setStyleWidth(std::string_view width) {
  Patch patch;
  {
    LK_LOCK_OR(false);
    auto decls = ParseStyle(node_.getAttribute("style"));
    bool found = false;
    for (auto& [prop, value] : decls) {
      if (prop == "width") {
        value = Trim(width);
        found = true;
      }
    }
    if (!found) decls.emplace_back("width", Trim(width));
    std::string style;
    for (const auto& [prop, value] : decls) {
      if (value.empty()) continue;
      if (!style.empty()) style += "; ";
      style += prop + ": " + value;
    }
    node_.setAttribute("style", style);
    patch.kind = Patch::Kind::StyleWidth;
    patch.target = model_->TargetOf(node_);
    patch.value = Trim(width);
  }
  model_->Emit(std::move(patch));
  return true;
}

std::string HtmlElement::value() const {
  LK_LOCK_OR("");
  std::string tag = node_.nodeName();
  if (tag == "textarea") return node_.text();
  if (tag == "option") return OptionValue(node_);
  if (tag == "select") {
    std::vector<xml::Node> options = Options(node_);
    for (const auto& option : options) {
      if (option.hasAttribute("selected")) return OptionValue(option);
    }
    if (!options.empty() && !node_.hasAttribute("multiple")) return OptionValue(options.front());
    return "";
  }
  if (tag == "input") {
    std::string type = Lower(node_.getAttribute("type"));
    if ((type == "checkbox" || type == "radio") && !node_.hasAttribute("value")) return "on";
  }
  return node_.getAttribute("value");
}

bool HtmlElement::setValue(std::string_view value) {
  Patch patch;
  {
    LK_LOCK_OR(false);
    std::string tag = node_.nodeName();
    patch.target = model_->TargetOf(node_);
    patch.kind = Patch::Kind::Value;
    patch.value = std::string(value);
    if (tag == "textarea") {
      node_.setText(value);
    } else if (tag == "select") {
      std::vector<int> chosen;
      std::vector<xml::Node> options = Options(node_);
      bool taken = false;
      for (std::size_t i = 0; i < options.size(); ++i) {
        if (!taken && OptionValue(options[i]) == value) {
          options[i].setAttribute("selected", "selected");
          chosen.push_back(static_cast<int>(i));
          taken = true;
        } else {
          options[i].removeAttribute("selected");
        }
      }
      patch.kind = Patch::Kind::Selected;
      patch.value = JoinIndexes(chosen);
    } else {
      node_.setAttribute("value", value);
    }
  }
  model_->Emit(std::move(patch));
  return true;
}

bool HtmlElement::checked() const {
  LK_LOCK_OR(false);
  return node_.hasAttribute("checked");
}

bool HtmlElement::setChecked(bool on) {
  Patch patch;
  {
    LK_LOCK_OR(false);
    if (on) {
      node_.setAttribute("checked", "checked");
      // A radio button unticks the others of its group, as the page does.
      if (Lower(node_.getAttribute("type")) == "radio" && node_.hasAttribute("name")) {
        std::vector<xml::Node> inputs;
        CollectElements(model_->doc_, "input", inputs);
        for (auto& other : inputs) {
          if (!(other == node_) && Lower(other.getAttribute("type")) == "radio" &&
              other.getAttribute("name") == node_.getAttribute("name")) {
            other.removeAttribute("checked");
          }
        }
      }
    } else {
      node_.removeAttribute("checked");
    }
    patch.kind = Patch::Kind::Checked;
    patch.target = model_->TargetOf(node_);
    patch.value.assign(1, on ? '1' : '0');
  }
  model_->Emit(std::move(patch));
  return true;
}

std::vector<int> HtmlElement::selectedIndexes() const {
  LK_LOCK_OR({});
  std::vector<int> out;
  std::vector<xml::Node> options = Options(node_);
  for (std::size_t i = 0; i < options.size(); ++i) {
    if (options[i].hasAttribute("selected")) out.push_back(static_cast<int>(i));
  }
  return out;
}

bool HtmlElement::setSelectedIndexes(const std::vector<int>& indexes) {
  Patch patch;
  {
    LK_LOCK_OR(false);
    std::vector<xml::Node> options = Options(node_);
    std::vector<int> chosen;
    for (std::size_t i = 0; i < options.size(); ++i) {
      if (std::find(indexes.begin(), indexes.end(), static_cast<int>(i)) != indexes.end()) {
        options[i].setAttribute("selected", "selected");
        chosen.push_back(static_cast<int>(i));
      } else {
        options[i].removeAttribute("selected");
      }
    }
    patch.kind = Patch::Kind::Selected;
    patch.target = model_->TargetOf(node_);
    patch.value = JoinIndexes(chosen);
  }
  model_->Emit(std::move(patch));
  return true;
}

std::vector<HtmlElement> HtmlElement::options() const {
  LK_LOCK_OR({});
  std::vector<HtmlElement> out;
  for (auto& option : Options(node_)) out.push_back(HtmlElement(model_, option));
  return out;
}

HtmlElement HtmlElement::form() const {
  LK_LOCK_OR({});
  std::string owner = node_.getAttribute("form");
  if (!owner.empty()) {
    xml::Node found = model_->FindById(owner);
    if (found && found.nodeName() == "form") return HtmlElement(model_, found);
  }
  for (xml::Node up = node_.parentNode(); up && IsElement(up); up = up.parentNode()) {
    if (up.nodeName() == "form") return HtmlElement(model_, up);
  }
  return {};
}

std::vector<HtmlElement> HtmlElement::elements() const {
  LK_LOCK_OR({});
  std::vector<xml::Node> all;
  CollectElements(node_, "*", all);
  std::vector<HtmlElement> out;
  for (auto& node : all) {
    std::string tag = node.nodeName();
    if (tag == "input" || tag == "select" || tag == "textarea" || tag == "button") {
      out.push_back(HtmlElement(model_, node));
    }
  }
  return out;
}

#undef LK_LOCK_OR

}  // namespace larkedi::ui
