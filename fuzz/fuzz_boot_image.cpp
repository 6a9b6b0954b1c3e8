// Any bytes as an S-record boot file, loaded into the boot image through both line buffers the
// loaders use: the image is either placed whole inside its buffer or left cleared.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzFiles.h"
#include "boot/BootImageLoader.h"
#include "boot/SRecord.h"

namespace {

using halvex::boot::BootImage;
using halvex::boot::ImageLoadResult;
using qelta::fuzz::Expect;

void Load(const std::string& path, size_t lineBuffer, BootImage& image) {
  // Leftovers of an earlier load would hide a loader that forgets to clear.
  image.bytes.fill(0xA5);
  image.dataLength = 0xA5A5;
  const ImageLoadResult result = halvex::boot::LoadBootImage(path, lineBuffer, image);
  Expect(result != ImageLoadResult::CannotOpen, "the file opens");
  const auto zero = [](uint8_t b) { return b == 0; };
  if (result != ImageLoadResult::Ok) {
    Expect(image.dataLength == 0 && std::all_of(image.bytes.begin(), image.bytes.end(), zero),
           "a rejected file leaves the image cleared");
    return;
  }
  Expect(image.dataLength <= BootImage::kMaxData, "the data fits the image");
  Expect(image.bytes[0] == image.dataLength >> 8 && image.bytes[1] == (image.dataLength & 0xFF),
         "the prefix holds the data length");
  Expect(std::all_of(image.bytes.begin() + 2 + image.dataLength, image.bytes.end(), zero),
         "nothing is placed beyond the streamed length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto image = std::make_unique<BootImage>();
  const qelta::fuzz::MemoryFile file(data, size);
  Load(file.Path(), 134, *image);   // Boot's line buffer
  Load(file.Path(), 1023, *image);  // Update's line buffer
  return 0;
}
