// Names that try to forge the console program's report: what a name holds
// never ends a line, forges another, or reaches the terminal as it is, in
// the text report, with --detail, in the diagnostics on stderr and in walks;
// in JSON a name that is not UTF-8 keeps its bytes in path_bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "file_builders.h"
#include "run_checks.h"
#include "test_support.h"

namespace {

namespace qb = quorvex::build;
using nlohmann::json;
using quorvex::testing::ProgramOutput;
using quorvex::testing::RunProgramIn;
using quorvex::testing::StringSink;

void WriteFile(const std::string& path, const qb::Bytes& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fd);
}

qb::Bytes DamagedJpeg() {
  qb::Bytes damaged = qb::SealJpegOrPng(qb::TinyJpeg());
  damaged[30] ^= 1;
  return damaged;
}

qb::Bytes RecordingWithFailedFrames() {
  qb::RecordingBuilder rec("V264");
  for (int i = 1; i <= 6; ++i) rec.Frame(qb::H264Frame(400, i, i == 1), {i == 2 || i == 3, '2'});
  return rec.Build();
}

// Standard base64, padded; nothing else is accepted.
bool DecodeBase64(const std::string& text, std::string& bytes) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.size() % 4 != 0) return false;
  bytes.clear();
  for (std::size_t at = 0; at < text.size(); at += 4) {
    std::uint32_t group = 0;
    int pad = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const char c = text[at + i];
      std::size_t value = 0;
      if (c == '=' && at + 4 == text.size() && i >= 2) {
        ++pad;
      } else if (pad > 0 || (value = kAlphabet.find(c)) == std::string_view::npos) {
        return false;
      }
      group = group << 6 | static_cast<std::uint32_t>(value);
    }
    bytes += static_cast<char>(group >> 16 & 0xFF);
    if (pad < 2) bytes += static_cast<char>(group >> 8 & 0xFF);
    if (pad < 1) bytes += static_cast<char>(group & 0xFF);
  }
  return true;
}

struct NameCase {
  const char* test_name;
  std::string name;     // the folder's name
  std::string written;  // how the report writes it at the start of a line
  bool utf8;            // whether the name is valid UTF-8
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.test_name; }

class ForgingNames : public ::testing::TestWithParam<NameCase> {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quorvex-names-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // The same files under a plain name and under the case's name.
    for (const std::string& folder : {std::string("plain"), GetParam().name}) {
      ASSERT_EQ(mkdir((dir_ + "/" + folder).c_str(), 0755), 0) << folder;
      WriteFile(dir_ + "/" + folder + "/damaged.jpg", DamagedJpeg());
      WriteFile(dir_ + "/" + folder + "/rec.avi", RecordingWithFailedFrames());
    }
  }
  void TearDown() override {
    const std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  // `text` with every "plain/" in it written as the case's name.
  static std::string AsCaseName(const std::string& text) {
    std::string out;
    std::size_t at = 0;
    for (std::size_t found; (found = text.find("plain/", at)) != std::string::npos;) {
      out += text.substr(at, found - at) + GetParam().written + "/";
      at = found + 6;
    }
    return out + text.substr(at);
  }

  std::string dir_;
};

// The walked report, --detail's frame lines and the summary are those of the
// plain folder, line for line: the name adds no line and no escape.
TEST_P(ForgingNames, WalkWithDetailWritesTheNameEscaped) {
  const ProgramOutput plain = RunProgramIn(dir_, {"-r", "--detail", "plain"});
  ASSERT_EQ(plain.status, 1) << plain.err;
  ASSERT_NE(plain.out.find("\n  frames 2-3"), std::string::npos) << plain.out;
  const ProgramOutput named = RunProgramIn(dir_, {"-r", "--detail", GetParam().name});
  EXPECT_EQ(named.status, 1);
  EXPECT_EQ(named.out, AsCaseName(plain.out));
  EXPECT_EQ(named.err, "");
}

TEST_P(ForgingNames, FileArgumentsAndDiagnostics) {
  const std::string& name = GetParam().name;
  const std::string& written = GetParam().written;
  const ProgramOutput files = RunProgramIn(dir_, {name + "/damaged.jpg", name + "/missing.jpg"});
  EXPECT_EQ(files.status, 2);
  EXPECT_EQ(files.out, written + "/damaged.jpg: This JPEG's check sum is error\n" + written +
                           "/missing.jpg: Can't open the file.\n"
                           "2 files: 0 intact, 1 damaged, 0 unsealed, 0 invalid, 0 unsupported "
                           "version, 1 could not be checked\n");
  EXPECT_EQ(files.err, "quorvex-check: " + written + "/missing.jpg: cannot open the file\n");

  const ProgramOutput folder = RunProgramIn(dir_, {name});
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(folder.out, written + ": Can't open the file.\n");
  EXPECT_EQ(folder.err,
            "quorvex-check: " + written + ": is a folder (use -r to check what it holds)\n");
}

TEST_P(ForgingNames, FolderThatCannotBeRead) {
  const std::string& name = GetParam().name;
  const std::string cwd = std::filesystem::current_path().string();
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  StringSink sink;
  quorvex::cli::Options options;
  options.recursive = true;
  options.jobs = 1;
  options.files = {name};
  quorvex::cli::RunEnvironment environment;
  environment.sink = &sink;
  environment.list_folder = [](const std::string&, quorvex::cli::FolderListing&,
                               const std::function<bool(quorvex::cli::FolderListing&)>&) {
    return false;
  };
  EXPECT_EQ(quorvex::cli::RunChecks(options, environment), 2);
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  EXPECT_EQ(sink.err, "quorvex-check: " + GetParam().written + ": cannot read the folder\n");
}

// The JSON keeps `path` and `name` as strings; a path that is not UTF-8
// also carries its bytes, and they open the very file that was checked.
TEST_P(ForgingNames, JsonPathBytesNameTheCheckedFile) {
  const std::string path = GetParam().name + "/damaged.jpg";
  const ProgramOutput run = RunProgramIn(dir_, {"--json", path});
  EXPECT_EQ(run.status, 1);
  const json doc = json::parse(run.out, nullptr, false);
  ASSERT_TRUE(doc.is_array() && doc.size() == 1) << run.out;
  const json& o = doc[0];
  EXPECT_EQ(o["name"], "damaged.jpg");
  if (GetParam().utf8) {
    EXPECT_FALSE(o.contains("path_bytes"));
    EXPECT_EQ(o["path"], path);
    return;
  }
  ASSERT_TRUE(o.contains("path_bytes")) << run.out;
  std::string decoded;
  ASSERT_TRUE(DecodeBase64(o["path_bytes"].get<std::string>(), decoded)) << o["path_bytes"];
  EXPECT_EQ(decoded, path);
  struct stat checked;
  struct stat named;
  ASSERT_EQ(stat((dir_ + "/" + path).c_str(), &checked), 0);
  const int fd = open((dir_ + "/" + decoded).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(fstat(fd, &named), 0);
  close(fd);
  EXPECT_EQ(named.st_ino, checked.st_ino);
  EXPECT_EQ(named.st_dev, checked.st_dev);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ForgingNames,
    ::testing::Values(
        NameCase{"Plain", "cam1", "cam1", true}, NameCase{"Cyrillic", "камера-1", "камера-1", true},
        NameCase{"LineFeedForgesAVerdict", "x.jpg: This JPEG's check sum is correct\ny",
                 "\\x.jpg: This JPEG's check sum is correct\\ny", true},
        NameCase{"CarriageReturnOverwritesTheLine", "x.jpg: This JPEG's check sum is correct\r",
                 "\\x.jpg: This JPEG's check sum is correct\\r", true},
        NameCase{"Tab", "a\tb", "\\a\\tb", true}, NameCase{"Backslash", "a\\nb", "\\a\\\\nb", true},
        NameCase{"CursorUpEraseAndHide", "\x1B[1A\x1B[2K\x1B[8m", "\\\\x1b[1A\\x1b[2K\\x1b[8m",
                 true},
        NameCase{"OscTitleAndLink", "\x1B]0;t\x07\x1B]8;;http:h\x1B\\",
                 "\\\\x1b]0;t\\x07\\x1b]8;;http:h\\x1b\\\\", true},
        NameCase{"Delete", "x\x7F", "\\x\\x7f", true},
        NameCase{"C1ControlSequenceIntroducer",
                 "x\xC2\x9B"
                 "2K",
                 "\\x\\u009b2K", true},
        NameCase{"RightToLeftOverride", "x\xE2\x80\xAEgpj", "\\x\\u202egpj", true},
        NameCase{"InvalidUtf8", "cam\xFF", "\\cam\\xff", false},
        NameCase{"Latin1", "cam\xE9ra", "\\cam\\xe9ra", false},
        NameCase{"FolderHoldingAForgedReport",
                 "d: ok\n9 files: 9 intact, 0 damaged, 0 unsealed, 0 invalid, 0 unsupported "
                 "version, 0 could not be checked\nx",
                 "\\d: ok\\n9 files: 9 intact, 0 damaged, 0 unsealed, 0 invalid, 0 unsupported "
                 "version, 0 could not be checked\\nx",
                 true}),
    [](const auto& info) { return std::string(info.param.test_name); });

// Three names that all come out as "cam\uFFFD.jpg" in `path`: path_bytes
// tells the two that are not UTF-8 apart, and the real U+FFFD has none.
TEST(JsonPathBytes, TellsApartNamesThatReadTheSame) {
  std::string dir = (std::filesystem::temp_directory_path() / "quorvex-bytes-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::vector<std::string> names = {"cam\xFF.jpg", "cam\xFE.jpg", "cam\xEF\xBF\xBD.jpg"};
  qb::Bytes intact = qb::SealJpegOrPng(qb::TinyJpeg());
  for (const std::string& n : names) WriteFile(dir + "/" + n, intact);
  std::vector<std::string> args = {"--json"};
  args.insert(args.end(), names.begin(), names.end());
  const ProgramOutput run = RunProgramIn(dir, args);
  EXPECT_EQ(run.status, 0);
  const json doc = json::parse(run.out, nullptr, false);
  ASSERT_TRUE(doc.is_array() && doc.size() == 3) << run.out;
  for (const json& o : doc) EXPECT_EQ(o["path"], "cam\xEF\xBF\xBD.jpg");
  EXPECT_EQ(doc[0]["path_bytes"], "Y2Ft/y5qcGc=");
  EXPECT_EQ(doc[1]["path_bytes"], "Y2Ft/i5qcGc=");
  EXPECT_FALSE(doc[2].contains("path_bytes"));
  std::filesystem::remove_all(dir);
}

}  // namespace
