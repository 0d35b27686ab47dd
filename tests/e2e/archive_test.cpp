#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "store/codec.h"
#include "store/refs.h"
#include "store/repo.h"
#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

// Python's readers, as an independent check of layout, checksums and CRCs:
// one line per member in archive order.
const std::string k_list_tar = R"(
import sys, tarfile, hashlib
with tarfile.open(sys.argv[1], 'r:') as t:
    for m in t.getmembers():
        data = t.extractfile(m).read()
        print(m.name, m.type.decode(), oct(m.mode), m.mtime, m.uid, m.gid, m.size,
              hashlib.sha256(data).hexdigest())
)";
const std::string k_list_zip = R"(
import sys, zipfile, hashlib
with zipfile.ZipFile(sys.argv[1]) as z:
    assert z.testzip() is None
    for i in z.infolist():
        name = i.filename.encode('cp437').decode('utf-8')
        print(name, i.compress_type, i.extract_version, i.date_time, i.file_size,
              hashlib.sha256(z.read(i)).hexdigest())
)";

std::string pseudo_random_bytes(size_t n) {
  std::string out;
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245 + 12345;
    out += static_cast<char>(x >> 23);
  }
  return out;
}

const std::string k_long_path = "long/" + std::string(104, 'd') + "/" + std::string(40, 'n');

const FileSet k_files = {
    {"README", "hello\n"},
    {"empty", ""},
    {"run.sh", "#!/bin/sh\necho hi\n"},
    {"nomode", "x"},
    {"bin/noise.bin", pseudo_random_bytes(600)},
    {"bin/text.txt", std::string(100000, 'a') + std::string("\0\xff", 2)},
    {"deep/a/b/c/d.txt", "deep\n"},
    {std::string(100, 'x'), "exactly one hundred bytes of name"},
    {k_long_path, "long\n"},
    {"папка/файл.txt", "юникод\n"},
};
const ModeSet k_modes = {{"run.sh", "100755"}, {"nomode", ""}};

class ArchiveCommand : public OrreryTest {
 protected:
  void SetUp() override {
    init_repo();
    Repository repo(dir.path());
    head = store_commit(repo.objects, store_tree(repo.objects, k_files, k_modes));
    update_ref(repo, "refs/heads/main", head);
  }

  // What Python reads back from the archive, one line per member.
  std::string python_listing(const std::string& script, const std::string& archive) {
    RunOptions options;
    options.env = {{"PYTHONIOENCODING", "utf-8"}};
    RunResult r = run_program("python3", {"-c", script, archive}, options);
    EXPECT_EQ(r.code, 0) << r.err;
    return r.out;
  }

  // Writes `tree` as the tree of a new commit on main.
  void commit_tree(const ObjectId& tree) {
    Repository repo(dir.path());
    update_ref(repo, "refs/heads/main", store_commit(repo.objects, tree, {head}));
  }

  ObjectId head;
};

std::string expected_tar_listing() {
  std::string out;
  for (const auto& [path, content] : k_files) {
    out += path + " 0 " +
           (k_modes.count(path) && k_modes.at(path) == "100755" ? "0o755" : "0o644") +
           " 1700000000 0 0 " + std::to_string(content.size()) + " " + sha256_hex(content) + "\n";
  }
  return out;
}

std::string expected_zip_listing() {
  std::string out;
  for (const auto& [path, content] : k_files) {
    const bool deflated = content.size() > 600;  // text.txt only
    out += path + (deflated ? " 8 20" : " 0 10") + " (2023, 11, 14, 22, 13, 20) " +
           std::to_string(content.size()) + " " + sha256_hex(content) + "\n";
  }
  return out;
}

void expect_tree_extracted(const std::string& out_dir) {
  std::vector<std::string> paths;
  for (const auto& [path, content] : k_files) {
    paths.push_back(path);
    EXPECT_EQ(read_text(out_dir + "/" + path), content) << path;
  }
  EXPECT_EQ(list_files(out_dir), paths);
}

// Python lists every member with its mode (so directory entries would
// show); GNU tar extracts the files.
TEST_F(ArchiveCommand, WritesATarThatPythonAndGnuTarReadBackExactly) {
  EXPECT_RUN(orrery({"archive", "-o", "out/a.tar"}), 0, "", "");
  EXPECT_EQ(python_listing(k_list_tar, file("out/a.tar")), expected_tar_listing());
  ASSERT_EQ(run_program("mkdir", {file("x")}).code, 0);
  EXPECT_RUN(run_program("tar", {"-xf", file("out/a.tar"), "-C", file("x")}), 0, "", "");
  expect_tree_extracted(file("x"));
}

TEST_F(ArchiveCommand, WritesAZipThatPythonAndUnzipReadBackExactly) {
  EXPECT_RUN(orrery({"archive", "--format", "zip", "--output=a.zip", "main"}), 0, "", "");
  EXPECT_EQ(python_listing(k_list_zip, file("a.zip")), expected_zip_listing());
  RunResult test = run_program("unzip", {"-tq", file("a.zip")});
  EXPECT_EQ(test.code, 0) << test.out << test.err;
  EXPECT_EQ(run_program("unzip", {"-q", file("a.zip"), "-d", file("x")}).code, 0);
  expect_tree_extracted(file("x"));
  for (const auto& [path, content] : k_files) {
    struct stat st {};
    ASSERT_EQ(::stat((file("x") + "/" + path).c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mode & 07777, path == "run.sh" ? 0755u : 0644u) << path;
  }
}

TEST_F(ArchiveCommand, WritesTheSameBytesToStandardOutput) {
  for (const std::string format : {"tar", "zip"}) {
    ASSERT_EQ(orrery({"archive", "--format=" + format, "-o", "a"}).code, 0);
    RunResult r = orrery({"archive", "--format=" + format});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out == read_text(file("a"))) << format;
  }
}

TEST_F(ArchiveCommand, WritesOnlyTheClosingBytesForAnEmptyTree) {
  Repository repo(dir.path());
  commit_tree(store_raw_tree(repo.objects, {}));
  EXPECT_RUN(orrery({"archive"}), 0, std::string(1024, '\0'), "");
  EXPECT_RUN(orrery({"archive", "--format=zip"}), 0,
             std::string("PK\x05\x06", 4) + std::string(18, '\0'), "");
}

// A tree that cannot be archived is refused before the output exists, and an
// earlier file of that name keeps its bytes.
TEST_F(ArchiveCommand, RefusesAnUnsafeOrTooLongPathBeforeWriting) {
  Repository repo(dir.path());
  const ObjectId blob = write_object(repo.objects, "blob", "evil");
  const ObjectId long_name = store_tree(repo.objects, {{"d/" + std::string(101, 'n'), {}}});
  const struct {
    ObjectId tree;
    std::vector<std::string> args;
    std::string hint;
  } cases[] = {
      {store_raw_tree(repo.objects, {{"100644", "blob", blob, ".."}}),
       {},
       "Unsafe path in tree: .."},
      {store_raw_tree(repo.objects, {{"100644", "blob", blob, ".orrery"}}),
       {"--format=zip"},
       "Unsafe path in tree: .orrery"},
      {long_name, {}, "путь d/" + std::string(101, 'n') + " для ustar слишком длинный"},
  };
  write_text(file("keep.tar"), "earlier");
  for (const auto& c : cases) {
    commit_tree(c.tree);
    std::vector<std::string> args{"archive", "-o", "keep.tar"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_RUN(orrery(args), 2, "", "orrery: ошибка: archive:\n  подсказка: " + c.hint + "\n");
    args[2] = "new/a.tar";
    EXPECT_EQ(orrery(args).code, 2);
  }
  EXPECT_EQ(read_text(file("keep.tar")), "earlier");
  EXPECT_FALSE(path_exists(file("new")));
  EXPECT_EQ(orrery({"archive", "--format=zip", "-o", "long.zip"}).code, 0);  // zip holds it
}

// A failure halfway through (here a damaged object) leaves neither the new
// archive nor its temporary sibling, and the earlier file keeps its bytes.
TEST_F(ArchiveCommand, LeavesNoPartialFileWhenWritingFails) {
  Repository repo(dir.path());
  commit_tree(store_tree(repo.objects, {{"a", {"fine"}}, {"b", {"damaged"}}}));
  write_text(loose_object_path(dir.path(), blob_id("damaged")), "not zlib");
  write_text(file("out/keep.zip"), "earlier");
  for (const std::string target : {"out/keep.zip", "out/new.zip"}) {
    EXPECT_RUN(orrery({"archive", "--format=zip", "-o", target}), 2, "",
               "orrery: ошибка: archive:\n  подсказка: Damaged object " + blob_id("damaged") +
                   ": zlib inflate failed\n");
  }
  EXPECT_EQ(list_files(file("out")), std::vector<std::string>{"keep.zip"});
  EXPECT_EQ(read_text(file("out/keep.zip")), "earlier");
}

// An output that is a FIFO or a device is written as it is, and a symbolic
// link is written through: none of them becomes a regular file.
TEST_F(ArchiveCommand, WritesThroughLinksAndIntoFifosAndDevicesInPlace) {
  Repository repo(dir.path());
  commit_tree(store_tree(repo.objects, {{"a.txt", "small\n"}}));  // fits a pipe's buffer
  const std::string expected = orrery({"archive"}).out;
  const auto kind = [](const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
  };

  ASSERT_EQ(::mkfifo(file("pipe").c_str(), 0644), 0);
  const int reader = ::open(file("pipe").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_RUN(orrery({"archive", "-o", "pipe"}), 0, "", "");
  std::string received(expected.size() + 1, '\0');
  EXPECT_EQ(::read(reader, received.data(), received.size()), ssize_t(expected.size()));
  received.resize(expected.size());
  EXPECT_EQ(received, expected);
  ::close(reader);
  EXPECT_EQ(kind(file("pipe")), unsigned(S_IFIFO));

  write_text(file("real.tar"), "earlier");
  ASSERT_EQ(::symlink("real.tar", file("link.tar").c_str()), 0);
  EXPECT_RUN(orrery({"archive", "-o", "link.tar"}), 0, "", "");
  EXPECT_EQ(kind(file("link.tar")), unsigned(S_IFLNK));
  EXPECT_EQ(read_text(file("real.tar")), expected);

  if (::mknod(file("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make a device node here (needs privileges)";
  }
  EXPECT_RUN(orrery({"archive", "--format=zip", "-o", "null"}), 0, "", "");
  EXPECT_EQ(kind(file("null")), unsigned(S_IFCHR));
}

TEST_F(ArchiveCommand, ReportsBadRevisionsAndOutputs) {
  Repository repo(dir.path());
  const ObjectId blob = write_object(repo.objects, "blob", "not a commit");
  ASSERT_EQ(run_program("mkdir", {file("adir")}).code, 0);
  const std::string e = "orrery: ошибка: ";
  const struct {
    std::vector<std::string> args;
    int code;
    std::string err;
  } cases[] = {
      {{"nope"}, 1, e + "ревизия не найдена\n  подсказка: nope\n"},
      {{blob}, 2, e + "archive:\n  подсказка: нет коммита\n"},
      {{"-o", "adir"}, 2, e + "не смог открыть выходной файл\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"archive"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(args.back());
    EXPECT_RUN(orrery(args), c.code, "", c.err);
  }
  EXPECT_EQ(list_files(file("adir")), std::vector<std::string>{});
  // An empty --format keeps the default.
  EXPECT_EQ(orrery({"archive", "--format="}).out.substr(257, 5), "ustar");
}

}  // namespace
}  // namespace testing_support
