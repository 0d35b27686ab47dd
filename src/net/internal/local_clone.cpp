#include "net/internal/local_clone.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "cli/command_error.h"
#include "cli/progress.h"
#include "net/internal/sync_target.h"
#include "store/config.h"
#include "store/fs.h"
#include "store/repo.h"
#include "util/handles.h"

// A local clone copies a folder the user names, which may be anything: it
// lists the source completely before the destination exists (so a
// destination inside the source cannot feed the walk), copies directories
// and regular files only (a symbolic link is neither followed nor copied),
// refuses to write through a link already in the destination, and checks
// every name of the copied configuration before it can become a path.

namespace fs = std::filesystem;

namespace {

struct SourceEntry {
  fs::path relative;
  bool is_directory = false;
};

// Directories before what they hold; symbolic links and special files are
// left out, and no link is followed.
std::vector<SourceEntry> list_source(const fs::path& source) {
  std::vector<SourceEntry> entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(source)) {
    const fs::file_status status = entry.symlink_status();
    if (!fs::is_directory(status) && !fs::is_regular_file(status)) continue;
    entries.push_back({entry.path().lexically_relative(source), fs::is_directory(status)});
  }
  return entries;
}

// True when `inner`, both made absolute with links resolved, is `outer` or
// lies below it.
bool is_within(const fs::path& inner, const fs::path& outer) {
  const fs::path a = fs::weakly_canonical(fs::absolute(inner));
  const fs::path b = fs::weakly_canonical(fs::absolute(outer));
  return std::mismatch(b.begin(), b.end(), a.begin(), a.end()).first == b.end();
}

// Every path the copy writes, checked before the first write.
void refuse_links_in_destination(const fs::path& destination,
                                 const std::vector<SourceEntry>& entries) {
  for (const SourceEntry& entry : entries) {
    const fs::path target = destination / entry.relative;
    if (fs::is_symlink(fs::symlink_status(target))) {
      throw std::runtime_error("Refusing to write through a symbolic link: " + target.string());
    }
  }
}

// The file's bytes, refusing a link that replaced it since the listing.
void read_regular_file(const fs::path& path, std::string& out, mode_t& mode) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) throw std::runtime_error("Cannot open file for reading: " + path.string());
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      read_to_end(fd.get(), out, static_cast<size_t>(st.st_size), true) != 0) {
    throw std::runtime_error("Cannot read file: " + path.string());
  }
  mode = st.st_mode & 0777;
}

void copy_entries(const fs::path& source, const fs::path& destination,
                  const std::vector<SourceEntry>& entries, Progress& progress) {
  std::string bytes;  // one buffer for every file
  progress.set_total(static_cast<uint64_t>(
      std::count_if(entries.begin(), entries.end(),
                    [](const SourceEntry& entry) { return !entry.is_directory; })));
  for (const SourceEntry& entry : entries) {
    const fs::path target = destination / entry.relative;
    if (entry.is_directory) {
      ensure_directory(target.string());
      continue;
    }
    mode_t mode = 0644;
    read_regular_file(source / entry.relative, bytes, mode);
    write_file_atomic(target.string(), bytes);
    fs::permissions(target, static_cast<fs::perms>(mode));
    progress.add(1, bytes.size());
  }
}

bool is_valid_upstream(const std::optional<std::string>& remote,
                       const std::optional<std::string>& branch) {
  return !check_tracking_names(remote.value_or("origin"), branch.value_or("main"));
}

// Drops, with a warning, every entry of a copied configuration whose names
// could not become references: the source is not trusted.
void drop_invalid_names(RepoConfig& config, std::vector<std::string>& warnings) {
  std::erase_if(config.remotes, [&](const auto& remote) {
    if (is_valid_upstream(remote.first, std::nullopt)) return false;
    warnings.push_back("пропущен удалённый с недопустимым именем: " + remote.first);
    return true;
  });
  if (!is_valid_upstream(config.upstream_remote, config.upstream_branch)) {
    warnings.push_back("пропущен недопустимый upstream репозитория");
    config.upstream_remote.reset();
    config.upstream_branch.reset();
  }
  std::erase_if(config.branches, [&](const auto& entry) {
    const BranchConfig& upstream = entry.second;
    if (is_valid_upstream(upstream.upstream_remote, entry.first) &&
        is_valid_upstream(std::nullopt, upstream.upstream_branch)) {
      return false;
    }
    warnings.push_back("пропущена настройка ветки с недопустимым именем: " + entry.first);
    return true;
  });
}

void point_back_at_source(const std::string& destination, const std::string& source,
                          const std::string& branch, std::vector<std::string>& warnings) {
  Repository repo(destination);
  RepoConfig config = load_config(repo);
  drop_invalid_names(config, warnings);
  config.remotes["origin"].url = source;
  if (!config.upstream_remote) config.upstream_remote = "origin";
  if (!config.upstream_branch) config.upstream_branch = branch;
  save_config(repo, config);
}

}  // namespace

void clone_local(const std::string& source, const std::string& destination,
                 const std::string& branch, Progress& progress,
                 std::vector<std::string>& warnings) {
  const fs::file_status status = fs::status(source);
  if (!fs::exists(status)) {
    throw CommandError("исходный путь не существует: " + source,
                       "проверь путь или используй http(s)/ssh URL");
  }
  if (!fs::is_directory(status))
    throw CommandError("исходный путь не является папкой: " + source, "");
  if (is_within(destination, source)) {
    throw CommandError("папка назначения внутри источника: " + destination, "");
  }
  const std::vector<SourceEntry> entries = list_source(source);
  refuse_links_in_destination(destination, entries);
  ensure_directory(destination);
  copy_entries(source, destination, entries, progress);
  progress.finish();
  const fs::path head = fs::path(destination) / ".orrery" / "HEAD";
  if (fs::is_regular_file(fs::symlink_status(head))) {
    point_back_at_source(destination, source, branch, warnings);
  }
}
