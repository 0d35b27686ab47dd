#pragma once

#include <string>

#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {

// An initialised repository whose history the tests build through the store.
class HistoryTest : public OrreryTest {
 protected:
  void SetUp() override { init_repo(); }

  ObjectId commit(const FileSet& files, const std::string& message) {
    return commit_snapshot(dir.path(), files, message);
  }
  std::string meta(const std::string& relative) { return read_text(dir / (".orrery/" + relative)); }
  bool has_meta(const std::string& relative) { return path_exists(dir / (".orrery/" + relative)); }
  static std::string line(const std::string& old_id, const std::string& new_id,
                          const std::string& message) {
    return old_id + " " + new_id + "\t" + message + "\n";
  }
  static std::string zero() { return std::string(64, '0'); }
};

}  // namespace testing_support
