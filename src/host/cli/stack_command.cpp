// stack: the order stack without the window: take designs in, list, edit and remove orders.
#include <iostream>
#include <set>

#include "host/cli/command.h"
#include "host/frm_edi.h"
#include "orders/stack_files.h"
#include "platform/env.h"
#include "platform/text_encoding.h"
#include "settings/settings_document.h"
#include "support/module.h"
#include "support/xml_helpers.h"
#include "validation/edi_validate.h"

namespace larkedi::cli {
namespace {

constexpr const char* kGroupHelp =
    "Order group: its number as `stack list` shows it (numbers are given anew on every load), "
    "or FILE.xme:PARTNERID, the design's stacked file and the partner's ID, which stay";

struct StackOptions {
  std::string file;
  bool xml = false;
  std::string group;
  std::string field;
  std::string value;
};

StackOptions& Options() {
  static StackOptions options;
  return options;
}

// The window's settings load, without asking the partner web service for manufacturers. A
// failure to save completed settings is reported; the command goes on with them in memory.
void OpenSettings(frmEDI& edi) {
  if (Err err = edi.OpenHeadless()) std::cerr << "larkedi: " << err.Description << "\n";
}

// Reports a failed save of the stack and returns the exit status for it.
int SaveFailed(const Err& err) {
  return Fail(kExitAbort, "the order stack was not saved: " + err.Description);
}

// Lists the catalogs the load registered; their save failing is an error (1).
int PrintRegistered(const frmEDI& edi) {
  if (edi.Orders.RegisteredCatalogs.empty()) return kExitOk;
  if (const Err& err = edi.Orders.RegisterStatus) {
    std::string codes;
    for (const auto& code : edi.Orders.RegisteredCatalogs) codes += " " + code;
    return Fail(kExitMissing, "new catalogs" + codes +
                                  " were not saved in the settings file: " + err.Description);
  }
  std::cout << "new catalogs registered without a partner (PARTNERID -1):\n";
  for (const auto& code : edi.Orders.RegisteredCatalogs) std::cout << "  " << code << "\n";
  std::cout << "assign each to its manufacturer by setting the CATALOG's PARTNERID to the "
               "partner's ID in the settings file\n  "
            << SettingsPath()
            << "\n(larkedi settings get / settings put, or edit the file), then run "
               "`larkedi stack list` to see the new order groups\n";
  return kExitOk;
}

// A load that could not use the spool folder ends the command with the reason (3).
bool LoadFailed(const frmEDI& edi, Cli& cli, const std::string& what) {
  if (!edi.Orders.LoadStatus) return false;
  cli.exit_code = Fail(kExitAbort, what + ": " + edi.Orders.LoadStatus.Description);
  return true;
}

void SetupStack(CLI::App& app, Cli& cli) {
  auto* stack = app.add_subcommand(
      "stack",
      "The order stack: designs waiting in the spool folder, grouped into one order per "
      "manufacturer");
  stack->require_subcommand(1);
  StackOptions& o = Options();

  auto* add = stack->add_subcommand(
      "add",
      "Take a design in as the window's load does (job information completed, validated for "
      "start-up, stored enciphered in the spool folder) and rebuild the stack. A file whose "
      "root element is the Design itself is taken as if wrapped in a root element. Exit 3 "
      "when the design is refused or cannot be stored");
  add->add_option("DESIGN", o.file, "Design XML file from the design application")->required();
  add->callback([&cli] {
    cli.Prepare();
    std::string text, reason;
    const int64_t size = Env::Default()->FileSize(Options().file);
    if (Env::Default()->Exists(Options().file) && size < 0) {
      cli.exit_code = Fail(kExitAbort, "design refused: " + Options().file +
                                           " is not a regular file (a folder, device or pipe)");
      return;
    }
    if (size > static_cast<int64_t>(kMaxDesignBytes)) {
      cli.exit_code = Fail(kExitAbort, "design refused: " + Options().file + " is larger than " +
                                           std::to_string(kMaxDesignBytes >> 20) + " MB");
      return;
    }
    std::string bytes;
    if (!Env::Default()->ReadFile(Options().file, &bytes, &reason)) {
      cli.exit_code = Fail(kExitMissing, "cannot add " + Options().file + ": " + reason);
      return;
    }
    // The file's bytes become UTF-8 text as its byte order mark or declaration says, as
    // `validate` and `complete-design` read it.
    if (!DecodeXmlBytes(bytes, &text, &reason)) {
      cli.exit_code = Fail(kExitAbort, "design refused: " + Options().file + ": " + reason);
      return;
    }
    bytes.clear();
    // The design application hands its designs inside a root element; a file that is one
    // bare Design (as the generator writes them) is wrapped the same way.
    {
      xml::Document probe;
      if (probe.loadXML(text) && probe.documentElement() &&
          probe.documentElement().nodeName() == "Design") {
        RemoveXmlHeader(text);
        text = "<Designs>" + text + "</Designs>";
      }
    }
    frmEDI edi;
    OpenSettings(edi);
    int status = EDI_VALIDATE_OK;
    const bool taken = edi.Orders.TakeInStartupInput(text, status);
    auto report_scripts = [&edi] {
      for (const auto& failure : edi.Orders.ScriptFailures) {
        std::cerr << "larkedi: a manufacturer script failed: " << failure << "\n";
      }
      edi.Orders.ScriptFailures.clear();
    };
    report_scripts();
    if (!taken) {
      cli.exit_code =
          Fail(kExitAbort, "design refused: " + std::string(status == EDI_VALIDATE_ABORT
                                                                ? "validation aborted it"
                                                                : "it cannot be taken in"));
      return;
    }
    if (status != EDI_VALIDATE_OK) {
      std::cerr << "larkedi: validation status " << EdiValidateStatusName(status) << "\n";
    }
    // A design without catalogs holds no order: stacked, it would never be listed and would
    // go to the archive at the next save.
    if (xml::Document taken_in; taken_in.loadXML(text) &&
                                taken_in.selectSingleNode("//Design[JobInfo]") &&
                                !taken_in.selectSingleNode("//Design[JobInfo]/Catalog")) {
      cli.exit_code = Fail(kExitAbort, "design refused: " + Options().file +
                                           " has no catalog, so it holds no order to send");
      return;
    }
    // Held from the listing before to the listing after, so the files reported are this
    // command's own.
    OrderStack::Transaction transaction(edi.Orders);
    std::vector<std::string> before_list = ListXmeFiles(edi.Orders.SpoolFolder());
    std::set<std::string> before(before_list.begin(), before_list.end());
    edi.Orders.LoadOrders(false, text);
    report_scripts();
    if (LoadFailed(edi, cli, "design refused, nothing was stored")) return;
    if (edi.Orders.StoreFailures > 0) {
      cli.exit_code = Fail(kExitAbort, "the design could not be stored in the spool folder " +
                                           edi.Orders.SpoolFolder());
      return;
    }
    int added = 0;
    for (const auto& name : ListXmeFiles(edi.Orders.SpoolFolder())) {
      if (!before.count(name)) {
        std::cout << "stacked " << name << "\n";
        ++added;
      }
    }
    cli.exit_code = PrintRegistered(edi);
    if (added == 0) {
      cli.exit_code = Fail(kExitMissing, Options().file + " holds no design with job information");
    }
  });

  auto* list = stack->add_subcommand(
      "list",
      "Load the stack and print one line per order group: design file, group number, partner "
      "ID and name, SENDIT, PONUMBER, VALIDSTATUS, catalog names; then the catalogs that are "
      "in no group");
  list->add_flag("--xml", o.xml, "Print the whole order stack document instead");
  list->callback([&cli] {
    cli.Prepare();
    frmEDI edi;
    OpenSettings(edi);
    edi.Orders.LoadOrders(false);
    if (LoadFailed(edi, cli, "cannot read the order stack")) return;
    if (Options().xml) {
      std::cout << edi.Orders.docOrders.xml();
      return;
    }
    std::cout << "FILE\tGROUP\tPARTNERID\tPARTNER\tSENDIT\tPONUMBER\tVALIDSTATUS\tCATALOGS\n";
    std::vector<std::string> loose;
    for (xml::Node design : edi.Orders.docOrders.selectNodes("/Orders/Design")) {
      const std::string file = GetNodeText(design, "FileName");
      std::set<std::string> grouped;
      for (xml::Node g : design.selectNodes("ORDERGROUP")) {
        std::string names;
        for (xml::Node cid : g.selectNodes("CATALOGID")) {
          grouped.insert(cid.text());
          if (!names.empty()) names += ", ";
          names += GetNodeText(
              design, "Catalog[ID=" + xml::XPathLiteral(cid.text()) + "]/Identification/Name");
        }
        std::cout << file << "\t" << GetNodeText(g, "ID") << "\t" << GetNodeText(g, "PARTNERID")
                  << "\t" << GetNodeText(g, "PARTNERNAME") << "\t" << GetNodeText(g, "SENDIT")
                  << "\t" << GetNodeText(g, "PONUMBER") << "\t" << GetNodeText(g, "VALIDSTATUS")
                  << "\t" << names << "\n";
      }
      for (xml::Node c : design.selectNodes("Catalog")) {
        if (!grouped.count(GetNodeText(c, "ID"))) {
          loose.push_back(file + "\t" + GetNodeText(c, "Identification/Name"));
        }
      }
    }
    if (!loose.empty()) {
      std::cout << "\ncatalogs in no order group (no partner assigned):\nFILE\tCATALOG\n";
      for (const auto& line : loose) std::cout << line << "\n";
    }
    cli.exit_code = PrintRegistered(edi);
  });

  auto* set = stack->add_subcommand(
      "set",
      "Change an order group as typing in the order stack page does, then save the stack. "
      "ponumber, comment and contact set the PONUMBER, COMMENT and CONTACTNAME texts; sendit "
      "takes 1 or 0 (send with the next send, or leave in the stack)");
  set->add_option("GROUP", o.group, kGroupHelp)->required();
  set->add_option("FIELD", o.field, "ponumber, comment, contact or sendit")
      ->required()
      ->check(CLI::IsMember({"ponumber", "comment", "contact", "sendit"}));
  set->add_option("VALUE", o.value, "The new text (sendit: 1 or 0)")->required();
  set->callback([&cli] {
    cli.Prepare();
    const StackOptions& opt = Options();
    if (opt.field == "sendit" && opt.value != "1" && opt.value != "0") {
      cli.exit_code = Fail(kExitUsage, "sendit takes 1 or 0");
      return;
    }
    frmEDI edi;
    OpenSettings(edi);
    OrderStack& orders = edi.Orders;
    OrderStack::Transaction transaction(orders);
    orders.LoadOrders(false);
    if (LoadFailed(edi, cli, "cannot read the order stack")) return;
    const long id = orders.FindGroup(opt.group);
    if (id < 0) {
      cli.exit_code = Fail(kExitMissing, "no order group " + opt.group);
      return;
    }
    const OrderStack::GroupField field = opt.field == "ponumber"  ? OrderStack::GroupField::PONumber
                                         : opt.field == "comment" ? OrderStack::GroupField::Comment
                                         : opt.field == "contact"
                                             ? OrderStack::GroupField::ContactName
                                             : OrderStack::GroupField::SendIt;
    if (Err err = orders.SetGroupField(id, field, opt.value)) {
      cli.exit_code = Fail(kExitMissing, err.Description);
      return;
    }
    if (Err err = orders.SaveOrders()) cli.exit_code = SaveFailed(err);
  });

  auto* remove = stack->add_subcommand(
      "remove",
      "Remove an order group and its catalogs from its design, as the page's remove link does "
      "(asks first; --yes answers). A design left without grouped catalogs goes to the archive");
  remove->add_option("GROUP", o.group, kGroupHelp)->required();
  remove->callback([&cli] {
    cli.Prepare();
    frmEDI edi;
    OpenSettings(edi);
    OrderStack::Transaction transaction(edi.Orders);
    edi.Orders.LoadOrders(false);
    if (LoadFailed(edi, cli, "cannot read the order stack")) return;
    const long id = edi.Orders.FindGroup(Options().group);
    if (id < 0) {
      cli.exit_code = Fail(kExitMissing, "no order group " + Options().group);
      return;
    }
    bool removed = false;
    const Err err = edi.Orders.RemoveOrder(id, removed);
    if (!removed) {
      cli.exit_code = Fail(kExitAbort, "order group " + Options().group + " not removed");
      return;
    }
    if (err) {
      cli.exit_code = SaveFailed(err);
      return;
    }
    std::cout << "removed order group " << Options().group << "\n";
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupStack);

}  // namespace larkedi::cli
