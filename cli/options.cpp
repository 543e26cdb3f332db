#include "options.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string_view>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sched.h>
#endif

namespace quorvex::cli {
namespace {

constexpr std::string_view kVersion = "quorvex-check 1.0.0.11\n";
constexpr std::string_view kUsage =
    "usage: quorvex-check [OPTIONS] FILE...\n"
    "Checks whether snapshots (JPEG, PNG, BMP) and recordings (AVI) carry the\n"
    "recorder's seal and are unchanged since it was made.\n"
    "\n"
    "  -r, --recursive  check every file in the folders given, and in their folders\n"
    "  -j, --jobs N     check up to N files at once (default: the processors available)\n"
    "      --detail     list the failed frames of each recording\n"
    "      --json       print one JSON array with an object per file, nothing else\n"
    "      --sha256     add each file's SHA-256 to the report\n"
    "      --trace      print the checker's trace on standard error\n"
    "      --report FILE  write a printable HTML case report of the run (with --sha256)\n"
    "      --case TEXT, --examiner TEXT, --note TEXT  what the report says of the case\n"
    "  -h, --help       print this help and exit\n"
    "      --version    print the version and exit\n"
    "      --           take every later argument as a FILE\n"
    "\n"
    "Exit status: 0 every file intact, 1 some file not intact,\n"
    "2 some file or folder could not be checked or the command line is wrong.\n";

constexpr unsigned kMaxJobs = 256;

void Write(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "quorvex-check: %s\n", message.c_str());
  Write(stderr, kUsage);
  return 2;
}

// The library's message on one line.
std::string MessageOf(const CLI::Error& e) {
  std::string text = e.what();
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

std::string CommandLineText(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool plain = !arg.empty() && arg.find_first_not_of(
                                           "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                           "0123456789-_./=:,+@%") == std::string::npos;
    if (i > 0) line += ' ';
    if (plain) {
      line += arg;
      continue;
    }
    // Quoted as a POSIX shell reads it back.
    line += '\'';
    for (const char c : arg) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += '\'';
  }
  return line;
}

unsigned AvailableProcessors() {
#if defined(_WIN32)
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0) {
    unsigned n = 0;
    for (; process != 0; process &= process - 1) ++n;
    return n;
  }
#else
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<unsigned>(n);
  }
#endif
  return 1;
}

int ParseOptions(int argc, char** argv, Options& options) {
  CLI::App app("quorvex-check", "quorvex-check");
  // The usage text above is the help; the library's own is not used.
  app.set_help_flag();
  bool help = false;
  bool version = false;
  options.jobs = AvailableProcessors();
  app.add_flag("-h,--help", help);
  app.add_flag("--version", version);
  app.add_flag("--detail", options.detail);
  app.add_flag("--json", options.json);
  app.add_flag("--trace", options.trace);
  app.add_flag("--sha256", options.sha256);
  app.add_flag("-r,--recursive", options.recursive);
  app.add_option("-j,--jobs", options.jobs)->check(CLI::Range(1u, kMaxJobs));
  app.add_option("--report", options.report);
  app.add_option("--case", options.case_name);
  app.add_option("--examiner", options.examiner);
  app.add_option("--note", options.note);
  app.add_option("FILE", options.files);
  // Unknown options are gathered and refused with the wording of old.
  app.allow_extras();
  try {
    app.parse(argc, argv);
  } catch (const CLI::Error& e) {
    return UsageError(MessageOf(e));
  }
  // The library lists the "--" that ended the options among the extras.
  for (const std::string& extra : app.remaining()) {
    if (extra != "--") return UsageError("unknown option '" + extra + "'");
  }
  if (help) {
    Write(stdout, kUsage);
    return 0;
  }
  if (version) {
    Write(stdout, kVersion);
    return 0;
  }
  if (options.files.empty()) return UsageError("no file given");
  // A report names each file by its hash.
  if (!options.report.empty()) options.sha256 = true;
  options.command_line = CommandLineText(argc, argv);
  return -1;
}

}  // namespace quorvex::cli
