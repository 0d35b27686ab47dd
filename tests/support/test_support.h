#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace testing_support {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it
// when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

struct RunResult {
  std::string out;
  std::string err;
  int code = -1;
};

struct RunOptions {
  std::string cwd = ".";
  std::string stdin_text;
  // Variables to set (or, with an empty optional-like value "\x01unset", to remove).
  std::map<std::string, std::string> env;
  // Seconds after which the program is killed (its exit code is then 128 +
  // SIGKILL); 0 waits for ever.
  int timeout_seconds = 0;
};

// The value that removes a variable from the child's environment.
inline const std::string k_unset = "\x01unset";

// Runs a program (searched on PATH when the name has no "/") with the given
// arguments, feeds it stdin_text and captures both output streams.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const RunOptions& options = {});

// Runs the built orrery binary. USER is "tester" unless options say otherwise.
RunResult run_orrery(const std::vector<std::string>& args, const RunOptions& options = {});

// Whole-file helpers; read_text fails the current test when the file is missing.
void write_text(const std::string& path, const std::string& content);
std::string read_text(const std::string& path);
bool path_exists(const std::string& path);
// Sorted list of every regular file below dir, relative to it.
std::vector<std::string> list_files(const std::string& dir);

// The 64-digit id of a blob, computed by Python's hashlib as an independent check.
std::string python_blob_id(const std::string& content);

// The command name followed by its arguments.
inline std::vector<std::string> command_line(const std::string& command,
                                             std::vector<std::string> args) {
  args.insert(args.begin(), command);
  return args;
}

// Fixture for end-to-end tests: a temporary directory and orrery run in it.
class OrreryTest : public ::testing::Test {
 protected:
  RunResult orrery(std::initializer_list<std::string> args) { return orrery_in(dir.path(), args); }
  RunResult orrery(const std::vector<std::string>& args) {
    return run_orrery(args, {dir.path(), "", {}});
  }
  RunResult orrery_in(const std::string& cwd, std::initializer_list<std::string> args);
  RunResult orrery_input(std::initializer_list<std::string> args, const std::string& input);
  // orrery init in the temporary directory, asserting success.
  void init_repo();
  std::string file(const std::string& relative) const { return dir / relative; }

  TempDir dir;
};

// Sets (or, with k_unset, removes) environment variables of the test process
// and restores their previous values when it goes out of scope.
class ScopedEnv {
 public:
  explicit ScopedEnv(const std::map<std::string, std::string>& values);
  ScopedEnv(std::initializer_list<std::pair<const std::string, std::string>> values)
      : ScopedEnv(std::map<std::string, std::string>(values)) {}
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// The texts and numbers written one after the other. Tests build names with
// it rather than with "literal" + std::string, which g++ -O3 takes for an
// overlapping copy.
template <typename... Parts>
std::string concat(const Parts&... parts) {
  std::string out;
  const auto add = [&out](const auto& part) {
    if constexpr (std::is_arithmetic_v<std::decay_t<decltype(part)>>) {
      out.append(std::to_string(part));
    } else {
      out.append(std::string_view(part));
    }
  };
  (add(parts), ...);
  return out;
}

// Expects exit code, stdout and stderr all at once, so a failure shows all three.
#define EXPECT_RUN(result, exit_code, stdout_text, stderr_text) \
  do {                                                          \
    const auto& r_ = (result);                                  \
    EXPECT_EQ(r_.out, stdout_text);                             \
    EXPECT_EQ(r_.err, stderr_text);                             \
    EXPECT_EQ(r_.code, exit_code);                              \
  } while (0)

}  // namespace testing_support
