#include "net/hub_url.h"

#include <cstdlib>

#include "build_info.h"

namespace {

std::string without_trailing_slashes(std::string url) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

}  // namespace

const char* non_empty_env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

std::string hub_base_url() {
  const char* value = non_empty_env("ORRERY_HUB_URL");
  return without_trailing_slashes(value ? value : std::string(k_default_hub_url));
}

std::string hub_api_base_url() {
  if (const char* value = non_empty_env("ORRERY_HUB_API_URL"))
    return without_trailing_slashes(value);
  return without_trailing_slashes(hub_base_url()) + "/api/v1";
}

std::string url_host(const std::string& url) {
  size_t scheme = url.find("://");
  size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  size_t end = url.find('/', start);
  std::string authority =
      url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  if (!authority.empty() && authority.front() == '[') {
    size_t close = authority.find(']');
    return authority.substr(0, close == std::string::npos ? std::string::npos : close + 1);
  }
  return authority.substr(0, authority.find(':'));
}
