#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// SHA-256 and zlib, shared by the object store and the packs. Each keeps one
// context per thread, so hashing or compressing many objects does not
// allocate per object, and any thread may call them.

// 64 lower-case hexadecimal digits of the SHA-256 of bytes.
std::string sha256_hex(std::string_view bytes);

// The SHA-256 of the canonical bytes "<type> <size>\0<content>", without
// building them.
std::string object_hash(std::string_view type, std::string_view content);

// One zlib stream (RFC 1950) at level 9. Throws "zlib deflate failed".
std::string zlib_compress(std::string_view bytes);

// The canonical bytes of an object, compressed: the same as
// zlib_compress(type + " " + size + "\0" + content), without the copy.
std::string compress_object(std::string_view type, std::string_view content);

// Inflates one zlib stream. Throws "zlib inflate failed" on damaged or
// truncated input, "data after the zlib stream" when bytes follow its end.
std::string zlib_decompress(std::string_view bytes);

// How zlib_inflate_pieces ended: `trailing` is a whole stream with bytes
// after its end, which no stored object has.
enum class InflateEnd { complete, stopped, damaged, trailing };

// Inflates one zlib stream piece by piece through a buffer kept for the
// thread, handing each piece to `sink`, which returns false to stop early
// (a reader that needs only the first bytes never inflates the rest).
// `damaged` covers bad or truncated data; nothing throws. The sink must not
// inflate anything itself.
InflateEnd zlib_inflate_pieces(std::string_view bytes,
                               const std::function<bool(std::string_view)>& sink);

// A SHA-256 fed in pieces, for bytes that never exist in one buffer.
class Sha256Stream {
 public:
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;

  void update(std::string_view bytes);
  // 64 lower-case hexadecimal digits; the stream starts afresh afterwards.
  std::string finish_hex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The same, throwing "longer than expected" rather than inflating past
// `limit` bytes: what a header announced bounds what a stream may become.
std::string zlib_decompress(std::string_view bytes, size_t limit);

// The longest canonical header: a type word, a space, twenty digits, NUL.
inline constexpr size_t k_max_object_header = 64;

// The header "<type> <size>\0" that starts canonical bytes.
struct ObjectHeader {
  std::string_view type;
  uint64_t size = 0;     // the content bytes it announces
  std::string_view text; // the header itself, NUL included
};

// Parses the header at the start of `canonical`: a word of lower-case
// letters, one space, decimal digits without a leading zero, a NUL within
// the first k_max_object_header bytes. Nothing, with the reason in `error`,
// when there is no whole header or it is malformed. The views point into
// `canonical`.
std::optional<ObjectHeader> parse_object_header(std::string_view canonical, std::string& error);

// Inflates a stored object piece by piece: `accept` sees its header and may
// stop there (answering false), `content` then sees the content in pieces and
// may stop too. Nothing beyond the size the header announces is inflated.
// `complete` when the stream held exactly that header and content and ended
// there; `stopped` when a callback stopped it; otherwise `damaged`, with the
// reason in `error`.
InflateEnd inflate_object_pieces(std::string_view stored,
                                 const std::function<bool(const ObjectHeader&)>& accept,
                                 const std::function<bool(std::string_view)>& content,
                                 std::string& error);

// Inflates a stored object and checks its canonical bytes: the header
// "<type> <size>\0" (a word of lower-case letters, decimal digits without
// a leading zero), exactly `size` bytes of content, the end of the zlib
// stream and nothing after it. Never inflates more than the header
// announces, so a small file cannot unfold into a huge buffer. False, with
// the reason in `error`, for anything else.
bool inflate_object(std::string_view stored, std::string& canonical, std::string& error);

// The same checks on canonical bytes already inflated.
bool check_canonical_object(std::string_view canonical, std::string& error);
