// The whole check of a recording: a header from the recorder's layout with a
// chosen handler and audio code, then the movie data from the input, so that
// every input reaches the walk.
#include "file_builders.h"
#include "fuzz_support.h"

using namespace quorvex::fuzz;
namespace qb = quorvex::build;

namespace {
const std::string kPath = "/evidence/cam 01/rec%d.avi";
const std::string kName = "rec%d.avi";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kParamBytes + 2) return 0;
  const ReadParams params = DecodeParams(data);
  static const char* const kHandlers[] = {"V264", "VPG4", "VJPG", "V264"};
  qb::RecordingBuilder builder(kHandlers[data[kParamBytes] & 3]);
  builder.AudioCode(data[kParamBytes + 1]).NoIndex();
  Bytes file = builder.Build();
  file.resize(builder.MovieStart());
  file.insert(file.end(), data + kParamBytes + 2, data + size);
  file.shrink_to_fit();

  PolicedSource source(file.data(), file.size(), params);
  const CheckRun run = RunCheck(&source, kPath, kName, params.window_bytes);
  CheckInvariants(run, kPath, kName);
  CheckLinearReads(source, params);
  if (!params.measure_fails && !FoundChanged(run, source, file.size())) {
    CheckAgainstModel(run, ModelCheck(SeenContents(file.data(), file.size(), params)));
  }
  return 0;
}
