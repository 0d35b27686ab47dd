#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;

// The generated files sit in the build folder in their installed layout.
std::string built(const std::string& relative) {
  return (fs::path(ORRERY_BINARY).parent_path() / "share" / relative).string();
}

std::string single_quoted(const std::string& word) { return "'" + word + "'"; }

class CompletionTest : public OrreryTest {
 protected:
  // What the bash function offers for the words, the last one being
  // completed; the first word is the built binary, so names come from it.
  RunResult complete(const std::string& cwd, const std::vector<std::string>& words) {
    std::string array = single_quoted(ORRERY_BINARY);
    for (const std::string& word : words) array.append(" ").append(single_quoted(word));
    const std::string script =
        "source " + single_quoted(built("bash-completion/completions/orrery")) + "; COMP_WORDS=(" +
        array + "); COMP_CWORD=" + std::to_string(words.size()) +
        "; _orrery; echo \"${COMPREPLY[*]}\"";
    return run_program("bash", {"--norc", "-c", script}, {cwd, "", {}});
  }
};

TEST_F(CompletionTest, BashOffersCommandsFlagsAndTheRepositorysNames) {
  init_repo();
  write_text(file("a.txt"), "1\n");
  ASSERT_EQ(orrery({"add", "a.txt"}).code, 0);
  ASSERT_EQ(orrery({"commit", "-m", "one"}).code, 0);
  ASSERT_EQ(orrery({"branch", "feature"}).code, 0);
  ASSERT_EQ(orrery({"tag", "v1"}).code, 0);
  ASSERT_EQ(orrery({"remote", "add", "origin", "http://127.0.0.1:9/r"}).code, 0);
  write_text(file(".orrery/refs/remotes/origin/main"), read_text(file(".orrery/refs/heads/main")));
  write_text(file("a.txt"), "2\n");
  ASSERT_EQ(orrery({"add", "a.txt"}).code, 0);
  ASSERT_EQ(orrery({"stash", "save"}).code, 0);
  write_text(file("sub/dir/notes.txt"), "");

  const struct {
    std::vector<std::string> words;
    std::string offered;
  } cases[] = {
      {{"ch"}, "checkout cherry-pick"},
      {{"p"}, "pack push pull pr"},
      {{"-"}, "--no-color --quiet --verbose -q -v"},
      {{"--no-color", "sw"}, "switch"},
      {{"commit", "--a"}, "--amend"},
      {{"archive", "--f"}, "--format="},
      {{"pull", "--"}, "--ff-only --rebase --no-color --quiet --verbose"},
      {{"switch", ""}, "feature main origin/main v1"},
      {{"checkout", "-b", "x", "o"}, "origin/main"},
      {{"merge", ""}, "feature main origin/main"},
      {{"push", ""}, "origin feature main"},
      {{"remote", ""}, "show add remove"},
      {{"remote", "show", ""}, "origin"},
      {{"stash", "d"}, "drop"},
      {{"stash", "drop", ""}, "stash@{0}"},
      {{"help", "st"}, "status stash"},
      {{"rm", "no"}, "notes.txt"},
      {{"-q", "tag", "-d", "v"}, "v1"},
      {{"unknown", ""}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words.back());
    EXPECT_RUN(complete(file("sub/dir"), c.words), 0, c.offered + "\n", "");
  }
  // Outside a repository there are no names, and no complaint either.
  TempDir outside;
  EXPECT_RUN(complete(outside.path(), {"switch", ""}), 0, "\n", "");
  EXPECT_RUN(complete(outside.path(), {"stash", "pop", ""}), 0, "\n", "");
}

TEST(CompletionScripts, ZshScriptParses) {
  if (run_program("sh", {"-c", "command -v zsh"}).code != 0) GTEST_SKIP() << "no zsh here";
  EXPECT_RUN(run_program("zsh", {"-n", built("zsh/site-functions/_orrery")}), 0, "", "");
}

// man-db's own check: groff warnings of every page, all in one run.
TEST(ManualPages, EveryPageFormatsWithoutWarnings) {
  std::vector<std::string> args = {"--warnings", "-l"};
  for (const auto& entry : fs::directory_iterator(built("man/man1"))) {
    args.push_back(entry.path().string());
  }
  EXPECT_GT(args.size(), 30u);
  RunOptions options;
  options.env = {{"MANWIDTH", "80"}, {"LANG", "C.UTF-8"}, {"MAN_KEEP_FORMATTING", k_unset}};
  const RunResult r = run_program("man", args, options);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.code, 0);
  for (const std::string title : {"ORRERY(1)", "ORRERY-COMMIT(1)", "ORRERY-CHERRY-PICK(1)"}) {
    EXPECT_NE(r.out.find(title), std::string::npos) << title;
  }
}

}  // namespace
}  // namespace testing_support
