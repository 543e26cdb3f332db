#ifndef QUORVEX_ENGINE_FRAME_SEAL_CHECK_H
#define QUORVEX_ENGINE_FRAME_SEAL_CHECK_H

#include <cstdint>
#include <string>

#include "check_file.h"
#include "read_window.h"
#include "result_panel.h"
#include "trace.h"

namespace quorvex {

// The counters of one recording walk. 64-bit, so that no recording can make
// them overflow.
struct FrameTally {
  std::int64_t frame_number = 1;  // number of the next checked frame
  std::int64_t error_count = 0;
  bool error_flag = false;
};

// Size of the seal in front of every encoded frame, and where its fields lie
// counted from the start of the chunk.
inline constexpr std::uint32_t kFrameSealBytes = 20;
inline constexpr std::uint64_t kVersionByteOffset = 12;
inline constexpr std::uint64_t kStoredCrcOffset = 24;
inline constexpr std::uint64_t kPayloadOffset = 28;

enum class FrameOutcome { kNotChecked, kIntact, kFailed };

// Checks the frame of the video chunk at `chunk` with data size `data_size`
// (at least the seal's 20 bytes) when its payload starts as a frame of
// `video_format` does. A checked frame whose data runs past the end of the
// file fails. Failed frames are counted and listed in the ErrorList. When a
// read fails (ReadFailed) nothing is printed, counted or listed. A checked
// frame's checksums go into `crcs` when given.
FrameOutcome CheckFrameSeal(ReadWindow& contents, std::uint64_t chunk, std::uint32_t data_size,
                            const std::string& video_format, FrameTally& tally, ErrorList& errors,
                            TraceSink& trace, SealCrcs* crcs = nullptr);

// Whether the payload at `payload` begins as a frame of `video_format`.
// Bytes past the end of the file match nothing.
bool PayloadIsFrame(ReadWindow& contents, std::uint64_t payload, const std::string& video_format);

}  // namespace quorvex

#endif
