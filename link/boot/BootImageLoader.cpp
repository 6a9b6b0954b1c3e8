#include "boot/BootImageLoader.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "boot/SRecord.h"
#include "halvex/WholeFile.h"
#include "platform/MemoryFile.h"

namespace halvex::boot {

ImageLoadResult LoadBootImage(const std::string& path, size_t lineBuffer, BootImage& image,
                              int* error) {
  image.bytes.fill(0);
  image.dataLength = 0;
  if (error) *error = 0;

  std::string text;
  if (const int e = ReadWholeFile(path, kMaxBootFileSize, text)) {
    if (error) *error = e;
    return ImageLoadResult::CannotOpen;
  }
  if (text.empty()) return ImageLoadResult::Invalid;
  MemoryFile file = OpenMemoryFile(text);
  if (!file) {
    if (error) *error = errno;
    return ImageLoadResult::CannotOpen;
  }

  bool haveStart = false;
  uint16_t base = 0;
  std::vector<SRecord> records;
  std::string line;
  while (ReadLine(file.get(), lineBuffer, line)) {
    SRecord rec = ParseSRecord(line);
    switch (rec.kind) {
      case RecordKind::Start:
        haveStart = true;
        base = rec.address;
        break;
      case RecordKind::Data:
        records.push_back(std::move(rec));
        break;
      case RecordKind::Malformed:
        return ImageLoadResult::Invalid;
      case RecordKind::Other:
        break;
    }
  }
  if (std::ferror(file.get()) != 0) return ImageLoadResult::CannotOpen;
  // Without a start address, or with nothing to load, there is no image to place.
  if (!haveStart || records.empty()) return ImageLoadResult::Invalid;

  // The end is the highest record end, so overlapping or unordered records never leave loaded
  // data outside the streamed length.
  size_t end = base;
  for (const SRecord& rec : records) {
    const size_t first = rec.address;
    const size_t last = first + rec.data.size();
    if (first < base || last - base > BootImage::kMaxData) return ImageLoadResult::Invalid;
    end = std::max(end, last);
  }
  for (const SRecord& rec : records) {
    std::copy(rec.data.begin(), rec.data.end(), image.bytes.begin() + 2 + (rec.address - base));
  }
  image.dataLength = static_cast<uint16_t>(end - base);
  image.bytes[0] = static_cast<uint8_t>(image.dataLength >> 8);
  image.bytes[1] = static_cast<uint8_t>(image.dataLength & 0xFF);
  return ImageLoadResult::Ok;
}

}  // namespace halvex::boot
