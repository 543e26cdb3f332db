#include <cstdio>

#include "e2e.h"

namespace e2e {
namespace {

// Bit-at-a-time CRC-32 (reflected 0xEDB88320), independent of the program's.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutLe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void AppendTag(std::vector<std::uint8_t>& out, const char* tag) {
  out.insert(out.end(), tag, tag + 4);
}

std::string BareName(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// An H.264 recording of five frames, an audio chunk after the first; frames
// 2, 3 and 5 carry a wrong checksum.
Sample DamagedRecording(const std::string& path, std::string& trace, std::string& errors) {
  constexpr std::uint16_t kHeaderListSize = 4500;  // the movie data starts 32 bytes later
  std::vector<std::uint8_t> file(kHeaderListSize + 20, 0);
  file[0] = 'R', file[1] = 'I', file[2] = 'F', file[3] = 'F';
  file[8] = 'A', file[9] = 'V', file[10] = 'I', file[11] = ' ';
  file[12] = 'L', file[13] = 'I', file[14] = 'S', file[15] = 'T';
  PutLe32(file, 16, kHeaderListSize);
  file[112] = 'V', file[113] = '2', file[114] = '6', file[115] = '4';
  PutLe32(file, 132, 25);  // frame rate
  file[4420] = 7;          // G711
  AppendTag(file, "LIST");
  AppendLe32(file, 0);
  AppendTag(file, "movi");

  trace = "read RIFF sucess\r\nreadBuf = 0x19-0x0-0x0-0x0\ntemp_frane_rate = 25\n";
  errors.clear();
  const bool damaged[] = {false, true, true, false, true};
  for (int frame = 1; frame <= 5; ++frame) {
    std::vector<std::uint8_t> payload = {0x00, 0x00, 0x00, 0x01, 0x67, 0x64};
    for (int i = 0; i < 40 + 13 * frame; ++i)
      payload.push_back(static_cast<std::uint8_t>(i * 7 + frame));
    std::uint32_t stored = Crc32(payload.data(), payload.size());
    if (damaged[frame - 1]) stored ^= 0x00010000u;
    const std::uint32_t size = 20 + static_cast<std::uint32_t>(payload.size());
    AppendTag(file, "00dc");
    AppendLe32(file, size);
    const std::uint8_t seal[20] = {'S',
                                   'E',
                                   'A',
                                   'L',
                                   '2',
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   static_cast<std::uint8_t>(stored >> 24),
                                   static_cast<std::uint8_t>(stored >> 16),
                                   static_cast<std::uint8_t>(stored >> 8),
                                   static_cast<std::uint8_t>(stored)};
    file.insert(file.end(), seal, seal + 20);
    file.insert(file.end(), payload.begin(), payload.end());
    if (size % 2 == 1) file.push_back(0);

    char line[96];
    std::snprintf(line, sizeof(line), "file_check_sum = 0x%x,video_len = %d\n", stored,
                  static_cast<int>(size));
    trace += line;
    if (damaged[frame - 1]) {
      std::snprintf(line, sizeof(line), "frame error(frame_num = %d)\n", frame);
      errors += line;
    } else {
      std::snprintf(line, sizeof(line), "frame num %d ok\n", frame);
      trace += line;
    }
    if (frame == 1) {
      AppendTag(file, "01wb");
      AppendLe32(file, 17);
      file.insert(file.end(), 18, 0x55);  // 17 bytes and the pad byte
    }
  }
  AppendTag(file, "idx1");
  AppendLe32(file, 16);
  file.insert(file.end(), 16, 0);
  PutLe32(file, 4, static_cast<std::uint32_t>(file.size() - 8));
  return {path, BareName(path), file};
}

// The smallest sealed JPEG: its end marker and the checksum of the four
// bytes before the trailer.
Sample IntactSnapshot(const std::string& path) {
  return {path, BareName(path), {0xFF, 0xD8, 0xFF, 0xD9, 0x10, 0xF0, 0x2A, 0x67}};
}

Sample UnknownKind(const std::string& path) {
  return {path, BareName(path), {'h', 'e', 'l', 'l', 'o'}};
}

}  // namespace e2e
