#ifndef QUORVEX_SAMPLES_FILE_BUILDERS_H
#define QUORVEX_SAMPLES_FILE_BUILDERS_H

// Small builders of the files the recorder writes, so that a test or the
// sample generator reads like the file it makes. Independent of the engine:
// they carry their own bitwise CRC-32.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex::build {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t ReferenceCrc32(const std::uint8_t* data, std::size_t size);
inline std::uint32_t ReferenceCrc32(const Bytes& b) { return ReferenceCrc32(b.data(), b.size()); }

Bytes FromText(std::string_view text);
void PutLe16(Bytes& b, std::size_t at, std::uint16_t v);
void PutLe32(Bytes& b, std::size_t at, std::uint32_t v);
void PutBe32(Bytes& b, std::size_t at, std::uint32_t v);
void AppendLe32(Bytes& b, std::uint32_t v);
void AppendBe32(Bytes& b, std::uint32_t v);
void Append(Bytes& b, const Bytes& more);
void Append(Bytes& b, std::string_view text);

// Valid little images: an 8x8 grey baseline JPEG, a 4x4 RGB PNG, a 4x4
// 24-bit BMP.
Bytes TinyJpeg();
Bytes TinyPng();
Bytes TinyBmp();

// The recorder's seal behind an image: the big-endian CRC-32 of everything in
// front of it; a BMP first gets the 8-byte marker.
Bytes SealJpegOrPng(Bytes image);
Bytes SealBmp(Bytes image);

// Payloads that start as a frame of each video format, followed by `size`
// bytes in all (at least the lead), filled from `seed`.
Bytes H264Frame(std::size_t size, std::uint32_t seed, bool key_frame);
Bytes Mpg4Frame(std::size_t size, std::uint32_t seed);
Bytes MjpgFrame(std::size_t size, std::uint32_t seed);
Bytes Filler(std::size_t size, std::uint32_t seed);

struct FrameOptions {
  bool damaged = false;        // store a checksum that does not match
  std::uint8_t version = '2';  // FrameSeal version byte ('1' is refused)
};

// A recording: the header at the recorder's fixed positions, then the movie
// data as a list of chunks, then an index chunk (unless left out).
class RecordingBuilder {
 public:
  explicit RecordingBuilder(std::string_view handler = "V264");

  RecordingBuilder& AudioCode(std::uint8_t code);
  RecordingBuilder& Rate(std::uint32_t rate);
  // The time scale the rate is divided by (1 unless set).
  RecordingBuilder& Scale(std::uint32_t scale);
  // Size of the header list; the movie data starts 32 bytes behind it.
  RecordingBuilder& HeaderListSize(std::uint16_t size);
  // A video chunk "00dc" with a FrameSeal for `payload`.
  RecordingBuilder& Frame(const Bytes& payload, FrameOptions options = {});
  // An audio chunk "01wb" of `size` bytes.
  RecordingBuilder& Audio(std::size_t size);
  // Any chunk, id and data as given (data size from the data).
  RecordingBuilder& Chunk(std::string_view id, const Bytes& data);
  // Bytes placed as they are in the movie data.
  RecordingBuilder& Raw(const Bytes& bytes);
  RecordingBuilder& NoIndex();

  // Position of the movie data in the built file.
  std::size_t MovieStart() const;
  // Position that the next chunk added will have.
  std::size_t NextOffset() const;
  Bytes Build() const;

 private:
  std::string handler_;
  std::uint8_t audio_code_ = 7;
  std::uint32_t rate_ = 25;
  std::uint32_t scale_ = 1;
  std::uint16_t header_list_size_ = 4508;
  bool index_ = true;
  Bytes movie_;
};

// A RIFF WAVE file of a short tone.
Bytes TinyWave();

}  // namespace quorvex::build

#endif
