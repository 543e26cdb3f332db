#include "file_builders.h"

#include <algorithm>

namespace quorvex::build {

std::uint32_t ReferenceCrc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    c ^= data[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

Bytes FromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

void PutLe16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLe32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutBe32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

void AppendLe32(Bytes& b, std::uint32_t v) {
  b.resize(b.size() + 4);
  PutLe32(b, b.size() - 4, v);
}

void AppendBe32(Bytes& b, std::uint32_t v) {
  b.resize(b.size() + 4);
  PutBe32(b, b.size() - 4, v);
}

void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
void Append(Bytes& b, std::string_view text) { b.insert(b.end(), text.begin(), text.end()); }

Bytes TinyJpeg() {
  // Baseline, one 8x8 grey block: DC difference 0 and end of block, each a
  // one-bit Huffman code.
  Bytes b = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
             0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
  Append(b, Bytes{0xFF, 0xDB, 0x00, 0x43, 0x00});
  b.insert(b.end(), 64, 0x01);
  Append(b, Bytes{0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00});
  for (std::uint8_t table_class : {0x00, 0x10}) {
    Append(b, Bytes{0xFF, 0xC4, 0x00, 0x14, table_class, 0x01});
    b.insert(b.end(), 15, 0x00);
    b.push_back(0x00);
  }
  Append(b, Bytes{0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  Append(b, Bytes{0x3F, 0xFF, 0xD9});
  return b;
}

namespace {

void AppendPngChunk(Bytes& b, std::string_view type, const Bytes& data) {
  AppendBe32(b, static_cast<std::uint32_t>(data.size()));
  Bytes typed = FromText(type);
  Append(typed, data);
  Append(b, typed);
  AppendBe32(b, ReferenceCrc32(typed));
}

std::uint32_t Adler32(const Bytes& data) {
  std::uint32_t a = 1, s = 0;
  for (std::uint8_t byte : data) {
    a = (a + byte) % 65521;
    s = (s + a) % 65521;
  }
  return (s << 16) | a;
}

}  // namespace

Bytes TinyPng() {
  constexpr std::uint32_t kSide = 4;
  Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  AppendBe32(ihdr, kSide);
  AppendBe32(ihdr, kSide);
  Append(ihdr, Bytes{8, 2, 0, 0, 0});
  AppendPngChunk(b, "IHDR", ihdr);
  Bytes raw;
  for (std::uint32_t y = 0; y < kSide; ++y) {
    raw.push_back(0);  // no filter
    for (std::uint32_t x = 0; x < kSide; ++x) {
      Append(raw, Bytes{static_cast<std::uint8_t>(60 * x), static_cast<std::uint8_t>(60 * y), 160});
    }
  }
  // zlib stream of one stored block.
  Bytes z = {0x78, 0x01, 0x01};
  const auto len = static_cast<std::uint16_t>(raw.size());
  Append(z, Bytes{static_cast<std::uint8_t>(len), static_cast<std::uint8_t>(len >> 8),
                  static_cast<std::uint8_t>(~len), static_cast<std::uint8_t>(~len >> 8)});
  Append(z, raw);
  AppendBe32(z, Adler32(raw));
  AppendPngChunk(b, "IDAT", z);
  AppendPngChunk(b, "IEND", {});
  return b;
}

Bytes TinyBmp() {
  constexpr std::uint32_t kSide = 4, kRow = kSide * 3, kPixels = kRow * kSide;
  Bytes b(54, 0);
  b[0] = 'B';
  b[1] = 'M';
  PutLe32(b, 2, 54 + kPixels);
  PutLe32(b, 10, 54);
  PutLe32(b, 14, 40);
  PutLe32(b, 18, kSide);
  PutLe32(b, 22, kSide);
  PutLe16(b, 26, 1);
  PutLe16(b, 28, 24);
  PutLe32(b, 34, kPixels);
  PutLe32(b, 38, 2835);
  PutLe32(b, 42, 2835);
  for (std::uint32_t y = 0; y < kSide; ++y) {
    for (std::uint32_t x = 0; x < kSide; ++x) {
      Append(b, Bytes{200, static_cast<std::uint8_t>(50 * x), static_cast<std::uint8_t>(50 * y)});
    }
  }
  return b;
}

Bytes SealJpegOrPng(Bytes image) {
  AppendBe32(image, ReferenceCrc32(image));
  return image;
}

Bytes SealBmp(Bytes image) {
  Append(image, std::string_view("VALKERON"));
  AppendBe32(image, ReferenceCrc32(image));
  return image;
}

Bytes Filler(std::size_t size, std::uint32_t seed) {
  Bytes b(size);
  std::uint32_t x = seed * 2654435761u + 0x9E3779B9u;
  for (std::uint8_t& byte : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    byte = static_cast<std::uint8_t>(x >> 24);
  }
  return b;
}

namespace {

Bytes WithLead(Bytes lead, std::size_t size, std::uint32_t seed) {
  Bytes b = Filler(std::max(size, lead.size()), seed);
  std::copy(lead.begin(), lead.end(), b.begin());
  return b;
}

}  // namespace

Bytes H264Frame(std::size_t size, std::uint32_t seed, bool key_frame) {
  return WithLead(key_frame ? Bytes{0x00, 0x00, 0x00, 0x01, 0x67, 0x64}
                            : Bytes{0x00, 0x00, 0x00, 0x01, 0x41, 0x9A},
                  size, seed);
}

Bytes Mpg4Frame(std::size_t size, std::uint32_t seed) {
  return WithLead({0x00, 0x00, 0x01, 0xB6}, size, seed);
}

Bytes MjpgFrame(std::size_t size, std::uint32_t seed) {
  const Bytes jpeg = TinyJpeg();
  return WithLead(jpeg, size, seed);
}

RecordingBuilder::RecordingBuilder(std::string_view handler) : handler_(handler) {}

RecordingBuilder& RecordingBuilder::AudioCode(std::uint8_t code) {
  audio_code_ = code;
  return *this;
}

RecordingBuilder& RecordingBuilder::Rate(std::uint32_t rate) {
  rate_ = rate;
  return *this;
}

RecordingBuilder& RecordingBuilder::Scale(std::uint32_t scale) {
  scale_ = scale;
  return *this;
}

RecordingBuilder& RecordingBuilder::HeaderListSize(std::uint16_t size) {
  header_list_size_ = size;
  return *this;
}

RecordingBuilder& RecordingBuilder::Chunk(std::string_view id, const Bytes& data) {
  Append(movie_, id);
  AppendLe32(movie_, static_cast<std::uint32_t>(data.size()));
  Append(movie_, data);
  if (data.size() % 2 == 1) movie_.push_back(0);
  return *this;
}

RecordingBuilder& RecordingBuilder::Frame(const Bytes& payload, FrameOptions options) {
  Bytes data(20, 0);
  data[0] = 'V';
  data[1] = 'A';
  data[2] = 'L';
  data[3] = 'K';
  data[4] = options.version;
  std::uint32_t crc = ReferenceCrc32(payload);
  if (options.damaged) crc ^= 0x00010000u;
  PutBe32(data, 16, crc);
  Append(data, payload);
  return Chunk("00dc", data);
}

RecordingBuilder& RecordingBuilder::Audio(std::size_t size) {
  return Chunk("01wb", Filler(size, static_cast<std::uint32_t>(movie_.size())));
}

RecordingBuilder& RecordingBuilder::Raw(const Bytes& bytes) {
  Append(movie_, bytes);
  return *this;
}

RecordingBuilder& RecordingBuilder::NoIndex() {
  index_ = false;
  return *this;
}

std::size_t RecordingBuilder::MovieStart() const { return std::size_t{header_list_size_} + 32; }

std::size_t RecordingBuilder::NextOffset() const { return MovieStart() + movie_.size(); }

Bytes RecordingBuilder::Build() const {
  const std::size_t start = MovieStart();
  Bytes b(std::max<std::size_t>(start, 4421), 0);
  std::copy_n("RIFF", 4, b.begin());
  std::copy_n("AVI ", 4, b.begin() + 8);
  std::copy_n("LIST", 4, b.begin() + 12);
  PutLe32(b, 16, header_list_size_);
  std::copy_n("hdrl", 4, b.begin() + 20);
  std::copy_n("avih", 4, b.begin() + 24);
  PutLe32(b, 28, 56);
  std::copy_n("LIST", 4, b.begin() + 88);
  std::copy_n("strl", 4, b.begin() + 96);
  std::copy_n("strh", 4, b.begin() + 100);
  PutLe32(b, 104, 56);
  std::copy_n("vids", 4, b.begin() + 108);
  std::copy(handler_.begin(), handler_.begin() + std::min<std::size_t>(4, handler_.size()),
            b.begin() + 112);
  PutLe32(b, 128, scale_);
  PutLe32(b, 132, rate_);
  b[4420] = audio_code_;
  if (start >= 12 && start <= b.size()) {
    std::copy_n("LIST", 4, b.begin() + static_cast<std::ptrdiff_t>(start - 12));
    PutLe32(b, start - 8, static_cast<std::uint32_t>(4 + movie_.size()));
    std::copy_n("movi", 4, b.begin() + static_cast<std::ptrdiff_t>(start - 4));
  }
  // With a short header list the movie data lies over the header's fields.
  b.resize(std::max(b.size(), start + movie_.size()));
  std::copy(movie_.begin(), movie_.end(), b.begin() + static_cast<std::ptrdiff_t>(start));
  b.resize(std::max<std::size_t>(start + movie_.size(), 4421));
  if (index_) {
    Append(b, std::string_view("idx1"));
    AppendLe32(b, 0);
  }
  PutLe32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
  return b;
}

Bytes TinyWave() {
  constexpr std::uint32_t kRate = 8000, kSamples = 8000;
  Bytes b = FromText("RIFF");
  AppendLe32(b, 36 + kSamples);
  Append(b, std::string_view("WAVEfmt "));
  AppendLe32(b, 16);
  Append(b, Bytes{1, 0, 1, 0});
  AppendLe32(b, kRate);
  AppendLe32(b, kRate);
  Append(b, Bytes{1, 0, 8, 0});
  Append(b, std::string_view("data"));
  AppendLe32(b, kSamples);
  for (std::uint32_t i = 0; i < kSamples; ++i) {
    b.push_back(static_cast<std::uint8_t>((i / 10) % 2 ? 160 : 96));  // a 400 Hz square tone
  }
  return b;
}

}  // namespace quorvex::build
