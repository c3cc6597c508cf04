// Files attached to an order group: each is a File element of the group that names the
// file; its content is read only when the order is sent.
#include "orders/order_stack.h"
#include "support/log.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

xml::Node GroupNode(const xml::Document& doc, long groupId) {
  return doc.selectSingleNode(
      "/Orders/Design/ORDERGROUP[ID=" + xml::XPathLiteral(std::to_string(groupId)) + "]");
}

// The last `count` characters of a UTF-8 text (whole characters, never part of one).
std::string LastCharacters(const std::string& text, int count) {
  std::size_t at = text.size();
  while (at > 0 && count > 0) {
    --at;
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) --count;
  }
  return text.substr(at);
}

}  // namespace

std::string FoldAttachmentCase(std::string_view path) {
  // The same letters the order stack page lower-cases when it names a file to remove:
  // A-Z and the capitals of Latin-1 (U+00C0-U+00DE without the multiplication sign).
  std::string folded(path);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    const auto c = static_cast<unsigned char>(folded[i]);
    if (c >= 'A' && c <= 'Z') {
      folded[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < folded.size()) {
      const auto next = static_cast<unsigned char>(folded[i + 1]);
      if (next >= 0x80 && next <= 0x9E && next != 0x97) {
        folded[i + 1] = static_cast<char>(next + 0x20);
      }
      ++i;
    }
  }
  return folded;
}

Err OrderStack::AddAttachment(long groupId, const std::string& path) {
  LogScope log_scope("AddAttachment");
  xml::Node group = GroupNode(docOrders, groupId);
  if (group.isNull()) {
    return Err::Raise(kErrGeneral, "DoAttachFile", "no order group " + std::to_string(groupId));
  }
  // The name must come back exactly as chosen, or the order would be sent without the file.
  if (path.empty() || xml::XmlSafeText(path) != path) {
    return Err::Raise(kErrGeneral, "DoAttachFile",
                      "the file name cannot be stored: " + xml::XmlSafeText(path));
  }
  xml::Node file = group.appendChild(docOrders.createElement("File"));
  file.appendChild(docOrders.createElement("Type")).setText(LastCharacters(path, 3));
  file.appendChild(docOrders.createElement("Name")).setText(path);
  file.appendChild(docOrders.createElement("FileData"));
  MarkChanged(group.parentNode());
  return {};
}

Err OrderStack::RemoveAttachment(long groupId, const std::string& path, bool& removed) {
  LogScope log_scope("RemoveAttachment");
  removed = false;
  xml::Node group = GroupNode(docOrders, groupId);
  if (group.isNull()) {
    return Err::Raise(kErrGeneral, "DeleteAttachFile", "no order group " + std::to_string(groupId));
  }
  const std::string wanted = FoldAttachmentCase(path);
  for (xml::Node file : group.selectNodes("File")) {
    if (FoldAttachmentCase(GetNodeText(file, "Name")) != wanted) continue;
    group.removeChild(file);
    MarkChanged(group.parentNode());
    removed = true;
    break;
  }
  return {};
}

}  // namespace larkedi
