#include "run_checks.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "audit.h"
#include "case_report_run.h"
#include "console.h"
#include "escape.h"
#include "manifest_write.h"
#include "path_check.h"
#include "report.h"
#include "status.h"
#include "trace.h"

namespace quorvex::cli {
namespace {

using namespace quorvex::report;

// Files smaller than this are over before their own progress would be seen.
constexpr std::uint64_t kLargeFileBytes = 16u << 20;
// A run shorter than this shows no progress bar for its count of files.
constexpr std::chrono::milliseconds kProgressDelay{250};
constexpr std::chrono::milliseconds kRedrawEvery{100};

// Where a file counts in the summary: its status's outcome, or among the
// skipped for a file of no known kind met in a walk.
constexpr std::size_t kOutcomeCount = static_cast<std::size_t>(Outcome::kCount);
constexpr std::size_t kSkippedSlot = kOutcomeCount;

std::size_t SummarySlotOf(const CheckSummary& summary, bool in_walk) {
  if (summary.status == CheckStatus::kUnknownKind && in_walk) return kSkippedSlot;
  return static_cast<std::size_t>(InfoOf(summary).outcome);
}

// Shared by the threads of a run; only counters.
struct RunCounters {
  std::atomic<int> exit_status{0};
  std::array<std::atomic<std::uint64_t>, kOutcomeCount + 1> outcomes{};
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
    std::lock_guard<std::mutex> guard(mutex_);
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
    std::lock_guard<std::mutex> guard(mutex_);
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    shown_ = false;
    text_.clear();
  }

 private:
  bool enabled_;
  const RunCounters& counters_;
  // Drawn by the thread reading a file, cleared by whichever writes.
  std::mutex mutex_;
  std::chrono::steady_clock::time_point start_;
  std::optional<std::chrono::steady_clock::time_point> drawn_at_;
  bool shown_ = false;
  std::string text_;
};

// Standard output and error. Each text given to Out is a whole report or a
// whole JSON element with its separator, so an interruption, which waits for
// the write under way, leaves whole ones behind. A write to standard output
// that fails ends the run at once.
class StdioSink : public OutputSink, public InterruptHandler {
 public:
  StdioSink(ProgressBar& bar, bool json)
      : bar_(bar), out_on_terminal_(IsTerminal(stdout)), json_(json) {}
  void Out(std::string_view text) override {
    std::lock_guard<std::mutex> guard(mutex_);
    WriteOut(text);
  }
  // A JSON element too long to hold is written in pieces; an interruption
  // waits for its last one.
  void OutPart(std::string_view text, bool ends_inside) override {
    std::lock_guard<std::mutex> guard(mutex_);
    WriteOut(text);
    inside_ = ends_inside;
    if (!inside_) unit_done_.notify_all();
  }
  void Err(std::string_view text) override {
    std::lock_guard<std::mutex> guard(mutex_);
    bar_.Clear();
    FlushOut();
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
  void Flush() override {
    std::lock_guard<std::mutex> guard(mutex_);
    FlushOut();
  }
  void Idle() override { bar_.Draw(); }

  // Writes the text that ends the run's output: the summary or the array's
  // end. An interruption after it adds nothing.
  void Close(std::string_view tail) {
    std::lock_guard<std::mutex> guard(mutex_);
    bar_.Clear();
    WriteOut(tail);
    FlushOut();
    closed_ = true;
  }

  // Ends the JSON array after the last element written, and the program.
  void OnInterrupt(int exit_status) override {
    std::unique_lock<std::mutex> guard(mutex_);
    unit_done_.wait(guard, [this] { return !inside_; });
    bar_.Clear();
    if (json_ && !closed_) {
      JsonArrayWriter array;
      // The first text written is the array's opening.
      if (out_texts_ > 1) array.Next();
      WriteOut(array.Close());
    }
    FlushOut();
    if (case_report_ != nullptr) case_report_->Interrupt();
    ExitInterrupted(exit_status);
  }
  // The case report to end as interrupted, should the run be.
  void SetCaseReport(CaseReportRun* report) {
    std::lock_guard<std::mutex> guard(mutex_);
    case_report_ = report;
  }

 private:
  void WriteOut(std::string_view text) {
    if (out_on_terminal_) bar_.Clear();
    if (text.empty()) return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::ferror(stdout)) {
      ExitOnWriteError(errno != 0 ? errno : EIO);
    }
    ++out_texts_;
  }
  void FlushOut() {
    int error = 0;
    if (!FlushStdout(error)) ExitOnWriteError(error);
  }

  std::mutex mutex_;
  ProgressBar& bar_;
  bool out_on_terminal_;
  bool json_;
  std::uint64_t out_texts_ = 0;
  bool closed_ = false;
  bool inside_ = false;  // the last text written ends inside a JSON element
  CaseReportRun* case_report_ = nullptr;
  std::condition_variable unit_done_;
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
  bool folder = false;      // a folder named without -r
  std::string json_prefix;  // what goes before its object in the array
  // A file met in a walk, opened there (null when it could not be opened).
  std::shared_ptr<ByteSource> opened;
  std::uint64_t place = 0;                                    // of the files, from 0
  std::optional<std::uint64_t> report_ticket = std::nullopt;  // its place in the case report
};

// The manifests of a run: one to hold the files against, one to write.
struct RunManifests {
  Audit* audit = nullptr;
  ManifestWriter* writer = nullptr;
  CaseReportRun* report = nullptr;
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

void CheckOne(const FileJob& job, const Options& options, const RunManifests& manifests,
              RunCounters& counters, ProgressBar* inline_bar, StagedOutput& output) {
  StagedTrace staged_trace(output);
  NullTraceSink no_trace;
  FileProgress progress(counters, inline_bar);
  PathCheckOptions check;
  check.trace = options.trace ? static_cast<TraceSink*>(&staged_trace) : &no_trace;
  check.sha256 = options.sha256;
  TimelineGatherer timeline;
  const bool for_report = manifests.report != nullptr;
  check.on_progress = [&progress, &timeline, for_report](std::uint64_t done, std::uint64_t total) {
    progress.Update(done, total);
    if (for_report) timeline.Progress(total);
  };
  if (manifests.report != nullptr) {
    check.on_sealed_range = [&timeline](std::uint64_t begin, std::uint64_t end) {
      timeline.SealedRange(begin, end);
    };
  }
  FileResult r =
      job.in_walk ? CheckOpenedPath(job.path, job.opened.get(), check) : CheckPath(job.path, check);
  if (manifests.writer != nullptr) manifests.writer->Put(job.place, r.path, r.sha256);
  if (manifests.audit != nullptr && !job.folder) {
    r.manifest = manifests.audit->Match(r);
    counters.RaiseExitStatus(Audit::ExitStatusOf(*r.manifest));
  }
  // The report's memory is taken before anything of it is written: a file
  // whose report does not fit is one that could not be checked.
  std::optional<JsonElementWriter> json;
  if (options.json) {
    try {
      json.emplace(r);
    } catch (const std::bad_alloc&) {
      r = OutOfMemoryResult(job.path, options.sha256);
      json.emplace(r);
    }
  }

  const std::size_t slot = SummarySlotOf(r.summary, job.in_walk);
  const bool skipped = slot == kSkippedSlot;
  if (!skipped) counters.RaiseExitStatus(ExitStatusOf(r));
  ++counters.outcomes[slot];
  if (!options.trace) {
    output.Err(job.folder ? "quorvex-check: " + EscapeName(job.path) +
                                ": is a folder (use -r to check what it holds)\n"
                          : Diagnostic(r));
  }
  if (options.json) {
    output.OutPart(job.json_prefix, true);
    json->WriteTo([&output](std::string_view piece) { output.OutPart(piece, true); });
    output.OutPart({}, false);
  } else if (!skipped || r.manifest.has_value()) {
    output.Out(TextReport(r, options.detail));
  }
  if (job.report_ticket.has_value()) {
    manifests.report->Deliver(*job.report_ticket, r, timeline.Finish(r.summary.size), skipped);
  }
  ++counters.done;
}

}  // namespace

std::string SummaryLine(const RunTally& t) {
  std::uint64_t n = 0;
  for (const std::uint64_t count : t.outcomes) n += count;
  std::string line = std::to_string(n) + " files";
  for (std::size_t i = 0; i < kOutcomeCount; ++i) {
    // Partly checked files are rare enough to be named only when there are any.
    if (static_cast<report::Outcome>(i) == report::Outcome::kPartlyChecked && t.outcomes[i] == 0) {
      continue;
    }
    line += (i == 0 ? ": " : ", ") + std::to_string(t.outcomes[i]) + " " +
            report::OutcomeWords(static_cast<report::Outcome>(i));
  }
  if (t.skipped > 0) line += ", " + std::to_string(t.skipped) + " of no known kind skipped";
  return line + "\n";
}

int RunChecks(const Options& options, const RunEnvironment& environment) {
  RunCounters counters;
  ProgressBar bar(environment.progress && !options.trace, counters);
  StdioSink stdio(bar, options.json);
  const bool on_stdio = environment.sink == nullptr;
  OutputSink& sink = on_stdio ? stdio : *environment.sink;
  // From here on an interruption closes what was written and ends the run.
  if (on_stdio) SetInterruptHandler(&stdio);
  std::optional<Audit> audit;
  std::optional<ManifestWriter> writer;
  RunManifests manifests;
  std::vector<std::string> files = options.files;
  // Walked from ".", the paths are shown as sha256sum shows them, without "./".
  bool strip_dot = false;
  if (options.audit.has_value()) {
    std::string errors;
    audit.emplace();
    const bool loaded = audit->Load(*options.audit, errors);
    sink.Err(errors);
    if (!loaded) return 2;
    if (audit->had_line_errors()) counters.RaiseExitStatus(2);
    if (files.empty()) {
      files.push_back(audit->payload());
      strip_dot = files[0] == ".";
      for (std::string& outside : audit->EntriesOutside()) files.push_back(std::move(outside));
    } else {
      audit->LimitTo(files);
    }
    manifests.audit = &*audit;
  }
  std::optional<CaseReportRun> case_report;
  if (!options.report.empty()) {
    std::string error;
    case_report.emplace(options, error);
    if (!error.empty()) {
      sink.Err("quorvex-check: " + error + "\n");
      return 2;
    }
    manifests.report = &*case_report;
  }
  if (options.manifest.has_value()) {
    writer.emplace();
    if (!writer->Open(*options.manifest)) {
      sink.Err("quorvex-check: " + TerminalName(*options.manifest) +
               ": cannot create the manifest\n");
      return 2;
    }
    manifests.writer = &*writer;
  }
  if (case_report.has_value() && on_stdio) stdio.SetCaseReport(&*case_report);
  auto is_manifest = [&](const std::string& path) {
    return (audit.has_value() && audit->IsManifest(path)) ||
           (writer.has_value() && writer->IsManifest(path));
  };

  // One file named alone is checked on this thread, as with -j 1.
  const bool one_file = files.size() == 1 && !(options.recursive && IsFolder(files[0]));
  const unsigned workers = options.jobs > 1 && !one_file ? options.jobs : 0;
  ProgressBar* inline_bar = workers == 0 ? &bar : nullptr;

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
      if (case_report.has_value() && IsReportFile(job.path, options.report)) return;
      if (options.json) job.json_prefix = json_array.Next();
      if (case_report.has_value()) job.report_ticket = case_report->Reserve();
      job.place = counters.found++;
      runner.Add([job = std::move(job), &options, &manifests, &counters,
                  inline_bar](StagedOutput& output) {
        CheckOne(job, options, manifests, counters, inline_bar, output);
      });
    };
    for (const std::string& path : files) {
      // Never read back while it is being written.
      if (writer.has_value() && writer->IsManifest(path)) continue;
      if (!IsFolder(path)) {
        add_file(FileJob{path, false, false, {}, nullptr});
        continue;
      }
      if (!options.recursive) {
        add_file(FileJob{path, false, true, {}, nullptr});
        continue;
      }
      walked = true;
      // The files in flight, the folders held and room for the rest.
      walk_system::AllowOpenFiles(4 * std::size_t{workers} + 48 + FolderWalk::kHeldFolders + 64);
      FolderWalk walk(path, environment.list_folder);
      WalkStep step;
      while (walk.Next(step)) {
        if (strip_dot && step.path.size() > 2 && step.path[0] == '.' &&
            (step.path[1] == '/' || step.path[1] == '\\')) {
          step.path.erase(0, 2);
        }
        if (!step.unreadable_folder && !step.changed && is_manifest(step.path)) continue;
        if (!step.unreadable_folder && !step.changed) {
          add_file(FileJob{std::move(step.path), true, false, {}, std::move(step.file)});
          continue;
        }
        // Neither is a file of the run: each is said at its place.
        counters.RaiseExitStatus(2);
        const char* what =
            step.changed ? ": changed during the walk\n" : ": cannot read the folder\n";
        runner.Add([path = std::move(step.path), what](StagedOutput& output) {
          output.Err("quorvex-check: " + EscapeName(path) + what);
        });
      }
    }
    runner.Finish();
  }

  if (audit.has_value()) {
    audit->ForEachMissing([&](const std::string& path, const std::string& sha256) {
      counters.RaiseExitStatus(1);
      if (case_report.has_value()) case_report->AddMissing(path, sha256);
      sink.Out(options.json ? json_array.Next() + MissingJsonElement(path, sha256)
                            : MissingTextLine(path));
    });
  }
  if (writer.has_value() && !writer->Close()) {
    sink.Err("quorvex-check: " + TerminalName(*options.manifest) + ": cannot write the manifest\n");
    counters.RaiseExitStatus(2);
  }

  RunTally t;
  for (std::size_t i = 0; i < kOutcomeCount; ++i) t.outcomes[i] = counters.outcomes[i];
  t.skipped = counters.outcomes[kSkippedSlot];
  std::string tail;
  if (options.json) {
    tail = json_array.Close();
  } else if (walked || counters.done > 1 || options.from_list || audit.has_value()) {
    tail = SummaryLine(t);
    if (audit.has_value()) tail += audit->SummaryLine();
  }
  if (on_stdio) {
    stdio.Close(tail);
    SetInterruptHandler(nullptr);
  } else {
    bar.Clear();
    sink.Out(tail);
    sink.Flush();
  }
  if (case_report.has_value()) {
    bool ok = false;
    std::optional<AuditSummary> audit_summary;
    if (audit.has_value()) audit_summary = audit->Summary();
    sink.Err(case_report->Finish(audit_summary, ok));
    if (!ok) counters.RaiseExitStatus(2);
  }
  return counters.exit_status;
}

}  // namespace quorvex::cli
