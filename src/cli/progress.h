#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// Whether the command also writes a line per item to standard output:
// such lines would break into a progress line on the same terminal, and
// they tell the progress themselves.
enum class ProgressOutput { at_end, per_item };

// A line of progress on standard error for long work (staging, scanning,
// packing, transfers), redrawn at most ten times a second and cleared when
// the work ends. It is shown only when standard error is a terminal and
// --quiet is off (for per-item commands also only when standard output is
// not a terminal), so redirected output never carries it; when it is not
// shown every call costs one test.
class Progress {
 public:
  explicit Progress(std::string title, ProgressOutput output = ProgressOutput::at_end);
  ~Progress();  // finish()
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // The number of items expected, when known; adds a percentage.
  void set_total(uint64_t total);
  void add_items(uint64_t count = 1);
  // Items done together with their bytes, shown with the average rate.
  void add(uint64_t items, uint64_t bytes);
  // Bytes moved so far.
  void set_bytes(uint64_t bytes);
  uint64_t bytes() const { return bytes_; }
  // Clears the line, if one was drawn; later calls draw nothing.
  void finish();

 private:
  void tick();

  bool shown_;
  std::string title_;
  uint64_t items_ = 0;
  uint64_t total_ = 0;
  uint64_t bytes_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_;
  bool drawn_ = false;
};

// "<title>: <items>[/<total> (<percent>%)][, <size>, <rate>/с]", the text of
// one progress line; sizes in binary units with a decimal comma.
std::string format_progress_line(std::string_view title, uint64_t items, uint64_t total,
                                 uint64_t bytes, double seconds);
