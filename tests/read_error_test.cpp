// Reads that fail with an error (a bad sector, a device gone) stop the check
// with "Can't read the file.", never a verdict about damage. A bad spot that
// the check does not need stops it only when every byte is wanted (a hash).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "byte_source.h"
#include "check_file.h"
#include "dialog_fields.h"
#include "field_panel.h"
#include "file_builders.h"
#include "trace.h"

namespace quorvex {
namespace {

namespace qb = build;
using qb::Bytes;

const std::string kCantRead = "Can't read the file.\n...Finish\n--------------------------\n";
const std::string kHeaderTrace =
    "read RIFF sucess\r\nreadBuf = 0x19-0x0-0x0-0x0\ntemp_frane_rate = 25\n";

Bytes SealedJpeg() { return qb::SealJpegOrPng(qb::TinyJpeg()); }

// Three H.264 frames with audio between them, the second damaged; where each
// chunk starts.
struct Recording {
  Bytes bytes;
  std::uint64_t frame[3];
  std::uint64_t audio[2];
};

Recording ThreeFrames(bool with_index) {
  Recording r;
  qb::RecordingBuilder rec("V264");
  for (int i = 0; i < 3; ++i) {
    r.frame[i] = rec.NextOffset();
    rec.Frame(qb::H264Frame(600, static_cast<std::uint32_t>(i + 1), i == 0), {i == 1, '2'});
    if (i < 2) {
      r.audio[i] = rec.NextOffset();
      rec.Audio(100);
    }
  }
  if (!with_index) rec.NoIndex();
  r.bytes = rec.Build();
  return r;
}

std::string FrameLine(std::uint32_t seed, bool damaged) {
  char line[80];
  const Bytes payload = qb::H264Frame(600, seed, seed == 1);
  std::snprintf(line, sizeof line, "file_check_sum = 0x%x,video_len = 620\n",
                qb::ReferenceCrc32(payload) ^ (damaged ? 0x00010000u : 0u));
  return line;
}

// The trace of the walk over the first `frames` frames of ThreeFrames.
std::string FramesTrace(int frames) {
  std::string t = kHeaderTrace;
  if (frames >= 1) t += FrameLine(1, false) + "frame num 1 ok\n";
  if (frames >= 2) t += FrameLine(2, true);
  if (frames >= 3) t += FrameLine(3, false) + "frame num 3 ok\n";
  return t;
}

struct ReadErrorCase {
  const char* name;
  Bytes file;
  std::uint64_t unreadable;  // the byte that cannot be read
  bool every_byte;           // the check reads through an InOrderSource (a hash)
  std::string trace;
  std::string video_field;
  std::string audio_field;
  std::string errors;
  std::int64_t frames_checked;
  std::uint64_t video_chunks;
  std::uint64_t sealed_bytes;
};

void PrintTo(const ReadErrorCase& c, std::ostream* os) { *os << c.name; }

struct Outcome {
  FieldPanel panel;
  ErrorList errors;
  CheckSummary summary;
  std::string trace;
  Bytes fed;
};

Outcome Check(MemorySource& source, std::size_t window_bytes, bool every_byte) {
  Outcome o;
  report::PrepareForCheck(o.panel, o.errors);
  StringTraceSink trace;
  CheckOptions options;
  options.trace = &trace;
  options.summary = &o.summary;
  options.window_bytes = window_bytes;
  InOrderSource in_order(source, [&o](const std::uint8_t* data, std::size_t n) {
    o.fed.insert(o.fed.end(), data, data + n);
  });
  ByteSource* read = every_byte ? static_cast<ByteSource*>(&in_order) : &source;
  CheckContents(read, "/rec/cam1.avi", "cam1.avi", o.panel, o.errors, options);
  o.trace = trace.text();
  return o;
}

class ReadErrorTest : public ::testing::TestWithParam<ReadErrorCase> {};

TEST_P(ReadErrorTest, StopsTheCheckWithCantRead) {
  const ReadErrorCase& c = GetParam();
  // The outcome does not depend on how much the window reads ahead.
  for (const std::size_t window : {std::size_t{4096}, kDefaultWindowBytes}) {
    SCOPED_TRACE("window " + std::to_string(window));
    MemorySource source(c.file);
    source.set_unreadable_at(c.unreadable);
    const Outcome o = Check(source, window, c.every_byte);

    EXPECT_EQ(o.trace, c.trace);
    EXPECT_EQ(o.panel.text(IDC_RESULT), kCantRead);
    EXPECT_EQ(o.summary.verdict, "Can't read the file.\n");
    EXPECT_EQ(o.summary.status, CheckStatus::kUnreadable);
    EXPECT_EQ(o.summary.read_error, c.unreadable);
    EXPECT_EQ(o.summary.size, c.file.size());
    EXPECT_EQ(o.panel.text(IDC_NAME), "Name: cam1.avi\n");
    EXPECT_EQ(o.panel.text(IDC_PATH), "Path: /rec/cam1.avi\n");
    EXPECT_EQ(o.panel.text(IDC_VIDEO_FORMAT), c.video_field);
    EXPECT_EQ(o.panel.text(IDC_AUDIO_FORMAT), c.audio_field);
    // The walk never got to its end.
    EXPECT_EQ(o.panel.text(IDC_PROGRESS), "");
    EXPECT_FALSE(o.panel.detail_enabled());
    EXPECT_EQ(o.errors.Text(), c.errors);
    EXPECT_EQ(o.summary.frames_checked, c.frames_checked);
    EXPECT_EQ(o.summary.video_chunks, c.video_chunks);
    EXPECT_EQ(o.summary.sealed_bytes, c.sealed_bytes);
    if (c.every_byte) {
      // Every byte in front of the bad one, and nothing behind it.
      ASSERT_EQ(o.fed.size(), c.unreadable);
      EXPECT_TRUE(std::equal(o.fed.begin(), o.fed.end(), c.file.begin()));
    }
  }
}

// A bad byte at `at` of `r`, met after `frames_before` frames were checked.
ReadErrorCase RecordingCase(const char* name, const Recording& r, std::uint64_t at, bool every_byte,
                            int frames_before) {
  const auto frames = static_cast<std::uint64_t>(frames_before);
  return {name,
          r.bytes,
          at,
          every_byte,
          FramesTrace(frames_before) + "read file error\n",
          "Video format: h264\n",
          "Audio format: G711\n",
          frames_before >= 2 ? "frame error(frame_num = 2)\n" : "",
          frames_before,
          frames,
          600 * frames};
}

std::vector<ReadErrorCase> Cases() {
  const Bytes jpeg = SealedJpeg();
  const Bytes bmp = qb::SealBmp(qb::TinyBmp());
  const Recording rec = ThreeFrames(false);
  const Recording indexed = ThreeFrames(true);
  const std::uint64_t last = rec.bytes.size() - 1;
  return {
      {"JpegFirstByte", jpeg, 0, false, "read file error\n", "Video Format: ", "Audio Format: ", "",
       0, 0, 0},
      {"JpegLastByte", jpeg, jpeg.size() - 1, false, "read picture sucess\nread file error\n",
       "Video Format: ", "Audio Format: ", "", 0, 0, 0},
      {"JpegInsideTheImage", jpeg, 50, false, "read picture sucess\nread file error\n",
       "Video Format: ", "Audio Format: ", "", 0, 0, 0},
      {"BmpInItsMarker", bmp, bmp.size() - 9, false, "read file error\n",
       "Video Format: ", "Audio Format: ", "", 0, 0, 0},
      {"RecordingFirstByte", rec.bytes, 0, false, "read file error\n",
       "Video Format: ", "Audio Format: ", "", 0, 0, 0},
      {"RecordingHandlerCode", rec.bytes, 113, false, "read RIFF sucess\r\nread file error\n",
       "Video Format: ", "Audio Format: ", "", 0, 0, 0},
      {"RecordingRate", rec.bytes, 134, false, "read RIFF sucess\r\nread file error\n",
       "Video format: h264\n", "Audio Format: ", "", 0, 0, 0},
      {"RecordingAudioCode", rec.bytes, 4420, false, kHeaderTrace + "read file error\n",
       "Video format: h264\n", "Audio Format: ", "", 0, 0, 0},
      RecordingCase("FirstChunkId", rec, rec.frame[0], false, 0),
      // Inside a checked frame's seal and payload, and in the file's last
      // byte (the last frame's payload): the frames in front of it stand.
      RecordingCase("SecondFrameVersionByte", rec, rec.frame[1] + 12, false, 1),
      RecordingCase("SecondFrameStoredChecksum", rec, rec.frame[1] + 26, false, 1),
      RecordingCase("ThirdFramePayload", rec, rec.frame[2] + 28 + 300, false, 2),
      RecordingCase("RecordingLastByte", rec, last, false, 2),
      // Bytes the walk steps over are needed only when every byte is wanted.
      RecordingCase("SkippedAudioWithEveryByte", rec, rec.audio[0] + 50, true, 1),
      RecordingCase("IndexBehindTheWalkWithEveryByte", indexed, indexed.bytes.size() - 5, true, 3),
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadErrorTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct ToleratedCase {
  const char* name;
  Bytes file;
  std::uint64_t unreadable;
};

void PrintTo(const ToleratedCase& c, std::ostream* os) { *os << c.name; }

class ReadErrorNotNeededTest : public ::testing::TestWithParam<ToleratedCase> {};

// A bad spot in bytes the check steps over does not change its outcome.
TEST_P(ReadErrorNotNeededTest, CheckEndsAsWithoutIt) {
  const ToleratedCase& c = GetParam();
  for (const std::size_t window : {std::size_t{4096}, kDefaultWindowBytes}) {
    SCOPED_TRACE("window " + std::to_string(window));
    MemorySource source(c.file);
    source.set_unreadable_at(c.unreadable);
    const Outcome o = Check(source, window, false);
    EXPECT_EQ(o.trace, FramesTrace(3));
    EXPECT_EQ(o.summary.verdict, "There is an error in the video file.\n");
    EXPECT_EQ(o.summary.status, CheckStatus::kDamaged);
    EXPECT_EQ(o.summary.read_error, std::nullopt);
    EXPECT_EQ(o.panel.text(IDC_PROGRESS), "Complete...100%");
    EXPECT_TRUE(o.panel.detail_enabled());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadErrorNotNeededTest,
    ::testing::Values(ToleratedCase{"AudioData", ThreeFrames(false).bytes,
                                    ThreeFrames(false).audio[0] + 50},
                      ToleratedCase{"LastByteOfAudio", ThreeFrames(false).bytes,
                                    ThreeFrames(false).audio[1] + 107},
                      ToleratedCase{"IndexBehindTheWalk", ThreeFrames(true).bytes,
                                    ThreeFrames(true).bytes.size() - 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadErrorVersusShrinking, AFileThatEndsEarlyChangedAndOneThatFailsIsUnreadable) {
  // The same last frame, once cut short (the file changed: its missing bytes
  // are never checked as zeros) and once unreadable at the same byte.
  const Recording r = ThreeFrames(false);
  const std::uint64_t cut = r.frame[2] + 28 + 300;
  Bytes shorter(r.bytes.begin(), r.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
  MemorySource shrank(shorter);
  shrank.set_claimed_size(r.bytes.size());
  const Outcome a = Check(shrank, kDefaultWindowBytes, false);
  EXPECT_EQ(a.summary.verdict, "The file changed while it was checked.\n");
  EXPECT_EQ(a.summary.status, CheckStatus::kChanged);
  EXPECT_EQ(a.summary.read_error, std::nullopt);
  EXPECT_TRUE(a.trace.ends_with("file changed error\n"));

  MemorySource failing(r.bytes);
  failing.set_unreadable_at(cut);
  const Outcome b = Check(failing, kDefaultWindowBytes, false);
  EXPECT_EQ(b.summary.verdict, "Can't read the file.\n");
  EXPECT_EQ(b.summary.read_error, cut);
}

}  // namespace
}  // namespace quorvex
