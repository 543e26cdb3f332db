#ifndef QUORVEX_ENGINE_SNAPSHOT_CHECK_H
#define QUORVEX_ENGINE_SNAPSHOT_CHECK_H

#include <cstdint>
#include <string>

#include "check_file.h"
#include "read_window.h"
#include "trace.h"

namespace quorvex {

// The checksum behind a snapshot's image; it covers every byte in front of it.
inline constexpr std::uint64_t kSnapshotTrailerBytes = 4;

// Checks the checksum trailer of a "jpg", "png" or "bmp" snapshot and returns
// the verdict line. Prints the computed and stored checksums; records the
// outcome in `status`. When a read fails (ReadFailed) it prints nothing more
// and its verdict means nothing. A found seal's checksums go into `crcs`
// when given.
std::string CheckSnapshot(const std::string& kind, ReadWindow& contents, TraceSink& trace,
                          CheckStatus& status, std::optional<SealCrcs>* crcs = nullptr);

}  // namespace quorvex

#endif
