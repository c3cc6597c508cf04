#include "sim_server.h"

#include <chrono>
#include <thread>

namespace partnersim {

bool ParseMisbehaviour(const std::string& text, Misbehaviour* out) {
  if (text == "none")
    *out = Misbehaviour::None;
  else if (text == "html")
    *out = Misbehaviour::Html;
  else if (text == "empty")
    *out = Misbehaviour::Empty;
  else if (text == "huge")
    *out = Misbehaviour::Huge;
  else if (text == "fault")
    *out = Misbehaviour::Fault;
  else
    return false;
  return true;
}

PartnerSimServer::PartnerSimServer(PartnerData data, SimOptions options)
    : data_(std::move(data)),
      options_(std::move(options)),
      soap_(data_),
      log_(options_.log_path),
      store_(options_.data_dir, data_.orders),
      gateway_(store_, faults_, stopping_, [this](const httplib::Request& r) { Log(r); }),
      dealer_site_(data_, store_, [this](const httplib::Request& r) { Log(r); }) {
  faults_.Set(options_.gateway_fault);
  if (!options_.tls_cert.empty() || !options_.tls_key.empty()) {
    server_ =
        std::make_unique<httplib::SSLServer>(options_.tls_cert.c_str(), options_.tls_key.c_str());
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  Mount();
}

void PartnerSimServer::Log(const httplib::Request& req) {
  LoggedRequest entry;
  entry.method = req.method;
  entry.path = req.path;
  for (const auto& [name, value] : req.headers) {
    // httplib adds the peer's address as pseudo headers; they were not sent.
    if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
        name == "LOCAL_PORT") {
      continue;
    }
    entry.headers.emplace_back(name, value);
  }
  entry.body = req.body;
  log_.Append(entry);
}

void PartnerSimServer::Delay() {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.delay_ms);
  while (!stopping_ && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void PartnerSimServer::Mount() {
  server_->set_payload_max_length(16u << 20);
  MountWebService();
  gateway_.Mount(*server_);
  dealer_site_.Mount(*server_);

  // Everything else is logged too (a client at a wrong path shows in the log) and refused.
  auto not_found = [this](const httplib::Request& req, httplib::Response& res) {
    Log(req);
    res.status = 404;
    res.set_content("Not found", "text/plain");
  };
  server_->Post(".*", not_found);
  server_->Get(".*", not_found);
}

void PartnerSimServer::MountWebService() {
  // The service answers at any path ending in wsManufInfo.asmx, as a site can host it
  // below any folder.
  server_->Post(
      R"(.*/wsManufInfo\.asmx)", [this](const httplib::Request& req, httplib::Response& res) {
        Log(req);
        Delay();
        std::string action = req.has_header("SOAPAction") ? req.get_header_value("SOAPAction") : "";
        SoapAnswer answer;
        switch (options_.misbehave) {
          case Misbehaviour::Html:
            answer.content_type = "text/html";
            answer.body =
                "<html><head><title>Service Unavailable</title></head><body>"
                "<h1>Service Unavailable</h1><p>The server is down for maintenance.<br></p>"
                "</body></html>";
            break;
          case Misbehaviour::Empty:
            answer.body.clear();
            break;
          case Misbehaviour::Fault:
            answer = ManufInfoService::Fault("soap:Server", "The service is not available now.");
            break;
          case Misbehaviour::Huge: {
            answer = soap_.Answer(action, req.body);
            std::string pad = "<!--" + std::string(options_.huge_bytes, 'x') + "-->";
            std::size_t at = answer.body.rfind("</soap:Body>");
            if (at != std::string::npos) answer.body.insert(at, pad);
            break;
          }
          case Misbehaviour::None:
            answer = soap_.Answer(action, req.body);
            break;
        }
        res.status = answer.status;
        res.set_content(answer.body, answer.content_type.c_str());
      });
}

int PartnerSimServer::Bind(std::string* error) {
  if (!server_->is_valid()) {
    *error =
        "cannot use the certificate " + options_.tls_cert + " with the key " + options_.tls_key;
    return -1;
  }
  if (!store_.Open(error)) return -1;
  int port = options_.port;
  if (port == 0) {
    port = server_->bind_to_any_port(options_.host);
  } else if (!server_->bind_to_port(options_.host, port)) {
    port = -1;
  }
  if (port < 0) *error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port);
  return port;
}

bool PartnerSimServer::Serve() {
  return server_->listen_after_bind();
}

void PartnerSimServer::WaitUntilRunning() {
  for (int i = 0; i < 500 && !server_->is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void PartnerSimServer::Stop() {
  stopping_ = true;
  server_->stop();
}

}  // namespace partnersim
