// The console program's report of where a recording fails and what its seals
// cover, and --sha256: known digests, also for a sparse file over 4 GiB.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "file_builders.h"
#include "report.h"
#include "sha256.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
namespace qb = quorvex::build;
using nlohmann::json;
using qb::Bytes;
using quorvex::CheckSummary;
using quorvex::FailedFrame;
using quorvex::FrameRate;
using quorvex::report::FileResult;

struct DigestCase {
  const char* name;
  std::string data;
  std::size_t piece;  // given to Update this many bytes at a time
  const char* digest;
};

void PrintTo(const DigestCase& c, std::ostream* os) { *os << c.name; }

class Sha256Test : public ::testing::TestWithParam<DigestCase> {};

TEST_P(Sha256Test, GivesTheKnownDigest) {
  const DigestCase& c = GetParam();
  quorvex::report::Sha256 hash;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.data.data());
  for (std::size_t at = 0; at < c.data.size(); at += c.piece) {
    hash.Update(bytes + at, std::min(c.piece, c.data.size() - at));
  }
  EXPECT_EQ(hash.HexDigest(), c.digest);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, Sha256Test,
    ::testing::Values(
        DigestCase{"Empty", "", 1,
                   "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        DigestCase{"Abc", "abc", 3,
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        DigestCase{"TwoBlocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 7,
                   "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        DigestCase{"MillionAsInOddPieces", std::string(1000000, 'a'), 4099,
                   "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}),
    [](const auto& info) { return std::string(info.param.name); });

using quorvex::testing::ProgramRun;

ProgramRun Check(const std::string& args, const std::string& err_to = "/dev/null") {
  return quorvex::testing::CheckInSamples(args, err_to);
}

struct SampleDigest {
  const char* file;
  const char* sha256;
};

void PrintTo(const SampleDigest& c, std::ostream* os) { *os << c.file; }

class SampleSha256Test : public ::testing::TestWithParam<SampleDigest> {};

// The digests as sha256sum gives them for the bundled samples.
TEST_P(SampleSha256Test, JsonAndTextCarryTheDigest) {
  const SampleDigest& c = GetParam();
  const json o = json::parse(Check(std::string("--json --sha256 ") + c.file).out)[0];
  EXPECT_EQ(o["sha256"], c.sha256);
  const std::string text = Check(std::string("--sha256 ") + c.file).out;
  EXPECT_NE(text.find(std::string("\n  sha256 ") + c.sha256 + "\n"), std::string::npos) << text;
  EXPECT_FALSE(json::parse(Check(std::string("--json ") + c.file).out)[0].contains("sha256"));
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleSha256Test,
    ::testing::Values(
        SampleDigest{"snapshot-intact.jpg",
                     "5f99c8a4b92b85d7f86c9e8c5b97dfdd47e7dd87c1f91660533c172e215d40a8"},
        SampleDigest{"snapshot-unsealed.bmp",
                     "b928076cf73ca7430376809317aa1b2ad1b4c5b5754b50d794b532b83d165ca2"},
        SampleDigest{"recording-h264-damaged.avi",
                     "f9567c9fddd4543a990768759d35a449e4c2ec7933fcf71f776723594700bb31"},
        SampleDigest{"recording-mjpg-audio.avi",
                     "af1077dd21861528923d861c6a8f46ff64d6c5d480f7473622c85174c025b9e9"},
        SampleDigest{"sound.wav",
                     "2c03c167117dac2484fb475e6b0b6add7d98510bbbbb833730d3a1a643ee7da6"},
        SampleDigest{"CMakeLists.txt",
                     "1f42dfb50eb9a61aa01839aaeeb629f937757986e9100df4d642bf0de0adbc4b"}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.file; *p != '\0'; ++p) {
        if (std::isalnum(static_cast<unsigned char>(*p))) name.push_back(*p);
      }
      return name;
    });

TEST(SampleSha256, NoneForAFileThatCannotBeOpened) {
  const json o = json::parse(Check("--json --sha256 no-such-file").out)[0];
  EXPECT_TRUE(o["sha256"].is_null());
  EXPECT_EQ(Check("--sha256 no-such-file").out, "no-such-file: Can't open the file.\n");
}

TEST(SampleReport, DamagedRecordingSaysWhereAndHowMuchIsSealed) {
  const ProgramRun run = Check("--detail recording-h264-damaged.avi");
  EXPECT_EQ(run.out,
            "recording-h264-damaged.avi: There are 2 errors in the video file.\n"
            "  video h264, audio G711, 2 failed frames of 48 checked; seals cover 89.4% of the "
            "file\n"
            "  frame 7 at 00:00:00.240, chunk at 18436\n"
            "  frame 30 at 00:00:01.160, chunk at 73814\n");
  const json o = json::parse(Check("--json recording-h264-damaged.avi").out)[0];
  EXPECT_EQ(o["frame_rate"], 25);
  EXPECT_EQ(o["video_chunks"], 48);
  EXPECT_EQ(o["unchecked_video_chunks"], 0);
  EXPECT_EQ(o["read_error"], nullptr);
  EXPECT_EQ(o["failed_frames"][0]["chunk"], 6);
  EXPECT_DOUBLE_EQ(o["failed_frames"][0]["time"].get<double>(), 0.24);
  EXPECT_DOUBLE_EQ(o["coverage"].get<double>(),
                   o["sealed_bytes"].get<double>() / o["size"].get<double>());
}

// A recording's result with the given failed frames (number, chunk index).
FileResult Result(std::optional<FrameRate> rate,
                  std::vector<std::pair<std::int64_t, std::uint64_t>> frames,
                  std::uint64_t sealed = 0, std::uint64_t size = 10000) {
  FileResult r;
  r.path = "cam.avi";
  CheckSummary& s = r.summary;
  s.verdict = "There are 2 errors in the video file.\n";
  s.video_format = "h264";
  s.audio_format = "G711";
  s.frame_rate = rate;
  s.size = size;
  s.sealed_bytes = sealed;
  for (const auto& [frame, chunk] : frames) {
    s.failed_frames.push_back(FailedFrame{frame, 1000 + 100 * chunk, chunk, {}});
  }
  s.frames_failed = static_cast<std::int64_t>(frames.size());
  s.frames_checked = 200;
  return r;
}

std::string DetailLines(const FileResult& r) {
  const std::string text = quorvex::report::TextReport(r, true);
  const std::size_t second = text.find('\n', text.find('\n') + 1);
  return text.substr(second + 1);
}

struct RunsCase {
  const char* name;
  FileResult result;
  const char* lines;
};

void PrintTo(const RunsCase& c, std::ostream* os) { *os << c.name; }

class DetailRunsTest : public ::testing::TestWithParam<RunsCase> {};

TEST_P(DetailRunsTest, ListsConsecutiveFramesAsOneLine) {
  EXPECT_EQ(DetailLines(GetParam().result), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, DetailRunsTest,
    ::testing::Values(
        // Frames 3 and 4 lie in consecutive chunks; an unchecked chunk lies
        // between 4 and 5, so 5 stands alone, as does 9.
        RunsCase{"RunsAndSingles",
                 Result(FrameRate{25, 1}, {{3, 4}, {4, 5}, {5, 7}, {9, 12}, {11, 14}, {12, 15}}),
                 "  frames 3-4 at 00:00:00.160-00:00:00.200, chunks at 1400-1500\n"
                 "  frame 5 at 00:00:00.280, chunk at 1700\n"
                 "  frame 9 at 00:00:00.480, chunk at 2200\n"
                 "  frames 11-12 at 00:00:00.560-00:00:00.600, chunks at 2400-2500\n"},
        // Consecutive frame numbers eight minutes of unchecked chunks apart.
        RunsCase{"FarApartInTime", Result(FrameRate{25, 1}, {{1, 13625}, {2, 25922}}),
                 "  frame 1 at 00:09:05.000, chunk at 1363500\n"
                 "  frame 2 at 00:17:16.880, chunk at 2593200\n"},
        RunsCase{"WithoutFrameRate", Result(std::nullopt, {{3, 4}, {4, 5}, {9, 12}}),
                 "  frames 3-4, chunks at 1400-1500\n"
                 "  frame 9, chunk at 2200\n"},
        // 30 frames a second: a third of a second is 333 ms, rounded down.
        RunsCase{"ThirdsOfASecond", Result(FrameRate{30, 1}, {{1, 10}, {2, 11}}),
                 "  frames 1-2 at 00:00:00.333-00:00:00.366, chunks at 2000-2100\n"},
        RunsCase{"TwelveAndAHalfPerSecond", Result(FrameRate{25, 2}, {{11, 10}}),
                 "  frame 11 at 00:00:00.800, chunk at 2000\n"},
        RunsCase{"SevenAndAHalfPerSecond", Result(FrameRate{15, 2}, {{11, 10}}),
                 "  frame 11 at 00:00:01.333, chunk at 2000\n"},
        // 30000/1001: chunk 30000 is shown at 1001 s exactly.
        RunsCase{"NtscRate", Result(FrameRate{30000, 1001}, {{1, 3}, {2, 30000}}),
                 "  frame 1 at 00:00:00.100, chunk at 1300\n"
                 "  frame 2 at 00:16:41.000, chunk at 3001000\n"},
        RunsCase{"HoursAway", Result(FrameRate{1, 1}, {{1, 3723}}),
                 "  frame 1 at 01:02:03.000, chunk at 373300\n"},
        RunsCase{"None", Result(FrameRate{25, 1}, {}), ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct CoverageCase {
  std::uint64_t sealed;
  std::uint64_t size;
  const char* text;
};

void PrintTo(const CoverageCase& c, std::ostream* os) { *os << c.sealed << "/" << c.size; }

class CoverageLineTest : public ::testing::TestWithParam<CoverageCase> {};

TEST_P(CoverageLineTest, RoundsDown) {
  const std::string text = quorvex::report::TextReport(
      Result(FrameRate{25, 1}, {}, GetParam().sealed, GetParam().size), false);
  EXPECT_TRUE(text.ends_with(std::string("; seals cover ") + GetParam().text + " of the file\n"))
      << text;
}

INSTANTIATE_TEST_SUITE_P(
    Values, CoverageLineTest,
    ::testing::Values(CoverageCase{10000, 10000, "100.0%"}, CoverageCase{9999, 10000, "99.9%"},
                      CoverageCase{9990, 10000, "99.9%"}, CoverageCase{9989, 10000, "99.8%"},
                      CoverageCase{0, 10000, "0.0%"}, CoverageCase{1, 10000, "0.0%"},
                      CoverageCase{4294967295u, 8589934592u, "49.9%"}));

// Sparse: a header, one unchecked video chunk of almost 4 GiB (a hole), then
// a frame behind the 4 GiB mark and the index.
TEST(LargeFileSha256, DigestOfASparseFileOverFourGibIsKnown) {
  const fs::path path =
      fs::temp_directory_path() / ("quorvex-sha-" + std::to_string(getpid()) + ".avi");
  qb::RecordingBuilder head("V264");
  head.NoIndex();
  Bytes big = qb::FromText("00dc");
  qb::AppendLe32(big, 0xFFFFFFF0u);
  big.resize(big.size() + 20, 0);
  big[12] = '2';
  head.Raw(big);
  const Bytes head_bytes = head.Build();
  const std::uint64_t tail_at = head_bytes.size() - 20 + 0xFFFFFFF0u;
  qb::RecordingBuilder tail("V264");
  tail.Frame(qb::H264Frame(7000, 5, true));
  const Bytes tail_file = tail.Build();
  const Bytes tail_bytes(tail_file.begin() + static_cast<std::ptrdiff_t>(tail.MovieStart()),
                         tail_file.end());
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head_bytes.data()),
              static_cast<std::streamsize>(head_bytes.size()));
    out.seekp(static_cast<std::streamoff>(tail_at));
    out.write(reinterpret_cast<const char*>(tail_bytes.data()),
              static_cast<std::streamsize>(tail_bytes.size()));
    ASSERT_TRUE(out.good());
  }
  ASSERT_GT(fs::file_size(path), std::uint64_t{1} << 32);

  const json o = json::parse(Check("--json --sha256 '" + path.string() + "'").out)[0];
  EXPECT_EQ(o["frames_checked"], 1);
  EXPECT_EQ(o["status"], "intact");
  EXPECT_EQ(o["unchecked_video_chunks"], 1);
  EXPECT_EQ(o["sealed_bytes"], 7000);

  fs::remove(path);
  // As sha256sum gives it for this file.
  EXPECT_EQ(o["sha256"], "5c2d52c1ee8b27dc00135a92ff5126144fc5ccb95e0dbae1e47021ebb315ac39");
}

}  // namespace
