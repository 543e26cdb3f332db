// The engine as a WebAssembly module for the page's worker. The worker hands
// in the file's name and size and serves the reads; the module runs the same
// check as the console program and hands back its JSON element.
//
// Positions cross the boundary as doubles: wasm32's size_t has 32 bits, and
// a double holds every file size up to 2^53 exactly.
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "case_report.h"
#include "check_file.h"
#include "coverage_bins.h"
#include "dialog_fields.h"
#include "field_panel.h"
#include "report.h"
#include "sha256.h"
#include "status.h"
#include "trace.h"

#define QUORVEX_IMPORT(name) __attribute__((import_module("quorvex"), import_name(name)))
#define QUORVEX_EXPORT(name) extern "C" __attribute__((export_name(name)))

// Reads up to `count` bytes at `pos` into `out`; the module is suspended
// while the worker waits for the file. Returns how many bytes were read, or
// -(bytes read + 1) when the read failed in front of the next byte.
QUORVEX_IMPORT("read_at")
std::int32_t ImportReadAt(double pos, std::uint8_t* out, std::int32_t count);
QUORVEX_IMPORT("progress") void ImportProgress(double done, double total);

namespace quorvex::web {
namespace {

constexpr std::size_t kTimelineBins = 400;

// The chosen File, read by the worker.
class WorkerFileSource : public ByteSource {
 public:
  explicit WorkerFileSource(std::uint64_t size) : size_(size) {}
  bool MeasureSize(std::uint64_t& size) override {
    size = size_;
    return true;
  }
  ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override {
    if (pos >= size_ || count == 0) return {};
    const std::size_t limit = std::numeric_limits<std::int32_t>::max();
    const std::int32_t got = ImportReadAt(static_cast<double>(pos), out,
                                          static_cast<std::int32_t>(std::min(count, limit)));
    if (got >= 0) return {static_cast<std::size_t>(got), std::nullopt};
    const auto delivered = static_cast<std::size_t>(-(got + 1));
    return {delivered, pos + delivered};
  }
  std::uint64_t SeekTo(std::uint64_t pos) override { return pos; }

 private:
  std::uint64_t size_;
};

// Where the module's call stack is kept while it is suspended in a read.
alignas(16) std::uint8_t g_suspend_stack[std::size_t{64} << 10];
std::string g_input;
std::string g_output;
std::string g_detail;
std::optional<report::CoverageBins> g_bins;
report::JsonArrayWriter g_array;
int g_outcome = 0;
// The last file's part of a case report, and the report being written.
report::CaseFileSection g_section;
std::optional<report::StringCaseReportOutput> g_report_output;
std::optional<report::CaseReportWriter> g_report;

// The input's parts, split at NUL characters.
std::vector<std::string> InputParts() {
  std::vector<std::string> parts(1);
  for (const char c : g_input) {
    if (c == '\0') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

}  // namespace
}  // namespace quorvex::web

using namespace quorvex;
using namespace quorvex::web;

QUORVEX_EXPORT("qv_suspend_stack") std::uint8_t* QvSuspendStack() { return g_suspend_stack; }
QUORVEX_EXPORT("qv_suspend_stack_size") std::size_t QvSuspendStackSize() {
  return sizeof g_suspend_stack;
}

// A buffer of `size` bytes for the worker to write the input into.
QUORVEX_EXPORT("qv_input") char* QvInput(std::size_t size) {
  g_input.assign(size, '\0');
  return g_input.data();
}

QUORVEX_EXPORT("qv_output") const char* QvOutput() { return g_output.data(); }
QUORVEX_EXPORT("qv_output_size") std::size_t QvOutputSize() { return g_output.size(); }

// Checks the file at the path given as input (relative, with '/' between
// folders), of `size` bytes, as `quorvex-check --json PATH` does; the output
// holds its JSON element, the detail its failed frames as `--detail` lists
// them. With `want_hash`, its part of a case report has its SHA-256.
QUORVEX_EXPORT("qv_check") void QvCheck(double size, int want_hash) {
  report::FileResult r;
  r.path = g_input;
  r.name = report::BareName(g_input);
  report::PrepareForCheck(r.panel, r.errors);
  const auto file_size = static_cast<std::uint64_t>(size);
  WorkerFileSource source(file_size);
  g_bins.emplace(file_size, kTimelineBins);
  NullTraceSink trace;
  CheckOptions options;
  options.trace = &trace;
  options.summary = &r.summary;
  options.on_sealed_range = [](std::uint64_t begin, std::uint64_t end) {
    g_bins->AddSealedRange(begin, end);
  };
  ProgressSource progress(source, [](std::uint64_t done, std::uint64_t total) {
    ImportProgress(static_cast<double>(done), static_cast<double>(total));
  });
  // When asked, the case report names each file by its hash, made in the
  // same pass; hashing reads every byte, which the check alone may skip.
  report::Sha256 hash;
  InOrderSource hashed(
      progress, [&hash](const std::uint8_t* data, std::size_t count) { hash.Update(data, count); });
  ByteSource* read = want_hash != 0 ? static_cast<ByteSource*>(&hashed) : &progress;
  CheckContents(read, r.path, r.name, r.panel, r.errors, options);
  g_output = report::JsonElement(r);
  g_outcome = static_cast<int>(report::InfoOf(r.summary).outcome);
  // The detail lines are what the text report adds with --detail.
  const std::string plain = report::TextReport(r, false);
  g_detail = report::TextReport(r, true).substr(plain.size());
  // The page's own results stay those of `quorvex-check --json`; the
  // report's are those of `--report`, which hashes.
  r.sha256_wanted = want_hash != 0;
  const CheckStatus status = r.summary.status;
  if (r.sha256_wanted && status != CheckStatus::kUnreadable && status != CheckStatus::kChanged &&
      hashed.fed() == r.summary.size) {
    r.sha256 = hash.HexDigest();
  }
  g_section = report::MakeCaseFileSection(r, g_bins->fractions());
}

// The last file's part of the case report: its section's HTML, then its
// JSON element, apart by a NUL; and its status as the engine's number.
QUORVEX_EXPORT("qv_section") void QvSection() {
  g_output = g_section.html + '\0' + g_section.json_element;
}
QUORVEX_EXPORT("qv_section_status") int QvSectionStatus() {
  return static_cast<int>(g_section.status);
}

// A case report of files checked here: begin with the input holding the
// case, examiner, note, version, platform, command line and start time apart
// by NULs; add each file's part as qv_section gave it, with its status and
// whether a folder walk skips it; end
// with the input holding the end time. The output then holds the report.
QUORVEX_EXPORT("qv_report_begin") void QvReportBegin() {
  std::vector<std::string> p = InputParts();
  p.resize(7);
  report::CaseDetails d{p[0], p[1], p[2], "Quorvex page", p[3], p[4], p[5], p[6]};
  g_report.reset();
  g_report_output.emplace();
  g_report.emplace(std::move(d), *g_report_output);
  g_report->Begin();
}
QUORVEX_EXPORT("qv_report_add") void QvReportAdd(int status, int skipped) {
  std::vector<std::string> p = InputParts();
  p.resize(2);
  report::CaseFileSection section;
  section.html = std::move(p[0]);
  section.json_element = std::move(p[1]);
  section.status = static_cast<CheckStatus>(status);
  section.skipped = skipped != 0;
  if (g_report.has_value()) g_report->AddSection(section);
}
QUORVEX_EXPORT("qv_report_end") void QvReportEnd() {
  if (!g_report.has_value()) return;
  g_report->End(report::CaseEnd{g_input, std::nullopt});
  g_output = g_report_output->text();
  g_report.reset();
  g_report_output.reset();
}

QUORVEX_EXPORT("qv_detail") const char* QvDetail() { return g_detail.data(); }
QUORVEX_EXPORT("qv_detail_size") std::size_t QvDetailSize() { return g_detail.size(); }

// Where the last file checked counts in the summary, and the summary's words
// for each place, in the order the console program's summary line has them.
QUORVEX_EXPORT("qv_outcome") int QvOutcome() { return g_outcome; }
QUORVEX_EXPORT("qv_outcome_count") int QvOutcomeCount() {
  return static_cast<int>(report::Outcome::kCount);
}
QUORVEX_EXPORT("qv_outcome_words") const char* QvOutcomeWords(int outcome) {
  return report::OutcomeWords(static_cast<report::Outcome>(outcome));
}

// The status table as JSON, {"intact": ["\u2713", "Intact: ..."], ...}: the
// page takes each status's mark and words from it. The output holds it.
QUORVEX_EXPORT("qv_status_table") void QvStatusTable() {
  nlohmann::ordered_json table = nlohmann::ordered_json::object();
  for (const report::StatusInfo& info : report::StatusTable()) {
    table[info.json_name] = {info.mark, info.words};
  }
  g_output = table.dump();
}

// The covered fraction of each stretch of the last file checked.
QUORVEX_EXPORT("qv_bins") const float* QvBins() {
  return g_bins.has_value() ? g_bins->fractions().data() : nullptr;
}
QUORVEX_EXPORT("qv_bin_count") std::size_t QvBinCount() {
  return g_bins.has_value() ? g_bins->fractions().size() : 0;
}

// The JSON array of several results, built element by element as the console
// program writes it: reset, add each element from the input, then close.
QUORVEX_EXPORT("qv_array_reset") void QvArrayReset() {
  g_array = report::JsonArrayWriter();
  g_output = report::JsonArrayWriter::Open();
}
QUORVEX_EXPORT("qv_array_add") void QvArrayAdd() { g_output += g_array.Next() + g_input; }
QUORVEX_EXPORT("qv_array_close") void QvArrayClose() { g_output += g_array.Close(); }
