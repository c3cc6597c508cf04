// Sending 200 purchase orders to the simulated partner gateway through the built-in XML
// connector ("ConnectMethodOrca.spooler", driven as the send pipeline drives it) against
// bare libcurl POSTs of the same documents, both in one run against the same simulator.
//
// The simulator (larkedi-partner-sim beside the benchmarks in <build>/tools, or the one
// LARKEDI_PARTNER_SIM names) runs on loopback without a data folder, so no disk writes
// blur the comparison. Each round sends the 200 orders every way, the ways taking turns
// order by order; the counters are the median per-order times and the median of the
// rounds' ratios:
//   curl_ms_per_order, connector_ms_per_order, ratio            sendfiles only
//   flow_ms_per_order, ratio_flow                               create the object,
//                                                               connectioncount,
//                                                               testconnection, sendfiles
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/automation/automation.h"
#include "sending/connect_method_orca.h"
#include "support/module.h"

namespace {

using larkedi::automation::Variant;
using Clock = std::chrono::steady_clock;

constexpr int kOrders = 200;

std::string SimExe() {
  if (const char* path = std::getenv("LARKEDI_PARTNER_SIM")) return path;
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (self.parent_path().parent_path() / "tools" / "larkedi-partner-sim").string();
}

/// The simulator as a child process on a free loopback port.
class Sim {
 public:
  explicit Sim(const std::string& dir) {
    const std::string data = dir + "/partners.json";
    std::ofstream(data) << R"({"dealers": [{"email": "shop@example.com", "password": "pw"}]})";
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      const std::string exe = SimExe();
      execl(exe.c_str(), exe.c_str(), "--data", data.c_str(), "--port", "0",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    FILE* out = fdopen(fds[0], "r");
    char line[512];
    const std::string prefix = "listening on http://127.0.0.1:";
    while (out && fgets(line, sizeof line, out)) {
      std::string text(line);
      std::size_t at = text.find(prefix);
      if (at != std::string::npos) {
        port_ = std::atoi(text.c_str() + at + prefix.size());
        break;
      }
    }
    out_ = out;
  }
  ~Sim() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (out_) fclose(out_);
  }
  Sim(const Sim&) = delete;
  Sim& operator=(const Sim&) = delete;
  int port() const { return port_; }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  pid_t pid_ = -1;
  int port_ = -1;
  FILE* out_ = nullptr;
};

/// A purchase order of some forty lines (about 8 KB), as the default conversion makes it.
std::string PurchaseOrder(int n) {
  std::string po = "<PURCHASEORDER><POHEADER><PONUMBER>PO-" + std::to_string(n) +
                   "</PONUMBER><GLOBALID>BENCH" + std::to_string(n) +
                   "</GLOBALID><JOBNAME>Kitchen</JOBNAME></POHEADER><PODETAILS><CATALOG>Base"
                   "</CATALOG><MANUFID>100</MANUFID><DEALERID>shop@example.com</DEALERID>"
                   "</PODETAILS><POLINES>";
  for (int i = 1; i <= 40; ++i) {
    po += "<ITEM><CATNAME>Base</CATNAME><LINENUMBER>" + std::to_string(i) + "</LINENUMBER><SKU>B" +
          std::to_string(300 + i) +
          "</SKU><DESCRIPTION>Base cabinet, two doors</DESCRIPTION><QTY>1</QTY>"
          "<WIDTH>30</WIDTH><HEIGHT>34.5</HEIGHT><DEPTH>24</DEPTH></ITEM>";
  }
  return po + "</POLINES></PURCHASEORDER>";
}

size_t Keep(char* data, size_t size, size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

/// One bare POST as a client without any module code would make it.
bool CurlPost(const std::string& url, const std::string& body) {
  CURL* curl = curl_easy_init();
  if (!curl) return false;
  std::string answer;
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml; charset=utf-8");
  headers = curl_slist_append(headers, "Expect:");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Keep);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
  long status = 0;
  bool ok = curl_easy_perform(curl) == CURLE_OK &&
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return ok;
}

std::string Parameter(const std::string& data = "") {
  std::string p = "<InputParameter><PartnerCode><![CDATA[NWC]]></PartnerCode>";
  if (!data.empty()) p += "<Data>" + data + "</Data>";
  return p + "</InputParameter>";
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double MsPerOrder(Clock::duration total) {
  return std::chrono::duration<double, std::milli>(total).count() / kOrders;
}

void BM_SendOrdersThroughConnector(benchmark::State& state) {
  char tmpl[] = "/tmp/larkedi-send-bench-XXXXXX";
  if (!mkdtemp(tmpl)) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string dir = tmpl;
  {
    Sim sim(dir);
    if (sim.port() <= 0) {
      state.SkipWithError(("the simulator did not start: " + SimExe()).c_str());
      std::filesystem::remove_all(dir);
      return;
    }
    larkedi::SetModuleFolder(dir);
    larkedi::RegisterConnectMethodOrca();
    {
      larkedi::ConnectMethodOrca setup(dir);
      if (setup.AddServer("NWC", sim.url())) {
        state.SkipWithError("cannot write the server list");
        return;
      }
    }
    std::vector<std::string> orders;
    for (int i = 0; i < kOrders; ++i) orders.push_back(PurchaseOrder(i));
    const std::string receive = sim.url() + "/gateway/receive?partner=NWC";

    std::vector<double> curl_ms, connector_ms, flow_ms, ratios, flow_ratios;
    for (auto _ : state) {
      larkedi::Err err;
      auto object = larkedi::automation::CreateObject("ConnectMethodOrca.spooler", &err);
      if (!object) {
        state.SkipWithError(err.Description.c_str());
        break;
      }
      // The three ways take turns order by order, so that a simulator slowing down as its
      // list of received orders grows weighs on each of them alike.
      Clock::duration bare_time{}, connector_time{}, flow_time{};
      for (const auto& order : orders) {
        auto start = Clock::now();
        if (!CurlPost(receive, order)) state.SkipWithError("a bare POST failed");
        bare_time += Clock::now() - start;

        start = Clock::now();
        std::vector<Variant> args = {Variant(Parameter(order))};
        Variant sent;
        if (object->Call("sendfiles", args, &sent) || !sent.AsBool()) {
          state.SkipWithError("the connector did not send an order");
        }
        connector_time += Clock::now() - start;

        // The whole per-order flow of the pipeline: a fresh object, server count and check.
        start = Clock::now();
        auto fresh = larkedi::automation::CreateObject("ConnectMethodOrca.spooler", &err);
        std::vector<Variant> connection = {Variant(Parameter())};
        std::vector<Variant> flow_args = {Variant(Parameter(order))};
        Variant count, found;
        if (!fresh || fresh->Call("connectioncount", connection, &count) ||
            fresh->Call("testconnection", connection, &found) || found.IsNull() ||
            fresh->Call("sendfiles", flow_args, &sent) || !sent.AsBool()) {
          state.SkipWithError("the connector flow failed");
        }
        flow_time += Clock::now() - start;
      }
      const double bare = MsPerOrder(bare_time);
      const double connector = MsPerOrder(connector_time);
      const double flow = MsPerOrder(flow_time);

      curl_ms.push_back(bare);
      connector_ms.push_back(connector);
      flow_ms.push_back(flow);
      ratios.push_back(connector / bare);
      flow_ratios.push_back(flow / bare);
    }
    state.counters["curl_ms_per_order"] = Median(curl_ms);
    state.counters["connector_ms_per_order"] = Median(connector_ms);
    state.counters["ratio"] = Median(ratios);
    state.counters["flow_ms_per_order"] = Median(flow_ms);
    state.counters["ratio_flow"] = Median(flow_ratios);
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SendOrdersThroughConnector)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
