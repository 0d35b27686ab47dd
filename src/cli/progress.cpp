#include "cli/progress.h"

#include <unistd.h>

#include <cstdio>
#include <iterator>

#include "cli/console.h"

namespace {

constexpr auto k_redraw_interval = std::chrono::milliseconds(100);

std::string format_size(double bytes) {
  static const char* const k_units[] = {"Б", "КиБ", "МиБ", "ГиБ", "ТиБ"};
  size_t unit = 0;
  while (bytes >= 1024 && unit + 1 < std::size(k_units)) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%.0f %s", bytes, k_units[unit]);
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", bytes, k_units[unit]);
    for (char* c = text; *c != '\0'; ++c) {
      if (*c == '.') *c = ',';
    }
  }
  return text;
}

void write_to_stderr(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const ssize_t n = ::write(STDERR_FILENO, text.data() + at, text.size() - at);
    if (n <= 0) return;
    at += static_cast<size_t>(n);
  }
}

bool should_show(ProgressOutput output) {
  if (g_quiet || isatty(STDERR_FILENO) != 1) return false;
  return output == ProgressOutput::at_end || isatty(STDOUT_FILENO) != 1;
}

}  // namespace

std::string format_progress_line(std::string_view title, uint64_t items, uint64_t total,
                                 uint64_t bytes, double seconds) {
  std::string line(title);
  line += ": " + std::to_string(items);
  if (total > 0) {
    line.append("/").append(std::to_string(total));
    line.append(" (").append(std::to_string(items * 100 / total)).append("%)");
  }
  if (bytes > 0) {
    line += ", " + format_size(static_cast<double>(bytes));
    if (seconds > 0) line += ", " + format_size(static_cast<double>(bytes) / seconds) + "/с";
  }
  return line;
}

Progress::Progress(std::string title, ProgressOutput output)
    : shown_(should_show(output)), title_(std::move(title)) {
  if (shown_) start_ = std::chrono::steady_clock::now();
}

Progress::~Progress() { finish(); }

void Progress::set_total(uint64_t total) {
  total_ = total;
  tick();
}

void Progress::add_items(uint64_t count) {
  items_ += count;
  tick();
}

void Progress::add(uint64_t items, uint64_t bytes) {
  items_ += items;
  bytes_ += bytes;
  tick();
}

void Progress::set_bytes(uint64_t bytes) {
  bytes_ = bytes;
  tick();
}

void Progress::finish() {
  if (drawn_) write_to_stderr("\r\x1b[K");
  shown_ = false;
  drawn_ = false;
}

void Progress::tick() {
  if (!shown_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_draw_ < k_redraw_interval) return;
  // A rate over the first moments says little.
  double seconds = std::chrono::duration<double>(now - start_).count();
  if (seconds < 0.5) seconds = 0;
  std::string line = "\r";
  line.append(format_progress_line(title_, items_, total_, bytes_, seconds)).append("\x1b[K");
  write_to_stderr(line);
  last_draw_ = now;
  drawn_ = true;
}
