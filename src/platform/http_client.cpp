#include "platform/http_client.h"

#include <atomic>

#include <curl/curl.h>

#include <mutex>

namespace larkedi {
namespace {

struct Sink {
  std::string* body;
  std::size_t max;
  bool overflow = false;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  std::size_t n = size * count;
  if (sink->body->size() + n > sink->max) {
    sink->overflow = true;
    return 0;  // makes curl stop with a write error
  }
  sink->body->append(data, n);
  return n;
}

class CurlClient final : public HttpClient {
 public:
  HttpResponse Send(const HttpRequest& request) override;
};

CurlClient& Curl() {
  static CurlClient client;
  return client;
}

std::atomic<HttpClient*> g_client{nullptr};

}  // namespace

HttpClient* HttpClient::Default() {
  HttpClient* client = g_client.load();
  return client ? client : &Curl();
}

HttpClient* HttpClient::SetDefault(HttpClient* client) {
  HttpClient* previous = g_client.exchange(client == &Curl() ? nullptr : client);
  return previous ? previous : &Curl();
}

HttpResponse HttpSend(const HttpRequest& request) {
  return HttpClient::Default()->Send(request);
}

HttpResponse CurlClient::Send(const HttpRequest& request) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  HttpResponse response;
  CURL* curl = curl_easy_init();
  if (!curl) {
    response.error = "Cannot start an HTTP request";
    return response;
  }
  curl_slist* headers = nullptr;
  for (const auto& [name, value] : request.headers) {
    headers = curl_slist_append(headers, (name + ": " + value).c_str());
  }
  // curl adds "Expect: 100-continue" to larger posts; some servers stall on it.
  headers = curl_slist_append(headers, "Expect:");

  Sink sink{&response.body, request.max_response_bytes};
  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, request.connect_timeout_ms);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, request.total_timeout_ms);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!request.ca_file.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, request.ca_file.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  if (request.method == "POST") {
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
  } else if (request.method != "GET") {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    if (!request.body.empty()) {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(request.body.size()));
    }
  }

  CURLcode rc = curl_easy_perform(curl);
  if (rc == CURLE_OK) {
    response.completed = true;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    char* type = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) {
      response.content_type = type;
    }
  } else if (sink.overflow) {
    response.error = "The answer is larger than " + std::to_string(sink.max) + " bytes";
    response.body.clear();
  } else {
    response.error = curl_easy_strerror(rc);
    response.body.clear();
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return response;
}

}  // namespace larkedi
