#ifndef QUORVEX_ENGINE_TRACE_H
#define QUORVEX_ENGINE_TRACE_H

#include <cstdio>
#include <string>
#include <string_view>

namespace quorvex {

// Where the diagnostic trace goes: what the engine reads and computes, one
// line at a time, byte for byte.
class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void Write(std::string_view text) = 0;
  // Called once at the end of every check, so that a buffered stream shows
  // the whole trace of the check before the caller goes on.
  virtual void Flush() {}
  // False when the trace is thrown away, so that per-frame lines need not be
  // formatted at all.
  virtual bool Wanted() const { return true; }
};

class StreamTraceSink : public TraceSink {
 public:
  explicit StreamTraceSink(std::FILE* stream) : stream_(stream) {}
  void Write(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stream_); }
  void Flush() override { std::fflush(stream_); }

 private:
  std::FILE* stream_;
};

class StringTraceSink : public TraceSink {
 public:
  void Write(std::string_view text) override { text_.append(text); }
  const std::string& text() const { return text_; }
  void clear() { text_.clear(); }

 private:
  std::string text_;
};

// Discards the trace.
class NullTraceSink : public TraceSink {
 public:
  void Write(std::string_view) override {}
  bool Wanted() const override { return false; }
};

// The default sink: standard output.
TraceSink& StdoutTrace();

}  // namespace quorvex

#endif
