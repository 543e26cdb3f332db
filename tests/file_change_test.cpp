// Files that change while they are checked, on real files: a source that
// pauses before the read that reaches a chosen byte and changes the file
// there makes every race land at the same moment. A change at the start,
// in the middle or at the end (after the last read) is found whatever it
// is: the file cut short, grown, rewritten in place or replaced by another.
// On POSIX systems the console program is also run once with a preloaded
// library that cuts the file at a chosen byte, and once with an allocation
// that fails, and the access time is read back.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "check_file.h"
#include "dialog_fields.h"
#include "field_panel.h"
#include "file_builders.h"

namespace quorvex {
namespace {

namespace fs = std::filesystem;
namespace qb = build;
using Bytes = qb::Bytes;
using report::PrepareForCheck;

constexpr const char* kChanged = "The file changed while it was checked.\n";

// Runs `action` once, just before the first read that reaches byte `at`
// (a read of no bytes at `at` counts, so `at` = size is after every byte).
class PausingSource : public SourceWrapper {
 public:
  PausingSource(ByteSource& inner, std::uint64_t at, std::function<void()> action)
      : SourceWrapper(inner), at_(at), action_(std::move(action)) {}
  ReadResult ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) override {
    if (!done_ && pos <= at_ && at_ - pos <= count && (count > 0 || pos == at_)) {
      done_ = true;
      action_();
    }
    return inner_.ReadAt(pos, out, count);
  }

 private:
  std::uint64_t at_;
  std::function<void()> action_;
  bool done_ = false;
};

// A name no other run of the tests uses at once.
std::string TempName(const std::string& prefix) {
  std::random_device random;
  return prefix + std::to_string(random()) + "-" + std::to_string(random());
}

// Sets the file's modification time ten years back, so that a write during
// a check moves it even within one tick of the clock.
void MoveTimesBack(const fs::path& path) {
  fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(24 * 3650));
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A recording of 40 frames with audio between them, about 100 KB.
Bytes Recording() {
  qb::RecordingBuilder rec;
  for (std::uint32_t i = 0; i < 40; ++i) rec.Frame(qb::H264Frame(2000, i, i % 10 == 0)).Audio(400);
  return rec.Build();
}

enum class Change { kNone, kShrink, kGrow, kRewrite, kReplace };
enum class Moment { kStart, kMiddle, kEnd };

struct ChangeCase {
  const char* name;
  bool recording;  // else a sealed JPEG
  Change change;
  Moment moment;
};

void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.name; }

class ChangedWhileChecked : public ::testing::TestWithParam<ChangeCase> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / TempName("quorvex-change-");
    fs::create_directories(dir_);
    path_ = dir_ / "file";
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  fs::path path_;
};

TEST_P(ChangedWhileChecked, IsFoundAndNothingIsVouchedFor) {
  const ChangeCase& c = GetParam();
  Bytes bytes = c.recording ? Recording() : qb::SealJpegOrPng(qb::TinyJpeg());
  if (!c.recording) bytes.insert(bytes.end() - 6, 20000, 0x11);  // larger than a small window
  if (!c.recording) bytes = qb::SealJpegOrPng(Bytes(bytes.begin(), bytes.end() - 4));
  WriteFile(path_, bytes);
  MoveTimesBack(path_);

  const std::uint64_t size = bytes.size();
  const std::uint64_t at = c.moment == Moment::kStart    ? 0
                           : c.moment == Moment::kMiddle ? size / 2
                                                         : size;
  const std::string path = path_.string();
  bool replaced = true;
  auto change = [&] {
    switch (c.change) {
      case Change::kNone:
        break;
      case Change::kShrink:
        fs::resize_file(path_, size / 3);
        break;
      case Change::kGrow: {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << std::string(5000, 'x');
        break;
      }
      case Change::kRewrite: {
        // The same bytes, written again in place: only the times tell.
        std::fstream out(path_, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(100);
        out.write(reinterpret_cast<const char*>(bytes.data()) + 100, 10);
        out.close();
        ASSERT_FALSE(out.fail());
        break;
      }
      case Change::kReplace: {
        // Another file of the same bytes renamed over it.
        const fs::path other = dir_ / "other";
        WriteFile(other, bytes);
        MoveTimesBack(other);
        std::error_code error;
        fs::rename(other, path_, error);
#if defined(_WIN32)
        // Windows refuses to rename over a file that is open, as the one
        // being checked is, unless it gives renames POSIX semantics: the
        // file then stays as it was.
        replaced = !error;
#else
        ASSERT_FALSE(error) << error.message();
#endif
        break;
      }
    }
  };

  std::unique_ptr<ByteSource> file = OpenFileSource(path);
  ASSERT_NE(file, nullptr);
  PausingSource paused(*file, at, change);
  FieldPanel panel;
  ErrorList errors;
  PrepareForCheck(panel, errors);
  StringTraceSink trace;
  CheckSummary summary;
  CheckOptions options;
  options.trace = &trace;
  options.summary = &summary;
  options.window_bytes = 4096;
  CheckContents(&paused, path, "file", panel, errors, options);

  if (c.change == Change::kNone || !replaced) {
    EXPECT_EQ(summary.status, CheckStatus::kIntact);
    return;
  }
  EXPECT_EQ(summary.status, CheckStatus::kChanged);
  EXPECT_EQ(summary.verdict, kChanged);
  EXPECT_EQ(panel.text(IDC_RESULT),
            std::string(kChanged) + "...Finish\n--------------------------\n");
  EXPECT_TRUE(trace.text().ends_with("file changed error\n")) << trace.text();
  // Nothing that the change cut off was checked as zeros.
  EXPECT_TRUE(errors.empty());
  EXPECT_FALSE(panel.detail_enabled());
}

std::vector<ChangeCase> Cases() {
  std::vector<ChangeCase> cases;
  static const struct {
    Change change;
    const char* name;
  } kChanges[] = {{Change::kShrink, "Shrink"},
                  {Change::kGrow, "Grow"},
                  {Change::kRewrite, "Rewrite"},
                  {Change::kReplace, "Replace"}};
  static const struct {
    Moment moment;
    const char* name;
  } kMoments[] = {
      {Moment::kStart, "AtStart"}, {Moment::kMiddle, "InMiddle"}, {Moment::kEnd, "AtEnd"}};
  static std::vector<std::string> names;
  names.reserve(64);
  for (const bool recording : {true, false}) {
    for (const auto& ch : kChanges) {
      for (const auto& m : kMoments) {
        names.push_back(std::string(recording ? "Recording" : "Jpeg") + ch.name + m.name);
        cases.push_back({names.back().c_str(), recording, ch.change, m.moment});
      }
    }
    names.push_back(std::string(recording ? "Recording" : "Jpeg") + "Unchanged");
    cases.push_back({names.back().c_str(), recording, Change::kNone, Moment::kMiddle});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Races, ChangedWhileChecked, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

#if !defined(_WIN32)
// The access time stays where it was: the file is opened so that reading it
// does not move it.
TEST(AccessTime, ACheckLeavesItAlone) {
  const fs::path path = fs::temp_directory_path() / ("quorvex-atime-" + std::to_string(::getpid()));
  WriteFile(path, Recording());
  // Two days back: a relatime mount would move it at the next read.
  const struct timespec past[2] = {{::time(nullptr) - 2 * 86400, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), past, 0), 0);
  struct stat before;
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  FieldPanel panel;
  ErrorList errors;
  PrepareForCheck(panel, errors);
  NullTraceSink trace;
  CheckSummary summary;
  CheckOptions options;
  options.trace = &trace;
  options.summary = &summary;
  CheckFile(path.string(), "x", panel, errors, options);
  EXPECT_EQ(summary.status, CheckStatus::kIntact);
  struct stat after;
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_atim.tv_sec, before.st_atim.tv_sec);
  EXPECT_EQ(after.st_atim.tv_nsec, before.st_atim.tv_nsec);
  fs::remove(path);
}

struct ProgramRun {
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

// Runs the console program with the fault library preloaded and `env` set.
ProgramRun RunWithFaults(const std::string& env, const std::string& args) {
  const fs::path err =
      fs::temp_directory_path() / ("quorvex-fault-err-" + std::to_string(::getpid()));
  const std::string command = "env LD_PRELOAD='" + std::string(QUORVEX_FAULT_PRELOAD) + "' " + env +
                              " '" + QUORVEX_CHECK_EXE + "' " + args + " 2>'" + err.string() + "'";
  ProgramRun run;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  run.err = ReadAll(err);
  fs::remove(err);
  return run;
}

TEST(ChangedWhileCheckedProgram, ReportsChangedWithoutAHash) {
  const fs::path path = fs::temp_directory_path() / ("quorvex-cut-" + std::to_string(::getpid()));
  const Bytes bytes = Recording();
  WriteFile(path, bytes);
  const std::string env = "QUORVEX_CHANGE_AT=" + std::to_string(bytes.size() / 2) +
                          " QUORVEX_CHANGE_TO=" + std::to_string(bytes.size() / 2) +
                          " QUORVEX_CHANGE_PATH='" + path.string() + "'";
  const ProgramRun run = RunWithFaults(env, "--json --sha256 '" + path.string() + "'");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "quorvex-check: " + path.string() + ": changed while it was checked\n");
  const nlohmann::json report = nlohmann::json::parse(run.out);
  ASSERT_EQ(report.size(), 1u);
  EXPECT_EQ(report[0]["status"], "changed");
  EXPECT_EQ(report[0]["verdict"], "The file changed while it was checked.");
  EXPECT_EQ(report[0]["sha256"], nullptr);
  EXPECT_EQ(report[0]["size"], bytes.size());
  fs::remove(path);
}

// A recording with many failed frames: its lists grow through several large
// allocations.
Bytes ManyFailedFrames() {
  qb::RecordingBuilder rec;
  rec.NoIndex();
  for (std::uint32_t i = 0; i < 60000; ++i) rec.Frame(qb::H264Frame(40, i, false), {true, '2'});
  return rec.Build();
}

// Whichever large allocation fails, that one file could not be checked: the
// program goes on with the next, says why on standard error, exits with 2
// and writes a JSON report that parses.
TEST(AllocationFailure, EndsTheFileNotTheProgram) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator cannot be replaced from outside";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the sanitizer's allocator cannot be replaced from outside";
#endif
#endif
  const fs::path dir = fs::temp_directory_path() / ("quorvex-nomem-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  WriteFile(dir / "a.avi", ManyFailedFrames());
  WriteFile(dir / "b.jpg", qb::SealJpegOrPng(qb::TinyJpeg()));
  const std::string files = "'" + (dir / "a.avi").string() + "' '" + (dir / "b.jpg").string() + "'";
  for (const int nth : {1, 2, 3, 4}) {
    SCOPED_TRACE("allocation " + std::to_string(nth));
    const ProgramRun run =
        RunWithFaults("QUORVEX_FAIL_NEW_AT=" + std::to_string(nth), "--json " + files);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "quorvex-check: " + (dir / "a.avi").string() + ": out of memory\n");
    const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << run.out.substr(0, 400);
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0]["status"], "unreadable");
    EXPECT_EQ(report[0]["failed_frames"].size(), 0u);
    EXPECT_EQ(report[1]["status"], "intact");
  }
  fs::remove_all(dir);
}

#endif

}  // namespace
}  // namespace quorvex
