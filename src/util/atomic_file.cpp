#include "util/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace {

constexpr size_t k_append_chunk = size_t{1} << 20;

// One generator per thread, seeded once: setting up a random device costs
// more than writing a small file, and a command may write thousands.
std::mt19937_64& temp_name_engine() {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  return engine;
}

std::string_view dirname_of(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

}  // namespace

AtomicFile::~AtomicFile() {
  if (temp_path_.empty() || committed_) return;
  fd_.reset();
  ::unlink(temp_path_.c_str());
}

int AtomicFile::open_sibling(const std::string& path, const Options& options) {
  path_ = path;
  sync_ = options.sync;
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | options.open_flags;
  int error = EEXIST;
  for (int attempt = 0; attempt < 10 && error == EEXIST; ++attempt) {
    temp_path_ = path + ".tmp." + std::to_string(temp_name_engine()());
    fd_.reset(::open(temp_path_.c_str(), flags, options.mode));
    error = fd_.valid() ? 0 : errno;
  }
  if (error != 0) temp_path_.clear();
  return error;
}

int AtomicFile::create_new(const std::string& path, const Options& options) {
  path_ = path;
  sync_ = options.sync;
  fd_.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | options.open_flags,
                   options.mode));
  if (!fd_.valid()) return errno;
  temp_path_ = path;
  return 0;
}

int AtomicFile::write(std::string_view bytes) {
  if (int error = flush(); error != 0) return error;
  return write_fully(fd_.get(), bytes);
}

int AtomicFile::append(std::string_view bytes) {
  if (buffer_.size() + bytes.size() > k_append_chunk) {
    if (int error = flush(); error != 0) return error;
  }
  if (bytes.size() >= k_append_chunk) return write_fully(fd_.get(), bytes);
  if (buffer_.capacity() < k_append_chunk) buffer_.reserve(k_append_chunk);
  buffer_.append(bytes);
  return 0;
}

int AtomicFile::flush() {
  if (buffer_.empty()) return 0;
  const int error = write_fully(fd_.get(), buffer_);
  buffer_.clear();
  return error;
}

int AtomicFile::finish() {
  if (finished_) return 0;
  int error = fd_.valid() ? flush() : EBADF;
  if (error == 0 && sync_ != Sync::none && ::fsync(fd_.get()) != 0) error = errno;
  const int close_error = fd_.close();
  if (error == 0) error = close_error;
  finished_ = error == 0;
  return error;
}

int AtomicFile::commit() {
  if (committed_) return 0;
  int error = finish();
  if (error == 0 && temp_path_ != path_ && ::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
    return error;
  }
  committed_ = true;
  return sync_ == Sync::directory ? sync_directory(dirname_of(path_)) : 0;
}

int sync_directory(std::string_view dir) {
  UniqueFd fd(
      ::open(dir.empty() ? "." : std::string(dir).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return errno;
  if (::fsync(fd.get()) != 0 && errno != EINVAL) return errno;
  return 0;
}
