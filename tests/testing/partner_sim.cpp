#include "testing/partner_sim.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "testing/temp_module.h"

namespace larkedi::testing {

std::string PartnerSimExe() {
  return std::string(LARKEDI_TOOLS_OUT) + "/larkedi-partner-sim";
}

std::string SimRequest::Header(const std::string& name) const {
  for (const auto& [n, v] : headers) {
    if (strcasecmp(n.c_str(), name.c_str()) == 0) return v;
  }
  return {};
}

PartnerSim::PartnerSim(const std::string& data_json, std::vector<std::string> extra_args)
    : dir_(MakeTempDir()) {
  const std::string data_path = dir_ + "/partners.json";
  log_path_ = dir_ + "/requests.jsonl";
  WriteFileOrDie(data_path, data_json);

  std::vector<std::string> args = {PartnerSimExe(), "--data", data_path, "--log",
                                   log_path_,       "--port", "0"};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return;
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    // The simulator dies with the test process, even when a test crashes.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::dup2(fds[1], STDOUT_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  out_fd_ = fds[0];
  if (pid_ < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return;
  }

  // Wait (10 s at most) for "listening on http://127.0.0.1:PORT".
  std::string line;
  for (int waited = 0; waited < 100 && line.find('\n') == std::string::npos; ++waited) {
    pollfd p{out_fd_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[256];
    ssize_t n = ::read(out_fd_, buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<std::size_t>(n));
  }
  const std::string prefix = "listening on http://127.0.0.1:";
  if (line.rfind(prefix, 0) != 0) {
    ADD_FAILURE() << "the partner simulator did not start: " << line;
    return;
  }
  port_ = std::atoi(line.c_str() + prefix.size());
}

PartnerSim::~PartnerSim() {
  Stop();
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void PartnerSim::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  if (out_fd_ >= 0) {
    ::close(out_fd_);
    out_fd_ = -1;
  }
}

std::string PartnerSim::base_url() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

std::string PartnerSim::url(const std::string& path) const {
  return base_url() + path;
}

std::vector<SimRequest> PartnerSim::Requests() const {
  std::vector<SimRequest> requests;
  std::istringstream lines(ReadFileOrEmpty(log_path_));
  std::string line;
  while (std::getline(lines, line)) {
    nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    if (entry.is_discarded()) {
      ADD_FAILURE() << "unreadable simulator log line: " << line;
      continue;
    }
    SimRequest r;
    r.method = entry.value("method", "");
    r.path = entry.value("path", "");
    r.body = entry.value("body", "");
    for (const auto& h : entry["headers"]) {
      r.headers.emplace_back(h[0].get<std::string>(), h[1].get<std::string>());
    }
    requests.push_back(std::move(r));
  }
  return requests;
}

}  // namespace larkedi::testing
