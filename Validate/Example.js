// Example manufacturer validation script for LarkEDI.
//
// A manufacturer's script is Validate/<MANUFID>.js beside the module, where <MANUFID> is the
// partner's manufacturer identifier. This file is named Example.js so that it runs for no
// partner (a new partner's identifier is "MANUF"); copy it to <MANUFID>.js to use it.
//
// It checks one catalog of a design:
//   - a catalog without items cannot be ordered: abort (ACTION 2);
//   - items without a quantity of at least 1 stop the order: abort (ACTION 2);
//   - wall cabinets (codes starting with "W") without a hinge side: warning (ACTION 1);
//   - otherwise it stamps the design's catalog with the date of the check.

var SCRIPT_VERSION = "1.0";

// Puts an ERROR element into docError. action: "1" warning, "2" abort.
function Report(code, description, message, action) {
  var error = docError.createElement("ERROR");
  function add(name, node) {
    var e = docError.createElement(name);
    e.appendChild(node);
    error.appendChild(e);
  }
  add("CODE", docError.createTextNode(code));
  add("DESCRIPTION", docError.createCDATASection(description));
  add("MESSAGE", docError.createCDATASection(message));
  add("ACTION", docError.createTextNode(action));
  docError.appendChild(error);
}

function CatalogName() {
  var name = docCatalog.selectSingleNode("/Catalog/Identification/Name");
  return name === null ? "" : name.text;
}

function Validate() {
  var items = docCatalog.selectNodes("/Catalog//Item");
  if (items.length === 0) {
    Report("EX1", "empty catalog", "Catalog " + CatalogName() + " has no items.", "2");
    return;
  }

  var noQuantity = [];
  var noHinge = [];
  for (var i = 0; i < items.length; i++) {
    var item = items.item(i);
    var code = item.selectSingleNode("Code");
    var codeText = code === null ? "(no code)" : code.text;
    var qty = item.selectSingleNode("Qty");
    if (qty === null || !(Number(qty.text) >= 1)) noQuantity.push(codeText);
    if (codeText.charAt(0) === "W" && item.selectSingleNode("Hinge") === null) {
      noHinge.push(codeText);
    }
  }

  if (noQuantity.length > 0) {
    Report("EX2", "missing quantity",
           "These items have no quantity: " + noQuantity.join(", ") + ".", "2");
    return;
  }
  if (noHinge.length > 0) {
    Report("EX3", "hinge side",
           "Please give the hinge side of: " + noHinge.join(", ") + ".", "1");
    return;
  }

  // Everything is in order: stamp the catalog in the design. Changes to docDesign are kept
  // only when no ERROR is reported.
  var catalogId = docCatalog.selectSingleNode("/Catalog/ID");
  var target = catalogId === null ? null
      : docDesign.selectSingleNode("/Design/Catalog[ID='" + catalogId.text + "']");
  if (target !== null) {
    var stamp = target.selectSingleNode("ValidatedBy");
    if (stamp === null) stamp = target.appendChild(docDesign.createElement("ValidatedBy"));
    stamp.text = "Example.js " + SCRIPT_VERSION;
    stamp.setAttribute("date", new Date().toISOString().substring(0, 10));
  }
}
