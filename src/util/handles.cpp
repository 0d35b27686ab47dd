#include "util/handles.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

int UniqueFd::release() noexcept { return std::exchange(fd_, -1); }

void UniqueFd::reset(int fd) noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

int UniqueFd::close() noexcept {
  const int fd = release();
  if (fd < 0) return 0;
  return ::close(fd) == 0 ? 0 : errno;
}

int write_fully(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

MappedFile::MappedFile(int fd, size_t size, bool populate) {
  if (size == 0) return;
  void* at = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | (populate ? MAP_POPULATE : 0), fd, 0);
  if (at == MAP_FAILED) return;
  data_ = static_cast<const char*>(at);
  size_ = size;
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    unmap();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

MappedFile::~MappedFile() { unmap(); }

void MappedFile::unmap() {
  if (data_ != nullptr) ::munmap(const_cast<char*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

DirHandle::DirHandle(const std::string& path) : dir_(::opendir(path.c_str())) {}

DirHandle::DirHandle(DirHandle&& other) noexcept : dir_(std::exchange(other.dir_, nullptr)) {}

DirHandle& DirHandle::operator=(DirHandle&& other) noexcept {
  if (this != &other) {
    if (dir_ != nullptr) ::closedir(dir_);
    dir_ = std::exchange(other.dir_, nullptr);
  }
  return *this;
}

DirHandle::~DirHandle() {
  if (dir_ != nullptr) ::closedir(dir_);
}

int read_to_end(int fd, std::string& out, size_t expected, bool regular) {
  // One spare byte lets the read that meets the end of a file of the
  // expected size return 0 without growing (and zero-filling) the buffer.
  out.resize(expected + 1);
  size_t filled = 0;
  for (;;) {
    if (filled == out.size()) out.resize(out.size() < 4096 ? 4096 : out.size() * 2);
    const size_t wanted = out.size() - filled;
    const ssize_t n = ::read(fd, out.data() + filled, wanted);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      out.resize(filled);
      return error;
    }
    if (n == 0) break;
    filled += static_cast<size_t>(n);
    if (regular && static_cast<size_t>(n) < wanted) break;
  }
  out.resize(filled);
  return 0;
}

EntryKind entry_kind(const std::string& path, unsigned char d_type) {
  if (d_type == DT_REG) return EntryKind::file;
  if (d_type == DT_DIR) return EntryKind::directory;
  struct stat st;
  if (d_type != DT_UNKNOWN || ::lstat(path.c_str(), &st) != 0) return EntryKind::other;
  if (S_ISREG(st.st_mode)) return EntryKind::file;
  return S_ISDIR(st.st_mode) ? EntryKind::directory : EntryKind::other;
}

const dirent* DirHandle::next() {
  errno = 0;
  return dir_ != nullptr ? ::readdir(dir_) : nullptr;
}
