#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "store/index.h"
#include "support/repo_builder.h"
#include "support/test_support.h"

namespace testing_support {
namespace {

class AddCommand : public OrreryTest {
 protected:
  void SetUp() override { init_repo(); }

  std::string added(const std::string& path, const std::string& content) {
    return "добавлен " + path + " (" + python_blob_id(content) + ")\n";
  }
  Index index() { return load_index(Repository(dir.path())); }
};

TEST_F(AddCommand, PatchWithoutAPathFailsBeforeLookingForARepository) {
  TempDir elsewhere;
  EXPECT_RUN(orrery_in(elsewhere.path(), {"add", "--patch"}), 1, "",
             "orrery: ошибка: не указан путь для -p\n"
             "  подсказка: используй: orrery add -p <файл>\n");
}

TEST_F(AddCommand, RecordsTheBlobAndTheStatOfEachFile) {
  write_text(file("a.txt"), "hello\n");
  write_text(file("run.sh"), "#!/bin/sh\n");
  ASSERT_EQ(chmod(file("run.sh").c_str(), 0755), 0);
  EXPECT_RUN(orrery({"add", "a.txt", "run.sh"}), 0,
             added("a.txt", "hello\n") + added("run.sh", "#!/bin/sh\n"), "");

  // An independent reading of the index file and of the stored object.
  RunResult check = run_program(
      "python3",
      {"-c",
       "import json,os,sys,zlib,hashlib\n"
       "root=sys.argv[1]; doc=json.load(open(root+'/.orrery/index'))\n"
       "assert list(doc)==['entries','version'] and doc['version']==2, doc\n"
       "for p,e in doc['entries'].items():\n"
       "  assert list(e)==['hash','mode','mtime','size'], e\n"
       "  st=os.stat(root+'/'+p); data=open(root+'/'+p,'rb').read()\n"
       "  assert e['size']==st.st_size and e['mtime']==int(st.st_mtime)+11644473600, e\n"
       "  assert e['mode']==(33261 if st.st_mode & 0o100 else 33188), e\n"
       "  h=e['hash']; "
       "raw=zlib.decompress(open(root+'/.orrery/objects/'+h[:2]+'/'+h[2:],'rb').read())\n"
       "  assert raw==b'blob %d\\0'%len(data)+data and hashlib.sha256(raw).hexdigest()==h\n"
       "print(sorted((p,e['mode']) for p,e in doc['entries'].items()))\n",
       dir.path()});
  EXPECT_RUN(check, 0, "[('a.txt', 33188), ('run.sh', 33261)]\n", "");
}

TEST_F(AddCommand, WarnsAboutMissingPathsAndGoesOn) {
  write_text(file("b.txt"), "b");
  EXPECT_RUN(orrery({"add", "missing.txt", "-x", "b.txt"}), 0, added("b.txt", "b"),
             "Внимание: путь не существует: missing.txt\n"
             "Внимание: путь не существует: -x\n");
  EXPECT_EQ(index().size(), 1u);
}

TEST_F(AddCommand, TheWholeTreeSkipsIgnoredFilesAndTheMetadataDirectories) {
  write_text(file(".orreryignore"), "*.log\nbuild/\n");
  write_text(file("src/main.c"), "int main;\n");
  write_text(file("src/debug.log"), "log\n");
  write_text(file(".git/HEAD"), "ref\n");
  write_text(file("build/out.o"), "o\n");
  RunResult r = orrery({"add", "."});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  std::vector<std::string> keys;
  for (const auto& [path, entry] : index()) keys.push_back(path);
  // The listing does not prune ignored directories; only their files' own
  // rules apply, and "build/" matches directories only.
  EXPECT_EQ(keys, (std::vector<std::string>{".orreryignore", "build/out.o", "src/main.c"}));
}

TEST_F(AddCommand, ReportsAnIgnoredArgument) {
  write_text(file(".orreryignore"), "*.log\nbuild/\n");
  write_text(file("x.log"), "x");
  write_text(file("build/y"), "y");
  EXPECT_RUN(orrery({"add", "x.log", "build", ".orrery"}), 0, "",
             "Пропущено (ignored): x.log\n"
             "Пропущено (ignored): build\n"
             "Пропущено (ignored): .orrery\n");
  EXPECT_TRUE(path_exists(file(".orrery/index")));
  EXPECT_TRUE(index().empty());
}

TEST_F(AddCommand, ResolvesArgumentsAgainstTheRootNotTheCurrentDirectory) {
  write_text(file("top.txt"), "top");
  write_text(file("sub/top.txt"), "nested");
  EXPECT_RUN(orrery_in(file("sub"), {"add", "top.txt"}), 0, added("top.txt", "top"), "");
  EXPECT_RUN(orrery_in(file("sub"), {"add", file("sub/top.txt")}), 0,
             added("sub/top.txt", "nested"), "");
}

TEST_F(AddCommand, RefusesAPathOutsideTheWorkingTreeBeforeWritingAnything) {
  TempDir outside;
  write_text(outside / "x.txt", "x");
  write_text(file("a.txt"), "a");
  EXPECT_RUN(orrery({"add", "a.txt", outside / "x.txt"}), 1, "",
             "orrery: ошибка: путь вне репозитория: " + (outside / "x.txt") +
                 "\n  подсказка: пути для add указываются относительно корня репозитория\n");
  EXPECT_FALSE(path_exists(file(".orrery/index")));
  EXPECT_EQ(
      orrery({"add", "../" + std::filesystem::path(outside.path()).filename().string() + "/x.txt"})
          .code,
      1);
}

}  // namespace
}  // namespace testing_support
