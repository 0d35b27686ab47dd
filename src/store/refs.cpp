#include "store/refs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/errors.h"
#include "store/fs.h"
#include "store/repo.h"
#include "util/handles.h"
#include "util/text.h"

// A reference file .orrery/<name> holds "<id>\n". .orrery/HEAD holds either
// "ref: <name>\n" or "<id>\n". The reflog .orrery/logs/HEAD gets one line per
// movement of what HEAD resolves to, oldest first:
//
//   <old id or 64 zeros> " " <new id> "\t" <message, at most 200 bytes> "\n"
//
// Names and contents are checked wherever they are read or written: a name
// is a path below refs/ that cannot leave it, a content is an id in lower
// case, a symbolic HEAD names a branch. Anything else was not written by
// this program, and a command that went on with it could write outside the
// repository or lose a branch.

namespace {

bool is_lower_hex_64(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

void check_ref_id(std::string_view name, const ObjectId& id) {
  if (!is_lower_hex_64(id)) {
    throw std::runtime_error("Invalid object id for reference " + std::string(name) + ": " + id);
  }
}

[[noreturn]] void damaged_head(const Repository& repo) {
  throw RepositoryDamaged("Damaged HEAD: " + orrery_path(repo, "HEAD") +
                          " is neither a branch reference nor a commit id");
}

std::string_view last_component(std::string_view name) { return path_basename(name); }

void write_ref_file(const Repository& repo, std::string_view name, const ObjectId& id) {
  std::string path = orrery_path(repo, name);
  ensure_directory(std::string(path_dirname(path)));
  write_file_atomic(path, id + "\n", Durability::synced);
}

void write_head_file(const Repository& repo, const std::string& content) {
  write_file_atomic(orrery_path(repo, "HEAD"), content + "\n", Durability::synced);
}

// The commit id when `id` names one, otherwise nothing.
std::optional<ObjectId> as_commit(const Repository& repo, const std::optional<std::string>& id) {
  if (id && is_commit(repo.objects, *id)) return id;
  return std::nullopt;
}

// The body of update_ref; the caller holds the lock.
void write_ref_locked(const Repository& repo, const std::string& name, const ObjectId& id) {
  HeadRef head = read_head(repo);
  std::optional<ObjectId> old = head_commit(repo);
  std::optional<std::string> previous = read_ref(repo.root, name);
  if (!id.empty() && previous == id) return;
  write_ref_file(repo, name, id);
  if (!id.empty() && is_commit(repo.objects, id) && head.symref == name && old != id) {
    append_reflog(repo, old, id, "обновление: " + std::string(last_component(name)));
  }
}

// The body of detach_head; the caller holds the lock and read `head`.
void detach_head_locked(const Repository& repo, const HeadRef& head, const ObjectId& id) {
  const bool names_commit = is_commit(repo.objects, id);
  if (head.detached == id && names_commit) return;
  std::optional<ObjectId> old = head_commit(repo);
  write_head_file(repo, id);
  if (names_commit) append_reflog(repo, old, id, "HEAD: detach");
}

}  // namespace

bool is_valid_reference(std::string_view name) {
  if (name.substr(0, 5) != "refs/") return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  // A backslash separates too where paths are read as on Windows: no piece
  // between any two separators may be empty, "." or "..".
  size_t start = 0;
  for (;;) {
    size_t end = name.find_first_of("/\\", start);
    std::string_view piece = name.substr(start, end - start);
    if (piece.empty() || piece == "." || piece == "..") return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

void check_reference_name(std::string_view name) {
  if (!is_valid_reference(name)) {
    throw std::runtime_error("Invalid reference name: " + std::string(name));
  }
}

std::optional<std::string> read_ref(const std::string& root, std::string_view name) {
  check_reference_name(name);
  std::string text;
  if (!read_store_file(orrery_path(root, name), text)) return std::nullopt;
  // Blanks on either side are forgiven: reference files are hand-editable.
  std::string_view id = trim(text, k_blanks_and_line_ends);
  if (!is_lower_hex_64(id)) {
    throw RepositoryDamaged("Damaged reference " + std::string(name) + ": " +
                            orrery_path(root, name) + " does not hold an object id");
  }
  return std::string(id);
}

HeadRef parse_head(std::string_view text) {
  HeadRef head;
  text = trim(text, k_blanks_and_line_ends);
  if (text.empty()) return head;
  if (text.substr(0, 4) == "ref:") {
    std::string_view name = trim(text.substr(4), k_blanks_and_line_ends);
    if (name.substr(0, 11) == "refs/heads/" && is_valid_reference(name)) {
      head.symref = std::string(name);
    }
  } else if (is_lower_hex_64(text)) {
    head.detached = std::string(text);
  }
  return head;
}

HeadRef read_head(const Repository& repo) {
  std::string text;
  if (!read_store_file(orrery_path(repo, "HEAD"), text)) return {};
  HeadRef head = parse_head(text);
  if (!head.symref && !head.detached) damaged_head(repo);
  return head;
}

std::optional<std::string> head_symref(const Repository& repo) { return read_head(repo).symref; }

std::optional<ObjectId> head_commit(const Repository& repo) {
  HeadRef head = read_head(repo);
  if (head.symref) return read_ref(repo.root, *head.symref);
  return as_commit(repo, head.detached);
}

void update_ref(const Repository& repo, const std::string& name, const ObjectId& id) {
  check_reference_name(name);
  check_ref_id(name, id);
  flush_pending_objects();  // nothing may name an object not yet on disk
  RepoLock lock(repo.root);
  write_ref_locked(repo, name, id);
}

bool update_ref_if(const Repository& repo, const std::string& name, const ObjectId& id,
                   const std::optional<ObjectId>& expected) {
  check_reference_name(name);
  check_ref_id(name, id);
  flush_pending_objects();  // nothing may name an object not yet on disk
  RepoLock lock(repo.root);
  if (read_ref(repo.root, name) != expected) return false;
  write_ref_locked(repo, name, id);
  return true;
}

void set_head_symbolic(const Repository& repo, const std::string& name) {
  if (name.substr(0, 11) != "refs/heads/" || !is_valid_reference(name)) {
    throw std::runtime_error("Invalid reference name: " + name);
  }
  flush_pending_objects();  // nothing may name an object not yet on disk
  RepoLock lock(repo.root);
  HeadRef head = read_head(repo);
  if (head.symref == name) return;
  std::optional<ObjectId> old = head_commit(repo);
  write_head_file(repo, "ref: " + name);
  std::optional<std::string> target = read_ref(repo.root, name);
  if (target && is_commit(repo.objects, *target)) {
    append_reflog(repo, old, *target, "переключение: " + name);
  }
}

void detach_head(const Repository& repo, const ObjectId& id) {
  check_ref_id("HEAD", id);
  flush_pending_objects();  // nothing may name an object not yet on disk
  RepoLock lock(repo.root);
  detach_head_locked(repo, read_head(repo), id);
}

bool detach_head_if(const Repository& repo, const ObjectId& id,
                    const std::optional<ObjectId>& expected) {
  check_ref_id("HEAD", id);
  flush_pending_objects();  // nothing may name an object not yet on disk
  RepoLock lock(repo.root);
  HeadRef head = read_head(repo);
  if (head.symref || as_commit(repo, head.detached) != expected) return false;
  detach_head_locked(repo, head, id);
  return true;
}

void move_head(const Repository& repo, const ObjectId& id) {
  check_ref_id("HEAD", id);
  flush_pending_objects();  // nothing may name an object not yet on disk
  RepoLock lock(repo.root);
  HeadRef head = read_head(repo);
  const bool names_commit = is_commit(repo.objects, id);
  if (head.symref) {
    std::optional<std::string> previous = read_ref(repo.root, *head.symref);
    if (previous == id) return;
    write_ref_file(repo, *head.symref, id);
    if (names_commit) append_reflog(repo, previous, id, "обновление: " + *head.symref);
    return;
  }
  std::optional<ObjectId> old = as_commit(repo, head.detached);
  if (head.detached == id && names_commit) return;
  write_head_file(repo, id);
  if (names_commit) append_reflog(repo, old, id, "HEAD: обновление (detached)");
}

void append_reflog(const Repository& repo, const std::optional<ObjectId>& old_id,
                   const ObjectId& new_id, std::string_view message) {
  if (!is_commit(repo.objects, new_id)) return;
  std::string old_text(k_zero_id);
  if (old_id && !old_id->empty() && *old_id != k_zero_id) {
    if (!is_commit(repo.objects, *old_id)) return;
    old_text = *old_id;
  }
  std::string clean(message.substr(0, 200));
  for (char& c : clean) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  ensure_directory(orrery_path(repo, "logs"));
  std::string line = old_text + " " + new_id + "\t" + clean + "\n";
  // Never through a link, never into a FIFO: the reflog is a plain file.
  const UniqueFd fd(::open(orrery_path(repo, "logs/HEAD").c_str(),
                           O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                           0666));
  struct stat st;
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  // One write call: appends of whole lines never interleave.
  [[maybe_unused]] ssize_t written = ::write(fd.get(), line.data(), line.size());
}

namespace {

// Appends the references in .orrery/<dir>/<prefix> (and below it when
// `recursive`), named by their path below .orrery/<dir>. Only regular files
// count; links and other special files are skipped, never followed.
void collect_refs(const Repository& repo, const std::string& dir, const std::string& prefix,
                  bool recursive, std::vector<std::pair<std::string, std::string>>& refs) {
  const std::string dir_path = orrery_path(repo, prefix.empty() ? dir : dir + "/" + prefix);
  std::vector<std::string> subdirectories;
  {  // closed before the walk goes deeper
    DirHandle handle(dir_path);
    if (!handle.valid()) return;
    while (const dirent* entry = handle.next()) {
      std::string name = entry->d_name;
      if (name == "." || name == ".." || is_temp_file_name(name)) continue;
      struct stat st;
      if (::lstat((dir_path + "/" + name).c_str(), &st) != 0) continue;
      const std::string relative = prefix.empty() ? name : prefix + "/" + name;
      if (S_ISDIR(st.st_mode) && recursive) subdirectories.push_back(relative);
      if (!S_ISREG(st.st_mode)) continue;
      if (std::optional<std::string> value = read_ref(repo.root, dir + "/" + relative)) {
        refs.emplace_back(relative, *value);
      }
    }
  }
  for (const std::string& sub : subdirectories) collect_refs(repo, dir, sub, true, refs);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> list_refs_in(const Repository& repo,
                                                              std::string_view dir) {
  std::vector<std::pair<std::string, std::string>> refs;
  collect_refs(repo, std::string(dir), "", false, refs);
  return refs;
}

std::vector<std::pair<std::string, std::string>> list_refs_below(const Repository& repo,
                                                                 std::string_view dir) {
  std::vector<std::pair<std::string, std::string>> refs;
  collect_refs(repo, std::string(dir), "", true, refs);
  return refs;
}

std::vector<std::pair<std::string, std::string>> list_branches(const Repository& repo) {
  return list_refs_in(repo, "refs/heads");
}

RefDeletion delete_ref(const Repository& repo, const std::string& name) {
  check_reference_name(name);
  RepoLock lock(repo.root);
  const std::string path = orrery_path(repo, name);
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return RefDeletion::absent;
  return ::unlink(path.c_str()) == 0 ? RefDeletion::deleted : RefDeletion::failed;
}

bool is_temp_file_name(std::string_view file_name) {
  size_t marker = file_name.rfind(".tmp.");
  if (marker == std::string_view::npos || marker == 0) return false;
  std::string_view number = file_name.substr(marker + 5);
  return !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos;
}
