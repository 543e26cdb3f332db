// The whole check of any file: kind decision, snapshot check or recording
// walk, the fields, the ErrorList and the trace, compared with a model of
// the design, under any window size, short reads and a size that changed.
// A file that ends before its measured size is found changed.
#include "fuzz_support.h"

using namespace quorvex::fuzz;

namespace {
const std::string kPath = "in/%s%n%%x.avi";
const std::string kName = "%s%n%%x.avi";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kParamBytes) return 0;
  const ReadParams params = DecodeParams(data);
  data += kParamBytes;
  size -= kParamBytes;

  PolicedSource source(data, size, params);
  const CheckRun run = RunCheck(&source, kPath, kName, params.window_bytes);
  CheckInvariants(run, kPath, kName);
  CheckLinearReads(source, params);
  if (params.measure_fails) {
    Require(run.trace == "open file error\n", "open error trace", run.trace);
    Require(run.summary.verdict == "Can't open the file.\n", "open error verdict");
    return 0;
  }
  if (FoundChanged(run, source, size)) return 0;
  CheckAgainstModel(run, ModelCheck(SeenContents(data, size, params)));
  return 0;
}
