// The text of .orrery/HEAD, and the name checks a reference or a path from
// the store passes before it becomes a file name.

#include <filesystem>
#include <string>

#include "fuzz_check.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/tree_walk.h"

namespace {

// True when the path, resolved lexically, stays below its first component.
bool stays_below(std::string_view path) {
  const std::filesystem::path normal = std::filesystem::path(std::string(path)).lexically_normal();
  return !normal.is_absolute() && normal.begin() != normal.end() && *normal.begin() != "..";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string_view text = fuzz_bytes(data, size);
  const HeadRef head = parse_head(text);
  FUZZ_CHECK(!(head.symref && head.detached));
  if (head.symref) {
    FUZZ_CHECK(head.symref->rfind("refs/heads/", 0) == 0 && is_valid_reference(*head.symref));
  }
  if (head.detached) FUZZ_CHECK(is_object_id(*head.detached));
  if (is_valid_reference(text)) {
    FUZZ_CHECK(stays_below(text) && text.find('\n') == std::string_view::npos);
  }
  if (is_safe_tree_path(text)) FUZZ_CHECK(is_safe_index_path(text));
  if (is_safe_index_path(text)) FUZZ_CHECK(stays_below(text) && is_safe_relpath(text));
  return 0;
}
