#include "check_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dialog_fields.h"
#include "test_support.h"

namespace quorvex {
namespace {

using build::Bytes;
using testing::Hex;

const std::string kReportEnd = "...Finish\n--------------------------\n";

TEST(CheckFile, ShowsFieldsThenNameAndPathThenReport) {
  const testing::CheckRun run =
      testing::RunCheck(Hex("FFD8FFD9 10F02A67"), "ch01.jpg", "C:\\rec\\ch01.jpg");
  const std::vector<std::string> expected = {
      "show 1002",
      "show 1003",
      "show 1004",
      "show 1005",
      "show 1006",
      "text 1001 Name: ch01.jpg\n",
      "text 1002 Path: C:\\rec\\ch01.jpg\n",
      "text 1006 This JPEG's check sum is correct\n...Finish\n--------------------------\n",
  };
  EXPECT_EQ(run.panel.log(), expected);
}

TEST(CheckFile, FileOfNoKnownKindGetsNoReport) {
  const testing::CheckRun run = testing::RunCheck(Hex("424D0001"), "a.bmp", "/x/a.bmp");
  EXPECT_EQ(run.trace, "read RIFF or picture error\r\n");
  EXPECT_EQ(run.panel.text(IDC_RESULT), "");
  EXPECT_EQ(run.panel.text(IDC_NAME), "Name: a.bmp\n");
  EXPECT_EQ(run.panel.text(IDC_PATH), "Path: /x/a.bmp\n");
  EXPECT_EQ(run.panel.text(IDC_VIDEO_FORMAT), "Video Format: ");
  for (int id : {IDC_PATH, IDC_VIDEO_FORMAT, IDC_AUDIO_FORMAT, IDC_PROGRESS, IDC_RESULT}) {
    EXPECT_TRUE(run.panel.visible(id)) << id;
  }
  EXPECT_EQ(run.summary.status, CheckStatus::kUnknownKind);
  EXPECT_EQ(run.summary.verdict, std::nullopt);
}

TEST(CheckFile, FormatCharactersInNameAndPathAreShownUnchanged) {
  const std::string name = "100%s%d%n%%.jpg";
  const std::string path = "/tmp/%x%s/" + name;
  const testing::CheckRun run = testing::RunCheck(Hex("FFD8FFD9"), name, path);
  EXPECT_EQ(run.panel.text(IDC_NAME), "Name: " + name + "\n");
  EXPECT_EQ(run.panel.text(IDC_PATH), "Path: " + path + "\n");
}

TEST(CheckFile, LongPathShownInFull) {
  const std::string path = "/" + std::string(5000, 'd') + "/f.jpg";
  const testing::CheckRun run = testing::RunCheck(Hex("FFD8FFD9"), "f.jpg", path);
  EXPECT_EQ(run.panel.text(IDC_PATH), "Path: " + path + "\n");
}

TEST(CheckFile, UnopenableContentsGetVerdict) {
  const testing::CheckRun run =
      testing::RunCheckWindowed(nullptr, kDefaultWindowBytes, "such", "/no/such");
  EXPECT_EQ(run.trace, "open file error\n");
  EXPECT_EQ(run.panel.text(IDC_RESULT), "Can't open the file.\n" + kReportEnd);
  EXPECT_EQ(run.panel.text(IDC_NAME), "Name: such\n");
  EXPECT_EQ(run.summary.status, CheckStatus::kUnreadable);

  MemorySource unmeasurable(Hex("FFD8"));
  unmeasurable.set_measure_fails(true);
  EXPECT_EQ(testing::RunCheckOn(unmeasurable).panel.text(IDC_RESULT),
            "Can't open the file.\n" + kReportEnd);
}

TEST(CheckFile, WindowThatCannotBeObtainedEndsCheckWithoutVerdict) {
  MemorySource source(Hex("FFD8FFD9"));
  source.set_claimed_size(std::uint64_t{1} << 62);
  const testing::CheckRun run = testing::RunCheckWindowed(&source, std::size_t{1} << 62);
  EXPECT_EQ(run.trace, "malloc error\n");
  EXPECT_EQ(run.panel.text(IDC_RESULT), "");
  EXPECT_EQ(run.summary.status, CheckStatus::kUnreadable);
}

TEST(CheckFile, UndeliveredBytesMeanTheFileChanged) {
  // The file shrank after it was measured: the missing trailer is not read
  // as zeros, the check says that the file changed.
  MemorySource source(Hex("FFD8FFD9"));
  source.set_claimed_size(8);
  const testing::CheckRun run = testing::RunCheckOn(source);
  // The first fill of the window already comes up short.
  EXPECT_EQ(run.trace, "file changed error\n");
  EXPECT_EQ(run.panel.text(IDC_RESULT), "The file changed while it was checked.\n" + kReportEnd);
  EXPECT_EQ(run.summary.status, CheckStatus::kChanged);

  // Reads that deliver a few bytes at a time give the same result as whole ones.
  const Bytes rec = build::RecordingBuilder().Frame(build::H264Frame(5000, 1, true)).Build();
  MemorySource trickle(rec);
  trickle.set_max_read(7);
  EXPECT_EQ(testing::RunCheckOn(trickle).panel.text(IDC_RESULT), "No error occur.\n" + kReportEnd);
  EXPECT_EQ(testing::RunCheck(rec).panel.text(IDC_RESULT), "No error occur.\n" + kReportEnd);
}

TEST(CheckFile, SmallWindowGivesSameResultsAsLargeOne) {
  build::RecordingBuilder rec;
  for (std::uint32_t i = 0; i < 30; ++i) {
    rec.Frame(build::H264Frame(3000 + i * 101, i, i % 5 == 0), {i % 7 == 3, '2'});
    rec.Audio(500 + i);
  }
  const Bytes file = rec.Build();
  MemorySource source(file);
  const testing::CheckRun small = testing::RunCheckWindowed(&source, 4096, "n", "p");
  const testing::CheckRun whole = testing::RunCheck(file, "n", "p");
  EXPECT_EQ(small.trace, whole.trace);
  EXPECT_EQ(small.errors.Text(), whole.errors.Text());
  EXPECT_EQ(small.errors.Text(),
            "frame error(frame_num = 4)\nframe error(frame_num = 11)\n"
            "frame error(frame_num = 18)\nframe error(frame_num = 25)\n");
}

class CheckRealFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() /
        ("quorvex-check-file-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Result(const std::string& path) {
    FieldPanel panel;
    ErrorList errors;
    report::PrepareForCheck(panel, errors);
    NullTraceSink trace;
    CheckOptions options;
    options.trace = &trace;
    CheckFile(path, "x", panel, errors, options);
    return panel.text(IDC_RESULT);
  }

  std::filesystem::path dir_;
};

TEST_F(CheckRealFile, ReadsRegularFilesAndRefusesOthers) {
  const std::string jpeg = (dir_ / "a.jpg").string();
  std::ofstream(jpeg, std::ios::binary) << std::string("\xFF\xD8\xFF\xD9\x10\xF0\x2A\x67", 8);
  EXPECT_EQ(Result(jpeg), "This JPEG's check sum is correct\n" + kReportEnd);
  EXPECT_EQ(Result((dir_ / "missing.jpg").string()), "Can't open the file.\n" + kReportEnd);
  EXPECT_EQ(Result(dir_.string()), "Can't open the file.\n" + kReportEnd);
  const std::string empty = (dir_ / "empty").string();
  std::ofstream(empty, std::ios::binary).flush();
  EXPECT_EQ(Result(empty), "");
}

}  // namespace
}  // namespace quorvex
