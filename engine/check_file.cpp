#include "check_file.h"

#include <memory>
#include <new>
#include <string_view>

#include "file_kind.h"
#include "read_window.h"
#include "recording_walk.h"
#include "snapshot_check.h"

namespace quorvex {
namespace {

constexpr std::string_view kOpenError = "open file error\n";
constexpr std::string_view kCannotOpen = "Can't open the file.\n";
constexpr std::string_view kMallocError = "malloc error\n";
constexpr std::string_view kReadError = "read file error\n";
constexpr std::string_view kCannotRead = "Can't read the file.\n";
constexpr std::string_view kChangedError = "file changed error\n";
constexpr std::string_view kChangedFile = "The file changed while it was checked.\n";
constexpr std::string_view kFinish = "...Finish\n";
constexpr std::string_view kDashes = "--------------------------\n";

constexpr int kShownFields[] = {IDC_PATH, IDC_VIDEO_FORMAT, IDC_AUDIO_FORMAT, IDC_PROGRESS,
                                IDC_RESULT};

void SetReport(ResultPanel& panel, const std::string& verdict) {
  std::string report = verdict;
  report.append(kFinish);
  report.append(kDashes);
  panel.SetFieldText(IDC_RESULT, report);
}

// Everything after the name and path are shown. Returns the verdict line, or
// nothing for a file of no known kind and for a window that could not be
// obtained. A read that fails stops the check wherever it happens: what was
// shown until then stands, and the verdict says that the file could not be
// read. A file that shrank under a read, or that differs after the check
// from what it was when it was opened, gets the verdict that it changed:
// what was read of it is no evidence of one file.
std::optional<std::string> CheckOpened(ByteSource* source, ResultPanel& panel, ErrorList& errors,
                                       const CheckOptions& options, TraceSink& trace,
                                       CheckSummary& summary) {
  std::uint64_t size = 0;
  if (source == nullptr || !source->MeasureSize(size)) {
    trace.Write(kOpenError);
    summary.status = CheckStatus::kUnreadable;
    return std::string(kCannotOpen);
  }
  summary.size = size;

  const std::size_t capacity = WindowCapacity(options.window_bytes, size);
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[capacity]);
  if (buffer == nullptr) {
    trace.Write(kMallocError);
    summary.status = CheckStatus::kUnreadable;
    summary.out_of_memory = true;
    return std::nullopt;
  }
  source->AdviseSequential();
  ReadWindow contents;
  contents.source = source;
  contents.size = size;
  contents.buffer = buffer.get();
  contents.capacity = capacity;

  summary.kind = DetectFileKind(contents, trace);
  std::optional<std::string> verdict;
  if (summary.kind == "avi") {
    verdict =
        WalkRecording(contents, *source, panel, errors, trace, summary, options.on_sealed_range);
  } else if (summary.kind == "jpg" || summary.kind == "png" || summary.kind == "bmp") {
    verdict = CheckSnapshot(summary.kind, contents, trace, summary.status, &summary.snapshot_crcs);
    const bool compared =
        summary.status == CheckStatus::kIntact || summary.status == CheckStatus::kDamaged;
    if (compared && !ReadFailed(contents)) {
      summary.sealed_bytes = size - kSnapshotTrailerBytes;
      if (options.on_sealed_range && summary.sealed_bytes > 0) {
        options.on_sealed_range(0, summary.sealed_bytes);
      }
    }
  } else {
    summary.status = CheckStatus::kUnknownKind;
  }
  ReadToEnd(contents);
  if (contents.read_error.has_value()) {
    trace.Write(kReadError);
    summary.status = CheckStatus::kUnreadable;
    summary.read_error = contents.read_error;
    return std::string(kCannotRead);
  }
  if (contents.changed || !source->Unchanged()) {
    trace.Write(kChangedError);
    summary.status = CheckStatus::kChanged;
    return std::string(kChangedFile);
  }
  return verdict;
}

}  // namespace

void CheckContents(ByteSource* source, const std::string& full_path, const std::string& bare_name,
                   ResultPanel& panel, ErrorList& errors, const CheckOptions& options) {
  TraceSink& trace = options.trace != nullptr ? *options.trace : StdoutTrace();
  CheckSummary local;
  CheckSummary& summary = options.summary != nullptr ? *options.summary : local;
  summary = CheckSummary{};

  for (int id : kShownFields) panel.ShowField(id, true);
  panel.SetFieldText(IDC_NAME, "Name: " + bare_name + "\n");
  panel.SetFieldText(IDC_PATH, "Path: " + full_path + "\n");

  // Built without exceptions (the page), a failed allocation ends the
  // program as it always would.
#if defined(__cpp_exceptions)
  try {
#endif
    summary.verdict = CheckOpened(source, panel, errors, options, trace, summary);
    if (summary.verdict.has_value()) SetReport(panel, *summary.verdict);
#if defined(__cpp_exceptions)
  } catch (const std::bad_alloc&) {
    // The check stops where memory ran out; the frames it listed are given
    // back, as a list cut off there says nothing of the file.
    summary.status = CheckStatus::kUnreadable;
    summary.out_of_memory = true;
    summary.verdict.reset();
    summary.failed_frames = FailedFrameList();
    summary.snapshot_crcs.reset();
    errors.Clear();
    trace.Write(kMallocError);
  }
#endif
  trace.Flush();
}

void CheckFile(const std::string& full_path, const std::string& bare_name, ResultPanel& panel,
               ErrorList& errors, const CheckOptions& options) {
  std::unique_ptr<ByteSource> file = OpenFileSource(full_path);
  CheckContents(file.get(), full_path, bare_name, panel, errors, options);
}

void CheckFile(const std::string& full_path, const std::string& bare_name, ResultPanel& panel,
               ErrorList& errors) {
  CheckFile(full_path, bare_name, panel, errors, CheckOptions{});
}

}  // namespace quorvex
