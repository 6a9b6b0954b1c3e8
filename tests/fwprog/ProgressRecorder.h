// Records every value the face's load progress takes (consecutive repeats folded), from
// whatever thread tells of a change.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "halvex/ControlFace.h"

namespace fwprogtest {

using Value = std::optional<halvex::LoadProgress>;

class ProgressRecorder {
 public:
  explicit ProgressRecorder(halvex::ControlFace& face)
      : face_(face), seen_(std::make_shared<Seen>()) {
    std::shared_ptr<Seen> seen = seen_;
    id_ = face_.AddChangeListener([seen, &face] {
      const Value v = face.CurrentLoadProgress();
      std::lock_guard lock(seen->m);
      // Changes of the face before any load are not progress.
      if (seen->values.empty() ? v.has_value() : seen->values.back() != v) {
        seen->values.push_back(v);
      }
    });
  }
  ~ProgressRecorder() { face_.RemoveChangeListener(id_); }
  ProgressRecorder(const ProgressRecorder&) = delete;
  ProgressRecorder& operator=(const ProgressRecorder&) = delete;

  std::vector<Value> Values() const {
    std::lock_guard lock(seen_->m);
    return seen_->values;
  }

 private:
  struct Seen {
    mutable std::mutex m;
    std::vector<Value> values;
  };
  halvex::ControlFace& face_;
  std::shared_ptr<Seen> seen_;
  int id_ = 0;
};

// One load's values: starts at 0 of a fixed total, never goes back, ends cleared. Returns the
// highest `done` seen and the total (through the out parameters).
::testing::AssertionResult IsOneMonotonicLoad(const std::vector<Value>& values, uint32_t& maxDone,
                                              uint32_t& total);

}  // namespace fwprogtest
