#include "host/startup.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <mutex>

#include "platform/env.h"
#include "platform/http_client.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

std::string TagName() {
  return ModuleName() + "_APPLICATION";
}

bool DefaultRaiser(const WindowTag& tag) {
  HttpRequest request;
  request.method = "POST";
  request.url = tag.address + "/api/raise";
  request.headers = {{"X-LarkEDI-Secret", tag.secret}};
  request.connect_timeout_ms = 2000;
  request.total_timeout_ms = 4000;
  HttpResponse response = HttpSend(request);
  return response.completed && response.status >= 200 && response.status < 300;
}

WindowRaiser& Raiser() {
  static WindowRaiser raiser = DefaultRaiser;
  return raiser;
}

std::string NowText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[64];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
  return buf;
}

}  // namespace

void SetWindowRaiser(WindowRaiser raiser) {
  Raiser() = raiser ? std::move(raiser) : DefaultRaiser;
}

std::string GetModulePath() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  buf[n] = '\0';
  return buf;
}

std::string LocaleLanguage() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (!v || !*v) continue;
    std::string locale = v;
    std::size_t end = locale.find_first_of("_.@");
    std::string lang = locale.substr(0, end);
    lang = LowerAscii(lang);
    if (lang == "c" || lang == "posix") return {};
    return lang;
  }
  return {};
}

bool WeAreAlone(const std::string& mutex_name) {
  return AcquireInstanceLock(mutex_name);
}

bool TagWindow(const std::string& address, const std::string& secret) {
  WindowTag tag;
  tag.address = address;
  tag.secret = secret;
  return WriteWindowTag(TagName(), tag);
}

void UntagWindow() {
  RemoveWindowTag(TagName());
}

bool BringOtherWindowForward() {
  std::optional<WindowTag> other = ReadWindowTag(TagName());
  // A tag whose window does not answer (its process is ending) is no window.
  const bool raised = other && Raiser()(*other);
  Module().bAnotherInstance = raised;
  return raised;
}

void RunStartupSteps(bool headless) {
  ModuleValues& m = Module();
  const std::string name = ModuleName();

  // 1-3: logging switch, fresh log.
  m.LogEnabled = Env::Default()->Exists(ModulePath(name + ".debug"));
  WriteLog("CLEAR");
  if (m.LogEnabled) WriteLog("Starting Log at " + NowText());

  // 4-6: single instance.
  if (WeAreAlone(name + "_APPLICATION_MUTEX")) {
    m.bAnotherInstance = false;
    WriteLog("WeAreAlone=True");
  } else {
    m.bAnotherInstance = true;
    WriteLog("WeAreAlone=False");
    if (!headless) {
      if (BringOtherWindowForward()) return;
    } else if (!ReadWindowTag(TagName())) {
      m.bAnotherInstance = false;
    }
  }

  // 7-8: language folder. A resource file directly in html/ is the installed language;
  // without one, the user's locale picks the sub-folder when it has a resource file.
  m.LanguageCode = "en";
  m.LanguageFolder = "en/";
  const std::string html = ModulePath("html");
  const std::string common = ModulePath("../common/resources");
  if (FindFileNoCase(html, "LkEDI.resx").empty()) {
    std::string lang = LocaleLanguage();
    if (!lang.empty() && (!FindFileNoCase(JoinPath(html, lang), "LkEDI.resx").empty() ||
                          !FindFileNoCase(JoinPath(common, lang), "LkEDI.resx").empty())) {
      m.LanguageFolder = lang + "/";
    }
  }

  // 9-12: the resource file, first found of three places.
  const std::string folder = m.LanguageFolder.substr(0, m.LanguageFolder.size() - 1);
  std::string candidates[] = {
      FindFileNoCase(html, "LkEDI.resx"),
      FindFileNoCase(JoinPath(html, folder), "LkEDI.resx"),
      FindFileNoCase(JoinPath(common, folder), "LkEDI.resx"),
  };
  m.ResXPath.clear();
  for (const auto& path : candidates) {
    if (!path.empty()) {
      m.ResXPath = path;
      break;
    }
  }
  if (!m.ResXPath.empty()) {
    Resources().LoadResXFile(m.ResXPath);
    std::string code = Resources().GetResXString("LanguageCode", "");
    m.LanguageCode = (Trim(code).empty() || code == Resources().ResNotFound()) ? "en" : Trim(code);
  } else {
    LogError(JoinPath(JoinPath(common, folder), "LkEDI.resx") + " not found.", Err{});
  }
}

void Startup(bool headless) {
  static std::once_flag once;
  std::call_once(once, [headless] { RunStartupSteps(headless); });
}

}  // namespace larkedi
