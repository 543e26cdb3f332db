#ifndef QUORVEX_REPORT_CASE_REPORT_H
#define QUORVEX_REPORT_CASE_REPORT_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report.h"
#include "sha256.h"
#include "status.h"

namespace quorvex::report {

// What a case report says of the run before its first file. Every text is
// shown as text, whatever it holds.
struct CaseDetails {
  std::string case_name;  // --case; not shown when empty
  std::string examiner;   // --examiner
  std::string note;       // --note; may hold line feeds
  std::string tool;       // "quorvex-check"
  std::string version;    // "1.0.0.11"
  std::string platform;   // system and processor architecture
  std::string command_line;
  std::string started;  // UTC, "2026-12-09T18:00:05Z"
};

// What an audit run adds to the summary: the manifest and how many files
// stand in each of its states, in the order they are to be shown.
struct AuditSummary {
  std::string manifest_path;
  std::string manifest_sha256;
  std::uint64_t listed = 0;  // the entries that take part
  std::vector<std::pair<std::string, std::uint64_t>> states;
};

// What the report says of the run at its end.
struct CaseEnd {
  std::string ended;  // UTC, as `started`
  std::optional<AuditSummary> audit;
};

// Where the report goes. The embedded results are the run's JSON array; they
// stand in one element after the files' sections, so the writer hands them
// on as they come, to be kept until the end (a temporary file in the console
// program, memory in the page) and written out in one piece there.
class CaseReportOutput {
 public:
  virtual ~CaseReportOutput() = default;
  // Writes the next piece of the report; false when it could not.
  virtual bool Write(std::string_view text) = 0;
  // Keeps a piece of the embedded results, in order.
  virtual bool Keep(std::string_view text) = 0;
  // Writes everything kept, in order, as the next piece of the report.
  virtual bool WriteKept() = 0;
};

// Both in memory, for the page and the tests.
class StringCaseReportOutput : public CaseReportOutput {
 public:
  bool Write(std::string_view text) override;
  bool Keep(std::string_view text) override;
  bool WriteKept() override;
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  std::string kept_;
};

// A file's part of the report, made apart from the writer and held until the
// report is written (the page keeps one for each file it checked).
struct CaseFileSection {
  std::string html;          // the file's section
  std::string json_element;  // its JSON element, as JsonElement gives it
  CheckStatus status = CheckStatus::kUnreadable;
  bool skipped = false;
  std::optional<std::string> manifest_state;
};

// `bins`: the covered fraction of each stretch of the file (CoverageBins),
// for a recording's timeline; `skipped`: a file of no known kind met inside a
// folder walk, counted apart as the summary line does.
CaseFileSection MakeCaseFileSection(const FileResult& result, const std::vector<float>& bins,
                                    bool skipped = false);

// Writes one self-contained HTML report of a run: the header, a section per
// file as its turn comes, then the summary, the method and its limits, and the
// results as JSON with their SHA-256. Memory does not grow with the number of
// files.
class CaseReportWriter {
 public:
  CaseReportWriter(CaseDetails details, CaseReportOutput& output);

  void Begin();
  // Writes a file's section and JSON as they are made, in pieces.
  void AddFile(const FileResult& result, const std::vector<float>& bins, bool skipped = false);
  // The same from a section made before.
  void AddSection(const CaseFileSection& section);
  // A manifest entry of an audit run whose file was not found.
  void AddMissing(const std::string& path, const std::string& listed_sha256);
  void End(const CaseEnd& end);
  // Ends a report whose run was interrupted at `when`: a note that it is
  // incomplete, and no summary or results.
  void Interrupted(const std::string& when);

  // Whether every piece was written.
  bool ok() const { return ok_; }
  // The SHA-256 of the embedded JSON, once End has run.
  const std::string& json_sha256() const { return json_sha256_; }

 private:
  void Write(std::string_view text);
  void KeepJson(std::string_view json);
  void Count(CheckStatus status, bool skipped);

  CaseDetails details_;
  CaseReportOutput& output_;
  bool ok_ = true;
  std::uint64_t files_ = 0;
  std::array<std::uint64_t, static_cast<std::size_t>(Outcome::kCount)> outcomes_{};
  std::uint64_t skipped_ = 0;
  std::uint64_t missing_ = 0;
  JsonArrayWriter json_array_;
  std::string json_cut_;  // the start of a UTF-8 sequence the last piece cut
  Sha256 json_hash_;
  std::string json_sha256_;
};

// `text` as HTML text: markup characters as references, line feeds and tabs
// kept when `multiline`, and characters HTML cannot carry (other controls,
// noncharacters) shown as "\xHH" or "\u{HHHH}" in a marked span. Bytes that
// are not UTF-8 become U+FFFD, as in the JSON.
std::string HtmlText(std::string_view text, bool multiline = false);

// The time of `seconds` since 1970 in UTC, "2026-12-09T18:00:05Z".
std::string UtcTime(std::int64_t seconds);

}  // namespace quorvex::report

#endif
