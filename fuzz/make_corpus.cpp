// Writes the seed corpus of each fuzz target into DIR/<target>/: the files the
// recorder writes, built by the sample builders, each behind the few bytes
// that choose the reading conditions. Files named on the command line after
// DIR (the bundled samples) are added as they are.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file_builders.h"

namespace {

namespace qb = quorvex::build;
using qb::Bytes;

// Window codes of the seeds: the smallest window, an odd one, and 1 MiB.
constexpr std::uint8_t kWindowCodes[] = {0x00, 0x07, 0xFF};

Bytes Params(std::uint8_t window_code) { return {window_code, 0, 0, 0}; }

bool Write(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

struct Recording {
  std::string name;
  qb::RecordingBuilder builder;
  std::uint8_t handler;  // 0 "V264", 1 "VPG4", 2 "VJPG", as the recording target reads it
};

std::vector<Recording> Recordings() {
  std::vector<Recording> r;
  auto add = [&r](std::string name, const qb::RecordingBuilder& b) {
    const std::uint8_t handler = name.rfind("mpg4", 0) == 0                          ? 1
                                 : name.rfind("mjpg", 0) == 0 || name == "truncated" ? 2
                                                                                     : 0;
    r.push_back({std::move(name), b, handler});
  };

  qb::RecordingBuilder h264("V264");
  for (int i = 1; i <= 8; ++i) {
    qb::FrameOptions o;
    o.damaged = i == 3 || i == 6;
    h264.Frame(qb::H264Frame(300 + 17 * static_cast<std::size_t>(i), i, i % 4 == 1), o);
    if (i % 2 == 0) h264.Audio(160);
  }
  add("h264-damaged", h264);

  qb::RecordingBuilder mpg4("VPG4");
  mpg4.AudioCode(1);
  for (int i = 1; i <= 6; ++i) mpg4.Frame(qb::Mpg4Frame(250 + static_cast<std::size_t>(i), i));
  mpg4.Frame(qb::Filler(40, 9));  // matches no pattern: takes no number
  mpg4.Frame(qb::Mpg4Frame(99, 10), {true, '2'});
  add("mpg4-odd-sizes", mpg4);

  qb::RecordingBuilder mjpg("VJPG");
  mjpg.AudioCode(0x45);
  for (int i = 1; i <= 4; ++i) {
    mjpg.Frame(qb::MjpgFrame(700, i));
    mjpg.Audio(321);
  }
  add("mjpg-audio", mjpg);

  qb::RecordingBuilder steps("V264");
  steps.Raw(qb::FromText("00")).Frame(qb::H264Frame(64, 1, true)).Raw(qb::FromText("0101"));
  steps.Frame(qb::H264Frame(64, 2, false)).Chunk("00db", qb::Filler(8, 3));
  add("two-byte-steps", steps);

  qb::RecordingBuilder version("V264");
  version.Frame(qb::H264Frame(80, 1, true), {true, '2'});
  version.Frame(qb::H264Frame(80, 2, false), {false, '1'});
  version.Frame(qb::H264Frame(80, 3, false));
  add("refused-version", version);

  qb::RecordingBuilder short_chunks("V264");
  short_chunks.Chunk("00dc", qb::Filler(7, 1)).Chunk("00dc", Bytes(19, 0));
  short_chunks.Frame(qb::H264Frame(6, 1, true)).Frame(qb::H264Frame(0, 2, false));
  add("short-video-chunks", short_chunks);

  qb::RecordingBuilder big_audio("V264");
  big_audio.Frame(qb::H264Frame(100, 1, true)).Audio(70000).Frame(qb::H264Frame(100, 2, true));
  add("audio-over-64k", big_audio);

  qb::RecordingBuilder truncated("VJPG");
  truncated.Frame(qb::MjpgFrame(500, 1)).Frame(qb::MjpgFrame(500, 2)).NoIndex();
  add("truncated", truncated);

  qb::RecordingBuilder audio_only("V264");
  audio_only.AudioCode(0xFF);
  for (int i = 0; i < 40; ++i) audio_only.Audio(64);
  add("audio-only", audio_only);

  qb::RecordingBuilder window_edge("V264");
  for (int i = 1; i <= 30; ++i) window_edge.Frame(qb::H264Frame(253, i, i == 1)).Audio(31);
  add("window-edges", window_edge);
  return r;
}

// A recording whose last frame claims more data than the file holds.
Bytes CutRecording(const qb::RecordingBuilder& b) {
  Bytes f = b.Build();
  f.resize(f.size() - 300);
  return f;
}

struct Snapshot {
  std::string name;
  std::uint8_t kind;  // 0 jpg, 1 png, 2 bmp, as the snapshot target reads it
  Bytes bytes;
};

std::vector<Snapshot> Snapshots() {
  Bytes damaged = qb::SealJpegOrPng(qb::TinyJpeg());
  damaged[30] ^= 1;
  Bytes bad_marker = qb::SealBmp(qb::TinyBmp());
  bad_marker[bad_marker.size() - 9] = 'k';
  return {
      {"jpg-sealed", 0, qb::SealJpegOrPng(qb::TinyJpeg())},
      {"jpg-damaged", 0, damaged},
      {"jpg-unsealed", 0, qb::TinyJpeg()},
      {"jpg-8-bytes", 0, {0xFF, 0xD8, 0xFF, 0xD9, 0x10, 0xF0, 0x2A, 0x67}},
      {"jpg-4-bytes", 0, {0xFF, 0xD8, 0x00, 0x00}},
      {"jpg-3-bytes", 0, {0xFF, 0xD8, 0xFF}},
      {"png-sealed", 1, qb::SealJpegOrPng(qb::TinyPng())},
      {"png-unsealed", 1, qb::TinyPng()},
      {"bmp-sealed", 2, qb::SealBmp(qb::TinyBmp())},
      {"bmp-unsealed", 2, qb::TinyBmp()},
      {"bmp-bad-marker", 2, bad_marker},
      {"bmp-only-seal", 2, qb::FromText("BM\x01VALKERON\x01\x02\x03\x04")},
  };
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make-fuzz-corpus DIR [FILE...]\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  for (const char* target : {"file_kind", "snapshot", "recording", "check_contents"}) {
    std::filesystem::create_directories(dir / target);
  }
  bool ok = true;
  auto seed = [&](const char* target, const std::string& name, const Bytes& prefix,
                  const Bytes& body) {
    Bytes b = prefix;
    b.insert(b.end(), body.begin(), body.end());
    ok = Write(dir / target / name, b) && ok;
  };

  std::vector<std::pair<std::string, Bytes>> files;
  for (const Recording& r : Recordings()) {
    files.push_back({r.name + ".avi", r.builder.Build()});
    const Bytes full = r.builder.Build();
    const Bytes movie(full.begin() + static_cast<std::ptrdiff_t>(r.builder.MovieStart()),
                      full.end());
    const Bytes head = {r.handler, 0x07};
    for (std::uint8_t w : kWindowCodes) {
      Bytes prefix = Params(w);
      prefix.insert(prefix.end(), head.begin(), head.end());
      seed("recording", r.name + "-w" + std::to_string(w), prefix, movie);
    }
  }
  files.push_back({"cut.avi", CutRecording(Recordings().front().builder)});
  files.push_back({"sound.wav", qb::TinyWave()});
  for (const Snapshot& s : Snapshots()) {
    files.push_back({s.name, s.bytes});
    Bytes prefix = Params(0);
    prefix.push_back(s.kind);
    seed("snapshot", s.name, prefix, s.bytes);
  }
  for (int i = 2; i < argc; ++i) {
    files.push_back({std::filesystem::path(argv[i]).filename().string(), ReadFile(argv[i])});
  }

  for (const auto& [name, bytes] : files) {
    for (std::uint8_t w : kWindowCodes) {
      seed("check_contents", name + "-w" + std::to_string(w), Params(w), bytes);
    }
    const Bytes head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(
                                                        std::min<std::size_t>(bytes.size(), 16)));
    seed("file_kind", name, Params(0), head);
  }
  for (const Bytes& tiny :
       {Bytes{}, Bytes{'R'}, qb::FromText("RIFF"), Bytes{0xFF, 0xD8}, Bytes{0x89, 'P', 'N', 'G'},
        qb::FromText("BM\x01"), Bytes{'B', 'M', 0}}) {
    seed("file_kind",
         "tiny-" + std::to_string(tiny.size()) + "-" + std::to_string(tiny.empty() ? 0 : tiny[0]),
         Params(0), tiny);
  }
  return ok ? 0 : 1;
}
