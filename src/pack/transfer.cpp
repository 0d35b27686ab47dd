#include "pack/transfer.h"

#include <optional>

#include "store/errors.h"
#include "store/fs.h"
#include "store/object_check.h"
#include "store/pack_record.h"
#include "store/repo.h"

// Received bytes are never inflated or hashed: the stream is trusted for its
// content but not for its framing. Only an id of exactly 64 hexadecimal
// digits becomes a path, so nothing in a stream can name a file outside
// .orrery/objects, and every length is checked before it is used.

namespace {

// The record at `pos`, advancing pos past it; nothing when it is malformed.
std::optional<TransferRecord> next_record(std::string_view bytes, size_t& pos) {
  size_t newline = bytes.find('\n', pos);
  if (newline == std::string_view::npos) return std::nullopt;  // header cut off
  std::optional<RecordHeader> header = parse_record_header(bytes.substr(pos, newline - pos));
  if (!header || header->type != 'F' || !is_object_id(header->id)) return std::nullopt;
  size_t payload_at = newline + 1;
  if (header->first > bytes.size() - payload_at) return std::nullopt;
  pos = payload_at + header->first;
  return TransferRecord{header->id, bytes.substr(payload_at, header->first), header->second};
}

bool is_end_of_stream(std::string_view bytes, size_t pos) {
  return pos == bytes.size() || bytes[pos] == '\n';
}

}  // namespace

std::string build_transfer_pack(const std::string& root, const std::set<ObjectId>& ids) {
  std::string stream;
  std::string stored;
  for (const ObjectId& id : ids) {
    if (!is_object_id(id) || !read_store_file(loose_object_path(root, id), stored)) continue;
    // Only the header is read: the receiver checks every byte against the id.
    uint64_t size = 0;
    try {
      size = canonical_size(stored);
    } catch (const std::runtime_error& e) {
      throw RepositoryDamaged("Damaged object " + id + ": " + e.what());
    }
    append_transfer_record(stream, id, stored, size);
  }
  return stream;
}

bool store_transfer_pack(const std::string& root, std::string_view bytes) {
  RepoLock lock(root);
  size_t pos = 0;
  while (!is_end_of_stream(bytes, pos)) {
    std::optional<TransferRecord> record = next_record(bytes, pos);
    if (!record) return false;
    std::string path = loose_object_path(root, record->id);
    if (!path_exists(path)) write_file_atomic(path, record->stored, Durability::deferred);
  }
  return true;
}

std::optional<std::vector<TransferRecord>> parse_transfer_stream(std::string_view bytes) {
  std::vector<TransferRecord> records;
  size_t pos = 0;
  while (!is_end_of_stream(bytes, pos)) {
    std::optional<TransferRecord> record = next_record(bytes, pos);
    if (!record) return std::nullopt;
    records.push_back(*record);
  }
  return records;
}

void append_transfer_record(std::string& stream, std::string_view id, std::string_view stored,
                            uint64_t raw_size) {
  append_full_header(stream, id, stored.size(), raw_size);
  stream.append(stored);
}
