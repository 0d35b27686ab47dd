// Stages every regular file below a repository root (outside .orrery) as the
// benchmarks' stand-in for adding a whole tree: writes the blobs in one batch
// and the index with each file's stat.
//
//   stage_tree ROOT
//
// prints "staged <n> files".

#include <cstdio>
#include <filesystem>
#include <string>

#include "store/fs.h"
#include "store/index.h"
#include "store/repo.h"
#include "worktree/working_stat.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: stage_tree ROOT\n");
    return 2;
  }
  const std::string root = argv[1];
  Repository repo(root);
  Index index;
  {
    ObjectWriteBatch batch(repo.objects);
    std::string bytes;
    namespace fs = std::filesystem;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
      const std::string relative = fs::relative(it->path(), root).generic_string();
      if (relative == ".orrery") it.disable_recursion_pending();
      if (relative == ".orrery" || !it->is_regular_file()) continue;
      read_file_into(it->path().string(), bytes);
      const WorkingStat stat = stat_working_file(it->path().string());
      index[relative] = {write_object(repo.objects, "blob", bytes), stat.size, stat.mtime,
                         stat.mode};
    }
  }
  save_index(repo, index);
  std::printf("staged %zu files\n", index.size());
  return 0;
}
