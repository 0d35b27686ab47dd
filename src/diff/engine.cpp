// The edit script is the one the greedy shortest-edit-script search yields:
// pass d extends, on every diagonal k = x - y from -d to d, the furthest path
// with d insertions and deletions, and the passes are then walked back from
// the end to recover the path. Which script comes out when several are
// equally short depends on every value the search computed, so the search is
// reproduced exactly; only its bookkeeping is lean:
//
// - Pass d reads nothing but the d values pass d - 1 wrote, so the trace
//   keeps just those: a triangle of d²/2 values instead of d full arrays.
// - Lines are interned to integers first, so the inner loop compares ints.
// - A common prefix is one long run on the first diagonal that shifts every
//   later coordinate by the same amount, so it is matched before the search.
//   A common suffix is not: paths that reach it early steer the ties.

#include "diff/engine.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace {

// Distinct lines get consecutive ids: equal bytes, equal id.
struct LineTable {
  std::vector<uint32_t> slots;  // 1 + the id of the line stored there, 0 when free
  std::vector<std::string_view> lines;
  std::vector<size_t> hashes;
  size_t mask = 0;
};

LineTable make_line_table(size_t line_count) {
  size_t capacity = 16;
  while (capacity < 2 * line_count) capacity *= 2;
  LineTable table;
  table.slots.assign(capacity, 0);
  table.mask = capacity - 1;
  table.lines.reserve(line_count);
  table.hashes.reserve(line_count);
  return table;
}

uint32_t intern_line(LineTable& table, std::string_view line) {
  const size_t hash = std::hash<std::string_view>{}(line);
  size_t i = hash & table.mask;
  for (; table.slots[i] != 0; i = (i + 1) & table.mask) {
    const uint32_t id = table.slots[i] - 1;
    if (table.hashes[id] == hash && table.lines[id] == line) return id;
  }
  if (table.lines.size() >= UINT32_MAX) throw std::runtime_error("Too many distinct lines");
  table.lines.push_back(line);
  table.hashes.push_back(hash);
  table.slots[i] = static_cast<uint32_t>(table.lines.size());
  return table.slots[i] - 1;
}

// The ids of old[from...] and new[from...], one table for both sides.
void intern_sides(const std::vector<std::string_view>& old_lines,
                  const std::vector<std::string_view>& new_lines, size_t from,
                  std::vector<uint32_t>& old_ids, std::vector<uint32_t>& new_ids) {
  LineTable table = make_line_table(old_lines.size() + new_lines.size() - 2 * from);
  old_ids.reserve(old_lines.size() - from);
  new_ids.reserve(new_lines.size() - from);
  for (size_t i = from; i < old_lines.size(); ++i)
    old_ids.push_back(intern_line(table, old_lines[i]));
  for (size_t i = from; i < new_lines.size(); ++i)
    new_ids.push_back(intern_line(table, new_lines[i]));
}

// Pass d stores the furthest x of diagonals -d, -d + 2, ..., d, in that
// order, from this offset of the trace on.
size_t pass_offset(size_t d) { return d * (d + 1) / 2; }

// Runs the search over a[0, n) and b[0, m) and returns the trace; the last
// pass stored is the one that reached (n, m), possibly cut short there.
template <typename Int>
std::vector<Int> search_trace(const uint32_t* a, Int n, const uint32_t* b, Int m) {
  std::vector<Int> trace;
  for (Int d = 0;; ++d) {
    const size_t offset = pass_offset(d);
    trace.resize(offset + d + 1);
    const Int* prev = trace.data() + (d > 0 ? pass_offset(d - 1) : 0);
    Int* cur = trace.data() + offset;
    // Entry i is diagonal k = 2i - d; its neighbours k - 1 and k + 1 are
    // entries i - 1 and i of the previous pass.
    for (Int i = 0; i <= d; ++i) {
      const Int k = 2 * i - d;
      Int x = 0;
      if (i == 0) {
        x = d == 0 ? 0 : prev[0];
      } else if (i == d) {
        x = prev[i - 1] + 1;
      } else {
        x = prev[i - 1] < prev[i] ? prev[i] : prev[i - 1] + 1;
      }
      Int y = x - k;
      while (x < n && y < m && a[x] == b[y]) ++x, ++y;
      cur[i] = x;
      if (x >= n && y >= m) {
        trace.resize(offset + i + 1);
        return trace;
      }
    }
  }
}

// The number of the last pass in a trace.
template <typename Int>
Int last_pass(const std::vector<Int>& trace) {
  Int d = 0;
  while (pass_offset(d + 1) < trace.size()) ++d;
  return d;
}

// Walks the trace back from (n, m) and appends the script, back to front, of
// old[from + ...] against new[from + ...].
template <typename Int>
void walk_back(const std::vector<Int>& trace, Int n, Int m,
               const std::vector<std::string_view>& old_lines,
               const std::vector<std::string_view>& new_lines, size_t from, EditScript& reversed) {
  const std::string_view* old_side = old_lines.data() + from;
  const std::string_view* new_side = new_lines.data() + from;
  Int x = n;
  Int y = m;
  for (Int d = last_pass(trace); d > 0; --d) {
    const Int* prev = trace.data() + pass_offset(d - 1);
    const Int k = x - y;
    const Int i = (k + d) / 2;
    const bool insertion = k == -d || (k != d && prev[i - 1] < prev[i]);
    const Int prev_x = insertion ? prev[i] : prev[i - 1];
    const Int prev_y = prev_x - (insertion ? k + 1 : k - 1);
    for (; x > prev_x && y > prev_y; --x, --y) reversed.push_back({' ', old_side[x - 1]});
    if (insertion) {
      reversed.push_back({'+', new_side[--y]});
    } else {
      reversed.push_back({'-', old_side[--x]});
    }
  }
  for (; x > 0 && y >= 0; --x, --y) reversed.push_back({' ', old_side[x - 1]});
}

template <typename Int>
void diff_from(const std::vector<std::string_view>& old_lines,
               const std::vector<std::string_view>& new_lines, size_t from, EditScript& reversed) {
  std::vector<uint32_t> old_ids;
  std::vector<uint32_t> new_ids;
  intern_sides(old_lines, new_lines, from, old_ids, new_ids);
  const Int n = static_cast<Int>(old_ids.size());
  const Int m = static_cast<Int>(new_ids.size());
  const std::vector<Int> trace = search_trace<Int>(old_ids.data(), n, new_ids.data(), m);
  const size_t distance = static_cast<size_t>(last_pass(trace));
  reversed.reserve(from + std::min(old_ids.size(), new_ids.size()) + distance);
  walk_back<Int>(trace, n, m, old_lines, new_lines, from, reversed);
}

size_t common_prefix(const std::vector<std::string_view>& old_lines,
                     const std::vector<std::string_view>& new_lines) {
  const size_t limit = std::min(old_lines.size(), new_lines.size());
  size_t i = 0;
  while (i < limit && old_lines[i] == new_lines[i]) ++i;
  return i;
}

}  // namespace

std::vector<std::string_view> split_lines(std::string_view content) {
  std::vector<std::string_view> lines;
  if (content.empty()) return lines;
  lines.reserve(std::count(content.begin(), content.end(), '\n') + 1);
  size_t pos = 0;
  while (pos < content.size()) {
    const size_t newline = content.find('\n', pos);
    if (newline == std::string_view::npos) {
      lines.push_back(content.substr(pos));
      break;
    }
    lines.push_back(content.substr(pos, newline - pos));
    pos = newline + 1;
  }
  return lines;
}

EditScript diff_lines(const std::vector<std::string_view>& old_lines,
                      const std::vector<std::string_view>& new_lines) {
  const size_t prefix = common_prefix(old_lines, new_lines);
  EditScript script;
  // Coordinates reach n + m plus the distance; 32 bits serve all but huge inputs.
  if (old_lines.size() + new_lines.size() < (size_t{1} << 29)) {
    diff_from<int32_t>(old_lines, new_lines, prefix, script);
  } else {
    diff_from<int64_t>(old_lines, new_lines, prefix, script);
  }
  for (size_t i = prefix; i > 0; --i) script.push_back({' ', old_lines[i - 1]});
  std::reverse(script.begin(), script.end());
  return script;
}

std::vector<Hunk> group_hunks(const EditScript& script, size_t context) {
  std::vector<Hunk> hunks;
  size_t i = 0;
  while (true) {
    while (i < script.size() && script[i].op == ' ') ++i;
    if (i == script.size()) break;
    const size_t start = i <= context ? 0 : i - context;
    while (i < script.size() && script[i].op != ' ') ++i;
    const size_t end = std::min(i + context, script.size());
    if (!hunks.empty() && hunks.back().end >= start) {
      hunks.back().end = std::max(hunks.back().end, end);
    } else {
      hunks.push_back({start, end});
    }
    // Changes inside the trailing context are already covered by the range.
    i = end;
  }
  return hunks;
}

bool is_binary(std::string_view content) {
  return std::memchr(content.data(), 0, content.size()) != nullptr;
}
