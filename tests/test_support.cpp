#include "test_support.h"

#include <cstdlib>
#include <sstream>

namespace quorvex::testing {

void LoggedPanel::SetFieldText(int id, const std::string& text) {
  FieldPanel::SetFieldText(id, text);
  log_.push_back("text " + std::to_string(id) + " " + text);
}

void LoggedPanel::ShowField(int id, bool show) {
  FieldPanel::ShowField(id, show);
  log_.push_back((show ? "show " : "hide ") + std::to_string(id));
}

void LoggedPanel::EnableDetail(bool enable) {
  FieldPanel::EnableDetail(enable);
  log_.push_back((enable ? "enable " : "disable ") + std::to_string(IDC_DETAIL));
}

CheckRun RunCheckWindowed(ByteSource* source, std::size_t window_bytes, const std::string& name,
                          const std::string& path) {
  CheckRun run;
  report::PrepareForCheck(run.panel, run.errors);
  run.panel.clear_log();
  StringTraceSink trace;
  CheckOptions options;
  options.trace = &trace;
  options.summary = &run.summary;
  options.window_bytes = window_bytes;
  CheckContents(source, path, name, run.panel, run.errors, options);
  run.trace = trace.text();
  return run;
}

CheckRun RunCheckOn(MemorySource& source, const std::string& name, const std::string& path) {
  return RunCheckWindowed(&source, kDefaultWindowBytes, name, path);
}

CheckRun RunCheck(const Bytes& bytes, const std::string& name, const std::string& path) {
  MemorySource source(bytes);
  return RunCheckOn(source, name, path);
}

WindowOver::WindowOver(const Bytes& bytes, std::size_t capacity) : source(bytes) {
  std::uint64_t size = 0;
  source.MeasureSize(size);
  buffer.resize(WindowCapacity(capacity, size));
  window.source = &source;
  window.size = size;
  window.buffer = buffer.data();
  window.capacity = buffer.size();
}

Bytes Hex(const std::string& hex) {
  Bytes b;
  std::string digits;
  for (char c : hex) {
    if (c != ' ') digits.push_back(c);
  }
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    b.push_back(static_cast<std::uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
  }
  return b;
}

bool AsksForJson(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--") return false;
    if (a == "--json") return true;
  }
  return false;
}

bool AsksForJson(const std::string& args) {
  std::vector<std::string> words;
  std::istringstream in(args);
  for (std::string word; in >> word;) words.push_back(word);
  return AsksForJson(words);
}

}  // namespace quorvex::testing
