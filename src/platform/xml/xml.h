// DOM documents, XPath selection and XSL transformation over libxml2/libxslt.
//
// The objects behave like references to shared DOM objects: copying a Document or a Node
// copies the reference, not the tree. A Node keeps its document alive, so a node taken
// from a document stays valid as long as any reference to it exists, even after it was
// removed from the tree or the document was reloaded.
//
// Nothing here throws. Operations that can fail return a null Node, an empty list or
// false, and the failing ones that matter to callers report a reason text.
//
// Parsing never reads external entities, DTDs or anything from the network.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace larkedi::xml {

/// The text with every character an XML 1.0 document cannot hold removed: control characters
/// other than tab, line feed and carriage return, U+FFFE and U+FFFF, surrogates, and bytes that
/// are not UTF-8. Every text and attribute value the module puts into a document passes
/// through it, so no typed or received value can make a saved document unreadable.
std::string XmlSafeText(std::string_view text);

/// The deepest nesting of elements a parsed document may have; a deeper one is refused.
inline constexpr int kMaxElementDepth = 256;

/// Looks up a text of the user's language by resource key, with its %s0..%s9 parameters
/// filled in; an empty result keeps the built-in English text.
using MessageLookup =
    std::function<std::string(std::string_view key, const std::vector<std::string>& parameters)>;
/// Installs the lookup the parser uses for the refusals it words itself (today the
/// document nested deeper than kMaxElementDepth, key "MSG XmlTooDeepParam"); the language
/// resources install it when they load. Null restores the English texts.
void SetMessageLookup(MessageLookup lookup);

enum class NodeType {
  Null = 0,
  Element = 1,
  Attribute = 2,
  Text = 3,
  CData = 4,
  EntityReference = 5,
  Entity = 6,
  ProcessingInstruction = 7,
  Comment = 8,
  Document = 9,
  DocumentType = 10,
  DocumentFragment = 11,
  Notation = 12,
};

namespace detail {
struct DocHolder;
}
class Document;
class NodeList;

class Node {
 public:
  /// A null reference.
  Node() = default;

  bool isNull() const { return cur() == nullptr; }
  explicit operator bool() const { return cur() != nullptr; }
  /// True when both refer to the same DOM node.
  bool operator==(const Node& other) const { return cur() == other.cur(); }

  NodeType nodeType() const;
  /// Qualified name; "#text", "#cdata-section", "#comment", "#document" for the others.
  std::string nodeName() const;
  /// Local name without prefix.
  std::string baseName() const;
  /// Content of text, CDATA, comment, processing-instruction and attribute nodes; empty
  /// for elements and documents.
  std::string nodeValue() const;
  bool setNodeValue(std::string_view value);

  /// The concatenated text of the node and all its descendants (CDATA included).
  std::string text() const;
  /// Replaces the node's content by one text node holding `value` (for elements), or the
  /// node's value (text, CDATA, comment, attribute). Returns false on a null node.
  bool setText(std::string_view value);
  /// The node's markup. For a document: each top-level node followed by CR LF.
  std::string xml() const;

  Node parentNode() const;
  Node firstChild() const;
  Node lastChild() const;
  Node nextSibling() const;
  Node previousSibling() const;
  /// A snapshot of the child nodes in document order.
  NodeList childNodes() const;
  bool hasChildNodes() const;
  Document ownerDocument() const;

  /// Attribute nodes of an element (empty list for other nodes).
  NodeList attributes() const;
  /// Value of the attribute; empty when absent. `hasAttribute` tells the two apart.
  std::string getAttribute(std::string_view name) const;
  bool hasAttribute(std::string_view name) const;
  Node getAttributeNode(std::string_view name) const;
  /// Sets (creating if needed) the attribute. False when this is not an element.
  bool setAttribute(std::string_view name, std::string_view value);
  /// Adds an attribute node made by createAttribute, replacing one of the same name.
  /// Returns the replaced attribute node, or a null node.
  Node setAttributeNode(const Node& attribute);
  bool removeAttribute(std::string_view name);

  /// Appends `child` (moving it from where it was). A node of another document is copied
  /// into this one and removed from its old place; the returned node is the one now in
  /// this tree. Returns a null node when the insertion is not allowed.
  Node appendChild(const Node& child);
  /// Moves the root element of `source` to the end of this node's children without
  /// copying it (appendChild copies nodes of another document). `source` is left without
  /// a root element and stays usable. Handles taken from `source` before the move keep
  /// designating the moved nodes, and keep this document alive while they exist. Returns
  /// the moved element, or a null node when `source` is empty, is this node's own
  /// document, or the insertion is not allowed. When a back-reference would make the two
  /// documents keep each other alive, the element is copied and removed instead.
  Node adoptChild(Document& source);
  /// Inserts `child` before `reference` (appends when `reference` is null).
  Node insertBefore(const Node& child, const Node& reference);
  /// Removes `child` from this node; returns it (still usable), or null if not a child.
  Node removeChild(const Node& child);
  /// Puts `newChild` in the place of `oldChild`; returns `oldChild`, or null on failure.
  Node replaceChild(const Node& newChild, const Node& oldChild);
  /// A copy of this node in the same document, not attached anywhere.
  Node cloneNode(bool deep) const;

  /// First node matching an XPath 1.0 expression evaluated with this node as context.
  /// Null when nothing matches or the expression is invalid (`error` receives the reason).
  Node selectSingleNode(std::string_view xpath, std::string* error = nullptr) const;
  /// All matching nodes in document order; empty on no match or an invalid expression.
  NodeList selectNodes(std::string_view xpath, std::string* error = nullptr) const;

  /// Transforms this node (or the document holding it) with an XSLT style sheet document
  /// and returns the output text. Empty with `error` set when the transformation fails.
  std::string transformNode(const Node& stylesheet, std::string* error = nullptr) const;

  /// The underlying libxml2 node, for the platform layer only.
  void* raw() const { return cur(); }

 protected:
  friend class Document;
  friend class NodeList;
  friend class Processor;
  friend struct detail::DocHolder;
  Node(std::shared_ptr<detail::DocHolder> holder, void* node)
      : holder_(std::move(holder)), node_(node) {}

  /// The node referred to. A document reference always designates the holder's current
  /// tree, so a reload through one reference is seen by every other.
  void* cur() const;

  std::shared_ptr<detail::DocHolder> holder_;
  void* node_ = nullptr;
  bool is_document_ = false;
};

class NodeList {
 public:
  NodeList() = default;
  long length() const { return static_cast<long>(nodes_.size()); }
  bool empty() const { return nodes_.empty(); }
  /// The node at `index` (0-based); a null node outside the range.
  Node item(long index) const;

  class iterator {
   public:
    iterator(const NodeList* list, std::size_t i) : list_(list), i_(i) {}
    Node operator*() const { return list_->item(static_cast<long>(i_)); }
    iterator& operator++() {
      ++i_;
      return *this;
    }
    bool operator!=(const iterator& o) const { return i_ != o.i_; }

   private:
    const NodeList* list_;
    std::size_t i_;
  };
  iterator begin() const { return iterator(this, 0); }
  iterator end() const { return iterator(this, nodes_.size()); }

 private:
  friend class Node;
  NodeList(std::shared_ptr<detail::DocHolder> holder, std::vector<void*> nodes)
      : holder_(std::move(holder)), nodes_(std::move(nodes)) {}
  std::shared_ptr<detail::DocHolder> holder_;
  std::vector<void*> nodes_;
};

/// A DOM document. A default-constructed Document is a new, empty document.
class Document : public Node {
 public:
  Document();

  /// Parses `text`. On failure the document is left empty and `parseErrorReason()` tells why.
  bool loadXML(std::string_view text);
  /// Parses the file at `path` (no network). Same failure contract as loadXML.
  bool load(const std::string& path);
  /// The parser's reason text for the last failed load; empty after a successful one.
  const std::string& parseErrorReason() const;
  /// Writes the document to `path` (UTF-8 with a declaration), whole or not at all.
  bool save(const std::string& path, std::string* error = nullptr) const;

  /// The root element; null when the document is empty.
  Node documentElement() const;
  /// Makes `element` the root element, replacing the current one.
  bool setDocumentElement(const Node& element);

  Node createElement(std::string_view name);
  Node createTextNode(std::string_view text);
  Node createCDATASection(std::string_view text);
  Node createComment(std::string_view text);
  /// A copy of `node` (of any document) made in this document and not yet in its tree;
  /// append it where it belongs. Unlike cloneNode followed by appendChild, no copy is left
  /// behind in the other document. Null for a null, document or attribute node.
  Node importNode(const Node& node, bool deep);
  Node createProcessingInstruction(std::string_view target, std::string_view data);
  Node createAttribute(std::string_view name);
  /// createNode(type, name): element, attribute, text, CDATA or comment nodes.
  Node createNode(NodeType type, std::string_view name);

  /// Binds namespace prefixes for XPath, in the form "xmlns:a='uri' xmlns:b='uri2'".
  /// Returns false (and keeps the earlier bindings) when the text is malformed.
  bool setSelectionNamespaces(std::string_view declarations);

 private:
  friend class Node;
  explicit Document(std::shared_ptr<detail::DocHolder> holder);
};

/// A compiled XSL style sheet. Reusable for many transformations.
class Template {
 public:
  Template();
  ~Template();
  Template(Template&&) noexcept;
  Template& operator=(Template&&) noexcept;

  /// Compiles the style sheet document. Returns false with `error` set when it is not a
  /// valid XSLT style sheet.
  bool setStylesheet(const Document& stylesheet, std::string* error = nullptr);
  bool valid() const;

 private:
  friend class Processor;
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

/// One transformation run of a Template: input, string parameters, output text.
class Processor {
 public:
  explicit Processor(const Template& tmpl);
  void setInput(const Node& input) { input_ = input; }
  /// Adds a parameter passed to the style sheet as a string (never evaluated as XPath).
  void addParameter(std::string_view name, std::string_view value);
  /// Runs the transformation. Returns false with `error()` set on failure.
  bool transform();
  const std::string& output() const { return output_; }
  const std::string& error() const { return error_; }

 private:
  std::shared_ptr<Template::Impl> tmpl_;
  Node input_;
  std::vector<std::pair<std::string, std::string>> params_;
  std::string output_;
  std::string error_;
};

/// An XPath 1.0 literal that selects `value` exactly, whatever quotes it holds:
/// 'abc', "it's", or concat('say "', "it's", '"').
std::string XPathLiteral(std::string_view value);

/// Escapes text for use as XML character data (& < > and, when `attribute`, quotes).
std::string EscapeXmlText(std::string_view text, bool attribute = false);

}  // namespace larkedi::xml
