// quorvex-check: checks the seals of snapshots and recordings from the
// recorder, and of every file in the folders of an export, for scripts and
// batch work.
#include <cerrno>
#include <cstdio>

#include "console.h"
#include "options.h"
#include "run_checks.h"

int main(int argc, char** argv) {
  // Before anything is opened, so that no file read becomes standard output.
  if (!quorvex::cli::MakeStandardDescriptorsSafe()) quorvex::cli::ExitOnWriteError(EBADF);
  // Before any thread is started.
  quorvex::cli::CatchInterruptions();
  quorvex::cli::UseBinaryStdio();
  quorvex::cli::Options options;
  if (const int status = quorvex::cli::ParseOptions(argc, argv, options); status >= 0) {
    // The help and the version are output like any report.
    int error = 0;
    if (!quorvex::cli::FlushStdout(error)) quorvex::cli::ExitOnWriteError(error);
    return status;
  }
  quorvex::cli::RunEnvironment environment;
  environment.progress = quorvex::cli::TakesEscapes(stderr);
  return quorvex::cli::RunChecks(options, environment);
}
