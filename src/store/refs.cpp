#include "store/refs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/fs.h"
#include "store/repo.h"

// A reference file .orrery/<name> holds "<id>\n". .orrery/HEAD holds either
// "ref: <name>\n" or "<id>\n". The reflog .orrery/logs/HEAD gets one line per
// movement of what HEAD resolves to, oldest first:
//
//   <old id or 64 zeros> " " <new id> "\t" <message, at most 200 bytes> "\n"

namespace {

constexpr std::string_view k_space_chars = " \n\r\t";

std::string_view trim_right(std::string_view text) {
  size_t end = text.find_last_not_of(k_space_chars);
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

std::string_view trim(std::string_view text) {
  size_t start = text.find_first_not_of(k_space_chars);
  if (start == std::string_view::npos) return {};
  return trim_right(text.substr(start));
}

bool is_lower_hex_64(std::string_view text) { return is_object_id(text); }

std::string_view last_component(std::string_view name) { return path_basename(name); }

void write_ref_file(const Repository& repo, std::string_view name, const ObjectId& id) {
  std::string path = orrery_path(repo, name);
  ensure_directory(std::string(path_dirname(path)));
  write_file_atomic(path, id + "\n");
}

void write_head_file(const Repository& repo, const std::string& content) {
  write_file_atomic(orrery_path(repo, "HEAD"), content + "\n");
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

std::optional<std::string> read_ref(const std::string& root, std::string_view name) {
  std::string text;
  if (!read_file_into(orrery_path(root, name), text)) return std::nullopt;
  return std::string(trim_right(text));
}

HeadRef parse_head(std::string_view text) {
  HeadRef head;
  text = trim(text);
  if (text.empty()) return head;
  if (text.substr(0, 4) == "ref:") {
    std::string_view name = trim(text.substr(4));
    if (!name.empty()) head.symref = std::string(name);
  } else if (is_lower_hex_64(text)) {
    head.detached = std::string(text);
  }
  return head;
}

HeadRef read_head(const Repository& repo) {
  std::string text;
  if (!read_file_into(orrery_path(repo, "HEAD"), text)) return {};
  return parse_head(text);
}

std::optional<std::string> head_symref(const Repository& repo) { return read_head(repo).symref; }

std::optional<ObjectId> head_commit(const Repository& repo) {
  HeadRef head = read_head(repo);
  if (head.symref) return read_ref(repo.root, *head.symref);
  return as_commit(repo, head.detached);
}

void update_ref(const Repository& repo, const std::string& name, const ObjectId& id) {
  flush_pending_objects();  // nothing may name an object not yet on disk
  RepoLock lock(repo.root);
  write_ref_locked(repo, name, id);
}

bool update_ref_if(const Repository& repo, const std::string& name, const ObjectId& id,
                   const std::optional<ObjectId>& expected) {
  flush_pending_objects();  // nothing may name an object not yet on disk
  RepoLock lock(repo.root);
  if (read_ref(repo.root, name) != expected) return false;
  write_ref_locked(repo, name, id);
  return true;
}

void set_head_symbolic(const Repository& repo, const std::string& name) {
  flush_pending_objects();  // nothing may name an object not yet on disk
  RepoLock lock(repo.root);
  HeadRef head = read_head(repo);
  if (head.symref == name) return;
  std::optional<ObjectId> old = head_commit(repo);
  write_head_file(repo, "ref: " + name);
  std::optional<std::string> target = read_ref(repo.root, name);
  if (target && is_object_id(*target) && is_commit(repo.objects, *target)) {
    append_reflog(repo, old, *target, "переключение: " + name);
  }
}

void detach_head(const Repository& repo, const ObjectId& id) {
  flush_pending_objects();  // nothing may name an object not yet on disk
  RepoLock lock(repo.root);
  detach_head_locked(repo, read_head(repo), id);
}

bool detach_head_if(const Repository& repo, const ObjectId& id,
                    const std::optional<ObjectId>& expected) {
  flush_pending_objects();  // nothing may name an object not yet on disk
  RepoLock lock(repo.root);
  HeadRef head = read_head(repo);
  if (head.symref || as_commit(repo, head.detached) != expected) return false;
  detach_head_locked(repo, head, id);
  return true;
}

void move_head(const Repository& repo, const ObjectId& id) {
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
  int fd = ::open(orrery_path(repo, "logs/HEAD").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                  0666);
  if (fd < 0) return;
  // One write call: appends of whole lines never interleave.
  [[maybe_unused]] ssize_t written = ::write(fd, line.data(), line.size());
  ::close(fd);
}

std::vector<std::pair<std::string, std::string>> list_refs_in(const Repository& repo,
                                                              std::string_view dir) {
  std::vector<std::pair<std::string, std::string>> refs;
  std::string dir_path = orrery_path(repo, dir);
  DIR* handle = ::opendir(dir_path.c_str());
  if (handle == nullptr) return refs;
  while (dirent* entry = ::readdir(handle)) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || is_temp_file_name(name)) continue;
    if (!is_regular_file(dir_path + "/" + name)) continue;
    std::optional<std::string> value = read_ref(repo.root, std::string(dir) + "/" + name);
    if (value) refs.emplace_back(name, *value);
  }
  ::closedir(handle);
  return refs;
}

std::vector<std::pair<std::string, std::string>> list_branches(const Repository& repo) {
  return list_refs_in(repo, "refs/heads");
}

bool is_temp_file_name(std::string_view file_name) {
  size_t marker = file_name.rfind(".tmp.");
  if (marker == std::string_view::npos || marker == 0) return false;
  std::string_view number = file_name.substr(marker + 5);
  return !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos;
}
