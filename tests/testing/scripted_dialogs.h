// Dialogs for tests: they record what the module showed and answer from queues.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/dialogs.h"

namespace larkedi {

/// Test dialogs: record everything shown and answer from queues. An empty queue answers
/// the first button (OK or Yes) and cancels input and pickers.
class ScriptedDialogs final : public Dialogs {
 public:
  std::deque<MsgResult> msgbox_answers;
  std::deque<std::optional<std::string>> text_answers;
  std::vector<DialogRecord> shown;
  /// Answers of credentials dialogs; when empty they ask through input boxes (the e-mail
  /// address, then the password, from text_answers).
  std::deque<CredentialsAnswer> credential_answers;
  /// The credentials dialogs shown, as they were asked.
  std::vector<CredentialsRequest> credentials_asked;

  MsgResult MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                   const std::string& title) override;
  std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                      const std::string& default_text) override;
  std::optional<std::string> PickFile(const std::string& title, const std::string& filter,
                                      const std::string& initial_folder) override;
  std::optional<std::string> PickFolder(const std::string& title,
                                        const std::string& initial_folder) override;

  CredentialsAnswer AskCredentials(const CredentialsRequest& request) override;

  /// Number of message boxes whose text contains `fragment`.
  int CountShown(const std::string& fragment) const;
};

}  // namespace larkedi
