#pragma once

#include <cstdio>
#include <string>

#include "store/fs.h"
#include "store/repo.h"
#include "support/test_support.h"

namespace pack_test {

// A fresh, initialised repository in a temporary directory.
struct TestRepo {
  TestRepo() : repo(dir.path()) { create_repository(repo); }

  std::string packs() const { return dir / ".orrery/packs"; }

  testing_support::TempDir dir;
  Repository repo;
};

// A well-formed id that names no real content: n in 64 hexadecimal digits.
inline std::string fake_id(unsigned n) {
  char digits[65];
  std::snprintf(digits, sizeof digits, "%064x", n);
  return digits;
}

// Puts a hand-made pack and index into the repository.
inline void put_pack(const TestRepo& r, const std::string& name, const std::string& pack,
                     const std::string& index) {
  write_file_atomic(r.packs() + "/" + name + ".pack", pack);
  write_file_atomic(r.packs() + "/" + name + ".idx.json", index);
}

}  // namespace pack_test
