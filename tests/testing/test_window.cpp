#include "testing/test_window.h"

#include <utility>

namespace larkedi::testing {

TestSurface::TestSurface(Options options) : options_(options) {
  window_.LoadHtml(
      "<html><body><div id=\"menubar\"></div><div id=\"frameset\"></div></body></html>");
}

ui::FrameModel* TestSurface::Frame(const std::string& name) {
  if (name == "fDocA") return &a_;
  if (name == "fDocB") return &b_;
  if (name == "fDocC") return &c_;
  return nullptr;
}

void TestSurface::PumpMessages() {
  ++pumps;
  if (options_.pump_runs_tasks) RunQueued();
}

bool TestSurface::ShowSitePanel(const std::string& address, const std::string& site) {
  if (!options_.accept_site_panel) return WindowSurface::ShowSitePanel(address, site);
  panel = address;
  return true;
}

void TestSurface::PostTask(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(mu_);
  tasks_.push_back(std::move(task));
  cv_.notify_all();
}

int TestSurface::RunAnswer(std::chrono::milliseconds wait) {
  {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait_for(lock, wait, [&] { return !tasks_.empty(); });
  }
  return RunQueued();
}

int TestSurface::RunQueued() {
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard<std::mutex> lock(mu_);
    tasks.swap(tasks_);
  }
  for (auto& t : tasks) t();
  return static_cast<int>(tasks.size());
}

ui::PageEvent Click(const std::string& frame, const std::string& id) {
  ui::PageEvent e;
  e.kind = ui::EventKind::Click;
  e.frame = frame;
  e.id = id;
  return e;
}

std::string OneDesignInput(const std::string& kit, const std::string& catalog) {
  return "<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName>"
         "<Number>N-1</Number><GlobalID/></Header><FileName>" +
         kit + "</FileName></JobInfo><Catalog><Identification><Name>" + catalog +
         "</Name></Identification><Item><Code>C1</Code><Qty>2</Qty><Text>drawer</Text></Item>"
         "</Catalog></Design></Designs>";
}

void WriteOnePartnerSettings(const TempModule& module, const std::string& partner_name) {
  WriteFileOrDie(module.path("larkEDI.xml"),
                 "<SETTINGS><METHOD><ID>1</ID><NAME>x</NAME></METHOD><SPOOLPATH>" +
                     module.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" + module.path("Archive") +
                     "</ARCHIVEPATH><TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
                     "<SORTORDER>NS</SORTORDER><PARTNER><ID>1</ID><NAME>" +
                     partner_name +
                     "</NAME><MANUFID>ACME</MANUFID></PARTNER><CATALOG><ID>1</ID><CODE>ABC"
                     "</CODE><PARTNERID>1</PARTNERID></CATALOG></SETTINGS>");
}

}  // namespace larkedi::testing
