// Writes the bundled sample files into the folder given as the argument:
// one of each kind of verdict that a user meets.
#include <cstdio>
#include <string>

#include "file_builders.h"

namespace {

using quorvex::build::Bytes;
namespace qb = quorvex::build;

bool Write(const std::string& dir, const char* name, const Bytes& bytes) {
  const std::string path = dir + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "make-samples: cannot write %s\n", path.c_str());
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// An H.264 recording of 48 frames at 25 frames a second, a key frame every
// 12, with a G.711 audio chunk behind every second frame.
Bytes H264Recording(int damaged_a, int damaged_b) {
  qb::RecordingBuilder rec("V264");
  rec.AudioCode(7).Rate(25);
  for (int i = 1; i <= 48; ++i) {
    const bool key = i % 12 == 1;
    const std::size_t size = key ? 6001 : 1200 + 37 * static_cast<std::size_t>(i);
    qb::FrameOptions options;
    options.damaged = i == damaged_a || i == damaged_b;
    rec.Frame(qb::H264Frame(size, static_cast<std::uint32_t>(i), key), options);
    if (i % 2 == 0) rec.Audio(320);
  }
  return rec.Build();
}

Bytes MjpgRecording() {
  qb::RecordingBuilder rec("VJPG");
  rec.AudioCode(0x45).Rate(10);
  for (int i = 1; i <= 20; ++i) {
    rec.Frame(
        qb::MjpgFrame(2000 + 11 * static_cast<std::size_t>(i), static_cast<std::uint32_t>(i)));
    rec.Audio(400);
  }
  return rec.Build();
}

Bytes DamagedJpeg() {
  Bytes jpeg = qb::SealJpegOrPng(qb::TinyJpeg());
  jpeg[30] ^= 0x01;  // one quantisation value changed after sealing
  return jpeg;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-samples DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const bool ok = Write(dir, "snapshot-intact.jpg", qb::SealJpegOrPng(qb::TinyJpeg())) &&
                  Write(dir, "snapshot-damaged.jpg", DamagedJpeg()) &&
                  Write(dir, "snapshot-intact.png", qb::SealJpegOrPng(qb::TinyPng())) &&
                  Write(dir, "snapshot-intact.bmp", qb::SealBmp(qb::TinyBmp())) &&
                  Write(dir, "snapshot-unsealed.bmp", qb::TinyBmp()) &&
                  Write(dir, "recording-h264-intact.avi", H264Recording(0, 0)) &&
                  Write(dir, "recording-h264-damaged.avi", H264Recording(7, 30)) &&
                  Write(dir, "recording-mjpg-audio.avi", MjpgRecording()) &&
                  Write(dir, "sound.wav", qb::TinyWave());
  return ok ? 0 : 1;
}
