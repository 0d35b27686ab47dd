#include <cstdio>
#include <random>

#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

class DiffCommand : public OrreryTest {
 protected:
  RunResult diff(const std::vector<std::string>& args) {
    return orrery(command_line("diff", args));
  }

  void write_files(const FileSet& files) {
    for (const auto& [path, content] : files) write_text(file(path), content);
  }

  // Staged: a.txt, b.txt, c.txt, d.bin, e.txt, sub/f.txt. In the working
  // tree a.txt has a changed line, b.txt is gone, c.txt is emptied, d.bin
  // has other binary bytes, e.txt lost its final newline, sub/f.txt is as
  // staged, and one file is untracked.
  void make_worktree_changes() {
    init_repo();
    const FileSet staged{
        {"a.txt", "one\ntwo\nthree\n"},   {"b.txt", "gone\n"}, {"c.txt", "keep\n"},
        {"d.bin", std::string("\0x", 2)}, {"e.txt", "same\n"}, {"sub/f.txt", "x\n"}};
    write_files(staged);
    stage_files(dir.path(), staged);
    write_text(file("a.txt"), "one\n2\nthree\n");
    std::remove(file("b.txt").c_str());
    write_text(file("c.txt"), "");
    write_text(file("d.bin"), std::string("\0y", 2));
    write_text(file("e.txt"), "same");
    write_text(file("untracked.txt"), "new\n");
  }

  // HEAD holds a.txt, gone.txt, same.txt and z.bin; the index changes a.txt
  // and z.bin, adds the empty new.txt and new2.txt, and drops gone.txt.
  void make_staged_changes() {
    init_repo();
    commit_files(dir.path(), {{"a.txt", "1\n"},
                              {"gone.txt", "bye\n"},
                              {"same.txt", "s\n"},
                              {"z.bin", std::string("\0", 1)}});
    stage_files(dir.path(), {{"a.txt", "2\n"},
                             {"new.txt", ""},
                             {"new2.txt", "hi\n"},
                             {"same.txt", "s\n"},
                             {"z.bin", std::string("\0\1", 2)}});
  }
};

const char* const k_formats[] = {"", "--stat", "--shortstat", "--name-only", "--name-status"};

TEST_F(DiffCommand, BeforeACommitStagedPathsAreAddedAndACleanTreeHasNoDifferences) {
  init_repo();
  write_text(file("untracked.txt"), "x\n");
  EXPECT_RUN(diff({}), 0, "Нет отличий\n", "");
  EXPECT_RUN(diff({"--staged"}), 0, "Нет отличий\n", "");
  const FileSet files{{"a.txt", "a\n"}, {"dir/b.txt", "b\n"}, {"empty", ""}};
  write_files(files);
  stage_files(dir.path(), files);
  // Without a commit every index path is added, empty or not.
  EXPECT_RUN(diff({"--cached", "--name-status"}), 1, "A\ta.txt\nA\tdir/b.txt\nA\tempty\n", "");
  commit_files(dir.path(), files);
  for (const char* format : k_formats) {
    SCOPED_TRACE(format);
    EXPECT_RUN(diff({format}), 0, "Нет отличий\n", "");
    EXPECT_RUN(diff({"--cached", format}), 0, "Нет отличий\n", "");
  }
}

TEST_F(DiffCommand, EachFormatOfTheWorkingTreeChangesNothing) {
  make_worktree_changes();
  const std::vector<std::string> metadata = list_files(file(".orrery"));
  const std::string index = read_text(file(".orrery/index"));
  const struct {
    const char* format;
    const char* out;
  } cases[] = {
      {"",
       "diff -- a/a.txt b/a.txt\n--- a/a.txt\n+++ b/a.txt\n"
       "@@ -1,3 +1,3 @@\n one\n-two\n+2\n three\n\n"
       "diff -- a/b.txt b/b.txt\n--- a/b.txt\n+++ b/b.txt\n"
       "@@ -1,1 +1,0 @@\n-gone\n\n"
       "diff -- a/c.txt b/c.txt\n--- a/c.txt\n+++ b/c.txt\n"
       "@@ -1,1 +1,0 @@\n-keep\n\n"
       "diff -- a/d.bin b/d.bin\nБинарные файлы различаются\n\n"},
      // A change of the final newline alone counts, but has no patch lines.
      {"--stat",
       " a.txt | 2 +-\n b.txt | 1 -\n c.txt | 1 -\n d.bin | Bin\n e.txt | 0\n"
       " 5 files changed, 1 insertion(+), 3 deletions(-); 1 binary file\n"},
      {"--shortstat", " 5 files changed, 1 insertion(+), 3 deletions(-); 1 binary file\n"},
      {"--name-only", "a.txt\nb.txt\nc.txt\nd.bin\ne.txt\n"},
      // c.txt still exists, but empty content reads as a deletion.
      {"--name-status", "M\ta.txt\nD\tb.txt\nD\tc.txt\nM\td.bin\nM\te.txt\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_RUN(diff({c.format}), 1, c.out, "");
  }
  EXPECT_EQ(list_files(file(".orrery")), metadata);
  EXPECT_EQ(read_text(file(".orrery/index")), index);
  EXPECT_EQ(read_text(file("c.txt")), "");
}

TEST_F(DiffCommand, CachedListsRemovedPathsAfterAllIndexPaths) {
  make_staged_changes();
  const struct {
    const char* format;
    const char* out;
  } cases[] = {
      // new.txt is empty on both sides: no patch, no stat record, but listed
      // as added by the name formats.
      {"",
       "diff -- a/a.txt b/a.txt\n--- a/a.txt\n+++ b/a.txt\n@@ -1,1 +1,1 @@\n-1\n+2\n\n"
       "diff -- a/new2.txt b/new2.txt\n--- a/new2.txt\n+++ b/new2.txt\n"
       "@@ -1,0 +1,1 @@\n+hi\n\n"
       "diff -- a/z.bin b/z.bin\nБинарные файлы различаются\n\n"
       "diff -- a/gone.txt b/gone.txt\n--- a/gone.txt\n+++ b/gone.txt\n"
       "@@ -1,1 +1,0 @@\n-bye\n\n"},
      {"--stat",
       " a.txt | 2 +-\n new2.txt | 1 +\n z.bin | Bin\n gone.txt | 1 -\n"
       " 4 files changed, 2 insertions(+), 2 deletions(-); 1 binary file\n"},
      {"--shortstat", " 4 files changed, 2 insertions(+), 2 deletions(-); 1 binary file\n"},
      {"--name-only", "a.txt\nnew.txt\nnew2.txt\nz.bin\ngone.txt\n"},
      {"--name-status", "M\ta.txt\nA\tnew.txt\nA\tnew2.txt\nM\tz.bin\nD\tgone.txt\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_RUN(diff({"--cached", c.format}), 1, c.out, "");
    EXPECT_RUN(diff({c.format, "--staged"}), 1, c.out, "");
  }
}

TEST_F(DiffCommand, AnIndexEntryWhoseObjectIsMissingOrDamagedIsSkipped) {
  init_repo();
  write_files({{"a.txt", "new a\n"}, {"b.txt", "new b\n"}, {"c.txt", "new c\n"}});
  stage_files(dir.path(), {{"a.txt", "a\n"}, {"b.txt", "b\n"}, {"c.txt", "c\n"}});
  const std::string a = blob_id("a\n");
  const std::string b = blob_id("b\n");
  std::remove(file(".orrery/objects/" + a.substr(0, 2) + "/" + a.substr(2)).c_str());
  write_text(file(".orrery/objects/" + b.substr(0, 2) + "/" + b.substr(2)), "not zlib");
  EXPECT_RUN(diff({"--name-status"}), 1, "M\tc.txt\n", "");
  // The staged side reads as empty content in the HEAD comparison.
  EXPECT_RUN(diff({"--cached", "--name-status"}), 1, "A\ta.txt\nA\tb.txt\nA\tc.txt\n", "");
}

TEST_F(DiffCommand, WorksFromASubdirectoryWithRootRelativePaths) {
  make_worktree_changes();
  EXPECT_RUN(orrery_in(file("sub"), {"diff", "--name-only"}), 1,
             "a.txt\nb.txt\nc.txt\nd.bin\ne.txt\n", "");
}

// GNU patch as the judge: the patch of HEAD against the index must turn
// HEAD's files into the staged ones, and the patch of the index against the
// working tree must turn the staged files into the working ones. Every file
// ends in a line of its own, so a hunk short of trailing context cannot
// match at the end of the file by accident.
class DiffPatchOracle : public DiffCommand {
 protected:
  std::string random_text(const std::string& path) {
    std::string text;
    for (size_t n = rng() % 30; n > 0; --n) text += concat("w", rng() % 5, "\n");
    return text + "end of " + path + "\n";
  }

  std::string edit(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, next; at < text.size(); at = next + 1) {
      next = text.find('\n', at);
      lines.push_back(text.substr(at, next - at));
    }
    for (size_t edits = 1 + rng() % 4; edits > 0; --edits) {
      const size_t at = rng() % lines.size();
      if (rng() % 3 == 0) {
        lines.insert(lines.begin() + static_cast<long>(at), "new" + std::to_string(rng() % 3));
      } else if (rng() % 2 && lines.size() > 1) {
        lines.erase(lines.begin() + static_cast<long>(at));
      } else {
        lines[at] = concat("w", rng() % 6);
      }
    }
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
  }

  // Writes the files (and an empty file for every path only `target` has, so
  // patch finds something to add to) into a fresh directory, applies the
  // patch, and returns what is there afterwards; patch removes files it
  // empties.
  FileSet apply(const FileSet& start, const FileSet& target, const std::string& patch_text) {
    TempDir copy;
    for (const auto& [path, content] : target) write_text(copy / path, "");
    for (const auto& [path, content] : start) write_text(copy / path, content);
    write_text(copy / "p.diff", patch_text);
    const RunResult r = run_program(
        "patch", {"-p1", "-F3", "-E", "--batch", "--no-backup-if-mismatch", "-i", "p.diff"},
        {copy.path(), "", {}});
    EXPECT_EQ(r.code, 0) << r.out << r.err << patch_text;
    EXPECT_EQ(r.out.find("offset"), std::string::npos) << r.out;
    std::remove((copy / "p.diff").c_str());
    FileSet result;
    for (const std::string& path : list_files(copy.path())) result[path] = read_text(copy / path);
    return result;
  }

  std::mt19937 rng{11};
};

TEST_F(DiffPatchOracle, PatchesReproduceTheStagedAndTheWorkingFiles) {
  init_repo();
  FileSet head, staged, working;
  for (int i = 0; i < 60; ++i) {
    const std::string path = concat(i % 3 ? concat("d", i % 4, "/") : "", "f", i, ".txt");
    const std::string text = random_text(path);
    const unsigned roll = rng() % 6;
    if (roll != 0) head[path] = text;                            // roll 0: added to the index
    if (roll != 1) staged[path] = roll < 4 ? edit(text) : text;  // roll 1: removed
  }
  for (const auto& [path, content] : staged) {
    const unsigned roll = rng() % 6;
    if (roll != 0) working[path] = roll < 3 ? edit(content) : content;  // roll 0: deleted
  }
  commit_files(dir.path(), head);
  stage_files(dir.path(), staged);
  write_files(working);
  const RunResult cached = diff({"--cached"});
  ASSERT_EQ(cached.code, 1) << cached.err;
  EXPECT_EQ(apply(head, staged, cached.out), staged);
  const RunResult r = diff({});
  ASSERT_EQ(r.code, 1) << r.err;
  EXPECT_EQ(apply(staged, {}, r.out), working);
}

}  // namespace
}  // namespace testing_support
