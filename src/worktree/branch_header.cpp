#include "worktree/branch_header.h"

#include <optional>
#include <ostream>

#include "cli/console.h"
#include "store/config.h"
#include "store/fs.h"
#include "store/refs.h"
#include "store/repo.h"
#include "store/revision.h"
#include "worktree/internal/foreign_branch.h"

namespace {

constexpr std::string_view k_heads = "refs/heads/";

struct Upstream {
  std::string remote;
  std::string branch;
  std::string label() const { return remote + "/" + branch; }
};

// The branch's own upstream settings, each falling back to the
// repository-wide default; nothing unless both parts are known.
std::optional<Upstream> find_upstream(const RepoConfig& config, const std::string& branch) {
  std::optional<std::string> remote = config.upstream_remote;
  std::optional<std::string> remote_branch = config.upstream_branch;
  if (auto own = config.branches.find(branch); own != config.branches.end()) {
    if (own->second.upstream_remote) remote = own->second.upstream_remote;
    if (own->second.upstream_branch) remote_branch = own->second.upstream_branch;
  }
  if (!remote || !remote_branch) return std::nullopt;
  return Upstream{*remote, *remote_branch};
}

void add_detached(BranchHeader& header, const ObjectId& id) {
  header.push_back({"Не на ветке: отсоединённый HEAD на " + abbreviate_id(id), false});
  header.push_back({"Сравнение с upstream здесь только для именованной ветки.", false});
  header.push_back({"Чтобы создать ветку от текущего коммита: orrery checkout -b <имя>", false});
}

void add_foreign_branch(BranchHeader& header, const Repository& repo) {
  if (!path_exists(repo.root + "/.git")) return;
  std::string name = foreign_branch_name(repo.root);
  if (!name.empty() && name != "HEAD") header.push_back({"На ветке " + name, false});
}

std::string count_text(uint32_t count) {
  return std::to_string(count) + " " + std::string(commit_plural_ru(count));
}

std::string comparison_text(const Repository& repo, const ObjectId& local, const ObjectId& tracking,
                            const std::string& label) {
  if (local == tracking) return "Совпадает с upstream «" + label + "».";
  std::optional<uint32_t> ahead = first_parent_distance(repo, local, tracking);
  std::optional<uint32_t> behind = first_parent_distance(repo, tracking, local);
  if (ahead && *ahead >= 1) return "Опережает «" + label + "» на " + count_text(*ahead) + ".";
  if (behind && *behind >= 1) return "Отстаёт от «" + label + "» на " + count_text(*behind) + ".";
  return "Относительно «" + label +
         "» разошлись по первому родителю (нет простого числа коммитов).";
}

void add_upstream(BranchHeader& header, const Repository& repo, const std::string& branch) {
  std::optional<Upstream> upstream = find_upstream(load_config(repo), branch);
  if (!upstream) return;
  const std::string label = upstream->label();
  std::optional<std::string> local = read_ref(repo.root, std::string(k_heads) + branch);
  if (!local) {
    header.push_back({"Upstream «" + label + "» настроен, но на ветке «" + branch +
                          "» ещё нет коммита — сравнение с upstream будет после первого коммита.",
                      false});
    return;
  }
  std::optional<std::string> tracking =
      read_ref(repo.root, "refs/remotes/" + upstream->remote + "/" + upstream->branch);
  if (!tracking) {
    header.push_back(
        {"Upstream «" + label + "»: нет remote-tracking записи; сделай orrery fetch.", true});
    return;
  }
  header.push_back({comparison_text(repo, *local, *tracking, label), false});
}

}  // namespace

std::string_view commit_plural_ru(int64_t count) {
  const uint64_t m = count < 0 ? 0 - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
  if (m % 100 >= 11 && m % 100 <= 14) return "коммитов";
  if (m % 10 == 1) return "коммит";
  if (m % 10 >= 2 && m % 10 <= 4) return "коммита";
  return "коммитов";
}

std::string abbreviate_id(std::string_view id) {
  if (id.size() <= 12) return std::string(id);
  return std::string(id.substr(0, 12)) + "…";
}

BranchHeader branch_header(const Repository& repo) {
  BranchHeader header;
  std::optional<std::string> symref = head_symref(repo);
  if (!symref) {
    if (std::optional<ObjectId> head = head_commit(repo)) {
      add_detached(header, *head);
    } else {
      add_foreign_branch(header, repo);
    }
    return header;
  }
  if (symref->compare(0, k_heads.size(), k_heads) != 0) return header;
  const std::string branch = symref->substr(k_heads.size());
  header.push_back({"На ветке «" + branch + "»", false});
  add_upstream(header, repo, branch);
  return header;
}

void print_branch_header(std::ostream& out, const BranchHeader& header) {
  for (const HeaderLine& line : header) out << (line.cyan ? cyan(line.text) : line.text) << "\n";
}
