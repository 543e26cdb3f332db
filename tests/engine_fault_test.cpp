// Hostile and changing contents at the engine level: huge chunk counts read
// in linear work, files that grew or shrank after they were measured, short
// reads, no memory for the window, and no handle left open.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "byte_source.h"
#include "check_file.h"
#include "dialog_fields.h"
#include "field_panel.h"
#include "file_builders.h"
#include "test_support.h"
#include "trace.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

namespace quorvex {
namespace {

namespace qb = build;
using qb::Bytes;

struct Outcome {
  testing::LoggedPanel panel;
  ErrorList errors;
  CheckSummary summary;
  std::string trace;
};

Outcome Check(ByteSource* source, std::size_t window_bytes = kDefaultWindowBytes,
              bool keep_trace = true) {
  Outcome o;
  report::PrepareForCheck(o.panel, o.errors);
  StringTraceSink trace;
  NullTraceSink no_trace;
  CheckOptions options;
  options.trace = keep_trace ? static_cast<TraceSink*>(&trace) : &no_trace;
  options.summary = &o.summary;
  options.window_bytes = window_bytes;
  CheckContents(source, "/rec/cam1.avi", "cam1.avi", o.panel, o.errors, options);
  o.trace = trace.text();
  return o;
}

std::size_t Lines(const std::string& text, const std::string& start) {
  std::size_t n = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    if (text.compare(at, start.size(), start) == 0) ++n;
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return n;
}

std::size_t ProgressWrites(const testing::LoggedPanel& panel) {
  std::size_t n = 0;
  for (const std::string& entry : panel.log()) {
    if (entry.rfind("text 1005 Complete...", 0) == 0) ++n;
  }
  return n;
}

// A recording of `count` minimal checked H.264 frames (a 6-byte payload
// behind the seal, 34 bytes a chunk); every 1000th frame is damaged.
Bytes MinimalFrames(std::size_t count) {
  qb::RecordingBuilder header("V264");
  Bytes file = header.NoIndex().Build();
  file.resize(header.MovieStart());
  const Bytes payload = {0x00, 0x00, 0x00, 0x01, 0x41, 0x9A};
  const std::uint32_t crc = qb::ReferenceCrc32(payload);
  Bytes chunk = qb::FromText("00dc");
  qb::AppendLe32(chunk, 26);
  chunk.resize(chunk.size() + 20, 0);
  chunk[12] = '2';
  qb::Append(chunk, payload);
  file.reserve(file.size() + count * chunk.size());
  for (std::size_t i = 1; i <= count; ++i) {
    qb::PutBe32(chunk, 24, i % 1000 == 0 ? crc ^ 1u : crc);
    qb::Append(file, chunk);
  }
  return file;
}

class LinearWork : public ::testing::TestWithParam<std::size_t> {};

TEST_P(LinearWork, AMillionMinimalVideoChunksAreReadOnce) {
  const Bytes file = MinimalFrames(1000000);
  MemorySource source(file.data(), file.size());
  const Outcome o = Check(&source, GetParam(), false);

  EXPECT_EQ(*o.summary.verdict, "There are 1000 errors in the video file.\n");
  EXPECT_EQ(o.summary.frames_checked, 1000000);
  EXPECT_EQ(o.summary.walk_end, file.size());
  EXPECT_EQ(Lines(o.errors.Text(), "frame error(frame_num = "), 1000u);
  EXPECT_TRUE(
      o.errors.Text().starts_with("frame error(frame_num = 1000)\n"
                                  "frame error(frame_num = 2000)\n"));
  EXPECT_TRUE(
      o.errors.Text().ends_with("frame error(frame_num = 999000)\n"
                                "frame error(frame_num = 1000000)\n"));
  EXPECT_EQ(o.panel.text(IDC_PROGRESS), "Complete...100%");
  // Every byte is asked for about once: a chunk that straddles the end of the
  // window costs one more fill, never a pass over what was read before.
  EXPECT_LE(source.bytes_requested(), file.size() + file.size() / 4);
  EXPECT_LE(source.read_calls(), 2 * (file.size() / GetParam()) + 4);
}

TEST_P(LinearWork, TwoHundredThousandAudioChunksAreReadOnce) {
  qb::RecordingBuilder rec("V264");
  for (int i = 0; i < 200000; ++i) rec.Chunk("01wb", Bytes(4, 0x55));
  rec.Frame(qb::H264Frame(64, 1, true));
  const Bytes file = rec.Build();
  MemorySource source(file.data(), file.size());
  const Outcome o = Check(&source, GetParam());

  EXPECT_EQ(*o.summary.verdict, "No error occur.\n");
  EXPECT_EQ(o.summary.frames_checked, 1);
  EXPECT_TRUE(o.trace.ends_with(",video_len = 84\nframe num 1 ok\n")) << o.trace;
  // Audio chunks never write the progress; the frame behind them does once.
  EXPECT_LE(ProgressWrites(o.panel), 2u);
  EXPECT_EQ(o.panel.text(IDC_PROGRESS), "Complete...100%");
  EXPECT_LE(source.bytes_requested(), file.size() + file.size() / 4);
  EXPECT_LE(source.read_calls(), 2 * (file.size() / GetParam()) + 4);
}

INSTANTIATE_TEST_SUITE_P(Windows, LinearWork,
                         ::testing::Values(std::size_t{4096}, kDefaultWindowBytes),
                         [](const auto& info) { return "Window" + std::to_string(info.param); });

Bytes ThreeFrames() {
  qb::RecordingBuilder rec("V264");
  for (int i = 1; i <= 3; ++i) rec.Frame(qb::H264Frame(400, i, i == 1)).Audio(100);
  return rec.NoIndex().Build();
}

std::size_t AfterSecondFrame() {
  qb::RecordingBuilder rec("V264");
  for (int i = 1; i <= 2; ++i) rec.Frame(qb::H264Frame(400, i, i == 1)).Audio(100);
  return rec.NextOffset();
}

struct ChangeCase {
  const char* name;
  Bytes data;
  std::uint64_t measured;  // the size taken when the file was measured
  std::size_t max_read;    // 0: every read delivers all it can
  const char* verdict;
  const char* errors;
  const char* trace_end;  // the trace ends with this
};

void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.name; }

class ChangingFile : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangingFile, GetsAVerdictFromTheBytesAsMeasured) {
  const ChangeCase& c = GetParam();
  MemorySource source(c.data);
  source.set_claimed_size(c.measured);
  if (c.max_read != 0) source.set_max_read(c.max_read);
  const Outcome o = Check(&source);

  ASSERT_TRUE(o.summary.verdict.has_value());
  EXPECT_EQ(*o.summary.verdict, c.verdict);
  EXPECT_EQ(o.panel.text(IDC_RESULT),
            std::string(c.verdict) + "...Finish\n--------------------------\n");
  EXPECT_EQ(o.errors.Text(), c.errors);
  const std::string end = c.trace_end;
  ASSERT_GE(o.trace.size(), end.size());
  EXPECT_EQ(o.trace.substr(o.trace.size() - end.size()), end);
  EXPECT_EQ(o.summary.size, c.measured);
}

Bytes SealedJpeg() { return qb::SealJpegOrPng(qb::TinyJpeg()); }

Bytes Grown(Bytes b, std::size_t more) {
  b.resize(b.size() + more, 0xAB);
  return b;
}

Bytes Cut(Bytes b, std::size_t less) {
  b.resize(b.size() - less);
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChangingFile,
    ::testing::Values(
        // Shrank after measuring: the read that ends early stops the check,
        // and the missing bytes are never checked as zeros.
        ChangeCase{"RecordingShrankInsideLastFrame", Cut(ThreeFrames(), 300), ThreeFrames().size(),
                   0, "The file changed while it was checked.\n", "", "file changed error\n"},
        // Grew after measuring: only the measured bytes are walked.
        ChangeCase{"RecordingGrewByAFrame", ThreeFrames(), AfterSecondFrame(), 0,
                   "No error occur.\n", "", "frame num 2 ok\n"},
        ChangeCase{"JpegShrankByItsTrailer", Cut(SealedJpeg(), 4), SealedJpeg().size(), 0,
                   "The file changed while it was checked.\n", "", "file changed error\n"},
        ChangeCase{"JpegGrewBehindItsTrailer", Grown(SealedJpeg(), 100), SealedJpeg().size(), 0,
                   "This JPEG's check sum is correct\n", "", ",tmp_file_size = 163\n"},
        // Reads that deliver a few bytes at a time are read again until the
        // window is full: nothing is lost.
        ChangeCase{"JpegShortReads", SealedJpeg(), SealedJpeg().size(), 7,
                   "This JPEG's check sum is correct\n", "",
                   "file_check_sum = 0x7b4cbc4b,tmp_file_size = 163\n"},
        ChangeCase{"RecordingShortReads", ThreeFrames(), ThreeFrames().size(), 4096,
                   "No error occur.\n", "", "frame num 3 ok\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChangingFileSizes, SealedJpegIs163Bytes) {
  // The cases above name the size of the sealed sample JPEG.
  EXPECT_EQ(SealedJpeg().size(), 163u);
}

TEST(UnreadableContents, SizeThatCannotBeMeasuredIsAnOpenError) {
  MemorySource source(SealedJpeg());
  source.set_measure_fails(true);
  for (ByteSource* s : {static_cast<ByteSource*>(&source), static_cast<ByteSource*>(nullptr)}) {
    const Outcome o = Check(s);
    EXPECT_EQ(o.trace, "open file error\n");
    EXPECT_EQ(o.panel.text(IDC_RESULT),
              "Can't open the file.\n...Finish\n--------------------------\n");
    EXPECT_EQ(o.panel.text(IDC_NAME), "Name: cam1.avi\n");
    EXPECT_EQ(o.panel.text(IDC_PATH), "Path: /rec/cam1.avi\n");
  }
}

TEST(UnreadableContents, NoMemoryForTheWindowEndsWithoutAVerdict) {
  MemorySource source(SealedJpeg());
  source.set_claimed_size(std::uint64_t{1} << 62);
  const Outcome o = Check(&source, static_cast<std::size_t>(-1) / 2);
  EXPECT_EQ(o.trace, "malloc error\n");
  EXPECT_FALSE(o.summary.verdict.has_value());
  EXPECT_EQ(o.panel.text(IDC_RESULT), "");
  EXPECT_EQ(o.panel.text(IDC_PATH), "Path: /rec/cam1.avi\n");
}

unsigned long ProcessId() {
#if defined(_WIN32)
  return ::GetCurrentProcessId();
#else
  return static_cast<unsigned long>(::getpid());
#endif
}

// The descriptors, or on Windows the handles, this process has open; -1 when
// they cannot be counted. The handles are counted in the system's list of
// every process's handles, which Wine keeps too (its GetProcessHandleCount
// answers 0 whatever is open).
int OpenDescriptors() {
#if defined(_WIN32)
  struct HandleEntry {
    ULONG process;
    BYTE type;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
  };
  struct HandleList {
    ULONG count;
    HandleEntry entries[1];
  };
  using QueryFn = LONG(WINAPI*)(int, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return -1;
  constexpr int kSystemHandleInformation = 16;
  std::vector<std::uint64_t> buffer(1 << 16);
  for (;;) {
    ULONG needed = 0;
    const ULONG bytes = static_cast<ULONG>(buffer.size() * sizeof buffer[0]);
    const LONG status = query(kSystemHandleInformation, buffer.data(), bytes, &needed);
    if (status == 0) break;
    // Too small (STATUS_INFO_LENGTH_MISMATCH): try again with more room.
    if (static_cast<ULONG>(status) != 0xC0000004u || buffer.size() > (std::size_t{1} << 26))
      return -1;
    buffer.resize(buffer.size() * 4);
  }
  const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
  const ULONG self = ::GetCurrentProcessId();
  int n = 0;
  for (ULONG i = 0; i < list->count; ++i) n += list->entries[i].process == self ? 1 : 0;
  return n;
#else
  int n = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  while (readdir(dir) != nullptr) ++n;
  closedir(dir);
  return n;
#endif
}

TEST(OpenHandles, NoneStaysOpenAfterAnyOutcome) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("quorvex-fd-" + std::to_string(ProcessId()));
  std::filesystem::create_directories(dir);
  const std::pair<const char*, Bytes> files[] = {
      {"intact.jpg", SealedJpeg()}, {"rec.avi", ThreeFrames()}, {"unknown.bin", Bytes{1, 2, 3}}};
  for (const auto& [name, bytes] : files) {
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  const int before = OpenDescriptors();
  ASSERT_GT(before, 0);
  for (const char* name : {"intact.jpg", "rec.avi", "unknown.bin", "missing.jpg", "."}) {
    FieldPanel panel;
    ErrorList errors;
    report::PrepareForCheck(panel, errors);
    NullTraceSink trace;
    CheckOptions options;
    options.trace = &trace;
    CheckFile((dir / name).string(), name, panel, errors, options);
    EXPECT_EQ(OpenDescriptors(), before) << name;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quorvex
