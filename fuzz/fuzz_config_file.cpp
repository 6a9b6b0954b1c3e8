// Any bytes as a configuration file, uploaded line by line into a memory-backed device: the colon
// fields, the data-line items, every block keyword and the parameter writer, through the upload's
// own code. The device checks that no write leaves the frame or the image it is sent from.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FakeDevice.h"
#include "FuzzFiles.h"
#include "params/ConfigUpload.h"
#include "params/ParameterWriter.h"

namespace {

using qelta::fuzz::Broken;
using qelta::fuzz::Expect;

size_t ImageSize(int16_t page) { return page == 0 || page == 1 ? 255 : 32768; }

class CheckedDevice : public qelta::test::FakeDevice {
 public:
  bool WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length, int16_t* data) override {
    Expect(length >= 0 && length <= qelta::kMaxWriteBytes, "a block fits one memory frame");
    Expect(page == 0 || page == 2, "blocks go to the target page");
    if (data == nullptr) {
      Expect(
          addr >= 0 && static_cast<size_t>(addr) + static_cast<size_t>(length) <= ImageSize(page),
          "a block sent from the image lies inside the image");
    }
    return FakeDevice::WriteBlockToEeprom(addr, page, length, data);
  }
  bool WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) override {
    Expect(txt.size() <= static_cast<size_t>(qelta::kMaxWriteBytes),
           "a text fits one memory frame");
    return FakeDevice::WriteStringToEeprom(address, page, txt);
  }
  bool SendAndWait(int16_t* buf, int16_t length, int16_t waitTime) override {
    Expect(length == 6 && buf[0] == 2 && buf[1] == 3 && buf[2] == 24 && buf[5] == 3,
           "the only raw frame is the laser setting");
    return FakeDevice::SendAndWait(buf, length, waitTime);
  }
};

void Upload(const std::string& path, int16_t page, int writesBeforeSilence) {
  CheckedDevice device;
  qelta::test::FakeRows rows;
  qelta::FunctionKeyTable keys{};
  qelta::ParameterWriter writer(device, rows, keys);
  device.writesBeforeSilence = writesBeforeSilence;
  device.Connect(1, 19200);
  writer.SetTargetPage(page);
  writer.ClearFunctionKeys();

  const qelta::UploadEnd end = qelta::UploadConfigurationFile(device, rows, writer, path);
  Expect(!device.connected, "the upload closes the link");
  for (const auto& row : rows.rows) {
    Expect(row.image >= qelta::kImageFailure && row.image <= qelta::kImageInfo,
           "rows carry a known image");
  }
  switch (end) {
    case qelta::UploadEnd::kFileNotOpened:
      Broken("the file opens");
    case qelta::UploadEnd::kParameterFailure:
      Expect(rows.rows.size() >= 2 && rows.rows.back().name == "Operation cancelled!",
             "a failed parameter ends with the cancel rows");
      Expect(writesBeforeSilence >= 0, "a failed parameter needs a failed write");
      break;
    case qelta::UploadEnd::kFinished:
      Expect(!rows.rows.empty() && rows.rows.back().name == "File END",
             "a finished upload ends with \"File END\"");
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qelta::fuzz::MemoryFile file(data, size);
  Upload(file.Path(), 2, -1);  // a hand terminal
  Upload(file.Path(), 0, -1);  // a base station
  // A device that falls silent part way through.
  Upload(file.Path(), 2, size > 0 ? 1 + data[0] % 8 : 1);
  return 0;
}
