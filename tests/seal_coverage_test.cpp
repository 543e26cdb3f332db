// Where a recording's failed frames lie (frame rate, video chunk indexes) and
// how much of a file its seals cover; the ranges told to on_sealed_range and
// the bytes given to on_bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "dialog_fields.h"
#include "test_support.h"

namespace quorvex {
namespace {

namespace qb = build;
using qb::Bytes;
using Range = std::pair<std::uint64_t, std::uint64_t>;

struct HookedRun {
  testing::CheckRun check;
  std::vector<Range> sealed;
  Bytes fed;
};

HookedRun CheckWithHooks(MemorySource& source, std::size_t window = kDefaultWindowBytes) {
  HookedRun run;
  report::PrepareForCheck(run.check.panel, run.check.errors);
  NullTraceSink trace;
  CheckOptions options;
  options.trace = &trace;
  options.summary = &run.check.summary;
  options.window_bytes = window;
  options.on_sealed_range = [&run](std::uint64_t begin, std::uint64_t end) {
    run.sealed.emplace_back(begin, end);
  };
  InOrderSource in_order(source, [&run](const std::uint8_t* data, std::size_t n) {
    run.fed.insert(run.fed.end(), data, data + n);
  });
  CheckContents(&in_order, "/rec/x", "x", run.check.panel, run.check.errors, options);
  return run;
}

HookedRun CheckWithHooks(const Bytes& bytes, std::size_t window = kDefaultWindowBytes) {
  MemorySource source(bytes);
  return CheckWithHooks(source, window);
}

std::uint64_t Sum(const std::vector<Range>& ranges) {
  std::uint64_t n = 0;
  for (const Range& r : ranges) n += r.second - r.first;
  return n;
}

Bytes Key(std::uint32_t seed, std::size_t size = 300) { return qb::H264Frame(size, seed, true); }

// A short video chunk: its data is smaller than a seal.
Bytes ShortVideoData() { return Bytes(10, 0x30); }

TEST(VideoChunks, IndexesCountEveryVideoChunkMetCheckedOrNot) {
  qb::RecordingBuilder rec;
  rec.Rate(25);
  rec.Frame(Key(1)).Audio(64);            // chunk 0, frame 1
  rec.Chunk("00dc", ShortVideoData());    // chunk 1, L < 20
  rec.Frame(Bytes(200, 0x47)).Audio(33);  // chunk 2, no pattern
  const std::uint64_t failed_at = rec.NextOffset();
  rec.Frame(Key(4), {true, '2'});                // chunk 3, frame 2, failed
  rec.Frame(Key(5)).Frame(Key(6), {true, '2'});  // chunks 4, 5; frames 3, 4
  const Bytes file = rec.Build();

  const HookedRun run = CheckWithHooks(file);
  const CheckSummary& s = run.check.summary;
  EXPECT_EQ(s.frame_rate, (FrameRate{25, 1}));
  EXPECT_EQ(s.video_chunks, 6u);
  EXPECT_EQ(s.unchecked_video_chunks, 2u);
  EXPECT_EQ(s.frames_checked, 4);
  ASSERT_EQ(s.failed_frames.size(), 2u);
  EXPECT_EQ(s.failed_frames[0].frame, 2);
  EXPECT_EQ(s.failed_frames[0].chunk, 3u);
  EXPECT_EQ(s.failed_frames[0].offset, failed_at);
  EXPECT_EQ(s.failed_frames[1].frame, 4);
  EXPECT_EQ(s.failed_frames[1].chunk, 5u);
  // The ErrorList keeps the frame numbers, not the chunk indexes.
  EXPECT_EQ(run.check.errors.Text(), "frame error(frame_num = 2)\nframe error(frame_num = 4)\n");
}

TEST(VideoChunks, WalkThatStopsCountsOnlyTheChunksInFrontOfIt) {
  qb::RecordingBuilder rec;
  rec.Frame(Key(1)).Frame(Bytes(100, 0x47)).Frame(Key(3), {false, '1'}).Frame(Key(4));
  const HookedRun refused = CheckWithHooks(rec.Build());
  EXPECT_EQ(*refused.check.summary.verdict, "Error version video file.\n");
  EXPECT_EQ(refused.check.summary.video_chunks, 2u);
  EXPECT_EQ(refused.check.summary.unchecked_video_chunks, 1u);
  EXPECT_EQ(refused.check.summary.sealed_bytes, 300u);

  qb::RecordingBuilder junk;
  junk.Frame(Key(1)).Chunk("JUNK", Bytes(40, 0)).Frame(Key(2));
  const HookedRun stopped = CheckWithHooks(junk.Build());
  EXPECT_EQ(stopped.check.summary.video_chunks, 1u);
  EXPECT_EQ(stopped.check.summary.sealed_bytes, 300u);
}

struct RateCase {
  const char* name;
  std::uint32_t stored;
  std::uint32_t scale;
  std::optional<FrameRate> rate;
  double frames_per_second;  // when there is a rate
};

void PrintTo(const RateCase& c, std::ostream* os) { *os << c.name; }

class FrameRateTest : public ::testing::TestWithParam<RateCase> {};

TEST_P(FrameRateTest, IsTakenOnlyWhenPlausible) {
  const RateCase& c = GetParam();
  const HookedRun run =
      CheckWithHooks(qb::RecordingBuilder().Rate(c.stored).Scale(c.scale).Build());
  EXPECT_EQ(run.check.summary.frame_rate, c.rate);
  if (c.rate.has_value()) {
    EXPECT_DOUBLE_EQ(FramesPerSecond(*c.rate), c.frames_per_second);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rates, FrameRateTest,
    ::testing::Values(
        RateCase{"Zero", 0, 1, std::nullopt, 0}, RateCase{"One", 1, 1, FrameRate{1, 1}, 1},
        RateCase{"Thirty", 30, 1, FrameRate{30, 1}, 30},
        RateCase{"Thousand", 1000, 1, FrameRate{1000, 1}, 1000},
        RateCase{"ThousandAndOne", 1001, 1, std::nullopt, 0},
        RateCase{"NegativeAsSigned", 0xFFFFFFFEu, 1, std::nullopt, 0},
        RateCase{"TwelveAndAHalf", 25, 2, FrameRate{25, 2}, 12.5},
        RateCase{"SevenAndAHalf", 15, 2, FrameRate{15, 2}, 7.5},
        RateCase{"NtscOverScale1001", 30000, 1001, FrameRate{30000, 1001}, 30000.0 / 1001.0},
        // Above a thousand before the scale, at most a thousand behind it.
        RateCase{"TwoThousandOverTwo", 2000, 2, FrameRate{2000, 2}, 1000},
        RateCase{"TwoThousandAndOneOverTwo", 2001, 2, std::nullopt, 0},
        RateCase{"ScaleZeroLeavesTheRate", 25, 0, FrameRate{25, 1}, 25},
        RateCase{"ScaleZeroRateTooHigh", 1001, 0, std::nullopt, 0},
        RateCase{"BelowOneFramePerSecond", 1, 4, FrameRate{1, 4}, 0.25},
        RateCase{"HugeScale", 1, 0xFFFFFFFFu, FrameRate{1, 0xFFFFFFFFu}, 1.0 / 4294967295.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameRate, NoneForARefusedRecordingOrASnapshot) {
  EXPECT_EQ(CheckWithHooks(qb::RecordingBuilder("XVID").Build()).check.summary.frame_rate,
            std::nullopt);
  EXPECT_EQ(CheckWithHooks(qb::SealJpegOrPng(qb::TinyJpeg())).check.summary.frame_rate,
            std::nullopt);
}

struct CoverageCase {
  const char* name;
  Bytes file;
  std::uint64_t claimed_size;  // 0: the bytes' own size
  std::vector<Range> sealed;   // the ranges told, in order
};

void PrintTo(const CoverageCase& c, std::ostream* os) { *os << c.name; }

class SealCoverageTest : public ::testing::TestWithParam<CoverageCase> {};

TEST_P(SealCoverageTest, SealedBytesAreTheComparedRanges) {
  const CoverageCase& c = GetParam();
  for (const std::size_t window : {std::size_t{4096}, kDefaultWindowBytes}) {
    SCOPED_TRACE("window " + std::to_string(window));
    MemorySource source(c.file);
    if (c.claimed_size != 0) source.set_claimed_size(c.claimed_size);
    const HookedRun run = CheckWithHooks(source, window);
    EXPECT_EQ(run.sealed, c.sealed);
    EXPECT_EQ(run.check.summary.sealed_bytes, Sum(c.sealed));
  }
}

Bytes Jpeg() { return qb::SealJpegOrPng(qb::TinyJpeg()); }
Bytes Bmp() { return qb::SealBmp(qb::TinyBmp()); }

// The payload range of a frame chunk at `chunk` with `payload` bytes.
Range Payload(std::uint64_t chunk, std::uint64_t payload) {
  return {chunk + 28, chunk + 28 + payload};
}

std::vector<CoverageCase> CoverageCases() {
  Bytes damaged_jpeg = Jpeg();
  damaged_jpeg[40] ^= 1;
  std::vector<CoverageCase> cases = {
      {"SealedJpeg", Jpeg(), 0, {{0, Jpeg().size() - 4}}},
      {"DamagedJpegWasCompared", damaged_jpeg, 0, {{0, Jpeg().size() - 4}}},
      {"UnsealedJpeg", qb::TinyJpeg(), 0, {}},
      {"SealedPng",
       qb::SealJpegOrPng(qb::TinyPng()),
       0,
       {{0, qb::SealJpegOrPng(qb::TinyPng()).size() - 4}}},
      {"UnsealedPng", qb::TinyPng(), 0, {}},
      // The BMP's checksum covers its marker too.
      {"SealedBmp", Bmp(), 0, {{0, Bmp().size() - 4}}},
      {"UnsealedBmp", qb::TinyBmp(), 0, {}},
      {"TooShortJpeg", Bytes{0xFF, 0xD8, 0xFF}, 0, {}},
      // Sealed, but its checksum covers no bytes: no range is told.
      {"FourByteSealedJpeg", Bytes{0xFF, 0xD8, 0x00, 0x00}, 0, {}},
      {"UnknownKind", Bytes{1, 2, 3, 4}, 0, {}},
      {"EmptyFile", Bytes{}, 0, {}},
      {"RefusedRecording", qb::RecordingBuilder("XVID").Frame(Key(1)).Build(), 0, {}},
  };
  {
    // Checked frames count, damaged or not; audio, short and patternless
    // chunks, chunk heads, seals, pad bytes and the index do not.
    qb::RecordingBuilder rec;
    const std::uint64_t a = rec.NextOffset();
    rec.Frame(Key(1, 301)).Audio(64).Chunk("00dc", ShortVideoData());
    rec.Frame(Bytes(200, 0x47));
    const std::uint64_t b = rec.NextOffset();
    rec.Frame(Key(2, 500), {true, '2'});
    cases.push_back({"RecordingFramesOnly", rec.Build(), 0, {Payload(a, 301), Payload(b, 500)}});
  }
  {
    // The walk stops at a refused chunk: nothing behind it counts.
    qb::RecordingBuilder rec;
    const std::uint64_t a = rec.NextOffset();
    rec.Frame(Key(1)).Frame(Key(2), {false, '1'}).Frame(Key(3));
    cases.push_back({"RecordingStoppedByVersion", rec.Build(), 0, {Payload(a, 300)}});
  }
  {
    // A checked frame that runs past the end of the file: only the part
    // inside it was compared.
    qb::RecordingBuilder rec;
    rec.NoIndex();
    const std::uint64_t a = rec.NextOffset();
    rec.Frame(Key(1, 1000));
    Bytes file = rec.Build();
    file.resize(file.size() - 400);
    cases.push_back({"RecordingCutInsideAFrame", file, 0, {{a + 28, file.size()}}});
  }
  {
    // A file that shrank after it was measured: the check stops at the
    // short read, and its frame is no evidence of anything.
    qb::RecordingBuilder rec;
    rec.NoIndex();
    rec.Frame(Key(1, 1000));
    Bytes file = rec.Build();
    const std::uint64_t measured = file.size();
    file.resize(file.size() - 400);
    cases.push_back({"RecordingThatShrank", file, measured, {}});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Files, SealCoverageTest, ::testing::ValuesIn(CoverageCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct BytesCase {
  const char* name;
  Bytes file;
  std::uint64_t claimed_size;  // 0: the bytes' own size
};

void PrintTo(const BytesCase& c, std::ostream* os) { *os << c.name; }

class EveryByteTest : public ::testing::TestWithParam<BytesCase> {};

// An InOrderSource hands on the file exactly, once and in order, however the
// check jumps. A file that shrank is found changed, and what was handed on
// is only bytes that it held.
TEST_P(EveryByteTest, InOrderSourceGivesTheWholeFileOnce) {
  const BytesCase& c = GetParam();
  const bool shrank = c.claimed_size > c.file.size();
  Bytes expected = c.file;
  if (c.claimed_size != 0 && !shrank) expected.resize(c.claimed_size);
  for (const std::size_t window : {std::size_t{4096}, std::size_t{5000}, kDefaultWindowBytes}) {
    SCOPED_TRACE("window " + std::to_string(window));
    MemorySource source(c.file);
    if (c.claimed_size != 0) source.set_claimed_size(c.claimed_size);
    source.set_max_read(3000);
    const HookedRun run = CheckWithHooks(source, window);
    EXPECT_EQ(run.check.summary.read_error, std::nullopt);
    if (shrank) {
      EXPECT_EQ(run.check.summary.status, CheckStatus::kChanged);
      ASSERT_LE(run.fed.size(), c.file.size());
      EXPECT_TRUE(std::equal(run.fed.begin(), run.fed.end(), c.file.begin()));
    } else {
      EXPECT_EQ(run.fed, expected);
    }
  }
}

// A recording whose one unchecked video chunk carries the walk far ahead.
Bytes LongJump() {
  qb::RecordingBuilder rec;
  rec.Frame(Key(1)).Frame(qb::Filler(40000, 9)).Frame(Key(2));
  return rec.Build();
}

Bytes LargeJpeg() {
  Bytes image = qb::TinyJpeg();
  image.insert(image.end() - 2, 30000, 0x5A);
  return qb::SealJpegOrPng(image);
}

INSTANTIATE_TEST_SUITE_P(
    Files, EveryByteTest,
    ::testing::Values(BytesCase{"EmptyFile", {}, 0},
                      BytesCase{"UnknownKind", qb::Filler(9000, 3), 0},
                      // Read from its end first, then from its start.
                      BytesCase{"JpegLargerThanTheWindow", LargeJpeg(), 0},
                      BytesCase{"UnsealedJpeg", qb::TinyJpeg(), 0},
                      BytesCase{"RecordingWithIndex", qb::RecordingBuilder().Frame(Key(1)).Build(),
                                0},
                      BytesCase{"RecordingThatJumps", LongJump(), 0},
                      BytesCase{"RefusedRecording", qb::RecordingBuilder("XVID").Build(), 0},
                      BytesCase{"ShrankRecording", LongJump(), LongJump().size() + 7000}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvex
