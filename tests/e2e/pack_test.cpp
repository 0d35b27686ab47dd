#include <regex>

#include "support/test_support.h"

using namespace testing_support;

namespace {

const std::string k_oracle = std::string(ORRERY_SOURCE_DIR) + "/tests/e2e/pack_oracle.py";
const std::string k_no_repo =
    "orrery: ошибка: не найден репозиторий orrery\n"
    "  подсказка: запусти 'orrery init' (нет .orrery в текущем или родительских каталогах)\n";

class PackCommand : public OrreryTest {
 protected:
  // Stores blobs as loose files through the independent writer.
  void write_blobs(const std::vector<std::string>& texts) {
    std::vector<std::string> args{k_oracle, "write", dir.path()};
    args.insert(args.end(), texts.begin(), texts.end());
    RunResult r = run_program("python3", args);
    ASSERT_EQ(r.code, 0) << r.err;
  }

  // Five long blobs that differ only at the end: in any directory order,
  // the first is stored whole and each later one as a delta on the one before.
  void write_sample_blobs() {
    const std::string long_text(400, 'L');
    write_blobs(
        {long_text + "1", long_text + "2", long_text + "3", long_text + "4", long_text + "5"});
  }

  // The oracle's verdict on every pack, one line each, sorted by pack name.
  std::string check_packs() {
    RunResult r = run_program("python3", {k_oracle, "check", dir.path()});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.code, 0);
    return r.out;
  }

  std::vector<std::string> loose_files() { return list_files(file(".orrery/objects")); }
};

// The name printed after `prefix` on the only output line.
std::string printed_pack_name(const std::string& out, const std::string& prefix,
                              const std::string& tail) {
  std::smatch match;
  std::regex pattern(prefix + "(pack-[1-9a-f][0-9a-f]{0,15})" + tail + "\n");
  return std::regex_match(out, match, pattern) ? match[1].str() : "<no name in: " + out + ">";
}

TEST_F(PackCommand, PacksEveryLooseObjectAndLeavesThemInPlace) {
  init_repo();
  write_sample_blobs();
  std::vector<std::string> before = loose_files();

  RunResult r = orrery({"pack"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.code, 0);
  std::string name = printed_pack_name(r.out, "Создан pack: ", "");
  EXPECT_EQ(list_files(file(".orrery/packs")),
            (std::vector<std::string>{name + ".idx.json", name + ".pack"}));
  EXPECT_EQ(check_packs(), name + ": objects=5 full=1 delta=4\n");
  EXPECT_EQ(loose_files(), before);
  EXPECT_FALSE(path_exists(file(".orrery/lock")));
}

TEST_F(PackCommand, GcDeletesPackedLooseFilesAndCountsOnlyDeletions) {
  init_repo();
  write_sample_blobs();

  RunResult first = orrery({"gc"});
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(first.code, 0);
  std::string first_name =
      printed_pack_name(first.out, "gc: создан ", ", удалено свободных объектов: 5");
  EXPECT_EQ(loose_files(), std::vector<std::string>{});

  write_blobs({"gamma\n"});
  RunResult second = orrery({"gc"});
  EXPECT_EQ(second.code, 0);
  std::string second_name =
      printed_pack_name(second.out, "gc: создан ", ", удалено свободных объектов: 1");
  RunResult third = orrery({"gc"});
  EXPECT_EQ(third.code, 0);
  std::string third_name =
      printed_pack_name(third.out, "gc: создан ", ", удалено свободных объектов: 0");
  EXPECT_EQ(read_text(file(".orrery/packs/" + third_name + ".idx.json")), "{}");

  std::string verdict = check_packs();
  EXPECT_NE(verdict.find(second_name + ": objects=1 full=1 delta=0\n"), std::string::npos);
  EXPECT_NE(verdict.find(first_name + ": objects=5 "), std::string::npos);
  EXPECT_EQ(list_files(file(".orrery/packs")).size(), 6u);
}

TEST_F(PackCommand, BothCommandsRefuseToRunOutsideARepository) {
  EXPECT_RUN(orrery({"pack"}), 1, "", k_no_repo);
  EXPECT_RUN(orrery({"gc"}), 1, "", k_no_repo);
  EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{});
}

TEST_F(PackCommand, PackReportsItsOwnFailuresAndGcLeavesThemToTheDispatcher) {
  init_repo();
  write_blobs({"x"});
  write_text(file(".orrery/packs"), "not a directory");
  EXPECT_RUN(orrery({"pack"}), 1, "",
             "orrery: ошибка: pack завершился ошибкой: Cannot open pack for writing\n");
  EXPECT_RUN(orrery({"gc"}), 1, "",
             "orrery: ошибка: Cannot open pack for writing\n"
             "  подсказка: запусти 'orrery help', чтобы увидеть список команд\n");
  EXPECT_EQ(loose_files().size(), 1u);
}

TEST_F(PackCommand, DamagedLooseObjectFailsThePackAndLeavesNothing) {
  init_repo();
  write_blobs({"x"});
  write_text(file(".orrery/objects/00/" + std::string(62, '0')), "not zlib");
  EXPECT_RUN(orrery({"pack"}), 1, "",
             "orrery: ошибка: pack завершился ошибкой: Damaged object " + std::string(64, '0') +
                 ": zlib inflate failed\n");
  EXPECT_EQ(list_files(file(".orrery/packs")), std::vector<std::string>{});
  EXPECT_FALSE(path_exists(file(".orrery/lock")));
}

}  // namespace
