#ifndef QUORVEX_ENGINE_RECORDING_WALK_H
#define QUORVEX_ENGINE_RECORDING_WALK_H

#include <cstdint>
#include <functional>
#include <string>

#include "byte_source.h"
#include "check_file.h"
#include "read_window.h"
#include "result_panel.h"
#include "trace.h"

namespace quorvex {

// Walks the movie data of a recording chunk by chunk, checks its video
// frames, shows the formats and the progress, and returns the verdict line.
// `file` is the open file, whose position is set to the start of the movie
// data. Fills the recording's part of `summary` and tells `on_sealed_range`
// (when set) of every checked frame's payload. A read that fails stops the
// walk at once, with nothing more shown; its verdict then means nothing.
std::string WalkRecording(
    ReadWindow& contents, ByteSource& file, ResultPanel& panel, ErrorList& errors, TraceSink& trace,
    CheckSummary& summary,
    const std::function<void(std::uint64_t, std::uint64_t)>& on_sealed_range = {});

// The percentage of the file that lies in front of `position`, rounded down,
// exact for every size. `size` is not zero.
int PercentOf(std::uint64_t position, std::uint64_t size);

}  // namespace quorvex

#endif
