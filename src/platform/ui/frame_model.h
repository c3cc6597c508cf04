// The module's own copy of a document shown in the window: one per frame (fDocA, fDocB,
// fDocC) and one for the window page itself (menu bar, frame rows, second panel).
//
// The module reads and changes the pages only through these models, synchronously, as it
// would a browser's document. Every change produces a small patch (which element, what
// changed) that the window server pushes to the page; a page that connects receives the
// whole current document instead. Text and attribute values are escaped when the model
// is written out; HTML given to innerHTML is parsed, and scripts and event-handler
// attributes in it are dropped (the page runs no script but the window's own).
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/xml/xml.h"

namespace larkedi::ui {

/// One change of a model, as the page applies it.
struct Patch {
  enum class Kind {
    Document,         // the whole document (`value` is its HTML)
    InnerHtml,        // `value` is the element's new content
    SetAttribute,     // `name` = `value`
    RemoveAttribute,  // `name`
    StyleWidth,       // `value`, e.g. "40%"
    Value,            // a form control's value
    Checked,          // "1" or "0"
    Selected,         // the selected option indexes, comma separated
  };
  std::string frame;
  /// The element's id; "!body" for a body without id; empty for Document.
  std::string target;
  Kind kind = Kind::Document;
  std::string name;
  std::string value;
};

/// A form control's state as the page reported it with an event.
struct ControlState {
  std::string id;
  std::optional<std::string> value;
  std::optional<bool> checked;
  std::optional<std::vector<int>> selected;
};

class FrameModel;

/// An element of a model. A null element (not found) answers empty texts and ignores
/// changes (they return false).
class HtmlElement {
 public:
  HtmlElement() = default;
  explicit operator bool() const { return model_ != nullptr && !node_.isNull(); }
  bool operator==(const HtmlElement& other) const { return node_ == other.node_; }

  std::string id() const;
  /// Lower-case tag name ("input", "a", ...).
  std::string tagName() const;
  /// A browser's `type`, lower-cased: an input's type ("text" when not given), "submit"
  /// for a button without type, "select-one"/"select-multiple", "textarea"; else empty.
  std::string type() const;

  std::string innerHTML() const;
  bool setInnerHTML(std::string_view html);
  std::string innerText() const;
  /// Replaces the content by `text`, shown as text (escaped), never as markup.
  bool setInnerText(std::string_view text);

  /// Attribute names are compared without regard to case.
  std::string getAttribute(std::string_view name) const;
  bool hasAttribute(std::string_view name) const;
  bool setAttribute(std::string_view name, std::string_view value);
  bool removeAttribute(std::string_view name);

  /// The `width` of the element's style attribute ("" when not set).
  std::string styleWidth() const;
  bool setStyleWidth(std::string_view width);

  /// Form controls: input, textarea, select, option, button.
  std::string value() const;
  bool setValue(std::string_view value);
  bool checked() const;
  bool setChecked(bool checked);
  /// Indexes (in document order) of a select's selected options.
  std::vector<int> selectedIndexes() const;
  bool setSelectedIndexes(const std::vector<int>& indexes);
  /// A select's options.
  std::vector<HtmlElement> options() const;

  /// The form the control belongs to (null when none).
  HtmlElement form() const;
  /// A form's controls (input, select, textarea, button) in document order.
  std::vector<HtmlElement> elements() const;

  std::string href() const { return getAttribute("href"); }
  bool setHref(std::string_view href) { return setAttribute("href", href); }

  /// The element's node, to read from (changes made through it bypass the model).
  xml::Node node() const { return node_; }

 private:
  friend class FrameModel;
  HtmlElement(FrameModel* model, xml::Node node) : model_(model), node_(std::move(node)) {}
  FrameModel* model_ = nullptr;
  xml::Node node_;
};

class FrameModel {
 public:
  using PatchSink = std::function<void(const Patch&)>;

  /// A model holding an empty page.
  explicit FrameModel(std::string name, PatchSink sink = nullptr);
  FrameModel(const FrameModel&) = delete;
  FrameModel& operator=(const FrameModel&) = delete;

  const std::string& name() const { return name_; }
  void set_sink(PatchSink sink);

  /// Replaces the whole document (the frame is written anew). False with `error` set
  /// when the text is not HTML at all; the model is then unchanged.
  bool LoadHtml(std::string_view html, std::string* error = nullptr);
  /// The current document as HTML. Safe to call from any thread.
  std::string Html() const;

  /// The first element whose id equals `id` without regard to case.
  HtmlElement GetElementById(std::string_view id);
  /// Elements with that (lower-case) tag name in document order; "*" for all.
  std::vector<HtmlElement> GetElementsByTagName(std::string_view tag);
  HtmlElement body();
  std::vector<HtmlElement> anchors() { return GetElementsByTagName("a"); }
  std::vector<HtmlElement> forms() { return GetElementsByTagName("form"); }

  /// Takes over the state of the page's form controls (values, check boxes, selected
  /// options). Produces no patch: the page already shows it.
  void ApplyControlState(const std::vector<ControlState>& controls);
  /// Shows the page the model's state of the check box, radio button or list `id` again,
  /// after the page changed it by an input the module never took (other elements: no
  /// change). For a radio button, the button of its group the model holds ticked.
  void RestoreControl(std::string_view id);

  /// Elements with an id that no ancestor with an id contains, with their attributes and
  /// content: the window page's state, which is applied element by element.
  struct ElementState {
    std::string id;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::optional<std::string> html;  // not sent for elements marked data-keep
  };
  std::vector<ElementState> TopElements() const;

 private:
  friend class HtmlElement;

  // Callers hold mu_.
  xml::Node FindById(std::string_view id) const;
  std::string TargetOf(const xml::Node& node) const;
  std::string SerializeLocked() const;
  /// Sends `patch`, or the whole document when the element has no address.
  void Emit(Patch patch);

  std::string name_;
  PatchSink sink_;
  mutable std::mutex mu_;
  xml::Document doc_;
  std::string doctype_;
  // Elements by lower-cased id (guarded by mu_).
  mutable std::unordered_map<std::string, xml::Node> id_index_;
  mutable bool index_valid_ = false;
};

/// The HTML text of a node and its descendants (void elements without end tags).
std::string SerializeHtml(const xml::Node& node);
/// The HTML text of a node's children.
std::string SerializeChildrenHtml(const xml::Node& node);
/// Parses an HTML fragment into nodes of `doc` (not attached), without scripts and
/// event-handler attributes.
std::vector<xml::Node> ParseHtmlFragment(std::string_view html, xml::Document& doc);
/// Escapes text for HTML (& < > " ').
std::string EscapeHtml(std::string_view text);

}  // namespace larkedi::ui
