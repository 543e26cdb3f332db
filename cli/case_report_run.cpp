#include "case_report_run.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/utsname.h>
#endif

#include "quorvex_version.h"
#include "sha256.h"

namespace quorvex::cli {
namespace {

using namespace quorvex::report;

constexpr std::string_view kTool = "quorvex-check";
constexpr std::string_view kVersion = QUORVEX_VERSION;
// As many stretches as the page's timeline has.
constexpr std::size_t kTimelineBins = 400;

std::string NowUtc() { return UtcTime(static_cast<std::int64_t>(std::time(nullptr))); }

std::string KeptPath(const std::string& report_path) { return report_path + ".results.part"; }

// Opens a new file for writing; never one that is there already, which may
// be evidence, not even one made a moment before.
std::FILE* CreateNew(const std::string& path) {
#if defined(_WIN32)
  // The C library of the Windows build knows no "x" mode: the exclusive
  // create is asked of the system.
  const int fd =
      ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = ::_fdopen(fd, "wb");
  if (file == nullptr) ::_close(fd);
  return file;
#else
  return std::fopen(path.c_str(), "wbx");
#endif
}

}  // namespace

std::string PlatformText() {
#if defined(_WIN32)
  SYSTEM_INFO info;
  ::GetNativeSystemInfo(&info);
  const char* arch = "unknown architecture";
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
      arch = "x86_64";
      break;
    case PROCESSOR_ARCHITECTURE_ARM64:
      arch = "arm64";
      break;
    case PROCESSOR_ARCHITECTURE_INTEL:
      arch = "x86";
      break;
    default:
      break;
  }
  return std::string("Windows ") + arch;
#else
  struct utsname names;
  if (::uname(&names) != 0) return "unknown system";
  return std::string(names.sysname) + " " + names.release + " " + names.machine;
#endif
}

bool IsReportFile(const std::string& path, const std::string& report_path) {
  const std::string name = BareName(path);
  for (const std::string& own : {report_path, KeptPath(report_path)}) {
    if (name != BareName(own)) continue;
    std::error_code error;
    if (std::filesystem::equivalent(path, own, error)) return true;
  }
  return false;
}

void TimelineGatherer::Progress(std::uint64_t total) {
  if (bins_.has_value()) return;
  bins_.emplace(total, kTimelineBins);
  for (const auto& [begin, end] : early_) bins_->AddSealedRange(begin, end);
  std::vector<std::pair<std::uint64_t, std::uint64_t>>().swap(early_);
}

void TimelineGatherer::SealedRange(std::uint64_t begin, std::uint64_t end) {
  if (bins_.has_value()) {
    bins_->AddSealedRange(begin, end);
  } else {
    early_.emplace_back(begin, end);
  }
}

std::vector<float> TimelineGatherer::Finish(std::uint64_t size) {
  Progress(size);
  return bins_->fractions();
}

// The report file, the results kept in a file beside it until the end, and
// the hash of every byte written to the report.
class CaseReportRun::Output : public CaseReportOutput {
 public:
  Output(const std::string& path, std::string& error) : path_(path), kept_path_(KeptPath(path)) {
    file_ = CreateNew(path);
    if (file_ == nullptr) {
      error = TerminalName(path) + ": cannot create the report (it must be a new file)";
      return;
    }
    kept_ = CreateNew(kept_path_);
    if (kept_ == nullptr) {
      error = TerminalName(kept_path_) + ": cannot create the report's temporary file";
      std::fclose(file_);
      file_ = nullptr;
      std::remove(path_.c_str());
      return;
    }
    std::fclose(kept_);
    kept_ = std::fopen(kept_path_.c_str(), "w+b");
    if (kept_ == nullptr) {
      error = TerminalName(kept_path_) + ": cannot create the report's temporary file";
      std::remove(kept_path_.c_str());
    }
  }
  ~Output() override {
    // A report the run never ended says nothing: it goes.
    if (file_ != nullptr) {
      std::fclose(file_);
      std::remove(path_.c_str());
    }
    if (kept_ != nullptr) {
      std::fclose(kept_);
      std::remove(kept_path_.c_str());
    }
  }
  bool Write(std::string_view text) override {
    hash_.Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return std::fwrite(text.data(), 1, text.size(), file_) == text.size();
  }
  bool Keep(std::string_view text) override {
    return std::fwrite(text.data(), 1, text.size(), kept_) == text.size();
  }
  bool WriteKept() override {
    if (std::fflush(kept_) != 0 || std::fseek(kept_, 0, SEEK_SET) != 0) return false;
    std::vector<char> buffer(std::size_t{1} << 16);
    for (;;) {
      const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), kept_);
      if (n > 0 && !Write(std::string_view(buffer.data(), n))) return false;
      if (n < buffer.size()) return std::ferror(kept_) == 0;
    }
  }
  // Closes the report; false when anything of it may not have reached the
  // file.
  bool Close() {
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }
  std::string Digest() { return hash_.HexDigest(); }

 private:
  std::string path_;
  std::string kept_path_;
  std::FILE* file_ = nullptr;
  std::FILE* kept_ = nullptr;
  Sha256 hash_;
};

CaseReportRun::CaseReportRun(const Options& options, std::string& error) : path_(options.report) {
  output_ = std::make_unique<Output>(path_, error);
  if (!error.empty()) return;
  CaseDetails details;
  details.case_name = options.case_name;
  details.examiner = options.examiner;
  details.note = options.note;
  details.tool = kTool;
  details.version = kVersion;
  details.platform = PlatformText();
  details.command_line = options.command_line;
  details.started = NowUtc();
  writer_ = std::make_unique<CaseReportWriter>(std::move(details), *output_);
  writer_->Begin();
}

CaseReportRun::~CaseReportRun() = default;

std::uint64_t CaseReportRun::Reserve() {
  std::lock_guard<std::mutex> guard(mutex_);
  return next_ticket_++;
}

void CaseReportRun::Deliver(std::uint64_t ticket, const FileResult& result,
                            const std::vector<float>& bins, bool skipped) {
  std::unique_lock<std::mutex> lock(mutex_);
  // The places are taken in the order the runner starts the files, so the
  // one in front is always under way: waiting for it ends.
  turn_.wait(lock, [&] { return next_written_ == ticket; });
  // An interrupted report is closed: nothing more goes into it.
  if (output_ == nullptr) return;
  try {
    writer_->AddFile(result, bins, skipped);
  } catch (const std::bad_alloc&) {
    failed_ = true;
  }
  ++next_written_;
  lock.unlock();
  turn_.notify_all();
}

void CaseReportRun::AddMissing(const std::string& path, const std::string& listed_sha256) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (output_ == nullptr) return;
  writer_->AddMissing(path, listed_sha256);
}

std::string CaseReportRun::Finish(std::optional<AuditSummary> audit, bool& ok) {
  std::lock_guard<std::mutex> guard(mutex_);
  // Interrupted: the report has its closing note, and the program is ending.
  if (output_ == nullptr) {
    ok = false;
    return {};
  }
  CaseEnd end;
  end.ended = NowUtc();
  end.audit = std::move(audit);
  writer_->End(end);
  ok = writer_->ok() && !failed_ && next_written_ == next_ticket_;
  ok = output_->Close() && ok;
  const std::string digest = output_->Digest();
  output_.reset();
  if (!ok) return "quorvex-check: " + TerminalName(path_) + ": cannot write the report\n";
  return "quorvex-check: report " + TerminalName(path_) + ", SHA-256 " + digest + "\n";
}

void CaseReportRun::Interrupt() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (output_ == nullptr) return;
  writer_->Interrupted(NowUtc());
  output_->Close();
  output_.reset();
}

}  // namespace quorvex::cli
