#ifndef QUORVEX_CLI_CASE_REPORT_RUN_H
#define QUORVEX_CLI_CASE_REPORT_RUN_H

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "case_report.h"
#include "coverage_bins.h"
#include "options.h"
#include "report.h"

namespace quorvex::cli {

// The name of the system and processor architecture: "Linux x86_64".
std::string PlatformText();

// Whether `path` is the report at `report_path` or its temporary file.
bool IsReportFile(const std::string& path, const std::string& report_path);

// The coverage bins of one file's timeline, gathered while it is checked.
// The bins are made when the check first tells the file's size; ranges told
// before that wait for it.
class TimelineGatherer {
 public:
  void Progress(std::uint64_t total);
  void SealedRange(std::uint64_t begin, std::uint64_t end);
  // The bins, for a file found to have `size` bytes.
  std::vector<float> Finish(std::uint64_t size);

 private:
  std::optional<report::CoverageBins> bins_;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> early_;
};

// The case report of a run of the console program: the file, the sections
// of the files in the order they were added whatever order they are done
// in, and the report's own hash.
class CaseReportRun {
 public:
  // Opens the report and writes its head; `error` is set when it cannot.
  CaseReportRun(const Options& options, std::string& error);
  ~CaseReportRun();
  CaseReportRun(const CaseReportRun&) = delete;
  CaseReportRun& operator=(const CaseReportRun&) = delete;

  // A place in the report, taken in the order the files are added.
  std::uint64_t Reserve();
  // Writes the file at the place `ticket`, from any thread, once every place
  // in front of it has been written; until then the caller waits here.
  void Deliver(std::uint64_t ticket, const report::FileResult& result,
               const std::vector<float>& bins, bool skipped);
  // A manifest entry whose file was not found, after every file.
  void AddMissing(const std::string& path, const std::string& listed_sha256);
  // Writes the summary and the rest and closes the file. Returns the line
  // for standard error, "quorvex-check: report FILE, SHA-256 HEX\n", or the
  // error; `ok` says which.
  std::string Finish(std::optional<report::AuditSummary> audit, bool& ok);
  // Ends the report of a run that was interrupted, once the file being
  // written is done: a closing note in place of the summary and results.
  void Interrupt();

 private:
  class Output;
  std::string path_;
  std::unique_ptr<Output> output_;
  std::unique_ptr<report::CaseReportWriter> writer_;
  std::mutex mutex_;
  std::condition_variable turn_;
  std::uint64_t next_ticket_ = 0;
  std::uint64_t next_written_ = 0;
  bool failed_ = false;  // memory ran out while a file was written
};

}  // namespace quorvex::cli

#endif
