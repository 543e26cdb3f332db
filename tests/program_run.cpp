// Runs of the real console program from the tests, and the schema check of
// the JSON it writes: through fork, exec and the shell, on POSIX systems.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "test_support.h"

namespace quorvex::testing {

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
