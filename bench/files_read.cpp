// Read throughput of the file layer against plain stdio in the same run:
//   - a 64 MiB file through ChannelRead in 4 KiB and 1 MiB pieces, against
//     unbuffered fread (one read call per piece) of the same file;
//   - a 16 MiB archive entry resolved and unpacked into a memory file,
//     against fread of the same 16 MiB unpacked.
// Prints MB/s and the ratio to the baseline (> 1: the runtime is faster).
//   files_read [folder]   (default: $TMPDIR or /tmp)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "lib/archive_writer.h"
#include "files/archive.h"
#include "files/files.h"
#include "files/read_channel.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kFileSize = 64ll << 20;
constexpr int64_t kEntrySize = 16ll << 20;
constexpr int kRounds = 5;

// Best of several rounds: the page cache is warm after the first.
double BestSeconds(const std::function<void()>& work) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

double MBps(int64_t bytes, double seconds) { return static_cast<double>(bytes) / (1 << 20) / seconds; }

// Text-like bytes: runs, repeats and noise, roughly as media compresses.
std::vector<char> MakeBytes(int64_t size) {
  std::vector<char> bytes(static_cast<size_t>(size));
  uint32_t state = 12345;
  for (size_t i = 0; i < bytes.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    const size_t block = i / 256;
    bytes[i] = block % 4 == 0 ? static_cast<char>(state >> 24)
                              : static_cast<char>("the quick brown fox jumps over "[i % 31] + block % 3);
  }
  return bytes;
}

bool WriteFile(const std::string& path, const std::vector<char>& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

int64_t ReadWithStdio(const std::string& path, size_t piece) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  std::setvbuf(file, nullptr, _IONBF, 0);
  std::vector<char> buffer(piece);
  int64_t total = 0;
  for (;;) {
    const size_t got = std::fread(buffer.data(), 1, piece, file);
    if (got == 0) break;
    total += static_cast<int64_t>(got);
  }
  std::fclose(file);
  return total;
}

int64_t ReadWithChannel(const std::string& path, int64_t piece) {
  ReadChannel channel;
  if (!OpenReadChannel(channel, path.c_str())) return 0;
  std::vector<char> buffer(static_cast<size_t>(piece));
  int64_t total = 0;
  for (;;) {
    const int64_t got = ChannelRead(channel, buffer.data(), piece);
    if (got <= 0) break;
    total += got;
  }
  CloseChannel(channel);
  return total;
}

void Report(const char* what, int64_t bytes, double seconds, double baselineSeconds) {
  std::printf("%-44s %9.1f MB/s   ratio %.2f\n", what, MBps(bytes, seconds), baselineSeconds / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : (std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp");
  folder += "/velmora-files-bench";
  std::error_code ec;
  fs::create_directories(folder, ec);
  const std::string big = folder + "/big.bin";
  const std::string plain = folder + "/entry.bin";
  const std::string host = folder + "/host";
  const std::vector<char> bigBytes = MakeBytes(kFileSize);
  const std::vector<char> entryBytes(bigBytes.begin(), bigBytes.begin() + kEntrySize);
  if (!WriteFile(big, bigBytes) || !WriteFile(plain, entryBytes) || !WriteFile(host, {'h', 'o', 's', 't'})) {
    std::fprintf(stderr, "cannot write test files in %s\n", folder.c_str());
    return 1;
  }
  std::string error;
  if (!AppendToArchive(host.c_str(), {{"entry.bin", plain}}, &error)) {
    std::fprintf(stderr, "cannot pack: %s\n", error.c_str());
    return 1;
  }
  SetArchive(host.c_str(), host.c_str());

  std::printf("file layer read throughput (best of %d rounds; ratio = baseline time / runtime time)\n", kRounds);
  for (const int64_t piece : {int64_t{4096}, int64_t{1} << 20}) {
    int64_t a = 0, b = 0;
    const double baseline = BestSeconds([&] { a = ReadWithStdio(big, static_cast<size_t>(piece)); });
    const double channel = BestSeconds([&] { b = ReadWithChannel(big, piece); });
    if (a != kFileSize || b != kFileSize) {
      std::fprintf(stderr, "short read: %lld / %lld\n", static_cast<long long>(a), static_cast<long long>(b));
      return 1;
    }
    char label[96];
    std::snprintf(label, sizeof label, "fread 64 MiB in %s pieces (baseline)", piece == 4096 ? "4 KiB" : "1 MiB");
    Report(label, kFileSize, baseline, baseline);
    std::snprintf(label, sizeof label, "ChannelRead 64 MiB in %s pieces", piece == 4096 ? "4 KiB" : "1 MiB");
    Report(label, kFileSize, channel, baseline);
  }

  int64_t plainBytes = 0;
  const double baseline = BestSeconds([&] { plainBytes = ReadWithStdio(plain, 1 << 20); });
  bool unpackedOk = true;
  const double unpack = BestSeconds([&] {
    char name[kMaxFileName];
    unpackedOk = unpackedOk && ResolveFileName(MemoryResolver(), "media/ENTRY.BIN", name, true) &&
                 QueryFileSize(name) == kEntrySize;
  });
  ReleaseResolverResult(MemoryResolver());
  if (!unpackedOk || plainBytes != kEntrySize) {
    std::fprintf(stderr, "archive entry did not unpack\n");
    return 1;
  }
  Report("fread 16 MiB plain file (baseline)", kEntrySize, baseline, baseline);
  Report("resolve + unpack 16 MiB archive entry", kEntrySize, unpack, baseline);
  std::printf("packed entry: %lld bytes for %lld\n", static_cast<long long>(fs::file_size(host) - 4),
              static_cast<long long>(kEntrySize));
  fs::remove_all(folder, ec);
  return 0;
}
