// The edit script is the one the greedy shortest-edit-script search yields:
// pass d extends, on every diagonal k = x - y from -d to d, the furthest path
// with d insertions and deletions, and the passes are then walked back from
// the end to recover the path. Which script comes out when several are
// equally short depends on every value the search computed, so the search is
// reproduced exactly; only its bookkeeping is lean:
//
// - Pass d reads nothing but the d values pass d - 1 wrote, so only those
//   live values are ever kept, never a whole array per pass.
// - Even those would make a triangle of d²/2 values: 700 MB for a rewritten
//   10,000-line file. The search keeps copies of about the square root of d
//   passes, evenly spaced, and the walk back recomputes the passes between
//   two copies from the earlier one. That repeats the search's work once,
//   yet runs faster than filling the triangle, since fresh memory pages cost
//   more than the arithmetic, and holds memory near d^1.5 values (under
//   30 MB for that file).
// - Lines are interned to integers first, so the inner loop compares ints.
// - A common prefix is one long run on the first diagonal that shifts every
//   later coordinate by the same amount, so it is matched before the search.
//   A common suffix is not: paths that reach it early steer the ties.

#include "diff/engine.h"

#include <algorithm>
#include <cstdint>
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

// The interned sides of one search.
template <typename Int>
struct Sides {
  const uint32_t* a;
  Int n;
  const uint32_t* b;
  Int m;
};

// Computes pass d into cur[0, d] from pass d - 1 in prev (unused for d = 0).
// Entry i is diagonal k = 2i - d; its neighbours k - 1 and k + 1 are entries
// i - 1 and i of the previous pass. Returns false, cutting the pass short,
// once a path reaches (n, m).
template <typename Int>
bool run_pass(const Sides<Int>& s, Int d, const Int* prev, Int* cur) {
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
    while (x < s.n && y < s.m && s.a[x] == s.b[y]) ++x, ++y;
    cur[i] = x;
    if (x >= s.n && y >= s.m) return false;
  }
  return true;
}

template <typename Int>
struct Checkpoint {
  Int d;
  std::vector<Int> values;
};

// What the walk back needs: the number of the pass that reached (n, m) and
// copies of the passes whose number is a multiple of a stride, which doubles
// whenever its square falls behind the pass number. Pass 0 is always kept.
template <typename Int>
struct Trace {
  Int distance = 0;
  std::vector<Checkpoint<Int>> checkpoints;
};

template <typename Int>
Trace<Int> search(const Sides<Int>& s) {
  Trace<Int> trace;
  std::vector<Int> prev;
  std::vector<Int> cur;
  size_t stride = 1;
  for (Int d = 0;; ++d) {
    if (static_cast<size_t>(d) > stride * stride) {
      stride *= 2;
      std::erase_if(trace.checkpoints, [&](const Checkpoint<Int>& c) { return c.d % stride != 0; });
    }
    cur.resize(d + 1);
    if (!run_pass(s, d, prev.data(), cur.data())) {
      trace.distance = d;
      return trace;
    }
    if (d % stride == 0) trace.checkpoints.push_back({d, cur});
    std::swap(prev, cur);
  }
}

// Passes from a checkpoint on, recomputed: pass first + j at offsets[j].
template <typename Int>
struct Segment {
  Int first = 0;
  std::vector<Int> values;
  std::vector<size_t> offsets;
};

// Fills the segment with the checkpoint's pass and the passes after it up to
// `last`, reusing the segment's buffers.
template <typename Int>
void recompute(const Sides<Int>& s, const Checkpoint<Int>& from, Int last, Segment<Int>& segment) {
  segment.first = from.d;
  segment.values.assign(from.values.begin(), from.values.end());
  segment.offsets.assign(1, 0);
  for (Int d = from.d + 1; d <= last; ++d) {
    const size_t offset = segment.values.size();
    segment.values.resize(offset + d + 1);
    const Int* prev = segment.values.data() + segment.offsets.back();
    run_pass(s, d, prev, segment.values.data() + offset);
    segment.offsets.push_back(offset);
  }
}

// One step of the walk back over pass d > 0, given pass d - 1: the diagonal
// run that ends at (x, y), then the deletion or insertion before it.
template <typename Int>
void step_back(Int d, const Int* prev, const std::string_view* old_side,
               const std::string_view* new_side, Int& x, Int& y, EditScript& reversed) {
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

// Walks back from (n, m) to (0, 0), one segment between checkpoints at a
// time, and appends the script back to front.
template <typename Int>
void walk_back(const Sides<Int>& s, const Trace<Int>& trace, const std::string_view* old_side,
               const std::string_view* new_side, EditScript& reversed) {
  Int x = s.n;
  Int y = s.m;
  Int top = trace.distance;
  Segment<Int> segment;
  for (auto checkpoint = trace.checkpoints.rbegin(); top > 0; ++checkpoint) {
    recompute(s, *checkpoint, top - 1, segment);
    for (Int d = top; d > segment.first; --d) {
      const Int* prev = segment.values.data() + segment.offsets[d - 1 - segment.first];
      step_back(d, prev, old_side, new_side, x, y, reversed);
    }
    top = segment.first;
  }
  // Pass 0 starts at (0, 0): what is left is its diagonal run.
  for (; x > 0 && y >= 0; --x, --y) reversed.push_back({' ', old_side[x - 1]});
}

template <typename Int>
void diff_from(const std::vector<std::string_view>& old_lines,
               const std::vector<std::string_view>& new_lines, size_t from, EditScript& reversed) {
  std::vector<uint32_t> old_ids;
  std::vector<uint32_t> new_ids;
  intern_sides(old_lines, new_lines, from, old_ids, new_ids);
  const Sides<Int> sides{old_ids.data(), static_cast<Int>(old_ids.size()), new_ids.data(),
                         static_cast<Int>(new_ids.size())};
  const Trace<Int> trace = search(sides);
  reversed.reserve(from + std::min(old_ids.size(), new_ids.size()) + trace.distance);
  walk_back(sides, trace, old_lines.data() + from, new_lines.data() + from, reversed);
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
  // find, unlike memchr, accepts the null data of an empty view.
  return content.find('\0') != std::string_view::npos;
}
