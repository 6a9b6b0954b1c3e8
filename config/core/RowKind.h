// What an output row says about the work, apart from its picture. The image stays what the
// operator sees; the kind is what a script acts on (the command line's exit status and marks):
// an out-of-range value replaced by its default shows the failure image but is a warning, and
// "Reading parameters failed" has no image but is a failure.
#pragma once

namespace qelta {

enum class RowKind { Step, Success, Failure, Warning, Information };

// The kind a row has when its maker names none: the one its image implies
// (0 failure, 1 success, 3 information, 4 a base station entry, 5 a station that did not answer).
constexpr RowKind KindOfImage(int image) {
  switch (image) {
    case 0:
    case 5:
      return RowKind::Failure;
    case 1:
      return RowKind::Success;
    case 3:
    case 4:
      return RowKind::Information;
    default:
      return RowKind::Step;
  }
}

constexpr const char* RowKindName(RowKind kind) {
  switch (kind) {
    case RowKind::Success:
      return "success";
    case RowKind::Failure:
      return "failure";
    case RowKind::Warning:
      return "warning";
    case RowKind::Information:
      return "information";
    case RowKind::Step:
      break;
  }
  return "step";
}

}  // namespace qelta
