#include "fuzz_support.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "dialog_fields.h"
#include "file_builders.h"
#include "trace.h"

namespace quorvex::fuzz {
namespace {

constexpr std::string_view kFinish = "...Finish\n";
constexpr std::string_view kDashes = "--------------------------\n";
constexpr std::size_t kMinWindow = 4096;
__extension__ typedef unsigned __int128 Wide;

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Printf(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return std::string(text, static_cast<std::size_t>(std::clamp(n, 0, 255)));
}

bool HasText(const Bytes& f, std::uint64_t pos, std::string_view text) {
  if (pos > f.size() || text.size() > f.size() - pos) return false;
  return std::memcmp(f.data() + pos, text.data(), text.size()) == 0;
}

std::optional<std::uint8_t> At(const Bytes& f, std::uint64_t pos) {
  if (pos >= f.size()) return std::nullopt;
  return f[pos];
}

std::uint32_t Le32(const Bytes& f, std::uint64_t pos) {
  return static_cast<std::uint32_t>(f[pos]) | static_cast<std::uint32_t>(f[pos + 1]) << 8 |
         static_cast<std::uint32_t>(f[pos + 2]) << 16 |
         static_cast<std::uint32_t>(f[pos + 3]) << 24;
}

std::uint32_t Be32(const Bytes& f, std::uint64_t pos) {
  return static_cast<std::uint32_t>(f[pos]) << 24 | static_cast<std::uint32_t>(f[pos + 1]) << 16 |
         static_cast<std::uint32_t>(f[pos + 2]) << 8 | static_cast<std::uint32_t>(f[pos + 3]);
}

bool In(std::optional<std::uint8_t> byte, std::initializer_list<std::uint8_t> values) {
  return byte.has_value() && std::find(values.begin(), values.end(), *byte) != values.end();
}

bool ModelIsFrame(const Bytes& f, std::uint64_t payload, std::string_view format) {
  auto p = [&](int i) { return At(f, payload + static_cast<std::uint64_t>(i)); };
  if (format == "mjpg") {
    return In(p(0), {0xFF}) && In(p(1), {0xD8}) && In(p(2), {0xFF}) && In(p(3), {0xE0});
  }
  if (format == "mpg4") {
    return In(p(0), {0x00}) && In(p(1), {0x00}) && In(p(2), {0x01}) && In(p(3), {0xB6, 0x00, 0xB0});
  }
  return (In(p(1), {0x00}) && In(p(2), {0x00}) && In(p(3), {0x01}) &&
          In(p(4), {0x67, 0x27, 0x65, 0x09}) && In(p(5), {0x64, 0x42, 0x88, 0xB8, 0x10})) ||
         (In(p(3), {0x01}) && In(p(4), {0x41, 0x21, 0x09}) &&
          In(p(5), {0x9A, 0x9B, 0x30, 0xE0, 0xE1})) ||
         (In(p(3), {0x01}) && In(p(4), {0x41, 0x81}));
}

}  // namespace

void ModelSnapshot(const Bytes& f, Expected& e) {
  struct Texts {
    const char* no_seal;
    const char* correct;
    const char* error;
  };
  const Texts texts =
      e.kind == "jpg"
          ? Texts{"Can't find crc code, it's the invalid file.\n",
                  "This JPEG's check sum is correct\n", "This JPEG's check sum is error\n"}
      : e.kind == "png"
          ? Texts{"Can't find crc code, it's the invalid file\n",
                  "This PNG's check sum is correct\n", "This PNG's check sum is error\n"}
          : Texts{"Can't find crc code, it's the invalid file.\n",
                  "This BMP's check sum is correct\n", "This BMP's check sum is error\n"};
  const std::size_t n = f.size();
  bool sealed = false;
  if (e.kind == "bmp") {
    sealed = n >= 12 && HasText(f, n - 12, "VALKERON");
  } else if (n >= 4) {
    sealed = !HasText(f, n - 2, e.kind == "jpg" ? "\xFF\xD9" : "\x60\x82");
  }
  if (!sealed) {
    e.status = CheckStatus::kUnsealed;
    e.verdict = texts.no_seal;
    return;
  }
  const std::uint32_t computed = build::ReferenceCrc32(f.data(), n - 4);
  const std::uint32_t stored = Be32(f, n - 4);
  e.trace += Printf("check_sum = 0x%x\n", computed);
  e.trace += Printf("file_check_sum = 0x%x,tmp_file_size = %zu\n", stored, n);
  e.status = computed == stored ? CheckStatus::kIntact : CheckStatus::kDamaged;
  e.verdict = computed == stored ? texts.correct : texts.error;
  e.snapshot_crcs = SealCrcs{stored, computed};
  e.sealed_bytes = n - 4;
}

namespace {

const char* ModelAudioName(std::uint8_t code) {
  switch (code) {
    case 0x01:
      return "ADPCM";
    case 0x06:
      return "PCMA";
    case 0x07:
      return "G711";
    case 0x21:
      return "AMR";
    case 0x45:
      return "G726";
    case 0xFF:
      return "AAC";
    default:
      return "None";
  }
}

void ModelWalk(const Bytes& f, Expected& e) {
  const std::uint64_t n = f.size();
  e.status = CheckStatus::kInvalid;
  e.verdict = "It's the invalid file.\n";
  if (n <= 4420) return;
  const char* format = HasText(f, 112, "V264")   ? "h264"
                       : HasText(f, 112, "VPG4") ? "mpg4"
                       : HasText(f, 112, "VJPG") ? "mjpg"
                                                 : nullptr;
  if (format == nullptr) return;
  e.video_field = std::string("Video format: ") + format + "\n";
  e.trace += Printf("readBuf = 0x%x-0x%x-0x%x-0x%x\n", f[132], f[133], f[134], f[135]);
  e.trace += Printf("temp_frane_rate = %d\n", static_cast<std::int32_t>(Le32(f, 132)));
  const std::uint64_t scale = Le32(f, 128) == 0 ? 1 : Le32(f, 128);
  if (Le32(f, 132) >= 1 && Le32(f, 132) <= 1000 * scale) {
    e.frame_rate = FrameRate{Le32(f, 132), static_cast<std::uint32_t>(scale)};
  }
  e.audio_field = std::string("Audio format: ") + ModelAudioName(f[4420]) + "\n";

  std::uint64_t p = std::uint64_t{f[16]} + (std::uint64_t{f[17]} << 8) + 32;
  std::int64_t frame = 1;
  std::int64_t failed = 0;
  for (;;) {
    if (At(f, p) != std::uint8_t{'0'}) break;
    const auto second = At(f, p + 1);
    if (second == std::uint8_t{'0'}) {
      if (!HasText(f, p + 2, "dc")) {
        p += 2;
        continue;
      }
      if (p + 8 > n) break;
      const std::uint32_t l = Le32(f, p + 4);
      const std::uint64_t next = p + 8 + l + (l & 1u);
      if (At(f, p + 12) == std::uint8_t{'1'}) {
        e.status = CheckStatus::kUnsupportedVersion;
        e.verdict = "Error version video file.\n";
        e.frames_checked = frame - 1;
        e.walk_end = p;
        e.walk_complete = false;
        return;
      }
      const std::uint64_t chunk_index = e.video_chunks++;
      if (l >= 20 && ModelIsFrame(f, p + 28, format)) {
        e.sealed_bytes += std::min<std::uint64_t>(p + 8 + l, n) - (p + 28);
        const std::uint32_t stored = Be32(f, p + 24);
        const bool complete = p + 8 + l <= n;
        std::optional<std::uint32_t> computed;
        if (complete) computed = build::ReferenceCrc32(f.data() + p + 28, l - 20);
        const bool intact = computed == stored;
        e.trace += Printf("file_check_sum = 0x%x,video_len = %u\n", stored, l);
        if (intact) {
          e.trace += "frame num " + std::to_string(frame) + " ok\n";
        } else {
          ++failed;
          e.errors += "frame error(frame_num = " + std::to_string(frame) + ")\n";
          e.failed_frames.push_back({frame, p, chunk_index, SealCrcs{stored, computed}});
        }
        ++frame;
      } else {
        ++e.unchecked_video_chunks;
      }
      if (next >= n) {
        p = n;
        break;
      }
      const auto percent = static_cast<int>(static_cast<Wide>(next) * 100 / n);
      if (percent % 10 == 0) e.progress_field = "Complete..." + std::to_string(percent) + "%";
      p = next;
    } else if (second == std::uint8_t{'1'}) {
      if (!HasText(f, p + 2, "wb") || !HasText(f, p + 6, std::string_view("\0\0", 2))) {
        p += 2;
        continue;
      }
      const std::uint32_t l = Le32(f, p + 4);
      const std::uint64_t next = p + 8 + l + (l & 1u);
      if (next >= n) {
        p = n;
        break;
      }
      p = next;
    } else {
      break;
    }
  }
  e.frames_checked = frame - 1;
  e.walk_end = std::min(p, n);
  e.walk_complete = p + 8 > n || At(f, p) == std::uint8_t{'i'};
  e.progress_field = "Complete...100%";
  if (failed == 0) {
    e.status = CheckStatus::kIntact;
    e.verdict = "No error occur.\n";
    return;
  }
  e.status = CheckStatus::kDamaged;
  e.detail_enabled = true;
  e.verdict = failed == 1 ? std::string("There is an error in the video file.\n")
                          : "There are " + std::to_string(failed) + " errors in the video file.\n";
}

std::size_t CountOf(const std::string& text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

bool IsOneLine(const std::string& text) {
  return !text.empty() && text.back() == '\n' && text.find('\n') == text.size() - 1;
}

bool IsKnownVerdict(const std::string& kind, const std::string& v) {
  static const char* const kSnapshotVerdicts[] = {"Can't find crc code, it's the invalid file.\n",
                                                  "Can't find crc code, it's the invalid file\n",
                                                  "This JPEG's check sum is correct\n",
                                                  "This JPEG's check sum is error\n",
                                                  "This PNG's check sum is correct\n",
                                                  "This PNG's check sum is error\n",
                                                  "This BMP's check sum is correct\n",
                                                  "This BMP's check sum is error\n"};
  if (v == "Can't open the file.\n") return kind.empty();
  if (v == "Can't read the file.\n" || v == "The file changed while it was checked.\n") return true;
  if (kind == "avi") {
    if (v == "It's the invalid file.\n" || v == "Error version video file.\n" ||
        v == "No error occur.\n" || v == "There is an error in the video file.\n") {
      return true;
    }
    return v.rfind("There are ", 0) == 0;
  }
  for (const char* s : kSnapshotVerdicts) {
    if (v == s) return true;
  }
  return false;
}

// Reads "frame error(frame_num = N)\n" lines; false on anything else.
bool ParseErrorList(const std::string& text, std::vector<std::int64_t>& numbers) {
  constexpr std::string_view kHead = "frame error(frame_num = ";
  std::size_t at = 0;
  while (at < text.size()) {
    if (text.compare(at, kHead.size(), kHead) != 0) return false;
    at += kHead.size();
    std::int64_t n = 0;
    const std::size_t digits_start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      if (n > (INT64_MAX - 9) / 10) return false;
      n = n * 10 + (text[at] - '0');
      ++at;
    }
    if (at == digits_start || (text[digits_start] == '0')) return false;
    if (text.compare(at, 2, ")\n") != 0) return false;
    at += 2;
    numbers.push_back(n);
  }
  return true;
}

std::string Describe(const CheckRun& run) {
  std::string s = "result: " + run.panel.text(IDC_RESULT) +
                  "errors: " + run.errors.Text().substr(0, 200) +
                  "\ntrace: " + run.trace.substr(0, 400);
  return s;
}

}  // namespace

void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "invariant broken: %s\n%s\n", what, detail.c_str());
  std::abort();
}

ReadParams DecodeParams(const std::uint8_t* b) {
  ReadParams p;
  p.window_bytes = b[0] == 0xFF ? kDefaultWindowBytes : kMinWindow + std::size_t{b[0]} * 16;
  p.measure_fails = b[1] == 0x40;
  if ((b[1] & 0x80) != 0) p.max_read = std::size_t{b[1] & 0x7Fu} * 64 + 1;
  p.size_delta = static_cast<std::int16_t>(b[2] | (b[3] << 8));
  return p;
}

Bytes PlainParams(std::uint8_t window_code) { return {window_code, 0, 0, 0}; }

std::uint64_t ReadParams::MeasuredSize(std::size_t data_size) const {
  const std::int64_t s = static_cast<std::int64_t>(data_size) + size_delta;
  return s < 0 ? 0 : static_cast<std::uint64_t>(s);
}

PolicedSource::PolicedSource(const std::uint8_t* data, std::size_t size, const ReadParams& params)
    : MemorySource(data, size), window_limit_(std::max(params.window_bytes, kMinWindow)) {
  measured_ = params.MeasuredSize(size);
  set_claimed_size(measured_);
  if (params.max_read != 0) set_max_read(params.max_read);
  set_measure_fails(params.measure_fails);
}

ReadResult PolicedSource::ReadAt(std::uint64_t pos, std::uint8_t* out, std::size_t count) {
  // A read of no bytes is asked only at the end, for sources that read on to
  // it.
  Require(count > 0 || pos == measured_, "a read of no bytes inside the file");
  Require(count <= window_limit_, "a read larger than the window");
  Require(pos <= measured_ && count <= measured_ - pos, "a read past the measured size",
          "pos " + std::to_string(pos) + " count " + std::to_string(count) + " size " +
              std::to_string(measured_));
  const ReadResult r = MemorySource::ReadAt(pos, out, count);
  delivered_ += r.count;
  return r;
}

std::string ModelKind(const Bytes& f, std::string& trace) {
  if (HasText(f, 0, "RIFF")) {
    trace += "read RIFF sucess\r\n";
    return "avi";
  }
  if (HasText(f, 0, "\xFF\xD8")) {
    trace += "read picture sucess\n";
    return "jpg";
  }
  if (HasText(f, 0, "\x89PNG")) return "png";
  if (HasText(f, 0, "BM") && f.size() >= 3 && f[2] != 0) return "bmp";
  trace += "read RIFF or picture error\r\n";
  return "";
}

Expected ModelCheck(const Bytes& file) {
  Expected e;
  e.kind = ModelKind(file, e.trace);
  if (e.kind == "avi") {
    ModelWalk(file, e);
  } else if (!e.kind.empty()) {
    ModelSnapshot(file, e);
  }
  return e;
}

PolicedWindow::PolicedWindow(PolicedSource& source, std::size_t window_bytes) {
  window.source = &source;
  window.size = source.measured();
  window.capacity = WindowCapacity(window_bytes, window.size);
  buffer.reset(new std::uint8_t[window.capacity]);
  window.buffer = buffer.get();
}

CheckRun RunCheck(ByteSource* source, const std::string& path, const std::string& name,
                  std::size_t window_bytes) {
  CheckRun run;
  report::PrepareForCheck(run.panel, run.errors);
  StringTraceSink trace;
  CheckOptions options;
  options.trace = &trace;
  options.summary = &run.summary;
  options.window_bytes = window_bytes;
  options.on_sealed_range = [&run](std::uint64_t begin, std::uint64_t end) {
    run.sealed_ranges.emplace_back(begin, end);
  };
  CheckContents(source, path, name, run.panel, run.errors, options);
  run.trace = trace.text();
  return run;
}

void CheckInvariants(const CheckRun& run, const std::string& path, const std::string& name) {
  const FieldPanel& panel = run.panel;
  const CheckSummary& s = run.summary;
  Require(panel.text(IDC_NAME) == "Name: " + name + "\n", "name field");
  Require(panel.text(IDC_PATH) == "Path: " + path + "\n", "path field");
  for (int id : {IDC_PATH, IDC_VIDEO_FORMAT, IDC_AUDIO_FORMAT, IDC_PROGRESS, IDC_RESULT}) {
    Require(panel.visible(id), "a result field left hidden");
  }
  Require(!panel.visible(IDC_INTRO), "introduction shown");

  const std::string& result = panel.text(IDC_RESULT);
  if (s.verdict.has_value()) {
    Require(IsOneLine(*s.verdict), "verdict is not one line", *s.verdict);
    Require(IsKnownVerdict(s.kind, *s.verdict), "unknown verdict", s.kind + ": " + *s.verdict);
    Require(result == *s.verdict + std::string(kFinish) + std::string(kDashes),
            "report is not the verdict and the two closing lines", result);
  } else {
    Require(result.empty(), "report without a verdict", result);
    Require(s.status == CheckStatus::kUnknownKind || s.status == CheckStatus::kUnreadable,
            "no verdict for a known kind");
  }

  std::vector<std::int64_t> numbers;
  Require(ParseErrorList(run.errors.Text(), numbers), "malformed ErrorList", run.errors.Text());
  Require(numbers.size() == s.failed_frames.size() &&
              static_cast<std::int64_t>(numbers.size()) == s.frames_failed,
          "ErrorList lines differ from the failed frames", Describe(run));
  Require(s.frames_failed <= s.frames_checked, "more failed frames than checked");
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    Require(numbers[i] == s.failed_frames[i].frame, "ErrorList number differs from the summary");
    Require(numbers[i] >= 1 && numbers[i] <= s.frames_checked, "failed frame number out of range");
    Require(s.failed_frames[i].offset < s.size, "failed frame outside the file");
    if (i > 0) {
      Require(numbers[i] > numbers[i - 1], "failed frame numbers do not rise", run.errors.Text());
      Require(s.failed_frames[i].offset > s.failed_frames[i - 1].offset,
              "failed frame offsets do not rise");
    }
  }
  // One "file_check_sum" line per checked frame; "frame num N ok" for each
  // that passed, N rising by one across all checked frames.
  if (s.kind == "avi") {
    Require(static_cast<std::int64_t>(CountOf(run.trace, ",video_len = ")) == s.frames_checked,
            "checked frames and trace lines differ", Describe(run));
    Require(static_cast<std::int64_t>(CountOf(run.trace, "frame num ")) ==
                s.frames_checked - s.frames_failed,
            "passed frames and trace lines differ", Describe(run));
  } else {
    Require(s.frames_checked == 0 && s.failed_frames.empty(), "frames outside a recording");
  }

  const bool walked =
      s.kind == "avi" && (s.status == CheckStatus::kIntact || s.status == CheckStatus::kDamaged);
  Require(panel.detail_enabled() == (walked && s.status == CheckStatus::kDamaged), "Detail state");
  if (walked) {
    Require(panel.text(IDC_PROGRESS) == "Complete...100%", "walk ended without 100%");
    if (s.frames_failed == 0) {
      Require(*s.verdict == "No error occur.\n", "intact recording verdict");
    } else if (s.frames_failed == 1) {
      Require(*s.verdict == "There is an error in the video file.\n", "one-error verdict");
    } else {
      Require(*s.verdict ==
                  "There are " + std::to_string(s.frames_failed) + " errors in the video file.\n",
              "error count verdict", *s.verdict);
    }
  } else {
    const std::string& progress = panel.text(IDC_PROGRESS);
    bool ok = progress.empty();
    for (int pct = 0; pct < 100 && !ok; pct += 10) {
      ok = progress == "Complete..." + std::to_string(pct) + "%";
    }
    Require(ok, "progress text", progress);
  }
  if (s.kind != "avi") {
    Require(panel.text(IDC_VIDEO_FORMAT) == "Video Format: ", "video field of a non-recording");
    Require(panel.text(IDC_AUDIO_FORMAT) == "Audio Format: ", "audio field of a non-recording");
    Require(!s.walk_end.has_value(), "walk end without a walk");
  }
  if (s.walk_end.has_value()) Require(*s.walk_end <= s.size, "walk ended past the file");
  Require(s.sealed_bytes <= s.size, "more sealed bytes than the file holds");
  std::uint64_t told = 0;
  std::uint64_t behind = 0;
  for (const auto& [begin, end] : run.sealed_ranges) {
    Require(begin < end && end <= s.size, "sealed range empty or outside the file");
    Require(begin >= behind, "sealed ranges overlap or go back");
    told += end - begin;
    behind = end;
  }
  Require(told == s.sealed_bytes, "sealed ranges do not add up to the sealed bytes");
  Require(s.video_chunks == static_cast<std::uint64_t>(s.frames_checked) + s.unchecked_video_chunks,
          "video chunks are not the checked and the unchecked ones");
  for (std::size_t i = 1; i < s.failed_frames.size(); ++i) {
    Require(s.failed_frames[i].chunk > s.failed_frames[i - 1].chunk,
            "failed frame chunk indexes do not rise");
  }
  if (s.frame_rate.has_value()) {
    const double fps = FramesPerSecond(*s.frame_rate);
    Require(s.frame_rate->scale >= 1 && fps > 0 && fps <= 1000, "frame rate");
  }
  Require(s.walk_complete.has_value() == s.walk_end.has_value(), "walk complete without walk end");
  Require(!s.read_error.has_value(), "a read error from contents that read without one");
}

void CheckAgainstModel(const CheckRun& run, const Expected& e) {
  const FieldPanel& panel = run.panel;
  const CheckSummary& s = run.summary;
  Require(s.kind == e.kind, "kind", s.kind + " vs " + e.kind);
  Require(run.trace == e.trace, "trace", "got:\n" + run.trace + "\nwant:\n" + e.trace);
  Require(s.verdict == e.verdict, "verdict", s.verdict.value_or("(none)"));
  Require(s.status == e.status, "status");
  Require(panel.text(IDC_VIDEO_FORMAT) == e.video_field, "video field");
  Require(panel.text(IDC_AUDIO_FORMAT) == e.audio_field, "audio field");
  Require(panel.text(IDC_PROGRESS) == e.progress_field, "progress field",
          panel.text(IDC_PROGRESS) + " vs " + e.progress_field);
  Require(panel.detail_enabled() == e.detail_enabled, "Detail state");
  Require(run.errors.Text() == e.errors, "ErrorList", run.errors.Text());
  Require(s.frames_checked == e.frames_checked, "frames checked");
  Require(s.failed_frames.size() == e.failed_frames.size(), "failed frames");
  for (std::size_t i = 0; i < e.failed_frames.size(); ++i) {
    // The place of each, and the checksums its seal holds and its bytes give.
    Require(s.failed_frames[i] == e.failed_frames[i], "failed frame");
  }
  Require(s.snapshot_crcs == e.snapshot_crcs, "snapshot checksums");
  Require(s.walk_end == e.walk_end, "walk end");
  Require(s.frame_rate == e.frame_rate, "frame rate");
  Require(s.walk_complete == e.walk_complete, "walk complete");
  Require(s.video_chunks == e.video_chunks, "video chunks",
          std::to_string(s.video_chunks) + " vs " + std::to_string(e.video_chunks));
  Require(s.unchecked_video_chunks == e.unchecked_video_chunks, "unchecked video chunks");
  Require(s.sealed_bytes == e.sealed_bytes, "sealed bytes",
          std::to_string(s.sealed_bytes) + " vs " + std::to_string(e.sealed_bytes));
}

Bytes SeenContents(const std::uint8_t* data, std::size_t size, const ReadParams& params) {
  const std::uint64_t measured = params.MeasuredSize(size);
  Bytes f(static_cast<std::size_t>(measured), 0);
  const std::size_t kept = std::min<std::size_t>(size, f.size());
  if (kept > 0) std::memcpy(f.data(), data, kept);
  return f;
}

bool FoundChanged(const CheckRun& run, const PolicedSource& source, std::size_t size) {
  if (run.summary.status != CheckStatus::kChanged) return false;
  Require(source.measured() > size, "a change without a short read");
  Require(run.summary.verdict == "The file changed while it was checked.\n", "changed verdict");
  Require(run.trace.ends_with("file changed error\n"), "changed trace", run.trace);
  return true;
}

void CheckLinearReads(const PolicedSource& source, const ReadParams& params) {
  const std::uint64_t size = source.measured();
  const std::uint64_t window =
      std::min<std::uint64_t>(std::max(params.window_bytes, kMinWindow), size);
  const std::uint64_t bound = 2 * size + 2 * window + 4096;
  Require(source.delivered() <= bound, "reads grow faster than the file",
          std::to_string(source.delivered()) + " bytes for a file of " + std::to_string(size));
  if (params.max_read == 0 && window > 0) {
    Require(source.read_calls() <= 4 * (size / window) + 8, "more reads than windows",
            std::to_string(source.read_calls()) + " reads for a file of " + std::to_string(size));
  }
}

}  // namespace quorvex::fuzz
