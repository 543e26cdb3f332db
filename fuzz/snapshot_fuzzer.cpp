// The snapshot trailer check over any bytes taken for a JPEG, PNG or BMP,
// whatever they begin with and however short.
#include <memory>

#include "fuzz_support.h"
#include "snapshot_check.h"
#include "trace.h"

using namespace quorvex;
using namespace quorvex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kParamBytes + 1) return 0;
  ReadParams params = DecodeParams(data);
  params.measure_fails = false;
  static const char* const kKinds[] = {"jpg", "png", "bmp"};
  const std::string kind = kKinds[data[kParamBytes] % 3];
  data += kParamBytes + 1;
  size -= kParamBytes + 1;

  PolicedSource source(data, size, params);
  PolicedWindow policed(source, params.window_bytes);
  ReadWindow& window = policed.window;

  StringTraceSink trace;
  CheckStatus status = CheckStatus::kUnreadable;
  const std::string verdict = CheckSnapshot(kind, window, trace, status);
  CheckLinearReads(source, params);
  // Data that ends before the measured size is a file that shrank: the check
  // stops there without a verdict of its own.
  if (window.changed) {
    Require(source.measured() > size, "a change without a short read");
    Require(verdict.empty(), "a verdict on a file that changed", verdict);
    return 0;
  }

  Expected e;
  e.kind = kind;
  ModelSnapshot(SeenContents(data, size, params), e);
  Require(verdict == e.verdict, "snapshot verdict", verdict);
  Require(trace.text() == e.trace, "snapshot trace", trace.text() + " vs " + e.trace);
  Require(status == e.status, "snapshot status");
  return 0;
}
