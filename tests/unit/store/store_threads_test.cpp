// Two repositories used from eight threads of one process must end up as
// two repositories used one thread at a time would: the same objects, the
// same references, every read answered correctly along the way. The
// ThreadSanitizer build (scripts/test --tsan) runs this to find races.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "pack/pack_writer.h"
#include "store/refs.h"
#include "store/repo.h"
#include "support/test_support.h"

using testing_support::concat;
using testing_support::list_files;
using testing_support::path_exists;
using testing_support::TempDir;

namespace {

constexpr int k_threads = 8;
constexpr int k_packed_blobs = 40;
constexpr int k_new_blobs = 30;

// Long shared prefixes, so the pack stores most of them as deltas.
std::string packed_content(int repo, int n) {
  return std::string(900, static_cast<char>('a' + repo)) + " blob " + std::to_string(n);
}

// Every thread writes some objects of its own and some that all threads of
// its repository write, so that writers of one object race too.
std::string new_content(int thread, int n) {
  return n % 3 == 0 ? "shared " + std::to_string(n)
                    : "thread " + std::to_string(thread) + " " + std::to_string(n);
}

// A repository whose first objects live in a pack only.
void make_packed_repository(const Repository& repo, int index) {
  create_repository(repo);
  for (int n = 0; n < k_packed_blobs; ++n) {
    write_object(repo.objects, "blob", packed_content(index, n));
  }
  prune_packed_loose(repo.root, write_pack(repo.root));
}

// One thread's work: read every packed object, write a batch of new blobs,
// a tree and a commit naming them, and point a branch of its own at it.
// Returns false when a read answered wrongly.
bool work(const Repository& repo, int index, int thread) {
  bool right = true;
  for (int n = 0; n < k_packed_blobs; ++n) {
    const std::string expected = packed_content(index, n);
    std::optional<Object> read = read_object(repo.objects, blob_id(expected));
    right = right && read && read->data == expected;
  }
  Tree tree;
  ObjectWriteBatch batch(repo.objects);
  for (int n = 0; n < k_new_blobs; ++n) {
    const std::string content = new_content(thread, n);
    const ObjectId id = write_object(repo.objects, "blob", content);
    right = right && read_object(repo.objects, id)->data == content;
    tree.push_back({"100644", "blob", id, concat("f", 100 + n)});
  }
  const ObjectId tree_id = write_object(repo.objects, "tree", serialize_tree(tree));
  const Commit commit{tree_id, {}, "tester", concat("thread ", thread), 1700000000};
  update_ref(repo, concat("refs/heads/t", thread),
             write_object(repo.objects, "commit", serialize_commit(commit)));
  return right;
}

// The loose files and references of a repository, by name.
std::vector<std::string> snapshot(const Repository& repo) {
  std::vector<std::string> out = list_files(orrery_path(repo, "objects"));
  for (const auto& [name, id] : list_refs_below(repo, "refs/heads")) {
    out.push_back(name + " " + id);
  }
  std::sort(out.begin(), out.end());  // threads created them in any order
  return out;
}

TEST(StoreThreads, TwoRepositoriesFromEightThreadsEndAsSequentialUse) {
  TempDir parallel_dir, sequential_dir;
  std::vector<Repository> parallel, sequential;
  for (int r = 0; r < 2; ++r) {
    parallel.emplace_back(parallel_dir / std::to_string(r));
    sequential.emplace_back(sequential_dir / std::to_string(r));
    make_packed_repository(parallel.back(), r);
    make_packed_repository(sequential.back(), r);
  }

  bool right[k_threads] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < k_threads; ++t) {
    threads.emplace_back([&, t] {
      // Half the threads share the test's Repository, half open their own.
      const int r = t % 2;
      right[t] = t < 4 ? work(parallel[r], r, t) : work(Repository(parallel[r].root), r, t);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < k_threads; ++t) {
    EXPECT_TRUE(right[t]) << "thread " << t;
    work(sequential[t % 2], t % 2, t);
  }

  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(snapshot(parallel[r]), snapshot(sequential[r])) << "repository " << r;
    EXPECT_FALSE(path_exists(orrery_path(parallel[r], "lock")));
  }
}

}  // namespace
