// The kind decision over the first bytes of any file, through a window of
// any size and with short reads.
#include <memory>

#include "file_kind.h"
#include "fuzz_support.h"
#include "trace.h"

using namespace quorvex;
using namespace quorvex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kParamBytes) return 0;
  ReadParams params = DecodeParams(data);
  params.measure_fails = false;
  data += kParamBytes;
  size -= kParamBytes;

  PolicedSource source(data, size, params);
  PolicedWindow policed(source, params.window_bytes);
  ReadWindow& window = policed.window;

  StringTraceSink trace;
  const std::string kind = DetectFileKind(window, trace);

  // Data that ends before the measured size is a file that shrank: the
  // decision stops there, and names no kind.
  if (window.changed) {
    Require(source.measured() > size, "a change without a short read");
    Require(kind.empty(), "a kind decided from a file that changed", kind);
    return 0;
  }
  std::string want_trace;
  const std::string want = ModelKind(SeenContents(data, size, params), want_trace);
  Require(kind == want, "kind", kind + " vs " + want);
  Require(trace.text() == want_trace, "kind trace", trace.text());
  // One fill of the window: one read, and one more that finds the end of
  // data shorter than measured.
  if (params.max_read == 0) Require(source.read_calls() <= 2, "kind decision read more than once");
  return 0;
}
