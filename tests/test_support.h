#ifndef QUORVEX_TESTS_TEST_SUPPORT_H
#define QUORVEX_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "check_file.h"
#include "dialog_fields.h"
#include "field_panel.h"
#include "file_builders.h"
#include "ordered_runner.h"
#include "read_window.h"

namespace quorvex::testing {

using build::Bytes;

// A sink of the ordered runner that keeps what is written, for runs inside
// the test.
class StringSink : public cli::OutputSink {
 public:
  void Out(std::string_view text) override { out.append(text); }
  void Err(std::string_view text) override { err.append(text); }
  std::string out;
  std::string err;
};

// A FieldPanel that also logs every operation in order, for the tests of
// what a check writes and when. One entry per operation: "text 1001 Name:
// x\n", "show 1002", "hide 1008", "enable 1007", "disable 1007".
class LoggedPanel : public FieldPanel {
 public:
  void SetFieldText(int id, const std::string& text) override;
  void ShowField(int id, bool show) override;
  void EnableDetail(bool enable) override;

  const std::vector<std::string>& log() const { return log_; }
  void clear_log() { log_.clear(); }

 private:
  std::vector<std::string> log_;
};

// Everything one check left behind.
struct CheckRun {
  LoggedPanel panel;
  ErrorList errors;
  std::string trace;
  CheckSummary summary;
};

// Runs the whole check, as the OK handler would, over contents in memory.
CheckRun RunCheck(const Bytes& bytes, const std::string& name = "file",
                  const std::string& path = "C:\\rec\\file");
CheckRun RunCheckOn(MemorySource& source, const std::string& name = "file",
                    const std::string& path = "C:\\rec\\file");
// The same with a window of `window_bytes`; a null source could not be opened.
CheckRun RunCheckWindowed(ByteSource* source, std::size_t window_bytes,
                          const std::string& name = "file",
                          const std::string& path = "C:\\rec\\file");

// A window over contents in memory, for the checks that take one.
struct WindowOver {
  explicit WindowOver(const Bytes& bytes, std::size_t capacity = 1 << 20);
  MemorySource source;
  std::vector<std::uint8_t> buffer;
  ReadWindow window;
};

Bytes Hex(const std::string& hex);

// Whether a run of the console program with `args` writes JSON: a --json
// among its options, in front of any "--". The string form is split at
// spaces, as the tests write their command lines.
bool AsksForJson(const std::vector<std::string>& args);
bool AsksForJson(const std::string& args);

#if !defined(_WIN32)
// Runs of the real console program and the schema check (program_run.cpp),
// through fork, exec and the shell.

// What one run of the console program printed on stdout, and its exit status.
struct ProgramRun {
  int status = -1;
  std::string out;
};

// Runs the console program in the samples folder with `args`; stderr goes to
// `err_to`.
ProgramRun CheckInSamples(const std::string& args, const std::string& err_to = "/dev/null");

// What one run of the console program wrote on stdout and stderr.
struct ProgramOutput {
  int status = -1;  // the exit status, or 128 + the signal
  std::string out;
  std::string err;
};

// Runs the console program in the folder `dir` with `args`, each passed as
// it is (no shell), standard input from /dev/null. A JSON document it writes
// is held to the schema.
ProgramOutput RunProgramIn(const std::string& dir, const std::vector<std::string>& args);

// Holds when `text` is one JSON document that parses strictly (no duplicate
// keys) and holds to the schema of the --json output, as a real validator
// (python3-jsonschema) finds it.
::testing::AssertionResult HoldsToSchema(const std::string& text);

#endif

}  // namespace quorvex::testing

#endif
