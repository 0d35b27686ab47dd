// The physical work of staging a tree, and nothing else: every file's
// canonical blob bytes ("blob <size>\0<content>") hashed with SHA-256 and
// compressed with zlib at level 9, once each, in a tight loop with one
// deflate stream and one output buffer. The files are read into memory
// before the clock starts. Prints the loop's wall time and the process's
// processor time spent in it, in seconds: "<wall> <cpu>".
//
//   compress_hash_ref <directory>

#include <openssl/evp.h>
#include <time.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> load_canonical_blobs(const fs::path& root) {
  std::vector<std::string> blobs;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
    const std::string name = it->path().filename().string();
    if (it->is_directory() && (name == ".orrery" || name == ".git")) {
      it.disable_recursion_pending();
      continue;
    }
    if (!it->is_regular_file()) continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string blob = "blob " + std::to_string(content.size());
    blob.push_back('\0');
    blobs.push_back(blob + content);
  }
  return blobs;
}

double cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: compress_hash_ref <directory>\n");
    return 2;
  }
  const std::vector<std::string> blobs = load_canonical_blobs(argv[1]);
  size_t largest = 0;
  for (const std::string& blob : blobs) largest = std::max(largest, blob.size());

  z_stream stream{};
  deflateInit(&stream, 9);
  std::vector<unsigned char> out(deflateBound(&stream, largest));
  EVP_MD_CTX* sha = EVP_MD_CTX_new();
  // Fetched once: the built-in EVP_sha256() would be looked up again on
  // every initialisation, which is not part of the work.
  EVP_MD* sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  unsigned char digest[EVP_MAX_MD_SIZE];
  size_t compressed = 0;

  const double cpu_start = cpu_seconds();
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& blob : blobs) {
    unsigned int digest_size = 0;
    EVP_DigestInit_ex(sha, sha256, nullptr);
    EVP_DigestUpdate(sha, blob.data(), blob.size());
    EVP_DigestFinal_ex(sha, digest, &digest_size);
    deflateReset(&stream);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(blob.data()));
    stream.avail_in = static_cast<uInt>(blob.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) return 1;
    compressed += stream.total_out;
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const double cpu = cpu_seconds() - cpu_start;

  EVP_MD_CTX_free(sha);
  EVP_MD_free(sha256);
  deflateEnd(&stream);
  std::fprintf(stderr, "%zu blobs, %zu bytes compressed\n", blobs.size(), compressed);
  std::printf("%.4f %.4f\n", elapsed.count(), cpu);
  return 0;
}
