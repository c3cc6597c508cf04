// The settings files the window and command-line tests write: the module's own Send and
// Archive folders, the style sheet, the sort order, and the methods, partners and catalogs
// each test names in one call apiece; the order stack as another process reads it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host/frm_edi.h"
#include "testing/temp_module.h"

namespace larkedi::testing {

inline std::string Method(int id, const std::string& name, const std::string& object,
                          bool legacy = false) {
  return std::string(legacy ? "<METHOD legacy=\"1\">" : "<METHOD>") + "<ID>" + std::to_string(id) +
         "</ID><NAME>" + name + "</NAME><OBJECTNAME>" + object + "</OBJECTNAME></METHOD>";
}

// A partner; an empty code or manufacturer is left out. `more` is appended inside.
inline std::string Partner(int id, const std::string& code, const std::string& name,
                           const std::string& manuf, int method, const std::string& more = "") {
  return "<PARTNER><ID>" + std::to_string(id) + "</ID>" +
         (code.empty() ? "" : "<CODE>" + code + "</CODE>") + "<NAME>" + name + "</NAME>" +
         (manuf.empty() ? "" : "<MANUFID>" + manuf + "</MANUFID>") + "<METHODID>" +
         std::to_string(method) + "</METHODID>" + more + "</PARTNER>";
}

inline std::string Catalog(int id, const std::string& code, int partner) {
  return "<CATALOG><ID>" + std::to_string(id) + "</ID><CODE>" + code + "</CODE><PARTNERID>" +
         std::to_string(partner) + "</PARTNERID></CATALOG>";
}

inline void WriteSettings(const TempModule& module, const std::string& body) {
  WriteFileOrDie(module.path("larkEDI.xml"),
                 "<SETTINGS><SPOOLPATH>" + module.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" +
                     module.path("Archive") +
                     "</ARCHIVEPATH><TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
                     "<SORTORDER>NS</SORTORDER>" +
                     body + "</SETTINGS>");
}

// The order stack as another process loads it from the spool folder.
inline xml::Document ReloadedOrders() {
  frmEDI other;
  EXPECT_FALSE(other.OpenHeadless());
  other.Orders.LoadOrders(false);
  return other.Orders.docOrders;
}

}  // namespace larkedi::testing
