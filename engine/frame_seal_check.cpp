#include "frame_seal_check.h"

#include <algorithm>
#include <initializer_list>

#include "text_format.h"

namespace quorvex {
namespace {

bool OneOf(std::uint8_t byte, std::initializer_list<std::uint8_t> values) {
  return std::find(values.begin(), values.end(), byte) != values.end();
}

// The payload's first bytes, p0 to p5; those past the end of the file are not
// there and match no pattern.
struct Lead {
  std::optional<std::uint8_t> p[6];
  bool Is(int i, std::initializer_list<std::uint8_t> values) const {
    return p[i].has_value() && OneOf(*p[i], values);
  }
};

bool IsMjpgFrame(const Lead& l) {
  return l.Is(0, {0xFF}) && l.Is(1, {0xD8}) && l.Is(2, {0xFF}) && l.Is(3, {0xE0});
}

bool IsMpg4Frame(const Lead& l) {
  return l.Is(0, {0x00}) && l.Is(1, {0x00}) && l.Is(2, {0x01}) && l.Is(3, {0xB6, 0x00, 0xB0});
}

bool IsH264Frame(const Lead& l) {
  const bool start_code_sps = l.Is(1, {0x00}) && l.Is(2, {0x00}) && l.Is(3, {0x01}) &&
                              l.Is(4, {0x67, 0x27, 0x65, 0x09}) &&
                              l.Is(5, {0x64, 0x42, 0x88, 0xB8, 0x10});
  const bool slice =
      l.Is(3, {0x01}) && l.Is(4, {0x41, 0x21, 0x09}) && l.Is(5, {0x9A, 0x9B, 0x30, 0xE0, 0xE1});
  const bool short_slice = l.Is(3, {0x01}) && l.Is(4, {0x41, 0x81});
  return start_code_sps || slice || short_slice;
}

}  // namespace

bool PayloadIsFrame(ReadWindow& contents, std::uint64_t payload, const std::string& video_format) {
  Lead lead;
  for (int i = 0; i < 6; ++i) lead.p[i] = ByteAt(contents, payload + static_cast<std::uint64_t>(i));
  if (video_format == "mjpg") return IsMjpgFrame(lead);
  if (video_format == "mpg4") return IsMpg4Frame(lead);
  if (video_format == "h264") return IsH264Frame(lead);
  return false;
}

FrameOutcome CheckFrameSeal(ReadWindow& contents, std::uint64_t chunk, std::uint32_t data_size,
                            const std::string& video_format, FrameTally& tally, ErrorList& errors,
                            TraceSink& trace, SealCrcs* crcs) {
  if (data_size < kFrameSealBytes) return FrameOutcome::kNotChecked;
  const std::uint64_t payload = chunk + kPayloadOffset;
  if (!PayloadIsFrame(contents, payload, video_format)) return FrameOutcome::kNotChecked;

  // A pattern byte inside the file puts the whole seal inside it.
  std::uint32_t stored = 0;
  ReadBe32(contents, chunk + kStoredCrcOffset, stored);
  const std::uint64_t payload_size = data_size - kFrameSealBytes;
  const bool complete = RangeInFile(contents, payload, payload_size);
  std::optional<std::uint32_t> computed;
  if (complete) computed = CrcOfRange(contents, payload, payload_size);
  const bool intact = computed == stored;
  if (ReadFailed(contents)) return FrameOutcome::kNotChecked;
  if (crcs != nullptr) *crcs = SealCrcs{stored, computed};

  if (trace.Wanted()) {
    trace.Write(FormatText("file_check_sum = 0x%x,video_len = %u\n", stored, data_size));
    if (intact) trace.Write("frame num " + std::to_string(tally.frame_number) + " ok\n");
  }
  if (!intact) {
    ++tally.error_count;
    tally.error_flag = true;
    errors.AddFrame(tally.frame_number);
  }
  ++tally.frame_number;
  return intact ? FrameOutcome::kIntact : FrameOutcome::kFailed;
}

}  // namespace quorvex
