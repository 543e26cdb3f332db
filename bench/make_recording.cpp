// Writes a large recording for the whole-check benchmark, chunk by chunk, so
// that it is never whole in memory:
//   make-recording FILE            about 1 GiB: 30,000 H.264-like frames with
//                                  audio between them, 3 of them damaged
//   make-recording --sparse FILE   over 4 GiB, mostly a hole: one unchecked
//                                  video chunk carries the walk past 4 GiB
//   make-recording --failed N FILE N small frames, every one damaged
//   make-recording --empty N FILE  N empty video chunks
// The seals are computed with zlib, independently of the checker.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "file_builders.h"

namespace {

using quorvex::build::Bytes;

constexpr std::uint64_t kTargetBytes = std::uint64_t{1} << 30;
constexpr int kFrames = 30'000;
constexpr int kGopFrames = 30;
constexpr int kAudioEvery = 3;
constexpr std::uint32_t kAudioBytes = 1024;
constexpr int kDamagedFrames[] = {1'234, 15'000, 29'999};

struct IndexEntry {
  char id[4];
  std::uint32_t offset;  // from the "movi" tag, as in an AVI index
  std::uint32_t size;
  bool key;
};

class Writer {
 public:
  explicit Writer(std::FILE* f) : f_(f) {}
  void Put(const void* data, std::size_t size) {
    if (std::fwrite(data, 1, size, f_) != size) ok_ = false;
    pos_ += size;
  }
  void Put(const Bytes& b) { Put(b.data(), b.size()); }
  void PutLe32(std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 24)};
    Put(b, 4);
  }
  void PatchLe32(std::uint64_t at, std::uint32_t v) {
    std::fflush(f_);
    if (std::fseek(f_, static_cast<long>(at), SEEK_SET) != 0) ok_ = false;
    const std::uint64_t keep = pos_;
    PutLe32(v);
    pos_ = keep;
    if (std::fseek(f_, 0, SEEK_END) != 0) ok_ = false;
  }
  std::uint64_t pos() const { return pos_; }
  bool ok() const { return ok_; }

 private:
  std::FILE* f_;
  std::uint64_t pos_ = 0;
  bool ok_ = true;
};

// The header up to the movie data, from the recorder's layout.
Bytes Header() { return quorvex::build::RecordingBuilder("V264").NoIndex().Build(); }

void FillPayload(std::vector<std::uint8_t>& payload, std::uint32_t seed, bool key) {
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i + 4 <= payload.size(); i += 4) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    std::memcpy(&payload[i], &x, 4);
  }
  const std::uint8_t lead[6] = {0x00,
                                0x00,
                                0x00,
                                0x01,
                                key ? std::uint8_t{0x67} : std::uint8_t{0x41},
                                key ? std::uint8_t{0x64} : std::uint8_t{0x9A}};
  std::memcpy(payload.data(), lead, sizeof lead);
}

void PutFrame(Writer& w, const std::vector<std::uint8_t>& payload, bool damaged) {
  std::uint8_t seal[20] = {'V', 'A', 'L', 'K', '2'};
  std::uint32_t crc =
      static_cast<std::uint32_t>(crc32(0, payload.data(), static_cast<uInt>(payload.size())));
  if (damaged) crc ^= 0x00010000u;
  for (int i = 0; i < 4; ++i) seal[16 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  w.Put("00dc", 4);
  w.PutLe32(static_cast<std::uint32_t>(payload.size() + 20));
  w.Put(seal, sizeof seal);
  w.Put(payload.data(), payload.size());
  if ((payload.size() + 20) % 2 == 1) w.Put("", 1);
}

bool IsDamaged(int frame) {
  for (int d : kDamagedFrames) {
    if (d == frame) return true;
  }
  return false;
}

bool WriteRecording(std::FILE* f) {
  Writer w(f);
  const Bytes header = Header();
  const std::uint64_t movie_start = header.size();
  w.Put(header);

  const std::uint64_t audio_total = (kFrames / kAudioEvery) * std::uint64_t{kAudioBytes + 8};
  const std::uint64_t index_total = 8 + 16 * std::uint64_t{kFrames + kFrames / kAudioEvery};
  const std::uint64_t video_total = kTargetBytes - movie_start - audio_total - index_total;
  // Key frames four times the size of the others, each within +-25 %.
  const std::uint64_t units = kFrames + 3 * (kFrames / kGopFrames);
  const std::uint64_t unit = video_total / units;

  std::vector<IndexEntry> index;
  std::vector<std::uint8_t> payload;
  std::vector<std::uint8_t> audio(kAudioBytes, 0x55);
  std::uint64_t video_written = 0;
  for (int i = 0; i < kFrames; ++i) {
    const bool key = i % kGopFrames == 0;
    std::uint64_t chunk = (key ? 4 : 1) * unit;
    chunk = chunk * (75 + (i * 37) % 51) / 100;
    if (i == kFrames - 1) {
      if (video_written + 2 * unit > video_total) return false;
      chunk = video_total - video_written;
    }
    chunk &= ~std::uint64_t{1};
    const std::uint64_t at = w.pos();
    payload.resize(chunk - 28);
    FillPayload(payload, static_cast<std::uint32_t>(i), key);
    PutFrame(w, payload, IsDamaged(i + 1));
    video_written += w.pos() - at;
    index.push_back({{'0', '0', 'd', 'c'},
                     static_cast<std::uint32_t>(at - movie_start + 4),
                     static_cast<std::uint32_t>(chunk - 8),
                     key});
    if (i % kAudioEvery == kAudioEvery - 1) {
      const std::uint64_t audio_at = w.pos();
      w.Put("01wb", 4);
      w.PutLe32(kAudioBytes);
      w.Put(audio.data(), audio.size());
      index.push_back({{'0', '1', 'w', 'b'},
                       static_cast<std::uint32_t>(audio_at - movie_start + 4),
                       kAudioBytes,
                       true});
    }
  }
  w.Put("idx1", 4);
  w.PutLe32(static_cast<std::uint32_t>(16 * index.size()));
  for (const IndexEntry& e : index) {
    w.Put(e.id, 4);
    w.PutLe32(e.key ? 0x10u : 0u);
    w.PutLe32(e.offset);
    w.PutLe32(e.size);
  }
  const std::uint64_t end = w.pos();
  w.PatchLe32(4, static_cast<std::uint32_t>(end - 8));
  w.PatchLe32(movie_start - 8, static_cast<std::uint32_t>(end - index_total - movie_start + 4));
  return w.ok();
}

// Over 4 GiB, written sparsely: a video chunk of almost 4 GiB whose payload
// is a hole of zeros (no frame start, so it is stepped over), then a few
// frames, one damaged, and the index.
bool WriteSparse(std::FILE* f) {
  Writer w(f);
  const Bytes header = Header();
  w.Put(header);
  // The largest even data size: the chunk behind it starts past 4 GiB.
  const std::uint32_t big = 0xFFFFFFFEu;
  w.Put("00dc", 4);
  w.PutLe32(big);
  const std::uint8_t seal[20] = {'V', 'A', 'L', 'K', '2'};
  w.Put(seal, sizeof seal);
  const std::uint64_t next = header.size() + 8 + big;
  std::fflush(f);
  if (fseeko(f, static_cast<off_t>(next), SEEK_SET) != 0) return false;
  Writer tail(f);
  std::vector<std::uint8_t> payload(40'000);
  for (int i = 0; i < 8; ++i) {
    FillPayload(payload, static_cast<std::uint32_t>(i), i % 4 == 0);
    PutFrame(tail, payload, i == 5);
  }
  tail.Put("idx1", 4);
  tail.PutLe32(0);
  return w.ok() && tail.ok();
}

// `frames` small frames, each with a wrong seal, and an empty index: a
// report as long as a recording can make per byte.
bool WriteFailed(std::FILE* f, std::uint64_t frames) {
  Writer w(f);
  const Bytes header = Header();
  const std::uint64_t movie_start = header.size();
  w.Put(header);
  std::vector<std::uint8_t> payload(32);
  for (std::uint64_t i = 0; i < frames; ++i) {
    FillPayload(payload, static_cast<std::uint32_t>(i), i % kGopFrames == 0);
    PutFrame(w, payload, true);
  }
  w.Put("idx1", 4);
  w.PutLe32(0);
  const std::uint64_t end = w.pos();
  if (end > 0xFFFFFFFFu) return false;
  w.PatchLe32(4, static_cast<std::uint32_t>(end - 8));
  w.PatchLe32(movie_start - 8, static_cast<std::uint32_t>(end - 8 - movie_start + 4));
  return w.ok();
}

// `count` empty video chunks (8 bytes each).
bool WriteEmpty(std::FILE* f, std::uint64_t count) {
  Writer w(f);
  w.Put(Header());
  for (std::uint64_t i = 0; i < count; ++i) w.Put("00dc\0\0\0\0", 8);
  return w.ok();
}

}  // namespace

int main(int argc, char** argv) {
  const bool sparse = argc == 3 && std::strcmp(argv[1], "--sparse") == 0;
  const bool failed = argc == 4 && std::strcmp(argv[1], "--failed") == 0;
  const bool empty = argc == 4 && std::strcmp(argv[1], "--empty") == 0;
  if (argc != 2 && !sparse && !failed && !empty) {
    std::fprintf(stderr, "usage: make-recording [--sparse | --failed N | --empty N] FILE\n");
    return 2;
  }
  const char* path = argv[argc - 1];
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) {
    std::perror(path);
    return 2;
  }
  // Large writes, as a copy from the recorder makes: the page cache then
  // holds the file in large pieces, which reads faster.
  std::vector<char> buffer(std::size_t{4} << 20);
  std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
  const std::uint64_t count = failed || empty ? std::strtoull(argv[2], nullptr, 10) : 0;
  const bool ok = failed   ? WriteFailed(f, count)
                  : empty  ? WriteEmpty(f, count)
                  : sparse ? WriteSparse(f)
                           : WriteRecording(f);
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "make-recording: cannot write %s\n", path);
    return 2;
  }
  return 0;
}
