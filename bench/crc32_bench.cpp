// Throughput of each CRC-32 kernel of ours against zlib, libdeflate and ISA-L
// on buffers of 4 KiB (in L1), 1 MiB (in L2) and 64 MiB (in memory). Before
// timing, every function must give the same CRC as ours on the same data.
#include <benchmark/benchmark.h>
#include <isa-l/crc.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "crc32_kernels.h"

namespace {

struct Peer {
  std::string name;
  std::uint32_t (*extend)(std::uint32_t, const std::uint8_t*, std::size_t);
};

std::uint32_t Zlib(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  return static_cast<std::uint32_t>(crc32(crc, data, static_cast<uInt>(size)));
}
std::uint32_t Libdeflate(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  return libdeflate_crc32(crc, data, size);
}
// crc32_gzip_refl takes and returns finished CRCs, as zlib does: checked
// below before anything is timed.
std::uint32_t Isal(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  return crc32_gzip_refl(crc, data, size);
}

constexpr std::size_t kSizes[] = {std::size_t{4} << 10, std::size_t{1} << 20,
                                  std::size_t{64} << 20};

std::vector<Peer> AllFunctions() {
  std::vector<Peer> all;
  for (const quorvex::Crc32Kernel& k : quorvex::Crc32Kernels()) {
    if (k.supported()) all.push_back({std::string("quorvex-") + k.name, k.extend});
  }
  all.push_back({"zlib", Zlib});
  all.push_back({"libdeflate", Libdeflate});
  all.push_back({"isal", Isal});
  return all;
}

bool AllAgree(const std::vector<Peer>& all, const std::vector<std::uint8_t>& data) {
  const std::size_t lengths[] = {
      0, 1, 15, 63, 255, 4096, 100'003, (std::size_t{1} << 20) + 13, data.size() - 7};
  bool ok = true;
  for (const std::size_t n : lengths) {
    const std::uint8_t* p = data.data() + 7;
    const std::uint32_t want = quorvex::Crc32Portable(0, p, n);
    const std::uint32_t want_chained = quorvex::Crc32Portable(want, p, n / 3);
    for (const Peer& f : all) {
      const std::uint32_t got = f.extend(0, p, n);
      const std::uint32_t got_chained = f.extend(got, p, n / 3);
      if (got != want || got_chained != want_chained) {
        std::fprintf(stderr, "%s disagrees at length %zu: %08x/%08x, want %08x/%08x\n",
                     f.name.c_str(), n, got, got_chained, want, want_chained);
        ok = false;
      }
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::uint8_t> data(kSizes[2] + 64);
  std::mt19937_64 gen(42);
  for (std::size_t i = 0; i + 8 <= data.size(); i += 8) {
    const std::uint64_t v = gen();
    for (int b = 0; b < 8; ++b) data[i + b] = static_cast<std::uint8_t>(v >> (8 * b));
  }
  const std::vector<Peer> all = AllFunctions();
  if (!AllAgree(all, data)) return 1;
  std::fprintf(stderr, "all %zu CRC-32 functions agree; chosen kernel: %s\n", all.size(),
               quorvex::ChosenCrc32Kernel().name);

  for (const Peer& f : all) {
    for (const std::size_t size : kSizes) {
      benchmark::RegisterBenchmark(
          ("crc32/" + f.name + "/" + std::to_string(size)).c_str(),
          [&data, f, size](benchmark::State& state) {
            std::uint32_t crc = 0;
            for (auto _ : state) {
              crc = f.extend(crc, data.data(), size);
              benchmark::DoNotOptimize(crc);
            }
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
          });
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
