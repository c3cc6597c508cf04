// Fuzz target: a request to the window's server as it is checked before being served. The
// input's first lines are the Host header, the Origin header ("-" for none), the path, the
// secret parameter ("-" for none) and the Cookie header; the rest is a posted event's body.
// A request is let through only on the window's own host with its secret or a token it gave
// out; a static path only ever resolves inside the html folder; an event reads the way the
// page's dispatch expects it.
#include <limits.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>

#include "fuzz_support.h"
#include "platform/ui/window_server.h"

namespace {

using namespace larkedi::ui;

constexpr int kPort = 4242;
const char kSecret[] = "5ecret";
const char kCookie[] = "larkedi4242";

std::string NextLine(std::string_view& rest) {
  const std::size_t end = rest.find('\n');
  std::string line(rest.substr(0, end));
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return line;
}

std::optional<std::string> Optional(std::string line) {
  if (line == "-") return std::nullopt;
  return line;
}

// An html folder with one page and a hidden file, and a file beside the folder.
const std::string& HtmlRoot() {
  static const std::string root = [] {
    namespace fs = std::filesystem;
    const std::string base = larkedi::fuzz::ScratchDir();
    fs::create_directories(base + "/html/sub");
    std::ofstream(base + "/html/window.htm") << "<html/>";
    std::ofstream(base + "/html/sub/a.css") << "a{}";
    std::ofstream(base + "/html/.hidden") << "x";
    std::ofstream(base + "/secret.txt") << "x";
    char real[PATH_MAX];
    return std::string(::realpath((base + "/html").c_str(), real) ? real : "");
  }();
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  RequestFacts request;
  request.host = NextLine(rest);
  request.origin = Optional(NextLine(rest));
  request.path = NextLine(rest);
  request.secret = Optional(NextLine(rest));
  request.cookie = NextLine(rest);

  static const std::set<std::string> tokens = {"t0ken1", "t0ken2"};
  const RequestVerdict verdict = CheckRequest(request, kPort, kSecret, kCookie, tokens);
  if (verdict != RequestVerdict::Refuse) {
    const std::string port = std::to_string(kPort);
    if (request.host != "127.0.0.1:" + port && request.host != "localhost:" + port) {
      __builtin_trap();
    }
  }
  if (verdict == RequestVerdict::ExchangeSecret &&
      (request.path != "/" || request.secret != kSecret)) {
    __builtin_trap();
  }
  if (verdict == RequestVerdict::Serve && !tokens.count(CookieValue(request.cookie, kCookie))) {
    __builtin_trap();
  }

  std::string resolved;
  if (ResolveStaticPath(HtmlRoot(), request.path, &resolved) &&
      (HtmlRoot().empty() || resolved.rfind(HtmlRoot() + "/", 0) != 0 ||
       resolved.find("/.") != std::string::npos)) {
    __builtin_trap();
  }

  if (std::optional<PostedEvent> posted = ParseEventBody(rest)) {
    for (const std::string* text : {&posted->event.tag, &posted->event.type}) {
      for (char c : *text) {
        if (c >= 'A' && c <= 'Z') __builtin_trap();
      }
    }
    for (const ControlState& control : posted->controls) {
      if (control.id.empty()) __builtin_trap();
    }
  }
  return 0;
}
