#include "orders/stack_files.h"

#include "platform/env.h"
#include "platform/text_encoding.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {
constexpr const char* kStage = "~stage";
}

bool IsXmeName(std::string_view name) {
  if (name.size() < 4) return false;
  return FoldAscii(name.substr(name.size() - 4)) == ".XME";
}

std::string FoldAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::vector<std::string> ListXmeFiles(const std::string& folder) {
  std::vector<std::string> names, out;
  Env* env = Env::Default();
  if (!env->ListDirectory(folder, &names, nullptr)) return out;
  for (auto& n : names) {
    if (IsXmeName(n) && !env->IsDirectory(JoinPath(folder, n))) out.push_back(std::move(n));
  }
  return out;
}

bool StoreDesignFile(CKUtil& ck, const std::string& folder, const std::string& name,
                     std::string text, Err& err) {
  Env* env = Env::Default();
  if (!IsPlainFileName(name)) {
    err = Err::Raise(kErrGeneral, "StoreDesignFile", "Bad file name: " + name);
    return false;
  }
  const std::string stage = JoinPath(folder, kStage);
  std::string reason;
  if (!env->CreateDirectories(stage, &reason)) {
    err = Err::Raise(75, "StoreDesignFile", reason);
    return false;
  }
  const std::string staged = JoinPath(stage, name);
  if (!SaveXmlText(text, staged)) {
    err = Err::Raise(75, "SaveXmlText", "Cannot write " + staged);
    return false;
  }
  Err enc;
  ck.EnCryptFile(staged, &enc);
  if (enc) {
    err = enc;
    env->RemoveFile(staged, nullptr);
    return false;
  }
  if (!env->RenameFile(staged, JoinPath(folder, name), &reason)) {
    err = Err::Raise(75, "StoreDesignFile", reason);
    env->RemoveFile(staged, nullptr);
    return false;
  }
  return true;
}

std::string DesignFileText(std::string bytes) {
  if (bytes.rfind("<?xml", 0) != 0) return bytes;
  const auto end = bytes.find("?>");
  if (end == std::string::npos) return bytes;
  const std::string decl = bytes.substr(0, end);
  std::string encoding;
  const auto at = decl.find("encoding");
  if (at != std::string::npos) {
    const auto quote = decl.find_first_of("\"'", at);
    if (quote != std::string::npos) {
      const auto close = decl.find(decl[quote], quote + 1);
      if (close != std::string::npos) encoding = decl.substr(quote + 1, close - quote - 1);
    }
  }
  bytes.erase(0, end + 2);
  std::string utf8;
  if (!encoding.empty() && !EncodingIsUtf8(encoding) && ConvertToUtf8(bytes, encoding, &utf8)) {
    return utf8;
  }
  return bytes;
}

void ClearStage(const std::string& folder) {
  Env* env = Env::Default();
  const std::string stage = JoinPath(folder, kStage);
  std::vector<std::string> names;
  if (!env->ListDirectory(stage, &names, nullptr)) return;
  for (const auto& n : names) env->RemoveFile(JoinPath(stage, n), nullptr);
}

}  // namespace larkedi
