#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class Progress;  // cli/progress.h: the terminal line a transfer reports to

// The result of one HTTP operation, after all its attempts. Network failures
// are values, never exceptions.
struct HttpResponse {
  int status = 0;     // of the last attempt; 0 when no HTTP answer came
  std::string body;   // of the last attempt, as received
  std::string error;  // empty when the last attempt completed at the HTTP level
};

// Complete header lines ("Name: value"), sent in this order.
using HttpHeaders = std::vector<std::string>;

// Whether a GET follows redirects (POST and PUT never do).
enum class Redirects { follow, stay };

// The largest response body accepted; a longer one fails the attempt.
inline constexpr size_t k_max_http_body = size_t{4} << 30;

// One transport for one command. Transient failures are retried with
// exponential back-off (ORRERY_HTTP_RETRY_MAX attempts, ORRERY_HTTP_RETRY_BASE_MS
// base); time-outs come from ORRERY_HTTP_CONNECT_TIMEOUT_SEC and
// ORRERY_HTTP_TIMEOUT_SEC, read afresh by each operation. Only http and
// https are spoken, TLS is always verified, and at most 20 redirects are
// followed.
class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  HttpResponse get(const std::string& url, const HttpHeaders& headers, Redirects redirects);
  // The body is sent as is (it may be empty); its type is what the headers say.
  HttpResponse post(const std::string& url, std::string_view body, const HttpHeaders& headers);
  // The body is streamed from the caller's memory.
  HttpResponse put(const std::string& url, std::string_view body, const HttpHeaders& headers);

  // Reports the bytes of every later exchange, sent and received, to
  // `progress` (nullptr: to nothing). The caller keeps it alive meanwhile.
  void set_progress(Progress* progress) { progress_ = progress; }

  enum class Method { get, post, put };

 private:
  struct Handle;
  HttpResponse perform(Method method, const std::string& url, std::string_view body,
                       const HttpHeaders& headers, Redirects redirects);

  std::unique_ptr<Handle> handle_;
  Progress* progress_ = nullptr;
};

// The status part of a failure description: the transport error, or a text
// for the HTTP status that says what to check.
std::string describe_http_response(const HttpResponse& response);

// "<METHOD> <url without user information> — <describe_http_response>", the
// hint of every failed sync exchange ("HTTP" when the method is empty).
std::string format_http_failure(std::string_view method, const std::string& url,
                                const HttpResponse& response);

// The URL without the user information between "://" and the first "@".
std::string redact_url_credentials(const std::string& url);

// The header sets of the hub's REST calls. A token holding a control byte is
// sent as an empty one, so it can never split a header.
HttpHeaders hub_read_headers(const std::string& token);
HttpHeaders hub_json_headers(const std::string& token);

// False for a token holding a byte below 32 or 127: it may never reach a
// header line or the credentials file.
bool is_sendable_token(std::string_view token);
