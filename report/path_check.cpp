#include "path_check.h"

#include "field_panel.h"
#include "sha256.h"
#include "status.h"

namespace quorvex::report {

FileResult CheckPath(const std::string& path, const PathCheckOptions& options) {
  FileResult r;
  r.path = path;
  r.name = BareName(path);
  PrepareForCheck(r.panel, r.errors);
  CheckOptions check;
  check.trace = options.trace;
  check.summary = &r.summary;
  check.on_progress = options.on_progress;
  check.on_sealed_range = options.on_sealed_range;
  Sha256 hash;
  std::uint64_t hashed = 0;
  if (options.sha256) {
    check.on_bytes = [&hash, &hashed](const std::uint8_t* data, std::size_t size) {
      hash.Update(data, size);
      hashed += size;
    };
  }
  CheckFile(r.path, r.name, r.panel, r.errors, check);
  r.sha256_wanted = options.sha256;
  // A file that could not be opened or read whole has no hash.
  if (options.sha256 && r.summary.status != CheckStatus::kUnreadable && hashed == r.summary.size) {
    r.sha256 = hash.HexDigest();
  }
  return r;
}

std::string Diagnostic(const FileResult& r) {
  if (r.summary.status != CheckStatus::kUnreadable) return {};
  std::string what;
  if (r.summary.read_error.has_value()) {
    what = "read error at byte " + std::to_string(*r.summary.read_error);
  } else if (r.summary.verdict.has_value()) {
    what = "cannot open the file";
  } else {
    what = "no memory for the read buffer";
  }
  return "quorvex-check: " + r.path + ": " + what + "\n";
}

int ExitStatusOf(const FileResult& r) { return InfoOf(r.summary.status).exit_status; }

}  // namespace quorvex::report
