#ifndef QUORVEX_ENGINE_FILE_KIND_H
#define QUORVEX_ENGINE_FILE_KIND_H

#include <string>

#include "read_window.h"
#include "trace.h"

namespace quorvex {

// Decides the kind of a file from its first bytes: "avi", "jpg", "png",
// "bmp", or empty for a file of no known kind. Prints the kind's trace line.
std::string DetectFileKind(ReadWindow& contents, TraceSink& trace);

}  // namespace quorvex

#endif
