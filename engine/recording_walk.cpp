#include "recording_walk.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "frame_seal_check.h"
#include "text_format.h"

namespace quorvex {
namespace {

constexpr std::uint64_t kHeaderListSizeOffset = 16;
constexpr std::uint64_t kHandlerOffset = 112;
constexpr std::uint64_t kScaleOffset = 128;
constexpr std::uint64_t kRateOffset = 132;
constexpr std::uint64_t kAudioCodeOffset = 4420;
// The 20 bytes in front of the header list's data and the 12-byte head of the
// movie list behind it.
constexpr std::uint64_t kMovieDataLead = 32;
constexpr std::uint64_t kChunkHeadBytes = 8;
// Rates above this are no rates a camera records at: the fields are then
// taken to hold none.
constexpr std::uint64_t kMaxFrameRate = 1000;

constexpr std::string_view kInvalidFile = "It's the invalid file.\n";
constexpr std::string_view kErrorVersion = "Error version video file.\n";
constexpr std::string_view kNoError = "No error occur.\n";
constexpr std::string_view kOneError = "There is an error in the video file.\n";

struct Handler {
  std::string_view code;
  std::string_view name;
};
constexpr Handler kHandlers[] = {{"V264", "h264"}, {"VPG4", "mpg4"}, {"VJPG", "mjpg"}};

struct AudioFormat {
  std::uint8_t code;
  std::string_view name;
};
constexpr AudioFormat kAudioFormats[] = {{0x01, "ADPCM"}, {0x06, "PCMA"}, {0x07, "G711"},
                                         {0x21, "AMR"},   {0x45, "G726"}, {0xFF, "AAC"}};

std::string_view AudioName(std::uint8_t code) {
  for (const AudioFormat& a : kAudioFormats) {
    if (a.code == code) return a.name;
  }
  return "None";
}

// The rate the header's fields give, when it is above 0 and at most
// kMaxFrameRate frames per second. A scale of 0 leaves the rate alone.
std::optional<FrameRate> PlausibleRate(std::uint32_t rate, std::uint32_t scale) {
  const FrameRate r{rate, scale == 0 ? 1u : scale};
  if (r.rate == 0 || r.rate > kMaxFrameRate * r.scale) return std::nullopt;
  return r;
}

// Where the chunk after the one at `chunk` with data size `data_size` starts:
// behind its data and, for an odd size, its pad byte.
std::uint64_t NextChunk(std::uint64_t chunk, std::uint32_t data_size) {
  return chunk + kChunkHeadBytes + data_size + (data_size & 1u);
}

}  // namespace

int PercentOf(std::uint64_t position, std::uint64_t size) {
#if defined(__SIZEOF_INT128__)
  __extension__ typedef unsigned __int128 Wide;
  return static_cast<int>(static_cast<Wide>(position) * 100u / size);
#else
  // position * 100 / size, as a long division that cannot overflow.
  const std::uint64_t whole = position / size;
  const std::uint64_t rest = position % size;
  std::uint64_t percent = whole * 100;
  std::uint64_t r = 0;
  for (int i = 0; i < 100; ++i) {
    r += rest;
    if (r >= size || r < rest) {
      r -= size;
      ++percent;
    }
  }
  return static_cast<int>(percent);
#endif
}

std::string WalkRecording(
    ReadWindow& contents, ByteSource& file, ResultPanel& panel, ErrorList& errors, TraceSink& trace,
    CheckSummary& summary,
    const std::function<void(std::uint64_t, std::uint64_t)>& on_sealed_range) {
  const std::uint64_t size = contents.size;
  // Too short for the fixed header positions: refused like a foreign handler.
  if (size <= kAudioCodeOffset) {
    summary.status = CheckStatus::kInvalid;
    return std::string(kInvalidFile);
  }
  std::uint16_t header_list_size = 0;
  ReadLe16(contents, kHeaderListSizeOffset, header_list_size);
  const std::uint64_t movie_start = header_list_size + kMovieDataLead;

  std::string video_format;
  for (const Handler& h : kHandlers) {
    if (BytesEqual(contents, kHandlerOffset, h.code)) video_format = h.name;
  }
  if (ReadFailed(contents)) return {};
  if (video_format.empty()) {
    summary.status = CheckStatus::kInvalid;
    return std::string(kInvalidFile);
  }
  summary.video_format = video_format;
  panel.SetFieldText(IDC_VIDEO_FORMAT, "Video format: " + video_format + "\n");

  // The header lies inside the file: only a failed read leaves these out.
  const std::uint8_t* rate = WindowSpan(contents, kRateOffset, 4);
  if (rate == nullptr) return {};
  trace.Write(FormatText("readBuf = 0x%x-0x%x-0x%x-0x%x\n", rate[0], rate[1], rate[2], rate[3]));
  std::uint32_t rate_value = 0;
  ReadLe32(contents, kRateOffset, rate_value);
  trace.Write(FormatText("temp_frane_rate = %d\n", static_cast<std::int32_t>(rate_value)));
  std::uint32_t scale_value = 0;
  ReadLe32(contents, kScaleOffset, scale_value);
  summary.frame_rate = PlausibleRate(rate_value, scale_value);

  const std::optional<std::uint8_t> audio_code = ByteAt(contents, kAudioCodeOffset);
  if (!audio_code.has_value()) return {};
  const std::string audio_format(AudioName(*audio_code));
  summary.audio_format = audio_format;
  panel.SetFieldText(IDC_AUDIO_FORMAT, "Audio format: " + audio_format + "\n");

  FrameTally tally;
  std::uint64_t p = file.SeekTo(movie_start);
  auto finish_tally = [&] {
    summary.frames_checked = tally.frame_number - 1;
    summary.frames_failed = tally.error_count;
  };

  // Every test below reads nothing once a read has failed, so the loop ends
  // at the chunk where it failed.
  for (;;) {
    if (ByteAt(contents, p) != std::uint8_t{'0'}) break;
    const auto second = ByteAt(contents, p + 1);
    if (second == std::uint8_t{'0'}) {
      if (!BytesEqual(contents, p + 2, "dc")) {
        if (ReadFailed(contents)) break;
        p += 2;
        continue;
      }
      std::uint32_t data_size = 0;
      if (!ReadLe32(contents, p + 4, data_size)) break;  // the chunk head does not fit
      const std::uint64_t next = NextChunk(p, data_size);
      const auto version = ByteAt(contents, p + kVersionByteOffset);
      if (ReadFailed(contents)) break;
      if (version == std::uint8_t{'1'}) {
        finish_tally();
        summary.walk_end = p;
        summary.walk_complete = false;
        summary.status = CheckStatus::kUnsupportedVersion;
        return std::string(kErrorVersion);
      }
      SealCrcs crcs;
      const FrameOutcome outcome =
          CheckFrameSeal(contents, p, data_size, video_format, tally, errors, trace, &crcs);
      if (ReadFailed(contents)) break;
      const std::uint64_t chunk_index = summary.video_chunks++;
      if (outcome == FrameOutcome::kNotChecked) {
        ++summary.unchecked_video_chunks;
      } else {
        // The payload of a checked frame starts inside the file; the part
        // of it inside the file is what the seal vouched for.
        const std::uint64_t payload = p + kPayloadOffset;
        const std::uint64_t payload_end = std::min(p + kChunkHeadBytes + data_size, size);
        summary.sealed_bytes += payload_end - payload;
        if (on_sealed_range && payload_end > payload) on_sealed_range(payload, payload_end);
        if (outcome == FrameOutcome::kFailed) {
          summary.failed_frames.push_back({tally.frame_number - 1, p, chunk_index, crcs});
        }
      }
      if (next >= size) {
        p = size;
        break;
      }
      const int percent = PercentOf(next, size);
      if (percent % 10 == 0)
        panel.SetFieldText(IDC_PROGRESS, FormatText("Complete...%d%%", percent));
      p = next;
    } else if (second == std::uint8_t{'1'}) {
      if (!BytesEqual(contents, p + 2, "wb") ||
          !BytesEqual(contents, p + 6, std::string_view("\0\0", 2))) {
        if (ReadFailed(contents)) break;
        p += 2;
        continue;
      }
      std::uint32_t data_size = 0;
      ReadLe32(contents, p + 4, data_size);
      const std::uint64_t next = NextChunk(p, data_size);
      if (next >= size) {
        p = size;
        break;
      }
      p = next;
    } else {
      break;
    }
  }

  finish_tally();
  // The movie data of a cut-off file can start behind its end; the walk then
  // ended at the end of the file.
  summary.walk_end = std::min(p, size);
  // The byte at p has been read by the loop's last test.
  summary.walk_complete = !ReadFailed(contents) && (p >= size || size - p < kChunkHeadBytes ||
                                                    ByteAt(contents, p) == std::uint8_t{'i'});
  // A hash of the file needs what lies behind the walk too; a read that
  // fails there stops the check before the end is shown.
  if (!ReadToEnd(contents)) return {};
  panel.SetFieldText(IDC_PROGRESS, "Complete...100%");
  if (!tally.error_flag) {
    summary.status = CheckStatus::kIntact;
    return std::string(kNoError);
  }
  summary.status = CheckStatus::kDamaged;
  panel.EnableDetail(true);
  if (tally.error_count == 1) return std::string(kOneError);
  return "There are " + std::to_string(tally.error_count) + " errors in the video file.\n";
}

}  // namespace quorvex
