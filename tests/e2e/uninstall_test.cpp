#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

const std::string k_explanation =
    "Удаление Orrery с этой учётной записи ПК.\n\n"
    "Будут удалены сохранённые токены и каталог настроек приложения (не репозитории **.orrery** "
    "в проектах).\n\n";
const std::string k_with_yes =
    "\nС флагом **--yes** дополнительно будет удалён исполняемый файл **orrery** и типичные файлы "
    "установки **cmake --install** в том же префиксе (**/bin/orrery** → **lib/liborrery_*.a**, "
    "**lib/cmake/orrery**, **share/doc/orrery**), если такая раскладка обнаружена. Для каталогов "
    "вроде **/usr/local** может понадобиться **sudo orrery uninstall --yes**.\n";
const std::string k_dry_run_head =
    "Режим просмотра (ничего не удаляю).\nПользовательские данные Orrery на этой машине:\n";
const std::string k_dry_run_program =
    "При **--yes** из того же запуска также будет снята программа **orrery**, если это именно "
    "бинарник **orrery** (не тесты):\n";

class UninstallTest : public OrreryTest {
 protected:
  std::string config() const { return dir / "config/orrery"; }
  void store_token() { write_text(config() + "/credentials", "t\n"); }

  ScopedEnv env{{{"XDG_CONFIG_HOME", dir / "config"}, {"ORRERY_TOKEN", k_unset}}};
};

// The built binary is only asked, never told to remove itself.
TEST_F(UninstallTest, ExplainsOrListsWithoutRemoving) {
  EXPECT_RUN(orrery({"uninstall"}), 0,
             k_explanation + "  каталог (пока отсутствует): " + config() + "\n" + k_with_yes +
                 "\nПользовательских данных нет; для снятия бинарника всё равно используй "
                 "**--yes** (см. orrery uninstall --dry-run).\n",
             "");
  store_token();
  EXPECT_RUN(orrery({"uninstall"}), 1,
             k_explanation + "  каталог: " + config() + "\n" + k_with_yes +
                 "\nЧтобы выполнить удаление, запусти: orrery uninstall --yes\n",
             "");
  EXPECT_RUN(orrery({"uninstall", "--yes", "-n"}), 0,
             k_dry_run_head + "  каталог: " + config() + "\n" + k_dry_run_program +
                 "  программа: " + fs::canonical(ORRERY_BINARY).string() + "\n",
             "");
  EXPECT_RUN(orrery({"uninstall", "-x"}), 1, "",
             "orrery: ошибка: неизвестный аргумент: -x\n"
             "  подсказка: orrery uninstall [--dry-run] [--yes]\n");
  EXPECT_EQ(read_text(config() + "/credentials"), "t\n");
}

// A real install into a temporary prefix, removed by its own binary: the
// user data and every installed file go, a linked-to file outside stays.
TEST_F(UninstallTest, RemovesTheInstallItRunsFrom) {
  const std::string prefix = dir / "prefix";
  const std::string build = fs::path(ORRERY_BINARY).parent_path().string();
  ASSERT_EQ(run_program("cmake", {"--install", build, "--prefix", prefix}).code, 0);
  const std::string real_prefix = fs::canonical(prefix).string();
  write_text(dir / "outside", "keep");
  fs::create_symlink(dir / "outside", prefix + "/share/doc/orrery/link");
  fs::create_symlink(dir / "outside", prefix + "/share/man/man1/orrery-link.1");
  write_text(prefix + "/share/man/man1/other.1", ".TH other 1\n");
  write_text(prefix + "/bin/other-tool", "x");
  store_token();

  const std::string binary = real_prefix + "/bin/orrery";
  const RunResult dry = run_program(binary, {"uninstall", "--dry-run"});
  EXPECT_EQ(dry.code, 0);
  EXPECT_TRUE(dry.out.starts_with(
      k_dry_run_head + "  каталог: " + config() + "\n" + k_dry_run_program + "  программа: " +
      binary + "\n    и при --yes: каталоги/библиотеки установки CMake в префиксе " + real_prefix +
      " (lib/liborrery_*.a, lib/cmake/orrery, share/doc/orrery)\n      " + real_prefix +
      "/lib/liborrery_core.a\n"))
      << dry.out;
  for (const std::string listed :
       {"share/bash-completion/completions/orrery", "share/zsh/site-functions/_orrery",
        "share/man/man1/orrery-commit.1", "share/man/man1/orrery-link.1",
        "share/man/man1/orrery.1"}) {
    EXPECT_NE(dry.out.find("\n      " + real_prefix + "/" + listed + "\n"), std::string::npos)
        << listed;
  }
  EXPECT_EQ(dry.out.find("other"), std::string::npos);
  EXPECT_RUN(run_program(binary, {"uninstall", "-y"}), 0,
             "Пользовательские данные Orrery удалены.\n"
             "Файлы программы orrery в префиксе установки удалены (насколько возможно).\n",
             "");
  EXPECT_FALSE(path_exists(config()));
  EXPECT_EQ(list_files(prefix),
            (std::vector<std::string>{"bin/other-tool", "share/man/man1/other.1"}));
  EXPECT_EQ(read_text(dir / "outside"), "keep");
}

}  // namespace
}  // namespace testing_support
