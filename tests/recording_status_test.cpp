#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>

#include "path_check.h"
#include "report.h"
#include "run_checks.h"
#include "status.h"
#include "test_support.h"

namespace quorvex {
namespace {

using build::Bytes;
using build::RecordingBuilder;
using nlohmann::json;
using report::FileResult;

Bytes Key(std::uint32_t seed) { return build::H264Frame(300, seed, true); }

build::FrameOptions Damaged() {
  build::FrameOptions o;
  o.damaged = true;
  return o;
}

// The movie data behind a header list over 64 KiB: the size field's low
// half points into the header, which the walk then takes for movie data.
Bytes HeaderListOver64KiB() {
  RecordingBuilder rec;
  rec.Frame(Key(1)).Frame(Key(2));
  Bytes b = rec.Build();
  const std::size_t start = rec.MovieStart();
  Bytes junk = build::FromText("JUNK");
  build::AppendLe32(junk, 65536 - 8);
  junk.resize(65536, 0);
  b.insert(b.begin() + static_cast<std::ptrdiff_t>(start - 12), junk.begin(), junk.end());
  build::PutLe32(b, 16, static_cast<std::uint32_t>(start - 32 + 65536));
  return b;
}

// A recording cut inside the head of its last chunk.
Bytes CutChunkHead() {
  Bytes b = RecordingBuilder().NoIndex().Frame(Key(1)).Raw(build::FromText("00dc\x10")).Build();
  return b;
}

FileResult ResultOf(const Bytes& file) {
  const testing::CheckRun run = testing::RunCheck(file);
  FileResult r;
  r.path = "cam.avi";
  r.name = "cam.avi";
  r.summary = run.summary;
  return r;
}

struct StatusCase {
  const char* name;
  Bytes file;
  std::string verdict;
  std::optional<bool> walk_complete;
  const char* status;  // the reports' JSON status
  int exit_status;
  bool stopped_clause;  // the text report says where the check stopped
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class RecordingStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(RecordingStatusTest, SaysWhatWasChecked) {
  const StatusCase& c = GetParam();
  const FileResult r = ResultOf(c.file);
  const CheckSummary& s = r.summary;
  ASSERT_TRUE(s.verdict.has_value());
  EXPECT_EQ(*s.verdict, c.verdict);
  EXPECT_EQ(s.walk_complete, c.walk_complete);
  const json o = json::parse(report::JsonElement(r));
  EXPECT_EQ(o["status"], c.status);
  EXPECT_EQ(o["walk_complete"], c.walk_complete.has_value() ? json(*c.walk_complete) : json());
  EXPECT_EQ(report::ExitStatusOf(r), c.exit_status);
  const std::string text = report::TextReport(r, false);
  const std::string clause = s.walk_end.has_value()
                                 ? "; the check stopped at byte " + std::to_string(*s.walk_end) +
                                       " of " + std::to_string(s.size) + "\n"
                                 : std::string("(none)");
  EXPECT_EQ(text.find(clause) != std::string::npos, c.stopped_clause) << text;
}

std::vector<StatusCase> StatusCases() {
  const std::string ok = "No error occur.\n";
  const std::string one = "There is an error in the video file.\n";
  return {
      {"OnlyAudio", RecordingBuilder().Audio(64).Audio(33).Build(), ok, true, "unsealed", 1, false},
      {"OnlyUnknownPayloads",
       RecordingBuilder().Chunk("00dc", Bytes(60, 0xEE)).Chunk("00dc", Bytes(10, 1)).Build(), ok,
       true, "unsealed", 1, false},
      {"EarlyJunk", RecordingBuilder().Chunk("JUNK", Bytes(16, 0)).Frame(Key(1)).Build(), ok, false,
       "unsealed", 1, true},
      {"EarlyList", RecordingBuilder().Chunk("LIST", build::FromText("rec ")).Frame(Key(1)).Build(),
       ok, false, "unsealed", 1, true},
      {"HeaderListOver64KiB", HeaderListOver64KiB(), ok, false, "unsealed", 1, true},
      {"ForeignChunkAfterIntactFrames",
       RecordingBuilder()
           .Frame(Key(1))
           .Frame(Key(2))
           .Chunk("02wb", Bytes(8, 3))
           .Frame(Key(3), Damaged())
           .Build(),
       ok, false, "partly_checked", 1, true},
      {"ForeignChunkAfterDamagedFrame",
       RecordingBuilder().Frame(Key(1), Damaged()).Chunk("02wb", Bytes(8, 3)).Frame(Key(2)).Build(),
       one, false, "damaged", 1, true},
      {"EndsAtTheIndex", RecordingBuilder().Frame(Key(1)).Audio(20).Build(), ok, true, "intact", 0,
       false},
      {"EndsAtTheEndOfTheFile", RecordingBuilder().NoIndex().Frame(Key(1)).Build(), ok, true,
       "intact", 0, false},
      {"EndsAtACutChunkHead", CutChunkHead(), ok, true, "intact", 0, false},
      {"DamagedToTheIndex", RecordingBuilder().Frame(Key(1), Damaged()).Build(), one, true,
       "damaged", 1, false},
      {"RefusedVersion",
       RecordingBuilder().Frame(Key(1)).Frame(Key(2), build::FrameOptions{false, '1'}).Build(),
       "Error version video file.\n", false, "unsupported_version", 1, true},
  };
}

INSTANTIATE_TEST_SUITE_P(Recordings, RecordingStatusTest, ::testing::ValuesIn(StatusCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RecordingStatus, SnapshotsAndInvalidFilesHaveNoWalk) {
  for (const Bytes& file :
       {build::SealJpegOrPng(build::TinyJpeg()), RecordingBuilder("XVID").Build()}) {
    const FileResult r = ResultOf(file);
    EXPECT_EQ(r.summary.walk_complete, std::nullopt);
    EXPECT_TRUE(json::parse(report::JsonElement(r))["walk_complete"].is_null());
  }
}

TEST(RecordingStatus, EveryStatusHasItsRowAndOutcome) {
  const report::StatusInfo& partly = report::InfoOf(CheckStatus::kPartlyChecked);
  EXPECT_STREQ(partly.json_name, "partly_checked");
  EXPECT_EQ(partly.exit_status, 1);
  EXPECT_STREQ(report::OutcomeWords(partly.outcome), "partly checked");
}

// Audio chunks between failed frames leave them one run; any video chunk
// between them, checked or not, splits it.
TEST(RecordingStatus, DetailRunsFollowTheVideoChunks) {
  const Bytes file = RecordingBuilder()
                         .Rate(25)
                         .Scale(2)
                         .Frame(Key(1), Damaged())
                         .Audio(40)
                         .Frame(Key(2), Damaged())
                         .Chunk("00dc", Bytes(60, 0xEE))
                         .Frame(Key(3), Damaged())
                         .Build();
  const std::string text = report::TextReport(ResultOf(file), true);
  const std::size_t second = text.find('\n', text.find('\n') + 1);
  const std::string lines = text.substr(second + 1);
  EXPECT_EQ(lines.substr(0, lines.find(',')), "  frames 1-2 at 00:00:00.000-00:00:00.080");
  EXPECT_NE(lines.find("\n  frame 3 at 00:00:00.240, chunk at "), std::string::npos) << lines;
}

TEST(RecordingStatus, FrameRateIsWrittenWholeOnlyWhenWhole) {
  const auto rate_text = [](std::uint32_t rate, std::uint32_t scale) {
    const json o = json::parse(
        report::JsonElement(ResultOf(RecordingBuilder().Rate(rate).Scale(scale).Build())));
    return o["frame_rate"].dump();
  };
  EXPECT_EQ(rate_text(25, 1), "25");
  EXPECT_EQ(rate_text(50, 2), "25");
  EXPECT_EQ(rate_text(25, 2), "12.5");
  EXPECT_EQ(rate_text(30000, 1001), "29.97002997002997");
  EXPECT_EQ(rate_text(25, 0), "25");
}

TEST(SummaryLine, CountsPartlyCheckedWhenThereAreAny) {
  cli::RunTally t{1, 2, 3, 4, 5, 6, 0};
  t.outcomes[static_cast<std::size_t>(report::Outcome::kPartlyChecked)] = 7;
  EXPECT_EQ(cli::SummaryLine(t),
            "28 files: 1 intact, 2 damaged, 3 unsealed, 4 invalid, 5 unsupported version, 6 could "
            "not be checked, 7 partly checked\n");
  t.skipped = 8;
  EXPECT_EQ(cli::SummaryLine(t),
            "28 files: 1 intact, 2 damaged, 3 unsealed, 4 invalid, 5 unsupported version, 6 could "
            "not be checked, 7 partly checked, 8 of no known kind skipped\n");
}

}  // namespace
}  // namespace quorvex
