// Times packing and reading packed objects in a fresh repository under DIR:
//
//   pack_bench DIR [OBJECTS]   (default 20000)
//
// The objects are blobs of about 1.5 KB in groups of ten same-sized, similar
// ones, so the file-system walk order yields a few deltas among whole
// records; a second repository holds one chain of 1,000 similar blobs, the
// worst case for reading. Prints one line per phase with wall milliseconds
// and microseconds per object.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "pack/pack_reader.h"
#include "pack/pack_writer.h"
#include "store/fs.h"
#include "store/object.h"
#include "store/repo.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Prints the phase's wall time, and per object when there are objects.
void report(const char* phase, Clock::time_point start, size_t objects) {
  double ms = ms_since(start);
  std::printf("%-34s %9.1f ms", phase, ms);
  if (objects > 0) std::printf(" %8.1f us/object", ms * 1000 / objects);
  std::printf("\n");
}

std::vector<ObjectId> fill_repository(const Repository& repo, size_t count, bool one_chain) {
  std::vector<ObjectId> ids;
  ObjectWriteBatch batch(repo.objects);
  for (size_t i = 0; i < count; ++i) {
    size_t group = one_chain ? 0 : i / 10;
    std::string content(1500, static_cast<char>('a' + group % 26));
    content += "group " + std::to_string(100000 + group) + " member " + std::to_string(100000 + i);
    ids.push_back(write_object(repo.objects, "blob", content));
  }
  return ids;
}

size_t read_all(const Repository& repo, const std::vector<ObjectId>& ids) {
  size_t bytes = 0;
  for (const ObjectId& id : ids) bytes += read_object(repo.objects, id)->data.size();
  return bytes;
}

void run(const std::string& root, size_t count, bool one_chain) {
  remove_path(root);
  ensure_directory(root);
  Repository repo(root);
  create_repository(repo);
  std::vector<ObjectId> ids = fill_repository(repo, count, one_chain);
  std::printf("%s, %zu objects\n", one_chain ? "one delta chain" : "mixed", count);

  Clock::time_point start = Clock::now();
  size_t loose_bytes = read_all(repo, ids);
  report("read every loose object", start, count);
  start = Clock::now();
  std::string name = write_pack(root);
  report("write_pack", start, count);
  start = Clock::now();
  prune_packed_loose(root, name);
  report("prune_packed_loose", start, count);
  start = Clock::now();
  find_in_packs(root, ids.front());
  report("first packed read (parses index)", start, 0);
  start = Clock::now();
  size_t packed_bytes = read_all(repo, ids);
  report("read every packed object", start, count);
  if (packed_bytes != loose_bytes) std::printf("MISMATCH: packed objects read differently\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: pack_bench DIR [OBJECTS]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const size_t count = argc == 3 ? std::stoul(argv[2]) : 20000;
  run(dir + "/mixed", count, false);
  run(dir + "/chain", 1000, true);
  remove_path(dir + "/mixed");
  remove_path(dir + "/chain");
  return 0;
}
