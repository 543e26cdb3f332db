// Broken and hostile files through the console program, as a user meets
// them: the exit status, the report, the trace and the JSON fields. Every run
// has a time limit, so a check that hangs fails instead of stalling.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "file_builders.h"
#include "test_support.h"

namespace {

namespace qb = quorvex::build;
using nlohmann::json;
using qb::Bytes;

constexpr const char* kFinish = "...Finish\n--------------------------\n";

struct CliRun {
  int status = -1;  // exit status, or 128 + signal
  bool timed_out = false;
  std::string out;
  std::string err;
};

// Runs quorvex-check with `args`, in the folder `dir_fd` when given.
CliRun RunCheck(const std::vector<std::string>& args, int dir_fd = -1) {
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    const int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    if (dir_fd >= 0 && fchdir(dir_fd) != 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(QUORVEX_CHECK_EXE));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QUORVEX_CHECK_EXE, argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  CliRun run;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open_fds = 2;
  while (open_fds > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      run.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[65536];
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      }
    }
  }
  for (const pollfd& f : fds) {
    if (f.fd >= 0) close(f.fd);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  if (quorvex::testing::AsksForJson(args) && !run.out.empty()) {
    EXPECT_TRUE(quorvex::testing::HoldsToSchema(run.out));
  }
  return run;
}

// The one object of a --json run over one file.
json OnlyResult(const CliRun& run) {
  const json all = json::parse(run.out, nullptr, false);
  if (!all.is_array() || all.size() != 1) return json();
  return all[0];
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fd);
}

Bytes SealedJpeg() { return qb::SealJpegOrPng(qb::TinyJpeg()); }

class CliFault : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvex-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    // rm copes with trees deeper than one path can name.
    const std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

struct UnreadableCase {
  const char* name;
  const char* file;
  int (*make)(const char* path);  // makes the thing at `path`, returns 0
  const char* message;            // the line on stderr, behind "quorvex-check: PATH: "
};

void PrintTo(const UnreadableCase& c, std::ostream* os) { *os << c.name; }

class UnreadablePath : public CliFault, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(UnreadablePath, GetsCantOpenAndExitStatus2) {
  const std::string path = Path(GetParam().file);
  if (GetParam().make != nullptr) {
    ASSERT_EQ(GetParam().make(path.c_str()), 0);
  }

  const CliRun plain = RunCheck({path});
  ASSERT_FALSE(plain.timed_out);
  EXPECT_EQ(plain.status, 2);
  EXPECT_EQ(plain.out, path + ": Can't open the file.\n");
  EXPECT_EQ(plain.err, "quorvex-check: " + path + ": " + GetParam().message + "\n");

  const CliRun traced = RunCheck({"--trace", path});
  ASSERT_FALSE(traced.timed_out);
  EXPECT_EQ(traced.status, 2);
  EXPECT_EQ(traced.err, "open file error\n");

  const CliRun as_json = RunCheck({"--json", path});
  ASSERT_FALSE(as_json.timed_out);
  EXPECT_EQ(as_json.status, 2);
  const json r = OnlyResult(as_json);
  ASSERT_TRUE(r.is_object()) << as_json.out;
  EXPECT_EQ(r["status"], "unreadable");
  EXPECT_EQ(r["verdict"], "Can't open the file.");
  EXPECT_EQ(r["kind"], "");
  EXPECT_EQ(r["fields"]["IDC_RESULT"], std::string("Can't open the file.\n") + kFinish);
  EXPECT_EQ(r["fields"]["IDC_NAME"], std::string("Name: ") + GetParam().file + "\n");
  EXPECT_EQ(r["fields"]["IDC_PATH"], "Path: " + path + "\n");
  EXPECT_EQ(r["fields"]["IDC_VIDEO_FORMAT"], "Video Format: ");
  EXPECT_EQ(r["fields"]["IDC_PROGRESS"], "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnreadablePath,
    ::testing::Values(UnreadableCase{"Missing", "missing.avi", nullptr, "cannot open the file"},
                      UnreadableCase{"Directory", "folder.avi",
                                     [](const char* p) { return mkdir(p, 0755); },
                                     "is a folder (use -r to check what it holds)"},
                      // No writer ever opens it: the check must not wait for one.
                      UnreadableCase{"Fifo", "pipe.avi",
                                     [](const char* p) { return mkfifo(p, 0644); },
                                     "cannot open the file"}),
    [](const auto& info) { return std::string(info.param.name); });

// A recording whose one video chunk claims L = 0xFFFFFFFF.
Bytes HugeVideoChunk(const Bytes& payload) {
  qb::RecordingBuilder rec("V264");
  Bytes data(20, 0);
  data[4] = '2';
  qb::PutBe32(data, 16, 0x12345678);
  qb::Append(data, payload);
  Bytes head = qb::FromText("00dc");
  qb::AppendLe32(head, 0xFFFFFFFFu);
  qb::Append(head, data);
  return rec.Raw(head).NoIndex().Build();
}

Bytes HugeAudioChunk() {
  qb::RecordingBuilder rec("V264");
  Bytes head = qb::FromText("01wb");
  qb::AppendLe32(head, 0xFFFFFFFFu);
  head.resize(head.size() + 64, 0x11);
  return rec.Raw(head).NoIndex().Build();
}

Bytes ManyAudioChunks() {
  qb::RecordingBuilder rec("V264");
  for (int i = 0; i < 200000; ++i) rec.Chunk("01wb", Bytes(4, 0x55));
  return rec.Frame({0x00, 0x00, 0x00, 0x01, 0x41, 0x9A}).Build();
}

struct ContentCase {
  const char* name;
  Bytes (*make)();
  int exit_status;
  const char* status;
  const char* verdict;      // null: no verdict
  const char* report_line;  // what the plain report says behind "PATH: "
  const char* trace;        // the whole --trace output
  std::int64_t frames_checked;
  std::int64_t frames_failed;
  std::int64_t walk_end;  // -1: none; -2: the file size
};

void PrintTo(const ContentCase& c, std::ostream* os) { *os << c.name; }

class BrokenContents : public CliFault, public ::testing::WithParamInterface<ContentCase> {};

TEST_P(BrokenContents, GetsItsVerdictAndExitStatus) {
  const ContentCase& c = GetParam();
  const Bytes bytes = c.make();
  const std::string path = Path("input.avi");
  WriteFile(path, bytes);

  const CliRun plain = RunCheck({path});
  ASSERT_FALSE(plain.timed_out);
  EXPECT_EQ(plain.status, c.exit_status);
  EXPECT_EQ(plain.out.substr(0, plain.out.find('\n') + 1), path + ": " + c.report_line + "\n");
  EXPECT_EQ(plain.err, "");

  const CliRun traced = RunCheck({"--trace", path});
  EXPECT_EQ(traced.err, c.trace);

  const CliRun as_json = RunCheck({"--json", path});
  EXPECT_EQ(as_json.status, c.exit_status);
  const json r = OnlyResult(as_json);
  ASSERT_TRUE(r.is_object()) << as_json.out;
  EXPECT_EQ(r["status"], c.status);
  EXPECT_EQ(r["size"], bytes.size());
  if (c.verdict == nullptr) {
    EXPECT_TRUE(r["verdict"].is_null());
    EXPECT_EQ(r["fields"]["IDC_RESULT"], "");
  } else {
    EXPECT_EQ(r["verdict"], c.verdict);
    EXPECT_EQ(r["fields"]["IDC_RESULT"], std::string(c.verdict) + "\n" + kFinish);
  }
  EXPECT_EQ(r["frames_checked"], c.frames_checked);
  EXPECT_EQ(r["frames_failed"], c.frames_failed);
  if (c.walk_end == -1) {
    EXPECT_TRUE(r["walk_end"].is_null());
  } else {
    EXPECT_EQ(r["walk_end"],
              c.walk_end == -2 ? static_cast<std::int64_t>(bytes.size()) : c.walk_end);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenContents,
    ::testing::Values(
        ContentCase{"EmptyFile", [] { return Bytes{}; }, 1, "unknown_kind", nullptr,
                    "not a snapshot or recording of a known kind", "read RIFF or picture error\r\n",
                    0, 0, -1},
        ContentCase{"OneByteOfAJpegMarker", [] { return Bytes{0xFF}; }, 1, "unknown_kind", nullptr,
                    "not a snapshot or recording of a known kind", "read RIFF or picture error\r\n",
                    0, 0, -1},
        ContentCase{"TwoBytesOfAJpeg",
                    [] {
                      return Bytes{0xFF, 0xD8};
                    },
                    1, "unsealed", "Can't find crc code, it's the invalid file.",
                    "Can't find crc code, it's the invalid file.", "read picture sucess\n", 0, 0,
                    -1},
        ContentCase{"CutRiffHeader", [] { return qb::FromText("RIFF....AVI LIST"); }, 1, "invalid",
                    "It's the invalid file.", "It's the invalid file.", "read RIFF sucess\r\n", 0,
                    0, -1},
        // A checked frame that claims 4 GiB runs past the end of the file: it
        // fails, and the walk ends there.
        ContentCase{"VideoChunkOfFourGigabytesChecked",
                    [] {
                      return HugeVideoChunk({0x00, 0x00, 0x00, 0x01, 0x41, 0x9A, 0x07});
                    },
                    1, "damaged", "There is an error in the video file.",
                    "There is an error in the video file.",
                    "read RIFF sucess\r\nreadBuf = 0x19-0x0-0x0-0x0\ntemp_frane_rate = 25\n"
                    "file_check_sum = 0x12345678,video_len = 4294967295\n",
                    1, 1, -2},
        ContentCase{"VideoChunkOfFourGigabytesNotAFrame",
                    [] {
                      return HugeVideoChunk({0x47, 0x47, 0x47, 0x47, 0x47, 0x47});
                    },
                    1, "unsealed", "No error occur.", "No error occur.",
                    "read RIFF sucess\r\nreadBuf = 0x19-0x0-0x0-0x0\ntemp_frane_rate = 25\n", 0, 0,
                    -2},
        // An "01wb" of 64 KiB or more is no chunk: the 2-byte step finds "wb".
        ContentCase{"AudioChunkOfFourGigabytes", HugeAudioChunk, 1, "unsealed", "No error occur.",
                    "No error occur.",
                    "read RIFF sucess\r\nreadBuf = 0x19-0x0-0x0-0x0\ntemp_frane_rate = 25\n", 0, 0,
                    4542},
        ContentCase{"TwoHundredThousandAudioChunks", ManyAudioChunks, 0, "intact",
                    "No error occur.", "No error occur.",
                    "read RIFF sucess\r\nreadBuf = 0x19-0x0-0x0-0x0\ntemp_frane_rate = 25\n"
                    "file_check_sum = 0x49b8cf8a,video_len = 26\nframe num 1 ok\n",
                    1, 0, 4540 + 200000 * 12 + 34}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliFault, FormatCharactersInThePathAreShownUnchanged) {
  const std::string name = "%s%n%x%d%%\\ %p.jpg";
  const std::string path = Path(name);
  WriteFile(path, SealedJpeg());
  const CliRun run = RunCheck({"--json", path});
  EXPECT_EQ(run.status, 0);
  const json r = OnlyResult(run);
  ASSERT_TRUE(r.is_object()) << run.out;
  EXPECT_EQ(r["name"], name);
  EXPECT_EQ(r["fields"]["IDC_NAME"], "Name: " + name + "\n");
  EXPECT_EQ(r["fields"]["IDC_PATH"], "Path: " + path + "\n");
  EXPECT_EQ(r["verdict"], "This JPEG's check sum is correct");
  // The report keeps the format characters; the backslash marks the line
  // and is doubled, as sha256sum writes it.
  EXPECT_EQ(RunCheck({path}).out,
            "\\" + Path("%s%n%x%d%%\\\\ %p.jpg") + ": This JPEG's check sum is correct\n");
}

TEST_F(CliFault, PathLongerThanTheSystemTakesInOneCallIsChecked) {
  // 24 folders of 200 letters: a path of over 4,800 bytes.
  int dir = open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dir, 0);
  std::string path = dir_;
  const std::string folder(200, 'd');
  for (int i = 0; i < 24; ++i) {
    ASSERT_EQ(mkdirat(dir, folder.c_str(), 0755), 0);
    const int next = openat(dir, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(dir);
    ASSERT_GE(next, 0);
    dir = next;
    path += "/" + folder;
  }
  const Bytes jpeg = SealedJpeg();
  const int fd = openat(dir, "deep.jpg", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, jpeg.data(), jpeg.size()), static_cast<ssize_t>(jpeg.size()));
  close(fd);
  path += "/deep.jpg";
  ASSERT_GT(path.size(), 4096u);

  const CliRun run = RunCheck({"--json", path});
  EXPECT_EQ(run.status, 0);
  const json r = OnlyResult(run);
  ASSERT_TRUE(r.is_object()) << run.out;
  EXPECT_EQ(r["verdict"], "This JPEG's check sum is correct");
  EXPECT_EQ(r["fields"]["IDC_PATH"], "Path: " + path + "\n");
  EXPECT_EQ(r["name"], "deep.jpg");

  // The same file by a short path from inside the tree.
  const CliRun near = RunCheck({"deep.jpg"}, dir);
  EXPECT_EQ(near.status, 0);
  EXPECT_EQ(near.out, "deep.jpg: This JPEG's check sum is correct\n");
  close(dir);
}

TEST_F(CliFault, NonAsciiFileNames) {
  const std::string utf8 =
      "\xC3\x9C"
      "berwachung-\xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9.jpg";
  WriteFile(Path(utf8), SealedJpeg());
  const CliRun run = RunCheck({"--json", Path(utf8)});
  EXPECT_EQ(run.status, 0);
  const json r = OnlyResult(run);
  ASSERT_TRUE(r.is_object()) << run.out;
  EXPECT_EQ(r["name"], utf8);
  EXPECT_EQ(r["fields"]["IDC_NAME"], "Name: " + utf8 + "\n");

  // A Latin-1 name is no UTF-8: the report writes it escaped, the JSON stays
  // valid with U+FFFD in its place and keeps its bytes in path_bytes.
  const std::string latin1 = "cam\xE9ra.jpg";
  WriteFile(Path(latin1), SealedJpeg());
  EXPECT_EQ(RunCheck({Path(latin1)}).out,
            "\\" + Path("cam\\xe9ra.jpg") + ": This JPEG's check sum is correct\n");
  const json l = OnlyResult(RunCheck({"--json", Path(latin1)}));
  ASSERT_TRUE(l.is_object());
  EXPECT_EQ(l["name"], "cam\xEF\xBF\xBDra.jpg");
  EXPECT_TRUE(l.contains("path_bytes"));
  EXPECT_FALSE(r.contains("path_bytes"));
  EXPECT_EQ(l["verdict"], "This JPEG's check sum is correct");
}

TEST_F(CliFault, UnreadableWinsOverDamagedInTheExitStatus) {
  Bytes damaged = SealedJpeg();
  damaged[30] ^= 1;
  WriteFile(Path("damaged.jpg"), damaged);
  WriteFile(Path("intact.jpg"), SealedJpeg());
  EXPECT_EQ(RunCheck({Path("intact.jpg"), Path("damaged.jpg")}).status, 1);
  EXPECT_EQ(RunCheck({Path("damaged.jpg"), Path("missing.jpg"), Path("intact.jpg")}).status, 2);
}

TEST_F(CliFault, CheckedFilesAreNeverChanged) {
  qb::RecordingBuilder rec("V264");
  for (int i = 1; i <= 6; ++i) rec.Frame(qb::H264Frame(500, i, i == 1), {i == 4, '2'});
  Bytes damaged_jpeg = SealedJpeg();
  damaged_jpeg[30] ^= 1;
  const std::pair<const char*, Bytes> files[] = {{"intact.jpg", SealedJpeg()},
                                                 {"damaged.jpg", damaged_jpeg},
                                                 {"rec.avi", rec.Build()},
                                                 {"unknown.bin", Bytes{1, 2, 3}},
                                                 {"empty.bin", Bytes{}}};
  std::vector<std::string> paths;
  for (const auto& [name, bytes] : files) {
    paths.push_back(Path(name));
    WriteFile(paths.back(), bytes);
    // A modification time far in the past, so that any write would show.
    const timespec times[2] = {{978307200, 0}, {978307200, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, paths.back().c_str(), times, 0), 0);
  }
  std::vector<struct stat> before(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) ASSERT_EQ(stat(paths[i].c_str(), &before[i]), 0);

  for (const std::vector<std::string>& options :
       {std::vector<std::string>{}, {"--json"}, {"--trace", "--detail"}}) {
    std::vector<std::string> args = options;
    args.insert(args.end(), paths.begin(), paths.end());
    EXPECT_EQ(RunCheck(args).status, 1);
  }

  for (std::size_t i = 0; i < paths.size(); ++i) {
    struct stat after;
    ASSERT_EQ(stat(paths[i].c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before[i].st_mtim.tv_sec) << paths[i];
    EXPECT_EQ(after.st_mtim.tv_nsec, before[i].st_mtim.tv_nsec) << paths[i];
    EXPECT_EQ(after.st_ctim.tv_sec, before[i].st_ctim.tv_sec) << paths[i];
    EXPECT_EQ(after.st_ctim.tv_nsec, before[i].st_ctim.tv_nsec) << paths[i];
    EXPECT_EQ(after.st_size, before[i].st_size) << paths[i];
    int fd = open(paths[i].c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    Bytes now(files[i].second.size() + 1);
    const ssize_t n = read(fd, now.data(), now.size());
    close(fd);
    now.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    EXPECT_EQ(now, files[i].second) << paths[i];
  }
}

}  // namespace
