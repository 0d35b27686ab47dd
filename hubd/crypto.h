#pragma once

#include <string>
#include <string_view>

// Digests, randomness and password hashing for the hub. Unlike the store's
// codec these keep no shared state, so any thread may call them.

// 64 lower-case hexadecimal digits of the SHA-256 of bytes.
std::string sha256_digest_hex(std::string_view bytes);

// `count` bytes from OpenSSL's generator, as lower-case hexadecimal digits.
// Throws std::runtime_error when the generator fails.
std::string random_hex(size_t count);

// `count` bytes from OpenSSL's generator. Throws std::runtime_error when the
// generator fails.
std::string random_bytes(size_t count);

// The 32 raw bytes of the SHA-256 of bytes.
std::string sha256_digest(std::string_view bytes);

// Compares two secrets in time that depends only on their lengths.
bool secrets_equal(std::string_view a, std::string_view b);

// A salted scrypt hash of the password, self-describing:
//   "scrypt$<N>$<r>$<p>$<salt hex>$<key hex>"
std::string hash_password(std::string_view password);

// True when the password hashes to `stored` (a text hash_password made);
// false for any other text, without throwing.
bool verify_password(std::string_view password, std::string_view stored);
