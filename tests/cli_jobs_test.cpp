// Folders and parallel checks through the console program: the same bytes
// whatever the number of jobs, the summary line, exit statuses with skipped
// files. The ordered writer on its own: ordered_runner_test.cpp.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "file_builders.h"
#include "run_checks.h"
#include "test_support.h"

namespace {

namespace qb = quorvex::build;
using quorvex::testing::StringSink;

struct CliRun {
  int status = -1;  // 124 when it ran out of time
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const qb::Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

class CliJobsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvex-jobs-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
    ASSERT_EQ(chdir(base_.c_str()), 0);
    MakeExport();
  }
  void TearDown() override {
    ASSERT_EQ(chdir("/"), 0);
    const std::string command = "rm -rf '" + base_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  // export/: snapshots of each kind, a damaged one, a recording with two
  // failed frames, a file of no known kind, an empty folder, a pipe, a link
  // loop and a link to a damaged file outside.
  void MakeExport() {
    for (const char* dir : {"export", "export/cam1", "export/cam2", "export/empty", "outside"}) {
      ASSERT_EQ(mkdir(dir, 0755), 0);
    }
    qb::Bytes damaged = qb::SealJpegOrPng(qb::TinyJpeg());
    damaged[30] ^= 1;
    qb::RecordingBuilder rec("V264");
    for (int i = 1; i <= 6; ++i) rec.Frame(qb::H264Frame(400, i, i == 1), {i == 2 || i == 5, '2'});
    WriteFile("export/cam1/a.jpg", qb::SealJpegOrPng(qb::TinyJpeg()));
    WriteFile("export/cam1/b.png", qb::SealJpegOrPng(qb::TinyPng()));
    WriteFile("export/cam1/c.bmp", qb::SealBmp(qb::TinyBmp()));
    WriteFile("export/cam1/index.txt", qb::FromText("not a snapshot"));
    WriteFile("export/cam2/d.jpg", damaged);
    WriteFile("export/cam2/rec.avi", rec.Build());
    WriteFile("export/top.bmp", qb::TinyBmp());
    WriteFile("outside/e.jpg", damaged);
    ASSERT_EQ(mkfifo("export/cam2/pipe.avi", 0644), 0);
    ASSERT_EQ(symlink("..", "export/cam1/loop"), 0);
    ASSERT_EQ(symlink("../outside/e.jpg", "export/e.jpg"), 0);
  }

  CliRun Run(const std::string& args) {
    const std::string command = "timeout 60 '" + std::string(QUORVEX_CHECK_EXE) + "' " + args +
                                " >out.txt 2>err.txt </dev/null";
    const int raw = std::system(command.c_str());
    CliRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadAll("out.txt");
    run.err = ReadAll("err.txt");
    if (quorvex::testing::AsksForJson(args) && !run.out.empty()) {
      EXPECT_TRUE(quorvex::testing::HoldsToSchema(run.out)) << args;
    }
    return run;
  }

  std::string base_;
};

constexpr const char* kExportReport =
    "export/cam1/a.jpg: This JPEG's check sum is correct\n"
    "export/cam1/b.png: This PNG's check sum is correct\n"
    "export/cam1/c.bmp: This BMP's check sum is correct\n"
    "export/cam2/d.jpg: This JPEG's check sum is error\n"
    "export/cam2/rec.avi: There are 2 errors in the video file.\n"
    "  video h264, audio G711, 2 failed frames of 6 checked; seals cover 33.7% of the file\n"
    "export/top.bmp: Can't find crc code, it's the invalid file.\n"
    "6 files: 3 intact, 2 damaged, 1 unsealed, 0 invalid, 0 unsupported version, "
    "0 could not be checked, 1 of no known kind skipped\n";

TEST_F(CliJobsTest, FolderReportInWalkOrderWithSummary) {
  const CliRun run = Run("-r export");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kExportReport);
  EXPECT_EQ(run.err, "");
}

struct OptionsCase {
  const char* name;
  const char* options;
};

void PrintTo(const OptionsCase& c, std::ostream* os) { *os << c.name; }

class SameBytesForAnyJobs : public CliJobsTest,
                            public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(SameBytesForAnyJobs, OneJobAndFourJobs) {
  // The folder twice, a file and a missing file among them, so that
  // diagnostics fall between reports.
  const std::string files = " export export/cam2/rec.avi missing.jpg export/cam1 export";
  const CliRun one = Run(std::string("-j 1 -r ") + GetParam().options + files);
  for (int i = 0; i < 3; ++i) {
    const CliRun four = Run(std::string("-j 4 -r ") + GetParam().options + files);
    EXPECT_EQ(four.status, 2);
    EXPECT_EQ(four.out, one.out);
    EXPECT_EQ(four.err, one.err);
  }
  EXPECT_EQ(one.status, 2);
  EXPECT_NE(one.out, "");
  EXPECT_NE(one.err, "");
}

INSTANTIATE_TEST_SUITE_P(Options, SameBytesForAnyJobs,
                         ::testing::Values(OptionsCase{"Text", ""},
                                           OptionsCase{"Detail", "--detail"},
                                           OptionsCase{"Trace", "--trace"},
                                           OptionsCase{"Json", "--json"},
                                           OptionsCase{"JsonTrace", "--json --trace"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliJobsTest, JsonKeepsSkippedFilesAndStreamsOneArray) {
  const CliRun run = Run("-j 3 --json -r export");
  EXPECT_EQ(run.status, 1);
  const auto doc = nlohmann::json::parse(run.out);
  ASSERT_EQ(doc.size(), 7u);
  EXPECT_EQ(doc[3]["path"], "export/cam1/index.txt");
  EXPECT_EQ(doc[3]["status"], "unknown_kind");
  EXPECT_EQ(doc[5]["frames_failed"], 2);
  EXPECT_EQ(Run("--json -r export/empty").out, "[]\n");
}

// The trace lines of a sealed snapshot, from the builders' own CRC.
std::string SnapshotTrace(const char* kind_line, const qb::Bytes& sealed) {
  char line[128];
  const std::uint32_t crc = qb::ReferenceCrc32(sealed.data(), sealed.size() - 4);
  std::snprintf(line, sizeof line, "check_sum = 0x%x\nfile_check_sum = 0x%x,tmp_file_size = %zu\n",
                crc, crc, sealed.size());
  return kind_line + std::string(line);
}

TEST_F(CliJobsTest, TraceOfEachFileWholeAndInOrder) {
  const std::string expected =
      SnapshotTrace("read picture sucess\n", qb::SealJpegOrPng(qb::TinyJpeg())) +
      SnapshotTrace("", qb::SealJpegOrPng(qb::TinyPng())) +
      SnapshotTrace("", qb::SealBmp(qb::TinyBmp())) + "read RIFF or picture error\r\n";
  for (const char* jobs : {"1", "2", "4"}) {
    const CliRun run = Run(std::string("-j ") + jobs + " --trace -r export/cam1");
    EXPECT_EQ(run.err, expected) << jobs;
    EXPECT_EQ(run.status, 0);
  }
}

struct StatusCase {
  const char* name;
  const char* args;
  int status;
  const char* summary;  // the last line of the report; null: no summary
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class ExitStatusTest : public CliJobsTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ExitStatusTest, AndSummary) {
  const CliRun run = Run(GetParam().args);
  EXPECT_EQ(run.status, GetParam().status) << run.err;
  const std::size_t last = run.out.rfind('\n', run.out.size() - 2);
  const std::string last_line = run.out.substr(last == std::string::npos ? 0 : last + 1);
  if (GetParam().summary == nullptr) {
    EXPECT_EQ(run.out.find(" files: "), std::string::npos) << run.out;
  } else {
    EXPECT_EQ(last_line, std::string(GetParam().summary) + "\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitStatusTest,
    ::testing::Values(
        // A file of no known kind inside a walk changes nothing.
        StatusCase{"SkippedFileKeepsIntact", "-r export/cam1", 0,
                   "3 files: 3 intact, 0 damaged, 0 unsealed, 0 invalid, 0 unsupported version, 0 "
                   "could not be checked, 1 of no known kind skipped"},
        // Named on the command line it is a file that could not be checked.
        StatusCase{"UnknownKindNamedIsNotIntact", "export/cam1/a.jpg export/cam1/index.txt", 1,
                   "2 files: 1 intact, 0 damaged, 0 unsealed, 0 invalid, 0 unsupported version, 1 "
                   "could not be checked"},
        StatusCase{"OneFileNoSummary", "export/cam1/a.jpg", 0, nullptr},
        StatusCase{"EmptyFolderWalked", "-r export/empty", 0,
                   "0 files: 0 intact, 0 damaged, 0 unsealed, 0 invalid, 0 unsupported version, 0 "
                   "could not be checked"},
        StatusCase{"FolderWithOneFile", "-r outside", 1,
                   "1 files: 0 intact, 1 damaged, 0 unsealed, 0 invalid, 0 unsupported version, 0 "
                   "could not be checked"},
        StatusCase{"FolderWithoutRecursive", "export/cam1/a.jpg export", 2,
                   "2 files: 1 intact, 0 damaged, 0 unsealed, 0 invalid, 0 unsupported version, 1 "
                   "could not be checked"},
        StatusCase{"MissingFolderInAWalk", "-r export/cam1 nowhere", 2,
                   "4 files: 3 intact, 0 damaged, 0 unsealed, 0 invalid, 0 unsupported version, 1 "
                   "could not be checked, 1 of no known kind skipped"},
        // A link named on the command line is followed.
        StatusCase{"LinkNamedIsFollowed", "export/e.jpg", 1, nullptr},
        StatusCase{"JsonHasNoSummary", "--json -r export", 1, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliJobsTest, FolderArgumentWithoutRecursive) {
  const CliRun plain = Run("export");
  EXPECT_EQ(plain.status, 2);
  EXPECT_EQ(plain.out, "export: Can't open the file.\n");
  EXPECT_EQ(plain.err, "quorvex-check: export: is a folder (use -r to check what it holds)\n");
  const CliRun traced = Run("--trace export");
  EXPECT_EQ(traced.err, "open file error\n");
}

TEST_F(CliJobsTest, UnreadableFolderByPermission) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder; see RunChecksInProcess";
  ASSERT_EQ(chmod("export/cam2", 0), 0);
  const CliRun run = Run("-r export");
  ASSERT_EQ(chmod("export/cam2", 0755), 0);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "quorvex-check: export/cam2: cannot read the folder\n");
}

TEST_F(CliJobsTest, OptionForms) {
  WriteFile("--json", qb::SealJpegOrPng(qb::TinyJpeg()));
  const CliRun run = Run("-- --json");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "--json: This JPEG's check sum is correct\n");
  const CliRun wrong = Run("-r --jobs 0 export");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.err.rfind("quorvex-check: ", 0), 0u);
  EXPECT_NE(wrong.err.find("\nusage: quorvex-check [OPTIONS] FILE...\n"), std::string::npos);
  // Joined short options and a long option with its value.
  EXPECT_EQ(Run("-rj2 export").out, kExportReport);
  EXPECT_EQ(Run("--jobs=3 --recursive export").out, kExportReport);
  EXPECT_EQ(Run("--sha256 export/cam1/a.jpg").status, 0);
  const CliRun help = Run("-h");
  for (const char* option : {"--recursive", "--jobs", "--detail", "--json", "--sha256", "--trace",
                             "--help", "--version"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
}

TEST_F(CliJobsTest, RunChecksInProcessWithAFolderThatCannotBeRead) {
  for (unsigned jobs : {1u, 3u}) {
    StringSink sink;
    quorvex::cli::Options options;
    options.recursive = true;
    options.jobs = jobs;
    options.files = {"export"};
    quorvex::cli::RunEnvironment environment;
    environment.sink = &sink;
    environment.list_folder = [](const std::string& path, quorvex::cli::FolderListing& out,
                                 const std::function<bool(quorvex::cli::FolderListing&)>& list) {
      return path != "export/cam1" && list(out);
    };
    EXPECT_EQ(quorvex::cli::RunChecks(options, environment), 2);
    EXPECT_EQ(sink.err, "quorvex-check: export/cam1: cannot read the folder\n");
    EXPECT_EQ(
        sink.out,
        "export/cam2/d.jpg: This JPEG's check sum is error\n"
        "export/cam2/rec.avi: There are 2 errors in the video file.\n"
        "  video h264, audio G711, 2 failed frames of 6 checked; seals cover 33.7% of the file\n"
        "export/top.bmp: Can't find crc code, it's the invalid file.\n"
        "3 files: 0 intact, 2 damaged, 1 unsealed, 0 invalid, 0 unsupported version, 0 "
        "could not be checked\n");
  }
}

constexpr const char* kCam1 =
    "export/cam1/a.jpg: This JPEG's check sum is correct\n"
    "export/cam1/b.png: This PNG's check sum is correct\n"
    "export/cam1/c.bmp: This BMP's check sum is correct\n";
constexpr const char* kRec =
    "export/cam2/rec.avi: There are 2 errors in the video file.\n"
    "  video h264, audio G711, 2 failed frames of 6 checked; seals cover 33.7% of the file\n";
constexpr const char* kTop = "export/top.bmp: Can't find crc code, it's the invalid file.\n";

struct WalkSwapCase {
  const char* name;
  const char* listed;  // the folder after whose listing the swap is made
  void (*swap)();
  const char* changed;  // the entry said to have changed
  std::string out;      // the reports, without the summary line
};

void PrintTo(const WalkSwapCase& c, std::ostream* os) { *os << c.name; }

class WalkSwapTest : public CliJobsTest, public ::testing::WithParamInterface<WalkSwapCase> {};

// Swapped between the listing of a folder and the opening of its entries: the entry is passed over
// with its line on stderr and exit status 2, nothing outside is checked under its name, and the
// rest is reported as ever, with one job or four.
TEST_P(WalkSwapTest, ChangedEntryPassedOverAtAnyJobs) {
  for (unsigned jobs : {1u, 4u}) {
    SCOPED_TRACE(jobs);
    ASSERT_EQ(std::system("rm -rf export outside cam2-away"), 0);
    MakeExport();
    StringSink sink;
    quorvex::cli::Options options;
    options.recursive = true;
    options.jobs = jobs;
    options.files = {"export"};
    quorvex::cli::RunEnvironment environment;
    environment.sink = &sink;
    environment.list_folder = [this](
                                  const std::string& path, quorvex::cli::FolderListing& out,
                                  const std::function<bool(quorvex::cli::FolderListing&)>& list) {
      const bool ok = list(out);
      if (path == GetParam().listed) GetParam().swap();
      return ok;
    };
    EXPECT_EQ(quorvex::cli::RunChecks(options, environment), 2);
    EXPECT_EQ(sink.err,
              "quorvex-check: " + std::string(GetParam().changed) + ": changed during the walk\n");
    // All but the summary line.
    EXPECT_EQ(sink.out.substr(0, sink.out.rfind('\n', sink.out.size() - 2) + 1), GetParam().out);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WalkSwapTest,
    ::testing::Values(WalkSwapCase{"FileBecameLink", "export/cam2",
                                   [] {
                                     ASSERT_EQ(unlink("export/cam2/d.jpg"), 0);
                                     ASSERT_EQ(symlink("../../outside/e.jpg", "export/cam2/d.jpg"),
                                               0);
                                   },
                                   "export/cam2/d.jpg", std::string(kCam1) + kRec + kTop},
                      WalkSwapCase{"FileBecameFolder", "export/cam2",
                                   [] {
                                     ASSERT_EQ(unlink("export/cam2/d.jpg"), 0);
                                     ASSERT_EQ(mkdir("export/cam2/d.jpg", 0755), 0);
                                     ASSERT_EQ(link("outside/e.jpg", "export/cam2/d.jpg/e.jpg"), 0);
                                   },
                                   "export/cam2/d.jpg", std::string(kCam1) + kRec + kTop},
                      WalkSwapCase{"FolderBecameLink", "export",
                                   [] {
                                     ASSERT_EQ(rename("export/cam2", "cam2-away"), 0);
                                     ASSERT_EQ(symlink("../outside", "export/cam2"), 0);
                                   },
                                   "export/cam2", std::string(kCam1) + kTop},
                      WalkSwapCase{
                          "RecordingBecameLink", "export/cam2",
                          [] {
                            ASSERT_EQ(unlink("export/cam2/rec.avi"), 0);
                            ASSERT_EQ(symlink("../../outside/e.jpg", "export/cam2/rec.avi"), 0);
                          },
                          "export/cam2/rec.avi",
                          std::string(kCam1) +
                              "export/cam2/d.jpg: This JPEG's check sum is error\n" + kTop}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
