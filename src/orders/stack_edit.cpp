// The edits a dealer makes to an order group: purchase-order number, comment, contact and
// whether it goes out with the next send.
#include "orders/order_stack.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

const char* ElementOf(OrderStack::GroupField field) {
  switch (field) {
    case OrderStack::GroupField::PONumber:
      return "PONUMBER";
    case OrderStack::GroupField::Comment:
      return "COMMENT";
    case OrderStack::GroupField::ContactName:
      return "CONTACTNAME";
    case OrderStack::GroupField::SendIt:
      return "SENDIT";
  }
  return "";
}

}  // namespace

long OrderStack::FindGroup(const std::string& spec) const {
  const auto colon = spec.rfind(':');
  std::string xpath;
  if (colon != std::string::npos) {
    xpath = "/Orders/Design[FileName=" + xml::XPathLiteral(spec.substr(0, colon)) +
            "]/ORDERGROUP[PARTNERID=" + xml::XPathLiteral(spec.substr(colon + 1)) + "]/ID";
  } else {
    if (!IsNumeric(spec)) return -1;
    xpath = "/Orders/Design/ORDERGROUP[ID=" + xml::XPathLiteral(Trim(spec)) + "]/ID";
  }
  xml::Node id = docOrders.selectSingleNode(xpath);
  return id ? static_cast<long>(LeadingNumber(id.text())) : -1;
}

Err OrderStack::SetGroupField(long groupId, GroupField field, const std::string& value) {
  const std::string element = ElementOf(field);
  if (field == GroupField::SendIt && value != "1" && value != "0") {
    return Err::Raise(kErrGeneral, "SetGroupField", "SENDIT takes 1 or 0, not " + value);
  }
  const std::string group_xpath =
      "/Orders/Design/ORDERGROUP[ID=" + xml::XPathLiteral(std::to_string(groupId)) + "]";
  xml::Node group = docOrders.selectSingleNode(group_xpath);
  if (group.isNull()) {
    return Err::Raise(kErrGeneral, "SetGroupField", "no order group " + std::to_string(groupId));
  }
  xml::Node target = group.selectSingleNode(element);
  if (target.isNull()) {
    return Err::Raise(kErrGeneral, "SetGroupField",
                      "order group " + std::to_string(groupId) + " has no " + element);
  }
  target.setText(value);
  // Ticks count as edits too: a changed send flag that is not saved would send an order the
  // dealer held back.
  MarkChanged(group.parentNode());
  return {};
}

}  // namespace larkedi
