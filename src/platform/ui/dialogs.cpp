#include "platform/ui/dialogs.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace larkedi {
namespace {

ConsoleDialogs& DefaultConsole() {
  static ConsoleDialogs console;
  return console;
}

Dialogs* g_dialogs = nullptr;

const char* IconWord(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information:
      return "Information";
    case MsgIcon::Exclamation:
      return "Warning";
    case MsgIcon::Critical:
      return "Error";
    case MsgIcon::Question:
      return "Question";
    default:
      return "Message";
  }
}

}  // namespace

CredentialsAnswer Dialogs::AskCredentials(const CredentialsRequest& request) {
  CredentialsAnswer answer;
  answer.email = request.email;
  std::string email = request.email;
  if (request.kind == CredentialsRequest::Kind::Dealer) {
    std::optional<std::string> typed =
        InputBox(request.prompt + "\n" + request.email_label, request.title, request.email);
    if (!typed) return answer;
    email = *typed;
  }
  std::optional<std::string> password = InputBox(
      request.kind == CredentialsRequest::Kind::Dealer ? request.password_label : request.prompt,
      request.title, "");
  if (!password) return answer;
  answer.cancelled = false;
  answer.email = email;
  answer.password = *password;
  return answer;
}

Dialogs& CurrentDialogs() {
  return g_dialogs ? *g_dialogs : DefaultConsole();
}

Dialogs* SetDialogs(Dialogs* dialogs) {
  Dialogs* previous = g_dialogs ? g_dialogs : &DefaultConsole();
  g_dialogs = (dialogs == &DefaultConsole()) ? nullptr : dialogs;
  return previous;
}

std::optional<std::string> ConsoleDialogs::ReadLine() {
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

MsgResult ConsoleDialogs::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                 const std::string& title) {
  std::cerr << IconWord(icon);
  if (!title.empty()) std::cerr << " (" << title << ")";
  std::cerr << ": " << text << "\n";
  if (buttons == MsgButtons::OK) return MsgResult::OK;
  const bool yes_no = buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel;
  if (policy_ == Answer::Yes) {
    std::cerr << "  -> " << (yes_no ? "Yes" : "OK") << " (--yes)\n";
    return yes_no ? MsgResult::Yes : MsgResult::OK;
  }
  if (policy_ == Answer::No || !::isatty(STDIN_FILENO)) {
    std::cerr << "  -> " << (yes_no ? "No" : "Cancel")
              << (policy_ == Answer::No ? " (--no)" : " (no terminal to ask)") << "\n";
    if (policy_ == Answer::Ask && !unanswered_) {
      unanswered_ = "\"" + text + "\" (" + (yes_no ? "Yes or No" : "OK or Cancel") + ")";
    }
    return yes_no ? MsgResult::No : MsgResult::Cancel;
  }
  std::cerr << (yes_no ? "  [y/n] " : "  [ok/cancel] ") << std::flush;
  std::optional<std::string> line = ReadLine();
  std::string a = line ? *line : "";
  bool first = !a.empty() && (a[0] == 'y' || a[0] == 'Y' || a[0] == 'o' || a[0] == 'O');
  if (yes_no) return first ? MsgResult::Yes : MsgResult::No;
  return first ? MsgResult::OK : MsgResult::Cancel;
}

std::optional<std::string> ConsoleDialogs::InputBox(const std::string& prompt,
                                                    const std::string& title,
                                                    const std::string& default_text) {
  std::cerr << (title.empty() ? "" : title + ": ") << prompt;
  if (policy_ != Answer::Ask || !::isatty(STDIN_FILENO)) {
    std::cerr << " -> " << default_text << "\n";
    return default_text;
  }
  std::cerr << " [" << default_text << "] " << std::flush;
  std::optional<std::string> line = ReadLine();
  if (!line) return std::nullopt;
  return line->empty() ? default_text : *line;
}

std::optional<std::string> ConsoleDialogs::ReadSecretLine() {
  termios saved{};
  const bool echo_off = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (echo_off) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::optional<std::string> line = ReadLine();
  if (echo_off) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  return line;
}

CredentialsAnswer ConsoleDialogs::AskCredentials(const CredentialsRequest& request) {
  CredentialsAnswer answer;
  answer.email = request.email;
  if (!::isatty(STDIN_FILENO)) {
    std::cerr << (request.title.empty() ? "" : request.title + ": ") << request.prompt
              << " -> Cancel (no terminal to ask)\n";
    missing_credentials_.push_back(request.missing.empty() ? request.prompt : request.missing);
    return answer;
  }
  std::string email = request.email;
  if (!request.title.empty()) std::cerr << request.title << "\n";
  std::cerr << request.prompt << "\n";
  if (request.kind == CredentialsRequest::Kind::Dealer) {
    std::cerr << request.email_label;
    if (!request.email.empty()) std::cerr << " [" << request.email << "]";
    std::cerr << ": " << std::flush;
    std::optional<std::string> line = ReadLine();
    if (!line) return answer;
    if (!line->empty()) email = *line;
    std::cerr << request.password_label << ": " << std::flush;
  } else {
    std::cerr << "> " << std::flush;
  }
  std::optional<std::string> password = ReadSecretLine();
  if (!password) return answer;
  answer.cancelled = false;
  answer.email = email;
  answer.password = *password;
  return answer;
}

std::optional<std::string> ConsoleDialogs::PickFile(const std::string& title, const std::string&,
                                                    const std::string&) {
  if (policy_ != Answer::Ask || !::isatty(STDIN_FILENO)) return std::nullopt;
  std::cerr << title << " (file path, empty to cancel): " << std::flush;
  std::optional<std::string> line = ReadLine();
  if (!line || line->empty()) return std::nullopt;
  return line;
}

std::optional<std::string> ConsoleDialogs::PickFolder(const std::string& title,
                                                      const std::string&) {
  if (policy_ != Answer::Ask || !::isatty(STDIN_FILENO)) return std::nullopt;
  std::cerr << title << " (folder path, empty to cancel): " << std::flush;
  std::optional<std::string> line = ReadLine();
  if (!line || line->empty()) return std::nullopt;
  return line;
}

}  // namespace larkedi
