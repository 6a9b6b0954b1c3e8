#include "params/UploadRecording.h"

#include "params/ConfigUpload.h"
#include "params/MemoryBounds.h"
#include "params/ParameterWriter.h"

namespace qelta {

namespace {

// Rows nobody sees: the recording's rows are the upload's own, posted when it runs for real.
class UnseenRows final : public OutputRows {
 public:
  using OutputRows::AddOutputRow;
  using OutputRows::InsertRow;
  void AddOutputRow(const std::string&, const std::string&, int, RowKind) override { ++count_; }
  void InsertRow(std::size_t, const std::string&, int, RowKind) override { ++count_; }
  void SetRowText(std::size_t, int, const std::string&) override {}
  void DeleteAllRows() override { count_ = 0; }
  std::size_t RowCount() const override { return count_; }

 private:
  std::size_t count_ = 0;
};

}  // namespace

std::optional<std::vector<RecordedWrite>> RecordUpload(const std::string& path, int16_t deviceType,
                                                       FunctionKeyTable keys, int16_t page) {
  RecordingParamLink model(deviceType);
  model.Connect(0, 0);
  UnseenRows rows;
  MemoryBoundsLink device(model, rows, deviceType);
  ParameterWriter writer(device, rows, keys);
  writer.SetTargetPage(page);
  if (UploadConfigurationFile(device, rows, writer, path) == UploadEnd::kFileNotOpened)
    return std::nullopt;
  return model.Writes();
}

}  // namespace qelta
