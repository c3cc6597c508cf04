// A private module folder and registry folder for each registry test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "platform/env.h"
#include "platform/registry/registry_store.h"
#include "testing/failing_env.h"
#include "testing/temp_module.h"

namespace larkedi::testing {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = std::make_unique<TempModule>(false);
    dir_ = module_->path("registry");
    ::setenv("LARKEDI_REGISTRY_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("LARKEDI_REGISTRY_DIR");
    module_.reset();
  }

  registry::Store store() const { return registry::Store(dir_); }
  std::string HiveFile(long hive) const { return store().HivePath(hive); }

  std::unique_ptr<TempModule> module_;
  std::string dir_;
};

}  // namespace larkedi::testing
