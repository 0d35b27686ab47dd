#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <set>
#include <string>

#include "support/test_support.h"
#include "util/atomic_file.h"
#include "util/handles.h"
#include "util/text.h"

using testing_support::read_text;
using testing_support::TempDir;
using testing_support::write_text;

namespace {

bool is_open(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

std::set<std::string> names_in(const std::string& dir) {
  std::set<std::string> names;
  DirHandle handle(dir);
  while (const dirent* entry = handle.next()) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.insert(name);
  }
  return names;
}

TEST(UniqueFd, ClosesOnceWhoeverOwnsItLast) {
  int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  {
    UniqueFd first(raw);
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first.valid());
    UniqueFd third;
    third = std::move(second);
    EXPECT_EQ(third.get(), raw);
    EXPECT_TRUE(is_open(raw));
  }
  EXPECT_FALSE(is_open(raw));

  UniqueFd kept(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  raw = kept.release();
  EXPECT_FALSE(kept.valid());
  EXPECT_EQ(kept.close(), 0);  // nothing held, nothing to report
  EXPECT_TRUE(is_open(raw));
  UniqueFd again(raw);
  EXPECT_EQ(again.close(), 0);
  EXPECT_FALSE(is_open(raw));
}

TEST(EntryKind, LooksUpAnUnknownTypeWithoutFollowingLinks) {
  TempDir dir;
  write_text(dir.path() + "/f", "x");
  ::mkdir((dir.path() + "/d").c_str(), 0755);
  ASSERT_EQ(::symlink("d", (dir.path() + "/link").c_str()), 0);
  const struct {
    const char* name;
    unsigned char type;
    EntryKind kind;
  } rows[] = {
      {"f", DT_UNKNOWN, EntryKind::file},     {"d", DT_UNKNOWN, EntryKind::directory},
      {"link", DT_UNKNOWN, EntryKind::other}, {"gone", DT_UNKNOWN, EntryKind::other},
      {"link", DT_LNK, EntryKind::other},     {"gone", DT_REG, EntryKind::file},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(entry_kind(dir.path() + "/" + row.name, row.type), row.kind) << row.name;
  }
}

TEST(ReadToEnd, ReadsPastTheExpectedSizeAndReportsAFailedRead) {
  TempDir dir;
  const std::string big(10000, 'b');
  write_text(dir.path() + "/f", big);
  UniqueFd file(::open((dir.path() + "/f").c_str(), O_RDONLY | O_CLOEXEC));
  std::string out = "old";
  EXPECT_EQ(read_to_end(file.get(), out, 10), 0);  // a file that grew since its stat
  EXPECT_EQ(out, big);
  UniqueFd directory(::open(dir.path().c_str(), O_RDONLY | O_CLOEXEC));
  EXPECT_EQ(read_to_end(directory.get(), out), EISDIR);
  EXPECT_EQ(out, "");
}

TEST(AtomicFile, ReplacesTheFileOnlyOnCommit) {
  struct Case {
    const char* name;
    bool commit;
    bool create_new;
    const char* expected;
  };
  const Case cases[] = {
      {"sibling committed", true, false, "new"},
      {"sibling abandoned", false, false, "old"},
      {"new file committed", true, true, "new"},
      {"new file abandoned", false, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir / "file";
    if (!c.create_new) write_text(path, "old");
    {
      AtomicFile file;
      const int opened = c.create_new ? file.create_new(path, {}) : file.open_sibling(path, {});
      ASSERT_EQ(opened, 0);
      ASSERT_EQ(file.append("n"), 0);
      ASSERT_EQ(file.write("ew"), 0);  // the appended byte goes first
      if (c.commit) {
        ASSERT_EQ(file.commit(), 0);
      }
    }
    std::set<std::string> expected_names;
    if (c.expected != nullptr) {
      expected_names.insert("file");
      EXPECT_EQ(read_text(path), c.expected);
    }
    EXPECT_EQ(names_in(dir.path()), expected_names);
  }
}

TEST(AtomicFile, RefusesClashesAndMissingDirectories) {
  TempDir dir;
  write_text(dir / "taken", "mine");
  AtomicFile taken;
  EXPECT_EQ(taken.create_new(dir / "taken", {}), EEXIST);
  AtomicFile orphan;
  EXPECT_EQ(orphan.open_sibling(dir / "missing/file", {}), ENOENT);
  EXPECT_EQ(read_text(dir / "taken"), "mine");
  EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"taken"});
}

TEST(AtomicFile, StreamsLargeAndSmallPiecesInOrderWithTheCallersMode) {
  TempDir dir;
  const std::string big(3 << 20, 'b');
  AtomicFile file;
  ASSERT_EQ(file.open_sibling(dir / "out", {0600, O_NOFOLLOW, AtomicFile::Sync::directory}), 0);
  std::string expected;
  for (std::string_view piece :
       {std::string_view("head"), std::string_view(big), std::string_view(big).substr(0, 700000),
        std::string_view("tail")}) {
    ASSERT_EQ(file.append(piece), 0);
    expected += piece;
  }
  ASSERT_EQ(file.commit(), 0);
  EXPECT_TRUE(file.committed());
  EXPECT_EQ(read_text(dir / "out"), expected);
  struct stat st;
  ASSERT_EQ(::stat((dir / "out").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(AtomicFile, WriteErrorLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  write_text(dir / "file", "old");
  // A file size limit makes the write itself fail (EFBIG), as a full disk
  // would.
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  int write_error = 0;
  {
    AtomicFile file;
    ASSERT_EQ(file.open_sibling(dir / "file", {}), 0);
    write_error = file.write("more than four bytes");
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(write_error, EFBIG);
  EXPECT_EQ(read_text(dir / "file"), "old");
  EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"file"});
}

TEST(Trim, TakesOnlyTheGivenCharactersOffTheEnds) {
  struct Case {
    std::string_view text, chars, both, left, right;
  };
  const Case cases[] = {
      {"  a b \n", k_white_space, "a b", "a b \n", "  a b"},
      {"\v\fid\r\n", k_white_space, "id", "id\r\n", "\v\fid"},
      {"\vid\n", k_blanks_and_line_ends, "\vid", "\vid\n", "\vid"},
      {" \t\r\n", k_blanks_and_line_ends, "", "", ""},
      {"", k_white_space, "", "", ""},
      {"  x  ", " ", "x", "x  ", "  x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    EXPECT_EQ(trim(c.text, c.chars), c.both);
    EXPECT_EQ(trim_left(c.text, c.chars), c.left);
    EXPECT_EQ(trim_right(c.text, c.chars), c.right);
  }
}

TEST(IsHttpUrl, WantsASchemeAndSomethingAfterIt) {
  for (const char* yes : {"http://h", "https://h:1/p"}) EXPECT_TRUE(is_http_url(yes)) << yes;
  for (const char* no : {"http://", "https://", "ftp://h", "HTTP://h", "/path", ""}) {
    EXPECT_FALSE(is_http_url(no)) << no;
  }
}

}  // namespace
