#include "diff/patch.h"

#include <algorithm>
#include <cmath>

namespace {

const char* plural(uint64_t count) { return count == 1 ? "" : "s"; }

void append_file_header(std::string& out, std::string_view path) {
  out.append("diff -- a/").append(path).append(" b/").append(path).append("\n");
}

// Appends one hunk whose first entry stands on the given 1-based old and
// new line numbers.
void append_hunk(std::string& out, const EditScript& script, const Hunk& hunk, size_t old_start,
                 size_t new_start) {
  const size_t end = std::min(hunk.end, script.size());
  size_t old_count = 0;
  size_t new_count = 0;
  for (size_t i = hunk.start; i < end; ++i) {
    old_count += script[i].op != '+';
    new_count += script[i].op != '-';
  }
  out.append("@@ -").append(std::to_string(old_start)).append(",");
  out.append(std::to_string(old_count)).append(" +").append(std::to_string(new_start));
  out.append(",").append(std::to_string(new_count)).append(" @@\n");
  for (size_t i = hunk.start; i < end; ++i) {
    out.push_back(script[i].op);
    out.append(script[i].line).push_back('\n');
  }
}

void print_summary(std::ostream& out, const std::vector<FileStat>& stats) {
  uint64_t insertions = 0;
  uint64_t deletions = 0;
  uint64_t binaries = 0;
  for (const FileStat& stat : stats) {
    insertions += stat.insertions;
    deletions += stat.deletions;
    binaries += stat.binary;
  }
  out << ' ' << stats.size() << " file" << plural(stats.size()) << " changed";
  if (insertions > 0 || deletions > 0) {
    out << ", " << insertions << " insertion" << plural(insertions) << "(+), " << deletions
        << " deletion" << plural(deletions) << "(-)";
  }
  if (binaries > 0) {
    out << (insertions > 0 || deletions > 0 ? "; " : ": ") << binaries << " binary file"
        << plural(binaries);
  }
  out << '\n';
}

}  // namespace

std::string render_hunk(const EditScript& script, const Hunk& hunk) {
  size_t old_start = 1;
  size_t new_start = 1;
  for (size_t i = 0; i < hunk.start && i < script.size(); ++i) {
    old_start += script[i].op != '+';
    new_start += script[i].op != '-';
  }
  std::string out;
  append_hunk(out, script, hunk, old_start, new_start);
  return out;
}

std::string file_patch(std::string_view path, const std::vector<std::string_view>& old_lines,
                       const std::vector<std::string_view>& new_lines, size_t context) {
  const EditScript script = diff_lines(old_lines, new_lines);
  const std::vector<Hunk> hunks = group_hunks(script, context);
  std::string out;
  if (hunks.empty()) return out;
  append_file_header(out, path);
  out.append("--- a/").append(path).append("\n+++ b/").append(path).append("\n");
  // Hunks come in script order, so the line numbers are counted once.
  size_t old_line = 1;
  size_t new_line = 1;
  size_t pos = 0;
  for (const Hunk& hunk : hunks) {
    for (; pos < hunk.start; ++pos) {
      old_line += script[pos].op != '+';
      new_line += script[pos].op != '-';
    }
    append_hunk(out, script, hunk, old_line, new_line);
  }
  return out;
}

void print_file_patch(std::ostream& out, std::string_view path, std::string_view old_bytes,
                      std::string_view new_bytes, bool& changed) {
  if (old_bytes == new_bytes) return;
  changed = true;
  std::string text;
  if (is_binary(old_bytes) || is_binary(new_bytes)) {
    append_file_header(text, path);
    text.append("Бинарные файлы различаются\n\n");
  } else {
    text = file_patch(path, split_lines(old_bytes), split_lines(new_bytes), 3);
    if (!text.empty()) text.push_back('\n');
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::optional<FileStat> file_stat(std::string_view path, std::string_view old_bytes,
                                  std::string_view new_bytes) {
  if (old_bytes == new_bytes) return std::nullopt;
  FileStat stat{std::string(path)};
  if (is_binary(old_bytes) || is_binary(new_bytes)) {
    stat.binary = true;
    return stat;
  }
  for (const EditOp& entry : diff_lines(split_lines(old_bytes), split_lines(new_bytes))) {
    stat.insertions += entry.op == '+';
    stat.deletions += entry.op == '-';
  }
  return stat;
}

void print_stat(std::ostream& out, const std::vector<FileStat>& stats) {
  for (const FileStat& stat : stats) {
    out << ' ' << stat.path << " | ";
    if (stat.binary) {
      out << "Bin\n";
      continue;
    }
    out << uint64_t{stat.insertions} + stat.deletions;
    const std::string bar = stat_bar(stat.insertions, stat.deletions);
    if (!bar.empty()) out << ' ' << bar;
    out << '\n';
  }
  print_summary(out, stats);
}

void print_shortstat(std::ostream& out, const std::vector<FileStat>& stats) {
  print_summary(out, stats);
}

std::string stat_bar(uint32_t insertions, uint32_t deletions, uint32_t width) {
  const uint64_t total = uint64_t{insertions} + deletions;
  if (total == 0) return {};
  if (total <= width) return std::string(insertions, '+') + std::string(deletions, '-');
  uint64_t plus = static_cast<uint64_t>(
      std::floor(static_cast<double>(width) * insertions / static_cast<double>(total)));
  if (insertions > 0 && plus == 0) plus = 1;
  if (plus > width) plus = width;
  // A zero width leaves no room for either sign.
  if (deletions > 0 && plus == width && width > 0) plus = width - 1;
  return std::string(plus, '+') + std::string(width - plus, '-');
}

char name_status_letter(std::string_view old_bytes, std::string_view new_bytes) {
  if (!old_bytes.empty() && new_bytes.empty()) return 'D';
  if (old_bytes.empty() && !new_bytes.empty()) return 'A';
  return 'M';
}
