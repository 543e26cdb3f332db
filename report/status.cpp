#include "status.h"

#include <array>
#include <cstddef>

namespace quorvex::report {
namespace {

constexpr std::array<StatusInfo, 9> kStatuses{{
    {CheckStatus::kIntact, "intact", "\u2713", "Intact: sealed and unchanged", Outcome::kIntact, 0},
    {CheckStatus::kDamaged, "damaged", "\u2717", "Damaged: a seal does not match",
     Outcome::kDamaged, 1},
    {CheckStatus::kUnsealed, "unsealed", "\u2717", "Unsealed: the file carries no seal",
     Outcome::kUnsealed, 1},
    {CheckStatus::kInvalid, "invalid", "\u2717", "Invalid: not a recording of this recorder",
     Outcome::kInvalid, 1},
    {CheckStatus::kUnsupportedVersion, "unsupported_version", "\u2717",
     "Unsupported version: the recording is refused", Outcome::kUnsupportedVersion, 1},
    {CheckStatus::kUnknownKind, "unknown_kind", "?", "Not a snapshot or recording of a known kind",
     Outcome::kNotChecked, 1},
    {CheckStatus::kPartlyChecked, "partly_checked", "\u2717",
     "Partly checked: the check stopped before the end", Outcome::kPartlyChecked, 1},
    {CheckStatus::kUnreadable, "unreadable", "!", "Could not be read", Outcome::kNotChecked, 2},
    {CheckStatus::kChanged, "changed", "!", "Changed while it was checked", Outcome::kNotChecked,
     2},
}};

constexpr std::array<const char*, static_cast<std::size_t>(Outcome::kCount)> kOutcomeWords{
    "intact",
    "damaged",
    "unsealed",
    "invalid",
    "unsupported version",
    "could not be checked",
    "partly checked"};

}  // namespace

const StatusInfo& InfoOf(CheckStatus status) {
  for (const StatusInfo& info : kStatuses) {
    if (info.status == status) return info;
  }
  // A status missing from the table counts as one that could not be read.
  for (const StatusInfo& info : kStatuses) {
    if (info.status == CheckStatus::kUnreadable) return info;
  }
  return kStatuses.front();
}

std::span<const StatusInfo> StatusTable() { return kStatuses; }
CheckStatus StatusOf(const CheckSummary& s) {
  // Only the walk of a recording can leave bytes unchecked.
  if (s.status != CheckStatus::kIntact || !s.walk_complete.has_value()) return s.status;
  // No seal vouched for any of it.
  if (s.frames_checked == 0) return CheckStatus::kUnsealed;
  // What lies behind where the walk stopped was never looked at.
  if (!*s.walk_complete) return CheckStatus::kPartlyChecked;
  return CheckStatus::kIntact;
}

const char* OutcomeWords(Outcome outcome) {
  return kOutcomeWords[static_cast<std::size_t>(outcome)];
}

}  // namespace quorvex::report
