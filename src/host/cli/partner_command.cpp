// partner: asks the partner web service what the module would ask it, for support staff
// checking a dealer's set-up and for scripted checks against other SOAP services.
#include <iostream>
#include <string>

#include "host/cli/command.h"
#include "settings/partner_service.h"
#include "support/module.h"

namespace larkedi::cli {
namespace {

struct PartnerOptions {
  std::string endpoint;
  std::string ns;
  double timeout_seconds = 0;
  std::string code;
  std::string email;
  std::string password;
};

PartnerOptions& Options() {
  static PartnerOptions options;
  return options;
}

/// Puts the command's overrides on top of the configured values.
void ApplyOverrides() {
  PartnerServiceConfig base = GetPartnerServiceConfig();
  const PartnerOptions& o = Options();
  if (!o.endpoint.empty()) {
    base.Endpoint = o.endpoint;
    base.DevelopmentEndpoint = o.endpoint;
  }
  if (!o.ns.empty()) base.Namespace = o.ns;
  if (o.timeout_seconds > 0) {
    base.TotalTimeoutMs = static_cast<long>(o.timeout_seconds * 1000);
    if (base.ConnectTimeoutMs > base.TotalTimeoutMs) base.ConnectTimeoutMs = base.TotalTimeoutMs;
  }
  SetPartnerServiceConfigProvider([base] { return base; });
}

void AddCommonOptions(CLI::App* cmd) {
  PartnerOptions& o = Options();
  cmd->add_option("--endpoint", o.endpoint,
                  "Service address to call instead of the configured one (both endpoints)");
  cmd->add_option("--namespace", o.ns, "Service namespace URI instead of the configured one");
  cmd->add_option("--timeout", o.timeout_seconds, "Total time-out in seconds (default 20)")
      ->check(CLI::PositiveNumber);
}

const char* DealerStatusMeaning(int status) {
  switch (status) {
    case kDealerNoAnswer:
      return "no answer from the partner web service";
    case kDealerNoAccount:
      return "the dealer has no online account";
    case kDealerNeedsSupport:
      return "the account does not include the free EDI service";
    case kDealerAccountGood:
      return "the account is valid";
    case kDealerBadPassword:
      return "wrong password";
    case kDealerNotInErp:
      return "the dealer is not known to the maker's ERP";
    default:
      return "unexpected status from the partner web service";
  }
}

void SetupPartner(CLI::App& app, Cli& cli) {
  auto* partner = app.add_subcommand(
      "partner",
      "Ask the partner web service (support): free EDI manufacturers and dealer accounts");
  partner->group("Support");
  partner->require_subcommand(1);
  PartnerOptions& o = Options();

  auto* list = partner->add_subcommand(
      "manufacturers", "List the manufacturers that take free EDI orders (ID, tab, name)");
  AddCommonOptions(list);
  list->callback([&cli] {
    cli.Prepare();
    ApplyOverrides();
    std::cerr << "asking " << PartnerServiceEndpoint(GetPartnerServiceConfig()) << "\n";
    xml::Node result;
    if (!GetManufInfo(result)) {
      cli.exit_code = Fail(kExitMissing, "the partner web service gave no manufacturer list");
      return;
    }
    for (const FreeEdiManufacturer& m : ReadManufList(result)) {
      std::cout << m.ID << "\t" << m.Name << "\n";
    }
  });

  auto* active = partner->add_subcommand(
      "is-active", "Tell whether manufacturer CODE takes free EDI orders now (prints true/false)");
  active->add_option("CODE", o.code, "Manufacturer code")->required();
  AddCommonOptions(active);
  active->callback([&cli] {
    cli.Prepare();
    ApplyOverrides();
    bool yes = IsFreeEdiPartnerActive(Options().code);
    std::cout << (yes ? "true" : "false") << "\n";
  });

  auto* dealer = partner->add_subcommand(
      "dealer-status",
      "Check a dealer's online account: prints the status number, its meaning and, for a valid "
      "account, the dealer's profile");
  dealer->add_option("EMAIL", o.email, "Dealer's e-mail address")->required();
  dealer
      ->add_option("PASSWORD", o.password,
                   "Dealer's account password; \"-\" reads it from the first line of standard "
                   "input (keeps it out of the process list)")
      ->required();
  AddCommonOptions(dealer);
  dealer->callback([&cli] {
    cli.Prepare();
    ApplyOverrides();
    std::string password = Options().password;
    if (password == "-" && !std::getline(std::cin, password)) password.clear();
    if (!password.empty() && password.back() == '\r') password.pop_back();
    xml::Node profile;
    int status = CheckDealerStatus(Options().email, password, profile);
    std::cout << "status: " << status << "\n"
              << "meaning: " << DealerStatusMeaning(status) << "\n";
    if (!profile.isNull()) std::cout << "profile: " << profile.xml() << "\n";
    if (status == kDealerNoAnswer) cli.exit_code = kExitMissing;
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupPartner);

}  // namespace larkedi::cli
