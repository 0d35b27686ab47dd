#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The two archive layouts, written piece by piece into a ByteSink so an
// archive never has to fit in memory.

// Receives archive bytes in order and counts them: zip records where each
// local header starts.
struct ByteSink {
  std::function<void(std::string_view)> write;
  uint64_t position = 0;
};

void sink_write(ByteSink& sink, std::string_view bytes);

// A tree the format cannot hold (a path or a file too long for it); the text
// is the user-facing Russian explanation.
struct ArchiveError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// ustar splits a path longer than 100 bytes into a prefix (at most 155
// bytes) and a name (at most 100) at a "/"; nothing when no "/" qualifies.
struct UstarPath {
  std::string_view prefix;
  std::string_view name;
};
std::optional<UstarPath> split_ustar_path(std::string_view path);

// The permission bits of a tree-entry mode read as octal; 0644 when the mode
// is empty or not octal.
uint32_t ustar_permissions(std::string_view mode);

// The 512-byte header of one regular file. Throws ArchiveError when the path
// cannot be split or the size needs more than eleven octal digits.
std::string ustar_header(std::string_view path, std::string_view mode, uint64_t size,
                         uint64_t mtime);

// Header, content and padding of one file; then the two closing zero blocks.
void write_tar_entry(ByteSink& sink, std::string_view path, std::string_view mode, uint64_t mtime,
                     std::string_view content);
void write_tar_end(ByteSink& sink);

// A time stamp in the packed MS-DOS form zip uses, read as UTC.
struct DosTime {
  uint16_t time = 0;
  uint16_t date = 0;
};
DosTime dos_time(uint64_t timestamp);

// What the central directory needs, gathered while the entries are written.
struct ZipDirectory {
  std::string records;
  uint32_t entries = 0;
};

// Local header, name and data (deflated when that is smaller, else stored)
// of one file, plus its central directory record, which carries the Unix
// mode of a regular file (0755 when `mode` has an execute bit, else 0644).
// Throws ArchiveError for a
// path past 65535 bytes, content of 4 GiB or more, an offset past 4 GiB or a
// 65536th entry.
void write_zip_entry(ByteSink& sink, ZipDirectory& directory, std::string_view path,
                     std::string_view mode, DosTime when, std::string_view content);
void write_zip_end(ByteSink& sink, const ZipDirectory& directory);

// Throws the ArchiveError the writer would throw for this path, so a tree
// that cannot be archived is refused before any byte is written.
void check_tar_path(std::string_view path);
void check_zip_path(std::string_view path);
