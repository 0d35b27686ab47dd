#include "uninstall/uninstall.h"

#include <gtest/gtest.h>

#include "support/parsed_outcome.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

// An install is recognised by what its own layout put there, wherever the
// platform keeps libraries, and by nothing another layout would have.
TEST(InstallPrefix, IsFoundThroughTheLayoutTheInstallUsed) {
  const struct {
    std::string libdir, planted, exe_folder;
    bool found;
  } cases[] = {
      {"lib64", "lib64/liborrery_net.a", "bin", true},
      {"lib/x86_64-linux-gnu", "lib/x86_64-linux-gnu/cmake/orrery/x", "Bin", true},
      {"lib64", "lib/liborrery_core.a", "bin", false},
      {"lib", "lib/liborrery_core.a", "tools", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.libdir + " " + c.planted + " " + c.exe_folder);
    TempDir dir;
    write_text(dir / c.planted, "x");
    const InstallLayout layout{"bin",   c.libdir,           "include",
                               "share", "share/doc/orrery", "share/man"};
    EXPECT_EQ(install_prefix_of(dir / (c.exe_folder + "/orrery"), layout),
              c.found ? std::optional<std::string>(dir.path()) : std::nullopt);
  }
}

TEST(UninstallArgs, TakeOnlyTheTwoFlagsInEitherSpelling) {
  const auto flags = [](const UninstallOptions& o) {
    return std::string(o.dry_run ? "dry-run" : "-") + (o.yes ? " yes" : " -");
  };
  const std::pair<Args, std::string> cases[] = {
      {{}, "- -"},
      {{"-y", "--dry-run"}, "dry-run yes"},
      {{"--yes", "-n"}, "dry-run yes"},
      {{"--yes", "--force"},
       "error неизвестный аргумент: --force | orrery uninstall [--dry-run] [--yes]"},
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_EQ(parsed_outcome(parse_uninstall_args(args), flags), expected);
  }
}

}  // namespace
}  // namespace testing_support
