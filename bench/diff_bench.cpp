// Times one diff_lines call on two files (wall clock, and processor time,
// which a busy machine disturbs less) and reports the process's peak resident
// memory before and after the diff:
//
//   diff_bench OLD NEW
//
// prints "lines <old> <new> edits <n> ms <wall> cpu_ms <n> rss_before_mb <n> peak_rss_mb <n>".

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "diff/engine.h"
#include "store/fs.h"

namespace {

rusage self_usage() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage;
}

double peak_rss_mb(const rusage& usage) {
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

double cpu_ms(const rusage& usage) {
  const timeval& user = usage.ru_utime;
  const timeval& sys = usage.ru_stime;
  return (user.tv_sec + sys.tv_sec) * 1e3 + (user.tv_usec + sys.tv_usec) / 1e3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: diff_bench OLD NEW\n");
    return 2;
  }
  const std::string old_text = read_file(argv[1]);
  const std::string new_text = read_file(argv[2]);
  const std::vector<std::string_view> old_lines = split_lines(old_text);
  const std::vector<std::string_view> new_lines = split_lines(new_text);

  const rusage before = self_usage();
  const auto start = std::chrono::steady_clock::now();
  const EditScript script = diff_lines(old_lines, new_lines);
  const auto stop = std::chrono::steady_clock::now();
  const rusage after = self_usage();

  size_t edits = 0;
  for (const EditOp& entry : script) edits += entry.op != ' ';
  const double ms = std::chrono::duration<double, std::milli>(stop - start).count();
  std::printf("lines %zu %zu edits %zu ms %.1f cpu_ms %.1f rss_before_mb %.1f peak_rss_mb %.1f\n",
              old_lines.size(), new_lines.size(), edits, ms, cpu_ms(after) - cpu_ms(before),
              peak_rss_mb(before), peak_rss_mb(after));
  return 0;
}
