#include "tools/archive_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

// tar (POSIX ustar): per file a 512-byte header, the content, zero bytes up
// to a multiple of 512; two zero blocks close the archive. Header fields
// (all other bytes zero; numbers octal, each followed by a space):
//
//   0 name[100]  100 mode "%07o "  108 uid "%07o "  116 gid "%07o "
//   124 size "%011o "  136 mtime "%011o "  148 checksum "%06o " NUL
//   156 type '0'  257 "ustar" NUL  263 "00"  345 prefix[155]
//
// The checksum is the unsigned byte sum of the header with its own field
// read as eight spaces.
//
// zip (no zip64, integers little-endian): per file a local header
//
//   u32 0x04034b50, u16 version needed (20 deflated, 10 stored), u16 flags 0,
//   u16 method (8 deflate, 0 stored), u16 DOS time, u16 DOS date, u32 CRC-32,
//   u32 stored size, u32 content size, u16 name length, u16 extra length 0
//
// then the name and the stored data (raw deflate, no zlib wrapper). The
// central directory repeats each header after u32 0x02014b50 and u16 version
// made by 0x0314, adding u16 extra, comment, disk and internal attributes
// (all 0), u32 external attributes (the Unix mode 0100644, or 0100755 when the
// tree-entry mode has an execute bit, shifted left by 16), u32 local header
// offset and the name.
// The end record: u32 0x06054b50, u16 disk 0, u16 directory disk 0, u16 and
// u16 entry count, u32 directory size, u32 directory offset, u16 comment 0.

namespace {

constexpr size_t k_block = 512;
constexpr uint64_t k_max_octal_11 = 077777777777;  // 8589934591
constexpr uint64_t k_max_u32 = 0xffffffff;
constexpr size_t k_max_zip_entries = 65535;
constexpr size_t k_crc_chunk = size_t{1} << 30;

// The raw deflate stream of the zip writer, kept for the whole process.
class RawDeflater {
 public:
  RawDeflater() {
    if (deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
      throw std::runtime_error("zlib deflateInit failed");
    }
  }
  ~RawDeflater() { deflateEnd(&stream_); }
  RawDeflater(const RawDeflater&) = delete;
  RawDeflater& operator=(const RawDeflater&) = delete;

  // Deflates into `out` and returns true only when the result is shorter
  // than the input: the output space is one byte less than the input, so an
  // incompressible file stops as soon as that space is used up.
  bool compress_smaller(std::string_view input, std::string& out) {
    if (input.empty()) return false;
    deflateReset(&stream_);
    if (out.size() < input.size() - 1) out.resize(input.size() - 1);
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    stream_.avail_in = static_cast<uInt>(input.size());
    stream_.next_out = reinterpret_cast<Bytef*>(out.data());
    stream_.avail_out = static_cast<uInt>(input.size() - 1);
    int result = Z_OK;
    while (result == Z_OK && stream_.avail_out > 0) result = deflate(&stream_, Z_FINISH);
    if (result != Z_STREAM_END) return false;
    out.resize(stream_.total_out);
    return true;
  }

 private:
  z_stream stream_{};
};

RawDeflater& deflater() {
  thread_local RawDeflater instance;
  return instance;
}

// Writes `value` as `digits` octal digits and a space at header[offset].
void put_octal(char* header, size_t offset, size_t digits, uint64_t value) {
  for (size_t i = digits; i-- > 0;) {
    header[offset + i] = static_cast<char>('0' + (value & 7));
    value >>= 3;
  }
  header[offset + digits] = ' ';
}

void put_text(char* header, size_t offset, std::string_view text) {
  if (!text.empty()) std::memcpy(header + offset, text.data(), text.size());
}

uint32_t header_sum(const char* header) {
  uint32_t sum = 0;
  for (size_t i = 0; i < k_block; ++i) sum += static_cast<unsigned char>(header[i]);
  return sum;
}

void put_u16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xff);
  out += static_cast<char>((value >> 8) & 0xff);
}

void put_u32(std::string& out, uint64_t value) {
  put_u16(out, static_cast<uint32_t>(value & 0xffff));
  put_u16(out, static_cast<uint32_t>((value >> 16) & 0xffff));
}

uint32_t crc32_of(std::string_view content) {
  uLong crc = crc32(0, nullptr, 0);
  while (!content.empty()) {
    size_t n = std::min(content.size(), k_crc_chunk);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(n));
    content.remove_prefix(n);
  }
  return static_cast<uint32_t>(crc);
}

// The fields local header and directory record share, from "version needed"
// to the name length.
struct ZipFields {
  uint16_t version = 10;
  uint16_t method = 0;
  DosTime when;
  uint32_t crc = 0;
  uint64_t stored_size = 0;
  uint64_t size = 0;
  size_t name_length = 0;
};

void put_zip_fields(std::string& out, const ZipFields& f) {
  put_u16(out, f.version);
  put_u16(out, 0);  // flags
  put_u16(out, f.method);
  put_u16(out, f.when.time);
  put_u16(out, f.when.date);
  put_u32(out, f.crc);
  put_u32(out, f.stored_size);
  put_u32(out, f.size);
  put_u16(out, static_cast<uint32_t>(f.name_length));
  put_u16(out, 0);  // extra length
}

// Unzip tools restore these bits; 0 would leave every file unreadable.
uint32_t zip_external_attributes(std::string_view mode) {
  const uint32_t unix_mode = (ustar_permissions(mode) & 0111) != 0 ? 0100755 : 0100644;
  return unix_mode << 16;
}

void put_directory_record(std::string& out, const ZipFields& f, uint64_t offset,
                          std::string_view path, std::string_view mode) {
  put_u32(out, 0x02014b50);
  put_u16(out, 0x0314);
  put_zip_fields(out, f);
  put_u16(out, 0);  // comment length
  put_u16(out, 0);  // disk number
  put_u16(out, 0);  // internal attributes
  put_u32(out, zip_external_attributes(mode));
  put_u32(out, offset);
  out += path;
}

[[noreturn]] void refuse_offset() {
  throw ArchiveError("zip: смещение больше 4 ГиБ (нужен zip64)");
}

}  // namespace

void sink_write(ByteSink& sink, std::string_view bytes) {
  if (bytes.empty()) return;
  sink.write(bytes);
  sink.position += bytes.size();
}

std::optional<UstarPath> split_ustar_path(std::string_view path) {
  if (path.size() <= 100) return UstarPath{{}, path};
  for (size_t slash = path.rfind('/'); slash != std::string_view::npos && slash > 0;
       slash = path.rfind('/', slash - 1)) {
    std::string_view prefix = path.substr(0, slash);
    std::string_view name = path.substr(slash + 1);
    if (prefix.size() <= 155 && name.size() <= 100) return UstarPath{prefix, name};
  }
  return std::nullopt;
}

uint32_t ustar_permissions(std::string_view mode) {
  if (mode.empty() || mode.find_first_not_of("01234567") != std::string_view::npos) return 0644;
  // Only the last four digits survive the mask, so no length can overflow.
  uint32_t value = 0;
  for (char c : mode.substr(mode.size() - std::min<size_t>(mode.size(), 4))) {
    value = value * 8 + static_cast<uint32_t>(c - '0');
  }
  return value & 07777;
}

std::string ustar_header(std::string_view path, std::string_view mode, uint64_t size,
                         uint64_t mtime) {
  std::optional<UstarPath> split = split_ustar_path(path);
  if (!split) throw ArchiveError("путь " + std::string(path) + " для ustar слишком длинный");
  if (size > k_max_octal_11) {
    throw ArchiveError("файл " + std::string(path) + " слишком большой для ustar");
  }
  std::string header(k_block, '\0');
  char* h = header.data();
  put_text(h, 0, split->name);
  put_octal(h, 100, 7, ustar_permissions(mode));
  put_octal(h, 108, 7, 0);
  put_octal(h, 116, 7, 0);
  put_octal(h, 124, 11, size);
  put_octal(h, 136, 11, std::min(mtime, k_max_octal_11));
  put_text(h, 148, "        ");
  h[156] = '0';
  put_text(h, 257,
           std::string_view("ustar\0"
                            "00",
                            8));
  put_text(h, 345, split->prefix);
  put_octal(h, 148, 6, header_sum(h));
  h[155] = '\0';
  return header;
}

void write_tar_entry(ByteSink& sink, std::string_view path, std::string_view mode, uint64_t mtime,
                     std::string_view content) {
  static const std::string k_zeros(k_block, '\0');
  sink_write(sink, ustar_header(path, mode, content.size(), mtime));
  sink_write(sink, content);
  size_t tail = content.size() % k_block;
  if (tail != 0) sink_write(sink, std::string_view(k_zeros).substr(0, k_block - tail));
}

void write_tar_end(ByteSink& sink) { sink_write(sink, std::string(2 * k_block, '\0')); }

DosTime dos_time(uint64_t timestamp) {
  const int64_t seconds = static_cast<int64_t>(std::min<uint64_t>(timestamp, 2147483647));
  const int64_t day_seconds = seconds % 86400;
  // Civil date of a day count since 1970-01-01 (proleptic Gregorian).
  const int64_t z = seconds / 86400 + 719468;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

  DosTime out;
  out.time = static_cast<uint16_t>((day_seconds / 3600) << 11 | (day_seconds / 60 % 60) << 5 |
                                   (day_seconds % 60) / 2);
  out.date = static_cast<uint16_t>(((year - 1980) & 127) << 9 | month << 5 | day);
  return out;
}

void check_tar_path(std::string_view path) {
  if (!split_ustar_path(path)) {
    throw ArchiveError("путь " + std::string(path) + " для ustar слишком длинный");
  }
}

void check_zip_path(std::string_view path) {
  if (path.size() > 0xffff) {
    throw ArchiveError("путь " + std::string(path) + " слишком длинный для zip");
  }
}

void write_zip_entry(ByteSink& sink, ZipDirectory& directory, std::string_view path,
                     std::string_view mode, DosTime when, std::string_view content) {
  check_zip_path(path);
  if (content.size() > k_max_u32) {
    throw ArchiveError("файл " + std::string(path) + " больше 4 ГиБ");
  }
  if (directory.entries >= k_max_zip_entries) {
    throw ArchiveError("zip: больше 65535 записей не поддержано");
  }
  const uint64_t offset = sink.position;
  if (offset > k_max_u32) refuse_offset();

  thread_local std::string deflated;
  const bool use_deflate = deflater().compress_smaller(content, deflated);
  std::string_view stored = use_deflate ? std::string_view(deflated) : content;
  ZipFields f;
  f.version = use_deflate ? 20 : 10;
  f.method = use_deflate ? 8 : 0;
  f.when = when;
  f.crc = crc32_of(content);
  f.stored_size = stored.size();
  f.size = content.size();
  f.name_length = path.size();

  std::string header;
  put_u32(header, 0x04034b50);
  put_zip_fields(header, f);
  header += path;
  sink_write(sink, header);
  sink_write(sink, stored);
  put_directory_record(directory.records, f, offset, path, mode);
  ++directory.entries;
}

void write_zip_end(ByteSink& sink, const ZipDirectory& directory) {
  const uint64_t offset = sink.position;
  if (offset > k_max_u32 || directory.records.size() > k_max_u32) refuse_offset();
  sink_write(sink, directory.records);
  std::string end;
  put_u32(end, 0x06054b50);
  put_u16(end, 0);
  put_u16(end, 0);
  put_u16(end, directory.entries);
  put_u16(end, directory.entries);
  put_u32(end, directory.records.size());
  put_u32(end, offset);
  put_u16(end, 0);
  sink_write(sink, end);
}
