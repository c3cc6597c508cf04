#include "platform/ui/window_server.h"

#include <fnmatch.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "platform/ui/browser_command.h"

namespace larkedi::ui {
namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

const char kDefaultWindowHtml[] =
    "<html><head></head><body>"
    "<div id=\"menubar\"></div>"
    "<div id=\"frameset\" data-keep=\"1\" rows=\"36,*,0\"></div>"
    "<div id=\"panel\" data-keep=\"1\" hidden=\"hidden\" data-address=\"\"></div>"
    "<div id=\"hostfont\" data-keep=\"1\" hidden=\"hidden\"></div>"
    "</body></html>";

const char kStartPage[] = "window.htm";

// Only the window's own scripts run; the module's pages keep their style attributes.
const char kContentSecurityPolicy[] =
    "default-src 'self'; script-src 'self'; style-src 'self' 'unsafe-inline'; "
    "img-src 'self' data:; frame-src 'self'; frame-ancestors 'self'; "
    "object-src 'none'; base-uri 'self'; form-action 'none'";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return diff == 0;
}

std::string ContentType(const std::string& path) {
  std::string ext = Lower(std::filesystem::path(path).extension().string());
  if (ext == ".htm" || ext == ".html") return "text/html; charset=utf-8";
  if (ext == ".js") return "text/javascript; charset=utf-8";
  if (ext == ".css") return "text/css; charset=utf-8";
  if (ext == ".png") return "image/png";
  if (ext == ".gif") return "image/gif";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  if (ext == ".svg") return "image/svg+xml";
  if (ext == ".ico") return "image/x-icon";
  if (ext == ".txt") return "text/plain; charset=utf-8";
  return "";
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  out = buffer.str();
  return true;
}

std::string StringField(const json& j, const char* key) {
  auto it = j.find(key);
  return (it != j.end() && it->is_string()) ? it->get<std::string>() : std::string();
}

bool BoolField(const json& j, const char* key) {
  auto it = j.find(key);
  return it != j.end() && it->is_boolean() && it->get<bool>();
}

int IntField(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || !it->is_number()) return 0;
  const double v = it->get<double>();
  return v > -1e6 && v < 1e6 ? static_cast<int>(v) : 0;
}

const char* PatchKindName(Patch::Kind kind) {
  switch (kind) {
    case Patch::Kind::Document:
      return "document";
    case Patch::Kind::InnerHtml:
      return "html";
    case Patch::Kind::SetAttribute:
      return "attr";
    case Patch::Kind::RemoveAttribute:
      return "rmattr";
    case Patch::Kind::StyleWidth:
      return "width";
    case Patch::Kind::Value:
      return "value";
    case Patch::Kind::Checked:
      return "checked";
    case Patch::Kind::Selected:
      return "selected";
  }
  return "document";
}

std::optional<EventKind> ParseKind(const std::string& kind) {
  if (kind == "click") return EventKind::Click;
  if (kind == "keydown") return EventKind::KeyDown;
  if (kind == "keyup") return EventKind::KeyUp;
  if (kind == "change") return EventKind::Change;
  if (kind == "input") return EventKind::Input;
  if (kind == "contextmenu") return EventKind::ContextMenu;
  if (kind == "error") return EventKind::Error;
  if (kind == "complete") return EventKind::Complete;
  if (kind == "geometry") return EventKind::Geometry;
  return std::nullopt;
}

const char* DialogKindName(DialogRequest::Kind kind) {
  switch (kind) {
    case DialogRequest::Kind::MessageBox:
      return "msgbox";
    case DialogRequest::Kind::InputBox:
      return "input";
    case DialogRequest::Kind::File:
      return "file";
    case DialogRequest::Kind::Folder:
      return "folder";
    case DialogRequest::Kind::Password:
      return "password";
    case DialogRequest::Kind::Dealer:
      return "dealer";
  }
  return "msgbox";
}

}  // namespace

std::string CookieValue(const std::string& header, const std::string& name) {
  std::size_t pos = 0;
  while (pos < header.size()) {
    std::size_t end = header.find(';', pos);
    if (end == std::string::npos) end = header.size();
    std::string part = header.substr(pos, end - pos);
    std::size_t b = part.find_first_not_of(' ');
    if (b != std::string::npos) part = part.substr(b);
    std::size_t eq = part.find('=');
    if (eq != std::string::npos && part.substr(0, eq) == name) return part.substr(eq + 1);
    pos = end + 1;
  }
  return "";
}

RequestVerdict CheckRequest(const RequestFacts& request, int port, const std::string& secret,
                            const std::string& cookie_name, const std::set<std::string>& tokens) {
  const std::string p = std::to_string(port);
  if (request.host != "127.0.0.1:" + p && request.host != "localhost:" + p) {
    return RequestVerdict::Refuse;
  }
  if (request.origin && *request.origin != "http://127.0.0.1:" + p &&
      *request.origin != "http://localhost:" + p) {
    return RequestVerdict::Refuse;
  }
  // Another process of the module asks for the window to come forward; it read the secret
  // from the window tag, which only this user can read.
  if (request.path == "/api/raise") {
    return request.method == "POST" && SameSecret(request.raise_secret, secret)
               ? RequestVerdict::Serve
               : RequestVerdict::Refuse;
  }
  if (request.path == "/" && request.secret) {
    return SameSecret(*request.secret, secret) ? RequestVerdict::ExchangeSecret
                                               : RequestVerdict::Refuse;
  }
  const std::string token = CookieValue(request.cookie, cookie_name);
  bool known = false;
  // Every token is compared, so the time taken does not tell which one came close.
  for (const auto& t : tokens) known = SameSecret(token, t) || known;
  return known ? RequestVerdict::Serve : RequestVerdict::Refuse;
}

std::optional<PostedEvent> ParseEventBody(std::string_view body) {
  json j = json::parse(body, nullptr, false);
  if (j.is_discarded() || !j.is_object()) return std::nullopt;
  std::optional<EventKind> kind = ParseKind(StringField(j, "kind"));
  if (!kind) return std::nullopt;
  PostedEvent posted;
  PageEvent& event = posted.event;
  event.kind = *kind;
  event.frame = StringField(j, "frame");
  event.id = StringField(j, "id");
  event.tag = Lower(StringField(j, "tag"));
  event.type = Lower(StringField(j, "type"));
  event.form = StringField(j, "form");
  event.key = StringField(j, "key");
  event.ctrl = BoolField(j, "ctrl");
  event.alt = BoolField(j, "alt");
  event.shift = BoolField(j, "shift");
  event.message = StringField(j, "message");
  if (*kind == EventKind::Geometry) {
    event.geometry.left = IntField(j, "left");
    event.geometry.top = IntField(j, "top");
    event.geometry.width = IntField(j, "width");
    event.geometry.height = IntField(j, "height");
    event.geometry.screen_width = IntField(j, "screenWidth");
    event.geometry.screen_height = IntField(j, "screenHeight");
    event.geometry.maximized = BoolField(j, "maximized");
  }
  auto list = j.find("controls");
  if (list == j.end() || !list->is_array()) return posted;
  for (const auto& c : *list) {
    if (!c.is_object()) continue;
    ControlState state;
    state.id = StringField(c, "id");
    if (state.id.empty()) continue;
    auto v = c.find("value");
    if (v != c.end() && v->is_string()) state.value = v->get<std::string>();
    auto ch = c.find("checked");
    if (ch != c.end() && ch->is_boolean()) state.checked = ch->get<bool>();
    auto sel = c.find("selected");
    if (sel != c.end() && sel->is_array()) {
      std::vector<int> indexes;
      for (const auto& i : *sel) {
        if (i.is_number_integer()) indexes.push_back(i.get<int>());
      }
      state.selected = indexes;
    }
    posted.controls.push_back(std::move(state));
  }
  return posted;
}

std::string RandomHex(std::size_t bytes) {
  std::string raw(bytes, '\0');
  std::size_t got = 0;
  while (got < bytes) {
    ssize_t n = getrandom(raw.data() + got, bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return "";
    }
    got += static_cast<std::size_t>(n);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes * 2);
  for (unsigned char c : raw) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

bool OpenWindowInBrowser(const std::string& address, const std::string& app_browser,
                         std::string* error) {
  return OpenWindowInBrowser(address, app_browser, std::nullopt, error);
}

bool ResolveStaticPath(const std::string& root, const std::string& path, std::string* resolved) {
  if (path.empty() || path[0] != '/') return false;
  std::string rel = path.substr(1);
  if (rel.empty() || rel.find('\\') != std::string::npos || rel.find('\0') != std::string::npos) {
    return false;
  }
  std::size_t pos = 0;
  while (pos <= rel.size()) {
    std::size_t end = rel.find('/', pos);
    if (end == std::string::npos) end = rel.size();
    std::string segment = rel.substr(pos, end - pos);
    // No empty segment (an absolute path after the first slash), no "." or "..", nothing
    // hidden.
    if (segment.empty() || segment[0] == '.') return false;
    pos = end + 1;
  }
  char root_real[PATH_MAX];
  char file_real[PATH_MAX];
  if (!::realpath(root.c_str(), root_real)) return false;
  std::string candidate = std::string(root_real) + "/" + rel;
  if (!::realpath(candidate.c_str(), file_real)) return false;
  std::string prefix = std::string(root_real) + "/";
  std::string real(file_real);
  if (real.compare(0, prefix.size(), prefix) != 0) return false;
  struct stat st {};
  if (::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (resolved) *resolved = real;
  return true;
}

// ---------------------------------------------------------------------------------------

struct WindowServer::Impl {
  struct Subscriber {
    std::deque<std::string> queue;
  };
  struct Dialog {
    json spec;
    std::string page;
    bool picker = false;
    bool done = false;
    DialogAnswer answer;
    std::function<void()> on_link;
  };

  UiLoop& loop;
  WindowOptions options;
  httplib::Server server;
  std::thread listener;
  std::thread watchdog;
  std::atomic<bool> listener_done{false};
  int port = 0;
  std::string secret;
  std::string cookie_name;

  std::map<std::string, std::unique_ptr<FrameModel>> frames;
  std::unique_ptr<FrameModel> window;

  mutable std::mutex mu;
  std::condition_variable cv;
  std::set<std::string> tokens;
  std::vector<std::shared_ptr<Subscriber>> subscribers;
  int streams = 0;
  int connections = 0;
  bool ever_connected = false;
  Clock::time_point last_stream_end = Clock::now();
  bool gone_reported = false;
  bool stopping = false;
  bool started = false;
  bool closed = false;
  std::string current_page;
  std::map<int, Dialog> dialogs;
  int next_dialog = 1;
  std::map<int, std::string> prints;
  int next_print = 1;
  // The second panel's page of another site: its number, the address and the site.
  int panel_page = 0;
  std::string panel_address;
  std::string panel_site;

  // User-interface thread only.
  EventHandler handler;
  std::function<void(CloseReason)> close_handler;
  bool close_reported = false;

  Impl(UiLoop& l, WindowOptions o) : loop(l), options(std::move(o)) {}

  void Broadcast(const json& message) {
    std::string text = message.dump(-1, ' ', false, json::error_handler_t::replace);
    {
      std::lock_guard<std::mutex> lock(mu);
      for (auto& sub : subscribers) sub->queue.push_back(text);
    }
    cv.notify_all();
  }

  void OnPatch(const Patch& patch) {
    Broadcast(json{{"op", "patch"},
                   {"frame", patch.frame},
                   {"target", patch.target},
                   {"kind", PatchKindName(patch.kind)},
                   {"name", patch.name},
                   {"value", patch.value}});
  }

  FrameModel* Model(const std::string& name) {
    if (name == "window") return window.get();
    auto it = frames.find(name);
    return it == frames.end() ? nullptr : it->second.get();
  }

  // Cancels the dialogs (mu held). Closed dialogs answer "cancel".
  void CancelDialogsLocked(const std::function<bool(const Dialog&)>& which) {
    bool any = false;
    for (auto& [id, dialog] : dialogs) {
      if (dialog.done || !which(dialog)) continue;
      dialog.done = true;
      dialog.answer = DialogAnswer{};
      any = true;
    }
    if (any) loop.Wake();
  }

  json StateLocked() {
    json state{{"op", "state"}, {"frames", json::array()}, {"window", json::array()}};
    for (const auto& name : options.frames) {
      state["frames"].push_back(json{{"name", name}, {"html", frames[name]->Html()}});
    }
    for (const auto& element : window->TopElements()) {
      json attrs = json::object();
      for (const auto& [k, v] : element.attributes) attrs[k] = v;
      json item{{"id", element.id}, {"attrs", attrs}};
      if (element.html) item["html"] = *element.html;
      state["window"].push_back(item);
    }
    json open = json::array();
    for (const auto& [id, dialog] : dialogs) {
      if (!dialog.done) open.push_back(dialog.spec);
    }
    state["dialogs"] = open;
    if (closed) state["closed"] = true;
    return state;
  }

  void ReportClose(CloseReason reason) {
    // User-interface thread.
    if (close_reported) return;
    close_reported = true;
    if (close_handler) close_handler(reason);
  }

  void WatchPage() {
    std::unique_lock<std::mutex> lock(mu);
    while (!stopping) {
      cv.wait_for(lock, std::chrono::milliseconds(50));
      if (stopping) break;
      if (!ever_connected || streams > 0 || gone_reported) continue;
      if (Clock::now() - last_stream_end < options.page_gone_after) continue;
      gone_reported = true;
      closed = true;
      CancelDialogsLocked([](const Dialog&) { return true; });
      loop.Post([this] { ReportClose(CloseReason::PageGone); });
    }
  }

  bool CheckAccess(const httplib::Request& req, httplib::Response& res) {
    RequestFacts facts;
    facts.host = req.get_header_value("Host");
    if (req.has_header("Origin")) facts.origin = req.get_header_value("Origin");
    facts.path = req.path;
    if (req.has_param("s")) facts.secret = req.get_param_value("s");
    facts.cookie = req.get_header_value("Cookie");
    facts.method = req.method;
    facts.raise_secret = req.get_header_value("X-LarkEDI-Secret");
    RequestVerdict verdict;
    {
      std::lock_guard<std::mutex> lock(mu);
      verdict = CheckRequest(facts, port, secret, cookie_name, tokens);
    }
    if (verdict == RequestVerdict::Refuse) {
      res.status = 403;
      return false;
    }
    if (verdict == RequestVerdict::Serve) return true;
    std::string token = RandomHex(32);
    if (token.empty()) {
      res.status = 500;
      return false;
    }
    {
      std::lock_guard<std::mutex> lock(mu);
      tokens.insert(token);
    }
    res.set_header("Set-Cookie", cookie_name + "=" + token + "; Path=/; HttpOnly; SameSite=Strict");
    res.set_redirect("/", 303);
    return false;
  }

  void ServeStatic(const std::string& path, httplib::Response& res) {
    std::string file;
    std::string type = ContentType(path);
    std::string body;
    if (type.empty() || !ResolveStaticPath(options.html_dir, path, &file) ||
        !ReadWholeFile(file, body)) {
      res.status = 404;
      return;
    }
    res.set_content(body, type);
  }

  void ServeEvents(const httplib::Request& req, httplib::Response& res) {
    auto sub = std::make_shared<Subscriber>();
    std::string page = req.get_param_value("page");
    {
      std::lock_guard<std::mutex> lock(mu);
      if (stopping) {
        res.status = 503;
        return;
      }
      // A page that was not the one showing a dialog (a reload, another tab) cannot
      // answer it any more: the dialog counts as cancelled.
      if (page != current_page) {
        CancelDialogsLocked([&](const Dialog& d) { return !d.page.empty() && d.page != page; });
      }
      for (auto& [id, dialog] : dialogs) {
        if (!dialog.done && dialog.page.empty()) dialog.page = page;
      }
      current_page = page;
      sub->queue.push_back(StateLocked().dump(-1, ' ', false, json::error_handler_t::replace));
      subscribers.push_back(sub);
      ++streams;
      ++connections;
      ever_connected = true;
      gone_reported = false;
    }
    res.set_header("X-Accel-Buffering", "no");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, sub](std::size_t, httplib::DataSink& sink) {
          std::deque<std::string> out;
          {
            std::unique_lock<std::mutex> lock(mu);
            cv.wait_for(lock, options.heartbeat, [&] { return !sub->queue.empty() || stopping; });
            if (stopping) return false;
            out.swap(sub->queue);
          }
          if (out.empty()) {
            static const char kBeat[] = ": beat\n\n";
            return sink.write(kBeat, sizeof(kBeat) - 1);
          }
          for (const auto& message : out) {
            std::string frame = "data: " + message + "\n\n";
            if (!sink.write(frame.data(), frame.size())) return false;
          }
          return true;
        },
        [this, sub](bool) {
          {
            std::lock_guard<std::mutex> lock(mu);
            auto it = std::find(subscribers.begin(), subscribers.end(), sub);
            if (it != subscribers.end()) {
              subscribers.erase(it);
              --streams;
              last_stream_end = Clock::now();
            }
          }
          cv.notify_all();
        });
  }

  void ServeEvent(const httplib::Request& req, httplib::Response& res) {
    std::optional<PostedEvent> posted = ParseEventBody(req.body);
    if (!posted || !Model(posted->event.frame)) {
      res.status = 400;
      return;
    }
    const EventKind kind = posted->event.kind;
    PageEvent event = std::move(posted->event);
    std::vector<ControlState> controls = std::move(posted->controls);
    auto task = [this, event, controls = std::move(controls)] {
      if (FrameModel* model = Model(event.frame)) model->ApplyControlState(controls);
      bool follow = handler ? handler(event) : false;
      if (follow && event.kind == EventKind::Click && !event.id.empty()) {
        Broadcast(json{{"op", "follow"}, {"frame", event.frame}, {"target", event.id}});
      }
    };
    bool queued = true;
    if (kind == EventKind::Complete || kind == EventKind::Error || kind == EventKind::Geometry) {
      loop.Post(task);
    } else {
      bool exclusive = kind == EventKind::Click || kind == EventKind::ContextMenu;
      // The page already shows what a dropped click or change did to a check box or a
      // list; it is shown the module's state again, so the page never shows a choice
      // (an order ticked to send) that the module did not take.
      UiLoop::Task restore;
      if ((kind == EventKind::Click || kind == EventKind::Change) && !event.id.empty()) {
        restore = [this, frame = event.frame, id = event.id] {
          if (FrameModel* model = Model(frame)) model->RestoreControl(id);
        };
      }
      queued = loop.PostInput(task, exclusive, std::move(restore));
    }
    res.set_content(json{{"queued", queued}}.dump(), "application/json");
  }

  void ServeAnswer(const httplib::Request& req, httplib::Response& res) {
    json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("dialog") ||
        !body["dialog"].is_number_integer()) {
      res.status = 400;
      return;
    }
    int id = body["dialog"].get<int>();
    std::string button = StringField(body, "button");
    std::string text = StringField(body, "text");
    std::lock_guard<std::mutex> lock(mu);
    auto it = dialogs.find(id);
    if (it == dialogs.end() || it->second.done) {
      res.status = 404;
      return;
    }
    Dialog& dialog = it->second;
    if (button == "link") {
      // The dialog's link: its action runs on the user-interface thread; the dialog stays.
      if (!dialog.on_link) {
        res.status = 400;
        return;
      }
      loop.Post(dialog.on_link);
      res.set_content("{}", "application/json");
      return;
    }
    DialogAnswer answer;
    if (button != "cancel") {
      bool offered = false;
      for (const auto& b : dialog.spec["buttons"]) offered = offered || b == button;
      if (!offered) {
        res.status = 400;
        return;
      }
      if (dialog.picker) {
        struct stat st {};
        bool folder = dialog.spec["kind"] == "folder";
        if (text.empty() || text[0] != '/' || ::stat(text.c_str(), &st) != 0 ||
            (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode))) {
          res.status = 400;
          return;
        }
      }
      answer.button = button;
      answer.text = text;
      answer.secret = StringField(body, "secret");
      answer.closed = false;
    }
    dialog.done = true;
    dialog.answer = answer;
    loop.Wake();
    res.set_content("{}", "application/json");
  }

  void ServeFolder(const httplib::Request& req, httplib::Response& res) {
    {
      // The file system is browsed only while a picker asks for it.
      std::lock_guard<std::mutex> lock(mu);
      bool picking = false;
      for (const auto& [id, dialog] : dialogs) picking = picking || (dialog.picker && !dialog.done);
      if (!picking) {
        res.status = 403;
        return;
      }
    }
    std::string path = req.get_param_value("path");
    std::string filter = req.get_param_value("filter");
    bool files = req.get_param_value("files") == "1";
    char real[PATH_MAX];
    if (path.empty() || path[0] != '/' || !::realpath(path.c_str(), real)) {
      res.status = 404;
      return;
    }
    std::error_code ec;
    std::filesystem::directory_iterator it(real, ec);
    if (ec) {
      res.status = 404;
      return;
    }
    std::vector<std::string> patterns;
    std::stringstream split(filter);
    for (std::string p; std::getline(split, p, ';');) {
      if (!p.empty()) patterns.push_back(p);
    }
    json dirs = json::array(), names = json::array();
    std::vector<std::string> d, f;
    for (const auto& entry : it) {
      std::string name = entry.path().filename().string();
      if (name.empty() || name[0] == '.') continue;
      std::error_code e2;
      if (entry.is_directory(e2)) {
        d.push_back(name);
      } else if (files && entry.is_regular_file(e2)) {
        bool match = patterns.empty();
        for (const auto& p : patterns) {
          match = match || fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
        }
        if (match) f.push_back(name);
      }
    }
    std::sort(d.begin(), d.end());
    std::sort(f.begin(), f.end());
    std::string here(real);
    std::string parent = std::filesystem::path(here).parent_path().string();
    res.set_content(json{{"path", here}, {"parent", parent}, {"folders", d}, {"files", f}}.dump(
                        -1, ' ', false, json::error_handler_t::replace),
                    "application/json");
  }

  void ServePrint(const httplib::Request& req, httplib::Response& res) {
    int id = std::atoi(req.matches[1].str().c_str());
    std::string html;
    {
      std::lock_guard<std::mutex> lock(mu);
      auto it = prints.find(id);
      if (it == prints.end()) {
        res.status = 404;
        return;
      }
      html = it->second;
    }
    res.set_content(html, "text/html; charset=utf-8");
  }

  // The page that holds another site in the second panel. Its policy lets its one frame
  // show that site and nothing else, so a link or script of the site cannot take the panel
  // anywhere else (the window page itself frames only its own pages).
  void ServeSitePanel(const httplib::Request& req, httplib::Response& res) {
    std::string address, site;
    {
      std::lock_guard<std::mutex> lock(mu);
      if (std::atoi(req.matches[1].str().c_str()) != panel_page || panel_site.empty()) {
        res.status = 404;
        return;
      }
      address = panel_address;
      site = panel_site;
    }
    res.headers.erase("Content-Security-Policy");
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; style-src 'unsafe-inline'; frame-src " + site +
                       "; frame-ancestors 'self'; base-uri 'none'; form-action 'none'");
    res.set_content(
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>panel</title><style>"
        "html,body,iframe{margin:0;border:0;padding:0;width:100%;height:100%;display:block}"
        "</style></head><body><iframe id=\"site\" src=\"" +
            EscapeHtml(address) +
            "\" referrerpolicy=\"no-referrer\" sandbox=\"allow-scripts allow-forms "
            "allow-same-origin allow-popups\"></iframe></body></html>\n",
        "text/html; charset=utf-8");
  }

  void Routes() {
    server.set_default_headers({{"Content-Security-Policy", kContentSecurityPolicy},
                                {"Cache-Control", "no-store"},
                                {"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"},
                                {"X-Frame-Options", "SAMEORIGIN"}});
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      return CheckAccess(req, res) ? httplib::Server::HandlerResponse::Unhandled
                                   : httplib::Server::HandlerResponse::Handled;
    });
    server.Get("/events", [this](const httplib::Request& req, httplib::Response& res) {
      ServeEvents(req, res);
    });
    server.Post("/event", [this](const httplib::Request& req, httplib::Response& res) {
      ServeEvent(req, res);
    });
    server.Post("/answer", [this](const httplib::Request& req, httplib::Response& res) {
      ServeAnswer(req, res);
    });
    server.Get("/fs", [this](const httplib::Request& req, httplib::Response& res) {
      ServeFolder(req, res);
    });
    server.Post("/api/raise", [this](const httplib::Request&, httplib::Response& res) {
      Broadcast(json{{"op", "focus"}});
      std::lock_guard<std::mutex> lock(mu);
      res.set_content(json{{"page", streams > 0}}.dump(), "application/json");
    });
    server.Get(R"(/print/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
      ServePrint(req, res);
    });
    server.Get(R"(/panel/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
      ServeSitePanel(req, res);
    });
    server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
      ServeStatic(req.path == "/" ? std::string("/") + kStartPage : req.path, res);
    });
  }
};

WindowServer::WindowServer(UiLoop& loop, WindowOptions options)
    : impl_(std::make_unique<Impl>(loop, std::move(options))) {
  Impl& d = *impl_;
  auto sink = [&d](const Patch& patch) { d.OnPatch(patch); };
  for (const auto& name : d.options.frames) {
    d.frames[name] = std::make_unique<FrameModel>(name, sink);
  }
  d.window = std::make_unique<FrameModel>("window");
  d.window->LoadHtml(d.options.window_html.empty() ? kDefaultWindowHtml : d.options.window_html);
  d.window->set_sink(sink);
}

WindowServer::~WindowServer() {
  Stop();
}

bool WindowServer::Start(std::string* error) {
  Impl& d = *impl_;
  if (d.started) return true;
  d.secret = RandomHex(32);
  if (d.secret.empty()) {
    if (error) *error = "The system's random source failed.";
    return false;
  }
  d.server.new_task_queue = [] { return new httplib::ThreadPool(24); };
  d.server.set_keep_alive_timeout(2);
  d.server.set_payload_max_length(4 * 1024 * 1024);
  d.Routes();
  d.port = d.server.bind_to_any_port("127.0.0.1");
  if (d.port <= 0) {
    if (error) *error = "The window server could not bind a port on 127.0.0.1.";
    return false;
  }
  d.cookie_name = "larkedi" + std::to_string(d.port);
  d.started = true;
  d.listener = std::thread([&d] {
    d.server.listen_after_bind();
    d.listener_done = true;
  });
  // The server can only be stopped once it listens: wait for that, so a Stop() that
  // follows at once does not leave the listener running for ever.
  while (!d.server.is_running() && !d.listener_done) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  d.watchdog = std::thread([&d] { d.WatchPage(); });
  return true;
}

void WindowServer::Stop() {
  Impl& d = *impl_;
  if (!d.started) return;
  {
    std::lock_guard<std::mutex> lock(d.mu);
    if (d.stopping) return;
    d.stopping = true;
    d.CancelDialogsLocked([](const Impl::Dialog&) { return true; });
  }
  d.cv.notify_all();
  d.server.stop();
  if (d.listener.joinable()) d.listener.join();
  if (d.watchdog.joinable()) d.watchdog.join();
}

int WindowServer::port() const {
  return impl_->port;
}

std::string WindowServer::Address() const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + "/?s=" + impl_->secret;
}

std::string WindowServer::FileUrl(const std::string& relative) const {
  std::string rel = relative;
  while (!rel.empty() && rel[0] == '/') rel.erase(0, 1);
  return "http://127.0.0.1:" + std::to_string(impl_->port) + "/" + rel;
}

const std::string& WindowServer::secret() const {
  return impl_->secret;
}

FrameModel* WindowServer::Frame(const std::string& name) {
  return impl_->Model(name);
}

FrameModel& WindowServer::WindowModel() {
  return *impl_->window;
}

void WindowServer::SetEventHandler(EventHandler handler) {
  impl_->handler = std::move(handler);
}

void WindowServer::SetCloseHandler(std::function<void(CloseReason)> handler) {
  impl_->close_handler = std::move(handler);
}

void WindowServer::RequestClose() {
  Impl& d = *impl_;
  {
    std::lock_guard<std::mutex> lock(d.mu);
    if (d.closed) return;
    d.closed = true;
  }
  d.Broadcast(json{{"op", "close"}});
  d.loop.Post([&d] { d.ReportClose(CloseReason::Requested); });
}

bool WindowServer::closed() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->closed;
}

void WindowServer::ShowPanel(const std::string& address) {
  HtmlElement panel = impl_->window->GetElementById("panel");
  panel.setAttribute("data-address", address);
  panel.removeAttribute("hidden");
}

void WindowServer::HidePanel() {
  impl_->window->GetElementById("panel").setAttribute("hidden", "hidden");
}

bool WindowServer::ShowSitePanel(const std::string& address, const std::string& site) {
  const std::string own = SiteOfAddress(site);
  if (own.empty() || own != SiteOfAddress(address)) return false;
  int number = 0;
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    number = ++impl_->panel_page;
    impl_->panel_address = address;
    impl_->panel_site = own;
  }
  ShowPanel(FileUrl("panel/" + std::to_string(number)));
  return true;
}

std::string SiteOfAddress(const std::string& address) {
  const std::size_t scheme_end = address.find("://");
  if (scheme_end == std::string::npos) return "";
  const std::string scheme = Lower(address.substr(0, scheme_end));
  if (scheme != "http" && scheme != "https") return "";
  const std::size_t start = scheme_end + 3;
  std::size_t end = address.find_first_of("/?#", start);
  if (end == std::string::npos) end = address.size();
  std::string authority = Lower(address.substr(start, end - start));
  // A user name or password in the address, or any character a host and port cannot hold,
  // makes it no site (it could make the address and the policy name different places).
  if (authority.empty()) return "";
  for (char c : authority) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
                    c == ':' || c == '[' || c == ']';
    if (!ok) return "";
  }
  if (authority.front() == ':' || authority.back() == ':') return "";
  return scheme + "://" + authority;
}

void WindowServer::BringToFront() {
  impl_->Broadcast(json{{"op", "focus"}});
}

void WindowServer::OpenPage(const std::string& relative) {
  std::string rel = relative;
  while (!rel.empty() && rel[0] == '/') rel.erase(0, 1);
  impl_->Broadcast(json{{"op", "open"}, {"url", "/" + rel}});
}

void WindowServer::PrintPreview(const std::string& html) {
  Impl& d = *impl_;
  // The page to print is the module's HTML without scripts, plus the window's own
  // script that opens the print dialog once it is shown.
  FrameModel copy("print");
  copy.LoadHtml(
      "<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"/larkedi.css\"/>"
      "</head><body></body></html>");
  copy.body().setInnerHTML(html);
  std::string page = copy.Html();
  std::size_t end = page.rfind("</body>");
  std::string script = "<script src=\"/print.js\"></script>";
  if (end == std::string::npos) {
    page += script;
  } else {
    page.insert(end, script);
  }
  int id;
  {
    std::lock_guard<std::mutex> lock(d.mu);
    id = d.next_print++;
    d.prints[id] = page;
    while (d.prints.size() > 4) d.prints.erase(d.prints.begin());
  }
  d.Broadcast(json{{"op", "print"}, {"url", "/print/" + std::to_string(id)}});
}

DialogAnswer WindowServer::RunDialog(const DialogRequest& request) {
  Impl& d = *impl_;
  int id;
  json spec{{"kind", DialogKindName(request.kind)},
            {"title", request.title},
            {"text", request.text},
            {"icon", request.icon},
            {"default", request.default_button},
            {"value", request.default_text},
            {"filter", request.filter},
            {"folder", request.folder}};
  if (!request.labels.empty()) spec["labels"] = request.labels;
  if (request.on_link) spec["link"] = true;
  std::vector<std::string> buttons = request.buttons;
  if (buttons.empty()) buttons = {"ok"};
  if (request.kind != DialogRequest::Kind::MessageBox) buttons = {"ok", "cancel"};
  spec["buttons"] = buttons;
  {
    std::lock_guard<std::mutex> lock(d.mu);
    id = d.next_dialog++;
    spec["id"] = id;
    Impl::Dialog dialog;
    dialog.spec = spec;
    dialog.page = d.streams > 0 ? d.current_page : "";
    dialog.picker =
        request.kind == DialogRequest::Kind::File || request.kind == DialogRequest::Kind::Folder;
    dialog.on_link = request.on_link;
    // A window whose page is gone, or that is shutting down, shows nothing more.
    dialog.done = d.stopping || d.gone_reported;
    d.dialogs[id] = std::move(dialog);
  }
  d.Broadcast(json{{"op", "dialog"}, {"dialog", spec}});
  d.loop.RunUntil([&] {
    std::lock_guard<std::mutex> lock(d.mu);
    return d.dialogs[id].done;
  });
  DialogAnswer answer;
  {
    std::lock_guard<std::mutex> lock(d.mu);
    answer = d.dialogs[id].done ? d.dialogs[id].answer : DialogAnswer{};
    d.dialogs.erase(id);
  }
  d.Broadcast(json{{"op", "dialog-close"}, {"id", id}});
  return answer;
}

bool WindowServer::PageConnected() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->streams > 0;
}

int WindowServer::connections() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->connections;
}

}  // namespace larkedi::ui
