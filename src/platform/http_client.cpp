#include "platform/http_client.h"

#include <curl/curl.h>

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

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

// Asks curl to stop the transfer once the request's abort flag is set.
int AbortCheck(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* abort = static_cast<const std::atomic<bool>*>(user);
  return abort->load() ? 1 : 0;
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
  if (request.abort) {
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, AbortCheck);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA,
                     const_cast<std::atomic<bool>*>(request.abort.get()));
  }
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
  } else if (rc == CURLE_ABORTED_BY_CALLBACK) {
    response.error = "aborted";
    response.body.clear();
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

// What the fetch's thread and its owner share. `post` and `done` are only touched under
// `mu` by the thread, and cleared under it by Cancel, so after Cancel the thread can no
// longer reach either.
struct HttpFetch::State {
  std::mutex mu;
  PostTask post;
  Done done;
  std::shared_ptr<std::atomic<bool>> abort = std::make_shared<std::atomic<bool>>(false);
};

bool HttpFetch::Start(HttpRequest request, PostTask post, Done done, std::string* error) {
  Cancel();
  auto state = std::make_shared<State>();
  state->post = std::move(post);
  state->done = std::move(done);
  request.abort = state->abort;
  try {
    std::thread([state, request = std::move(request)]() mutable {
      HttpResponse response = HttpSend(request);
      std::lock_guard<std::mutex> lock(state->mu);
      if (!state->post) return;  // dropped meanwhile
      state->post([state, response = std::move(response)] {
        Done deliver;
        {
          std::lock_guard<std::mutex> guard(state->mu);
          deliver = std::move(state->done);
          state->done = nullptr;
          state->post = nullptr;
        }
        if (deliver) deliver(response);
      });
    }).detach();
  } catch (const std::system_error& e) {
    if (error) *error = std::string("Cannot start the request: ") + e.what();
    return false;
  }
  state_ = std::move(state);
  return true;
}

void HttpFetch::Cancel() {
  if (!state_) return;
  state_->abort->store(true);
  {
    std::lock_guard<std::mutex> lock(state_->mu);
    state_->post = nullptr;
    state_->done = nullptr;
  }
  state_.reset();
}

bool HttpFetch::Pending() const {
  if (!state_) return false;
  std::lock_guard<std::mutex> lock(state_->mu);
  return static_cast<bool>(state_->done);
}

}  // namespace larkedi
