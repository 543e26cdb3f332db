#ifndef QUORVEX_CLI_OPTIONS_H
#define QUORVEX_CLI_OPTIONS_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex::cli {

// What the command line asks for.
struct Options {
  bool detail = false;
  bool json = false;
  bool trace = false;
  bool recursive = false;
  bool sha256 = false;
  unsigned jobs = 1;
  std::optional<std::string> manifest;  // write one here
  std::optional<std::string> audit;     // hold the files against this one
  std::vector<std::string> files;
  // The files came from --files0-from: the run ends with a summary however
  // many there were.
  bool from_list = false;
  // --report FILE: the case report, with what it says of the case.
  std::string report;
  std::string case_name;
  std::string examiner;
  std::string note;
  std::string command_line;  // as run, for the report
};

// The arguments as one line, each quoted as a POSIX shell would need it.
std::string CommandLineText(int argc, char** argv);

// How many processors this process may run on; at least 1.
unsigned AvailableProcessors();

// Parses the command line into `options` (jobs defaults to the processors
// available). Returns -1 when the checks should run; otherwise the help, the
// version or a usage error has been written and the value is the exit status.
int ParseOptions(int argc, char** argv, Options& options);

// Adds the NUL-separated names in `text` to `files`; the last needs no NUL
// after it.
void SplitFileList(std::string_view text, std::vector<std::string>& files);

}  // namespace quorvex::cli

#endif
