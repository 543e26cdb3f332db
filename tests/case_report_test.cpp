#include "case_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "field_panel.h"
#include "sha256.h"
#include "test_support.h"

namespace quorvex::report {
namespace {

using build::Bytes;
using testing::RunCheck;

struct HtmlCase {
  const char* name;
  std::string text;
  bool multiline;
  std::string expected;
};

class HtmlTextTest : public ::testing::TestWithParam<HtmlCase> {};

TEST_P(HtmlTextTest, ShownAsText) {
  const HtmlCase& c = GetParam();
  EXPECT_EQ(HtmlText(c.text, c.multiline), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HtmlTextTest,
    ::testing::Values(
        HtmlCase{"MarkupCharacters", "<script>&\"'", false, "&lt;script&gt;&amp;&quot;&#39;"},
        HtmlCase{"ControlsMarked", "a\x01\x1b", false,
                 "a<span class=\"esc\">\\x01</span><span class=\"esc\">\\x1b</span>"},
        HtmlCase{"LineFeedMarkedOnOneLine", "a\nb", false, "a<span class=\"esc\">\\x0a</span>b"},
        HtmlCase{"LineFeedKeptInMultiline", "a\nb\tc", true, "a\nb\tc"},
        HtmlCase{"CarriageReturnMarkedEvenInMultiline", "a\rb", true,
                 "a<span class=\"esc\">\\x0d</span>b"},
        HtmlCase{"DeleteAndC1Marked", "\x7f\xc2\x85", false,
                 "<span class=\"esc\">\\x7f</span><span class=\"esc\">\\x85</span>"},
        HtmlCase{"NoncharacterMarked", "\xef\xbf\xbe", false,
                 "<span class=\"esc\">\\u{fffe}</span>"},
        HtmlCase{"NotUtf8BecomesReplacement", "a\xff\xc3", false, "a\xef\xbf\xbd\xef\xbf\xbd"},
        HtmlCase{"OverlongBecomesReplacement", "\xc0\xbc", false, "\xef\xbf\xbd\xef\xbf\xbd"},
        HtmlCase{"Utf8Kept", "caf\xc3\xa9 \xe6\x98\xa0", false, "caf\xc3\xa9 \xe6\x98\xa0"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TimeCase {
  const char* name;
  std::int64_t seconds;
  const char* expected;
};

class UtcTimeTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(UtcTimeTest, Iso8601) { EXPECT_EQ(UtcTime(GetParam().seconds), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Times, UtcTimeTest,
                         ::testing::Values(TimeCase{"Epoch", 0, "1970-01-01T00:00:00Z"},
                                           TimeCase{"LeapDay", 1709251199, "2024-02-29T23:59:59Z"},
                                           TimeCase{"RunOfTheExample", 1796839205,
                                                    "2026-12-09T18:00:05Z"},
                                           TimeCase{"Before1970", -1, "1969-12-31T23:59:59Z"}),
                         [](const auto& info) { return std::string(info.param.name); });

FileResult ResultOf(const Bytes& bytes, const std::string& path) {
  testing::CheckRun run = RunCheck(bytes, BareName(path), path);
  FileResult r;
  r.path = path;
  r.name = BareName(path);
  r.summary = run.summary;
  r.panel = run.panel;
  r.errors = run.errors;
  r.sha256_wanted = true;
  r.sha256 = std::string(64, 'a');
  return r;
}

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  const std::size_t begin = text.find(open);
  if (begin == std::string::npos) return {};
  const std::size_t end = text.find(close, begin + open.size());
  return text.substr(begin + open.size(), end - begin - open.size());
}

std::string Unescaped(std::string text) {
  for (const auto& [ref, c] : std::vector<std::pair<std::string, std::string>>{
           {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
    for (std::size_t at = 0; (at = text.find(ref, at)) != std::string::npos; at += c.size()) {
      text.replace(at, ref.size(), c);
    }
  }
  return text;
}

std::vector<FileResult> HostileResults() {
  build::RecordingBuilder rec;
  rec.Frame(build::H264Frame(80, 1, true)).Frame(build::H264Frame(80, 2, true), {true, '2'});
  Bytes damaged_snapshot = build::SealJpegOrPng(build::TinyJpeg());
  damaged_snapshot[10] ^= 1;
  return {ResultOf(rec.Build(), "rec/<script>alert(1)</script>.avi"),
          ResultOf(damaged_snapshot, "a\"b'c&d</pre>.jpg")};
}

TEST(CaseReportWriterTest, EmbedsTheJsonArrayAndItsHash) {
  const std::vector<FileResult> results = HostileResults();
  StringCaseReportOutput out;
  CaseDetails details;
  details.case_name = "</style><script>x</script>";
  CaseReportWriter writer(details, out);
  writer.Begin();
  for (const FileResult& r : results) writer.AddFile(r, {});
  writer.End(CaseEnd{"2026-12-09T18:00:05Z", std::nullopt});
  ASSERT_TRUE(writer.ok());

  const std::string embedded =
      Unescaped(Between(out.text(), "<pre id=\"quorvex-results\">", "</pre>"));
  EXPECT_EQ(embedded, JsonReport(results));
  Sha256 hash;
  hash.Update(reinterpret_cast<const std::uint8_t*>(embedded.data()), embedded.size());
  EXPECT_EQ(writer.json_sha256(), hash.HexDigest());
  EXPECT_NE(out.text().find("<code id=\"results-sha256\">" + writer.json_sha256()),
            std::string::npos);
  // No name or option text adds markup.
  EXPECT_EQ(out.text().find("<script"), std::string::npos);
  EXPECT_EQ(out.text().find("</style><"), std::string::npos);
  EXPECT_EQ(out.text().find("</pre>.jpg"), std::string::npos);
}

TEST(CaseReportWriterTest, CountsOutcomesAndAuditStates) {
  StringCaseReportOutput out;
  CaseReportWriter writer(CaseDetails{}, out);
  writer.Begin();
  for (const FileResult& r : HostileResults()) writer.AddFile(r, {});
  writer.AddMissing("gone/<b>.jpg", std::string(64, 'c'));
  AuditSummary audit{
      "manifest <1>.sha256", std::string(64, 'b'), 9, {{"unchanged", 7}, {"missing", 2}}};
  writer.End(CaseEnd{"2026-12-09T18:00:05Z", audit});
  const std::string& html = out.text();
  EXPECT_NE(html.find("<tr><td>damaged</td><td>2</td></tr>"), std::string::npos);
  EXPECT_NE(html.find("<tr><td>intact</td><td>0</td></tr>"), std::string::npos);
  EXPECT_NE(html.find("manifest &lt;1&gt;.sha256"), std::string::npos);
  EXPECT_NE(html.find("<tr><td>missing</td><td>2</td></tr>"), std::string::npos);
  EXPECT_NE(html.find("<h3>gone/&lt;b&gt;.jpg</h3>"), std::string::npos);
  EXPECT_NE(html.find("\"status\": \"missing\""), std::string::npos);
}

// A report that cannot be written says so.
class FailingOutput : public CaseReportOutput {
 public:
  bool Write(std::string_view) override { return false; }
  bool Keep(std::string_view) override { return true; }
  bool WriteKept() override { return true; }
};

TEST(CaseReportWriterTest, FailedWriteIsNotOk) {
  FailingOutput out;
  CaseReportWriter writer(CaseDetails{}, out);
  writer.Begin();
  writer.End(CaseEnd{});
  EXPECT_FALSE(writer.ok());
}

TEST(SealCrcsTest, FailedFrameAndSnapshotCarryBothChecksums) {
  const Bytes payload = build::H264Frame(80, 2, true);
  build::RecordingBuilder rec;
  rec.Frame(build::H264Frame(80, 1, true)).Frame(payload, {true, '2'});
  const testing::CheckRun run = RunCheck(rec.Build());
  ASSERT_EQ(run.summary.failed_frames.size(), 1u);
  const SealCrcs frame = run.summary.failed_frames[0].crcs;
  EXPECT_EQ(frame.computed, build::ReferenceCrc32(payload));
  EXPECT_NE(frame.stored, build::ReferenceCrc32(payload));
  EXPECT_EQ(run.summary.snapshot_crcs, std::nullopt);

  Bytes image = build::SealJpegOrPng(build::TinyJpeg());
  const std::uint32_t sealed = build::ReferenceCrc32(image.data(), image.size() - 4);
  image[3] ^= 1;
  const testing::CheckRun snap = RunCheck(image);
  ASSERT_TRUE(snap.summary.snapshot_crcs.has_value());
  EXPECT_EQ(snap.summary.snapshot_crcs->stored, sealed);
  EXPECT_EQ(snap.summary.snapshot_crcs->computed,
            build::ReferenceCrc32(image.data(), image.size() - 4));
}

TEST(SealCrcsTest, FrameCutByTheEndOfTheFileHasNoComputedChecksum) {
  build::RecordingBuilder rec;
  rec.NoIndex().Frame(build::H264Frame(200, 1, true));
  Bytes bytes = rec.Build();
  bytes.resize(bytes.size() - 50);
  const testing::CheckRun run = RunCheck(bytes);
  ASSERT_EQ(run.summary.failed_frames.size(), 1u);
  EXPECT_EQ(run.summary.failed_frames[0].crcs.computed, std::nullopt);
}

}  // namespace
}  // namespace quorvex::report
