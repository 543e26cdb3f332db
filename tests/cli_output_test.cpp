// The console program's output under trouble: writes that fail, standard
// descriptors closed, SIGPIPE ignored or not, runs interrupted by SIGINT and
// SIGTERM, lists of files with --files0-from, and --help or --version given
// with files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kSamples = QUORVEX_SAMPLES_DIR;
const std::string kIntact = kSamples + "/snapshot-intact.jpg";

enum class Stdout {
  kPipe,        // read by the test
  kDevFull,     // every write fails: no space left
  kClosed,      // descriptor 1 closed
  kReaderGone,  // a pipe whose reading end is closed
};

struct Launch {
  std::vector<std::string> args;
  Stdout out = Stdout::kPipe;
  bool ignore_sigpipe = false;
  bool close_stdin = false;
  bool close_stderr = false;
  std::string stdin_text;  // given on a pipe when not empty
  int signal = 0;          // sent once this much output was read
  std::size_t signal_after = 0;
};

struct Ended {
  bool exited = false;
  int status = -1;  // the exit status, or the signal that ended it
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the real program as `launch` says, reading its standard output.
Ended Run(const Launch& launch, const std::string& err_path) {
  int out_pipe[2] = {-1, -1};
  int in_pipe[2] = {-1, -1};
  if (launch.out == Stdout::kPipe && ::pipe(out_pipe) != 0) return {};
  if (!launch.stdin_text.empty() && ::pipe(in_pipe) != 0) return {};
  std::vector<std::string> argv_text{QUORVEX_CHECK_EXE};
  argv_text.insert(argv_text.end(), launch.args.begin(), launch.args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err, 2);
    ::close(err);
    switch (launch.out) {
      case Stdout::kPipe:
        ::dup2(out_pipe[1], 1);
        ::close(out_pipe[0]);
        ::close(out_pipe[1]);
        break;
      case Stdout::kDevFull: {
        const int full = ::open("/dev/full", O_WRONLY);
        ::dup2(full, 1);
        ::close(full);
        break;
      }
      case Stdout::kClosed:
        ::close(1);
        break;
      case Stdout::kReaderGone: {
        int p[2];
        if (::pipe(p) != 0) ::_exit(126);
        ::dup2(p[1], 1);
        ::close(p[0]);
        ::close(p[1]);
        break;
      }
    }
    if (in_pipe[0] >= 0) {
      ::dup2(in_pipe[0], 0);
      ::close(in_pipe[0]);
      ::close(in_pipe[1]);
    }
    if (launch.close_stdin) ::close(0);
    if (launch.close_stderr) ::close(2);
    ::signal(SIGPIPE, launch.ignore_sigpipe ? SIG_IGN : SIG_DFL);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  Ended ended;
  if (in_pipe[0] >= 0) {
    ::close(in_pipe[0]);
    // The program reads its whole list before it writes anything.
    std::size_t at = 0;
    while (at < launch.stdin_text.size()) {
      const ssize_t n =
          ::write(in_pipe[1], launch.stdin_text.data() + at, launch.stdin_text.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    ::close(in_pipe[1]);
  }
  if (out_pipe[0] >= 0) {
    ::close(out_pipe[1]);
    bool sent = false;
    char buf[4096];
    for (;;) {
      if (launch.signal != 0 && !sent && ended.out.size() >= launch.signal_after) {
        ::kill(pid, launch.signal);
        sent = true;
      }
      const ssize_t n = ::read(out_pipe[0], buf, sizeof buf);
      if (n <= 0) break;
      ended.out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out_pipe[0]);
  }
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  ended.exited = WIFEXITED(raw);
  ended.status = ended.exited ? WEXITSTATUS(raw) : WTERMSIG(raw);
  ended.err = ReadAll(err_path);
  return ended;
}

class CliOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quorvex-output-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
  }
  void TearDown() override { fs::remove_all(base_); }

  Ended Run(const Launch& launch) { return ::Run(launch, base_ + "/err"); }

  // A list naming the intact snapshot `count` times.
  std::string ManyTimes(int count) {
    const std::string path = base_ + "/list";
    std::string list;
    for (int i = 0; i < count; ++i) list += kIntact + '\0';
    std::ofstream(path, std::ios::binary) << list;
    return path;
  }

  std::string base_;
};

// --- Writes that fail ---

struct WriteCase {
  const char* name;
  std::vector<std::string> args;  // "LIST" stands for a list of many files
  Stdout out;
  bool ignore_sigpipe;
  const char* reason;  // the words of the write error
};

class WriteErrorTest : public CliOutputTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteErrorTest, StopsWithTheReasonAndStatusTwo) {
  Launch launch;
  for (const std::string& a : GetParam().args)
    launch.args.push_back(a == "LIST" ? ManyTimes(3000) : a);
  launch.out = GetParam().out;
  launch.ignore_sigpipe = GetParam().ignore_sigpipe;
  const Ended ended = Run(launch);
  EXPECT_TRUE(ended.exited);
  EXPECT_EQ(ended.status, 2);
  // One line, nothing after it: the run stopped at the first failed write.
  EXPECT_EQ(ended.err, std::string("quorvex-check: write error: ") + GetParam().reason + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteErrorTest,
    ::testing::Values(
        WriteCase{
            "OneFileToFullDisk", {kIntact}, Stdout::kDevFull, false, "No space left on device"},
        WriteCase{"ManyFilesToFullDisk",
                  {"--files0-from", "LIST"},
                  Stdout::kDevFull,
                  false,
                  "No space left on device"},
        WriteCase{"JsonToFullDisk",
                  {"--json", "-j", "2", "--files0-from", "LIST"},
                  Stdout::kDevFull,
                  false,
                  "No space left on device"},
        WriteCase{"HelpToFullDisk", {"--help"}, Stdout::kDevFull, false, "No space left on device"},
        WriteCase{"ClosedStdout", {kIntact}, Stdout::kClosed, false, "Bad file descriptor"},
        WriteCase{"ClosedStdoutWithJson",
                  {"--json", kIntact},
                  Stdout::kClosed,
                  false,
                  "Bad file descriptor"},
        WriteCase{"BrokenPipeWithSigpipeIgnored",
                  {"--files0-from", "LIST"},
                  Stdout::kReaderGone,
                  true,
                  "Broken pipe"},
        WriteCase{"BrokenPipeAtTwoJobs",
                  {"-j", "2", "--json", "--files0-from", "LIST"},
                  Stdout::kReaderGone,
                  true,
                  "Broken pipe"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliOutputTest, BrokenPipeWithSigpipeAtItsDefaultEndsQuietlyByTheSignal) {
  Launch launch;
  launch.args = {"--files0-from", ManyTimes(3000)};
  launch.out = Stdout::kReaderGone;
  const Ended ended = Run(launch);
  EXPECT_FALSE(ended.exited);
  EXPECT_EQ(ended.status, SIGPIPE);
  EXPECT_EQ(ended.err, "");
}

struct ClosedCase {
  const char* name;
  bool close_stdin;
  bool close_stderr;
};

class ClosedDescriptorTest : public CliOutputTest,
                             public ::testing::WithParamInterface<ClosedCase> {};

// A file opened for checking would take the lowest descriptor free.
TEST_P(ClosedDescriptorTest, RunsAsWithItOpen) {
  Launch launch;
  launch.args = {"--trace", kIntact, kSamples + "/snapshot-damaged.jpg"};
  launch.close_stdin = GetParam().close_stdin;
  launch.close_stderr = GetParam().close_stderr;
  const Ended ended = Run(launch);
  Launch open;
  open.args = launch.args;
  const Ended expected = Run(open);
  EXPECT_TRUE(ended.exited);
  EXPECT_EQ(ended.status, 1);
  EXPECT_EQ(ended.out, expected.out);
  if (!GetParam().close_stderr) {
    EXPECT_EQ(ended.err, expected.err);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ClosedDescriptorTest,
                         ::testing::Values(ClosedCase{"Stdin", true, false},
                                           ClosedCase{"Stderr", false, true},
                                           ClosedCase{"Both", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Interrupted runs ---

struct InterruptCase {
  const char* name;
  const char* jobs;
  int signal;
  int exit_status;
};

class InterruptTest : public CliOutputTest, public ::testing::WithParamInterface<InterruptCase> {};

// Cut at many places in a run of thousands of files, the output is whole
// reports, or a JSON array that parses, and then the run ends at once.
TEST_P(InterruptTest, OutputEndsWholeEveryTime) {
  const std::string list = ManyTimes(20000);
  Launch one;
  one.args = {kIntact};
  const std::string line = Run(one).out;
  ASSERT_FALSE(line.empty());
  std::mt19937 random(GetParam().signal * 7 + GetParam().jobs[0]);
  constexpr int kRuns = 12;
  for (int i = 0; i < kRuns; ++i) {
    const bool json = i % 2 == 0;
    Launch launch;
    launch.args = {"-j", GetParam().jobs, "--files0-from", list};
    if (json) launch.args.insert(launch.args.begin(), "--json");
    launch.signal = GetParam().signal;
    launch.signal_after = 1 + random() % 60000;
    const Ended ended = Run(launch);
    SCOPED_TRACE("run " + std::to_string(i) + ", signal after " +
                 std::to_string(launch.signal_after) + " bytes");
    EXPECT_TRUE(ended.exited);
    EXPECT_EQ(ended.status, GetParam().exit_status);
    EXPECT_EQ(ended.err, "quorvex-check: interrupted\n");
    std::size_t reports = 0;
    if (json) {
      const nlohmann::json array = nlohmann::json::parse(ended.out, nullptr, false);
      ASSERT_TRUE(array.is_array())
          << ended.out.substr(ended.out.size() > 300 ? ended.out.size() - 300 : 0);
      for (const auto& element : array) EXPECT_EQ(element.at("path"), kIntact);
      reports = array.size();
    } else {
      std::istringstream lines(ended.out);
      std::string got;
      while (std::getline(lines, got)) {
        ASSERT_EQ(got + "\n", line);
        ++reports;
      }
      EXPECT_EQ(ended.out.size(), reports * line.size());
    }
    // It stopped well before the end of the list.
    EXPECT_LT(reports, 20000u);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, InterruptTest,
                         ::testing::Values(InterruptCase{"SigintOneJob", "1", SIGINT, 130},
                                           InterruptCase{"SigintTwoJobs", "2", SIGINT, 130},
                                           InterruptCase{"SigtermOneJob", "1", SIGTERM, 143},
                                           InterruptCase{"SigtermTwoJobs", "2", SIGTERM, 143}),
                         [](const auto& info) { return std::string(info.param.name); });

// An interrupted run's case report is ended with a note, not left cut off,
// and its temporary file is gone.
TEST_F(CliOutputTest, InterruptedReportEndsWithANote) {
  const std::string list = ManyTimes(20000);
  for (const char* jobs : {"1", "2"}) {
    SCOPED_TRACE(std::string("-j ") + jobs);
    const std::string report = base_ + "/report-" + jobs + ".html";
    Launch launch;
    launch.args = {"-j", jobs, "--report", report, "--files0-from", list};
    launch.signal = SIGINT;
    launch.signal_after = 20000;
    const Ended ended = Run(launch);
    EXPECT_EQ(ended.status, 130);
    const std::string html = ReadAll(report);
    EXPECT_NE(html.find("<h2>Run interrupted</h2>"), std::string::npos);
    EXPECT_TRUE(html.ends_with("</section>\n</main>\n</body>\n</html>\n"));
    EXPECT_EQ(html.find("quorvex-results"), std::string::npos);
    EXPECT_FALSE(fs::exists(report + ".results.part"));
  }
}

// --- Lists of files ---

class FileListTest : public CliOutputTest {
 protected:
  void SetUp() override {
    CliOutputTest::SetUp();
    fs::create_directories(base_ + "/export/cam 1");
    for (const std::string name : {"a\nb.jpg", "tab\there.jpg", "-h", "--sha256"}) {
      fs::copy_file(kIntact, base_ + "/export/" + name);
    }
    fs::copy_file(kSamples + "/snapshot-damaged.jpg", base_ + "/export/cam 1/damaged.jpg");
    names_ = {base_ + "/export/a\nb.jpg", base_ + "/export/tab\there.jpg", base_ + "/export/-h",
              base_ + "/export/--sha256"};
  }

  std::string List(const std::vector<std::string>& names, bool last_nul = true) {
    std::string list;
    for (const std::string& n : names) list += n + '\0';
    if (!last_nul && !list.empty()) list.pop_back();
    return list;
  }

  std::vector<std::string> names_;
};

struct ListCase {
  const char* name;
  bool from_stdin;
  bool last_nul;
};

class FileListSourceTest : public FileListTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(FileListSourceTest, OneRunOneArrayEveryNameExact) {
  const std::string text = List(names_, GetParam().last_nul);
  Launch launch;
  if (GetParam().from_stdin) {
    launch.stdin_text = text;
    launch.args = {"--json", "--files0-from", "-"};
  } else {
    std::ofstream(base_ + "/list", std::ios::binary) << text;
    launch.args = {"--json", "--files0-from", base_ + "/list"};
  }
  const Ended ended = Run(launch);
  EXPECT_EQ(ended.status, 0) << ended.err;
  const nlohmann::json array = nlohmann::json::parse(ended.out, nullptr, false);
  ASSERT_TRUE(array.is_array()) << ended.out;
  ASSERT_EQ(array.size(), names_.size());
  for (std::size_t i = 0; i < names_.size(); ++i) {
    EXPECT_EQ(array[i].at("path"), names_[i]);
    EXPECT_EQ(array[i].at("status"), "intact");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, FileListSourceTest,
                         ::testing::Values(ListCase{"FromFile", false, true},
                                           ListCase{"FromStdin", true, true},
                                           ListCase{"FromFileLastNameWithoutNul", false, false},
                                           ListCase{"FromStdinLastNameWithoutNul", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileListTest, FoldersInTheListAreWalkedWithRecursive) {
  Launch launch;
  launch.stdin_text = List({base_ + "/export/cam 1", names_[1]});
  launch.args = {"-r", "--files0-from", "-"};
  const Ended ended = Run(launch);
  EXPECT_EQ(ended.status, 1);
  EXPECT_NE(ended.out.find("/export/cam 1/damaged.jpg: "), std::string::npos);
  EXPECT_NE(ended.out.find("2 files: 1 intact, 1 damaged,"), std::string::npos) << ended.out;
}

TEST_F(FileListTest, OneFileOrNoneStillEndsWithTheSummary) {
  Launch one;
  one.stdin_text = List({names_[1]});
  one.args = {"--files0-from", "-"};
  const Ended ended = Run(one);
  EXPECT_EQ(ended.status, 0);
  EXPECT_NE(ended.out.find("\n1 files: 1 intact,"), std::string::npos) << ended.out;

  std::ofstream(base_ + "/empty");
  Launch none;
  none.args = {"--json", "--files0-from", base_ + "/empty"};
  EXPECT_EQ(Run(none).out, "[]\n");
}

struct RefusedCase {
  const char* name;
  std::vector<std::string> args;  // "DIR" stands for the test's folder
  const char* says;               // in the one line on stderr
};

class RefusedCommandTest : public FileListTest,
                           public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedCommandTest, OneLineAndStatusTwo) {
  Launch launch;
  for (std::string a : GetParam().args) {
    if (a.rfind("DIR", 0) == 0) a = base_ + a.substr(3);
    launch.args.push_back(a);
  }
  const Ended ended = Run(launch);
  EXPECT_EQ(ended.status, 2);
  EXPECT_EQ(ended.out, "");
  EXPECT_NE(ended.err.find(GetParam().says), std::string::npos) << ended.err;
  EXPECT_EQ(ended.err.find('\n'), ended.err.size() - 1) << ended.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedCommandTest,
    ::testing::Values(
        // What `quorvex-check *` passes in a folder holding a file named -h.
        RefusedCase{"HelpWithFiles",
                    {"-h", "DIR/export/--sha256", "DIR/export/tab\there.jpg"},
                    "--help cannot be given with files"},
        RefusedCase{"VersionWithFiles",
                    {"DIR/export/-h", "--version"},
                    "--version cannot be given with files"},
        RefusedCase{"HelpWithList",
                    {"--help", "--files0-from", "DIR/list"},
                    "--help cannot be given with files"},
        RefusedCase{"ListAndFiles",
                    {"--files0-from", "DIR/list", "DIR/export/-h"},
                    "both on the command line and with --files0-from"},
        RefusedCase{
            "ListMissing", {"--files0-from", "DIR/no-list"}, "cannot read the list of files"},
        RefusedCase{
            "ListIsAFolder", {"--files0-from", "DIR/export"}, "cannot read the list of files"},
        RefusedCase{
            "CaseWithoutReport", {"--note", "seen", "DIR/export"}, "--note goes with --report"},
        RefusedCase{"ReportWithoutName", {"--report", "", "DIR/export"}, "--report needs the name"},
        RefusedCase{"ReportOverAFile",
                    {"--report", "DIR/export/-h", "DIR/export/--sha256"},
                    "cannot create the report (it must be a new file)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileListTest, NamesLikeOptionsAfterTheEndOfOptionsAreChecked) {
  Launch launch;
  launch.args = {"--", "-h", "--sha256"};
  ASSERT_EQ(::chdir((base_ + "/export").c_str()), 0);
  const Ended ended = Run(launch);
  ASSERT_EQ(::chdir("/"), 0);
  EXPECT_EQ(ended.status, 0) << ended.err;
  EXPECT_EQ(ended.out.rfind("-h: ", 0), 0u) << ended.out;
  EXPECT_NE(ended.out.find("\n--sha256: "), std::string::npos) << ended.out;
}

}  // namespace
