#include "host/order_attachments.h"

#include <optional>

#include "platform/bounded_read.h"
#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"

namespace larkedi {

namespace {

// A resource text naming `path`; the file is named even when the language file lacks
// the text, so the dealer always learns which file it was.
std::string AboutFile(const char* key, const std::string& path, const std::string& fallback) {
  std::string text = ResParam(key, {path});
  return text.find(path) == std::string::npos ? fallback : text;
}

}  // namespace

std::string OrderAttachments::Unusable(const std::string& path) {
  Env* env = Env::Default();
  if (!env->Exists(path)) {
    return AboutFile("MSG FileDoesNotExistParam", path, "The file " + path + " does not exist.");
  }
  const std::string opening =
      AboutFile("MSG ErrorOpeningParam", path, "Error opening " + path + ".");
  // Folders, devices and pipes have no content to send (and a pipe would block the read).
  if (env->FileSize(path) < 0) return opening + "\n" + path + ": not a file";
  // Opening it is the test that counts: reading stops at once (the limit is 0 bytes).
  std::string reason, nothing;
  ReadFailure why = ReadFailure::kNone;
  if (!ReadFileAtMost(path, 0, &nothing, &reason, &why) && why != ReadFailure::kTooLarge) {
    return opening + "\n" + reason;
  }
  return {};
}

Err OrderAttachments::DoAttachFile(long id) {
  LogScope log_scope("DoAttachFile()");
  if (orders_.FindGroup(std::to_string(id)) < 0) {
    return Err::Raise(kErrGeneral, "DoAttachFile", "no order group " + std::to_string(id));
  }
  const std::optional<std::string> chosen = CurrentDialogs().PickFile(
      Res("LBL AttachFile"), Res("LBL AllFiles") + " *.*|*", last_folder_);
  if (!chosen || chosen->empty()) return {};
  const std::string& path = *chosen;
  if (std::string problem = Unusable(path); !problem.empty()) {
    WriteLog("DoAttachFile: " + problem);
    CurrentDialogs().MsgBox(problem, MsgButtons::OK, MsgIcon::Exclamation, ModuleTitle());
    return {};
  }
  if (Err err = orders_.AddAttachment(id, path)) {
    // Only a name a document cannot hold comes here (the group was found above).
    CurrentDialogs().MsgBox(AboutFile("MSG ErrorOpeningParam", err.Description, err.Description),
                            MsgButtons::OK, MsgIcon::Exclamation, ModuleTitle());
    return {};
  }
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos) last_folder_ = path.substr(0, slash == 0 ? 1 : slash);
  if (Err err = orders_.SaveOrders()) return err;
  if (redraw_) redraw_();
  return {};
}

Err OrderAttachments::DeleteAttachFile(long id, const std::string& path) {
  LogScope log_scope("DeleteAttachFile()");
  bool removed = false;
  if (Err err = orders_.RemoveAttachment(id, path, removed)) return err;
  if (!removed) WriteLog("DeleteAttachFile: no attached file " + path);
  if (Err err = orders_.SaveOrders()) return err;
  if (redraw_) redraw_();
  return {};
}

}  // namespace larkedi
