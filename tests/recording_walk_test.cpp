#include "recording_walk.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

namespace quorvex {
namespace {

using build::Bytes;
using build::RecordingBuilder;

const std::string kReport = "...Finish\n--------------------------\n";
const std::string kRecordingTrace =
    "read RIFF sucess\r\nreadBuf = 0x19-0x0-0x0-0x0\ntemp_frane_rate = 25\n";

Bytes Key(std::uint32_t seed) { return build::H264Frame(300, seed, true); }
Bytes NotAFrame(std::size_t size) { return Bytes(size, 0xEE); }

build::FrameOptions Damaged() {
  build::FrameOptions o;
  o.damaged = true;
  return o;
}

build::FrameOptions Version(std::uint8_t v) {
  build::FrameOptions o;
  o.version = v;
  return o;
}

std::vector<std::string> ProgressWrites(const testing::LoggedPanel& panel) {
  std::vector<std::string> out;
  const std::string prefix = "text " + std::to_string(IDC_PROGRESS) + " ";
  for (const std::string& entry : panel.log()) {
    if (entry.rfind(prefix, 0) == 0) out.push_back(entry.substr(prefix.size()));
  }
  return out;
}

struct WalkCase {
  const char* name;
  Bytes file;
  std::string verdict;
  std::int64_t frames_checked;
  std::string error_list;
  bool detail;
  std::string progress;
};

void PrintTo(const WalkCase& c, std::ostream* os) { *os << c.name; }

Bytes WithBytes(Bytes b, std::size_t at, const Bytes& bytes) {
  std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
  return b;
}

std::vector<WalkCase> WalkCases() {
  const Bytes wide_size_field =
      WithBytes(RecordingBuilder().Frame(Key(1)).Build(), 18, {0x01, 0x00});
  return {
      {"NoChunksAtMovieStart", RecordingBuilder().Raw(build::FromText("LIST\4\0\0\0junk")).Build(),
       "No error occur.\n", 0, "", false, "Complete...100%"},
      {"HighHalfOfHeaderListSizeIgnored", wide_size_field, "No error occur.\n", 1, "", false,
       "Complete...100%"},
      {"OneFailedFrame", RecordingBuilder().Frame(Key(1)).Frame(Key(2), Damaged()).Build(),
       "There is an error in the video file.\n", 2, "frame error(frame_num = 2)\n", true,
       "Complete...100%"},
      {"TwoFailedFrames",
       RecordingBuilder().Frame(Key(1), Damaged()).Frame(Key(2)).Frame(Key(3), Damaged()).Build(),
       "There are 2 errors in the video file.\n", 3,
       "frame error(frame_num = 1)\nframe error(frame_num = 3)\n", true, "Complete...100%"},
      {"ChunkIdDbEndsWalk",
       RecordingBuilder()
           .Frame(Key(1))
           .Chunk("00db", Bytes(40, 1))
           .Frame(Key(2), Damaged())
           .Build(),
       "No error occur.\n", 1, "", false, "Complete...100%"},
      {"ChunkIdWbOfStreamZeroEndsWalk",
       RecordingBuilder().Chunk("00wb", Bytes(40, 1)).Frame(Key(2), Damaged()).Build(),
       "No error occur.\n", 0, "", false, "Complete...100%"},
      {"StreamTwoAudioEndsWalk",
       RecordingBuilder().Chunk("02wb", Bytes(40, 1)).Frame(Key(2), Damaged()).Build(),
       "No error occur.\n", 0, "", false, "Complete...100%"},
      {"HugeAudioChunkEndsWalk",
       RecordingBuilder().Frame(Key(1)).Audio(65536).Frame(Key(2), Damaged()).Build(),
       "No error occur.\n", 1, "", false, "Complete...100%"},
      {"LargestAudioChunkIsStepped",
       RecordingBuilder().Audio(65535).Frame(Key(2), Damaged()).Build(),
       "There is an error in the video file.\n", 1, "frame error(frame_num = 1)\n", true,
       "Complete...100%"},
      {"ZeroPairsBeforeChunkAreStepped",
       RecordingBuilder()
           .Raw(build::FromText("0000"))
           .Frame(Key(1), Damaged())
           .Frame(Key(2))
           .Build(),
       "There is an error in the video file.\n", 2, "frame error(frame_num = 1)\n", true,
       "Complete...100%"},
      {"OddSizeIsPadded",
       RecordingBuilder().Frame(build::H264Frame(301, 1, true)).Frame(Key(2), Damaged()).Build(),
       "There is an error in the video file.\n", 2, "frame error(frame_num = 2)\n", true,
       "Complete...100%"},
      {"RefusedVersionStopsWalk",
       RecordingBuilder()
           .Frame(Key(1), Damaged())
           .Frame(Key(2), Version('1'))
           .Frame(Key(3), Damaged())
           .Build(),
       "Error version video file.\n", 1, "frame error(frame_num = 1)\n", false, ""},
      {"RefusedVersionOfFrameNotChecked",
       [] {
         Bytes seal(20, 0);
         seal[4] = '1';
         Bytes data = seal;
         build::Append(data, NotAFrame(50));
         return RecordingBuilder().Chunk("00dc", data).Build();
       }(),
       "Error version video file.\n", 0, "", false, ""},
      {"VersionByteOfNextChunkBehindEmptyChunk",
       RecordingBuilder().Chunk("00dc", {}).Chunk("00dc", NotAFrame(0x31)).Build(),
       "Error version video file.\n", 0, "", false, ""},
      {"ChunkShorterThanSealIsPassedOver",
       RecordingBuilder().Chunk("00dc", Bytes(10, 0)).Frame(Key(1), Damaged()).Build(),
       "There is an error in the video file.\n", 1, "frame error(frame_num = 1)\n", true,
       "Complete...100%"},
      {"OnlyAudio", RecordingBuilder().Audio(100).Audio(200).Audio(300).Build(),
       "No error occur.\n", 0, "", false, "Complete...100%"},
      {"HeadCutShortEndsWalk",
       [] {
         Bytes b = RecordingBuilder().Frame(Key(1)).NoIndex().Build();
         build::Append(b, build::FromText("00dc\x10"));
         return b;
       }(),
       "No error occur.\n", 1, "", false, "Complete...100%"},
      {"FrameRunningPastEndFails",
       [] {
         Bytes b = RecordingBuilder().Frame(Key(1)).Frame(Key(2)).NoIndex().Build();
         b.resize(b.size() - 10);
         return b;
       }(),
       "There is an error in the video file.\n", 2, "frame error(frame_num = 2)\n", true,
       "Complete...100%"},
  };
}

class WalkRecordingTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(WalkRecordingTest, GivesVerdictFieldsAndErrorList) {
  const WalkCase& c = GetParam();
  const testing::CheckRun run = testing::RunCheck(c.file);
  EXPECT_EQ(run.panel.text(IDC_RESULT), c.verdict + kReport);
  EXPECT_EQ(run.summary.frames_checked, c.frames_checked);
  EXPECT_EQ(run.errors.Text(), c.error_list);
  EXPECT_EQ(run.panel.detail_enabled(), c.detail);
  EXPECT_EQ(run.panel.text(IDC_PROGRESS), c.progress);
  EXPECT_EQ(run.panel.text(IDC_VIDEO_FORMAT), "Video format: h264\n");
  EXPECT_EQ(run.panel.text(IDC_AUDIO_FORMAT), "Audio format: G711\n");
  EXPECT_EQ(run.trace.rfind(kRecordingTrace, 0), 0u) << run.trace;
}

INSTANTIATE_TEST_SUITE_P(Walks, WalkRecordingTest, ::testing::ValuesIn(WalkCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
  const char* name;
  Bytes file;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RefusedRecordingTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedRecordingTest, IsInvalidAndWritesNothing) {
  const testing::CheckRun run = testing::RunCheck(GetParam().file);
  EXPECT_EQ(run.panel.text(IDC_RESULT), "It's the invalid file.\n" + kReport);
  EXPECT_EQ(run.panel.text(IDC_VIDEO_FORMAT), "Video Format: ");
  EXPECT_EQ(run.panel.text(IDC_AUDIO_FORMAT), "Audio Format: ");
  EXPECT_EQ(run.panel.text(IDC_PROGRESS), "");
  EXPECT_EQ(run.trace, "read RIFF sucess\r\n");
  EXPECT_EQ(run.summary.status, CheckStatus::kInvalid);
  EXPECT_EQ(run.summary.walk_end, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Refused, RefusedRecordingTest,
    ::testing::Values(RefusedCase{"ForeignHandler", RecordingBuilder("XVID").Frame(Key(1)).Build()},
                      RefusedCase{"LowerCaseHandler",
                                  RecordingBuilder("v264").Frame(Key(1)).Build()},
                      RefusedCase{"WaveFile", build::TinyWave()},
                      RefusedCase{"TooShortForAudioCode",
                                  [] {
                                    Bytes b = RecordingBuilder().NoIndex().Build();
                                    b.resize(4420);
                                    return b;
                                  }()}),
    [](const auto& info) { return std::string(info.param.name); });

struct FormatCase {
  const char* handler;
  std::uint8_t audio_code;
  std::string video_text;
  std::string audio_text;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
  *os << c.handler << "/" << int{c.audio_code};
}

class FormatNamesTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatNamesTest, NamesBothFormats) {
  const FormatCase& c = GetParam();
  const testing::CheckRun run =
      testing::RunCheck(RecordingBuilder(c.handler).AudioCode(c.audio_code).Build());
  EXPECT_EQ(run.panel.text(IDC_VIDEO_FORMAT), c.video_text);
  EXPECT_EQ(run.panel.text(IDC_AUDIO_FORMAT), c.audio_text);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatNamesTest,
    ::testing::Values(FormatCase{"V264", 1, "Video format: h264\n", "Audio format: ADPCM\n"},
                      FormatCase{"VPG4", 6, "Video format: mpg4\n", "Audio format: PCMA\n"},
                      FormatCase{"VJPG", 7, "Video format: mjpg\n", "Audio format: G711\n"},
                      FormatCase{"V264", 33, "Video format: h264\n", "Audio format: AMR\n"},
                      FormatCase{"VJPG", 69, "Video format: mjpg\n", "Audio format: G726\n"},
                      FormatCase{"V264", 255, "Video format: h264\n", "Audio format: AAC\n"},
                      FormatCase{"V264", 2, "Video format: h264\n", "Audio format: None\n"},
                      FormatCase{"V264", 0, "Video format: h264\n", "Audio format: None\n"}));

TEST(WalkRecording, TraceShowsRateBytesAndSignedRate) {
  const testing::CheckRun run = testing::RunCheck(RecordingBuilder().Rate(0xFFFFFFFEu).Build());
  EXPECT_EQ(run.trace, "read RIFF sucess\r\nreadBuf = 0xfe-0xff-0xff-0xff\ntemp_frane_rate = -2\n");
}

TEST(WalkRecording, ProgressIsWrittenAtMultiplesOfTen) {
  RecordingBuilder rec;
  rec.HeaderListSize(4508).NoIndex();
  const std::size_t start = rec.MovieStart();  // 4540
  // Ten chunks of 462 bytes: only some following positions fall on a tenth.
  for (int i = 0; i < 10; ++i)
    rec.Frame(build::H264Frame(434, static_cast<std::uint32_t>(i), true));
  const Bytes file = rec.Build();
  ASSERT_EQ(file.size(), start + 10 * 462u);
  const testing::CheckRun run = testing::RunCheck(file);
  std::vector<std::string> expected;
  for (int i = 1; i <= 9; ++i) {
    const int percent = static_cast<int>((start + 462u * i) * 100 / file.size());
    if (percent % 10 == 0) expected.push_back("Complete..." + std::to_string(percent) + "%");
  }
  expected.push_back("Complete...100%");
  EXPECT_EQ(ProgressWrites(run.panel), expected);
  EXPECT_EQ(run.summary.walk_end, file.size());
}

struct ClaimedSizeCase {
  const char* name;
  std::uint64_t next;  // position of the chunk behind the first one
  std::uint64_t size;  // claimed size of the file
  std::vector<std::string> progress;
};

void PrintTo(const ClaimedSizeCase& c, std::ostream* os) { *os << c.name; }

class LargeFileProgressTest : public ::testing::TestWithParam<ClaimedSizeCase> {};

// A large sparse file: `bytes`, then zeros up to `size`.
class SparseSource : public ByteSource {
 public:
  SparseSource(Bytes bytes, std::uint64_t size) : bytes_(std::move(bytes)), size_(size) {}
  bool MeasureSize(std::uint64_t& size) override {
    size = size_;
    return true;
  }
  ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override {
    if (pos >= size_) return {};
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - pos));
    for (std::size_t i = 0; i < n; ++i) out[i] = pos + i < bytes_.size() ? bytes_[pos + i] : 0;
    return {n, std::nullopt};
  }
  std::uint64_t SeekTo(std::uint64_t pos) override { return pos; }

 private:
  Bytes bytes_;
  std::uint64_t size_;
};

// One unchecked video chunk carries the walk to `next` in a sparse file of
// `size` bytes; the zeros behind it end the walk.
TEST_P(LargeFileProgressTest, PercentageIsExact) {
  const ClaimedSizeCase& c = GetParam();
  RecordingBuilder rec;
  rec.NoIndex();
  const std::uint64_t data_size = c.next - rec.MovieStart() - 8;
  Bytes chunk = build::FromText("00dc");
  build::AppendLe32(chunk, static_cast<std::uint32_t>(data_size));
  build::Append(chunk, NotAFrame(40));
  SparseSource source(rec.Raw(chunk).Build(), c.size);
  const testing::CheckRun run = testing::RunCheckWindowed(&source, kDefaultWindowBytes);
  EXPECT_EQ(ProgressWrites(run.panel), c.progress);
  EXPECT_EQ(run.panel.text(IDC_RESULT), "No error occur.\n" + kReport);
  EXPECT_EQ(run.summary.walk_end, c.next);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LargeFileProgressTest,
    ::testing::Values(
        ClaimedSizeCase{
            "HalfOfHundredMillion", 50'000'000, 100'000'000, {"Complete...50%", "Complete...100%"}},
        ClaimedSizeCase{
            "FiftyFivePercentWritesNothing", 55'000'000, 100'000'000, {"Complete...100%"}},
        ClaimedSizeCase{"TenthOfFortyGigabytes",
                        4'000'000'000,
                        40'000'000'000,
                        {"Complete...10%", "Complete...100%"}},
        ClaimedSizeCase{"BeyondFourGigabytes", 4'294'971'000, 6'000'000'000, {"Complete...100%"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct PercentCase {
  std::uint64_t position;
  std::uint64_t size;
  int percent;
};

void PrintTo(const PercentCase& c, std::ostream* os) { *os << c.position << "/" << c.size; }

class PercentOfTest : public ::testing::TestWithParam<PercentCase> {};

TEST_P(PercentOfTest, RoundsDownExactly) {
  EXPECT_EQ(PercentOf(GetParam().position, GetParam().size), GetParam().percent);
}

INSTANTIATE_TEST_SUITE_P(
    Values, PercentOfTest,
    ::testing::Values(PercentCase{50'000'000, 100'000'000, 50},
                      PercentCase{55'000'000, 100'000'000, 55}, PercentCase{99, 100, 99},
                      PercentCase{0, 1, 0}, PercentCase{3'000'000'000, 4'000'000'000, 75},
                      PercentCase{42'949'673, 4'294'967'296, 1},
                      PercentCase{429'496'730, 4'294'967'296, 10},
                      PercentCase{0x7FFFFFFFFFFFFFFFull, 0x8000000000000000ull, 99},
                      PercentCase{0x1999999999999999ull, 0xFFFFFFFFFFFFFFFFull, 9}));

}  // namespace
}  // namespace quorvex
