#ifndef QUORVEX_REPORT_STATUS_H
#define QUORVEX_REPORT_STATUS_H

#include <span>

#include "check_file.h"

namespace quorvex::report {

// Where a file counts in the summary line.
enum class Outcome {
  kIntact,
  kDamaged,
  kUnsealed,
  kInvalid,
  kUnsupportedVersion,
  kNotChecked,
  kPartlyChecked,
  kCount
};

// All that the reports say of one status, in one place: the console
// program's JSON and summary, its exit status and the page's words.
struct StatusInfo {
  CheckStatus status;
  const char* json_name;  // the JSON `status`
  const char* mark;       // one character the page shows beside the words
  const char* words;      // the outcome in words, for people
  Outcome outcome;        // where it counts in the summary
  int exit_status;        // 0 intact, 1 not intact, 2 could not be checked
};

const StatusInfo& InfoOf(CheckStatus status);

// Every status's entry, in the order of CheckStatus.
std::span<const StatusInfo> StatusTable();

// The summary's name of an outcome: "intact", "could not be checked", ...
// The status the reports give a check: the check's own, except that a
// recording said to be intact is unsealed when no frame in it was checked,
// and partly checked when its walk stopped before the end of its movie data.
CheckStatus StatusOf(const CheckSummary& summary);
inline const StatusInfo& InfoOf(const CheckSummary& summary) { return InfoOf(StatusOf(summary)); }

// The summary's name of an outcome: "intact", "could not be checked",
// "partly checked", ...
const char* OutcomeWords(Outcome outcome);

}  // namespace quorvex::report

#endif
