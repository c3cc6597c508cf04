#include "platform/script/script_host.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/process/line_channel.h"
#include "platform/ui/dialogs.h"

namespace larkedi::script {

namespace {

using nlohmann::json;
using process::Clock;
using process::IoStatus;

constexpr auto kWorkerStopWait = std::chrono::milliseconds(500);

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

std::size_t CurrentAddressSpace() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  unsigned long pages = 0;
  if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
  std::fclose(f);
  return static_cast<std::size_t>(pages) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

void SetLimit(int resource, rlim_t value) {
  rlimit limit{value, value};
  ::setrlimit(resource, &limit);
}

// Runs in the forked child before the worker loop: only the socket stays open, no new
// files, processes or core dumps, and (outside sanitizer builds, whose shadow memory needs
// the address space) a bounded address space as a backstop to the interpreter's own cap.
void Sandbox(int sock, std::size_t memory_limit) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (sock != 3) {
    ::dup2(sock, 3);
    ::close(sock);
  }
  int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd >= 0) {
    ::dup2(null_fd, 0);
    ::dup2(null_fd, 1);
    if (null_fd > 3) ::close(null_fd);
  }
  if (::close_range(4, ~0U, 0) != 0) {
    for (int fd = 4; fd < 65536; ++fd) ::close(fd);
  }
  std::size_t address_space = CurrentAddressSpace();
  SetLimit(RLIMIT_CORE, 0);
  SetLimit(RLIMIT_FSIZE, 0);
  SetLimit(RLIMIT_NPROC, 0);
  // A few spare descriptors: the sanitizers probe memory through a pipe of their own.
  SetLimit(RLIMIT_NOFILE, 8);
  if (!kSanitized && address_space > 0) {
    SetLimit(RLIMIT_AS, address_space + 2 * memory_limit + (256u << 20));
  }
  ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  signal(SIGPIPE, SIG_IGN);
}

MsgButtons ButtonsOf(int code) {
  switch (code & 7) {
    case 1:
      return MsgButtons::OKCancel;
    case 3:
      return MsgButtons::YesNoCancel;
    case 4:
      return MsgButtons::YesNo;
    default:
      return MsgButtons::OK;
  }
}

MsgIcon IconOf(int code) {
  switch (code & 0x70) {
    case 16:
      return MsgIcon::Critical;
    case 32:
      return MsgIcon::Question;
    case 48:
      return MsgIcon::Exclamation;
    case 64:
      return MsgIcon::Information;
    default:
      return MsgIcon::None;
  }
}

int CodeOf(MsgResult r) {
  switch (r) {
    case MsgResult::OK:
      return 1;
    case MsgResult::Cancel:
      return 2;
    case MsgResult::Yes:
      return 6;
    case MsgResult::No:
      return 7;
  }
  return 1;
}

ScriptResult HostFailure(const std::string& description) {
  ScriptResult r;
  r.errorNumber = kErrScriptHostFailure;
  r.errorSource = "Script host";
  r.errorDescription = description;
  return r;
}

const char* const kDocumentKeys[3] = {"catalog", "design", "error"};

}  // namespace

struct ScriptHost::Worker {
  pid_t pid = -1;
  process::LineChannel channel;
};

ScriptHost::ScriptHost() = default;

ScriptHost::~ScriptHost() {
  StopWorker();
}

void ScriptHost::Reset(long timeoutMs) {
  timeout_ms_ = timeoutMs;
  memory_limit_ = kDefaultMemoryLimit;
}

void ScriptHost::SetTimeout(long timeoutMs) {
  timeout_ms_ = timeoutMs > 0 ? timeoutMs : 1;
}

void ScriptHost::SetMemoryLimit(std::size_t bytes) {
  memory_limit_ = bytes;
}

pid_t ScriptHost::WorkerPid() const {
  return worker_ ? worker_->pid : -1;
}

bool ScriptHost::Start() {
  int status = 0;
  if (worker_ && process::ReapIfEnded(worker_->pid, &status)) worker_.reset();
  if (worker_) return true;
  std::string error;
  return StartWorker(&error);
}

void ScriptHost::StopWorker() {
  if (!worker_) return;
  worker_->channel.Close();  // the worker reads end of file and ends
  process::EndChild(worker_->pid, kWorkerStopWait);
  worker_.reset();
}

bool ScriptHost::StartWorker(std::string* error) {
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
    *error = "cannot create the script worker's channel";
    return false;
  }
  std::fflush(nullptr);  // nothing buffered is written twice
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(sv[0]);
    ::close(sv[1]);
    *error = "cannot start the script worker";
    return false;
  }
  if (pid == 0) {
    ::close(sv[0]);
    Sandbox(sv[1], memory_limit_);
    detail::WorkerMain(3, memory_limit_);
  }
  ::close(sv[1]);
  worker_ = std::make_unique<Worker>();
  worker_->pid = pid;
  worker_->channel = process::LineChannel(sv[0]);
  return true;
}

ScriptResult ScriptHost::Run(const std::string& scriptText, xml::Document& docCatalog,
                             xml::Document& docDesign, xml::Document& docError, bool allowUI) {
  xml::Document* docs[3] = {&docCatalog, &docDesign, &docError};
  ScriptDocument given[3];
  for (int i = 0; i < 3; ++i) {
    given[i].text = [doc = docs[i]] { return doc->xml(); };
  }
  ScriptResult result = Run(scriptText, given[0], given[1], given[2], allowUI);
  for (int i = 0; i < 3; ++i) {
    if (given[i].changed) docs[i]->loadXML(given[i].result);
  }
  return result;
}

ScriptResult ScriptHost::Run(const std::string& scriptText, ScriptDocument& docCatalog,
                             ScriptDocument& docDesign, ScriptDocument& docError, bool allowUI) {
  std::string request;
  RunDocuments docs;
  docs.doc[0] = &docCatalog;
  docs.doc[1] = &docDesign;
  docs.doc[2] = &docError;
  for (ScriptDocument* d : docs.doc) {
    d->changed = false;
    d->result.clear();
  }
  try {
    json message{
        {"op", "run"}, {"script", scriptText}, {"allowUI", allowUI}, {"memory", memory_limit_}};
    // Eager documents follow the request line as raw bytes, in this order.
    json eager = json::object();
    for (int i = 0; i < 3; ++i) {
      if (!docs.doc[i]->eager) continue;
      docs.made[i] = true;
      if (docs.doc[i]->text) docs.text[i] = docs.doc[i]->text();
      eager[kDocumentKeys[i]] = docs.text[i].size();
    }
    if (!eager.empty()) message["eager"] = eager;
    request = message.dump(-1, ' ', false, json::error_handler_t::replace);
  } catch (const std::exception& e) {
    return HostFailure(std::string("cannot pass the script to the worker: ") + e.what());
  }
  // A worker that ended while idle is replaced before it is given work.
  int status = 0;
  if (worker_ && process::ReapIfEnded(worker_->pid, &status)) worker_.reset();

  ScriptResult result;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!worker_) {
      std::string error;
      if (!StartWorker(&error)) return HostFailure(error);
    }
    bool retry = false;
    result = RunOnce(request, docs, allowUI, &retry);
    if (!retry) break;
  }
  return result;
}

ScriptResult ScriptHost::RunOnce(const std::string& request, RunDocuments& docs, bool allowUI,
                                 bool* retry) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms_);
  IoStatus st = worker_->channel.WriteLine(request, deadline);
  for (int i = 0; i < 3 && st == IoStatus::Ok; ++i) {
    if (docs.doc[i]->eager) st = worker_->channel.WriteBytes(docs.text[i], deadline);
  }
  if (st == IoStatus::Closed || st == IoStatus::Failed) {
    // The worker never took the script: a new one gets it.
    StopWorker();
    *retry = true;
    return HostFailure("The script worker ended before it took the script.");
  }
  bool started = false;
  for (;;) {
    std::string line;
    if (st == IoStatus::Ok) st = worker_->channel.ReadLine(&line, deadline);
    if (st == IoStatus::Timeout) {
      ::kill(worker_->pid, SIGKILL);
      StopWorker();
      ScriptResult r;
      r.errorNumber = kErrScriptTimeout;
      r.errorSource = "Script host";
      r.errorDescription = "The script did not finish within " + std::to_string(timeout_ms_) +
                           " ms and was stopped.";
      r.timedOut = true;
      return r;
    }
    if (st != IoStatus::Ok && !started) {
      // The worker was gone before it took the script: a new one gets it.
      StopWorker();
      *retry = true;
      return HostFailure("The script worker ended before it took the script.");
    }
    if (st != IoStatus::Ok) {
      worker_->channel.Close();
      int status = process::EndChild(worker_->pid, kWorkerStopWait);
      worker_.reset();
      return HostFailure("The script worker ended unexpectedly (" +
                         process::DescribeWaitStatus(status) + ").");
    }
    json message = json::parse(line, nullptr, false);
    std::string op = message.is_object() ? message.value("op", "") : "";
    if (op == "started") {
      started = true;
      continue;
    }
    if (op == "need") {
      // The script used a document for the first time: its text, made once per run.
      int i = 0;
      while (i < 3 && message.value("doc", "") != kDocumentKeys[i]) ++i;
      // The text follows its announcing line as raw bytes: no escaping either way.
      if (i < 3 && !docs.made[i]) {
        docs.made[i] = true;
        if (docs.doc[i]->text) docs.text[i] = docs.doc[i]->text();
      }
      static const std::string kNone;
      const std::string& text = i < 3 ? docs.text[i] : kNone;
      st = worker_->channel.WriteLine(R"({"op":"doc","bytes":)" + std::to_string(text.size()) + "}",
                                      deadline);
      if (st == IoStatus::Ok) st = worker_->channel.WriteBytes(text, deadline);
      continue;
    }
    if (op == "msgbox") {
      auto shown_at = Clock::now();
      json answer{{"op", "msgbox-result"}};
      if (allowUI) {
        std::string title = message.value("title", "");
        MsgResult r = CurrentDialogs().MsgBox(
            message.value("text", ""), ButtonsOf(message.value("buttons", 0)),
            IconOf(message.value("buttons", 0)), title.empty() ? dialog_title_ : title);
        answer["result"] = CodeOf(r);
      } else {
        answer["denied"] = true;
      }
      // Time the person spends on the dialog does not count against the script.
      deadline += Clock::now() - shown_at;
      st = worker_->channel.WriteLine(answer.dump(-1, ' ', false, json::error_handler_t::replace),
                                      deadline);
      continue;
    }
    if (op != "done") {
      StopWorker();
      return HostFailure("The script worker sent a message that is not understood.");
    }
    // The worker names only the documents the script changed.
    for (int i = 0; i < 3; ++i) {
      auto it = message.find(kDocumentKeys[i]);
      if (it != message.end() && it->is_string()) {
        docs.doc[i]->changed = true;
        docs.doc[i]->result = it->get<std::string>();
      }
    }
    ScriptResult r;
    r.ok = message.value("ok", false);
    if (!r.ok) {
      r.errorNumber = message.value("number", kErrScriptRuntime);
      r.errorSource = message.value("source", "");
      r.errorDescription = message.value("description", "");
      r.errorLine = message.value("line", 0L);
    }
    return r;
  }
}

}  // namespace larkedi::script
