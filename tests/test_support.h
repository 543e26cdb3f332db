#ifndef QUORVEX_TESTS_TEST_SUPPORT_H
#define QUORVEX_TESTS_TEST_SUPPORT_H

#include <string>
#include <vector>

#include "check_file.h"
#include "field_panel.h"
#include "file_builders.h"
#include "read_window.h"

namespace quorvex::testing {

using build::Bytes;

// Everything one check left behind.
struct CheckRun {
  FieldPanel panel;
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

// What one run of the console program printed on stdout, and its exit status.
struct ProgramRun {
  int status = -1;
  std::string out;
};

// Runs the console program in the samples folder with `args`; stderr goes to
// `err_to`.
ProgramRun CheckInSamples(const std::string& args, const std::string& err_to = "/dev/null");

}  // namespace quorvex::testing

#endif
