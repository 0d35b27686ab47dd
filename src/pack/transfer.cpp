#include "pack/transfer.h"

#include <optional>

#include "pack/internal/record.h"
#include "store/codec.h"
#include "store/errors.h"
#include "store/fs.h"
#include "store/repo.h"

// Received bytes are never inflated or hashed: the stream is trusted for its
// content but not for its framing. Only an id of exactly 64 hexadecimal
// digits becomes a path, so nothing in a stream can name a file outside
// .orrery/objects, and every length is checked before it is used.

namespace {

struct StreamRecord {
  std::string_view id;
  std::string_view payload;
};

// The record at `pos`, advancing pos past it; nothing when it is malformed.
std::optional<StreamRecord> next_record(std::string_view bytes, size_t& pos) {
  size_t newline = bytes.find('\n', pos);
  if (newline == std::string_view::npos) return std::nullopt;  // header cut off
  std::optional<RecordHeader> header = parse_record_header(bytes.substr(pos, newline - pos));
  if (!header || header->type != 'F' || !is_object_id(header->id)) return std::nullopt;
  size_t payload_at = newline + 1;
  if (header->first > bytes.size() - payload_at) return std::nullopt;
  pos = payload_at + header->first;
  return StreamRecord{header->id, bytes.substr(payload_at, header->first)};
}

bool is_end_of_stream(std::string_view bytes, size_t pos) {
  return pos == bytes.size() || bytes[pos] == '\n';
}

}  // namespace

std::string build_transfer_pack(const std::string& root, const std::set<ObjectId>& ids) {
  std::string stream;
  std::string stored, raw, error;
  for (const ObjectId& id : ids) {
    if (!is_object_id(id) || !read_store_file(loose_object_path(root, id), stored)) continue;
    if (!inflate_object(stored, raw, error)) {
      throw RepositoryDamaged("Damaged object " + id + ": " + error);
    }
    append_full_header(stream, id, stored.size(), raw.size());
    stream.append(stored);
  }
  return stream;
}

bool store_transfer_pack(const std::string& root, std::string_view bytes) {
  RepoLock lock(root);
  size_t pos = 0;
  while (!is_end_of_stream(bytes, pos)) {
    std::optional<StreamRecord> record = next_record(bytes, pos);
    if (!record) return false;
    std::string path = loose_object_path(root, record->id);
    if (!path_exists(path)) write_file_atomic(path, record->payload, Durability::deferred);
  }
  return true;
}
