#include "store/pack_reader.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <stdexcept>
#include <unordered_set>
#include <vector>

#include "store/codec.h"
#include "store/internal/pack_set.h"
#include "store/internal/raw_cache.h"
#include "store/internal/store_state.h"
#include "store/pack_record.h"

// Reading trusts nothing in a pack: every length is checked against the bytes
// the file really holds before anything is allocated, a delta chain is walked
// with a loop that gives up beyond k_max_delta_chain records or on the first
// id it meets twice, and any damage reads as a missing object.
//
// Rebuilt delta objects are kept in a bounded cache together with the length
// of the chain they came from, so a chain is not walked again for each of its
// members and the chain limit gives the same answer whatever was read before.
// The cache is emptied whenever the set of indexes changes. Both live in the
// store's state, and every function here runs under its packs_mutex.

namespace {

// The packs of the repository, dropping remembered objects when they changed.
const std::vector<IndexedPack*>& packs_for_reading(StoreState& state) {
  const std::vector<IndexedPack*>& packs = state.packs.current();
  if (state.packs.generation() != state.raw_cache_generation) {
    state.raw_cache.clear();
    state.raw_cache_generation = state.packs.generation();
  }
  return packs;
}

// Reads up to `size` bytes at `offset`; returns how many arrived.
size_t read_at(int fd, uint64_t offset, char* out, size_t size) {
  size_t filled = 0;
  while (filled < size) {
    ssize_t n = ::pread(fd, out + filled, size - filled, static_cast<off_t>(offset + filled));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    filled += static_cast<size_t>(n);
  }
  return filled;
}

// What one pack says about an id: nothing usable (try the next pack), a
// whole object, a delta, or a delta that cannot be completed (give up).
enum class Lookup { absent, full, delta, broken };

struct FoundRecord {
  std::string base;         // delta only
  uint64_t prefix = 0;      // delta only
  uint64_t raw_length = 0;  // full only: what the payload inflates to
  std::string payload;      // stored bytes (full) or suffix (delta)
};

// Fills `out` with the `length` payload bytes at pack offset `at`, taking
// the first `have` of them from `ready`, when the pack holds that many.
bool take_payload(IndexedPack& pack, uint64_t at, std::string_view ready, uint64_t length,
                  std::string& out) {
  if (at > pack.size() || length > pack.size() - at) return false;
  out.resize(length);
  const size_t have = static_cast<size_t>(std::min<uint64_t>(length, ready.size()));
  std::copy_n(ready.data(), have, out.data());
  return have == length ||
         read_at(pack.fd(), at + have, out.data() + have, length - have) == length - have;
}

// `chunk` holds the bytes of one read: the record's header line and, as far
// as the index told its length, its payload.
Lookup read_record(IndexedPack& pack, const IndexedPack::Slot& slot, std::string& chunk,
                   FoundRecord& found) {
  const uint64_t offset = slot.offset;
  if (pack.fd() < 0 || offset >= pack.size()) return Lookup::absent;
  // One read covers the header line and the payload the index announced.
  const uint64_t hint = std::min<uint64_t>(slot.length, pack.size());
  chunk.resize(
      static_cast<size_t>(std::min<uint64_t>(k_max_header_line + hint, pack.size() - offset)));
  const size_t got = read_at(pack.fd(), offset, chunk.data(), chunk.size());
  std::string_view head(chunk.data(), std::min(got, k_max_header_line));
  size_t newline = head.find('\n');
  if (newline == std::string_view::npos) return Lookup::absent;
  std::optional<RecordHeader> header = parse_record_header(head.substr(0, newline));
  // A record names its object: an index entry that leads to another is damage.
  if (!header || header->id != std::string_view(slot.id.data(), slot.id.size())) {
    return Lookup::absent;
  }
  const uint64_t payload_at = offset + newline + 1;
  const std::string_view ready(chunk.data() + newline + 1, got - newline - 1);
  if (header->type == 'F') {
    found.raw_length = header->second;
    return take_payload(pack, payload_at, ready, header->first, found.payload) ? Lookup::full
                                                                               : Lookup::absent;
  }
  if (!is_object_id(header->base)) return Lookup::broken;
  found.base.assign(header->base);
  found.prefix = header->first;
  return take_payload(pack, payload_at, ready, header->second, found.payload) ? Lookup::delta
                                                                              : Lookup::broken;
}

// The first pack that has a readable record for the id decides.
Lookup locate(StoreState& state, const std::vector<IndexedPack*>& packs, std::string_view id,
              FoundRecord& found) {
  for (IndexedPack* pack : packs) {
    const std::optional<IndexedPack::Slot> slot = pack->find(id);
    if (!slot) continue;
    Lookup result = read_record(*pack, *slot, state.read_buffer, found);
    if (result != Lookup::absent) return result;
  }
  return Lookup::absent;
}

struct DeltaStep {
  std::string id;
  uint64_t prefix;
  std::string suffix;
};

// Never inflated past the length its header announces: a small damaged
// record must not unfold into a huge buffer.
std::optional<std::string> inflate_base(const FoundRecord& base) {
  try {
    return zlib_decompress(base.payload, static_cast<size_t>(base.raw_length));
  } catch (const std::runtime_error&) {
    return std::nullopt;  // a damaged base is as good as a missing one
  }
}

// Rebuilds the steps from the innermost outwards on the base's bytes,
// remembering every object on the way; `behind` is the base's own chain.
std::optional<std::string> apply_steps(RawCache& cache, const std::vector<DeltaStep>& steps,
                                       std::string raw, size_t behind) {
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    if (step->prefix > raw.size()) return std::nullopt;
    raw.resize(step->prefix);
    raw.append(step->suffix);
    cache.insert(step->id, raw, ++behind);
  }
  return raw;
}

// Follows the chain that starts with the delta `found` for `id` down to a
// whole object or a cached one, then rebuilds the canonical bytes upwards.
std::optional<std::string> resolve_delta(StoreState& state, const std::vector<IndexedPack*>& packs,
                                         std::string_view id, FoundRecord& found) {
  std::vector<DeltaStep> steps;
  std::unordered_set<std::string> seen{std::string(id)};
  std::string current(id);
  for (;;) {
    if (!seen.insert(found.base).second) return std::nullopt;
    steps.push_back({std::move(current), found.prefix, std::move(found.payload)});
    if (steps.size() > k_max_delta_chain) return std::nullopt;
    current = std::move(found.base);
    if (const RawCache::Entry* cached = state.raw_cache.find(current)) {
      if (steps.size() + cached->chain > k_max_delta_chain) return std::nullopt;
      return apply_steps(state.raw_cache, steps, cached->raw, cached->chain);
    }
    Lookup next = locate(state, packs, current, found);
    if (next == Lookup::full) {
      std::optional<std::string> base = inflate_base(found);
      return base ? apply_steps(state.raw_cache, steps, std::move(*base), 0) : std::nullopt;
    }
    if (next != Lookup::delta) return std::nullopt;
  }
}

// What the packs of the store hold for id, from the listing it has.
std::optional<PackedObject> read_from_packs(StoreState& state, std::string_view id) {
  const std::vector<IndexedPack*>& packs = packs_for_reading(state);
  if (const RawCache::Entry* cached = state.raw_cache.find(id)) {
    return PackedObject{cached->raw, true};
  }
  FoundRecord found;
  switch (locate(state, packs, id, found)) {
    case Lookup::full:
      return PackedObject{std::move(found.payload), false};
    case Lookup::delta: {
      std::optional<std::string> raw = resolve_delta(state, packs, id, found);
      if (!raw) return std::nullopt;
      return PackedObject{std::move(*raw), true};
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<PackedObject> read_packed_object(const ObjectStore& store, std::string_view id) {
  if (id.size() != 64) return std::nullopt;
  StoreState& state = *store.state;
  std::lock_guard lock(state.packs_mutex);
  std::optional<PackedObject> found = read_from_packs(state, id);
  // A pack written within the same tick as the listing may be missing from it.
  if (!found && state.packs.relist_recent()) found = read_from_packs(state, id);
  return found;
}

std::optional<std::string> find_in_packs(const ObjectStore& store, std::string_view id) {
  std::optional<PackedObject> packed = read_packed_object(store, id);
  if (!packed) return std::nullopt;
  if (packed->is_raw) return zlib_compress(packed->bytes);
  return std::move(packed->bytes);
}
