// Fuzz target: a settings file loaded as the window and the commands load it (FillSettings),
// then indexed as a stack load indexes it. Whatever the file holds, the settings in memory
// are complete; a file that does not parse is left exactly as it was; a file that parsed is
// saved (when completed) as a file that loads again undamaged.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "platform/xml/xml.h"
#include "settings/catalog_index.h"
#include "settings/settings_document.h"

namespace {

using namespace larkedi;

// The load reports a damaged file in a message box: answered at once, shown nowhere.
class SilentDialogs final : public Dialogs {
 public:
  MsgResult MsgBox(const std::string&, MsgButtons, MsgIcon, const std::string&) override {
    return MsgResult::OK;
  }
  std::optional<std::string> InputBox(const std::string&, const std::string&,
                                      const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> PickFile(const std::string&, const std::string&,
                                      const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> PickFolder(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

bool Complete(const SettingsDocument& settings) {
  for (const char* element : {"SPOOLPATH", "ARCHIVEPATH", "TRANSFORMATION", "SORTORDER"}) {
    if (settings.docSettings.selectSingleNode(std::string("SETTINGS/") + element).isNull()) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  (void)fuzz::ScratchDir();
  static SilentDialogs silent;
  static ScopedDialogs scoped(&silent);
  Env* env = Env::Default();
  const std::string path = SettingsPath();
  env->RemoveFile(path + ".bad", nullptr);
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (!env->WriteFileAtomic(path, bytes, nullptr)) return 0;

  SettingsDocument settings;
  settings.bWebServiceDone = true;  // the partner web service is not asked
  const Err err = settings.FillSettings();
  if (!Complete(settings)) __builtin_trap();
  if (settings.Damaged()) {
    std::string now;
    if (!env->ReadFile(path, &now, nullptr) || now != bytes) __builtin_trap();
    return 0;
  }
  if (err) __builtin_trap();  // a file that parsed is completed and saved without fail

  // Every catalog code of the settings finds a catalog; every partner ID a partner.
  CatalogIndex index(settings.docSettings.selectSingleNode("SETTINGS"));
  for (xml::Node code : settings.docSettings.selectNodes("SETTINGS/CATALOG/CODE")) {
    if (index.Catalog(code.text()).isNull() && !code.text().empty()) __builtin_trap();
  }
  for (xml::Node id : settings.docSettings.selectNodes("SETTINGS/PARTNER/ID")) {
    if (index.Partner(id.text()).isNull()) __builtin_trap();
  }

  SettingsDocument again;
  again.bWebServiceDone = true;
  if (again.FillSettings() || again.Damaged() || !Complete(again)) __builtin_trap();
  return 0;
}
