#include "test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace quorvex::testing {

void LoggedPanel::SetFieldText(int id, const std::string& text) {
  FieldPanel::SetFieldText(id, text);
  log_.push_back("text " + std::to_string(id) + " " + text);
}

void LoggedPanel::ShowField(int id, bool show) {
  FieldPanel::ShowField(id, show);
  log_.push_back((show ? "show " : "hide ") + std::to_string(id));
}

void LoggedPanel::EnableDetail(bool enable) {
  FieldPanel::EnableDetail(enable);
  log_.push_back((enable ? "enable " : "disable ") + std::to_string(IDC_DETAIL));
}

CheckRun RunCheckWindowed(ByteSource* source, std::size_t window_bytes, const std::string& name,
                          const std::string& path) {
  CheckRun run;
  report::PrepareForCheck(run.panel, run.errors);
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
  if (AsksForJson(args) && !run.out.empty()) {
    EXPECT_TRUE(HoldsToSchema(run.out)) << args;
  }
  return run;
}

namespace {

std::string ReadAndRemove(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) text.append(buf.data(), n);
    std::fclose(f);
  }
  ::unlink(path.c_str());
  return text;
}

}  // namespace

ProgramOutput RunProgramIn(const std::string& dir, const std::vector<std::string>& args) {
  ProgramOutput run;
  std::string out_name = "/tmp/quorvex-out-XXXXXX";
  std::string err_name = "/tmp/quorvex-err-XXXXXX";
  const int out_fd = ::mkstemp(out_name.data());
  const int err_fd = ::mkstemp(err_name.data());
  if (out_fd < 0 || err_fd < 0) return run;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in_fd = ::open("/dev/null", O_RDONLY);
    if (in_fd < 0 || ::dup2(in_fd, 0) < 0 || ::dup2(out_fd, 1) < 0 || ::dup2(err_fd, 2) < 0 ||
        ::chdir(dir.c_str()) != 0) {
      ::_exit(126);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(QUORVEX_CHECK_EXE));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(QUORVEX_CHECK_EXE, argv.data());
    ::_exit(127);
  }
  ::close(out_fd);
  ::close(err_fd);
  int raw = 0;
  if (pid > 0 && ::waitpid(pid, &raw, 0) == pid) {
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  }
  run.out = ReadAndRemove(out_name);
  run.err = ReadAndRemove(err_name);
  if (AsksForJson(args) && !run.out.empty()) {
    EXPECT_TRUE(HoldsToSchema(run.out));
  }
  return run;
}

bool AsksForJson(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--") return false;
    if (a == "--json") return true;
  }
  return false;
}

bool AsksForJson(const std::string& args) {
  std::vector<std::string> words;
  std::istringstream in(args);
  for (std::string word; in >> word;) words.push_back(word);
  return AsksForJson(words);
}

::testing::AssertionResult HoldsToSchema(const std::string& text) {
  std::string name = "/tmp/quorvex-json-XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return ::testing::AssertionFailure() << "cannot make a file for the document";
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  std::string said;
  int raw = -1;
  if (written) {
    const std::string command = std::string("'") + QUORVEX_PYTHON + "' '" + QUORVEX_VALIDATE_JSON +
                                "' '" + QUORVEX_JSON_SCHEMA + "' '" + name + "' 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe != nullptr) {
      std::array<char, 4096> buf;
      std::size_t n;
      while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) said.append(buf.data(), n);
      raw = ::pclose(pipe);
    }
  }
  ::unlink(name.c_str());
  if (written && WIFEXITED(raw) && WEXITSTATUS(raw) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the document does not hold to the schema:\n"
                                       << said << "the document:\n"
                                       << text.substr(0, 4000);
}

}  // namespace quorvex::testing
