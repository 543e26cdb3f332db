#ifndef QUORVEX_CLI_RUN_CHECKS_H
#define QUORVEX_CLI_RUN_CHECKS_H

#include <cstdint>
#include <string>

#include "folder_walk.h"
#include "options.h"
#include "ordered_runner.h"

namespace quorvex::cli {

// What a run counts, by outcome, for the summary line.
struct RunTally {
  std::uint64_t intact = 0;
  std::uint64_t damaged = 0;
  std::uint64_t unsealed = 0;
  std::uint64_t invalid = 0;
  std::uint64_t unsupported_version = 0;
  std::uint64_t not_checked = 0;
  std::uint64_t skipped = 0;         // of no known kind, met inside a walk
  std::uint64_t partly_checked = 0;  // shown only when there are any
};

// "N files: A intact, ..." with its line feed.
std::string SummaryLine(const RunTally& tally);

// Where a run reads folders and writes its output.
struct RunEnvironment {
  OutputSink* sink = nullptr;  // standard output and error when null
  ListFolderFn list_folder = ListFolder;
  bool progress = false;  // draw a progress bar on standard error
};

// Checks every file the options name, and with -r every file in the folders
// they name, and writes the reports in that order. Returns the exit status.
int RunChecks(const Options& options, const RunEnvironment& environment);

}  // namespace quorvex::cli

#endif
