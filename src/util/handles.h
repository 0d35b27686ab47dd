#pragma once

#include <dirent.h>

#include <cstddef>
#include <string>
#include <string_view>

// Owners of the operating system's handles: each gives its handle back when
// it goes out of scope, on every path out, and is moved, never copied.

// An open file descriptor; -1 when there is none.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Hands the descriptor over to the caller, who closes it.
  int release() noexcept;
  // Closes the descriptor held (its error is lost) and holds `fd` instead.
  void reset(int fd = -1) noexcept;
  // Closes now; 0, or the errno close gave (a write-back error shows here).
  int close() noexcept;

 private:
  int fd_ = -1;
};

// Writes all bytes, retrying interrupted and short writes; 0, or the errno
// of the write that failed.
int write_fully(int fd, std::string_view bytes);

// Reads `fd` to its end into `out` (replacing what it held), retrying
// interrupted reads; 0, or the errno of the read that failed, `out` then
// holding what came before it. `expected` bytes (a regular file's size) are
// read in one go; a regular file answers short only at its end, so
// `regular` stops there without asking again.
int read_to_end(int fd, std::string& out, size_t expected = 0, bool regular = false);

// A read-only private mapping of a whole file; empty when the file is empty
// or could not be mapped.
class MappedFile {
 public:
  MappedFile() = default;
  // Maps `size` bytes of `fd` (which may be closed afterwards); `populate`
  // reads the pages in at once, for a file read from end to end.
  MappedFile(int fd, size_t size, bool populate = false);
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  std::string_view bytes() const { return {data_, size_}; }
  bool empty() const { return size_ == 0; }

 private:
  void unmap();

  const char* data_ = nullptr;
  size_t size_ = 0;
};

// What a directory entry is, from the type the directory gives, with an
// lstat of `path` only where the file system gives none. A symbolic link is
// `other`, never followed.
enum class EntryKind : unsigned char { file, directory, other };
EntryKind entry_kind(const std::string& path, unsigned char d_type);

// An open directory stream; not valid when the directory could not be
// opened.
class DirHandle {
 public:
  explicit DirHandle(const std::string& path);
  DirHandle(DirHandle&& other) noexcept;
  DirHandle& operator=(DirHandle&& other) noexcept;
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;
  ~DirHandle();

  bool valid() const { return dir_ != nullptr; }
  // The next entry ("." and ".." included), or nullptr at the end or on an
  // error; errno tells the two apart, being 0 at the end.
  const dirent* next();

 private:
  DIR* dir_ = nullptr;
};
