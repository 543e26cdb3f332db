// The yardstick for the whole check: reads a file front to back in 1 MiB
// pieces and computes one CRC-32 over it with ISA-L. Prints the CRC.
#include <fcntl.h>
#include <isa-l/crc.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: isal-stream FILE\n");
    return 2;
  }
  const int fd = ::open(argv[1], O_RDONLY);
  if (fd < 0) {
    std::perror(argv[1]);
    return 2;
  }
  std::vector<unsigned char> buffer(std::size_t{1} << 20);
  std::uint32_t crc = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
      std::perror(argv[1]);
      return 2;
    }
    if (n == 0) break;
    crc = crc32_gzip_refl(crc, buffer.data(), static_cast<std::uint64_t>(n));
  }
  ::close(fd);
  std::printf("%08x  %s\n", crc, argv[1]);
  return 0;
}
