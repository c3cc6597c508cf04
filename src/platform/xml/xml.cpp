#include "platform/xml/xml.h"

#include <libexslt/exslt.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/variables.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "platform/env.h"
#include "platform/text_encoding.h"

namespace larkedi::xml {
namespace {

xmlNodePtr N(void* p) {
  return static_cast<xmlNodePtr>(p);
}
const xmlChar* X(const std::string& s) {
  return reinterpret_cast<const xmlChar*>(s.c_str());
}
std::string S(const xmlChar* s) {
  return s ? reinterpret_cast<const char*>(s) : std::string();
}
std::string TakeString(xmlChar* s) {
  std::string out = S(s);
  xmlFree(s);
  return out;
}

// ---- error capture and parser safety -------------------------------------------------

// Messages from libxml2/libxslt go to the calling thread's capture buffer, never stderr.
thread_local std::string* g_capture = nullptr;
// Local files may be read only while a style sheet is compiled or applied (xsl:include,
// document()); documents never load anything.
thread_local int g_allow_local_files = 0;

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

void AppendCapture(const char* msg) {
  if (!g_capture || !msg) return;
  if (!g_capture->empty() && g_capture->back() != '\n') g_capture->push_back('\n');
  g_capture->append(msg);
}

void StructuredError(void*, xmlErrorPtr err) {
  if (!err || !err->message) return;
  std::string msg = Trimmed(err->message);
  if (err->domain == XML_FROM_PARSER && err->line > 0) {
    msg += " (line " + std::to_string(err->line) + ", column " + std::to_string(err->int2) + ")";
  }
  AppendCapture(msg.c_str());
}

void GenericError(void*, const char* fmt, ...) {
  if (!g_capture) return;
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  g_capture->append(buf);
}

xmlParserInputPtr GuardedEntityLoader(const char* url, const char*, xmlParserCtxtPtr ctxt) {
  if (g_allow_local_files > 0 && url && std::strstr(url, "://") == nullptr) {
    return xmlNewInputFromFile(ctxt, url);
  }
  if (url && std::strncmp(url, "file://", 7) == 0 && g_allow_local_files > 0) {
    return xmlNewInputFromFile(ctxt, url + 7);
  }
  AppendCapture("Loading external resources is not allowed");
  return nullptr;
}

std::mutex g_lookup_mutex;
MessageLookup g_lookup;

// The text of a resource key in the user's language, else `english` with %s0.. filled in.
std::string Localized(std::string_view key, std::string english,
                      const std::vector<std::string>& parameters) {
  MessageLookup lookup;
  {
    std::lock_guard<std::mutex> lock(g_lookup_mutex);
    lookup = g_lookup;
  }
  if (lookup) {
    std::string text = lookup(key, parameters);
    if (!text.empty()) return text;
  }
  for (std::size_t i = 0; i < parameters.size() && i < 10; ++i) {
    const std::string placeholder = "%s" + std::to_string(i);
    if (auto at = english.find(placeholder); at != std::string::npos) {
      english.replace(at, placeholder.size(), parameters[i]);
    }
  }
  return english;
}

// libxml2 words its depth refusal for programmers ("Excessive depth in document: 256 use
// XML_PARSE_HUGE option"); the user gets the module's own text, with the position kept.
std::string ExplainParseError(const std::string& message) {
  static constexpr std::string_view kDepth = "Excessive depth in document";
  if (message.compare(0, kDepth.size(), kDepth) != 0) return message;
  const std::size_t position = message.find(" (line ");
  return Localized("MSG XmlTooDeepParam",
                   "The document nests its elements more than %s0 levels deep, which is not "
                   "accepted.",
                   {std::to_string(kMaxElementDepth)}) +
         (position == std::string::npos ? std::string() : message.substr(position));
}

class Capture {
 public:
  Capture() : prev_(g_capture) { g_capture = &text_; }
  ~Capture() { g_capture = prev_; }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  std::string text() const { return Trimmed(text_); }

 private:
  std::string text_;
  std::string* prev_;
};

class AllowLocalFiles {
 public:
  AllowLocalFiles() { ++g_allow_local_files; }
  ~AllowLocalFiles() { --g_allow_local_files; }
  AllowLocalFiles(const AllowLocalFiles&) = delete;
  AllowLocalFiles& operator=(const AllowLocalFiles&) = delete;
};

void EnsureInit() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(GuardedEntityLoader);
    exsltRegisterAll();
  });
  thread_local bool thread_ready = false;
  if (!thread_ready) {
    xmlSetStructuredErrorFunc(nullptr, StructuredError);
    xmlSetGenericErrorFunc(nullptr, GenericError);
    xsltSetGenericErrorFunc(nullptr, GenericError);
    thread_ready = true;
  }
}

// XML_PARSE_COMPACT keeps short texts inside their node instead of a separate allocation
// (an order stack holds many thousands of them); libxml2 frees and replaces them properly.
// XML_PARSE_NOENT replaces references to entities of the document's own DTD by their text:
// the text written back (xml) carries no DTD, so a reference left in the tree would make it
// a document that no longer parses. External entities stay refused by the entity loader,
// and libxml2 still refuses entities that expand out of all proportion.
constexpr int kParseOptions =
    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT | XML_PARSE_NOENT;

bool IsBlank(const xmlChar* s) {
  if (!s) return true;
  for (; *s; ++s) {
    if (*s != ' ' && *s != '\t' && *s != '\r' && *s != '\n') return false;
  }
  return true;
}

// Texts up to this length that are not already inside their node are kept once in the
// document's dictionary: the same description or price on every item is stored once.
constexpr std::size_t kInternedTextLength = 64;

// The parser drops the whitespace-only text nodes that sit between elements (indentation),
// as a DOM that does not preserve white space does; text inside leaf elements is kept as
// written, and so is all text under xml:space="preserve". It happens while the tree is
// built: a blank text is freed as soon as the next start tag shows it was indentation, so
// its memory goes straight to the next node instead of piling up until the end.

bool DropsBlanks(xmlNodePtr element) {
  return xmlNodeGetSpacePreserve(element) != 1;
}

void FreeTextNode(xmlNodePtr text) {
  xmlUnlinkNode(text);
  xmlFreeNode(text);
}

// Once `element` is complete: its remaining blank texts go when it has element children,
// and its short texts are interned in `dict`.
void TidyChildren(xmlNodePtr element, xmlDictPtr dict) {
  bool has_element_child = false;
  for (xmlNodePtr c = element->children; c; c = c->next) {
    if (c->type == XML_ELEMENT_NODE) {
      has_element_child = true;
      break;
    }
  }
  int drop = -1;  // whether blanks go, worked out on the first blank text
  for (xmlNodePtr c = element->children; c;) {
    xmlNodePtr next = c->next;
    if (c->type == XML_TEXT_NODE && c->content) {
      if (has_element_child && IsBlank(c->content)) {
        if (drop < 0) drop = DropsBlanks(element) ? 1 : 0;
        if (drop == 1) {
          FreeTextNode(c);
          c = next;
          continue;
        }
      }
      if (dict && c->content != reinterpret_cast<xmlChar*>(&c->properties) &&
          !xmlDictOwns(dict, c->content)) {
        const std::size_t length = std::strlen(reinterpret_cast<const char*>(c->content));
        if (length < kInternedTextLength) {
          if (const xmlChar* interned = xmlDictLookup(dict, c->content, static_cast<int>(length))) {
            xmlFree(c->content);
            c->content = const_cast<xmlChar*>(interned);
          }
        }
      }
    }
    c = next;
  }
}

void StartElementDroppingIndentation(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                                     const xmlChar* uri, int nb_namespaces,
                                     const xmlChar** namespaces, int nb_attributes,
                                     int nb_defaulted, const xmlChar** attributes) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  xmlNodePtr parent = ctxt->node;
  if (parent && parent->last && parent->last->type == XML_TEXT_NODE &&
      IsBlank(parent->last->content) && DropsBlanks(parent)) {
    FreeTextNode(parent->last);
  }
  xmlSAX2StartElementNs(ctx, localname, prefix, uri, nb_namespaces, namespaces, nb_attributes,
                        nb_defaulted, attributes);
}

void EndElementDroppingIndentation(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                                   const xmlChar* uri) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  if (ctxt->node) TidyChildren(ctxt->node, ctxt->dict);
  xmlSAX2EndElementNs(ctx, localname, prefix, uri);
}

xmlDocPtr ParseMemory(std::string_view text, const char* url, const char* encoding,
                      std::string* reason) {
  EnsureInit();
  Capture capture;
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (!ctxt) {
    *reason = "Out of memory";
    return nullptr;
  }
  if (ctxt->sax) {
    ctxt->sax->startElementNs = StartElementDroppingIndentation;
    ctxt->sax->endElementNs = EndElementDroppingIndentation;
  }
  if (text.size() > static_cast<std::size_t>(INT32_MAX)) {
    xmlFreeParserCtxt(ctxt);
    *reason = "The document is too large";
    return nullptr;
  }
  xmlDocPtr doc = xmlCtxtReadMemory(ctxt, text.data(), static_cast<int>(text.size()), url, encoding,
                                    kParseOptions);
  if (doc && !ctxt->wellFormed) {
    xmlFreeDoc(doc);
    doc = nullptr;
  }
  if (!doc) {
    // The first error is the cause; later ones follow from it.
    std::string msg = capture.text();
    msg = msg.substr(0, msg.find('\n'));
    if (msg.empty() && ctxt->lastError.message) msg = Trimmed(ctxt->lastError.message);
    if (msg.empty()) msg = "The document could not be parsed";
    *reason = ExplainParseError(msg);
  } else {
    reason->clear();
  }
  xmlFreeParserCtxt(ctxt);
  return doc;
}

bool IsAncestorOrSelf(xmlNodePtr candidate, xmlNodePtr node) {
  for (xmlNodePtr p = node; p; p = p->parent) {
    if (p == candidate) return true;
  }
  return false;
}

// Links an unlinked node into `parent` before `before` (or at the end) without the text
// merging that xmlAddChild does, so every handed-out node stays valid.
void LinkChild(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr before) {
  child->parent = parent;
  if (before) {
    child->next = before;
    child->prev = before->prev;
    if (before->prev) {
      before->prev->next = child;
    } else {
      parent->children = child;
    }
    before->prev = child;
  } else {
    child->next = nullptr;
    child->prev = parent->last;
    if (parent->last) {
      parent->last->next = child;
    } else {
      parent->children = child;
    }
    parent->last = child;
  }
}

bool IsChildType(xmlElementType t) {
  switch (t) {
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_PI_NODE:
    case XML_COMMENT_NODE:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---- document holder -----------------------------------------------------------------

namespace detail {

struct DocHolder {
  xmlDocPtr doc = nullptr;
  // Documents replaced by a later load: nodes taken from them may still be referenced.
  std::vector<xmlDocPtr> retired;
  // Nodes that are not (or no longer) in a tree; freed with the holder unless re-attached.
  std::vector<xmlNodePtr> orphans;
  // Documents that received nodes moved out of this one (adoptChild): handles of this
  // holder may point into their trees, so they live at least as long as this holder.
  std::vector<std::shared_ptr<DocHolder>> adopters;
  std::vector<std::pair<std::string, std::string>> namespaces;
  std::string parse_error;
  xmlXPathContextPtr xpath = nullptr;

  DocHolder() {
    EnsureInit();
    doc = xmlNewDoc(BAD_CAST "1.0");
    // Element names (and moved-in texts) are kept once in the document's dictionary, as a
    // parsed document keeps them, instead of one copy per node.
    if (doc) doc->dict = xmlDictCreate();
  }
  ~DocHolder() {
    if (xpath) xmlXPathFreeContext(xpath);
    std::sort(orphans.begin(), orphans.end());
    orphans.erase(std::unique(orphans.begin(), orphans.end()), orphans.end());
    // Decide first which orphans are still roots, then free them: freeing one root must
    // not make us read another orphan that lived inside it.
    std::vector<xmlNodePtr> roots;
    for (xmlNodePtr n : orphans) {
      if (n->parent == nullptr) roots.push_back(n);
    }
    for (xmlNodePtr n : roots) xmlFreeNode(n);
    for (xmlDocPtr d : retired) xmlFreeDoc(d);
    if (doc) xmlFreeDoc(doc);
    // `adopters` is released after this, so the moved trees outlive our own documents.
  }

  // True when `target` is this holder or (transitively) keeps it alive.
  bool KeptAliveBy(const DocHolder* target) const {
    if (target == this) return true;
    for (const auto& a : target->adopters) {
      if (KeptAliveBy(a.get())) return true;
    }
    return false;
  }
  DocHolder(const DocHolder&) = delete;
  DocHolder& operator=(const DocHolder&) = delete;

  void Replace(xmlDocPtr fresh) {
    if (xpath) {
      xmlXPathFreeContext(xpath);
      xpath = nullptr;
    }
    if (doc) retired.push_back(doc);
    doc = fresh;
  }

  void Orphan(xmlNodePtr n) { orphans.push_back(n); }

  // An XPath context for `node`, cached for the current document.
  xmlXPathContextPtr Context(xmlNodePtr node, bool* temporary) {
    *temporary = node->doc != doc;
    xmlXPathContextPtr ctx = nullptr;
    if (*temporary) {
      ctx = xmlXPathNewContext(node->doc);
      RegisterNamespaces(ctx);
    } else {
      if (!xpath) {
        xpath = xmlXPathNewContext(doc);
        RegisterNamespaces(xpath);
      }
      ctx = xpath;
    }
    if (ctx) ctx->node = node;
    return ctx;
  }

  void RegisterNamespaces(xmlXPathContextPtr ctx) {
    if (!ctx) return;
    xmlXPathRegisteredNsCleanup(ctx);
    for (const auto& [prefix, uri] : namespaces) {
      xmlXPathRegisterNs(ctx, X(prefix), X(uri));
    }
  }
};

}  // namespace detail

using detail::DocHolder;

// ---- Node ------------------------------------------------------------------------------

NodeType Node::nodeType() const {
  if (!cur()) return NodeType::Null;
  switch (N(cur())->type) {
    case XML_ELEMENT_NODE:
      return NodeType::Element;
    case XML_ATTRIBUTE_NODE:
      return NodeType::Attribute;
    case XML_TEXT_NODE:
      return NodeType::Text;
    case XML_CDATA_SECTION_NODE:
      return NodeType::CData;
    case XML_ENTITY_REF_NODE:
      return NodeType::EntityReference;
    case XML_ENTITY_NODE:
      return NodeType::Entity;
    case XML_PI_NODE:
      return NodeType::ProcessingInstruction;
    case XML_COMMENT_NODE:
      return NodeType::Comment;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
      return NodeType::Document;
    case XML_DOCUMENT_TYPE_NODE:
    case XML_DTD_NODE:
      return NodeType::DocumentType;
    case XML_DOCUMENT_FRAG_NODE:
      return NodeType::DocumentFragment;
    case XML_NOTATION_NODE:
      return NodeType::Notation;
    default:
      return NodeType::Null;
  }
}

std::string Node::nodeName() const {
  if (!cur()) return {};
  xmlNodePtr n = N(cur());
  switch (n->type) {
    case XML_TEXT_NODE:
      return "#text";
    case XML_CDATA_SECTION_NODE:
      return "#cdata-section";
    case XML_COMMENT_NODE:
      return "#comment";
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
      return "#document";
    case XML_DOCUMENT_FRAG_NODE:
      return "#document-fragment";
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
      if (n->ns && n->ns->prefix) return S(n->ns->prefix) + ":" + S(n->name);
      return S(n->name);
    default:
      return S(n->name);
  }
}

std::string Node::baseName() const {
  if (!cur()) return {};
  xmlNodePtr n = N(cur());
  if (n->type == XML_ELEMENT_NODE || n->type == XML_ATTRIBUTE_NODE || n->type == XML_PI_NODE) {
    return S(n->name);
  }
  return {};
}

std::string Node::nodeValue() const {
  if (!cur()) return {};
  xmlNodePtr n = N(cur());
  switch (n->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return S(n->content);
    case XML_ATTRIBUTE_NODE:
      return TakeString(xmlNodeGetContent(n));
    default:
      return {};
  }
}

bool Node::setNodeValue(std::string_view value) {
  if (!cur()) return false;
  switch (N(cur())->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
    case XML_ATTRIBUTE_NODE:
      return setText(value);
    default:
      return false;
  }
}

std::string Node::text() const {
  if (!cur()) return {};
  return TakeString(xmlNodeGetContent(N(cur())));
}

bool Node::setText(std::string_view value) {
  if (!cur()) return false;
  xmlNodePtr n = N(cur());
  std::string v = XmlSafeText(value);
  switch (n->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      xmlNodeSetContent(n, X(v));
      return true;
    case XML_ATTRIBUTE_NODE: {
      xmlAttrPtr attr = reinterpret_cast<xmlAttrPtr>(n);
      if (attr->children) xmlFreeNodeList(attr->children);
      attr->children = attr->last = nullptr;
      xmlNodePtr t = xmlNewDocText(n->doc, X(v));
      if (!t) return false;
      LinkChild(n, t, nullptr);
      return true;
    }
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE: {
      // Children may still be referenced by callers: detach them instead of freeing.
      while (n->children) {
        xmlNodePtr c = n->children;
        xmlUnlinkNode(c);
        holder_->Orphan(c);
      }
      if (!v.empty()) {
        xmlNodePtr t = xmlNewDocText(n->doc, X(v));
        if (!t) return false;
        LinkChild(n, t, nullptr);
      }
      return true;
    }
    default:
      return false;
  }
}

namespace {

std::string DumpNode(xmlDocPtr doc, xmlNodePtr n) {
  if (n->type == XML_ATTRIBUTE_NODE) {
    std::string value = TakeString(xmlNodeGetContent(n));
    std::string name = (n->ns && n->ns->prefix) ? S(n->ns->prefix) + ":" + S(n->name) : S(n->name);
    return name + "=\"" + EscapeXmlText(value, true) + "\"";
  }
  xmlBufferPtr buf = xmlBufferCreate();
  if (!buf) return {};
  xmlNodeDump(buf, doc, n, 0, 0);
  std::string out(reinterpret_cast<const char*>(xmlBufferContent(buf)),
                  static_cast<std::size_t>(xmlBufferLength(buf)));
  xmlBufferFree(buf);
  return out;
}

}  // namespace

std::string Node::xml() const {
  if (!cur()) return {};
  xmlNodePtr n = N(cur());
  if (n->type == XML_DOCUMENT_NODE) {
    std::string out;
    for (xmlNodePtr c = n->children; c; c = c->next) {
      if (c->type == XML_DTD_NODE) continue;
      out += DumpNode(n->doc, c);
      out += "\r\n";
    }
    return out;
  }
  return DumpNode(n->doc, n);
}

Node Node::parentNode() const {
  if (!cur() || N(cur())->type == XML_ATTRIBUTE_NODE) return {};
  return N(cur())->parent ? Node(holder_, N(cur())->parent) : Node();
}

Node Node::firstChild() const {
  if (!cur() || N(cur())->type == XML_ATTRIBUTE_NODE) return {};
  xmlNodePtr c = N(cur())->children;
  while (c && c->type == XML_DTD_NODE) c = c->next;
  return c ? Node(holder_, c) : Node();
}

Node Node::lastChild() const {
  if (!cur() || N(cur())->type == XML_ATTRIBUTE_NODE) return {};
  return N(cur())->last ? Node(holder_, N(cur())->last) : Node();
}

Node Node::nextSibling() const {
  if (!cur() || N(cur())->type == XML_ATTRIBUTE_NODE) return {};
  return N(cur())->next ? Node(holder_, N(cur())->next) : Node();
}

Node Node::previousSibling() const {
  if (!cur() || N(cur())->type == XML_ATTRIBUTE_NODE) return {};
  xmlNodePtr p = N(cur())->prev;
  if (p && p->type == XML_DTD_NODE) return {};
  return p ? Node(holder_, p) : Node();
}

NodeList Node::childNodes() const {
  std::vector<void*> out;
  if (cur() && N(cur())->type != XML_ATTRIBUTE_NODE) {
    for (xmlNodePtr c = N(cur())->children; c; c = c->next) {
      if (c->type != XML_DTD_NODE) out.push_back(c);
    }
  }
  return NodeList(holder_, std::move(out));
}

bool Node::hasChildNodes() const {
  return !firstChild().isNull();
}

Document Node::ownerDocument() const {
  if (!holder_) return Document();
  return Document(holder_);
}

NodeList Node::attributes() const {
  std::vector<void*> out;
  if (cur() && N(cur())->type == XML_ELEMENT_NODE) {
    for (xmlAttrPtr a = N(cur())->properties; a; a = a->next) out.push_back(a);
  }
  return NodeList(holder_, std::move(out));
}

namespace {
xmlAttrPtr FindAttr(xmlNodePtr n, std::string_view name) {
  if (!n || n->type != XML_ELEMENT_NODE) return nullptr;
  for (xmlAttrPtr a = n->properties; a; a = a->next) {
    std::string qname = (a->ns && a->ns->prefix) ? S(a->ns->prefix) + ":" + S(a->name) : S(a->name);
    if (qname == name) return a;
  }
  return nullptr;
}
}  // namespace

std::string Node::getAttribute(std::string_view name) const {
  xmlAttrPtr a = FindAttr(N(cur()), name);
  return a ? TakeString(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a))) : std::string();
}

bool Node::hasAttribute(std::string_view name) const {
  return FindAttr(N(cur()), name) != nullptr;
}

Node Node::getAttributeNode(std::string_view name) const {
  xmlAttrPtr a = FindAttr(N(cur()), name);
  return a ? Node(holder_, a) : Node();
}

bool Node::setAttribute(std::string_view name, std::string_view value) {
  if (!cur() || N(cur())->type != XML_ELEMENT_NODE) return false;
  std::string v = XmlSafeText(value);
  if (xmlAttrPtr a = FindAttr(N(cur()), name)) {
    return Node(holder_, a).setText(v);
  }
  std::string n(name);
  if (xmlValidateNCName(X(n), 0) != 0 && xmlValidateQName(X(n), 0) != 0) return false;
  return xmlNewProp(N(cur()), X(n), X(v)) != nullptr;
}

Node Node::setAttributeNode(const Node& attribute) {
  if (!cur() || N(cur())->type != XML_ELEMENT_NODE || !attribute.cur()) return {};
  xmlNodePtr a = N(attribute.cur());
  if (a->type != XML_ATTRIBUTE_NODE || a->parent) return {};
  if (a->doc != N(cur())->doc) {
    xmlAttrPtr copy = xmlCopyProp(nullptr, reinterpret_cast<xmlAttrPtr>(a));
    if (!copy) return {};
    // xmlCopyProp without a target keeps the source document; move it over.
    xmlSetTreeDoc(reinterpret_cast<xmlNodePtr>(copy), N(cur())->doc);
    a = reinterpret_cast<xmlNodePtr>(copy);
  }
  Node replaced;
  if (xmlAttrPtr old = FindAttr(N(cur()), S(a->name))) {
    xmlUnlinkNode(reinterpret_cast<xmlNodePtr>(old));
    holder_->Orphan(reinterpret_cast<xmlNodePtr>(old));
    replaced = Node(holder_, old);
  }
  xmlAttrPtr attr = reinterpret_cast<xmlAttrPtr>(a);
  attr->parent = N(cur());
  attr->next = nullptr;
  attr->prev = nullptr;
  if (!N(cur())->properties) {
    N(cur())->properties = attr;
  } else {
    xmlAttrPtr last = N(cur())->properties;
    while (last->next) last = last->next;
    last->next = attr;
    attr->prev = last;
  }
  return replaced;
}

bool Node::removeAttribute(std::string_view name) {
  xmlAttrPtr a = FindAttr(N(cur()), name);
  if (!a) return false;
  xmlUnlinkNode(reinterpret_cast<xmlNodePtr>(a));
  holder_->Orphan(reinterpret_cast<xmlNodePtr>(a));
  return true;
}

Node Node::insertBefore(const Node& child, const Node& reference) {
  if (!cur() || !child.cur()) return {};
  xmlNodePtr parent = N(cur());
  xmlNodePtr c = N(child.cur());
  if (parent->type != XML_ELEMENT_NODE && parent->type != XML_DOCUMENT_NODE &&
      parent->type != XML_DOCUMENT_FRAG_NODE) {
    return {};
  }
  if (!IsChildType(c->type)) return {};
  xmlNodePtr before = reference.cur() ? N(reference.cur()) : nullptr;
  if (before && before->parent != parent) return {};
  if (before == c) return child;

  std::shared_ptr<DocHolder> holder = holder_;
  if (c->doc != parent->doc) {
    // Another document's node: take a copy into this document and remove the original.
    xmlNodePtr copy = xmlDocCopyNode(c, parent->doc, 1);
    if (!copy) return {};
    if (c->parent && child.holder_) {
      xmlUnlinkNode(c);
      child.holder_->Orphan(c);
    }
    c = copy;
  } else {
    if (IsAncestorOrSelf(c, parent)) return {};
  }
  if (parent->type == XML_DOCUMENT_NODE && c->type == XML_ELEMENT_NODE) {
    xmlNodePtr root = xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(parent));
    if (root && root != c) return {};  // only one top-level element is allowed
  }
  if (c->parent) xmlUnlinkNode(c);
  LinkChild(parent, c, before);
  return Node(holder, c);
}

Node Node::adoptChild(Document& source) {
  if (!cur() || !source.holder_ || source.holder_ == holder_) return {};
  xmlNodePtr parent = N(cur());
  xmlDocPtr srcDoc = source.holder_->doc;
  xmlNodePtr root = srcDoc ? xmlDocGetRootElement(srcDoc) : nullptr;
  if (!root || srcDoc == parent->doc) return {};
  if (parent->type != XML_ELEMENT_NODE && parent->type != XML_DOCUMENT_NODE &&
      parent->type != XML_DOCUMENT_FRAG_NODE) {
    return {};
  }
  if (parent->type == XML_DOCUMENT_NODE &&
      xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(parent))) {
    return {};  // only one top-level element is allowed
  }
  // Old handles of `source` would point into this tree: this document must outlive them.
  // If that would make the two holders keep each other alive, copy instead.
  if (source.holder_->KeptAliveBy(holder_.get())) return appendChild(source.documentElement());

  xmlDocPtr dest = parent->doc;
  // Element and attribute names of a parsed document live in its dictionary, which goes
  // with it; interning them in a dictionary of this document shares one copy per name.
  if (!dest->dict) {
    dest->dict = xmlDictCreate();
    if (!dest->dict) return {};
  }
  xmlUnlinkNode(root);
  if (xmlDOMWrapAdoptNode(nullptr, srcDoc, root, dest, parent, 0) != 0) {
    LinkChild(reinterpret_cast<xmlNodePtr>(srcDoc), root, nullptr);
    return {};
  }
  LinkChild(parent, root, nullptr);
  // Nodes detached earlier through `source` and re-attached under the root now belong to
  // this tree; `source` must not free them when it goes.
  auto& orphans = source.holder_->orphans;
  orphans.erase(std::remove_if(orphans.begin(), orphans.end(),
                               [root](xmlNodePtr n) { return IsAncestorOrSelf(root, n); }),
                orphans.end());
  auto& adopters = source.holder_->adopters;
  if (std::find(adopters.begin(), adopters.end(), holder_) == adopters.end()) {
    adopters.push_back(holder_);
  }
  return Node(holder_, root);
}

Node Node::appendChild(const Node& child) {
  return insertBefore(child, Node());
}

Node Node::removeChild(const Node& child) {
  if (!cur() || !child.cur()) return {};
  xmlNodePtr c = N(child.cur());
  if (c->parent != N(cur()) || c->type == XML_ATTRIBUTE_NODE) return {};
  xmlUnlinkNode(c);
  holder_->Orphan(c);
  return child;
}

Node Node::replaceChild(const Node& newChild, const Node& oldChild) {
  if (!cur() || !newChild.cur() || !oldChild.cur()) return {};
  if (N(oldChild.cur())->parent != N(cur())) return {};
  if (newChild == oldChild) return oldChild;
  xmlNodePtr old = N(oldChild.cur());
  // Temporarily allow a new root element when the old root is the one replaced.
  if (N(cur())->type == XML_DOCUMENT_NODE && old->type == XML_ELEMENT_NODE) {
    xmlNodePtr next = old->next;
    xmlUnlinkNode(old);
    Node inserted = insertBefore(newChild, next ? Node(holder_, next) : Node());
    if (inserted.isNull()) {
      LinkChild(N(cur()), old, next);
      return {};
    }
    holder_->Orphan(old);
    return oldChild;
  }
  Node inserted = insertBefore(newChild, oldChild);
  if (inserted.isNull()) return {};
  xmlUnlinkNode(old);
  holder_->Orphan(old);
  return oldChild;
}

Node Node::cloneNode(bool deep) const {
  if (!cur()) return {};
  xmlNodePtr n = N(cur());
  xmlNodePtr copy = nullptr;
  if (n->type == XML_ATTRIBUTE_NODE) {
    copy = reinterpret_cast<xmlNodePtr>(xmlCopyProp(nullptr, reinterpret_cast<xmlAttrPtr>(n)));
  } else if (n->type == XML_DOCUMENT_NODE) {
    return {};
  } else {
    copy = xmlDocCopyNode(n, n->doc, deep ? 1 : 2);
  }
  if (!copy) return {};
  holder_->Orphan(copy);
  return Node(holder_, copy);
}

namespace {

xmlXPathObjectPtr Evaluate(DocHolder* holder, xmlNodePtr node, std::string_view xpath,
                           std::string* error) {
  EnsureInit();
  Capture capture;
  bool temporary = false;
  xmlXPathContextPtr ctx = holder->Context(node, &temporary);
  if (!ctx) {
    if (error) *error = "Cannot create an XPath context";
    return nullptr;
  }
  std::string expr(xpath);
  xmlXPathObjectPtr result = xmlXPathEvalExpression(X(expr), ctx);
  if (temporary) xmlXPathFreeContext(ctx);
  if (!result) {
    if (error) {
      *error = capture.text();
      if (error->empty()) *error = "Invalid XPath expression";
    }
    return nullptr;
  }
  if (result->type != XPATH_NODESET) {
    xmlXPathFreeObject(result);
    if (error) *error = "Expression does not return a node set";
    return nullptr;
  }
  if (error) error->clear();
  return result;
}

// Plain child paths ("Identification/Name", "PARTNERID") are by far the most frequent
// selections; they are walked directly instead of being compiled and evaluated as XPath
// each time. The walk gives what XPath gives: elements without a namespace whose name
// matches each step, depth-first, which is document order. Anything else goes to XPath.
bool SplitPlainChildPath(std::string_view xpath, std::vector<std::string_view>& steps) {
  steps.clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i <= xpath.size(); ++i) {
    if (i == xpath.size() || xpath[i] == '/') {
      if (i == start) return false;
      steps.push_back(xpath.substr(start, i - start));
      start = i + 1;
      continue;
    }
    const char c = xpath[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > start)) return false;
  }
  return !steps.empty() && steps.size() <= 8;
}

bool IsPlainContext(xmlNodePtr node) {
  return node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE;
}

bool NameIs(xmlNodePtr n, std::string_view name) {
  if (n->type != XML_ELEMENT_NODE || n->ns != nullptr || !n->name) return false;
  const char* have = reinterpret_cast<const char*>(n->name);
  return std::strlen(have) == name.size() && std::memcmp(have, name.data(), name.size()) == 0;
}

// Appends the matches of steps[depth..] below `node` in document order; stops at the first
// one when `first_only`. True when something was found.
bool WalkPlainPath(xmlNodePtr node, const std::vector<std::string_view>& steps, std::size_t depth,
                   bool first_only, std::vector<void*>& out) {
  bool found = false;
  for (xmlNodePtr c = node->children; c; c = c->next) {
    if (!NameIs(c, steps[depth])) continue;
    if (depth + 1 == steps.size()) {
      out.push_back(c);
      found = true;
    } else if (WalkPlainPath(c, steps, depth + 1, first_only, out)) {
      found = true;
    }
    if (found && first_only) return true;
  }
  return found;
}

}  // namespace

Node Node::selectSingleNode(std::string_view xpath, std::string* error) const {
  if (!cur()) {
    if (error) *error = "No node to select from";
    return {};
  }
  thread_local std::vector<std::string_view> steps;
  if (IsPlainContext(N(cur())) && SplitPlainChildPath(xpath, steps)) {
    std::vector<void*> found;
    WalkPlainPath(N(cur()), steps, 0, true, found);
    if (error) error->clear();
    return found.empty() ? Node() : Node(holder_, found.front());
  }
  xmlXPathObjectPtr result = Evaluate(holder_.get(), N(cur()), xpath, error);
  if (!result) return {};
  Node out;
  if (result->nodesetval && result->nodesetval->nodeNr > 0) {
    xmlNodePtr first = result->nodesetval->nodeTab[0];
    if (first->type != XML_NAMESPACE_DECL) out = Node(holder_, first);
  }
  xmlXPathFreeObject(result);
  return out;
}

NodeList Node::selectNodes(std::string_view xpath, std::string* error) const {
  if (!cur()) {
    if (error) *error = "No node to select from";
    return {};
  }
  thread_local std::vector<std::string_view> steps;
  if (IsPlainContext(N(cur())) && SplitPlainChildPath(xpath, steps)) {
    std::vector<void*> found;
    WalkPlainPath(N(cur()), steps, 0, false, found);
    if (error) error->clear();
    return NodeList(holder_, std::move(found));
  }
  xmlXPathObjectPtr result = Evaluate(holder_.get(), N(cur()), xpath, error);
  if (!result) return NodeList(holder_, {});
  std::vector<void*> nodes;
  if (result->nodesetval) {
    nodes.reserve(static_cast<std::size_t>(result->nodesetval->nodeNr));
    for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
      xmlNodePtr n = result->nodesetval->nodeTab[i];
      if (n->type != XML_NAMESPACE_DECL) nodes.push_back(n);
    }
  }
  xmlXPathFreeObject(result);
  return NodeList(holder_, std::move(nodes));
}

std::string Node::transformNode(const Node& stylesheet, std::string* error) const {
  Document sheet = stylesheet.ownerDocument();
  Template tmpl;
  std::string err;
  if (!stylesheet.cur() || !tmpl.setStylesheet(sheet, &err)) {
    if (error) *error = err.empty() ? "No style sheet" : err;
    return {};
  }
  Processor proc(tmpl);
  proc.setInput(*this);
  if (!proc.transform()) {
    if (error) *error = proc.error();
    return {};
  }
  if (error) error->clear();
  return proc.output();
}

// ---- NodeList --------------------------------------------------------------------------

Node NodeList::item(long index) const {
  if (index < 0 || index >= length()) return {};
  return Node(holder_, nodes_[static_cast<std::size_t>(index)]);
}

// ---- Document --------------------------------------------------------------------------

void* Node::cur() const {
  if (is_document_) return holder_ ? holder_->doc : nullptr;
  return node_;
}

Document::Document() : Node(std::make_shared<DocHolder>(), nullptr) {
  node_ = holder_->doc;
  is_document_ = true;
}

Document::Document(std::shared_ptr<DocHolder> holder) : Node(std::move(holder), nullptr) {
  node_ = holder_->doc;
  is_document_ = true;
}

bool Document::loadXML(std::string_view text) {
  std::string reason;
  // The text is already decoded: whatever the declaration names, it is read as UTF-8.
  xmlDocPtr doc = ParseMemory(text, nullptr, "UTF-8", &reason);
  holder_->Replace(doc ? doc : xmlNewDoc(BAD_CAST "1.0"));
  holder_->parse_error = reason;
  node_ = holder_->doc;
  return doc != nullptr;
}

bool Document::load(const std::string& path) {
  std::string data, err;
  if (!Env::Default()->ReadFile(path, &data, &err)) {
    holder_->Replace(xmlNewDoc(BAD_CAST "1.0"));
    holder_->parse_error = err;
    node_ = holder_->doc;
    return false;
  }
  std::string reason;
  xmlDocPtr doc = ParseMemory(data, path.c_str(), nullptr, &reason);
  holder_->Replace(doc ? doc : xmlNewDoc(BAD_CAST "1.0"));
  holder_->parse_error = reason;
  node_ = holder_->doc;
  return doc != nullptr;
}

void SetMessageLookup(MessageLookup lookup) {
  std::lock_guard<std::mutex> lock(g_lookup_mutex);
  g_lookup = std::move(lookup);
}

const std::string& Document::parseErrorReason() const {
  return holder_->parse_error;
}

bool Document::save(const std::string& path, std::string* error) const {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + xml();
  return Env::Default()->WriteFileAtomic(path, text, error);
}

Node Document::documentElement() const {
  xmlNodePtr root = xmlDocGetRootElement(holder_->doc);
  return root ? Node(holder_, root) : Node();
}

bool Document::setDocumentElement(const Node& element) {
  if (element.nodeType() != NodeType::Element) return false;
  Node root = documentElement();
  if (root.isNull()) return !appendChild(element).isNull();
  return !replaceChild(element, root).isNull();
}

Node Document::createElement(std::string_view name) {
  std::string n(name);
  if (xmlValidateQName(X(n), 0) != 0) return {};
  xmlNodePtr e = xmlNewDocNode(holder_->doc, nullptr, X(n), nullptr);
  if (!e) return {};
  holder_->Orphan(e);
  return Node(holder_, e);
}

Node Document::createTextNode(std::string_view text) {
  std::string t = XmlSafeText(text);
  xmlNodePtr e = xmlNewDocText(holder_->doc, X(t));
  if (!e) return {};
  holder_->Orphan(e);
  return Node(holder_, e);
}

Node Document::importNode(const Node& node, bool deep) {
  if (!node.cur() || !holder_->doc) return {};
  xmlNodePtr n = N(node.cur());
  if (n->type == XML_DOCUMENT_NODE || n->type == XML_ATTRIBUTE_NODE) return {};
  xmlNodePtr copy = xmlDocCopyNode(n, holder_->doc, deep ? 1 : 2);
  if (!copy) return {};
  holder_->Orphan(copy);
  return Node(holder_, copy);
}

Node Document::createCDATASection(std::string_view text) {
  const std::string t = XmlSafeText(text);
  xmlNodePtr e = xmlNewCDataBlock(holder_->doc, reinterpret_cast<const xmlChar*>(t.data()),
                                  static_cast<int>(t.size()));
  if (!e) return {};
  holder_->Orphan(e);
  return Node(holder_, e);
}

Node Document::createComment(std::string_view text) {
  std::string t = XmlSafeText(text);
  xmlNodePtr e = xmlNewDocComment(holder_->doc, X(t));
  if (!e) return {};
  holder_->Orphan(e);
  return Node(holder_, e);
}

Node Document::createProcessingInstruction(std::string_view target, std::string_view data) {
  std::string t(target), d(data);
  xmlNodePtr e = xmlNewDocPI(holder_->doc, X(t), X(d));
  if (!e) return {};
  holder_->Orphan(e);
  return Node(holder_, e);
}

Node Document::createAttribute(std::string_view name) {
  std::string n(name);
  if (xmlValidateQName(X(n), 0) != 0) return {};
  xmlAttrPtr a = xmlNewDocProp(holder_->doc, X(n), nullptr);
  if (!a) return {};
  holder_->Orphan(reinterpret_cast<xmlNodePtr>(a));
  return Node(holder_, a);
}

Node Document::createNode(NodeType type, std::string_view name) {
  switch (type) {
    case NodeType::Element:
      return createElement(name);
    case NodeType::Attribute:
      return createAttribute(name);
    case NodeType::Text:
      return createTextNode("");
    case NodeType::CData:
      return createCDATASection("");
    case NodeType::Comment:
      return createComment("");
    default:
      return {};
  }
}

bool Document::setSelectionNamespaces(std::string_view declarations) {
  std::vector<std::pair<std::string, std::string>> parsed;
  std::size_t i = 0;
  auto skip_blanks = [&] {
    while (i < declarations.size() && std::isspace(static_cast<unsigned char>(declarations[i])))
      ++i;
  };
  while (true) {
    skip_blanks();
    if (i >= declarations.size()) break;
    if (declarations.compare(i, 6, "xmlns:") != 0) return false;
    i += 6;
    std::size_t eq = declarations.find('=', i);
    if (eq == std::string_view::npos || eq == i) return false;
    std::string prefix(declarations.substr(i, eq - i));
    i = eq + 1;
    if (i >= declarations.size()) return false;
    char quote = declarations[i];
    if (quote != '\'' && quote != '"') return false;
    std::size_t end = declarations.find(quote, i + 1);
    if (end == std::string_view::npos) return false;
    parsed.emplace_back(prefix, std::string(declarations.substr(i + 1, end - i - 1)));
    i = end + 1;
  }
  holder_->namespaces = std::move(parsed);
  holder_->RegisterNamespaces(holder_->xpath);
  return true;
}

// ---- Template and Processor ------------------------------------------------------------

struct Template::Impl {
  xsltStylesheetPtr sheet = nullptr;
  ~Impl() {
    if (sheet) xsltFreeStylesheet(sheet);
  }
};

Template::Template() = default;
Template::~Template() = default;
Template::Template(Template&&) noexcept = default;
Template& Template::operator=(Template&&) noexcept = default;

bool Template::setStylesheet(const Document& stylesheet, std::string* error) {
  EnsureInit();
  impl_.reset();
  xmlDocPtr src = static_cast<xmlDocPtr>(stylesheet.raw());
  if (!src || !xmlDocGetRootElement(src)) {
    if (error) *error = "The style sheet document is empty";
    return false;
  }
  Capture capture;
  AllowLocalFiles allow;
  // The compiled sheet owns its document, so it gets a copy.
  xmlDocPtr copy = xmlCopyDoc(src, 1);
  if (!copy) {
    if (error) *error = "Out of memory";
    return false;
  }
  xsltStylesheetPtr sheet = xsltParseStylesheetDoc(copy);
  if (!sheet || sheet->errors > 0) {
    if (sheet) {
      xsltFreeStylesheet(sheet);
    } else {
      xmlFreeDoc(copy);
    }
    if (error) {
      *error = capture.text();
      if (error->empty()) *error = "The document is not a valid XSL style sheet";
    }
    return false;
  }
  impl_ = std::make_shared<Impl>();
  impl_->sheet = sheet;
  return true;
}

bool Template::valid() const {
  return impl_ && impl_->sheet;
}

Processor::Processor(const Template& tmpl) : tmpl_(tmpl.impl_) {}

void Processor::addParameter(std::string_view name, std::string_view value) {
  params_.emplace_back(std::string(name), std::string(value));
}

namespace {

void TransformError(void* ctx, const char* fmt, ...) {
  (void)ctx;
  if (!g_capture) return;
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  g_capture->append(buf);
}

struct SecurityPrefs {
  xsltSecurityPrefsPtr prefs = xsltNewSecurityPrefs();
  SecurityPrefs() {
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
  }
  ~SecurityPrefs() { xsltFreeSecurityPrefs(prefs); }
  SecurityPrefs(const SecurityPrefs&) = delete;
  SecurityPrefs& operator=(const SecurityPrefs&) = delete;
};

}  // namespace

bool Processor::transform() {
  EnsureInit();
  output_.clear();
  error_.clear();
  if (!tmpl_ || !tmpl_->sheet) {
    error_ = "No style sheet";
    return false;
  }
  if (input_.isNull()) {
    error_ = "No input document";
    return false;
  }
  Capture capture;
  AllowLocalFiles allow;

  // libxslt transforms whole documents: a node other than a document is copied into one.
  xmlDocPtr input = nullptr;
  xmlDocPtr temp = nullptr;
  xmlNodePtr in = static_cast<xmlNodePtr>(input_.raw());
  if (in->type == XML_DOCUMENT_NODE) {
    input = reinterpret_cast<xmlDocPtr>(in);
  } else if (in->type == XML_ELEMENT_NODE) {
    temp = xmlNewDoc(BAD_CAST "1.0");
    xmlNodePtr copy = xmlDocCopyNode(in, temp, 1);
    if (!copy) {
      xmlFreeDoc(temp);
      error_ = "Out of memory";
      return false;
    }
    xmlDocSetRootElement(temp, copy);
    input = temp;
  } else {
    error_ = "The input is not a document or an element";
    return false;
  }

  static SecurityPrefs security;
  xsltTransformContextPtr ctxt = xsltNewTransformContext(tmpl_->sheet, input);
  if (!ctxt) {
    if (temp) xmlFreeDoc(temp);
    error_ = "Cannot create the transformation context";
    return false;
  }
  xsltSetCtxtSecurityPrefs(security.prefs, ctxt);
  xsltSetTransformErrorFunc(ctxt, nullptr, TransformError);

  std::vector<const char*> params;
  params.reserve(params_.size() * 2 + 1);
  for (const auto& [name, value] : params_) {
    params.push_back(name.c_str());
    params.push_back(value.c_str());
  }
  params.push_back(nullptr);
  xsltQuoteUserParams(ctxt, params.data());

  xmlDocPtr result = xsltApplyStylesheetUser(tmpl_->sheet, input, nullptr, nullptr, nullptr, ctxt);
  bool ok =
      result != nullptr && ctxt->state != XSLT_STATE_ERROR && ctxt->state != XSLT_STATE_STOPPED;
  if (ok) {
    xmlChar* buf = nullptr;
    int len = 0;
    if (xsltSaveResultToString(&buf, &len, result, tmpl_->sheet) == 0) {
      std::string raw =
          buf ? std::string(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(len))
              : std::string();
      xmlFree(buf);
      const xmlChar* encoding = nullptr;
      XSLT_GET_IMPORT_PTR(encoding, tmpl_->sheet, encoding)
      std::string enc = S(encoding);
      if (!enc.empty() && !EncodingIsUtf8(enc)) {
        std::string converted;
        if (ConvertToUtf8(raw, enc, &converted)) raw = std::move(converted);
      }
      output_ = std::move(raw);
    } else {
      ok = false;
    }
  }
  if (!ok) {
    error_ = capture.text();
    if (error_.empty()) error_ = "The transformation failed";
  }
  if (result) xmlFreeDoc(result);
  xsltFreeTransformContext(ctxt);
  if (temp) xmlFreeDoc(temp);
  return ok;
}

// ---- text helpers ----------------------------------------------------------------------

std::string XPathLiteral(std::string_view value) {
  if (value.find('\'') == std::string_view::npos) return "'" + std::string(value) + "'";
  if (value.find('"') == std::string_view::npos) return "\"" + std::string(value) + "\"";
  // Both quote kinds: split at apostrophes and join the pieces with "'" literals.
  std::string out = "concat(";
  std::size_t start = 0;
  bool first = true;
  while (start <= value.size()) {
    std::size_t q = value.find('\'', start);
    std::string_view piece =
        value.substr(start, q == std::string_view::npos ? std::string_view::npos : q - start);
    if (!piece.empty()) {
      if (!first) out += ", ";
      out += "'" + std::string(piece) + "'";
      first = false;
    }
    if (q == std::string_view::npos) break;
    if (!first) out += ", ";
    out += "\"'\"";
    first = false;
    start = q + 1;
  }
  out += ")";
  return out;
}

std::string EscapeXmlText(std::string_view text, bool attribute) {
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        if (attribute) {
          out += "&quot;";
        } else {
          out += c;
        }
        break;
      case '\'':
        if (attribute) {
          out += "&apos;";
        } else {
          out += c;
        }
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string XmlSafeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    // A UTF-8 sequence: its length, the smallest code point of that length, its value.
    std::size_t len = 0;
    char32_t cp = 0, min = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    }
    bool ok = len > 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      ok = (p[i + k] & 0xC0) == 0x80;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    ok = ok && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) && cp != 0xFFFE &&
         cp != 0xFFFF;
    if (ok) {
      out.append(text.substr(i, len));
      i += len;
    } else {
      ++i;  // a byte that starts no valid character is dropped on its own
    }
  }
  return out;
}

}  // namespace larkedi::xml
