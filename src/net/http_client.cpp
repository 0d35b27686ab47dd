#include "net/http_client.h"

#include <curl/curl.h>

#include <chrono>
#include <thread>

#include "cli/progress.h"
#include "net/internal/http_settings.h"

namespace {

constexpr std::string_view k_user_agent = "User-Agent: OrreryCLI/1.2.1";

// The transport failures worth another attempt: nothing reached the server
// or the answer broke off.
bool is_retryable(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_PARTIAL_FILE:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return true;
    default:
      return false;
  }
}

bool is_gateway_status(int status) { return status == 502 || status == 503 || status == 504; }

// Waits until a deadline on the monotonic clock, however often the sleep
// wakes early.
void sleep_ms(int milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_until(deadline);
}

size_t append_body(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const size_t bytes = size * count;
  if (bytes > k_max_http_body - body->size()) return 0;  // fails the attempt
  body->append(data, bytes);
  return bytes;
}

// The upload side of a PUT: the caller's bytes, read front to back.
struct UploadReader {
  std::string_view body;
  size_t position = 0;
};

size_t read_upload(char* buffer, size_t size, size_t count, void* user) {
  auto* reader = static_cast<UploadReader*>(user);
  const size_t bytes = std::min(size * count, reader->body.size() - reader->position);
  reader->body.copy(buffer, bytes, reader->position);
  reader->position += bytes;
  return bytes;
}

// Bytes of one exchange, on top of what the progress held before it.
struct TransferReport {
  Progress* progress;
  uint64_t before;
};

int report_transfer(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  auto* report = static_cast<TransferReport*>(user);
  report->progress->set_bytes(report->before + static_cast<uint64_t>(received + sent));
  return 0;
}

void set_progress_options(CURL* curl, TransferReport& report) {
  if (report.progress == nullptr) return;
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, report_transfer);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &report);
}

bool has_header(const HttpHeaders& headers, std::string_view name) {
  for (const std::string& line : headers) {
    if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 &&
        line[name.size()] == ':') {
      return true;
    }
  }
  return false;
}

// Frees a header list on every path out of an attempt. The request carries
// the caller's headers only: libcurl's own "Accept: */*" is withdrawn.
struct HeaderList {
  explicit HeaderList(const HttpHeaders& headers) {
    for (const std::string& line : headers) list = curl_slist_append(list, line.c_str());
    if (!has_header(headers, "Accept")) list = curl_slist_append(list, "Accept:");
  }
  ~HeaderList() { curl_slist_free_all(list); }
  HeaderList(const HeaderList&) = delete;
  HeaderList& operator=(const HeaderList&) = delete;

  curl_slist* list = nullptr;
};

void set_method_options(CURL* curl, HttpClient::Method method, UploadReader& upload,
                        Redirects redirects) {
  const curl_off_t size = static_cast<curl_off_t>(upload.body.size());
  switch (method) {
    case HttpClient::Method::get:
      curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, redirects == Redirects::follow ? 1L : 0L);
      break;
    case HttpClient::Method::post:
      curl_easy_setopt(curl, CURLOPT_POST, 1L);
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, size);
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, upload.body.empty() ? "" : upload.body.data());
      break;
    case HttpClient::Method::put:
      curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
      curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
      curl_easy_setopt(curl, CURLOPT_READFUNCTION, read_upload);
      curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, size);
      break;
  }
}

void set_common_options(CURL* curl, const std::string& url, const HttpSettings& settings) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, settings.connect_timeout_sec);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, settings.timeout_sec);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  // A URL from a configuration file or a redirect must not reach a local
  // file or another protocol, nor an unverified peer.
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(k_max_http_body));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
}

}  // namespace

struct HttpClient::Handle {
  ~Handle() {
    if (curl != nullptr) curl_easy_cleanup(curl);
  }
  CURL* curl = nullptr;
};

HttpClient::HttpClient() : handle_(std::make_unique<Handle>()) {
  curl_global_init(CURL_GLOBAL_ALL);
  handle_->curl = curl_easy_init();
}

HttpClient::~HttpClient() {
  handle_.reset();
  curl_global_cleanup();
}

HttpResponse HttpClient::get(const std::string& url, const HttpHeaders& headers,
                             Redirects redirects) {
  return perform(Method::get, url, {}, headers, redirects);
}

HttpResponse HttpClient::post(const std::string& url, std::string_view body,
                              const HttpHeaders& headers) {
  return perform(Method::post, url, body, headers, Redirects::stay);
}

HttpResponse HttpClient::put(const std::string& url, std::string_view body,
                             const HttpHeaders& headers) {
  return perform(Method::put, url, body, headers, Redirects::stay);
}

HttpResponse HttpClient::perform(Method method, const std::string& url, std::string_view body,
                                 const HttpHeaders& headers, Redirects redirects) {
  CURL* curl = handle_->curl;
  if (curl == nullptr) return {0, {}, "CURL not initialized"};
  const HttpSettings settings = read_http_settings();
  HttpResponse response;
  TransferReport report{progress_, progress_ ? progress_->bytes() : 0};
  for (int attempt = 0;; ++attempt) {
    if (attempt > 0) sleep_ms(backoff_delay_ms(attempt, settings.retry_base_ms));
    response = HttpResponse{};
    curl_easy_reset(curl);
    set_common_options(curl, url, settings);
    UploadReader upload{body};
    set_method_options(curl, method, upload, redirects);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
    HeaderList list(headers);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.list);
    set_progress_options(curl, report);

    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    if (code == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int>(status);
    if (code != CURLE_OK) response.error = curl_easy_strerror(code);
    const bool transient =
        code != CURLE_OK ? is_retryable(code) : method == Method::get && is_gateway_status(status);
    if (!transient || attempt + 1 >= settings.retry_max) break;
  }
  return response;
}

std::string describe_http_response(const HttpResponse& response) {
  if (!response.error.empty()) {
    if (response.status < 1) return response.error;
    return response.error + " (HTTP " + std::to_string(response.status) + ")";
  }
  const std::string number = std::to_string(response.status);
  switch (response.status) {
    case 401:
      return "401 Unauthorized — проверь токен авторизации (`orrery login` или переменные "
             "окружения с токеном).";
    case 403:
      return "403 Forbidden — недоступна операция или URL для этого токена/пользователя.";
    case 404:
      return "404 Not Found — ref или объект отсутствует на удалённом; проверь ветку и URL.";
    case 429:
      return "429 Too Many Requests — временное ограничение; попробуйте позже.";
    case 502:
    case 503:
    case 504:
      return "HTTP " + number +
             " — временная недоступность сервера; при необходимости увеличьте "
             "ORRERY_HTTP_RETRY_MAX.";
    default:
      break;
  }
  if (response.status < 1) return "неизвестная ошибка сети";
  return "HTTP " + number;
}

std::string format_http_failure(std::string_view method, const std::string& url,
                                const HttpResponse& response) {
  std::string line(method.empty() ? "HTTP" : method);
  return line + " " + redact_url_credentials(url) + " — " + describe_http_response(response);
}

std::string redact_url_credentials(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const size_t authority = scheme + 3;
  const size_t at = url.find('@', authority);
  if (at == std::string::npos || at == authority) return url;
  return url.substr(0, authority) + url.substr(at + 1);
}

bool is_sendable_token(std::string_view token) {
  for (char c : token) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127) return false;
  }
  return true;
}

HttpHeaders hub_read_headers(const std::string& token) {
  const std::string sent = is_sendable_token(token) ? token : std::string();
  return {std::string(k_user_agent), "Authorization: Bearer " + sent, "Accept: application/json"};
}

HttpHeaders hub_json_headers(const std::string& token) {
  HttpHeaders headers = hub_read_headers(token);
  headers.insert(headers.end() - 1, "Content-Type: application/json");
  return headers;
}
