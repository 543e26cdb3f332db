// quorvex-check: checks the seals of snapshots and recordings from the
// recorder, one file after another, for scripts and batch work.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "check_file.h"
#include "console.h"
#include "path_check.h"
#include "report.h"

namespace {

using quorvex::cli::FileResult;

constexpr std::string_view kVersion = "quorvex-check 1.0.0.11\n";
constexpr std::string_view kUsage =
    "usage: quorvex-check [OPTIONS] FILE...\n"
    "Checks whether snapshots (JPEG, PNG, BMP) and recordings (AVI) carry the\n"
    "recorder's seal and are unchanged since it was made.\n"
    "\n"
    "  --detail   list the failed frames of each recording\n"
    "  --json     print one JSON array with an object per file, nothing else\n"
    "  --sha256   also give each file's SHA-256\n"
    "  --trace    print the checker's trace on standard error\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Exit status: 0 every file intact, 1 some file not intact,\n"
    "2 some file could not be checked or the command line is wrong.\n";

// Files smaller than this are over before a progress bar would be seen.
constexpr std::uint64_t kProgressMinBytes = 16u << 20;

struct Options {
  bool detail = false;
  bool json = false;
  bool sha256 = false;
  bool trace = false;
  std::vector<std::string> files;
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "quorvex-check: %s\n", message.c_str());
  std::fwrite(kUsage.data(), 1, kUsage.size(), stderr);
  return 2;
}

// Returns -1 when the checks should run, else the exit status.
int ParseArguments(int argc, char** argv, Options& options) {
  bool only_files = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (only_files || arg.empty() || arg[0] != '-' || arg == "-") {
      options.files.push_back(arg);
    } else if (arg == "--") {
      only_files = true;
    } else if (arg == "--detail") {
      options.detail = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--sha256") {
      options.sha256 = true;
    } else if (arg == "--trace") {
      options.trace = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
      return 0;
    } else if (arg == "--version") {
      std::fwrite(kVersion.data(), 1, kVersion.size(), stdout);
      return 0;
    } else {
      return UsageError("unknown option '" + arg + "'");
    }
  }
  if (options.files.empty()) return UsageError("no file given");
  return -1;
}

class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled) {}

  void Update(std::uint64_t done, std::uint64_t total) {
    if (!enabled_ || total < kProgressMinBytes) return;
    const int percent = static_cast<int>(done * 100.0 / static_cast<double>(total));
    if (percent == shown_) return;
    shown_ = percent;
    const int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r[%.*s%.*s] %3d%%", filled,
                 "==============================", 30 - filled, "                              ",
                 percent);
    std::fflush(stderr);
  }

  void Clear() {
    if (shown_ >= 0) std::fputs("\r\033[K", stderr);
    shown_ = -1;
  }

 private:
  bool enabled_;
  int shown_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  quorvex::cli::UseBinaryStdio();
  Options options;
  if (const int status = ParseArguments(argc, argv, options); status >= 0) return status;

  quorvex::StreamTraceSink trace_to_stderr(stderr);
  quorvex::NullTraceSink no_trace;
  ProgressBar progress(!options.trace && quorvex::cli::IsTerminal(stderr));

  quorvex::cli::JsonArrayWriter json_array;
  int exit_status = 0;
  for (const std::string& path : options.files) {
    quorvex::cli::PathCheckOptions check;
    check.trace = options.trace ? static_cast<quorvex::TraceSink*>(&trace_to_stderr) : &no_trace;
    check.sha256 = options.sha256;
    check.on_progress = [&progress](std::uint64_t done, std::uint64_t total) {
      progress.Update(done, total);
    };
    const FileResult r = quorvex::cli::CheckPath(path, check);
    progress.Clear();

    exit_status = std::max(exit_status, quorvex::cli::ExitStatusOf(r));
    if (!options.trace) {
      const std::string message = quorvex::cli::Diagnostic(r);
      std::fwrite(message.data(), 1, message.size(), stderr);
    }
    const std::string text = options.json ? json_array.Next() + quorvex::cli::JsonElement(r)
                                          : quorvex::cli::TextReport(r, options.detail);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  if (options.json) {
    const std::string text = json_array.Close();
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return exit_status;
}
