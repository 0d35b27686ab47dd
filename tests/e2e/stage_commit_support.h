#pragma once

// Helpers shared by the add, commit and status end-to-end tests: reading
// what a run left under .orrery through the store, and building history
// directly so a test can set up many commits without many runs.

#include <optional>
#include <string>

#include "store/object.h"
#include "store/refs.h"
#include "store/repo.h"
#include "support/test_support.h"

namespace stage_commit_support {

inline std::string branch_tip(const std::string& root, const std::string& branch = "main") {
  return read_ref(root, "refs/heads/" + branch).value_or("");
}

inline Commit commit_at(const std::string& root, const std::string& id) {
  Repository repo(root);
  std::optional<Commit> commit = read_commit(repo.objects, id);
  EXPECT_TRUE(commit.has_value()) << id;
  return commit.value_or(Commit{});
}

// Writes a commit with the empty tree on top of `parent` (none: a root).
inline std::string make_commit(const std::string& root, const std::optional<std::string>& parent,
                               const std::string& message) {
  Repository repo(root);
  Commit commit{write_object(repo.objects, "tree", "[]"), {}, "t", message, 1};
  if (parent) commit.parents.push_back(*parent);
  return write_object(repo.objects, "commit", serialize_commit(commit));
}

// A chain of `count` commits above `base`; returns the tip.
inline std::string extend(const std::string& root, std::string base, int count) {
  for (int i = 0; i < count; ++i) base = make_commit(root, base, "c" + std::to_string(i));
  return base;
}

inline void set_ref(const std::string& root, const std::string& name, const std::string& id) {
  testing_support::write_text(root + "/.orrery/" + name, id + "\n");
}

// The 64-digit id of a blob, by an independent implementation.
inline std::string python_blob_id(const std::string& content) {
  testing_support::RunOptions options;
  options.stdin_text = content;
  testing_support::RunResult r = testing_support::run_program(
      "python3",
      {"-c",
       "import sys,hashlib; d=sys.stdin.buffer.read(); "
       "print(hashlib.sha256(b'blob %d\\0' % len(d) + d).hexdigest(), end='')"},
      options);
  EXPECT_EQ(r.code, 0) << r.err;
  return r.out;
}

}  // namespace stage_commit_support
