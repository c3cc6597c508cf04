#include "orders/design_builder.h"

#include <initializer_list>
#include <span>
#include <string>

namespace larkedi {
namespace {

constexpr std::string_view kHeaderChildren[] = {"BranchID",
                                                "Number",
                                                "TransactionCode",
                                                "Version",
                                                "Code",
                                                "ProjectGroup",
                                                "Name",
                                                "GlobalID",
                                                "DateSent",
                                                "DateBias",
                                                "ComputerName",
                                                "DateCreated",
                                                "DateDocument",
                                                "DateSold",
                                                "DateValidity",
                                                "DateRequired",
                                                "Measured",
                                                "DateMeasured",
                                                "DateProduction",
                                                "DeliveryOnRequest",
                                                "DateDelivery",
                                                "DateInstallation",
                                                "DateEndProject",
                                                "DateFirstContact",
                                                "DateNextContact",
                                                "Language",
                                                "Locale",
                                                "Currency",
                                                "Comment",
                                                "Reference",
                                                "CurrentPhase",
                                                "NextPhase",
                                                "Status",
                                                "RoomType",
                                                "NewConstruction"};
constexpr std::string_view kInstallationSpecs[] = {"ID", "Installer", "ItemGroup",
                                                   "DateEstimatedInstalled"};
constexpr std::string_view kLocationGroup[] = {"Type",    "Address", "City", "State",
                                               "Country", "Zip",     "Note"};
constexpr std::string_view kPhoneGroup[] = {"Type", "Number", "Label"};
constexpr std::string_view kPayment[] = {"When",    "Method", "Amount",
                                         "Percent", "Delay",  "Description"};
constexpr std::string_view kSurvey[] = {"ContactOrigin", "HomeType",    "LivingCondition",
                                        "NbOccupant",    "DateDesired", "PaymentForm",
                                        "Comment"};
constexpr std::string_view kSpecifications[] = {"DesignStyle", "Model", "CabinetBudget",
                                                "ApplianceBudget"};
constexpr std::string_view kSurveyItems[] = {"Category", "SubCategory", "Exist", "IsRequired"};
constexpr std::string_view kBillToContacts[] = {"Dealer", "DealerSalesRep", "Designer"};

void EnsureChildren(const xml::Node& parent, std::span<const std::string_view> names) {
  if (parent.isNull()) return;
  for (std::string_view name : names) EnsureChild(parent, name);
}

// Name, Prefix, Title, phone and e-mail: what a contact and a commission share.
void CompletePersonTail(const xml::Node& parent) {
  if (parent.isNull()) return;
  for (std::string_view name : {"Name", "Prefix", "Title"}) EnsureChild(parent, name);
  EnsureChildren(EnsureChild(parent, "Phone"), kPhoneGroup);
  EnsureChild(parent, "Email");
}

// The contact group, after the contact's own Type.
void CompleteContact(const xml::Node& contact) {
  if (contact.isNull()) return;
  EnsureChild(contact, "Code");
  CompletePersonTail(contact);
}

void CompleteCommission(const xml::Node& commission) {
  if (commission.isNull()) return;
  for (std::string_view name : {"Type", "ID", "PercentageSplit", "Code"}) {
    EnsureChild(commission, name);
  }
  CompletePersonTail(commission);
}

// The profile whose Type is `type`, or a new one appended with that Type.
xml::Node FindOrAddProfile(const xml::Node& job_info, std::string_view type) {
  xml::Node profile = job_info.selectSingleNode("Profile[Type=" + xml::XPathLiteral(type) + "]");
  if (!profile.isNull()) return profile;
  profile = AppendChildElement(job_info, "Profile");
  EnsureChildText(profile, "Type", type);
  return profile;
}

void CompleteProfile(const xml::Node& job_info, std::string_view type) {
  xml::Node profile = FindOrAddProfile(job_info, type);
  if (profile.isNull()) return;
  for (std::string_view name : {"Code", "Name", "AccountCode"}) EnsureChild(profile, name);
  EnsureChildren(EnsureChild(profile, "Location"), kLocationGroup);
  if (type == "BillTo") {
    // Appended on every run, whatever contacts the profile already holds: a selection of
    // the first contact of a type still finds the host's own.
    for (std::string_view contact_type : kBillToContacts) {
      xml::Node contact = AppendChildElement(profile, "Contact");
      if (contact.isNull()) continue;
      EnsureChildText(contact, "Type", contact_type);
      CompleteContact(contact);
    }
  } else if (type == "Customer") {
    xml::Node contact = EnsureChild(profile, "Contact");
    if (!contact.isNull()) {
      EnsureChildText(contact, "Type", "Main");
      CompleteContact(contact);
    }
  }
  CompleteCommission(EnsureChild(profile, "Commission"));
  EnsureChild(profile, "ProfileRef");
}

}  // namespace

xml::Node EnsureChild(const xml::Node& parent, std::string_view name) {
  if (parent.isNull()) return {};
  for (xml::Node child = parent.firstChild(); !child.isNull(); child = child.nextSibling()) {
    if (child.nodeType() == xml::NodeType::Element && child.nodeName() == name) return child;
  }
  return AppendChildElement(parent, name);
}

xml::Node EnsureChildText(const xml::Node& parent, std::string_view name, std::string_view text) {
  if (parent.isNull()) return {};
  for (xml::Node child = parent.firstChild(); !child.isNull(); child = child.nextSibling()) {
    if (child.nodeType() == xml::NodeType::Element && child.nodeName() == name) return child;
  }
  xml::Node created = AppendChildElement(parent, name);
  if (!created.isNull() && !text.empty()) created.setText(text);
  return created;
}

xml::Node AppendChildElement(const xml::Node& parent, std::string_view name) {
  if (parent.isNull() || parent.nodeType() != xml::NodeType::Element) return {};
  xml::Document doc = parent.ownerDocument();
  xml::Node element = doc.createElement(name);
  if (element.isNull()) return {};
  xml::Node target = parent;
  return target.appendChild(element);
}

void CompleteJobInfo(const xml::Node& design) {
  xml::Node job_info = EnsureChild(design, "JobInfo");
  if (job_info.isNull()) return;

  EnsureChild(job_info, "Mode");
  EnsureChild(job_info, "FileName");
  xml::Node header = EnsureChild(job_info, "Header");
  if (!header.isNull()) {
    EnsureChildren(header, kHeaderChildren);
    EnsureChildren(EnsureChild(header, "InstallationSpecs"), kInstallationSpecs);
    EnsureChild(EnsureChild(header, "DisplayOptions"), "PriceType");
  }

  for (std::string_view type : {"BillTo", "ShipTo", "Customer"}) CompleteProfile(job_info, type);

  xml::Node schedule = EnsureChild(job_info, "PaymentSchedule");
  if (!schedule.isNull()) {
    EnsureChildren(EnsureChild(schedule, "Payment"), kPayment);
    EnsureChild(schedule, "Balance");
  }

  xml::Node survey = EnsureChild(job_info, "Survey");
  if (!survey.isNull()) {
    EnsureChildren(survey, kSurvey);
    xml::Node specifications = EnsureChild(survey, "Specifications");
    if (!specifications.isNull()) {
      EnsureChildren(specifications, kSpecifications);
      EnsureChildren(EnsureChild(specifications, "Items"), kSurveyItems);
    }
  }
}

}  // namespace larkedi
