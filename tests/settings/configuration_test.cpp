// The configuration the module reads from the registry store: the partner web service's
// addresses and the programs that serve automation classes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/automation/automation.h"
#include "platform/registry/registry_store.h"
#include "settings/partner_service.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

class RegistryConfiguration : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LARKEDI_REGISTRY_DIR", module_.path("registry").c_str(), 1);
    ::unsetenv("LARKEDI_PARTNER_ENDPOINT");
    ::unsetenv("LARKEDI_PARTNER_DEV_ENDPOINT");
    ::unsetenv("LARKEDI_PARTNER_NAMESPACE");
  }
  void TearDown() override { ::unsetenv("LARKEDI_REGISTRY_DIR"); }
  testing::TempModule module_;
};

TEST_F(RegistryConfiguration, PartnerServiceAddressesComeFromTheRegistry) {
  PartnerServiceConfig defaults;
  PartnerServiceConfig unset = GetPartnerServiceConfig();
  EXPECT_EQ(unset.Endpoint, defaults.Endpoint);
  EXPECT_NE(unset.Endpoint.find(".invalid/"), std::string::npos);

  const std::string key = "HKEY_CURRENT_USER\\Software\\Orca Technologies\\EDI\\PartnerService";
  ASSERT_TRUE(
      registry::RegistrySetString(key, "Endpoint", "https://prod.example/wsManufInfo.asmx"));
  ASSERT_TRUE(registry::RegistrySetString(key, "DevelopmentEndpoint", "  "));
  ASSERT_TRUE(registry::RegistrySetString(key, "Namespace", "urn:partners/"));
  PartnerServiceConfig config = GetPartnerServiceConfig();
  EXPECT_EQ(config.Endpoint, "https://prod.example/wsManufInfo.asmx");
  EXPECT_EQ(config.DevelopmentEndpoint, defaults.DevelopmentEndpoint);  // blank keeps default
  EXPECT_EQ(config.Namespace, "urn:partners/");
  // The environment still wins, for tests and support.
  ::setenv("LARKEDI_PARTNER_ENDPOINT", "http://127.0.0.1:9/wsManufInfo.asmx", 1);
  EXPECT_EQ(GetPartnerServiceConfig().Endpoint, "http://127.0.0.1:9/wsManufInfo.asmx");
  ::unsetenv("LARKEDI_PARTNER_ENDPOINT");
}

TEST_F(RegistryConfiguration, AutomationClassesAreFoundThroughLocalServer32) {
  Err err;
  EXPECT_EQ(automation::CreateObject("Lakeside.Validate", &err), nullptr);
  EXPECT_EQ(err.Number, 429);

  const std::string server = std::string(LARKEDI_TOOLS_OUT) + "/larkedi-fake-validation";
  ASSERT_TRUE(registry::RegistrySetString("HKCR\\Lakeside.Validate\\LocalServer32", "", server));
  ::setenv("FAKE_MODULE_MESSAGE", "door style missing", 1);
  std::shared_ptr<automation::AutomationObject> module =
      automation::CreateObject("lakeside.validate", &err);
  ASSERT_NE(module, nullptr) << err.Description;
  std::vector<automation::Variant> args{automation::Variant(std::string("<Design/>"))};
  automation::Variant result;
  Err call = module->Call("ValidateCatalog", args, &result);
  EXPECT_EQ(call.Number, 0) << call.Description;
  EXPECT_EQ(result.AsString(), "door style missing");
  ::unsetenv("FAKE_MODULE_MESSAGE");

  // An empty registration is no registration.
  ASSERT_TRUE(registry::RegistrySetString("HKCR\\Empty.Class\\LocalServer32", "", " "));
  EXPECT_EQ(automation::CreateObject("Empty.Class", &err), nullptr);
}

}  // namespace
}  // namespace larkedi
