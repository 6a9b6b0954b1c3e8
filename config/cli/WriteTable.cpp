#include "cli/WriteTable.h"

#include <algorithm>

#include "app/SessionLog.h"
#include "cli/RowOutput.h"

namespace qelta::cli {

namespace {

constexpr std::size_t kBytesPerLine = 16;

std::string PadTo(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

}  // namespace

std::string WriteRowsLine(const RecordedWrite& write) {
  const std::size_t last = write.address + (write.bytes.empty() ? 0 : write.bytes.size() - 1);
  return "w\t" + std::to_string(write.page) + "\t" + std::to_string(write.address) + "\t" +
         std::to_string(last) + "\t" + HexBytes(write.bytes) + "\t" +
         SessionLog::OneLine(WriteSourceText(write)) + "\n";
}

std::string WriteJsonLine(const RecordedWrite& write) {
  const std::size_t last = write.address + (write.bytes.empty() ? 0 : write.bytes.size() - 1);
  return "{\"write\":{\"page\":" + std::to_string(write.page) +
         ",\"first\":" + std::to_string(write.address) + ",\"last\":" + std::to_string(last) +
         ",\"bytes\":" + JsonString(HexBytes(write.bytes)) +
         ",\"source\":" + JsonString(WriteSourceText(write)) +
         ",\"refused\":" + (write.refused ? "true" : "false") + "}}\n";
}

std::string WriteTableText(const std::vector<RecordedWrite>& writes) {
  std::size_t addressWidth = 7;  // "Address"
  for (const RecordedWrite& write : writes)
    addressWidth = std::max(addressWidth, WriteAddressText(write).size());
  const std::size_t bytesWidth = kBytesPerLine * 3 - 1;

  std::string text =
      PadTo("Address", addressWidth) + "  " + PadTo("Bytes", bytesWidth) + "  Source\n";
  for (const RecordedWrite& write : writes) {
    const std::string source = SessionLog::OneLine(WriteSourceText(write));
    for (std::size_t from = 0; from == 0 || from < write.bytes.size(); from += kBytesPerLine) {
      const std::size_t to = std::min(write.bytes.size(), from + kBytesPerLine);
      const std::vector<uint8_t> piece(write.bytes.begin() + static_cast<long>(from),
                                       write.bytes.begin() + static_cast<long>(to));
      std::string line = PadTo(from == 0 ? WriteAddressText(write) : "", addressWidth) + "  ";
      if (from == 0) {
        line += PadTo(HexBytes(piece), bytesWidth) + "  " + source;
      } else {
        line += HexBytes(piece);
      }
      text += line + "\n";
    }
  }
  return text;
}

}  // namespace qelta::cli
