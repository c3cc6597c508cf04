#include "testing/partner_sim.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>
#include <strings.h>

#include <cstring>
#include <filesystem>
#include <memory>
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

std::string FetchResult::Header(const std::string& name) const {
  for (const std::string& line : headers) {
    std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon != name.size()) continue;
    if (strncasecmp(line.c_str(), name.c_str(), colon) != 0) continue;
    std::size_t start = line.find_first_not_of(' ', colon + 1);
    std::size_t end = line.find_last_not_of("\r\n ");
    if (start == std::string::npos || end < start) return {};
    return line.substr(start, end - start + 1);
  }
  return {};
}

namespace {

size_t AppendBody(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

size_t AppendHeader(char* data, size_t size, size_t count, void* target) {
  std::string line(data, size * count);
  if (line.find(':') != std::string::npos) {
    static_cast<std::vector<std::string>*>(target)->push_back(line);
  }
  return size * count;
}

}  // namespace

FetchResult Fetch(const std::string& url, const FetchRequest& request) {
  FetchResult result;
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) {
    result.error = "curl_easy_init failed";
    return result;
  }
  CURL* c = curl.get();
  curl_slist* headers = nullptr;
  for (const std::string& h : request.headers) headers = curl_slist_append(headers, h.c_str());
  curl_slist* resolve = nullptr;
  for (const std::string& r : request.resolve) resolve = curl_slist_append(resolve, r.c_str());
  if (request.method == "POST") {
    headers = curl_slist_append(headers, ("Content-Type: " + request.content_type).c_str());
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  }
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, request.timeout_ms);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  if (resolve != nullptr) curl_easy_setopt(c, CURLOPT_RESOLVE, resolve);
  if (!request.ca_file.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, request.ca_file.c_str());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &result.body);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, AppendHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &result.headers);
  char message[CURL_ERROR_SIZE] = {0};
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, message);
  CURLcode code = curl_easy_perform(c);
  curl_slist_free_all(headers);
  curl_slist_free_all(resolve);
  result.curl_code = static_cast<int>(code);
  if (code == CURLE_OK) {
    result.completed = true;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.status);
  } else {
    result.error = message[0] != 0 ? message : curl_easy_strerror(code);
  }
  return result;
}

PartnerSim::PartnerSim(const std::string& data_json, std::vector<std::string> extra_args)
    : dir_(MakeTempDir()) {
  PartnerSimOptions options;
  options.extra_args = std::move(extra_args);
  Start(data_json, options);
}

PartnerSim::PartnerSim(const std::string& data_json, PartnerSimOptions options)
    : dir_(MakeTempDir()) {
  Start(data_json, options);
}

void PartnerSim::Start(const std::string& data_json, const PartnerSimOptions& options) {
  const std::string data_path = dir_ + "/partners.json";
  log_path_ = dir_ + "/requests.jsonl";
  WriteFileOrDie(data_path, data_json);

  std::vector<std::string> args = {PartnerSimExe(), "--data", data_path, "--log",
                                   log_path_,       "--port", "0"};
  if (!options.data_dir.empty()) {
    args.insert(args.end(), {"--data-dir", options.data_dir});
  }
  if (!options.tls_cert.empty()) {
    args.insert(args.end(), {"--tls-cert", options.tls_cert, "--tls-key", options.tls_key});
    scheme_ = "https";
    tls_ca_ = options.tls_ca;
  }
  args.insert(args.end(), options.extra_args.begin(), options.extra_args.end());
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
  const std::string prefix = "listening on " + scheme_ + "://127.0.0.1:";
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
  return scheme_ + "://127.0.0.1:" + std::to_string(port_);
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

namespace larkedi::testing {

std::vector<ReceivedOrder> PartnerSim::ReceivedOrders() const {
  FetchRequest request;
  request.ca_file = tls_ca_;
  FetchResult answer = Fetch(url("/gateway/orders"), request);
  nlohmann::json list = nlohmann::json::parse(answer.body, nullptr, false);
  if (!answer.completed || answer.status != 200 || !list.is_array()) {
    ADD_FAILURE() << "cannot read the gateway's orders: " << answer.error << answer.body;
    return {};
  }
  std::vector<ReceivedOrder> orders;
  for (const auto& entry : list) {
    ReceivedOrder order;
    order.sequence = entry.value("sequence", 0L);
    order.partner_code = entry.value("partner_code", "");
    order.global_id = entry.value("global_id", "");
    order.dealer = entry.value("dealer", "");
    order.received = entry.value("received", "");
    order.file = entry.value("file", "");
    orders.push_back(std::move(order));
  }
  return orders;
}

bool PartnerSim::SetGatewayFault(const std::string& mode, int delay_ms, int count) const {
  FetchRequest request;
  request.method = "POST";
  request.content_type = "application/json";
  request.body = nlohmann::json{{"mode", mode}, {"delay_ms", delay_ms}, {"count", count}}.dump();
  request.ca_file = tls_ca_;
  FetchResult answer = Fetch(url("/control/gateway"), request);
  if (!answer.completed || answer.status != 200) {
    ADD_FAILURE() << "the gateway refused the fault " << mode << ": " << answer.error
                  << answer.body;
    return false;
  }
  return true;
}

}  // namespace larkedi::testing
