#include "path_check.h"

#include "field_panel.h"

namespace quorvex::cli {

FileResult CheckPath(const std::string& path, const PathCheckOptions& options) {
  FileResult r;
  r.path = path;
  r.name = BareName(path);
  PrepareForCheck(r.panel, r.errors);
  CheckOptions check;
  check.trace = options.trace;
  check.summary = &r.summary;
  check.on_progress = options.on_progress;
  CheckFile(r.path, r.name, r.panel, r.errors, check);
  return r;
}

std::string Diagnostic(const FileResult& r) {
  if (r.summary.status != CheckStatus::kUnreadable) return {};
  return "quorvex-check: " + r.path + ": " +
         (r.summary.verdict.has_value() ? "cannot open the file"
                                        : "no memory for the read buffer") +
         "\n";
}

int ExitStatusOf(const FileResult& r) {
  switch (r.summary.status) {
    case CheckStatus::kIntact:
      return 0;
    case CheckStatus::kUnreadable:
      return 2;
    default:
      return 1;
  }
}

}  // namespace quorvex::cli
