#include "options.h"

#include <CLI/CLI.hpp>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "escape.h"
#include "quorvex_version.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sched.h>
#endif

namespace quorvex::cli {
namespace {

constexpr std::string_view kVersion = "quorvex-check " QUORVEX_VERSION "\n";
constexpr std::string_view kUsage =
    "usage: quorvex-check [OPTIONS] FILE...\n"
    "       quorvex-check [OPTIONS] --files0-from LIST\n"
    "Checks whether snapshots (JPEG, PNG, BMP) and recordings (AVI) carry the\n"
    "recorder's seal and are unchanged since it was made.\n"
    "\n"
    "  -r, --recursive  check every file in the folders given, and in their folders\n"
    "  -j, --jobs N     check up to N files at once (default: the processors available)\n"
    "      --manifest FILE  write the SHA-256 of every file read whole to FILE,\n"
    "                   in sha256sum's format (implies --sha256)\n"
    "      --audit FILE hold every file against the manifest FILE (implies -r);\n"
    "                   with no FILE argument, the manifest's whole folder\n"
    "      --detail     list the failed frames of each recording\n"
    "      --json       print one JSON array with an object per file, nothing else\n"
    "      --sha256     add each file's SHA-256 to the report\n"
    "      --trace      print the checker's trace on standard error\n"
    "      --report FILE  write a printable HTML case report of the run (with --sha256)\n"
    "      --case TEXT, --examiner TEXT, --note TEXT  what the report says of the case\n"
    "      --files0-from LIST  check the files named in LIST, each name ended by\n"
    "                   a NUL byte (LIST - is standard input), as one run\n"
    "  -h, --help       print this help and exit\n"
    "      --version    print the version and exit\n"
    "      --           take every later argument as a FILE\n"
    "\n"
    "Exit status: 0 every file intact, 1 some file not intact or not as the\n"
    "manifest lists it, 2 some file or folder could not be checked, the command\n"
    "line is wrong or the output could not be written, 130 or 143 interrupted\n"
    "(SIGINT, SIGTERM).\n";

constexpr unsigned kMaxJobs = 256;

void Write(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

// A command line that is wrong in a way the usage text does not explain.
int LineError(const std::string& message) {
  std::fprintf(stderr, "quorvex-check: %s\n", message.c_str());
  return 2;
}

// Reads the names in the file `from` ("-": standard input) into `files`.
bool ReadFileList(const std::string& from, std::vector<std::string>& files, std::string& error) {
  const bool standard_input = from == "-";
  std::FILE* in = stdin;
  if (standard_input) {
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
  } else {
    in = std::fopen(from.c_str(), "rb");
    if (in == nullptr) {
      error = std::strerror(errno);
      return false;
    }
  }
  std::string text;
  char buf[65536];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) text.append(buf, n);
  const bool failed = std::ferror(in) != 0;
  if (failed) error = std::strerror(errno);
  if (!standard_input) std::fclose(in);
  if (failed) return false;
  SplitFileList(text, files);
  return true;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "quorvex-check: %s\n", message.c_str());
  Write(stderr, kUsage);
  return 2;
}

// The library's message on one line; what it quotes of the arguments is
// escaped like a name, so that it cannot reach the terminal as it is.
std::string MessageOf(const CLI::Error& e) {
  std::string text = e.what();
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  return report::EscapeText(text);
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

void SplitFileList(std::string_view text, std::vector<std::string>& files) {
  while (!text.empty()) {
    const std::size_t end = text.find('\0');
    files.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
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
  app.add_option("--manifest", options.manifest);
  app.add_option("--audit", options.audit);
  app.add_option("-j,--jobs", options.jobs)->check(CLI::Range(1u, kMaxJobs));
  CLI::Option* report_option = app.add_option("--report", options.report);
  const std::array<CLI::Option*, 3> case_options = {app.add_option("--case", options.case_name),
                                                    app.add_option("--examiner", options.examiner),
                                                    app.add_option("--note", options.note)};
  std::string list;
  CLI::Option* list_option = app.add_option("--files0-from", list);
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
    if (extra != "--") return UsageError("unknown option '" + report::EscapeName(extra) + "'");
  }
  const bool any_file = !options.files.empty() || list_option->count() > 0;
  if ((help || version) && any_file) {
    // A glob that matched a name like "-h" would otherwise check nothing.
    return LineError(std::string(help ? "--help" : "--version") +
                     " cannot be given with files; put -- before file names");
  }
  if (help) {
    Write(stdout, kUsage);
    return 0;
  }
  if (version) {
    Write(stdout, kVersion);
    return 0;
  }
  if (report_option->count() > 0 && options.report.empty()) {
    return LineError("--report needs the name of the file to write");
  }
  for (const CLI::Option* o : case_options) {
    // Said of a report that is not written, the text would be lost unseen.
    if (o->count() > 0 && report_option->count() == 0) {
      return LineError(o->get_name() + " goes with --report");
    }
  }
  // A report names each file by its hash.
  if (options.manifest.has_value() || options.audit.has_value() || !options.report.empty()) {
    options.sha256 = true;
  }
  options.command_line = CommandLineText(argc, argv);
  // An audit takes whole folders: the entries under a named one take part.
  if (options.audit.has_value()) options.recursive = true;
  if (list_option->count() > 0) {
    if (!options.files.empty())
      return LineError("files cannot be named both on the command line and with --files0-from");
    std::string error;
    if (!ReadFileList(list, options.files, error)) {
      return LineError("cannot read the list of files " + report::EscapeName(list) + ": " + error);
    }
    options.from_list = true;
    return -1;
  }
  if (options.files.empty() && !options.audit.has_value()) return UsageError("no file given");
  return -1;
}

}  // namespace quorvex::cli
