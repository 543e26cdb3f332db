#ifndef QUORVEX_ENGINE_SNAPSHOT_CHECK_H
#define QUORVEX_ENGINE_SNAPSHOT_CHECK_H

#include <string>

#include "check_file.h"
#include "read_window.h"
#include "trace.h"

namespace quorvex {

// Checks the checksum trailer of a "jpg", "png" or "bmp" snapshot and returns
// the verdict line. Prints the computed and stored checksums; records the
// outcome in `status`.
std::string CheckSnapshot(const std::string& kind, ReadWindow& contents, TraceSink& trace,
                          CheckStatus& status);

}  // namespace quorvex

#endif
