#include "hubd/ssh_keys.h"

#include <nlohmann/json.hpp>

#include "hubd/crypto.h"
#include "hubd/db.h"

// The key blob inside the base64 is a sequence of length-prefixed strings
// (a 32-bit big-endian length, then the bytes): the type name again, then
// the type's own fields. A key is accepted only when the blob is exactly
// that sequence with the field count its type has.

namespace {

using nlohmann::json;

constexpr size_t k_max_blob = 16 * 1024;
constexpr size_t k_max_title = 200;

struct KeyType {
  std::string_view name;
  size_t fields;  // the type name included
};

constexpr KeyType k_key_types[] = {
    {"ssh-ed25519", 2},
    {"ssh-rsa", 3},
    {"ecdsa-sha2-nistp256", 3},
    {"ecdsa-sha2-nistp384", 3},
    {"ecdsa-sha2-nistp521", 3},
    {"sk-ssh-ed25519@openssh.com", 3},
    {"sk-ecdsa-sha2-nistp256@openssh.com", 4},
};

constexpr std::string_view k_base64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Padded base64 and nothing else; nothing for any other text.
std::optional<std::string> decode_base64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  while (padding < 2 && text[text.size() - 1 - padding] == '=') ++padding;
  std::string out;
  uint32_t bits = 0;
  for (size_t i = 0; i < text.size() - padding; ++i) {
    const size_t value = k_base64.find(text[i]);
    if (value == std::string_view::npos) return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    if (i % 4 == 3) {
      out += {static_cast<char>(bits >> 16), static_cast<char>(bits >> 8), static_cast<char>(bits)};
      bits = 0;
    }
  }
  // The bits below the last whole byte must be zero, so one text per blob.
  if (padding == 1) {
    if (bits & 3) return std::nullopt;
    out += {static_cast<char>(bits >> 10), static_cast<char>(bits >> 2)};
  } else if (padding == 2) {
    if (bits & 15) return std::nullopt;
    out += static_cast<char>(bits >> 4);
  }
  return out;
}

std::string encode_base64_unpadded(std::string_view bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t bits = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) bits |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) bits |= static_cast<unsigned char>(bytes[i + 2]);
    const size_t chars = std::min<size_t>(4, (bytes.size() - i) * 4 / 3 + 1);
    for (size_t k = 0; k < chars; ++k) out += k_base64[(bits >> (18 - 6 * k)) & 63];
  }
  return out;
}

// The fields of a key blob; nothing when it is not a whole sequence.
std::optional<std::vector<std::string_view>> blob_fields(std::string_view blob) {
  std::vector<std::string_view> fields;
  while (!blob.empty()) {
    if (blob.size() < 4) return std::nullopt;
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) size = (size << 8) | static_cast<unsigned char>(blob[i]);
    blob.remove_prefix(4);
    if (size > blob.size()) return std::nullopt;
    fields.push_back(blob.substr(0, size));
    blob.remove_prefix(size);
  }
  return fields;
}

std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  constexpr std::string_view k_space = " \t\r\n";
  for (size_t start = text.find_first_not_of(k_space); start != std::string_view::npos;) {
    const size_t end = text.find_first_of(k_space, start);
    out.push_back(text.substr(start, end - start));
    start = end == std::string_view::npos ? end : text.find_first_not_of(k_space, end);
  }
  return out;
}

json key_json(const DbRow& row) {
  return {{"id", row.integer(0)},
          {"title", row.text(1)},
          {"public_key", row.text(2)},
          {"fingerprint", row.text(3)},
          {"created_at", row.integer(4)}};
}

Reply list_keys(const ApiCall& call) {
  json list = json::array();
  for (const DbRow& row :
       call.hub.db.query("SELECT id, title, public_key, fingerprint, created_at FROM ssh_keys"
                         " WHERE user_id = $1 ORDER BY id",
                         {call.user.id})) {
    list.push_back(key_json(row));
  }
  return api_json(200, list.dump());
}

Reply add_key(const ApiCall& call) {
  json body = json::parse(call.request.body, nullptr, false);
  auto member = [&](const char* key) -> const json* {
    auto found = body.find(key);
    return found == body.end() || found->is_null() ? nullptr : &*found;
  };
  if (!body.is_object() || !member("public_key") || !member("public_key")->is_string() ||
      (member("title") && !member("title")->is_string())) {
    return api_error(400, "ожидается JSON {\"public_key\": …, \"title\": …}");
  }
  std::optional<SshPublicKey> key = parse_ssh_public_key(member("public_key")->get<std::string>());
  if (!key) return api_error(422, "не открытый ключ OpenSSH поддерживаемого типа");
  std::string title = member("title") ? member("title")->get<std::string>() : key->comment;
  if (title.size() > k_max_title || !is_printable_text(title)) {
    return api_error(422, "название ключа: до 200 байт текста без управляющих символов");
  }
  try {
    std::vector<DbRow> rows = call.hub.db.query(
        "INSERT INTO ssh_keys (user_id, title, public_key, fingerprint, created_at)"
        " VALUES ($1, $2, $3, $4, $5)"
        " RETURNING id, title, public_key, fingerprint, created_at",
        {call.user.id, title, key->normalized, key->fingerprint, unix_now()});
    return api_json(201, key_json(rows.at(0)).dump());
  } catch (const DbConstraintError&) {
    return api_error(400, "key already exists: этот SSH-ключ уже зарегистрирован");
  }
}

Reply delete_key(const ApiCall& call, std::string_view id_text) {
  std::optional<int64_t> id = parse_id(id_text);
  if (!id || call.hub.db.exec("DELETE FROM ssh_keys WHERE id = $1 AND user_id = $2",
                              {*id, call.user.id}) != 1) {
    return api_error(404, "ключ не найден");
  }
  return {204, "", "application/json", {}};
}

}  // namespace

std::optional<SshPublicKey> parse_ssh_public_key(std::string_view text) {
  std::vector<std::string_view> parts = words(text);
  if (parts.size() < 2 || parts[1].size() > k_max_blob * 4 / 3 + 4) return std::nullopt;
  const KeyType* type = nullptr;
  for (const KeyType& known : k_key_types) {
    if (known.name == parts[0]) type = &known;
  }
  std::optional<std::string> blob = decode_base64(parts[1]);
  if (!type || !blob) return std::nullopt;
  std::optional<std::vector<std::string_view>> fields = blob_fields(*blob);
  if (!fields || fields->size() != type->fields || (*fields)[0] != type->name) return std::nullopt;
  if (type->name == "ssh-ed25519" && (*fields)[1].size() != 32) return std::nullopt;
  SshPublicKey key;
  key.normalized = std::string(parts[0]) + " " + std::string(parts[1]);
  key.fingerprint = "SHA256:" + encode_base64_unpadded(sha256_digest(*blob));
  for (size_t i = 2; i < parts.size(); ++i) {
    key.comment += (i > 2 ? " " : "") + std::string(parts[i]);
  }
  return key;
}

Reply serve_ssh_keys(const ApiCall& call) {
  const std::string& method = call.request.method;
  if (call.segments.size() == 2) {
    if (method == "GET") return list_keys(call);
    if (method == "POST") return add_key(call);
    return method_not_allowed();
  }
  if (call.segments.size() == 3) {
    if (method == "DELETE") return delete_key(call, call.segments[2]);
    return method_not_allowed();
  }
  return api_error(404, "не найдено");
}
