// A recording larger than 4 GiB, made as a sparse file: one unchecked video
// chunk of almost 4 GiB carries the walk to frames that straddle and lie
// behind the 4 GiB mark.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "check_file.h"
#include "dialog_fields.h"
#include "field_panel.h"
#include "file_builders.h"
#include "trace.h"

namespace quorvex {
namespace {

namespace fs = std::filesystem;
using build::Bytes;

constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;

// Counts what a check asks of the file.
class CountingSource : public ByteSource {
 public:
  explicit CountingSource(std::unique_ptr<ByteSource> inner) : inner_(std::move(inner)) {}
  bool MeasureSize(std::uint64_t& size) override { return inner_->MeasureSize(size); }
  ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override {
    requested_ += count;
    return inner_->ReadAt(pos, out, count);
  }
  std::uint64_t SeekTo(std::uint64_t pos) override { return inner_->SeekTo(pos); }
  void AdviseSequential() override { inner_->AdviseSequential(); }
  std::uint64_t requested() const { return requested_; }

 private:
  std::unique_ptr<ByteSource> inner_;
  std::uint64_t requested_ = 0;
};

std::string SealLine(const Bytes& payload, std::uint32_t stored_xor, std::uint32_t data_size) {
  char line[80];
  std::snprintf(line, sizeof line, "file_check_sum = 0x%x,video_len = %u\n",
                build::ReferenceCrc32(payload) ^ stored_xor, data_size);
  return line;
}

// Run with the default window, which holds the whole tail from below the mark
// on, and with the smallest, which is filled many times behind it.
class LargeRecordingTest : public ::testing::TestWithParam<std::size_t> {
 protected:
  void SetUp() override {
    path_ = fs::temp_directory_path() /
            ("quorvex-large-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".avi");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  fs::path path_;
};

TEST_P(LargeRecordingTest, ChecksFramesBehindTheFourGibMark) {
  // The head: header and one video chunk whose payload (a hole of zeros) does
  // not start as a frame, so that it is stepped over unread.
  build::RecordingBuilder head("V264");
  head.NoIndex();
  const std::uint64_t big_chunk = head.NextOffset();
  const std::uint64_t tail_start = k4GiB - 2000;
  const auto big_size = static_cast<std::uint32_t>(tail_start - big_chunk - 8);
  Bytes big_head = build::FromText("00dc");
  build::AppendLe32(big_head, big_size);
  Bytes seal(20, 0);
  seal[4] = '2';
  build::Append(big_head, seal);
  head.Raw(big_head);

  // The tail, placed at tail_start: a frame across the mark, audio, a damaged
  // frame, a chunk that is no frame, an intact frame, the index.
  const Bytes frame1 = build::H264Frame(6000, 11, true);
  const Bytes frame2 = build::H264Frame(3001, 12, false);
  const Bytes frame3 = build::H264Frame(20000, 13, true);
  build::RecordingBuilder tail("V264");
  tail.NoIndex();
  const auto at = [&] { return tail_start + (tail.NextOffset() - tail.MovieStart()); };
  tail.Frame(frame1).Audio(801);
  const std::uint64_t frame2_at = at();
  tail.Frame(frame2, {.damaged = true}).Chunk("00dc", build::Filler(5000, 14)).Frame(frame3);
  const std::uint64_t index_at = at();
  tail.Chunk("idx1", Bytes(32, 0));

  const Bytes head_bytes = head.Build();
  const Bytes tail_file = tail.Build();
  const Bytes tail_bytes(tail_file.begin() + static_cast<std::ptrdiff_t>(tail.MovieStart()),
                         tail_file.end());
  {
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head_bytes.data()),
              static_cast<std::streamsize>(head_bytes.size()));
    out.seekp(static_cast<std::streamoff>(tail_start));
    out.write(reinterpret_cast<const char*>(tail_bytes.data()),
              static_cast<std::streamsize>(tail_bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path_;
  }
  const std::uint64_t file_size = tail_start + tail_bytes.size();
  ASSERT_EQ(fs::file_size(path_), file_size);
  ASSERT_GT(file_size, k4GiB);

  FieldPanel panel;
  ErrorList errors;
  report::PrepareForCheck(panel, errors);
  StringTraceSink trace;
  CheckSummary summary;
  CheckOptions options;
  options.trace = &trace;
  options.summary = &summary;
  options.window_bytes = GetParam();
  CountingSource source(OpenFileSource(path_.string()));
  CheckContents(&source, path_.string(), "large.avi", panel, errors, options);

  EXPECT_EQ(trace.text(),
            "read RIFF sucess\r\n"
            "readBuf = 0x19-0x0-0x0-0x0\n"
            "temp_frane_rate = 25\n" +
                SealLine(frame1, 0, 6020) + "frame num 1 ok\n" +
                SealLine(frame2, 0x00010000u, 3021) + SealLine(frame3, 0, 20020) +
                "frame num 3 ok\n");
  EXPECT_EQ(panel.text(IDC_VIDEO_FORMAT), "Video format: h264\n");
  EXPECT_EQ(panel.text(IDC_AUDIO_FORMAT), "Audio format: G711\n");
  EXPECT_EQ(panel.text(IDC_PROGRESS), "Complete...100%");
  EXPECT_EQ(panel.text(IDC_RESULT),
            "There is an error in the video file.\n...Finish\n--------------------------\n");
  EXPECT_TRUE(panel.detail_enabled());
  EXPECT_EQ(errors.Text(), "frame error(frame_num = 2)\n");

  EXPECT_EQ(summary.size, file_size);
  EXPECT_EQ(summary.status, CheckStatus::kDamaged);
  EXPECT_EQ(summary.frames_checked, 3);
  EXPECT_EQ(summary.frames_failed, 1);
  ASSERT_EQ(summary.failed_frames.size(), 1u);
  EXPECT_EQ(summary.failed_frames[0].frame, 2);
  EXPECT_EQ(summary.failed_frames[0].offset, frame2_at);
  EXPECT_EQ(summary.walk_end, index_at);
  // The unchecked chunk is stepped over, not read.
  EXPECT_LT(source.requested(), std::uint64_t{8} << 20);
}

INSTANTIATE_TEST_SUITE_P(Windows, LargeRecordingTest,
                         ::testing::Values(kDefaultWindowBytes, std::size_t{4096}),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return "Window" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace quorvex
