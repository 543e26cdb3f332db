#ifndef QUORVEX_CLI_RUN_CHECKS_H
#define QUORVEX_CLI_RUN_CHECKS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "folder_walk.h"
#include "options.h"
#include "ordered_runner.h"
#include "status.h"

namespace quorvex::cli {

// What a run counts, by outcome, for the summary line.
struct RunTally {
  // Indexed by report::Outcome, in the summary's order.
  std::array<std::uint64_t, static_cast<std::size_t>(report::Outcome::kCount)> outcomes{};
  std::uint64_t skipped = 0;  // of no known kind, met inside a walk
};

// "N files: A intact, ..." with its line feed.
std::string SummaryLine(const RunTally& tally);

// Where a run reads folders and writes its output.
struct RunEnvironment {
  OutputSink* sink = nullptr;  // standard output and error when null
  ListFolderFn list_folder;    // the system's listing when empty
  bool progress = false;       // draw a progress bar on standard error
};

// Checks every file the options name, and with -r every file in the folders
// they name, and writes the reports in that order. Returns the exit status.
int RunChecks(const Options& options, const RunEnvironment& environment);

}  // namespace quorvex::cli

#endif
