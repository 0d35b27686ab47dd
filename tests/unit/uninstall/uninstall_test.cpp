#include "uninstall/uninstall.h"

#include <gtest/gtest.h>

#include "support/parsed_outcome.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

// An install is recognised, and removed, by what its own layout put there,
// wherever the platform keeps libraries, and by nothing another layout
// would have (the texts that name lib/ are fixed and stay so).
TEST(InstallPrefix, IsFoundThroughTheLayoutTheInstallUsed) {
  const struct {
    std::string libdir, planted, exe_folder;
    bool found;
    std::string removed;
  } cases[] = {
      {"lib64", "lib64/liborrery_net.a", "bin", true, "lib64/liborrery_net.a"},
      {"lib/x86_64-linux-gnu", "lib/x86_64-linux-gnu/cmake/orrery/x", "Bin", true,
       "lib/x86_64-linux-gnu/cmake/orrery"},
      {"lib64", "lib/liborrery_core.a", "bin", false, ""},
      {"lib", "lib/liborrery_core.a", "tools", false, "lib/liborrery_core.a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.libdir + " " + c.planted + " " + c.exe_folder);
    TempDir dir;
    write_text(dir / c.planted, "x");
    const InstallLayout layout{"bin",   c.libdir,           "include",
                               "share", "share/doc/orrery", "share/man"};
    EXPECT_EQ(install_prefix_of(dir / (c.exe_folder + "/orrery"), layout),
              c.found ? std::optional<std::string>(dir.path()) : std::nullopt);
    EXPECT_EQ(installed_entries(dir.path(), layout),
              c.removed.empty() ? std::vector<std::string>{} : std::vector{dir / c.removed});
  }
}

TEST(UninstallArgs, TakeOnlyTheTwoFlagsInEitherSpelling) {
  const auto flags = [](const UninstallOptions& o) {
    return std::string(o.dry_run ? "dry-run" : "-") + (o.yes ? " yes" : " -");
  };
  expect_arg_errors(parse_uninstall_args,
                    {
                        {{}, "- -"},
                        {{"-y", "--dry-run"}, "dry-run yes"},
                        {{"--yes", "-n"}, "dry-run yes"},
                        {{"--yes", "--force"},
                         "неизвестный аргумент: --force | orrery uninstall [--dry-run] [--yes]"},
                    },
                    flags);
}

}  // namespace
}  // namespace testing_support
