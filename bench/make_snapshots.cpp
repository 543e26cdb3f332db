// Writes a tree of sealed snapshots, as a recorder's export holds them:
//   make-snapshots DIR COUNT [BYTES [PER_FOLDER]]
// COUNT files of about BYTES each (20,000 by default), JPEG, PNG and BMP in
// turn, PER_FOLDER (1,000 by default) to a folder DIR/cam000, DIR/cam001, ...
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "file_builders.h"

namespace qb = quorvex::build;
using qb::Bytes;

namespace {

// A JPEG padded with comment segments up to about `size` bytes.
Bytes PaddedJpeg(std::size_t size, std::uint32_t seed) {
  const Bytes tiny = qb::TinyJpeg();
  Bytes b(tiny.begin(), tiny.begin() + 2);
  while (b.size() + tiny.size() + 4 < size) {
    const std::size_t data = std::min<std::size_t>(65533, size - b.size() - tiny.size() - 4);
    b.push_back(0xFF);
    b.push_back(0xFE);
    b.push_back(static_cast<std::uint8_t>((data + 2) >> 8));
    b.push_back(static_cast<std::uint8_t>(data + 2));
    qb::Append(b, qb::Filler(data, seed++));
  }
  b.insert(b.end(), tiny.begin() + 2, tiny.end());
  return qb::SealJpegOrPng(b);
}

// A PNG with a private chunk behind its header, up to about `size` bytes.
Bytes PaddedPng(std::size_t size, std::uint32_t seed) {
  const Bytes tiny = qb::TinyPng();
  constexpr std::size_t kAfterHeader = 8 + 25;
  Bytes b(tiny.begin(), tiny.begin() + kAfterHeader);
  const std::size_t data = size > tiny.size() + 16 ? size - tiny.size() - 16 : 0;
  qb::AppendBe32(b, static_cast<std::uint32_t>(data));
  Bytes chunk = qb::FromText("quOr");
  qb::Append(chunk, qb::Filler(data, seed));
  qb::Append(b, chunk);
  qb::AppendBe32(b, qb::ReferenceCrc32(chunk));
  b.insert(b.end(), tiny.begin() + kAfterHeader, tiny.end());
  return qb::SealJpegOrPng(b);
}

// A square 24-bit BMP of about `size` bytes.
Bytes SizedBmp(std::size_t size, std::uint32_t seed) {
  std::uint32_t side = 1;
  while ((side + 1) * ((3 * (side + 1) + 3) & ~3u) + 54 <= size) ++side;
  const std::uint32_t row = (3 * side + 3) & ~3u;
  Bytes b(54, 0);
  b[0] = 'B';
  b[1] = 'M';
  qb::PutLe32(b, 2, 54 + row * side);
  qb::PutLe32(b, 10, 54);
  qb::PutLe32(b, 14, 40);
  qb::PutLe32(b, 18, side);
  qb::PutLe32(b, 22, side);
  qb::PutLe16(b, 26, 1);
  qb::PutLe16(b, 28, 24);
  qb::PutLe32(b, 34, row * side);
  qb::Append(b, qb::Filler(row * side, seed));
  return qb::SealBmp(b);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make-snapshots DIR COUNT [BYTES [PER_FOLDER]]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long count = std::atol(argv[2]);
  const std::size_t bytes = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 20000;
  const long per_folder = argc > 4 ? std::atol(argv[4]) : 1000;
  ::mkdir(dir.c_str(), 0755);
  // The three kinds, made once; every file differs only by its folder and name.
  const Bytes kinds[3] = {PaddedJpeg(bytes, 1), PaddedPng(bytes, 2), SizedBmp(bytes, 3)};
  const char* extensions[3] = {"jpg", "png", "bmp"};
  for (long i = 0; i < count; ++i) {
    char folder[32];
    std::snprintf(folder, sizeof folder, "/cam%03ld", i / per_folder);
    if (i % per_folder == 0) ::mkdir((dir + folder).c_str(), 0755);
    char name[48];
    std::snprintf(name, sizeof name, "/snap%06ld.%s", i, extensions[i % 3]);
    const Bytes& b = kinds[i % 3];
    std::FILE* f = std::fopen((dir + folder + name).c_str(), "wb");
    if (f == nullptr || std::fwrite(b.data(), 1, b.size(), f) != b.size() || std::fclose(f) != 0) {
      std::perror(name);
      return 1;
    }
  }
  return 0;
}
