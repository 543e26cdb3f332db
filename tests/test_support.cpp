#include "test_support.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace quorvex::testing {

CheckRun RunCheckWindowed(ByteSource* source, std::size_t window_bytes, const std::string& name,
                          const std::string& path) {
  CheckRun run;
  PrepareForCheck(run.panel, run.errors);
  run.panel.clear_log();
  StringTraceSink trace;
  CheckOptions options;
  options.trace = &trace;
  options.summary = &run.summary;
  options.window_bytes = window_bytes;
  CheckContents(source, path, name, run.panel, run.errors, options);
  run.trace = trace.text();
  return run;
}

CheckRun RunCheckOn(MemorySource& source, const std::string& name, const std::string& path) {
  return RunCheckWindowed(&source, kDefaultWindowBytes, name, path);
}

CheckRun RunCheck(const Bytes& bytes, const std::string& name, const std::string& path) {
  MemorySource source(bytes);
  return RunCheckOn(source, name, path);
}

WindowOver::WindowOver(const Bytes& bytes, std::size_t capacity) : source(bytes) {
  std::uint64_t size = 0;
  source.MeasureSize(size);
  buffer.resize(WindowCapacity(capacity, size));
  window.source = &source;
  window.size = size;
  window.buffer = buffer.data();
  window.capacity = buffer.size();
}

Bytes Hex(const std::string& hex) {
  Bytes b;
  std::string digits;
  for (char c : hex) {
    if (c != ' ') digits.push_back(c);
  }
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    b.push_back(static_cast<std::uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
  }
  return b;
}

ProgramRun CheckInSamples(const std::string& args, const std::string& err_to) {
  const std::string command = std::string("cd '") + QUORVEX_SAMPLES_DIR + "' && '" +
                              QUORVEX_CHECK_EXE + "' " + args + " 2>" + err_to;
  ProgramRun run;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) run.out.append(buf.data(), n);
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

}  // namespace quorvex::testing
