// Settings documents and designs shared by the order stack tests.
#pragma once

#include <string>
#include <vector>

#include "platform/xml/xml.h"

namespace larkedi::testing {

struct CatalogRow {
  std::string id, code, partner;
};

// What the command line's stack commands read besides the folders.
inline const std::string kCommandSettings =
    "<METHOD><ID>1</ID><NAME>x</NAME></METHOD><TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
    "<SORTORDER>NS</SORTORDER>";

// Spool and archive folders in `dir`; partner 1, and partner 2 that wants the kit file.
inline std::string StackSettings(const std::string& dir, const std::vector<CatalogRow>& catalogs,
                                 const std::string& extra = "") {
  std::string s = "<SETTINGS><SPOOLPATH>" + dir + "/Send</SPOOLPATH><ARCHIVEPATH>" + dir +
                  "/Archive</ARCHIVEPATH><PARTNER><ID>1</ID><NAME>Alpha</NAME></PARTNER>"
                  "<PARTNER><ID>2</ID><NAME>Beta</NAME><KITFILEID>1</KITFILEID></PARTNER>" +
                  extra;
  for (const CatalogRow& c : catalogs) {
    s += "<CATALOG><ID>" + c.id + "</ID><CODE>" + xml::EscapeXmlText(c.code) +
         "</CODE><PARTNERID>" + c.partner + "</PARTNERID></CATALOG>";
  }
  return s + "</SETTINGS>";
}

// A design as the host hands it in, with one catalog per name, each holding `items`.
inline std::string DesignXml(const std::string& file, const std::vector<std::string>& catalogs,
                             const std::string& number = "PO-7", const std::string& computer = "PC",
                             const std::string& items = "<Item><Number>1</Number></Item>") {
  std::string d = "<Design><JobInfo><Header><ComputerName>" + computer + "</ComputerName><Number>" +
                  number + "</Number><GlobalID/><DateBias/></Header><FileName>" + file +
                  "</FileName><Profile><Type>BillTo</Type><Contact><Type>Designer</Type>"
                  "<Name Type=\"FullName\">Dana Designer</Name></Contact></Profile></JobInfo>";
  for (const std::string& c : catalogs) {
    d += "<Catalog><Identification><Name>" + xml::EscapeXmlText(c) + "</Name></Identification>" +
         items + "</Catalog>";
  }
  return d + "</Design>";
}

}  // namespace larkedi::testing
