#include "platform/ui/page_dialogs.h"

#include <cstdlib>

namespace larkedi::ui {
namespace {

std::vector<std::string> ButtonNames(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::OK:
      return {"ok"};
    case MsgButtons::OKCancel:
      return {"ok", "cancel"};
    case MsgButtons::YesNo:
      return {"yes", "no"};
    case MsgButtons::YesNoCancel:
      return {"yes", "no", "cancel"};
  }
  return {"ok"};
}

const char* IconName(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information:
      return "information";
    case MsgIcon::Exclamation:
      return "exclamation";
    case MsgIcon::Critical:
      return "critical";
    case MsgIcon::Question:
      return "question";
    case MsgIcon::None:
      break;
  }
  return "";
}

std::string StartFolder(const std::string& folder) {
  if (!folder.empty()) return folder;
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}

}  // namespace

MsgResult ClosedResult(MsgButtons buttons) {
  return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Cancel;
}

MsgResult PageDialogs::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                              const std::string& title) {
  return MsgBoxWithDefault(text, buttons, icon, title, 0);
}

MsgResult PageDialogs::MsgBoxWithDefault(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                         const std::string& title, int default_button) {
  DialogRequest request;
  request.kind = DialogRequest::Kind::MessageBox;
  request.title = title;
  request.text = text;
  request.icon = IconName(icon);
  request.buttons = ButtonNames(buttons);
  request.default_button =
      default_button >= 0 && default_button < static_cast<int>(request.buttons.size())
          ? default_button
          : 0;
  DialogAnswer answer = server_.RunDialog(request);
  if (answer.closed) return ClosedResult(buttons);
  if (answer.button == "ok") return MsgResult::OK;
  if (answer.button == "yes") return MsgResult::Yes;
  if (answer.button == "no") return MsgResult::No;
  return MsgResult::Cancel;
}

std::optional<std::string> PageDialogs::InputBox(const std::string& prompt,
                                                 const std::string& title,
                                                 const std::string& default_text) {
  DialogRequest request;
  request.kind = DialogRequest::Kind::InputBox;
  request.title = title;
  request.text = prompt;
  request.default_text = default_text;
  DialogAnswer answer = server_.RunDialog(request);
  if (answer.closed || answer.button != "ok") return std::nullopt;
  return answer.text;
}

std::optional<std::string> PageDialogs::PickFile(const std::string& title,
                                                 const std::string& filter,
                                                 const std::string& initial_folder) {
  DialogRequest request;
  request.kind = DialogRequest::Kind::File;
  request.title = title;
  request.filter = filter;
  request.folder = StartFolder(initial_folder);
  DialogAnswer answer = server_.RunDialog(request);
  if (answer.closed || answer.button != "ok") return std::nullopt;
  return answer.text;
}

std::optional<std::string> PageDialogs::PickFolder(const std::string& title,
                                                   const std::string& initial_folder) {
  DialogRequest request;
  request.kind = DialogRequest::Kind::Folder;
  request.title = title;
  request.folder = StartFolder(initial_folder);
  DialogAnswer answer = server_.RunDialog(request);
  if (answer.closed || answer.button != "ok") return std::nullopt;
  return answer.text;
}

CredentialsAnswer PageDialogs::AskCredentials(const CredentialsRequest& request) {
  const bool dealer = request.kind == CredentialsRequest::Kind::Dealer;
  DialogRequest page;
  page.kind = dealer ? DialogRequest::Kind::Dealer : DialogRequest::Kind::Password;
  page.title = request.title;
  page.text = request.prompt;
  page.default_text = dealer ? request.email : std::string();
  page.labels = {{"ok", request.ok_label}, {"cancel", request.cancel_label}};
  if (dealer) {
    page.labels["frame"] = request.frame_caption;
    page.labels["email"] = request.email_label;
    page.labels["password"] = request.password_label;
    page.labels["forgot"] = request.forgot_label;
    page.labels["link"] = request.link_text;
    page.labels["tip"] = request.link_tip;
    page.on_link = request.open_link;
  }
  DialogAnswer answer = server_.RunDialog(page);
  CredentialsAnswer result;
  result.email = request.email;
  if (answer.closed || answer.button != "ok") return result;
  result.cancelled = false;
  if (dealer) result.email = answer.text;
  result.password = answer.secret;
  return result;
}

}  // namespace larkedi::ui
