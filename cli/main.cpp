// quorvex-check: checks the seals of snapshots and recordings from the
// recorder, and of every file in the folders of an export, for scripts and
// batch work.
#include <cstdio>

#include "console.h"
#include "options.h"
#include "run_checks.h"

int main(int argc, char** argv) {
  quorvex::cli::UseBinaryStdio();
  quorvex::cli::Options options;
  if (const int status = quorvex::cli::ParseOptions(argc, argv, options); status >= 0) {
    return status;
  }
  quorvex::cli::RunEnvironment environment;
  environment.progress = quorvex::cli::IsTerminal(stderr);
  return quorvex::cli::RunChecks(options, environment);
}
