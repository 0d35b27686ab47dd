#include "net/internal/http_settings.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace {

// The whole value as a decimal number; nothing when unset, empty or when
// strtol leaves anything behind (it accepts leading blanks and a sign).
std::optional<long> env_number(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  char* end = nullptr;
  long number = std::strtol(value, &end, 10);
  if (end == value || *end != '\0') return std::nullopt;
  return number;
}

long env_timeout(const char* name, long fallback) {
  std::optional<long> value = env_number(name);
  return value && *value >= 1 ? *value : fallback;
}

int env_clamped(const char* name, long fallback, long low, long high) {
  std::optional<long> value = env_number(name);
  return static_cast<int>(value ? std::clamp(*value, low, high) : fallback);
}

}  // namespace

HttpSettings read_http_settings() {
  HttpSettings settings;
  settings.connect_timeout_sec = env_timeout("ORRERY_HTTP_CONNECT_TIMEOUT_SEC", 5);
  settings.timeout_sec = env_timeout("ORRERY_HTTP_TIMEOUT_SEC", 60);
  settings.retry_max = env_clamped("ORRERY_HTTP_RETRY_MAX", 4, 1, 15);
  settings.retry_base_ms = env_clamped("ORRERY_HTTP_RETRY_BASE_MS", 300, 50, 30000);
  return settings;
}

int backoff_delay_ms(int attempt, int base_ms) {
  const long delay = static_cast<long>(base_ms) << std::min(attempt - 1, 5);
  return static_cast<int>(std::min(delay, 8000L));
}
