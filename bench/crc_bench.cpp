// crc_bench: how fast the CRC-32 that a repair compares with each file's stamp runs on one
// core. Prints its figures; it is not a test.
//
//   memory: Crc32Update over one large buffer in memory (256 MB by default), several passes
//   file:   Crc32OfFile over a file of the same size, read in 16 KB blocks into the run's
//           scratch buffer through the seam: natively a file on the simulated machine (the
//           cost of the reads and the loop around the sum), on Windows a file in the
//           temporary directory (under Wine: the prefix, from the page cache after the
//           first pass)
//
//   crc_bench [--megabytes N] [--passes N]
//
// Throughput is in GB/s of 10^9 bytes, best of the passes and their mean; the target for
// memory is 1 GB/s or more natively.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "bench_support.h"
#include "platform/platform.h"
#include "repair/crc32.h"

namespace {

using Clock = BenchClock;

struct Figures {
  double best = 0;  // GB/s
  double mean = 0;
};

// Bytes that no table lookup can predict: the sum does the same work for any contents, but
// a constant buffer could flatter a cache.
std::vector<unsigned char> RandomBytes(size_t size) {
  std::vector<unsigned char> bytes(size);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (size_t i = 0; i < size; i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    memcpy(&bytes[i], &state, size - i < 8 ? size - i : 8);
  }
  return bytes;
}

template <typename Pass>
Figures Time(int passes, size_t bytes, Pass pass) {
  Figures figures;
  double total = 0;
  for (int i = 0; i < passes; ++i) {
    Clock::time_point start = Clock::now();
    pass();
    double seconds = Seconds(start, Clock::now());
    double rate = bytes / seconds / 1e9;
    if (rate > figures.best) figures.best = rate;
    total += seconds;
  }
  figures.mean = bytes * static_cast<double>(passes) / total / 1e9;
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  size_t megabytes = 256;
  int passes = 8;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--megabytes") == 0 && i + 1 < argc) {
      megabytes = static_cast<size_t>(atoi(argv[++i]));
    } else if (strcmp(argv[i], "--passes") == 0 && i + 1 < argc) {
      passes = atoi(argv[++i]);
    } else {
      fprintf(stderr, "usage: crc_bench [--megabytes N] [--passes N]\n");
      return 2;
    }
  }
  if (megabytes < 1) megabytes = 1;
  if (passes < 1) passes = 1;
  const size_t size = megabytes << 20;

  // The standard check value: a sum that is fast but wrong would be no figure at all.
  const char* kCheck = "123456789";
  if (Crc32Update(0, kCheck, 9) != 0xCBF43926u) {
    fprintf(stderr, "crc_bench: Crc32Update(\"123456789\") is not cbf43926\n");
    return 1;
  }
  std::vector<unsigned char> buffer = RandomBytes(size);
  uint32_t inMemory = 0;
  Figures memory =
      Time(passes, size, [&] { inMemory = Crc32Update(0, buffer.data(), buffer.size()); });

  BenchMachine& machine = InstallBenchMachine();
  char temp[260] = {};
  machine.TempDirectory(temp, sizeof temp);
  temp[sizeof temp - 1] = '\0';
  std::string path = std::string(temp) + "crc_bench.bin";
  const char* where =
      kRealMachine ? "a file in the temporary directory" : "a file on the simulated machine";
  std::string contents(reinterpret_cast<const char*>(buffer.data()), buffer.size());
  buffer.clear();
  buffer.shrink_to_fit();
  MakeDirectories(Sys(), path.substr(0, path.rfind('\\')));
  if (PutFile(Sys(), path, contents) != 0) {
    fprintf(stderr, "crc_bench: cannot write %s\n", path.c_str());
    return 1;
  }
  contents.clear();
  contents.shrink_to_fit();

  uint32_t ofFile = 0;
  int failed = 0;
  Figures file = Time(passes, size, [&] {
    FileHandle handle = Sys().OpenForRead(path.c_str());
    if (handle == kNoFile || Crc32OfFile(handle, &ofFile) != 0) ++failed;
    if (handle != kNoFile) Sys().CloseFile(handle);
  });
  Sys().RemoveFile(path.c_str());
  if (failed != 0 || ofFile != inMemory) {
    fprintf(stderr, "crc_bench: the file's CRC-32 %08x is not the buffer's %08x\n", ofFile,
            inMemory);
    return 1;
  }

  printf("crc_bench: CRC-32 (slicing by sixteen) on one core, %zu MB, %d passes\n", megabytes,
         passes);
  printf("  memory: best %.2f GB/s, mean %.2f GB/s (target: at least 1 GB/s)\n", memory.best,
         memory.mean);
  printf("  file:   best %.2f GB/s, mean %.2f GB/s (Crc32OfFile, 16 KB reads, %s)\n", file.best,
         file.mean, where);
  printf("result: crc memory_gbps=%.2f file_gbps=%.2f\n", memory.best, file.best);
  return 0;
}
