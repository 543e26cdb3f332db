// Read errors through the real console program: a preloaded library makes
// one byte of the file unreadable (a failing pread), as a bad sector would.
// The check stops with "Can't read the file.", exit status 2 and the byte on
// standard error; it never reports the file as damaged.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "file_builders.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
namespace qb = quorvex::build;
using nlohmann::json;
using qb::Bytes;

const std::string kCantRead = "Can't read the file.\n...Finish\n--------------------------\n";

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs quorvex-check with `args`; with `unreadable` >= 0 that byte of every
// file it reads cannot be read.
CliRun RunCheck(const std::vector<std::string>& args, long long unreadable) {
  const fs::path out = fs::temp_directory_path() / ("quorvex-rerr-out-" + std::to_string(getpid()));
  const fs::path err = fs::temp_directory_path() / ("quorvex-rerr-err-" + std::to_string(getpid()));
  const pid_t pid = fork();
  if (pid == 0) {
    if (unreadable >= 0) {
      setenv("LD_PRELOAD", QUORVEX_FAULT_PRELOAD, 1);
      setenv("QUORVEX_FAIL_READ_AT", std::to_string(unreadable).c_str(), 1);
    }
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0) _exit(126);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(QUORVEX_CHECK_EXE));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QUORVEX_CHECK_EXE, argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  CliRun run;
  run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  run.out = ReadAll(out);
  run.err = ReadAll(err);
  fs::remove(out);
  fs::remove(err);
  if (quorvex::testing::AsksForJson(args) && !run.out.empty()) {
    EXPECT_TRUE(quorvex::testing::HoldsToSchema(run.out));
  }
  return run;
}

// A recording of three H.264 frames with audio between them, no index.
struct Recording {
  Bytes bytes;
  std::uint64_t third_frame = 0;
};

Recording ThreeFrames() {
  Recording r;
  qb::RecordingBuilder rec("V264");
  rec.Frame(qb::H264Frame(5000, 1, true)).Audio(100).Frame(qb::H264Frame(5000, 2, false));
  rec.Audio(100);
  r.third_frame = rec.NextOffset();
  rec.Frame(qb::H264Frame(5000, 3, false)).NoIndex();
  r.bytes = rec.Build();
  return r;
}

struct StagedCase {
  const char* name;
  const char* file_name;
  Bytes bytes;
  std::uint64_t unreadable;
  const char* trace_end;  // the --trace output ends with this
};

void PrintTo(const StagedCase& c, std::ostream* os) { *os << c.name; }

class StagedReadError : public ::testing::TestWithParam<StagedCase> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quorvex-rerr-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_P(StagedReadError, StopsWithCantReadAndExitStatus2) {
  const StagedCase& c = GetParam();
  const std::string path = (dir_ / c.file_name).string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(c.bytes.data()),
             static_cast<std::streamsize>(c.bytes.size()));
  const auto at = static_cast<long long>(c.unreadable);

  // Without the fault the file checks cleanly: the verdict below is the
  // fault's alone.
  EXPECT_EQ(RunCheck({path}, -1).status, 0);

  const CliRun plain = RunCheck({path}, at);
  EXPECT_EQ(plain.status, 2);
  EXPECT_EQ(plain.out.substr(0, plain.out.find('\n') + 1), path + ": Can't read the file.\n");
  EXPECT_EQ(plain.err,
            "quorvex-check: " + path + ": read error at byte " + std::to_string(at) + "\n");

  const CliRun traced = RunCheck({"--trace", path}, at);
  EXPECT_EQ(traced.status, 2);
  EXPECT_TRUE(traced.err.ends_with(c.trace_end)) << traced.err;

  const CliRun as_json = RunCheck({"--json", "--sha256", path}, at);
  EXPECT_EQ(as_json.status, 2);
  const json all = json::parse(as_json.out, nullptr, false);
  ASSERT_TRUE(all.is_array() && all.size() == 1) << as_json.out;
  const json& r = all[0];
  EXPECT_EQ(r["status"], "unreadable");
  EXPECT_EQ(r["verdict"], "Can't read the file.");
  EXPECT_EQ(r["read_error"], c.unreadable);
  EXPECT_EQ(r["size"], c.bytes.size());
  EXPECT_TRUE(r["sha256"].is_null());
  EXPECT_EQ(r["fields"]["IDC_RESULT"], kCantRead);
  EXPECT_EQ(r["fields"]["detail_enabled"], false);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StagedReadError,
    ::testing::Values(StagedCase{"JpegFirstByte", "a.jpg", qb::SealJpegOrPng(qb::TinyJpeg()), 0,
                                 "read file error\n"},
                      StagedCase{"JpegLastByte", "a.jpg", qb::SealJpegOrPng(qb::TinyJpeg()), 162,
                                 "read picture sucess\nread file error\n"},
                      StagedCase{"RecordingHeader", "a.avi", ThreeFrames().bytes, 114,
                                 "read RIFF sucess\r\nread file error\n"},
                      StagedCase{"RecordingThirdFrame", "a.avi", ThreeFrames().bytes,
                                 ThreeFrames().third_frame + 2000,
                                 "frame num 2 ok\nread file error\n"},
                      StagedCase{"RecordingLastByte", "a.avi", ThreeFrames().bytes,
                                 ThreeFrames().bytes.size() - 1,
                                 "frame num 2 ok\nread file error\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StagedReadErrorBehindTheWalk, StopsTheCheckOnlyWhenHashing) {
  const fs::path dir = fs::temp_directory_path() / ("quorvex-rerr-idx-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "indexed.avi").string();
  const Bytes bytes = qb::RecordingBuilder().Frame(qb::H264Frame(3000, 1, true)).Build();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const auto in_index = static_cast<long long>(bytes.size() - 3);

  // The index is no part of the check...
  const CliRun check = RunCheck({path}, in_index);
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.err, "");
  // ...but of the hash.
  const CliRun hashed = RunCheck({"--sha256", path}, in_index);
  EXPECT_EQ(hashed.status, 2);
  EXPECT_EQ(hashed.out.substr(0, hashed.out.find('\n') + 1), path + ": Can't read the file.\n");
  EXPECT_EQ(hashed.err,
            "quorvex-check: " + path + ": read error at byte " + std::to_string(in_index) + "\n");
  fs::remove_all(dir);
}

}  // namespace
