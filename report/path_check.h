#ifndef QUORVEX_REPORT_PATH_CHECK_H
#define QUORVEX_REPORT_PATH_CHECK_H

#include <cstdint>
#include <functional>
#include <string>

#include "byte_source.h"
#include "report.h"
#include "trace.h"

namespace quorvex::report {

// How one path is checked; the same for every file of a run.
struct PathCheckOptions {
  TraceSink* trace = nullptr;  // where the engine's trace goes; never null
  bool sha256 = false;         // hash each file, in the same pass as the check
  // Told how far the reading of the file has got.
  std::function<void(std::uint64_t done, std::uint64_t total)> on_progress;
  // Told of every byte range that a seal covers and the check compared.
  std::function<void(std::uint64_t begin, std::uint64_t end)> on_sealed_range;
};

// Checks the file at `path` as the dialog would and returns all that the
// reports need. Touches nothing shared: each call may run on its own thread.
FileResult CheckPath(const std::string& path, const PathCheckOptions& options);

// The result of a file that could not be checked for want of memory.
FileResult OutOfMemoryResult(const std::string& path, bool sha256_wanted);

// The same check of a file the caller has already opened as `path` (null: it
// could not be opened), so that no later change to what the path names can
// put another file in its place.
FileResult CheckOpenedPath(const std::string& path, ByteSource* opened,
                           const PathCheckOptions& options);

// The line for standard error about a file that could not be checked, with
// its line feed; empty when there is nothing to say.
std::string Diagnostic(const FileResult& result);

// What a result adds to the exit status: 0 intact, 1 not intact, 2 could not
// be checked.
int ExitStatusOf(const FileResult& result);

}  // namespace quorvex::report

#endif
