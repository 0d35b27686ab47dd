#include "hub/form.h"

namespace {

// ASCII only, whatever the locale says.
bool is_unreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string url_encode(std::string_view text) {
  static constexpr char k_hex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (is_unreserved(c)) {
      out.push_back(c);
    } else if (c == ' ') {
      out.push_back('+');
    } else {
      out.push_back('%');
      out.push_back(k_hex[byte >> 4]);
      out.push_back(k_hex[byte & 0xf]);
    }
  }
  return out;
}

std::string form_encode(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out.push_back('&');
    out.append(url_encode(name)).append("=").append(url_encode(value));
  }
  return out;
}
