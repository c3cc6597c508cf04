// The script worker: runs in the forked child, one fresh Duktape heap per script, with the
// three documents wrapped as DOM objects over xml::Document.
#include <duktape.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <unordered_set>

#include "platform/process/line_channel.h"
#include "platform/script/script_host.h"

namespace larkedi::script::detail {

namespace {

using nlohmann::json;
using process::Clock;
using process::IoStatus;

// ---- Capped allocator --------------------------------------------------------------------

struct HeapBudget {
  std::size_t cap = 0;
  std::size_t used = 0;
};

struct alignas(16) BlockHeader {
  std::size_t size;
};

void* CappedAlloc(void* udata, duk_size_t size) {
  auto* budget = static_cast<HeapBudget*>(udata);
  if (size == 0) return nullptr;
  if (size > budget->cap || budget->used + size > budget->cap) return nullptr;
  auto* block = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
  if (!block) return nullptr;
  block->size = size;
  budget->used += size;
  return block + 1;
}

void CappedFree(void* udata, void* ptr) {
  if (!ptr) return;
  auto* budget = static_cast<HeapBudget*>(udata);
  BlockHeader* block = static_cast<BlockHeader*>(ptr) - 1;
  budget->used -= block->size;
  std::free(block);
}

void* CappedRealloc(void* udata, void* ptr, duk_size_t size) {
  if (!ptr) return CappedAlloc(udata, size);
  if (size == 0) {
    CappedFree(udata, ptr);
    return nullptr;
  }
  auto* budget = static_cast<HeapBudget*>(udata);
  BlockHeader* block = static_cast<BlockHeader*>(ptr) - 1;
  std::size_t old = block->size;
  if (size > old && (size > budget->cap || budget->used + (size - old) > budget->cap)) {
    return nullptr;
  }
  auto* grown = static_cast<BlockHeader*>(std::realloc(block, sizeof(BlockHeader) + size));
  if (!grown) return nullptr;
  budget->used = budget->used - old + size;
  grown->size = size;
  return grown + 1;
}

// ---- Run state ---------------------------------------------------------------------------

// What a script object wraps: a DOM node or a node list.
struct Wrapped {
  bool is_list = false;
  bool is_document = false;  // read through the document, which loadXML may replace
  xml::Node node;
  xml::NodeList list;
};

// Documents that came with the request (their text), rather than being asked for.
struct DocumentsAhead {
  bool sent[3] = {false, false, false};
  std::string text[3];
};

struct RunContext {
  process::LineChannel* channel = nullptr;
  bool allow_ui = false;
  xml::Document docs[3];
  // A document is asked of the module when the script first uses it. `received` is its
  // text as loaded here, taken when the script first calls a member that changes a tree
  // (or at loading, after that), to tell afterwards whether the script changed it. A
  // script that only reads costs no serialising at all.
  bool loaded[3] = {false, false, false};
  DocumentsAhead ahead;
  bool changing = false;
  std::string received[3];
  std::unordered_set<Wrapped*> live;
};

const char* const kDocumentKeys[3] = {"catalog", "design", "error"};

// The worker runs one script at a time on one thread.
RunContext* g_run = nullptr;

// An error a binding raises; turned into a script exception once C++ locals are gone.
struct ScriptThrow {
  long number;
  std::string message;
};

char g_error_text[1024];
long g_error_number = 0;

const char* const kWrapKey = DUK_HIDDEN_SYMBOL("w");

duk_ret_t ThrowStored(duk_context* ctx) {
  duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", g_error_text);
  if (g_error_number != 0) {
    duk_push_number(ctx, static_cast<duk_double_t>(g_error_number));
    duk_put_prop_string(ctx, -2, "number");
  }
  return duk_throw(ctx);
}

// Runs a binding body; C++ failures become script errors after the body's locals are gone.
template <class F>
duk_ret_t Guarded(duk_context* ctx, F&& body) {
  bool failed = false;
  duk_ret_t ret = 0;
  {
    try {
      ret = body();
    } catch (const ScriptThrow& t) {
      std::snprintf(g_error_text, sizeof g_error_text, "%s", t.message.c_str());
      g_error_number = t.number;
      failed = true;
    } catch (const std::exception& e) {
      std::snprintf(g_error_text, sizeof g_error_text, "%s", e.what());
      g_error_number = kErrScriptRuntime;
      failed = true;
    } catch (...) {
      std::snprintf(g_error_text, sizeof g_error_text, "unexpected failure");
      g_error_number = kErrScriptRuntime;
      failed = true;
    }
  }
  if (failed) return ThrowStored(ctx);
  return ret;
}

Wrapped* GetWrapped(duk_context* ctx, duk_idx_t idx) {
  if (!duk_is_object(ctx, idx)) return nullptr;
  duk_get_prop_string(ctx, idx, kWrapKey);
  auto* w = static_cast<Wrapped*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  if (w && g_run && !g_run->live.count(w)) return nullptr;
  return w;
}

// Sends one request to the module and reads its answer; a module that is gone or answers
// nonsense ends the worker.
json AskModule(const json& request) {
  std::string line;
  if (g_run->channel->WriteLine(request.dump(-1, ' ', false, json::error_handler_t::replace),
                                Clock::time_point::max()) != IoStatus::Ok ||
      g_run->channel->ReadLine(&line, Clock::time_point::max()) != IoStatus::Ok) {
    std::_Exit(0);
  }
  json answer = json::parse(line, nullptr, false);
  if (answer.is_discarded() || !answer.is_object()) std::_Exit(2);
  return answer;
}

// The document behind a document wrapper, fetched from the module on its first use.
xml::Node DocumentOf(const Wrapped& w) {
  xml::Document doc = w.node.ownerDocument();
  for (int i = 0; i < 3; ++i) {
    if (g_run->loaded[i] || !(doc == g_run->docs[i])) continue;
    g_run->loaded[i] = true;
    std::string text;
    if (g_run->ahead.sent[i]) {
      text = std::move(g_run->ahead.text[i]);
    } else {
      // The module answers with a line announcing the size, then the text itself.
      json answer = AskModule(json{{"op", "need"}, {"doc", kDocumentKeys[i]}});
      const long long bytes = answer.value("bytes", -1LL);
      if (answer.value("op", "") != "doc" || bytes < 0) std::_Exit(2);
      if (g_run->channel->ReadBytes(static_cast<std::size_t>(bytes), &text,
                                    Clock::time_point::max()) != IoStatus::Ok) {
        std::_Exit(0);
      }
    }
    if (!text.empty()) g_run->docs[i].loadXML(text);
    if (g_run->changing) g_run->received[i] = g_run->docs[i].xml();
  }
  return w.node.ownerDocument();
}

// Called by every member that can change a document, before it does.
void WillChange() {
  if (g_run->changing) return;
  g_run->changing = true;
  for (int i = 0; i < 3; ++i) {
    if (g_run->loaded[i]) g_run->received[i] = g_run->docs[i].ownerDocument().xml();
  }
}

xml::Node ThisNode(duk_context* ctx) {
  duk_push_this(ctx);
  Wrapped* w = GetWrapped(ctx, -1);
  duk_pop(ctx);
  if (!w || w->is_list) throw ScriptThrow{kErrScriptNoMember, "not a DOM node"};
  if (w->is_document) return DocumentOf(*w);
  return w->node;
}

xml::Node ArgNode(duk_context* ctx, duk_idx_t idx, bool allow_null = false) {
  if (allow_null && duk_is_null_or_undefined(ctx, idx)) return {};
  Wrapped* w = GetWrapped(ctx, idx);
  if (!w || w->is_list) throw ScriptThrow{kErrScriptRuntime, "argument is not a DOM node"};
  if (w->is_document) return DocumentOf(*w);
  return w->node;
}

std::string ArgString(duk_context* ctx, duk_idx_t idx) {
  if (duk_is_null_or_undefined(ctx, idx)) return {};
  duk_size_t len = 0;
  const char* s = duk_safe_to_lstring(ctx, idx, &len);
  return std::string(s ? s : "", len);
}

void PushString(duk_context* ctx, const std::string& s) {
  duk_push_lstring(ctx, s.data(), s.size());
}

void PushWrapped(duk_context* ctx, Wrapped* w, const char* proto) {
  g_run->live.insert(w);  // before anything that can fail, so the run's clean-up frees it
  duk_push_object(ctx);
  duk_push_pointer(ctx, w);
  duk_put_prop_string(ctx, -2, kWrapKey);
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, proto);
  duk_remove(ctx, -2);
  duk_set_prototype(ctx, -2);
}

void PushNode(duk_context* ctx, const xml::Node& node) {
  if (node.isNull()) {
    duk_push_null(ctx);
    return;
  }
  bool is_document = node.nodeType() == xml::NodeType::Document;
  auto* w = new Wrapped{false, is_document, node, {}};
  PushWrapped(ctx, w, is_document ? "DocProto" : "NodeProto");
}

void PushList(duk_context* ctx, xml::NodeList list) {
  auto* w = new Wrapped{true, false, {}, std::move(list)};
  PushWrapped(ctx, w, "ListProto");
}

duk_ret_t Finalize(duk_context* ctx) {
  duk_get_prop_string(ctx, 0, kWrapKey);
  auto* w = static_cast<Wrapped*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  if (w && g_run && g_run->live.erase(w)) delete w;
  duk_del_prop_string(ctx, 0, kWrapKey);
  return 0;
}

// ---- Node members ------------------------------------------------------------------------

#define BINDING(name) duk_ret_t name(duk_context* ctx)

BINDING(NodeGetName) {
  return Guarded(ctx, [&] {
    PushString(ctx, ThisNode(ctx).nodeName());
    return 1;
  });
}
BINDING(NodeGetBaseName) {
  return Guarded(ctx, [&] {
    PushString(ctx, ThisNode(ctx).baseName());
    return 1;
  });
}
BINDING(NodeGetType) {
  return Guarded(ctx, [&] {
    duk_push_int(ctx, static_cast<int>(ThisNode(ctx).nodeType()));
    return 1;
  });
}
BINDING(NodeGetValue) {
  return Guarded(ctx, [&] {
    xml::Node n = ThisNode(ctx);
    auto t = n.nodeType();
    if (t == xml::NodeType::Element || t == xml::NodeType::Document) {
      duk_push_null(ctx);
    } else {
      PushString(ctx, n.nodeValue());
    }
    return 1;
  });
}
BINDING(NodeSetValue) {
  return Guarded(ctx, [&] {
    WillChange();
    if (!ThisNode(ctx).setNodeValue(ArgString(ctx, 0)))
      throw ScriptThrow{kErrScriptRuntime, "this node has no value to set"};
    return 0;
  });
}
BINDING(NodeGetText) {
  return Guarded(ctx, [&] {
    PushString(ctx, ThisNode(ctx).text());
    return 1;
  });
}
BINDING(NodeSetText) {
  return Guarded(ctx, [&] {
    WillChange();
    xml::Node n = ThisNode(ctx);
    if (n.nodeType() == xml::NodeType::Document)
      throw ScriptThrow{kErrScriptRuntime, "the text of a document cannot be set"};
    n.setText(ArgString(ctx, 0));
    return 0;
  });
}
BINDING(NodeGetXml) {
  return Guarded(ctx, [&] {
    PushString(ctx, ThisNode(ctx).xml());
    return 1;
  });
}
BINDING(NodeGetParent) {
  return Guarded(ctx, [&] {
    PushNode(ctx, ThisNode(ctx).parentNode());
    return 1;
  });
}
BINDING(NodeGetFirstChild) {
  return Guarded(ctx, [&] {
    PushNode(ctx, ThisNode(ctx).firstChild());
    return 1;
  });
}
BINDING(NodeGetLastChild) {
  return Guarded(ctx, [&] {
    PushNode(ctx, ThisNode(ctx).lastChild());
    return 1;
  });
}
BINDING(NodeGetNextSibling) {
  return Guarded(ctx, [&] {
    PushNode(ctx, ThisNode(ctx).nextSibling());
    return 1;
  });
}
BINDING(NodeGetPreviousSibling) {
  return Guarded(ctx, [&] {
    PushNode(ctx, ThisNode(ctx).previousSibling());
    return 1;
  });
}
BINDING(NodeGetChildNodes) {
  return Guarded(ctx, [&] {
    PushList(ctx, ThisNode(ctx).childNodes());
    return 1;
  });
}
BINDING(NodeGetAttributes) {
  return Guarded(ctx, [&] {
    PushList(ctx, ThisNode(ctx).attributes());
    return 1;
  });
}
BINDING(NodeGetOwnerDocument) {
  return Guarded(ctx, [&] {
    xml::Node n = ThisNode(ctx);
    if (n.nodeType() == xml::NodeType::Document) {
      duk_push_null(ctx);
    } else {
      PushNode(ctx, n.ownerDocument());
    }
    return 1;
  });
}
BINDING(NodeGetAttribute) {
  return Guarded(ctx, [&] {
    xml::Node n = ThisNode(ctx);
    std::string name = ArgString(ctx, 0);
    if (!n.hasAttribute(name)) {
      duk_push_null(ctx);
    } else {
      PushString(ctx, n.getAttribute(name));
    }
    return 1;
  });
}
BINDING(NodeSetAttribute) {
  return Guarded(ctx, [&] {
    WillChange();
    if (!ThisNode(ctx).setAttribute(ArgString(ctx, 0), ArgString(ctx, 1)))
      throw ScriptThrow{kErrScriptRuntime, "attributes can only be set on elements"};
    return 0;
  });
}
BINDING(NodeRemoveAttribute) {
  return Guarded(ctx, [&] {
    WillChange();
    ThisNode(ctx).removeAttribute(ArgString(ctx, 0));
    return 0;
  });
}
BINDING(NodeAppendChild) {
  return Guarded(ctx, [&] {
    WillChange();
    xml::Node added = ThisNode(ctx).appendChild(ArgNode(ctx, 0));
    if (added.isNull()) throw ScriptThrow{kErrScriptRuntime, "this node cannot be inserted here"};
    PushNode(ctx, added);
    return 1;
  });
}
BINDING(NodeInsertBefore) {
  return Guarded(ctx, [&] {
    WillChange();
    xml::Node added = ThisNode(ctx).insertBefore(ArgNode(ctx, 0), ArgNode(ctx, 1, true));
    if (added.isNull()) throw ScriptThrow{kErrScriptRuntime, "this node cannot be inserted here"};
    PushNode(ctx, added);
    return 1;
  });
}
BINDING(NodeRemoveChild) {
  return Guarded(ctx, [&] {
    WillChange();
    xml::Node removed = ThisNode(ctx).removeChild(ArgNode(ctx, 0));
    if (removed.isNull())
      throw ScriptThrow{kErrScriptRuntime, "the node is not a child of this node"};
    PushNode(ctx, removed);
    return 1;
  });
}
BINDING(NodeReplaceChild) {
  return Guarded(ctx, [&] {
    WillChange();
    xml::Node old = ThisNode(ctx).replaceChild(ArgNode(ctx, 0), ArgNode(ctx, 1));
    if (old.isNull()) throw ScriptThrow{kErrScriptRuntime, "the node cannot be replaced"};
    PushNode(ctx, old);
    return 1;
  });
}
BINDING(NodeCloneNode) {
  return Guarded(ctx, [&] {
    PushNode(ctx, ThisNode(ctx).cloneNode(duk_to_boolean(ctx, 0) != 0));
    return 1;
  });
}
BINDING(NodeHasChildNodes) {
  return Guarded(ctx, [&] {
    duk_push_boolean(ctx, ThisNode(ctx).hasChildNodes());
    return 1;
  });
}
BINDING(NodeSelectSingleNode) {
  return Guarded(ctx, [&] {
    std::string error;
    xml::Node found = ThisNode(ctx).selectSingleNode(ArgString(ctx, 0), &error);
    if (found.isNull() && !error.empty()) throw ScriptThrow{kErrScriptRuntime, error};
    PushNode(ctx, found);
    return 1;
  });
}
BINDING(NodeSelectNodes) {
  return Guarded(ctx, [&] {
    std::string error;
    xml::NodeList found = ThisNode(ctx).selectNodes(ArgString(ctx, 0), &error);
    if (found.empty() && !error.empty()) throw ScriptThrow{kErrScriptRuntime, error};
    PushList(ctx, std::move(found));
    return 1;
  });
}

// ---- Document members --------------------------------------------------------------------

xml::Document ThisDocument(duk_context* ctx) {
  xml::Node n = ThisNode(ctx);
  if (n.nodeType() != xml::NodeType::Document)
    throw ScriptThrow{kErrScriptNoMember, "not a DOM document"};
  return n.ownerDocument();
}

BINDING(DocLoadXml) {
  return Guarded(ctx, [&] {
    WillChange();
    duk_push_boolean(ctx, ThisDocument(ctx).loadXML(ArgString(ctx, 0)));
    return 1;
  });
}
BINDING(DocGetParseError) {
  return Guarded(ctx, [&] {
    std::string reason = ThisDocument(ctx).parseErrorReason();
    duk_push_object(ctx);
    duk_push_int(ctx, reason.empty() ? 0 : 1);
    duk_put_prop_string(ctx, -2, "errorCode");
    PushString(ctx, reason);
    duk_put_prop_string(ctx, -2, "reason");
    return 1;
  });
}
BINDING(DocGetDocumentElement) {
  return Guarded(ctx, [&] {
    PushNode(ctx, ThisDocument(ctx).documentElement());
    return 1;
  });
}
BINDING(DocCreateElement) {
  return Guarded(ctx, [&] {
    xml::Node n = ThisDocument(ctx).createElement(ArgString(ctx, 0));
    if (n.isNull()) throw ScriptThrow{kErrScriptRuntime, "invalid element name"};
    PushNode(ctx, n);
    return 1;
  });
}
BINDING(DocCreateTextNode) {
  return Guarded(ctx, [&] {
    PushNode(ctx, ThisDocument(ctx).createTextNode(ArgString(ctx, 0)));
    return 1;
  });
}
BINDING(DocCreateCData) {
  return Guarded(ctx, [&] {
    PushNode(ctx, ThisDocument(ctx).createCDATASection(ArgString(ctx, 0)));
    return 1;
  });
}
BINDING(DocCreateComment) {
  return Guarded(ctx, [&] {
    PushNode(ctx, ThisDocument(ctx).createComment(ArgString(ctx, 0)));
    return 1;
  });
}

// ---- Node list members -------------------------------------------------------------------

const xml::NodeList& ThisList(duk_context* ctx) {
  duk_push_this(ctx);
  Wrapped* w = GetWrapped(ctx, -1);
  duk_pop(ctx);
  if (!w || !w->is_list) throw ScriptThrow{kErrScriptNoMember, "not a node list"};
  return w->list;
}

BINDING(ListGetLength) {
  return Guarded(ctx, [&] {
    duk_push_number(ctx, static_cast<duk_double_t>(ThisList(ctx).length()));
    return 1;
  });
}
BINDING(ListItem) {
  return Guarded(ctx, [&] {
    const xml::NodeList& list = ThisList(ctx);
    double index = duk_to_number(ctx, 0);
    if (!(index >= 0 && index < static_cast<double>(list.length()))) {
      duk_push_null(ctx);
    } else {
      PushNode(ctx, list.item(static_cast<long>(index)));
    }
    return 1;
  });
}

// ---- MsgBox ------------------------------------------------------------------------------

BINDING(ScriptMsgBox) {
  return Guarded(ctx, [&] {
    if (!g_run->allow_ui) throw ScriptThrow{kErrScriptPermission, "Permission denied: 'MsgBox'"};
    json answer = AskModule(json{{"op", "msgbox"},
                                 {"text", ArgString(ctx, 0)},
                                 {"buttons", duk_is_number(ctx, 1) ? duk_get_int(ctx, 1) : 0},
                                 {"title", ArgString(ctx, 2)}});
    if (answer.value("denied", false))
      throw ScriptThrow{kErrScriptPermission, "Permission denied: 'MsgBox'"};
    duk_push_int(ctx, answer.value("result", 1));
    return 1;
  });
}

// ---- Set-up ------------------------------------------------------------------------------

void DefAccessor(duk_context* ctx, const char* name, duk_c_function getter,
                 duk_c_function setter = nullptr) {
  duk_uint_t flags = DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_ENUMERABLE;
  duk_push_string(ctx, name);
  duk_push_c_function(ctx, getter, 0);
  if (setter) {
    duk_push_c_function(ctx, setter, 1);
    flags |= DUK_DEFPROP_HAVE_SETTER;
  }
  duk_def_prop(ctx, setter ? -4 : -3, flags);
}

void DefMethod(duk_context* ctx, const char* name, duk_c_function fn, duk_idx_t nargs) {
  duk_push_c_function(ctx, fn, nargs);
  duk_put_prop_string(ctx, -2, name);
}

// The members of the DOM objects: an accessor (getter, optional setter) or a method.
struct Member {
  const char* name;
  duk_c_function function;  // the method, or the getter
  duk_c_function setter;
  duk_idx_t nargs;
  bool accessor;
};

const Member kNodeMembers[] = {
    {"nodeName", NodeGetName, nullptr, 0, true},
    {"baseName", NodeGetBaseName, nullptr, 0, true},
    {"nodeType", NodeGetType, nullptr, 0, true},
    {"nodeValue", NodeGetValue, NodeSetValue, 0, true},
    {"text", NodeGetText, NodeSetText, 0, true},
    {"xml", NodeGetXml, nullptr, 0, true},
    {"parentNode", NodeGetParent, nullptr, 0, true},
    {"firstChild", NodeGetFirstChild, nullptr, 0, true},
    {"lastChild", NodeGetLastChild, nullptr, 0, true},
    {"nextSibling", NodeGetNextSibling, nullptr, 0, true},
    {"previousSibling", NodeGetPreviousSibling, nullptr, 0, true},
    {"childNodes", NodeGetChildNodes, nullptr, 0, true},
    {"attributes", NodeGetAttributes, nullptr, 0, true},
    {"ownerDocument", NodeGetOwnerDocument, nullptr, 0, true},
    {"getAttribute", NodeGetAttribute, nullptr, 1, false},
    {"setAttribute", NodeSetAttribute, nullptr, 2, false},
    {"removeAttribute", NodeRemoveAttribute, nullptr, 1, false},
    {"appendChild", NodeAppendChild, nullptr, 1, false},
    {"insertBefore", NodeInsertBefore, nullptr, 2, false},
    {"removeChild", NodeRemoveChild, nullptr, 1, false},
    {"replaceChild", NodeReplaceChild, nullptr, 2, false},
    {"cloneNode", NodeCloneNode, nullptr, 1, false},
    {"hasChildNodes", NodeHasChildNodes, nullptr, 0, false},
    {"selectSingleNode", NodeSelectSingleNode, nullptr, 1, false},
    {"selectNodes", NodeSelectNodes, nullptr, 1, false},
};

const Member kDocumentMembers[] = {
    {"loadXML", DocLoadXml, nullptr, 1, false},
    {"parseError", DocGetParseError, nullptr, 0, true},
    {"documentElement", DocGetDocumentElement, nullptr, 0, true},
    {"createElement", DocCreateElement, nullptr, 1, false},
    {"createTextNode", DocCreateTextNode, nullptr, 1, false},
    {"createCDATASection", DocCreateCData, nullptr, 1, false},
    {"createComment", DocCreateComment, nullptr, 1, false},
};

constexpr int kDocumentMemberCount = sizeof kDocumentMembers / sizeof kDocumentMembers[0];
constexpr int kMemberCount = kDocumentMemberCount + sizeof kNodeMembers / sizeof kNodeMembers[0];

// Global members are numbered as a document looks them up: its own, then the node's.
const Member& MemberAt(int index) {
  return index < kDocumentMemberCount ? kDocumentMembers[index]
                                      : kNodeMembers[index - kDocumentMemberCount];
}

// Defines the members on the object at the top of the stack.
void DefMembers(duk_context* ctx, const Member* members, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const Member& m = members[i];
    if (m.accessor) {
      DefAccessor(ctx, m.name, m.function, m.setter);
    } else {
      DefMethod(ctx, m.name, m.function, m.nargs);
    }
  }
}

const char kGlobalOwnerKey[] = "globalOwner";

// Pushes the object the global members act on (docCatalog as the run began).
void PushGlobalOwner(duk_context* ctx) {
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, kGlobalOwnerKey);
  duk_remove(ctx, -2);
}

duk_ret_t GlobalMethod(duk_context* ctx) {
  const Member& m = MemberAt(duk_get_current_magic(ctx));
  const duk_idx_t nargs = duk_get_top(ctx);
  PushGlobalOwner(ctx);
  duk_get_prop_string(ctx, -1, m.name);
  duk_swap_top(ctx, -2);
  for (duk_idx_t i = 0; i < nargs; ++i) duk_dup(ctx, i);
  duk_call_method(ctx, nargs);
  return 1;
}

duk_ret_t GlobalGetter(duk_context* ctx) {
  PushGlobalOwner(ctx);
  duk_get_prop_string(ctx, -1, MemberAt(duk_get_current_magic(ctx)).name);
  return 1;
}

duk_ret_t GlobalSetter(duk_context* ctx) {
  PushGlobalOwner(ctx);
  duk_dup(ctx, 0);
  duk_put_prop_string(ctx, -2, MemberAt(duk_get_current_magic(ctx)).name);
  return 0;
}

// The members of docCatalog become globals (as if the object had been added with its
// members global); a name the global object already has keeps its meaning. docDesign has
// the same members, so none of its own become global.
void BindGlobalMembers(duk_context* ctx) {
  duk_push_global_stash(ctx);
  duk_get_global_string(ctx, "docCatalog");
  duk_put_prop_string(ctx, -2, kGlobalOwnerKey);
  duk_pop(ctx);

  duk_push_global_object(ctx);
  for (int i = 0; i < kMemberCount; ++i) {
    const Member& m = MemberAt(i);
    if (duk_has_prop_string(ctx, -1, m.name)) continue;
    duk_push_string(ctx, m.name);
    if (m.accessor) {
      duk_uint_t flags = DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_CONFIGURABLE;
      duk_push_c_function(ctx, GlobalGetter, 0);
      duk_set_magic(ctx, -1, i);
      if (m.setter) {
        duk_push_c_function(ctx, GlobalSetter, 1);
        duk_set_magic(ctx, -1, i);
        flags |= DUK_DEFPROP_HAVE_SETTER;
      }
      duk_def_prop(ctx, m.setter ? -4 : -3, flags);
    } else {
      duk_push_c_function(ctx, GlobalMethod, DUK_VARARGS);
      duk_set_magic(ctx, -1, i);
      duk_def_prop(
          ctx, -3,
          DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE);
    }
  }

  // The message box constants of the original script language.
  static const std::pair<const char*, int> kConstants[] = {
      {"vbOKOnly", 0},      {"vbOKCancel", 1},     {"vbAbortRetryIgnore", 2},
      {"vbYesNoCancel", 3}, {"vbYesNo", 4},        {"vbCritical", 16},
      {"vbQuestion", 32},   {"vbExclamation", 48}, {"vbInformation", 64},
      {"vbOK", 1},          {"vbCancel", 2},       {"vbYes", 6},
      {"vbNo", 7}};
  for (const auto& [name, value] : kConstants) {
    duk_push_string(ctx, name);
    duk_push_int(ctx, value);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_ENUMERABLE |
                     DUK_DEFPROP_CLEAR_CONFIGURABLE);
  }
  duk_pop(ctx);
}

duk_ret_t SetUpGlobals(duk_context* ctx, void* /*udata*/) {
  duk_push_global_stash(ctx);

  // Node prototype, with the finalizer every wrapper inherits.
  duk_push_object(ctx);
  duk_push_c_function(ctx, Finalize, 1);
  duk_set_finalizer(ctx, -2);
  DefMembers(ctx, kNodeMembers, sizeof kNodeMembers / sizeof kNodeMembers[0]);
  duk_dup_top(ctx);
  duk_put_prop_string(ctx, -3, "NodeProto");

  // Document prototype, inheriting the node members.
  duk_push_object(ctx);
  duk_dup(ctx, -2);
  duk_set_prototype(ctx, -2);
  DefMembers(ctx, kDocumentMembers, kDocumentMemberCount);
  duk_put_prop_string(ctx, -3, "DocProto");
  duk_pop(ctx);  // node prototype

  duk_push_object(ctx);
  duk_push_c_function(ctx, Finalize, 1);
  duk_set_finalizer(ctx, -2);
  DefAccessor(ctx, "length", ListGetLength);
  DefMethod(ctx, "item", ListItem, 1);
  duk_put_prop_string(ctx, -2, "ListProto");
  duk_pop(ctx);  // stash

  static const char* const kNames[3] = {"docCatalog", "docDesign", "docError"};
  for (int i = 0; i < 3; ++i) {
    PushNode(ctx, g_run->docs[i]);
    duk_put_global_string(ctx, kNames[i]);
  }
  duk_push_c_function(ctx, ScriptMsgBox, DUK_VARARGS);
  duk_put_global_string(ctx, "MsgBox");

  BindGlobalMembers(ctx);
  return 0;
}

// ---- Errors ------------------------------------------------------------------------------

struct ErrorInfo {
  long number = kErrScriptRuntime;
  std::string source;
  std::string description;
  long line = 0;
};

ErrorInfo* g_error_info = nullptr;

// Reads the thrown value at the top of the stack (in a protected call: a script can throw
// an object whose getters throw again).
duk_ret_t DescribeThrown(duk_context* ctx, void* /*udata*/) {
  ErrorInfo& info = *g_error_info;
  duk_idx_t err = duk_get_top_index(ctx);
  if (duk_is_object(ctx, err)) {
    std::string name;
    if (duk_get_prop_string(ctx, err, "name") && duk_is_string(ctx, -1))
      name = duk_get_string(ctx, -1);
    duk_pop(ctx);
    if (duk_get_prop_string(ctx, err, "lineNumber") && duk_is_number(ctx, -1))
      info.line = static_cast<long>(duk_get_number(ctx, -1));
    duk_pop(ctx);
    std::string message;
    if (duk_get_prop_string(ctx, err, "message") && duk_is_string(ctx, -1))
      message = duk_get_string(ctx, -1);
    duk_pop(ctx);
    if (name == "SyntaxError") {
      info.number = kErrScriptSyntax;
    } else if (name == "ReferenceError") {
      info.number = kErrScriptUndefined;
    } else if (name == "TypeError") {
      info.number = kErrScriptNoMember;
    }
    if (message.find("alloc failed") != std::string::npos) info.number = kErrScriptOutOfMemory;
    if (duk_get_prop_string(ctx, err, "number") && duk_is_number(ctx, -1))
      info.number = static_cast<long>(duk_get_number(ctx, -1));
    duk_pop(ctx);
    if (duk_get_prop_string(ctx, err, "description") && duk_is_string(ctx, -1)) {
      info.description = duk_get_string(ctx, -1);
    } else if (duk_is_error(ctx, err) && name == "Error" && !message.empty()) {
      info.description = message;
    } else {
      info.description = duk_safe_to_string(ctx, err);
    }
    duk_pop(ctx);
  } else {
    info.description = duk_safe_to_string(ctx, err);
  }
  return 0;
}

ErrorInfo Describe(duk_context* ctx, const char* source) {
  ErrorInfo info;
  info.source = source;
  g_error_info = &info;
  if (duk_safe_call(ctx, DescribeThrown, nullptr, 1, 1) != 0 && info.description.empty()) {
    info.description = "an error that cannot be described";
  }
  duk_pop(ctx);
  g_error_info = nullptr;
  return info;
}

// Compiles and runs `code`; on failure fills `info` and returns false.
bool Execute(duk_context* ctx, const std::string& code, const char* filename, ErrorInfo* info) {
  duk_push_lstring(ctx, code.data(), code.size());
  duk_push_string(ctx, filename);
  if (duk_pcompile(ctx, 0) != 0) {
    *info = Describe(ctx, "JavaScript compilation error");
    if (info->number == kErrScriptRuntime) info->number = kErrScriptSyntax;
    return false;
  }
  if (duk_pcall(ctx, 0) != 0) {
    *info = Describe(ctx, "JavaScript runtime error");
    return false;
  }
  duk_pop(ctx);
  return true;
}

void Fatal(void* /*udata*/, const char* msg) {
  if (g_run && g_run->channel) {
    json reply{{"op", "done"},
               {"ok", false},
               {"number", kErrScriptHostFailure},
               {"source", "JavaScript runtime error"},
               {"description", std::string("fatal script engine error: ") + (msg ? msg : "")},
               {"line", 0}};
    g_run->channel->WriteLine(reply.dump(-1, ' ', false, json::error_handler_t::replace),
                              Clock::now() + std::chrono::seconds(5));
  }
  std::_Exit(3);
}

// A fresh interpreter with its globals set up, made while the worker waits for its next
// script, so that the module does not wait for it; every script still starts from nothing.
struct PreparedRun {
  RunContext run;
  HeapBudget budget;
  duk_context* ctx = nullptr;
  bool ready = false;  // the globals are set up
  ErrorInfo error;     // why not, when !ready

  PreparedRun() = default;
  PreparedRun(const PreparedRun&) = delete;
  PreparedRun& operator=(const PreparedRun&) = delete;
  ~PreparedRun() {
    if (ctx) {
      RunContext* saved = g_run;
      g_run = &run;  // the wrappers' finalizers run now
      duk_destroy_heap(ctx);
      g_run = saved;
    }
    for (Wrapped* w : run.live) delete w;
  }
};

std::unique_ptr<PreparedRun> PrepareRun(std::size_t memory_cap) {
  auto p = std::make_unique<PreparedRun>();
  p->budget.cap = memory_cap;
  g_run = &p->run;  // no channel yet: a fatal error here only ends the worker
  p->ctx = duk_create_heap(CappedAlloc, CappedRealloc, CappedFree, &p->budget, Fatal);
  if (!p->ctx) {
    p->error = ErrorInfo{kErrScriptOutOfMemory, "JavaScript runtime error", "Out of memory", 0};
  } else if (duk_safe_call(p->ctx, SetUpGlobals, nullptr, 0, 1) != 0) {
    p->error = Describe(p->ctx, "JavaScript runtime error");
  } else {
    duk_pop(p->ctx);
    p->ready = true;
  }
  g_run = nullptr;
  return p;
}

json RunRequest(process::LineChannel& channel, const json& request, DocumentsAhead ahead,
                PreparedRun& prepared) {
  RunContext& run = prepared.run;
  run.channel = &channel;
  run.ahead = std::move(ahead);
  run.allow_ui = request.value("allowUI", false);
  g_run = &run;

  ErrorInfo info = prepared.error;
  const bool ok = prepared.ready &&
                  Execute(prepared.ctx, request.value("script", ""), "script", &info) &&
                  Execute(prepared.ctx, "Validate()", "statement", &info);

  json reply{{"op", "done"}, {"ok", ok}};
  if (!ok) {
    reply["number"] = info.number;
    reply["source"] = info.source;
    reply["description"] = info.description;
    reply["line"] = info.line;
  }
  // Only the documents the script changed go back; through the holder, as a loadXML in
  // the script replaced the tree these objects cached.
  for (int i = 0; i < 3; ++i) {
    if (!run.loaded[i] || !run.changing) continue;
    std::string now = run.docs[i].ownerDocument().xml();
    if (now != run.received[i]) reply[kDocumentKeys[i]] = std::move(now);
  }
  g_run = nullptr;
  return reply;
}

}  // namespace

void WorkerMain(int fd, std::size_t memory_limit) {
  process::LineChannel channel(fd);
  std::unique_ptr<PreparedRun> next = PrepareRun(memory_limit);
  for (;;) {
    std::string line;
    if (channel.ReadLine(&line, Clock::time_point::max()) != IoStatus::Ok) std::_Exit(0);
    json request = json::parse(line, nullptr, false);
    if (request.is_discarded() || !request.is_object()) std::_Exit(2);
    // Documents sent with the script follow its line.
    DocumentsAhead ahead;
    auto eager = request.find("eager");
    if (eager != request.end() && eager->is_object()) {
      for (int i = 0; i < 3; ++i) {
        auto size = eager->find(kDocumentKeys[i]);
        if (size == eager->end()) continue;
        if (!size->is_number_unsigned()) std::_Exit(2);
        if (channel.ReadBytes(size->get<std::size_t>(), &ahead.text[i], Clock::time_point::max()) !=
            IoStatus::Ok) {
          std::_Exit(0);
        }
        ahead.sent[i] = true;
      }
    }
    // Tells the module the script was taken: a worker that dies before this line was lost
    // while idle, and the module gives the script to a new one.
    if (channel.WriteLine(R"({"op":"started"})", Clock::time_point::max()) != IoStatus::Ok) {
      std::_Exit(0);
    }
    json reply;
    try {
      // The interpreter made ahead has the worker's memory cap; a run asking for another
      // gets one made now.
      const std::size_t cap = request.value("memory", memory_limit);
      if (next->budget.cap != cap) {
        next.reset();
        next = PrepareRun(cap);
      }
      reply = RunRequest(channel, request, std::move(ahead), *next);
    } catch (const std::exception& e) {
      reply = json{{"op", "done"},
                   {"ok", false},
                   {"number", kErrScriptHostFailure},
                   {"source", "Script host"},
                   {"description", e.what()},
                   {"line", 0}};
    }
    if (channel.WriteLine(reply.dump(-1, ' ', false, json::error_handler_t::replace),
                          Clock::time_point::max()) != IoStatus::Ok) {
      std::_Exit(0);
    }
    // The used interpreter goes, and the next one is made, while the module reads the answer.
    next.reset();
    next = PrepareRun(memory_limit);
  }
}

}  // namespace larkedi::script::detail
