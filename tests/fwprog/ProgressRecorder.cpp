#include "ProgressRecorder.h"

#include <gtest/gtest.h>

namespace fwprogtest {

::testing::AssertionResult IsOneMonotonicLoad(const std::vector<Value>& values, uint32_t& maxDone,
                                              uint32_t& total) {
  maxDone = 0;
  total = 0;
  if (values.size() < 2) return ::testing::AssertionFailure() << values.size() << " values";
  if (!values.front() || values.front()->done != 0) {
    return ::testing::AssertionFailure() << "the load does not start at 0";
  }
  if (values.back()) return ::testing::AssertionFailure() << "not cleared at the end";
  total = values.front()->total;
  for (size_t i = 0; i + 1 < values.size(); ++i) {
    if (!values[i]) return ::testing::AssertionFailure() << "cleared in the middle, at " << i;
    if (values[i]->total != total) return ::testing::AssertionFailure() << "total changed at " << i;
    if (values[i]->done > total) return ::testing::AssertionFailure() << "beyond total at " << i;
    if (i > 0 && values[i]->done != values[i - 1]->done + 1) {
      return ::testing::AssertionFailure() << "not one step at a time at " << i << ": "
                                           << values[i - 1]->done << " -> " << values[i]->done;
    }
    maxDone = values[i]->done;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace fwprogtest
