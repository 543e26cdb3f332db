#include "trace.h"

namespace quorvex {

TraceSink& StdoutTrace() {
  static StreamTraceSink sink(stdout);
  return sink;
}

}  // namespace quorvex
