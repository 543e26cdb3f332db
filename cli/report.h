#ifndef QUORVEX_CLI_REPORT_H
#define QUORVEX_CLI_REPORT_H

#include <string>

#include "check_file.h"
#include "field_panel.h"

namespace quorvex::cli {

// One checked file, as the reports need it.
struct FileResult {
  std::string path;
  std::string name;
  CheckSummary summary;
  FieldPanel panel;
  ErrorList errors;
};

// The part of `path` behind its last separator.
std::string BareName(const std::string& path);

const char* StatusName(CheckStatus status);

// The report for people: the path and verdict, the formats and failed
// frames of a recording, and with `detail` the list of failed frames.
std::string TextReport(const FileResult& result, bool detail);

// The JSON array of all results, one object per file.
std::string JsonReport(const std::vector<FileResult>& results);

}  // namespace quorvex::cli

#endif
