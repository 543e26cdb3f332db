// The compact lists of failed frames and the JSON written in pieces: the
// same values and the same bytes as the plain forms they replace.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "report.h"

namespace quorvex {
namespace {

using ordered = nlohmann::ordered_json;

struct ListCase {
  const char* name;
  std::vector<FailedFrame> frames;
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << c.name; }

std::vector<FailedFrame> Rising(std::size_t n) {
  std::vector<FailedFrame> f;
  for (std::size_t i = 0; i < n; ++i)
    // Checksums as a damaged recording has them: unrelated 32-bit values.
    f.push_back({std::int64_t(i * 3 + 1), 5000 + i * 70000, i * 4,
                 SealCrcs{std::uint32_t(i * 2654435761u), std::uint32_t(i * 40503u + 7)}});
  return f;
}

class FailedFrameListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(FailedFrameListTest, GivesBackWhatWentIn) {
  const ListCase& c = GetParam();
  FailedFrameList list;
  for (const FailedFrame& f : c.frames) list.push_back(f);
  ASSERT_EQ(list.size(), c.frames.size());
  std::vector<FailedFrame> back(list.begin(), list.end());
  EXPECT_EQ(back, c.frames);
  for (std::size_t i = 0; i < c.frames.size(); i += 7) EXPECT_EQ(list[i], c.frames[i]);
  if (!c.frames.empty()) {
    EXPECT_EQ(list.back(), c.frames.back());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, FailedFrameListTest,
    ::testing::Values(ListCase{"Empty", {}}, ListCase{"One", {{1, 100, 0, {}}}},
                      ListCase{"AcrossMarks", Rising(1000)},
                      // Values that fall and the extremes of every field.
                      ListCase{"FallingAndExtremes",
                               {{INT64_MAX, UINT64_MAX, UINT64_MAX, SealCrcs{UINT32_MAX, 0u}},
                                {INT64_MIN, 0, 0, SealCrcs{0, std::nullopt}},
                                {-1, 1, UINT64_MAX / 2, SealCrcs{0, UINT32_MAX}},
                                {0, UINT64_MAX, 1, SealCrcs{UINT32_MAX, std::nullopt}}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FailedFrameList, TakesAFewBytesAFrame) {
  FailedFrameList list;
  for (const FailedFrame& f : Rising(100000)) list.push_back(f);
  // Two checksums take some 10 bytes, the rest a few; a growing buffer may
  // hold up to twice that.
  EXPECT_LT(list.stored_bytes(), 100000u * 24);
}

// The object as it was made whole before the failed frames were written in
// pieces.
std::string WholeElement(const report::FileResult& r) {
  const CheckSummary& s = r.summary;
  ordered failed = ordered::array();
  for (const FailedFrame f : s.failed_frames) {
    const ordered time =
        s.frame_rate.has_value()
            ? ordered(static_cast<double>(f.chunk) * s.frame_rate->scale / s.frame_rate->rate)
            : ordered(nullptr);
    const ordered computed =
        f.crcs.computed.has_value() ? ordered(report::CrcHex(*f.crcs.computed)) : ordered(nullptr);
    failed.push_back({{"frame", f.frame},
                      {"offset", f.offset},
                      {"chunk", f.chunk},
                      {"time", time},
                      {"stored_crc", report::CrcHex(f.crcs.stored)},
                      {"computed_crc", computed}});
  }
  ordered o = ordered::parse(report::JsonElement(r));
  o["failed_frames"] = failed;
  o["fields"]["error_list"] = r.errors.Text();
  const std::string text = o.dump(2);
  std::string element = "  ";
  for (const char c : text) {
    element += c;
    if (c == '\n') element += "  ";
  }
  return element;
}

struct ElementCase {
  const char* name;
  std::size_t frames;
  std::optional<FrameRate> rate;
};

void PrintTo(const ElementCase& c, std::ostream* os) { *os << c.name; }

class StreamedElementTest : public ::testing::TestWithParam<ElementCase> {};

TEST_P(StreamedElementTest, SameBytesAsTheWholeObject) {
  const ElementCase& c = GetParam();
  report::FileResult r;
  r.path = "/rec/\"failed_frames\": [x\n.avi";
  r.name = "x.avi";
  r.summary.kind = "avi";
  r.summary.status = c.frames > 0 ? CheckStatus::kDamaged : CheckStatus::kIntact;
  r.summary.frame_rate = c.rate;
  for (std::size_t i = 0; i < c.frames; ++i) {
    // Chunks give whole seconds, fractions and long fractions.
    // The last frame runs past the end of the file: none computed.
    const std::optional<std::uint32_t> computed =
        i + 1 < c.frames ? std::optional<std::uint32_t>(std::uint32_t(i * 77)) : std::nullopt;
    r.summary.failed_frames.push_back(
        {std::int64_t(i + 1), 1000 + 64 * i, i * 7, SealCrcs{std::uint32_t(~i), computed}});
    r.errors.AddFrame(std::int64_t(i + 1));
  }
  r.summary.frames_failed = static_cast<std::int64_t>(c.frames);
  std::vector<std::string> pieces;
  report::WriteJsonElement(r, [&pieces](std::string_view p) { pieces.emplace_back(p); });
  std::string streamed;
  for (const std::string& p : pieces) streamed += p;
  EXPECT_EQ(streamed, WholeElement(r));
  // Large results go out in many pieces, none of them large.
  for (const std::string& p : pieces) EXPECT_LT(p.size(), 40000u);
}

INSTANTIATE_TEST_SUITE_P(
    Results, StreamedElementTest,
    ::testing::Values(ElementCase{"NoFailedFrames", 0, FrameRate{25, 1}},
                      ElementCase{"OneFrameNoRate", 1, std::nullopt},
                      ElementCase{"ManyFramesAt25", 5000, FrameRate{25, 1}},
                      ElementCase{"ManyFramesAt3", 5000, FrameRate{3, 1}},
                      ElementCase{"ManyFramesAt12_5", 5000, FrameRate{25, 2}},
                      ElementCase{"ManyFramesAt29_97", 5000, FrameRate{30000, 1001}},
                      ElementCase{"ManyFramesAt1000", 3000, FrameRate{1000, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvex
