#include "platform/xml/html.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <climits>
#include <memory>

namespace larkedi::xml {
namespace {

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct BufferFree {
  void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};

}  // namespace

bool ParseHtml(std::string_view html, Document& out, std::string* error) {
  if (html.size() > static_cast<std::size_t>(INT_MAX)) {
    if (error) *error = "The page is too large.";
    return false;
  }
  std::unique_ptr<xmlDoc, DocFree> doc(
      htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
                     HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING));
  if (!doc || !xmlDocGetRootElement(doc.get())) {
    if (error) *error = "The page could not be parsed as HTML.";
    return false;
  }
  // Written out as XML (not HTML), the tree loads into the ordinary DOM document with the
  // text exactly as the HTML parser understood it.
  doc->type = XML_DOCUMENT_NODE;
  std::unique_ptr<xmlBuffer, BufferFree> buffer(xmlBufferCreate());
  xmlSaveCtxt* save = xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_AS_XML | XML_SAVE_NO_DECL);
  if (!buffer || !save) {
    if (save) xmlSaveClose(save);
    if (error) *error = "Out of memory.";
    return false;
  }
  xmlSaveTree(save, xmlDocGetRootElement(doc.get()));
  xmlSaveClose(save);
  std::string text(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                   static_cast<std::size_t>(xmlBufferLength(buffer.get())));
  if (!out.loadXML(text)) {
    if (error) *error = out.parseErrorReason();
    return false;
  }
  if (error) error->clear();
  return true;
}

}  // namespace larkedi::xml
