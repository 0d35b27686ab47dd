#include "store/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "store/errors.h"
#include "util/atomic_file.h"
#include "util/handles.h"

namespace {

std::string system_error_text(int error) { return std::strerror(error); }

[[noreturn]] void throw_open_error(const std::string& path, int error) {
  throw std::runtime_error("Cannot open file for writing: " + path + " -> " +
                           system_error_text(error));
}

// Writes `bytes` through `file` and puts it in place; on any failure the
// temporary file is gone and std::runtime_error names `path`.
void write_and_commit(AtomicFile& file, const std::string& path, std::string_view bytes) {
  int error = file.write(bytes);
  if (error == 0) error = file.commit();
  if (error != 0 && file.committed()) {
    throw std::runtime_error("Cannot sync: " + path + " -> " + system_error_text(error));
  }
  if (error != 0) {
    throw std::runtime_error("Failed to atomically write file: " + path + " -> " +
                             system_error_text(error));
  }
}

void make_directories(const std::string& path, mode_t mode) {
  if (path.empty() || ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST) return;
  int error = errno;
  if (error == ENOENT) {
    std::string_view parent = path_dirname(path);
    if (!parent.empty() && parent != path) {
      make_directories(std::string(parent), mode);
      if (::mkdir(path.c_str(), mode) == 0 || errno == EEXIST) return;
      error = errno;
    }
  }
  throw std::runtime_error("Failed to create directory: " + path + " -> " +
                           system_error_text(error));
}

}  // namespace

std::string read_file(const std::string& path) {
  std::string out;
  if (!read_file_into(path, out)) throw std::runtime_error("Cannot open file for reading: " + path);
  return out;
}

namespace {

// Reads the open file whole into `out`; false when it turns out to be a
// directory.
bool read_open_file(int fd, const struct stat& st, const std::string& path, std::string& out) {
  const bool regular = S_ISREG(st.st_mode);
  const int error = read_to_end(fd, out, regular ? static_cast<size_t>(st.st_size) : 0, regular);
  if (error == EISDIR && out.empty()) return false;
  if (error != 0) {
    throw std::runtime_error("Cannot read file: " + path + " -> " + system_error_text(error));
  }
  return true;
}

}  // namespace

bool read_file_into(const std::string& path, std::string& out, struct stat* before) {
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return false;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) st = {};
  if (before != nullptr) *before = st;
  if (is_special_file(st)) throw std::runtime_error("Not a regular file: " + path);
  return read_open_file(fd.get(), st, path, out);
}

bool read_store_file(const std::string& path, std::string& out) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    // ELOOP: a symbolic link; ENXIO: a socket.
    if (errno == ELOOP || errno == ENXIO) throw RepositoryDamaged("Not a regular file: " + path);
    throw std::runtime_error("Cannot open file for reading: " + path);
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    throw std::runtime_error("Cannot read file: " + path + " -> " + system_error_text(errno));
  }
  if (S_ISDIR(st.st_mode)) return false;
  if (!S_ISREG(st.st_mode)) throw RepositoryDamaged("Not a regular file: " + path);
  return read_open_file(fd.get(), st, path, out);
}

namespace {

// Set by a deferred write, cleared by the sync that covers it. Per thread:
// a thread's synced write must cover its own deferred ones, and a flag
// shared with another thread could be cleared by a sync that started
// before this thread's write ended.
thread_local bool t_unsynced_writes = false;

// Writes into an existing FIFO, socket or device as it is: replacing one
// with a regular file would break whatever it serves.
void write_in_place(const std::string& path, std::string_view bytes) {
  // Non-blocking open, so a FIFO without a reader fails instead of hanging;
  // the writes then block as usual.
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) throw_open_error(path, errno);
  const int flags = ::fcntl(fd.get(), F_GETFL);
  int error = flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0 ? errno : 0;
  if (error == 0) error = write_fully(fd.get(), bytes);
  const int close_error = fd.close();
  if (error == 0) error = close_error;
  if (error != 0) {
    throw std::runtime_error("Failed to write file: " + path + " -> " + system_error_text(error));
  }
}

}  // namespace

bool is_special_file(const struct stat& st) {
  return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
}

void sync_deferred_writes(const std::string& path) {
  if (!t_unsynced_writes) return;
  // One syncfs covers every object written since the last sync: a batch,
  // where an fsync per object would cost a journal commit each.
  std::string_view parent = path_dirname(path);
  UniqueFd fd(::open(parent.empty() ? "." : std::string(parent).c_str(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0 || ::syncfs(fd.get()) != 0) {
    throw std::runtime_error("Cannot sync: " + path + " -> " + system_error_text(errno));
  }
  t_unsynced_writes = false;
}

void write_file_atomic(const std::string& path, std::string_view bytes, Durability durability) {
  // Objects go only to paths found free a moment ago: no look needed.
  struct stat existing;
  if (durability != Durability::deferred && ::lstat(path.c_str(), &existing) == 0 &&
      is_special_file(existing)) {
    write_in_place(path, bytes);
    return;
  }
  const bool synced = durability == Durability::synced;
  if (synced) sync_deferred_writes(path);
  const AtomicFile::Options options{.sync = synced ? AtomicFile::Sync::directory
                                                   : AtomicFile::Sync::none};
  // The parent usually exists: create it only when the first open fails.
  AtomicFile file;
  std::string_view parent = path_dirname(path);
  int error = file.open_sibling(path, options);
  if (error != 0 && !parent.empty()) {
    ensure_directory(std::string(parent));
    error = file.open_sibling(path, options);
  }
  if (error != 0) throw_open_error(path, error);
  write_and_commit(file, path, bytes);
  if (durability == Durability::deferred) t_unsynced_writes = true;
}

std::string follow_links(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n <= 0) return current;
    target.resize(static_cast<size_t>(n));
    std::string_view dir = path_dirname(current);
    current = target.front() == '/' || dir.empty() ? target : std::string(dir) + "/" + target;
  }
  throw std::runtime_error("Too many levels of symbolic links: " + path);
}

void write_private_file_atomic(const std::string& path, std::string_view bytes) {
  std::string_view parent = path_dirname(path);
  if (!parent.empty()) make_directories(std::string(parent), 0700);
  // Never readable by others, not even between creation and a chmod; and a
  // planted link is refused rather than followed.
  AtomicFile file;
  if (int error = file.open_sibling(path, {.mode = 0600, .open_flags = O_NOFOLLOW})) {
    throw_open_error(path, error);
  }
  ::fchmod(file.fd(), 0600);  // the umask may have taken away the owner's bits
  write_and_commit(file, path, bytes);
}

void ensure_directory(const std::string& path) { make_directories(path, 0777); }

bool path_exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_regular_file(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool is_symbolic_link(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool remove_path(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  return !ec;
}

bool is_safe_relpath(std::string_view path) {
  if (path.empty() || path.front() == '/') return false;
  const auto is_letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (path.size() >= 2 && is_letter(path[0]) && path[1] == ':') return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

std::string current_directory() {
  std::error_code ec;
  std::string dir = std::filesystem::current_path(ec).string();
  if (ec) throw std::runtime_error("Cannot determine the current directory -> " + ec.message());
  return dir;
}

std::string_view path_basename(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view path_dirname(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}
