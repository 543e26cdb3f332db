// Writes the application icon: six square images of 16 to 256 pixels, each an
// uncompressed 32-bit bitmap with alpha and its AND mask.
//   make_icon OUTPUT.ico
// The drawing uses only arithmetic and square roots, so every build of this
// program writes the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSizes[] = {16, 32, 48, 64, 128, 256};
constexpr int kSamples = 4;  // per pixel and axis, for the soft edges

struct Rgba {
  double r, g, b, a;
};

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// Distance from p to the segment a-b.
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double t = Clamp01(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy));
  const double ex = px - (ax + t * dx), ey = py - (ay + t * dy);
  return std::sqrt(ex * ex + ey * ey);
}

// The picture in unit coordinates (0..1, y down): a rounded dark-blue tile,
// lighter toward the top, with a white check mark.
Rgba Sample(double x, double y) {
  const double margin = 0.04, radius = 0.2;
  const double cx = x < margin + radius       ? margin + radius
                    : x > 1 - margin - radius ? 1 - margin - radius
                                              : x;
  const double cy = y < margin + radius       ? margin + radius
                    : y > 1 - margin - radius ? 1 - margin - radius
                                              : y;
  const double corner = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
  if (corner > radius) return {0, 0, 0, 0};
  const bool rim = corner > radius - 0.05;
  Rgba c = {0.10 + 0.15 * (1 - y), 0.25 + 0.25 * (1 - y), 0.55 + 0.30 * (1 - y), 1};
  if (rim) c = {0.05, 0.12, 0.30, 1};
  const double stroke = 0.075;
  const double d = std::fmin(SegmentDistance(x, y, 0.24, 0.52, 0.43, 0.71),
                             SegmentDistance(x, y, 0.43, 0.71, 0.78, 0.30));
  if (d < stroke) c = {1, 1, 1, 1};
  return c;
}

void PutLe16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}

std::uint8_t ToByte(double v) { return static_cast<std::uint8_t>(Clamp01(v) * 255 + 0.5); }

// One image as the icon file stores it: the bitmap header (height doubled for
// the mask), the pixels bottom-up in BGRA with straight (not premultiplied) alpha, and
// the 1-bit AND mask, rows padded to 32 bits.
std::vector<std::uint8_t> RenderImage(int size) {
  std::vector<std::uint8_t> pixels;
  std::vector<std::uint8_t> mask;
  const int mask_row = ((size + 31) / 32) * 4;
  for (int row = size - 1; row >= 0; --row) {
    std::vector<std::uint8_t> mask_bits(mask_row, 0);
    for (int col = 0; col < size; ++col) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Rgba s =
              Sample((col + (sx + 0.5) / kSamples) / size, (row + (sy + 0.5) / kSamples) / size);
          r += s.r * s.a;
          g += s.g * s.a;
          b += s.b * s.a;
          a += s.a;
        }
      }
      const double n = kSamples * kSamples;
      const double alpha = a / n;
      if (a > 0) {
        r /= a;
        g /= a;
        b /= a;
      }
      pixels.push_back(ToByte(b));
      pixels.push_back(ToByte(g));
      pixels.push_back(ToByte(r));
      pixels.push_back(ToByte(alpha));
      if (ToByte(alpha) == 0) mask_bits[col / 8] |= static_cast<std::uint8_t>(0x80 >> (col % 8));
    }
    mask.insert(mask.end(), mask_bits.begin(), mask_bits.end());
  }
  std::vector<std::uint8_t> image;
  PutLe32(image, 40);        // biSize
  PutLe32(image, size);      // biWidth
  PutLe32(image, 2 * size);  // biHeight: colour and mask
  PutLe16(image, 1);         // biPlanes
  PutLe16(image, 32);        // biBitCount
  PutLe32(image, 0);         // biCompression: BI_RGB
  PutLe32(image, static_cast<std::uint32_t>(pixels.size() + mask.size()));
  PutLe32(image, 0);
  PutLe32(image, 0);
  PutLe32(image, 0);
  PutLe32(image, 0);
  image.insert(image.end(), pixels.begin(), pixels.end());
  image.insert(image.end(), mask.begin(), mask.end());
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
    return 2;
  }
  constexpr int kCount = sizeof(kSizes) / sizeof(kSizes[0]);
  std::vector<std::vector<std::uint8_t>> images;
  for (int size : kSizes) images.push_back(RenderImage(size));

  std::vector<std::uint8_t> file;
  PutLe16(file, 0);  // reserved
  PutLe16(file, 1);  // icon
  PutLe16(file, kCount);
  std::uint32_t offset = 6 + 16 * kCount;
  for (int i = 0; i < kCount; ++i) {
    const int size = kSizes[i];
    file.push_back(static_cast<std::uint8_t>(size == 256 ? 0 : size));  // 0 stands for 256
    file.push_back(static_cast<std::uint8_t>(size == 256 ? 0 : size));
    file.push_back(0);  // no palette
    file.push_back(0);
    PutLe16(file, 1);   // planes
    PutLe16(file, 32);  // bits per pixel
    PutLe32(file, static_cast<std::uint32_t>(images[i].size()));
    PutLe32(file, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());

  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "%s: write failed\n", argv[1]);
    return 1;
  }
  return 0;
}
