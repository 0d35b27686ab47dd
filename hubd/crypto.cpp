#include "hubd/crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <stdexcept>
#include <vector>

namespace {

// scrypt's parameters for interactive logins: 16 MiB and some tens of
// milliseconds per hash, slow for a guesser, unnoticed by a person. The
// parameters are stored with each hash, so they can grow later.
constexpr uint64_t k_scrypt_n = 1 << 14;
constexpr uint64_t k_scrypt_r = 8;
constexpr uint64_t k_scrypt_p = 1;
constexpr uint64_t k_scrypt_max_mem = uint64_t{64} << 20;
constexpr size_t k_salt_bytes = 16;
constexpr size_t k_key_bytes = 32;

std::string to_hex(const unsigned char* bytes, size_t size) {
  static constexpr char k_digits[] = "0123456789abcdef";
  std::string hex(size * 2, '0');
  for (size_t i = 0; i < size; ++i) {
    hex[2 * i] = k_digits[bytes[i] >> 4];
    hex[2 * i + 1] = k_digits[bytes[i] & 15];
  }
  return hex;
}

std::vector<unsigned char> from_hex(std::string_view hex) {
  std::vector<unsigned char> bytes;
  if (hex.size() % 2 != 0) return bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
    if (ec != std::errc() || end != hex.data() + i + 2) return {};
    bytes.push_back(static_cast<unsigned char>(value));
  }
  return bytes;
}

// The scrypt key of the password; empty when OpenSSL refuses the parameters.
std::vector<unsigned char> scrypt_key(std::string_view password,
                                      const std::vector<unsigned char>& salt, uint64_t n,
                                      uint64_t r, uint64_t p, size_t size) {
  std::vector<unsigned char> key(size);
  if (EVP_PBE_scrypt(password.data(), password.size(), salt.data(), salt.size(), n, r, p,
                     k_scrypt_max_mem, key.data(), key.size()) != 1) {
    return {};
  }
  return key;
}

std::vector<unsigned char> random_byte_vector(size_t count) {
  std::vector<unsigned char> bytes(count);
  if (RAND_bytes(bytes.data(), static_cast<int>(count)) != 1) {
    throw std::runtime_error("Random generator failed");
  }
  return bytes;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

bool parse_u64(std::string_view text, uint64_t& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

std::string sha256_digest(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("SHA-256 failed");
  }
  return std::string(reinterpret_cast<const char*>(digest), size);
}

std::string sha256_digest_hex(std::string_view bytes) {
  const std::string digest = sha256_digest(bytes);
  return to_hex(reinterpret_cast<const unsigned char*>(digest.data()), digest.size());
}

std::string random_bytes(size_t count) {
  std::vector<unsigned char> bytes = random_byte_vector(count);
  return std::string(bytes.begin(), bytes.end());
}

std::string random_hex(size_t count) {
  std::vector<unsigned char> bytes = random_byte_vector(count);
  return to_hex(bytes.data(), count);
}

bool secrets_equal(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string hash_password(std::string_view password) {
  std::vector<unsigned char> salt = random_byte_vector(k_salt_bytes);
  std::vector<unsigned char> key =
      scrypt_key(password, salt, k_scrypt_n, k_scrypt_r, k_scrypt_p, k_key_bytes);
  if (key.empty()) throw std::runtime_error("scrypt failed");
  return "scrypt$" + std::to_string(k_scrypt_n) + "$" + std::to_string(k_scrypt_r) + "$" +
         std::to_string(k_scrypt_p) + "$" + to_hex(salt.data(), salt.size()) + "$" +
         to_hex(key.data(), key.size());
}

bool verify_password(std::string_view password, std::string_view stored) {
  std::vector<std::string_view> parts = split(stored, '$');
  uint64_t n = 0, r = 0, p = 0;
  if (parts.size() != 6 || parts[0] != "scrypt" || !parse_u64(parts[1], n) ||
      !parse_u64(parts[2], r) || !parse_u64(parts[3], p)) {
    return false;
  }
  std::vector<unsigned char> salt = from_hex(parts[4]);
  std::vector<unsigned char> expected = from_hex(parts[5]);
  if (salt.empty() || expected.empty()) return false;
  std::vector<unsigned char> key = scrypt_key(password, salt, n, r, p, expected.size());
  return !key.empty() && CRYPTO_memcmp(key.data(), expected.data(), key.size()) == 0;
}
