// The module's dialogs shown in the window's page. Each call waits for the answer in a
// nested loop on the user-interface thread, so the operation that asked keeps its
// synchronous flow. A dialog the user closes, or whose page reloads or goes away, is
// answered Cancel (No for a Yes/No question), never OK.
#pragma once

#include "platform/ui/dialogs.h"
#include "platform/ui/window_server.h"

namespace larkedi::ui {

class PageDialogs final : public Dialogs {
 public:
  explicit PageDialogs(WindowServer& server) : server_(server) {}

  MsgResult MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                   const std::string& title) override;
  MsgResult MsgBoxWithDefault(const std::string& text, MsgButtons buttons, MsgIcon icon,
                              const std::string& title, int default_button) override;
  std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                      const std::string& default_text) override;
  std::optional<std::string> PickFile(const std::string& title, const std::string& filter,
                                      const std::string& initial_folder) override;
  std::optional<std::string> PickFolder(const std::string& title,
                                        const std::string& initial_folder) override;
  /// The password or dealer dialog in the page (password fields hidden as typed).
  CredentialsAnswer AskCredentials(const CredentialsRequest& request) override;

 private:
  WindowServer& server_;
};

/// The button a dialog ends with when it is closed without a choice.
MsgResult ClosedResult(MsgButtons buttons);

}  // namespace larkedi::ui
