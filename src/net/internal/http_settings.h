#pragma once

// The transport's tunables, read from the environment at each operation.
struct HttpSettings {
  long connect_timeout_sec = 5;  // ORRERY_HTTP_CONNECT_TIMEOUT_SEC, at least 1
  long timeout_sec = 60;         // ORRERY_HTTP_TIMEOUT_SEC, at least 1
  int retry_max = 4;             // ORRERY_HTTP_RETRY_MAX, attempts in all, 1 to 15
  int retry_base_ms = 300;       // ORRERY_HTTP_RETRY_BASE_MS, 50 to 30000
};

HttpSettings read_http_settings();

// The pause before attempt number `attempt` (the second attempt is 1):
// base doubled per earlier retry, at most five doublings and 8000 ms.
int backoff_delay_ms(int attempt, int base_ms);
