// The console program end to end, on the bundled samples.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "test_support.h"

namespace {

using quorvex::testing::ProgramRun;

ProgramRun Check(const std::string& args, const std::string& err_to = "/dev/null") {
  return quorvex::testing::CheckInSamples(args, err_to);
}

struct SampleCase {
  const char* file;
  const char* kind;
  const char* status;
  const char* verdict;  // null for none
  int frames_checked;
  int frames_failed;
};

void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.file; }

class CliSampleTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(CliSampleTest, JsonDescribesSample) {
  const SampleCase& c = GetParam();
  const ProgramRun run = Check(std::string("--json ") + c.file);
  const auto doc = nlohmann::json::parse(run.out);
  ASSERT_EQ(doc.size(), 1u);
  const auto& o = doc[0];
  EXPECT_EQ(o["path"], c.file);
  EXPECT_EQ(o["name"], c.file);
  EXPECT_EQ(o["kind"], c.kind);
  EXPECT_EQ(o["status"], c.status);
  if (c.verdict == nullptr) {
    EXPECT_TRUE(o["verdict"].is_null());
  } else {
    EXPECT_EQ(o["verdict"], c.verdict);
    EXPECT_EQ(o["fields"]["IDC_RESULT"],
              std::string(c.verdict) + "\n...Finish\n--------------------------\n");
  }
  EXPECT_EQ(o["frames_checked"], c.frames_checked);
  EXPECT_EQ(o["frames_failed"], c.frames_failed);
  EXPECT_EQ(o["fields"]["IDC_NAME"], std::string("Name: ") + c.file + "\n");
  EXPECT_EQ(run.status, std::string(c.status) == "intact" ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, CliSampleTest,
    ::testing::Values(
        SampleCase{"snapshot-intact.jpg", "jpg", "intact", "This JPEG's check sum is correct", 0,
                   0},
        SampleCase{"snapshot-damaged.jpg", "jpg", "damaged", "This JPEG's check sum is error", 0,
                   0},
        SampleCase{"snapshot-intact.png", "png", "intact", "This PNG's check sum is correct", 0, 0},
        SampleCase{"snapshot-intact.bmp", "bmp", "intact", "This BMP's check sum is correct", 0, 0},
        SampleCase{"snapshot-unsealed.bmp", "bmp", "unsealed",
                   "Can't find crc code, it's the invalid file.", 0, 0},
        SampleCase{"recording-h264-intact.avi", "avi", "intact", "No error occur.", 48, 0},
        SampleCase{"recording-h264-damaged.avi", "avi", "damaged",
                   "There are 2 errors in the video file.", 48, 2},
        SampleCase{"recording-mjpg-audio.avi", "avi", "intact", "No error occur.", 20, 0},
        SampleCase{"sound.wav", "avi", "invalid", "It's the invalid file.", 0, 0},
        SampleCase{"CMakeLists.txt", "", "unknown_kind", nullptr, 0, 0}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.file; *p != '\0'; ++p) {
        if (std::isalnum(static_cast<unsigned char>(*p))) name.push_back(*p);
      }
      return name;
    });

TEST(Cli, DamagedRecordingInFull) {
  const ProgramRun run = Check("--json ./recording-h264-damaged.avi");
  const auto o = nlohmann::json::parse(run.out)[0];
  EXPECT_EQ(o["name"], "recording-h264-damaged.avi");
  EXPECT_EQ(o["video_format"], "h264");
  EXPECT_EQ(o["audio_format"], "G711");
  EXPECT_EQ(o["failed_frames"],
            nlohmann::json::parse(R"([{"frame":7,"offset":18436,"chunk":6,"time":0.24,
                                       "stored_crc":"b2326272","computed_crc":"b2336272"},
                                      {"frame":30,"offset":73814,"chunk":29,"time":1.16,
                                       "stored_crc":"49676307","computed_crc":"49666307"}])"));
  EXPECT_EQ(o["walk_end"], 131284);
  EXPECT_EQ(o["size"], 131292);
  const auto& f = o["fields"];
  EXPECT_EQ(f["IDC_PATH"], "Path: ./recording-h264-damaged.avi\n");
  EXPECT_EQ(f["IDC_VIDEO_FORMAT"], "Video format: h264\n");
  EXPECT_EQ(f["IDC_AUDIO_FORMAT"], "Audio format: G711\n");
  EXPECT_EQ(f["IDC_PROGRESS"], "Complete...100%");
  EXPECT_EQ(f["detail_enabled"], true);
  EXPECT_EQ(f["error_list"], "frame error(frame_num = 7)\nframe error(frame_num = 30)\n");
}

TEST(Cli, ExitStatusTakesWorstFile) {
  EXPECT_EQ(Check("snapshot-intact.jpg recording-h264-intact.avi").status, 0);
  EXPECT_EQ(Check("snapshot-intact.jpg snapshot-unsealed.bmp").status, 1);
  EXPECT_EQ(Check("no-such-file snapshot-damaged.jpg").status, 2);
  EXPECT_EQ(Check("snapshot-damaged.jpg no-such-file").status, 2);
  EXPECT_EQ(Check("--bogus snapshot-intact.jpg").status, 2);
  EXPECT_EQ(Check("").status, 2);
}

TEST(Cli, JsonKeepsArgumentOrderAndUnreadableFiles) {
  const ProgramRun run = Check("--json snapshot-intact.png no-such-file");
  const auto doc = nlohmann::json::parse(run.out);
  ASSERT_EQ(doc.size(), 2u);
  EXPECT_EQ(doc[0]["kind"], "png");
  EXPECT_EQ(doc[1]["status"], "unreadable");
  EXPECT_EQ(doc[1]["verdict"], "Can't open the file.");
  EXPECT_EQ(run.status, 2);
}

TEST(Cli, TraceGoesToStderrByteForByte) {
  const std::string err = ::testing::TempDir() + "quorvex-trace.txt";
  const ProgramRun run = Check("--trace snapshot-intact.jpg sound.wav CMakeLists.txt", err);
  std::FILE* f = std::fopen(err.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::string trace(4096, '\0');
  trace.resize(std::fread(trace.data(), 1, trace.size(), f));
  std::fclose(f);
  std::remove(err.c_str());
  EXPECT_EQ(trace,
            "read picture sucess\ncheck_sum = 0x7b4cbc4b\nfile_check_sum = "
            "0x7b4cbc4b,tmp_file_size = 163\n"
            "read RIFF sucess\r\n"
            "read RIFF or picture error\r\n");
  EXPECT_EQ(run.out,
            "snapshot-intact.jpg: This JPEG's check sum is correct\n"
            "sound.wav: It's the invalid file.\n"
            "CMakeLists.txt: not a snapshot or recording of a known kind\n"
            "3 files: 1 intact, 0 damaged, 0 unsealed, 1 invalid, 0 unsupported version, "
            "1 could not be checked\n");
}

TEST(Cli, QuietOnStderrWhenAllCouldBeChecked) {
  const std::string err = ::testing::TempDir() + "quorvex-quiet.txt";
  Check("--detail recording-h264-damaged.avi snapshot-damaged.jpg", err);
  std::FILE* f = std::fopen(err.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::fgetc(f), EOF);
  std::fclose(f);
  std::remove(err.c_str());
}

TEST(Cli, HelpAndVersion) {
  const ProgramRun version = Check("--version");
  EXPECT_EQ(version.out, "quorvex-check 1.0.0.11\n");
  EXPECT_EQ(version.status, 0);
  const ProgramRun help = Check("--help");
  EXPECT_EQ(help.out.rfind("usage: quorvex-check [OPTIONS] FILE...\n", 0), 0u);
  EXPECT_EQ(help.status, 0);
}

}  // namespace
