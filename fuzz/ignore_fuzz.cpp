// The text of .orreryignore and the glob matcher: the first line is matched
// as a pattern against the rest.

#include <string>

#include "fuzz_check.h"
#include "store/ignore.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string_view text = fuzz_bytes(data, size);
  const IgnoreRules rules = parse_ignore_rules(text);
  for (const IgnoreRule& rule : rules) FUZZ_CHECK(!rule.pattern.empty());
  for (const char* path : {".orrery/HEAD", ".git", "a/b/c.txt", "build", ""}) {
    const bool ignored = is_ignored(rules, path, false);
    if (std::string_view(path).rfind(".orrery/", 0) == 0) FUZZ_CHECK(ignored);
  }
  const size_t newline = text.find('\n');
  if (newline != std::string_view::npos) {
    const std::string_view pattern = text.substr(0, newline);
    const std::string_view subject = text.substr(newline + 1);
    const bool matched = glob_match(pattern, subject);
    if (pattern == subject && pattern.find_first_of("*?") == std::string_view::npos) {
      FUZZ_CHECK(matched);
    }
  }
  return 0;
}
