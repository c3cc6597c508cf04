#include "testing/scripted_dialogs.h"

namespace larkedi {
namespace {

MsgResult FirstButton(MsgButtons buttons) {
  return (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) ? MsgResult::Yes
                                                                              : MsgResult::OK;
}

}  // namespace

MsgResult ScriptedDialogs::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                  const std::string& title) {
  shown.push_back({"msgbox", title, text, buttons, icon});
  if (msgbox_answers.empty()) return FirstButton(buttons);
  MsgResult r = msgbox_answers.front();
  msgbox_answers.pop_front();
  return r;
}

std::optional<std::string> ScriptedDialogs::InputBox(const std::string& prompt,
                                                     const std::string& title, const std::string&) {
  shown.push_back({"inputbox", title, prompt, MsgButtons::OKCancel, MsgIcon::None});
  if (text_answers.empty()) return std::nullopt;
  auto r = text_answers.front();
  text_answers.pop_front();
  return r;
}

CredentialsAnswer ScriptedDialogs::AskCredentials(const CredentialsRequest& request) {
  credentials_asked.push_back(request);
  if (credential_answers.empty()) return Dialogs::AskCredentials(request);
  CredentialsAnswer r = credential_answers.front();
  credential_answers.pop_front();
  return r;
}

std::optional<std::string> ScriptedDialogs::PickFile(const std::string& title, const std::string&,
                                                     const std::string&) {
  shown.push_back({"file", title, "", MsgButtons::OKCancel, MsgIcon::None});
  if (text_answers.empty()) return std::nullopt;
  auto r = text_answers.front();
  text_answers.pop_front();
  return r;
}

std::optional<std::string> ScriptedDialogs::PickFolder(const std::string& title,
                                                       const std::string&) {
  shown.push_back({"folder", title, "", MsgButtons::OKCancel, MsgIcon::None});
  if (text_answers.empty()) return std::nullopt;
  auto r = text_answers.front();
  text_answers.pop_front();
  return r;
}

int ScriptedDialogs::CountShown(const std::string& fragment) const {
  int n = 0;
  for (const auto& r : shown) {
    if (r.kind == "msgbox" && r.text.find(fragment) != std::string::npos) ++n;
  }
  return n;
}

}  // namespace larkedi
