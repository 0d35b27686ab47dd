// Repositories someone else prepared (a copied folder, an archive): each row
// plants one thing, runs one command and expects its exact refusal, with
// nothing outside the repository changed and, for a refusal, nothing
// inside it either.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "store/codec.h"
#include "support/repo_builder.h"

namespace testing_support {
namespace {

const std::string k_help = "\n  подсказка: запусти 'orrery help', чтобы увидеть список команд\n";
const std::string k_on_main = "На ветке «main»\n";  // status prints it before reading the index
const std::string k_damage =
    "\n  подсказка: репозиторий повреждён: восстанови названный файл из резервной копии или "
    "клона\n";

struct Case {
  std::string root;     // the repository
  std::string outside;  // beside it, holding "victim"
  ObjectId head;        // the one honest commit on main
  ObjectId id;          // what the row planted, if anything

  std::string meta(const std::string& relative) const { return root + "/.orrery/" + relative; }
  Repository repo() const { return Repository(root); }
  void set_main(const std::string& text) const { write_text(meta("refs/heads/main"), text); }
  void plant_fifo(const std::string& relative) const {
    std::remove(meta(relative).c_str());
    ASSERT_EQ(::mkfifo(meta(relative).c_str(), 0644), 0);
  }
  void link(const std::string& target, const std::string& relative) const {
    ASSERT_EQ(::symlink(target.c_str(), (root + "/" + relative).c_str()), 0);
  }
  void index_entry(const std::string& path, const std::string& members = "") const {
    write_text(meta("index"), R"({"version": 2, "entries": {")" + path + R"(": {"hash": ")" +
                                  blob_id("ok\n") + "\"" + members + "}}}");
  }
  // A commit stored under `forged_id` whatever its bytes hash to: the store
  // does not hash what it reads, so a damaged one can hold such cycles.
  void forge_commit(const std::string& forged_id, const std::string& message,
                    const std::string& parent) const {
    Repository r = repo();
    const ObjectId tree = write_object(r.objects, "tree", "[]");
    const std::string text = serialize_commit({tree, {parent}, "t", message, 1});
    ASSERT_TRUE(write_raw_object(r.objects, forged_id, compress_object("commit", text)));
  }
  void point_main_at_commit_text(const std::string& text) {
    Repository r = repo();
    id = write_object(r.objects, "commit", text);
    set_main(id + "\n");
  }
};

struct Row {
  std::string planted;
  std::function<void(Case&)> plant;
  std::vector<std::string> args;
  int code;
  std::string out;  // "{id}" and "{head}" stand for the ids, "{root}" for the repository
  std::string err;
  bool refused = true;  // nothing in the repository may change
};

std::string expand(std::string text, const Case& c) {
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"{root}", c.root},
                                   {"{head}", c.head},
                                   {"{id}", c.id}}) {
    for (size_t at; (at = text.find(key)) != std::string::npos;)
      text.replace(at, key.size(), value);
  }
  return text;
}

// Path to content for files, to their kind otherwise; FIFOs are never opened.
std::map<std::string, std::string> snapshot(const std::string& top) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  for (auto it = fs::recursive_directory_iterator(top); it != fs::end(it); ++it) {
    const std::string relative = fs::relative(it->path(), top).generic_string();
    const fs::file_status status = it->symlink_status();
    if (fs::is_regular_file(status)) files[relative] = read_text(it->path().string());
    if (fs::is_symlink(status)) files[relative] = "-> " + fs::read_symlink(it->path()).string();
    if (fs::is_fifo(status)) files[relative] = "fifo";
  }
  return files;
}

const Row k_rows[] = {
    {"nothing: a revision that is a path",
     {},
     {"reset", "--soft", "../../../outside/victim"},
     1,
     "",
     "orrery: ошибка: Invalid reference name: refs/heads/../../../outside/victim" + k_help},
    {"nothing: a tag at a path",
     {},
     {"tag", "t", "../../../outside/victim"},
     1,
     "",
     "orrery: ошибка: Invalid reference name: refs/heads/../../../outside/victim" + k_help},
    {"nothing: an upstream that injects configuration",
     {},
     {"branch", "-u", "origin/x\n[remote \"origin\"]\nurl = http://evil"},
     1,
     "",
     "orrery: ошибка: неверная upstream-спека: origin/x\n[remote \"origin\"]\nurl = http://evil"
     "\n  подсказка: пример: orrery branch -u origin/main\n"},
    {"HEAD naming a file outside",
     [](Case& c) { write_text(c.meta("HEAD"), "ref: ../../outside/victim\n"); },
     {"commit", "-m", "x"},
     1,
     "",
     "orrery: ошибка: Damaged HEAD: {root}/.orrery/HEAD is neither a branch reference nor a "
     "commit id" +
         k_damage},
    {"HEAD climbing out of refs/heads",
     [](Case& c) { write_text(c.meta("HEAD"), "ref: refs/heads/../../../x\n"); },
     {"commit", "-m", "x"},
     1,
     "",
     "orrery: ошибка: Damaged HEAD: {root}/.orrery/HEAD is neither a branch reference nor a "
     "commit id" +
         k_damage},
    {"a FIFO as HEAD",
     [](Case& c) { c.plant_fifo("HEAD"); },
     {"status"},
     1,
     "",
     "orrery: ошибка: Not a regular file: {root}/.orrery/HEAD" + k_damage},
    {"a FIFO as the index",
     [](Case& c) { c.plant_fifo("index"); },
     {"status"},
     1,
     k_on_main,
     "orrery: ошибка: Not a regular file: {root}/.orrery/index" + k_damage},
    {"a branch that links outside",
     [](Case& c) {
       std::remove(c.meta("refs/heads/main").c_str());
       c.link(c.outside + "/victim", ".orrery/refs/heads/main");
     },
     {"log"},
     1,
     "",
     "orrery: ошибка: Not a regular file: {root}/.orrery/refs/heads/main" + k_damage},
    {"a branch holding no id",
     [](Case& c) { c.set_main("secret\n"); },
     {"log"},
     1,
     "",
     "orrery: ошибка: Damaged reference refs/heads/main: {root}/.orrery/refs/heads/main does not "
     "hold an object id" +
         k_damage},
    {"an index key leaving the tree",
     [](Case& c) { c.index_entry("../x"); },
     {"commit", "-m", "x"},
     1,
     "",
     "orrery: ошибка: Damaged index {root}/.orrery/index: unsafe path ../x" + k_damage},
    {"a negative index mtime",
     [](Case& c) { c.index_entry("ok.txt", R"(, "mtime": -1)"); },
     {"status"},
     1,
     k_on_main,
     "orrery: ошибка: Damaged index {root}/.orrery/index: mtime out of range for ok.txt" +
         k_damage},
    {"a negative commit timestamp",
     [](Case& c) {
       c.point_main_at_commit_text(R"({"author":"t","message":"m","timestamp":-5,"tree":")" +
                                   std::string(64, 'e') + "\"}");
     },
     {"log"},
     1,
     "",
     "orrery: ошибка: Damaged commit {id}: timestamp is not an unsigned 64-bit integer" + k_damage},
    {"an object longer than its header",
     [](Case& c) {
       c.id = std::string(64, 'd');
       ASSERT_TRUE(write_raw_object(c.repo().objects, c.id,
                                    zlib_compress(std::string("commit 1\0{}", 11))));
       c.set_main(c.id + "\n");
     },
     {"log"},
     1,
     "",
     "orrery: ошибка: Damaged object {id}: content longer than its header says" + k_damage},
    {"bytes after an object's zlib stream",
     [](Case& c) {
       const std::string path = loose_object_path(c.root, c.head);
       write_text(path, read_text(path) + "junk");
     },
     {"log"},
     1,
     "",
     "orrery: ошибка: Damaged object {head}: data after the zlib stream" + k_damage},
    {"a tree that is not JSON",
     [](Case& c) {
       Repository r = c.repo();
       const ObjectId tree = write_object(r.objects, "tree", "[{");
       c.id = tree;
       update_ref(r, "refs/heads/evil", store_commit(r.objects, tree, {c.head}));
     },
     {"reset", "--hard", "evil"},
     1,
     "",
     "orrery: ошибка: Damaged tree {id}: not valid JSON\n"},
    {"two commits that are each other's parent",
     [](Case& c) {
       c.forge_commit(std::string(64, 'a'), "A", std::string(64, 'b'));
       c.forge_commit(std::string(64, 'b'), "B", std::string(64, 'a'));
       c.set_main(std::string(64, 'a') + "\n");
     },
     {"log", "--oneline"},
     0,
     "aaaaaaaaaaaa A\nbbbbbbbbbbbb B\n",
     ""},
    {"nothing: four billion steps back",
     {},
     {"log", "HEAD~4000000000"},
     1,
     "",
     "orrery: ошибка: log: не удалось разрешить ревизию: HEAD~4000000000\n"
     "  подсказка: orrery log […] <ревизия>\n"},
    {"a directory linking outside, for rm",
     [](Case& c) { c.link("../outside", "docs"); },
     {"rm", "docs/victim"},
     1,
     "",
     "orrery: ошибка: путь проходит через символическую ссылку: docs/victim\n"},
    {"a directory linking outside, for mv out",
     [](Case& c) { c.link("../outside", "docs"); },
     {"mv", "docs/victim", "mine.txt"},
     1,
     "",
     "orrery: ошибка: путь проходит через символическую ссылку: docs/victim\n"},
    {"a file linking outside, named",
     [](Case& c) { c.link("../outside/victim", "link.txt"); },
     {"add", "link.txt"},
     1,
     "",
     "orrery: ошибка: символическая ссылка не добавляется: link.txt\n"
     "  подсказка: orrery хранит только обычные файлы; добавь сам файл или каталог\n"},
    {"a file linking outside, walked",
     [](Case& c) { c.link("../outside/victim", "link.txt"); },
     {"add", "."},
     0,
     "добавлен ok.txt (" + blob_id("ok\n") + ")\n",
     "",
     /*refused=*/false},
};

using HostileRepository = OrreryTest;

TEST_F(HostileRepository, IsRefusedWithoutWritingAnywhere) {
  int number = 0;
  for (const Row& row : k_rows) {
    SCOPED_TRACE(row.planted);
    const std::string top = dir / ("case" + std::to_string(number++));
    Case c{top + "/repo", top + "/outside", "", ""};
    ensure_directory(c.root);
    write_text(c.outside + "/victim", "secret\n");
    ASSERT_EQ(orrery_in(c.root, {"init"}).code, 0);
    c.head = commit_snapshot(c.root, {{"ok.txt", "ok\n"}}, "honest");
    if (row.plant) row.plant(c);
    const auto before = snapshot(top);

    RunResult result = run_orrery(row.args, {c.root, "", {}, /*timeout_seconds=*/20});
    EXPECT_RUN(result, row.code, expand(row.out, c), expand(row.err, c));

    const auto after = snapshot(top);
    if (row.refused) {
      EXPECT_EQ(after, before);
    } else {
      for (const auto& [path, content] : before) {
        if (path.rfind("repo/", 0) != 0) {
          EXPECT_EQ(after.at(path), content) << path;
        }
      }
      EXPECT_EQ(load_index(c.repo()).count("link.txt"), 0u);
    }
  }
}

}  // namespace
}  // namespace testing_support
