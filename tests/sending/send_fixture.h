// A module for send tests: its own registry store (served connectors and the host project
// server are registered there), settings with the partners a test names, designs stacked
// as `larkedi stack add` stacks them, and send runs as `larkedi send` makes them.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "host/frm_edi.h"
#include "platform/registry/registry_store.h"
#include "platform/xml/xml.h"
#include "platform/zip/zip.h"
#include "sending/send_pipeline.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi::testing {

/// One partner of the settings: code, catalogs (their names are their codes), method ID,
/// whether it takes whole orders (MULTICATSEND), its name (default "<code> Cabinets"),
/// whether it is a free-EDI partner (no dealer ID, no conversion) and its manufacturer ID.
struct PartnerSpec {
  std::string code;
  std::vector<std::string> catalogs;
  std::string method_id = "1";
  bool whole_order = false;
  std::string name = {};
  bool free_edi = false;
  std::string manuf_id = {};
};

struct RowCollector final : SendObserver {
  std::vector<SendRow> rows;
  void OrderDone(const SendRow& row) override { rows.push_back(row); }
};

/// A design with one catalog per name, each holding one item, a billing address, and the
/// host's project keys (left out when empty; with neither key the design has no PrjDbKeys).
inline std::string DesignText(const std::string& number, const std::vector<std::string>& catalogs,
                              const std::string& project_key = "70000",
                              const std::string& design_key = "12") {
  std::string keys;
  if (!project_key.empty()) keys += "<ProjectKey>" + project_key + "</ProjectKey>";
  if (!design_key.empty()) keys += "<DesignKey>" + design_key + "</DesignKey>";
  if (!keys.empty()) keys = "<PrjDbKeys>" + keys + "</PrjDbKeys>";
  std::string d = "<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName><Number>" +
                  number + "</Number><GlobalID/>" + keys + "</Header><FileName>" + number +
                  ".kit</FileName><Profile><Type>BillTo</Type><Location><Type>Main</Type>"
                  "<Address>old street</Address><Address>old unit</Address><City>Old town</City>"
                  "<State>QC</State><Zip>H0H</Zip></Location></Profile></JobInfo>";
  int line = 0;
  for (const auto& c : catalogs) {
    ++line;
    d += "<Catalog><Identification><Name><![CDATA[" + c +
         "]]></Name></Identification><Item><LineItemNumber>" + std::to_string(line) +
         "</LineItemNumber><Code>ITEM-" + number + "-" + std::to_string(line) +
         "</Code><Qty>1</Qty></Item></Catalog>";
  }
  return d + "</Design></Designs>";
}

/// Entry name -> bytes of the zip archive at `zip_path`.
inline std::map<std::string, std::string> ZipEntries(const std::string& zip_path) {
  std::map<std::string, std::string> out;
  std::string error;
  auto zip = zip::Archive::Open(ReadFileOrEmpty(zip_path), &error);
  EXPECT_TRUE(zip) << zip_path << ": " << error;
  for (int i = 0; zip && i < zip->EntryCount(); ++i) {
    std::string data;
    EXPECT_TRUE(zip->ReadEntry(i, &data, &error)) << error;
    out[zip->EntryName(i)] = data;
  }
  return out;
}

/// The built-in XML connector's settings with short time-outs, so lost answers end quickly.
inline void WriteOrcaConfig(const std::string& module_dir, const std::string& body = "") {
  WriteFileOrDie(module_dir + "/ConnectMethodOrca.xml",
                 "<ConnectMethodOrca><CONNECTTIMEOUTMS>2000</CONNECTTIMEOUTMS><TIMEOUTMS>3000"
                 "</TIMEOUTMS><HEALTHTIMEOUTMS>2000</HEALTHTIMEOUTMS>" +
                     body + "</ConnectMethodOrca>");
}

class SendFixture : public ::testing::Test {
 protected:
  SendFixture() { ::setenv("LARKEDI_REGISTRY_DIR", module_.path("registry").c_str(), 1); }
  ~SendFixture() override { ::unsetenv("LARKEDI_REGISTRY_DIR"); }

  /// Writes the settings: method 1 is the connector `connector` (served `Fake` by default),
  /// method 2 the legacy program `edi/60/send-order` of the host application folder.
  void WriteSettings(const std::vector<PartnerSpec>& partners,
                     const std::string& connector = "Fake") {
    std::string s =
        "<SETTINGS><METHOD><ID>1</ID><NAME>" + connector + "</NAME><OBJECTNAME>" + connector +
        "</OBJECTNAME></METHOD><METHOD legacy=\"1\"><ID>2</ID><NAME>Legacy EDI</NAME>"
        "<OBJECTNAME>LEG</OBJECTNAME><EXEPATH>send-order</EXEPATH></METHOD><SPOOLPATH>" +
        module_.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" + module_.path("Archive") +
        "</ARCHIVEPATH><SORTORDER>NS</SORTORDER>";
    int id = 0;
    int catalog_id = 0;
    for (const auto& p : partners) {
      const std::string name = p.name.empty() ? p.code + " Cabinets" : p.name;
      s += std::string(p.free_edi ? "<PARTNER freeedi=\"1\">" : "<PARTNER>") + "<ID>" +
           std::to_string(++id) + "</ID><NAME>" + xml::EscapeXmlText(name) + "</NAME><CODE>" +
           p.code + "</CODE><MANUFID>" + (p.manuf_id.empty() ? "M-" + p.code : p.manuf_id) +
           "</MANUFID><DEALERID>" + (p.free_edi ? "" : "D-" + p.code) + "</DEALERID><METHODID>" +
           p.method_id + "</METHODID>" +
           (p.free_edi ? "" : "<TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>");
      if (p.whole_order) s += "<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE>";
      s += "</PARTNER>";
      for (const auto& c : p.catalogs) {
        s += "<CATALOG><ID>" + std::to_string(++catalog_id) + "</ID><CODE><![CDATA[" + c +
             "]]></CODE><PARTNERID>" + std::to_string(id) + "</PARTNERID></CATALOG>";
      }
    }
    WriteFileOrDie(module_.path("larkEDI.xml"), s + "</SETTINGS>");
    module_.Restart();
  }

  /// Registers the served class `prog_id` in this module's registry store.
  static void RegisterServer(const std::string& prog_id, const std::string& command_line) {
    ASSERT_TRUE(
        registry::RegistrySetString("HKCR\\" + prog_id + "\\LocalServer32", "", command_line));
  }
  /// The served connector Fake.spooler, keeping what it accepts in `store()`.
  void RegisterConnector(const std::string& options = "") {
    RegisterServer("Fake.spooler", std::string(LARKEDI_TOOLS_OUT) +
                                       "/larkedi-fake-connector --store=" + store() + " " +
                                       options);
  }
  std::string store() const { return module_.path("received"); }

  /// Stacks `design` as `larkedi stack add` does.
  static void Stack(const std::string& design) {
    frmEDI edi;
    ASSERT_FALSE(edi.OpenHeadless());
    std::string text = design;
    int status = 0;
    ASSERT_TRUE(edi.Orders.TakeInStartupInput(text, status));
    edi.Orders.LoadOrders(false, text);
    ASSERT_FALSE(edi.Orders.LoadStatus);
  }

  /// One send run on a freshly loaded stack (partners OAK, ELM and ASH have the password
  /// "pw"); `prepare` may edit the loaded stack first.
  std::vector<SendRow> Send(const std::function<void(OrderStack&)>& prepare = {},
                            bool* settings_changed = nullptr) {
    frmEDI edi;
    EXPECT_FALSE(edi.OpenHeadless());
    OrderStack::Transaction transaction(edi.Orders);
    edi.Orders.LoadOrders(false);
    if (prepare) prepare(edi.Orders);
    SendJournal journal(module_.dir());
    SendOrders sender(edi.Orders, journal);
    for (const char* code : {"OAK", "ELM", "ASH"}) sender.SetPartnerPassword(code, "pw");
    RowCollector rows;
    EXPECT_TRUE(sender.Run(&rows));
    if (settings_changed) *settings_changed = sender.settings_changed();
    return rows.rows;
  }

  /// Catalog names of the order groups stacked on disk now, one list per group.
  std::vector<std::vector<std::string>> StackedOrders() {
    frmEDI edi;
    EXPECT_FALSE(edi.OpenHeadless());
    edi.Orders.LoadOrders(false);
    std::vector<std::vector<std::string>> out;
    for (xml::Node group : edi.Orders.docOrders.selectNodes("//ORDERGROUP")) {
      std::vector<std::string> names;
      for (xml::Node cid : group.selectNodes("CATALOGID")) {
        names.push_back(
            group.parentNode()
                .selectSingleNode("Catalog[ID='" + cid.text() + "']/Identification/Name")
                .text());
      }
      out.push_back(names);
    }
    return out;
  }

  /// The journal's entries, oldest first.
  std::vector<JournalEntry> Journal() {
    SendJournal journal(module_.dir());
    std::vector<JournalEntry> entries;
    EXPECT_FALSE(journal.History({}, &entries));
    return {entries.rbegin(), entries.rend()};
  }

  TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
};

}  // namespace larkedi::testing
