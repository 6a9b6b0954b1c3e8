// Follows the output list for the printer: keeps a copy of every row (a cleared list no longer
// has them), hands added and changed rows on as they come and each row's last state once it is
// final: when the list is cleared or the command ends. The final kinds make the exit status.
#pragma once

#include <vector>

#include "app/OutputList.h"
#include "cli/RowOutput.h"

namespace qelta::cli {

class RowFollower {
 public:
  RowFollower(OutputList& list, RowPrinter& printer);
  ~RowFollower();
  RowFollower(const RowFollower&) = delete;
  RowFollower& operator=(const RowFollower&) = delete;

  // Every row still in the list is final; the follower stops listening.
  void Finish();

  int Failures() const { return failures_; }
  int Warnings() const { return warnings_; }

 private:
  void OnChange(const OutputList& list, const OutputListChange& change);
  void FinalizeAll();

  OutputList& list_;
  RowPrinter& printer_;
  int handle_ = 0;
  std::vector<PrintedRow> rows_;
  int failures_ = 0;
  int warnings_ = 0;
};

}  // namespace qelta::cli
