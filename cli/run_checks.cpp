#include "run_checks.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "case_report_run.h"
#include "console.h"
#include "path_check.h"
#include "report.h"
#include "trace.h"

namespace quorvex::cli {
namespace {

using namespace quorvex::report;

// Files smaller than this are over before their own progress would be seen.
constexpr std::uint64_t kLargeFileBytes = 16u << 20;
// A run shorter than this shows no progress bar for its count of files.
constexpr std::chrono::milliseconds kProgressDelay{250};
constexpr std::chrono::milliseconds kRedrawEvery{100};

enum Outcome : std::size_t {
  kIntactOutcome,
  kDamagedOutcome,
  kUnsealedOutcome,
  kInvalidOutcome,
  kUnsupportedOutcome,
  kNotCheckedOutcome,
  kSkippedOutcome,
  kOutcomes
};

Outcome OutcomeOf(CheckStatus status, bool in_walk) {
  switch (status) {
    case CheckStatus::kIntact:
      return kIntactOutcome;
    case CheckStatus::kDamaged:
      return kDamagedOutcome;
    case CheckStatus::kUnsealed:
      return kUnsealedOutcome;
    case CheckStatus::kInvalid:
      return kInvalidOutcome;
    case CheckStatus::kUnsupportedVersion:
      return kUnsupportedOutcome;
    case CheckStatus::kUnknownKind:
      return in_walk ? kSkippedOutcome : kNotCheckedOutcome;
    default:
      return kNotCheckedOutcome;
  }
}

// Shared by the threads of a run; only counters.
struct RunCounters {
  std::atomic<int> exit_status{0};
  std::array<std::atomic<std::uint64_t>, kOutcomes> outcomes{};
  std::atomic<std::uint64_t> found{0};
  std::atomic<std::uint64_t> done{0};
  // Of the large files being read at the moment.
  std::atomic<std::uint64_t> bytes_done{0};
  std::atomic<std::uint64_t> bytes_total{0};

  void RaiseExitStatus(int status) {
    int now = exit_status.load();
    while (now < status && !exit_status.compare_exchange_weak(now, status)) {
    }
  }
};

// The bar on standard error: files done of files found so far, and the
// bytes of the large files being read.
class ProgressBar {
 public:
  ProgressBar(bool enabled, const RunCounters& counters)
      : enabled_(enabled), counters_(counters), start_(std::chrono::steady_clock::now()) {}

  void Draw() {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    // Also after a clear, so that a stream of results does not make it blink.
    if (drawn_at_.has_value() && now - *drawn_at_ < kRedrawEvery) return;
    const std::uint64_t found = counters_.found.load();
    const std::uint64_t done = counters_.done.load();
    const std::uint64_t bytes_total = counters_.bytes_total.load();
    const std::uint64_t bytes_done = counters_.bytes_done.load();
    const bool many = found > 1 && now - start_ >= kProgressDelay;
    const bool large = bytes_total >= kLargeFileBytes;
    if (!many && !large) return;
    const double part = many ? static_cast<double>(done) / static_cast<double>(found)
                             : static_cast<double>(bytes_done) / static_cast<double>(bytes_total);
    const int filled = static_cast<int>(part * 30);
    std::string line = "\r[" + std::string(filled, '=') + std::string(30 - filled, ' ') + "]";
    if (many) line += " " + std::to_string(done) + "/" + std::to_string(found) + " files";
    if (large) {
      line += " " + std::to_string(bytes_done * 100 / bytes_total) + "%";
      if (many) line += " of " + std::to_string(bytes_total >> 20) + " MiB";
    }
    if (line == text_) return;
    text_ = line;
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputs("\033[K", stderr);
    std::fflush(stderr);
    shown_ = true;
    drawn_at_ = now;
  }

  void Clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    shown_ = false;
    text_.clear();
  }

 private:
  bool enabled_;
  const RunCounters& counters_;
  std::chrono::steady_clock::time_point start_;
  std::optional<std::chrono::steady_clock::time_point> drawn_at_;
  bool shown_ = false;
  std::string text_;
};

class StdioSink : public OutputSink {
 public:
  explicit StdioSink(ProgressBar& bar) : bar_(bar), out_on_terminal_(IsTerminal(stdout)) {}
  void Out(std::string_view text) override {
    if (out_on_terminal_) bar_.Clear();
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  void Err(std::string_view text) override {
    bar_.Clear();
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
  void Flush() override { std::fflush(stdout); }
  void Idle() override { bar_.Draw(); }

 private:
  ProgressBar& bar_;
  bool out_on_terminal_;
};

// The trace of one file, staged with the rest of its output.
class StagedTrace : public TraceSink {
 public:
  explicit StagedTrace(StagedOutput& output) : output_(output) {}
  void Write(std::string_view text) override { output_.Err(text); }

 private:
  StagedOutput& output_;
};

// One file to check and what its place in the run makes of it.
struct FileJob {
  std::string path;
  bool in_walk = false;
  bool folder = false;                         // a folder named without -r
  std::string json_prefix;                     // what goes before its object in the array
  std::optional<std::uint64_t> report_ticket;  // its place in the case report
};

// Counts the bytes of a large file into the run's progress while it is read.
class FileProgress {
 public:
  FileProgress(RunCounters& counters, ProgressBar* inline_bar)
      : counters_(counters), inline_bar_(inline_bar) {}
  ~FileProgress() {
    counters_.bytes_done -= done_;
    counters_.bytes_total -= total_;
  }
  void Update(std::uint64_t done, std::uint64_t total) {
    if (total < kLargeFileBytes) return;
    if (total_ == 0) {
      total_ = total;
      counters_.bytes_total += total;
    }
    if (done > total_) done = total_;
    if (done > done_) {
      counters_.bytes_done += done - done_;
      done_ = done;
    }
    if (inline_bar_ != nullptr) inline_bar_->Draw();
  }

 private:
  RunCounters& counters_;
  ProgressBar* inline_bar_;
  std::uint64_t done_ = 0;
  std::uint64_t total_ = 0;
};

void CheckOne(const FileJob& job, const Options& options, RunCounters& counters,
              ProgressBar* inline_bar, CaseReportRun* report, StagedOutput& output) {
  StagedTrace staged_trace(output);
  NullTraceSink no_trace;
  FileProgress progress(counters, inline_bar);
  PathCheckOptions check;
  check.trace = options.trace ? static_cast<TraceSink*>(&staged_trace) : &no_trace;
  check.sha256 = options.sha256;
  TimelineGatherer timeline;
  const bool for_report = report != nullptr && job.report_ticket.has_value();
  check.on_progress = [&progress, &timeline, for_report](std::uint64_t done, std::uint64_t total) {
    progress.Update(done, total);
    if (for_report) timeline.Progress(total);
  };
  if (for_report) {
    check.on_sealed_range = [&timeline](std::uint64_t begin, std::uint64_t end) {
      timeline.SealedRange(begin, end);
    };
  }
  const FileResult r = CheckPath(job.path, check);

  const Outcome outcome = OutcomeOf(r.summary.status, job.in_walk);
  if (outcome != kSkippedOutcome) counters.RaiseExitStatus(ExitStatusOf(r));
  ++counters.outcomes[outcome];
  if (!options.trace) {
    output.Err(job.folder ? "quorvex-check: " + job.path +
                                ": is a folder (use -r to check what it holds)\n"
                          : Diagnostic(r));
  }
  if (options.json) {
    output.Out(job.json_prefix + JsonElement(r));
  } else if (outcome != kSkippedOutcome) {
    output.Out(TextReport(r, options.detail));
  }
  if (for_report) {
    report->Deliver(*job.report_ticket, MakeCaseFileSection(r, timeline.Finish(r.summary.size),
                                                            outcome == kSkippedOutcome));
  }
  ++counters.done;
}

}  // namespace

std::string SummaryLine(const RunTally& t) {
  const std::uint64_t n =
      t.intact + t.damaged + t.unsealed + t.invalid + t.unsupported_version + t.not_checked;
  std::string line = std::to_string(n) + " files: " + std::to_string(t.intact) + " intact, " +
                     std::to_string(t.damaged) + " damaged, " + std::to_string(t.unsealed) +
                     " unsealed, " + std::to_string(t.invalid) + " invalid, " +
                     std::to_string(t.unsupported_version) + " unsupported version, " +
                     std::to_string(t.not_checked) + " could not be checked";
  if (t.skipped > 0) line += ", " + std::to_string(t.skipped) + " of no known kind skipped";
  return line + "\n";
}

int RunChecks(const Options& options, const RunEnvironment& environment) {
  RunCounters counters;
  ProgressBar bar(environment.progress && !options.trace, counters);
  StdioSink stdio(bar);
  OutputSink& sink = environment.sink != nullptr ? *environment.sink : stdio;
  // One file named alone is checked on this thread, as with -j 1.
  const bool one_file =
      options.files.size() == 1 && !(options.recursive && IsFolder(options.files[0]));
  const unsigned workers = options.jobs > 1 && !one_file ? options.jobs : 0;
  ProgressBar* inline_bar = workers == 0 ? &bar : nullptr;

  std::optional<CaseReportRun> report;
  if (!options.report.empty()) {
    std::string error;
    report.emplace(options, error);
    if (!error.empty()) {
      sink.Err("quorvex-check: " + error + "\n");
      return 2;
    }
  }
  JsonArrayWriter json_array;
  if (options.json) {
    // Opened at once, so that a reader of a long run sees the array begin.
    sink.Out(JsonArrayWriter::Open());
    sink.Flush();
  }
  bool walked = false;
  {
    OrderedRunner runner(workers, sink);
    auto add_file = [&](FileJob job) {
      // The report is not a file of the run, though a walk may meet it.
      if (report.has_value() && IsReportFile(job.path, options.report)) return;
      if (options.json) job.json_prefix = json_array.Next();
      if (report.has_value()) job.report_ticket = report->Reserve();
      ++counters.found;
      CaseReportRun* report_run = report.has_value() ? &*report : nullptr;
      runner.Add([job = std::move(job), &options, &counters, inline_bar,
                  report_run](StagedOutput& output) {
        CheckOne(job, options, counters, inline_bar, report_run, output);
      });
    };
    for (const std::string& path : options.files) {
      if (!IsFolder(path)) {
        add_file(FileJob{path, false, false, {}, {}});
        continue;
      }
      if (!options.recursive) {
        add_file(FileJob{path, false, true, {}, {}});
        continue;
      }
      walked = true;
      FolderWalk walk(path, environment.list_folder);
      WalkStep step;
      while (walk.Next(step)) {
        if (!step.unreadable_folder) {
          add_file(FileJob{std::move(step.path), true, false, {}, {}});
          continue;
        }
        counters.RaiseExitStatus(2);
        runner.Add([path = std::move(step.path)](StagedOutput& output) {
          output.Err("quorvex-check: " + path + ": cannot read the folder\n");
        });
      }
    }
    runner.Finish();
  }

  RunTally t;
  t.intact = counters.outcomes[kIntactOutcome];
  t.damaged = counters.outcomes[kDamagedOutcome];
  t.unsealed = counters.outcomes[kUnsealedOutcome];
  t.invalid = counters.outcomes[kInvalidOutcome];
  t.unsupported_version = counters.outcomes[kUnsupportedOutcome];
  t.not_checked = counters.outcomes[kNotCheckedOutcome];
  t.skipped = counters.outcomes[kSkippedOutcome];
  std::string tail;
  if (options.json) {
    tail = json_array.Close();
  } else if (walked || counters.done > 1) {
    tail = SummaryLine(t);
  }
  bar.Clear();
  sink.Out(tail);
  sink.Flush();
  if (report.has_value()) {
    bool ok = false;
    sink.Err(report->Finish(std::nullopt, ok));
    if (!ok) counters.RaiseExitStatus(2);
  }
  return counters.exit_status;
}

}  // namespace quorvex::cli
