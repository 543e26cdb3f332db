#include "frame_seal_check.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace quorvex {
namespace {

using build::Bytes;
using build::RecordingBuilder;
using testing::Hex;

struct PatternCase {
  const char* name;
  const char* handler;
  std::string lead;
  bool checked;
};

void PrintTo(const PatternCase& c, std::ostream* os) { *os << c.name; }

class PayloadPatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PayloadPatternTest, DecidesWhetherFrameIsChecked) {
  const PatternCase& c = GetParam();
  Bytes payload = Hex(c.lead);
  build::Append(payload, Bytes(30, 0x55));
  const testing::CheckRun run =
      testing::RunCheck(RecordingBuilder(c.handler).Frame(payload, {true, '2'}).Build());
  EXPECT_EQ(run.summary.frames_checked, c.checked ? 1 : 0);
  EXPECT_EQ(run.errors.Text(), c.checked ? "frame error(frame_num = 1)\n" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, PayloadPatternTest,
    ::testing::Values(PatternCase{"MjpgStartAndApp0", "VJPG", "FFD8FFE0", true},
                      PatternCase{"MjpgApp1", "VJPG", "FFD8FFE1", false},
                      PatternCase{"Mpg4Vop", "VPG4", "000001B6", true},
                      PatternCase{"Mpg4VideoObject", "VPG4", "00000100", true},
                      PatternCase{"Mpg4VisualSequence", "VPG4", "000001B0", true},
                      PatternCase{"Mpg4SequenceHeaderB3", "VPG4", "000001B3", false},
                      PatternCase{"Mpg4ShiftedByOne", "VPG4", "01000001B6", false},
                      PatternCase{"H264FourByteStartSps", "V264", "00000001 6764", true},
                      PatternCase{"H264ThreeByteStartSps", "V264", "000001 6764", false},
                      PatternCase{"H264AnyFirstByte", "V264", "FF000001 2742", true},
                      PatternCase{"H264IdrAndB8", "V264", "00000001 65B8", true},
                      PatternCase{"H264SeiWrongNextByte", "V264", "00000001 6799", false},
                      PatternCase{"H264SliceFreeStart", "V264", "FFFFFF01 41", true},
                      PatternCase{"H264Slice21E1", "V264", "12345601 21E1", true},
                      PatternCase{"H264Slice21Wrong", "V264", "12345601 2100", false},
                      PatternCase{"H264Slice81", "V264", "00000001 81", true},
                      PatternCase{"H264NoStartByte", "V264", "00000002 41", false},
                      PatternCase{"H264PatternOfMjpg", "V264", "FFD8FFE0", false},
                      PatternCase{"MjpgPatternOfH264", "VJPG", "00000001 6764", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckFrameSeal, NumbersOnlyCheckedFramesAcrossSkippedAndAudioChunks) {
  const Bytes file = RecordingBuilder()
                         .Frame(build::H264Frame(100, 1, true))
                         .Audio(64)
                         .Frame(Bytes(100, 0x77))  // matches no pattern: no number
                         .Audio(65)
                         .Frame(build::H264Frame(100, 3, false), {true, '2'})
                         .Frame(build::H264Frame(100, 4, false))
                         .Build();
  const testing::CheckRun run = testing::RunCheck(file);
  EXPECT_EQ(run.errors.Text(), "frame error(frame_num = 2)\n");
  EXPECT_EQ(run.summary.frames_checked, 3);
  const std::string frames = run.trace.substr(run.trace.find("file_check_sum"));
  const std::uint32_t crc1 = build::ReferenceCrc32(build::H264Frame(100, 1, true));
  const std::uint32_t crc3 = build::ReferenceCrc32(build::H264Frame(100, 3, false)) ^ 0x00010000u;
  const std::uint32_t crc4 = build::ReferenceCrc32(build::H264Frame(100, 4, false));
  char expected[256];
  std::snprintf(expected, sizeof expected,
                "file_check_sum = 0x%x,video_len = 120\nframe num 1 ok\n"
                "file_check_sum = 0x%x,video_len = 120\n"
                "file_check_sum = 0x%x,video_len = 120\nframe num 3 ok\n",
                crc1, crc3, crc4);
  EXPECT_EQ(frames, expected);
}

TEST(CheckFrameSeal, ThreeFailuresListedInFrameOrder) {
  RecordingBuilder rec;
  for (std::uint32_t i = 1; i <= 5; ++i) {
    const bool damaged = i == 2 || i == 4 || i == 5;
    rec.Frame(build::H264Frame(80, i, true), {damaged, '2'});
  }
  const testing::CheckRun run = testing::RunCheck(rec.Build());
  EXPECT_EQ(run.errors.Text(),
            "frame error(frame_num = 2)\nframe error(frame_num = 4)\nframe error(frame_num = 5)\n");
  EXPECT_EQ(run.summary.frames_failed, 3);
  EXPECT_EQ(run.panel.text(IDC_RESULT),
            "There are 3 errors in the video file.\n...Finish\n--------------------------\n");
}

TEST(CheckFrameSeal, PadByteIsNotChecksummed) {
  // L = 1021: a payload of 1001 bytes, then one pad byte.
  const Bytes payload = build::H264Frame(1001, 9, true);
  Bytes file = RecordingBuilder().Frame(payload).NoIndex().Build();
  ASSERT_EQ(file.size() % 2, 0u);
  file.back() = 0xAB;  // the pad byte
  const testing::CheckRun run = testing::RunCheck(file);
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "file_check_sum = 0x%x,video_len = 1021\nframe num 1 ok\n",
                build::ReferenceCrc32(payload));
  EXPECT_NE(run.trace.find(expected), std::string::npos) << run.trace;
  EXPECT_EQ(run.errors.Text(), "");
}

TEST(CheckFrameSeal, SealBytesOtherThanVersionAndChecksumAreIgnored) {
  const RecordingBuilder rec = RecordingBuilder().Frame(build::H264Frame(200, 5, true));
  const std::size_t seal = rec.MovieStart() + 8;
  for (std::size_t offset : {0u, 1u, 3u, 5u, 9u, 15u}) {
    Bytes file = rec.Build();
    file[seal + offset] ^= 0x5A;
    const testing::CheckRun run = testing::RunCheck(file);
    EXPECT_EQ(run.panel.text(IDC_RESULT),
              "No error occur.\n...Finish\n--------------------------\n")
        << offset;
  }
  Bytes file = rec.Build();
  file[seal + 19] ^= 0x01;
  EXPECT_EQ(testing::RunCheck(file).errors.Text(), "frame error(frame_num = 1)\n");
}

TEST(CheckFrameSeal, PayloadShorterThanPatternUsesBytesBehindIt) {
  // L = 22: two payload bytes; the pattern reads on into the next chunk.
  Bytes data(20, 0);
  build::Append(data, Hex("0000"));
  Bytes file = RecordingBuilder().Chunk("00dc", data).Raw(Hex("0001 6764")).NoIndex().Build();
  const testing::CheckRun run = testing::RunCheck(file);
  // The frame is checked (p1..p5 = 00 00 01 67 64) and fails: stored 0.
  EXPECT_EQ(run.errors.Text(), "frame error(frame_num = 1)\n");
}

}  // namespace
}  // namespace quorvex
