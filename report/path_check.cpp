#include "path_check.h"

#include <memory>
#include <new>
#include <optional>

#include "dialog_fields.h"
#include "escape.h"
#include "field_panel.h"
#include "sha256.h"
#include "status.h"

namespace quorvex::report {

namespace {

// Checks the file opened by the caller, or with `open_here` the file at
// `path` opened here.
FileResult CheckOrThrow(const std::string& path, ByteSource* opened, bool open_here,
                        const PathCheckOptions& options) {
  FileResult r;
  r.path = path;
  r.name = BareName(path);
  PrepareForCheck(r.panel, r.errors);
  CheckOptions check;
  check.trace = options.trace;
  check.summary = &r.summary;
  check.on_sealed_range = options.on_sealed_range;
  std::unique_ptr<ByteSource> file;
  if (open_here) file = OpenFileSource(r.path);
  ByteSource* source = open_here ? file.get() : opened;
  std::optional<ProgressSource> progress;
  if (source != nullptr && options.on_progress) {
    source = &progress.emplace(*source, options.on_progress);
  }
  Sha256 hash;
  std::optional<InOrderSource> hashed;
  if (source != nullptr && options.sha256) {
    source = &hashed.emplace(
        *source, [&hash](const std::uint8_t* data, std::size_t size) { hash.Update(data, size); });
  }
  CheckContents(source, r.path, r.name, r.panel, r.errors, check);
  r.sha256_wanted = options.sha256;
  // A file that could not be opened or read whole, or that changed, has no
  // hash.
  const CheckStatus status = r.summary.status;
  if (hashed.has_value() && status != CheckStatus::kUnreadable && status != CheckStatus::kChanged &&
      hashed->fed() == r.summary.size) {
    r.sha256 = hash.HexDigest();
  }
  return r;
}

}  // namespace

FileResult CheckPath(const std::string& path, const PathCheckOptions& options) {
  try {
    return CheckOrThrow(path, nullptr, true, options);
  } catch (const std::bad_alloc&) {
    // Memory ran out outside the engine's own check: the file is still one
    // that could not be checked, and the run goes on.
    return OutOfMemoryResult(path, options.sha256);
  }
}

FileResult CheckOpenedPath(const std::string& path, ByteSource* opened,
                           const PathCheckOptions& options) {
  try {
    return CheckOrThrow(path, opened, false, options);
  } catch (const std::bad_alloc&) {
    return OutOfMemoryResult(path, options.sha256);
  }
}

FileResult OutOfMemoryResult(const std::string& path, bool sha256_wanted) {
  FileResult r;
  r.path = path;
  r.name = BareName(path);
  r.sha256_wanted = sha256_wanted;
  r.summary.status = CheckStatus::kUnreadable;
  r.summary.out_of_memory = true;
  return r;
}

std::string Diagnostic(const FileResult& r) {
  if (r.summary.status == CheckStatus::kChanged) {
    return "quorvex-check: " + EscapeName(r.path) + ": changed while it was checked\n";
  }
  if (r.summary.status != CheckStatus::kUnreadable) return {};
  std::string what;
  if (r.summary.out_of_memory) {
    what = "out of memory";
  } else if (r.summary.read_error.has_value()) {
    what = "read error at byte " + std::to_string(*r.summary.read_error);
  } else {
    what = "cannot open the file";
  }
  return "quorvex-check: " + EscapeName(r.path) + ": " + what + "\n";
}

int ExitStatusOf(const FileResult& r) { return InfoOf(r.summary).exit_status; }

}  // namespace quorvex::report
