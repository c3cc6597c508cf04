// larkedi-window-harness: a window with a small test page, driven by the browser tests.
//
//   larkedi-window-harness [--no-browser] [--app BROWSER] [--html-dir DIR] [--gone-after MS]
//
// The first line of standard output is the window's address; without --no-browser the
// window also opens in the user's browser (or as an app window of BROWSER). Then one line per thing
// the window saw ("event click fDocB clickme1", "msgbox no", "closed page-gone"), so a
// test can follow the module's side. The program ends when the window closes.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "platform/ui/page_dialogs.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/window_server.h"

namespace {

using larkedi::MsgButtons;
using larkedi::MsgIcon;
using larkedi::MsgResult;
using namespace larkedi::ui;

const char kMainPage[] = R"(<html><head>
<link rel="stylesheet" type="text/css" href="larkedi.css"/></head>
<body>
<h3 id="heading">Window harness</h3>
<p><button id="clickme1">Click me</button> <span id="counter">clicks: 0</span></p>
<p><button id="slowbutton">Slow operation</button> <span id="slow">slow runs: 0</span></p>
<p><button id="askbutton">Ask</button> <span id="answer"></span></p>
<p><button id="inputbutton">Input</button> <span id="typed"></span></p>
<p><button id="folderbutton">Folder</button> <span id="folder"></span></p>
<p><button id="panelbutton">Panel</button> <button id="printbutton">Print</button></p>
<form id="orderform">
<input type="text" id="ponumber3" value=""/>
<input type="checkbox" id="ordercheck5"/>
<select id="sortlist"><option value="a">A</option><option value="b">B</option></select>
</form>
<p><a id="editcatalog7" href="elsewhere.htm">Edit catalog</a></p>
<div id="progress" style="width: 0%; background: #3366cc">&#160;</div>
</body></html>)";

const char* KindName(EventKind kind) {
  switch (kind) {
    case EventKind::Click:
      return "click";
    case EventKind::KeyDown:
      return "keydown";
    case EventKind::KeyUp:
      return "keyup";
    case EventKind::Change:
      return "change";
    case EventKind::Input:
      return "input";
    case EventKind::ContextMenu:
      return "contextmenu";
    case EventKind::Error:
      return "error";
    case EventKind::Complete:
      return "complete";
    case EventKind::Geometry:
      return "geometry";
  }
  return "?";
}

const char* ResultName(MsgResult r) {
  switch (r) {
    case MsgResult::OK:
      return "ok";
    case MsgResult::Cancel:
      return "cancel";
    case MsgResult::Yes:
      return "yes";
    case MsgResult::No:
      return "no";
  }
  return "?";
}

void Say(const std::string& line) {
  std::cout << line << std::endl;
}

std::string DefaultHtmlDir(const char* argv0) {
  if (const char* dir = std::getenv("LARKEDI_MODULE_DIR")) return std::string(dir) + "/html";
  std::error_code ec;
  auto exe = std::filesystem::canonical("/proc/self/exe", ec);
  if (ec) exe = std::filesystem::absolute(argv0);
  return (exe.parent_path().parent_path() / "module" / "html").string();
}

}  // namespace

int main(int argc, char** argv) {
  WindowOptions options;
  options.html_dir = DefaultHtmlDir(argv[0]);
  bool open_browser = true;
  std::string app_browser;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--no-browser") {
      open_browser = false;
    } else if (arg == "--app" && i + 1 < argc) {
      app_browser = argv[++i];
    } else if (arg == "--html-dir" && i + 1 < argc) {
      options.html_dir = argv[++i];
    } else if (arg == "--gone-after" && i + 1 < argc) {
      options.page_gone_after = std::chrono::milliseconds(std::atoi(argv[++i]));
    } else {
      std::cerr << "usage: larkedi-window-harness [--no-browser] [--app BROWSER] "
                   "[--html-dir DIR] [--gone-after MS]\n";
      return 2;
    }
  }

  UiLoop loop;
  WindowServer window(loop, options);
  PageDialogs dialogs(window);
  std::string error;
  if (!window.Start(&error)) {
    std::cerr << error << "\n";
    return 1;
  }
  window.Frame("fDocA")->LoadHtml(
      "<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"larkedi.css\"/></head>"
      "<body class=\"banner\"><span class=\"banner-title\">LarkEDI</span></body></html>");
  window.Frame("fDocB")->LoadHtml(kMainPage);
  window.Frame("fDocC")->LoadHtml("<html><body id=\"strip\"></body></html>");
  window.WindowModel().GetElementById("menubar").setInnerHTML(
      "<button id=\"tool1\">Home</button><button id=\"tool2\">Orders</button>"
      "<button id=\"tool7\">Close</button>");
  Say(window.Address());
  if (open_browser && !OpenWindowInBrowser(window.Address(), app_browser, &error)) {
    std::cerr << error << "\n";
  }

  int clicks = 0;
  int slow_runs = 0;
  window.SetEventHandler([&](const PageEvent& e) {
    FrameModel& page = *window.Frame("fDocB");
    std::string line = std::string("event ") + KindName(e.kind) + " " + e.frame + " " + e.id;
    if (e.kind == EventKind::KeyUp) {
      line += " key=" + e.key;
      if (e.id == "ponumber3") line += " value=" + page.GetElementById("ponumber3").value();
    }
    if (e.kind == EventKind::Click && e.id == "ordercheck5") {
      line += std::string(" checked=") + (page.GetElementById("ordercheck5").checked() ? "1" : "0");
    }
    Say(line);
    if (e.kind == EventKind::Complete) return false;
    if (e.kind != EventKind::Click) return false;
    if (e.id == "clickme1") {
      page.GetElementById("counter").setInnerText("clicks: " + std::to_string(++clicks));
      page.GetElementById("progress").setStyleWidth(std::to_string(clicks * 10) + "%");
    } else if (e.id == "slowbutton") {
      // An operation that takes a while: clicks meanwhile are dropped.
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      page.GetElementById("slow").setInnerText("slow runs: " + std::to_string(++slow_runs));
    } else if (e.id == "askbutton") {
      MsgResult r = dialogs.MsgBoxWithDefault("Send the orders <now>?", MsgButtons::YesNoCancel,
                                              MsgIcon::Question, "Harness", 1);
      Say(std::string("msgbox ") + ResultName(r));
      page.GetElementById("answer").setInnerText(ResultName(r));
    } else if (e.id == "inputbutton") {
      auto text = dialogs.InputBox("Purchase order number:", "Harness", "PO-1");
      Say("inputbox " + (text ? "=" + *text : std::string("cancel")));
      page.GetElementById("typed").setInnerText(text ? *text : "");
    } else if (e.id == "folderbutton") {
      auto folder = dialogs.PickFolder("Choose a folder", options.html_dir);
      Say("folder " + (folder ? "=" + *folder : std::string("cancel")));
      page.GetElementById("folder").setInnerText(folder ? *folder : "");
    } else if (e.id == "panelbutton") {
      window.ShowPanel(window.FileUrl("blank.htm"));
    } else if (e.id == "tool1") {
      window.HidePanel();
    } else if (e.id == "printbutton") {
      window.PrintPreview(
          "<p id=\"printed\">Printed: " + page.GetElementById("counter").innerText() + "</p>");
    } else if (e.id == "tool7") {
      window.RequestClose();
    }
    return false;
  });
  window.SetCloseHandler([&](CloseReason reason) {
    Say(reason == CloseReason::PageGone ? "closed page-gone" : "closed requested");
    loop.Quit();
  });
  loop.Run();
  window.Stop();
  return 0;
}
