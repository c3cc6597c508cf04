// Every message box, input box and picker the module shows goes through Dialogs, so the
// same operations run in the window, on the console and in tests.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace larkedi {

enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Exclamation, Critical, Question };
enum class MsgResult { OK, Cancel, Yes, No };

/// A credentials dialog: the password a dealer uses with one partner, or the e-mail address
/// and password of the dealer's account at the online dealer service. Every text is given
/// by the caller (language resources); none of them is checked.
struct CredentialsRequest {
  enum class Kind { Password, Dealer };
  Kind kind = Kind::Password;
  std::string title;   // the window caption
  std::string prompt;  // password: the prompt; dealer: the instruction note
  std::string ok_label = "OK";
  std::string cancel_label = "Cancel";
  // The dealer dialog's texts and its e-mail address to start with.
  std::string frame_caption;
  std::string email_label;
  std::string password_label;
  std::string forgot_label;
  std::string link_text;
  std::string link_tip;
  std::string email;
  /// The link label's action (opening the service's home page); the dialog stays open.
  std::function<void()> open_link;
  /// What a console without a terminal names as missing, with the option that gives it
  /// ("the password of partner ACM (--password ACM=PASSWORD)").
  std::string missing;
};

/// How a credentials dialog ended. Cancel (or closing the dialog) leaves the e-mail
/// address as it was given and the password empty.
struct CredentialsAnswer {
  bool cancelled = true;
  std::string email;
  std::string password;  // as typed, blanks kept
};

/// What a dialog showed, as tests and logs see it.
struct DialogRecord {
  std::string kind;  // "msgbox", "inputbox", "file", "folder"
  std::string title;
  std::string text;
  MsgButtons buttons = MsgButtons::OK;
  MsgIcon icon = MsgIcon::None;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  /// Shows a message and returns the button chosen (OK for an OK-only box).
  virtual MsgResult MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                           const std::string& title) = 0;
  /// The same with the button (0 = first) that Enter chooses. Dialogs that have no
  /// default button show an ordinary message box.
  virtual MsgResult MsgBoxWithDefault(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                      const std::string& title, int default_button) {
    (void)default_button;
    return MsgBox(text, buttons, icon, title);
  }
  /// Asks for a text. Returns nullopt when the user cancels.
  virtual std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                              const std::string& default_text) = 0;
  /// Asks for an existing file. `filter` is "Description|*.ext|...". nullopt on cancel.
  virtual std::optional<std::string> PickFile(const std::string& title, const std::string& filter,
                                              const std::string& initial_folder) = 0;
  /// Asks for a folder. nullopt on cancel.
  virtual std::optional<std::string> PickFolder(const std::string& title,
                                                const std::string& initial_folder) = 0;
  /// Asks for credentials. Dialogs without a credentials form of their own ask through
  /// input boxes (the e-mail address, then the password).
  virtual CredentialsAnswer AskCredentials(const CredentialsRequest& request);
};

/// The dialogs in force for this process (the console ones until something installs others).
Dialogs& CurrentDialogs();
/// Installs `dialogs` (not owned; must outlive its use) and returns the previous ones.
/// nullptr restores the console dialogs.
Dialogs* SetDialogs(Dialogs* dialogs);

/// Console dialogs: messages go to standard error; questions are answered by a policy,
/// as the command line's --yes / --no options set it, or read from standard input.
class ConsoleDialogs final : public Dialogs {
 public:
  enum class Answer { Ask, Yes, No };
  explicit ConsoleDialogs(Answer policy = Answer::No) : policy_(policy) {}
  void set_policy(Answer policy) { policy_ = policy; }

  MsgResult MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                   const std::string& title) override;
  std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                      const std::string& default_text) override;
  std::optional<std::string> PickFile(const std::string& title, const std::string& filter,
                                      const std::string& initial_folder) override;
  std::optional<std::string> PickFolder(const std::string& title,
                                        const std::string& initial_folder) override;
  /// Reads the answers on the terminal, the password without echo. Without a terminal the
  /// dialog counts as cancelled and what it asked for is listed in MissingCredentials().
  CredentialsAnswer AskCredentials(const CredentialsRequest& request) override;

  /// What credentials dialogs asked for without a terminal to ask on, in order.
  const std::vector<std::string>& MissingCredentials() const { return missing_credentials_; }

  /// The first question that had to be answered without a terminal and without a policy
  /// (it was answered No/Cancel, the answer that changes nothing), with its options; the
  /// command line turns it into an error.
  const std::optional<std::string>& Unanswered() const { return unanswered_; }

 private:
  std::optional<std::string> ReadLine();
  std::optional<std::string> ReadSecretLine();
  Answer policy_;
  std::optional<std::string> unanswered_;
  std::vector<std::string> missing_credentials_;
};

/// Installs dialogs for the life of the object (tests and commands).
class ScopedDialogs {
 public:
  explicit ScopedDialogs(Dialogs* dialogs) : previous_(SetDialogs(dialogs)) {}
  ~ScopedDialogs() { SetDialogs(previous_); }
  ScopedDialogs(const ScopedDialogs&) = delete;
  ScopedDialogs& operator=(const ScopedDialogs&) = delete;

 private:
  Dialogs* previous_;
};

}  // namespace larkedi
