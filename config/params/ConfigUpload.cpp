#include "params/ConfigUpload.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "params/ColonFields.h"
#include "params/DataLineItems.h"
#include "params/DecimalValue.h"

namespace qelta {

namespace {

// The longest line the file may hold, its line feed not counted. A longer line is written
// nothing of: a warning row says so and the reading goes on with the next line.
constexpr size_t kMaxLineChars = 254;
constexpr size_t kShownLineStart = 40;  // of a line too long, in its warning row
constexpr int kMaxBlockBytes = 255;

bool TooLong(const std::string& line) {
  const size_t chars = !line.empty() && line.back() == '\n' ? line.size() - 1 : line.size();
  return chars > kMaxLineChars;
}

// Addresses the link's image of a page holds: 0..254 on the two EEPROM pages, 0..32767 in the
// extended memory. A block must lie inside it, or it would be sent from outside the image.
bool FitsImage(int16_t page, uint32_t start, uint32_t count) {
  const uint32_t size = (page == 0 || page == 1) ? 255u : 32768u;
  return start + count <= size;
}

std::string Span(uint32_t start, uint32_t end) {
  return std::to_string(start) + "-" + std::to_string(end);
}

// Sends a range of the link's image in as many frames as it takes.
bool WriteImageRange(ParamLink& link, int16_t page, uint32_t start, uint32_t count) {
  if (count == 0) return link.WriteBlockToEeprom(static_cast<int16_t>(start), page, 0, nullptr);
  for (uint32_t done = 0; done < count;) {
    const uint32_t piece = std::min<uint32_t>(count - done, kMaxWriteBytes);
    if (!link.WriteBlockToEeprom(static_cast<int16_t>(start + done), page,
                                 static_cast<int16_t>(piece), nullptr)) {
      return false;
    }
    done += piece;
  }
  return true;
}

class FileUpload {
 public:
  FileUpload(ParamLink& link, OutputRows& rows, ParameterWriter& writer)
      : link_(link), rows_(rows), writer_(writer), reader_(kMaxLineChars) {}

  UploadEnd Run(const std::string& path);

 private:
  // Each block handler answers false when the reading has to end.
  bool DataBlock(const ColonFields& fields);
  bool LaserParam(const ColonFields& fields);
  bool StringBlock(const ColonFields& fields);
  bool SetBlock(const ColonFields& fields);
  bool SystemByte(const ColonFields& fields);
  // The next line of the file, keeping count of the file's lines.
  std::optional<std::string> NextLine();
  // Tells the link which line is performed now: "line 12: LCD_CONTRAST:60".
  void NoteSource(const std::string& line);
  // The warning row of the line read last, which is too long to be written; `what` tells what
  // is not written because of it (the line, its block).
  void WarnTooLong(const std::string& line, const std::string& what);

  ParamLink& link_;
  OutputRows& rows_;
  ParameterWriter& writer_;
  LineReader reader_;
  int lineNumber_ = 0;  // line read last
};

std::optional<std::string> FileUpload::NextLine() {
  auto line = reader_.NextLine();
  if (line) ++lineNumber_;
  return line;
}

void FileUpload::NoteSource(const std::string& line) {
  std::string text = line;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  link_.SetCurrentSource("line " + std::to_string(lineNumber_) + ": " + text);
}

void FileUpload::WarnTooLong(const std::string& line, const std::string& what) {
  rows_.AddOutputRow("Warning! Line longer than " + std::to_string(kMaxLineChars) +
                         " characters, " + what + " not written",
                     "line " + std::to_string(lineNumber_), kImageFailure, RowKind::Warning);
  rows_.SetRowText(rows_.RowCount() - 1, 2, line.substr(0, kShownLineStart) + "...");
}

UploadEnd FileUpload::Run(const std::string& path) {
  if (!reader_.Open(path)) {
    rows_.AddOutputRow("Cannot open file for reading!", "File: " + path, kImageFailure);
    rows_.SetRowText(rows_.RowCount() - 1, 2, reader_.FailureText());
    return UploadEnd::kFileNotOpened;
  }
  bool failed = false;
  while (auto line = NextLine()) {
    if (line->empty() || (*line)[0] == '\n' || (*line)[0] == '\r') continue;
    const ColonFields fields = SplitColonFields(*line);
    if (fields.first == "/") continue;
    if (TooLong(*line)) {
      // A comment stays a comment however long; any other line is written whole or not at all.
      if (fields.first.empty() || fields.first[0] != '/') WarnTooLong(*line, "the line");
      continue;
    }
    NoteSource(*line);
    bool blockOk = true;
    bool isBlock = true;
    if (fields.first == "DATABLOCK") {
      blockOk = DataBlock(fields);
    } else if (fields.first == "LASER_PARAM") {
      blockOk = LaserParam(fields);
    } else if (fields.first == "STRING_BLOCK") {
      blockOk = StringBlock(fields);
    } else if (fields.first == "SET_BLOCK") {
      blockOk = SetBlock(fields);
    } else if (fields.first == "SYSTEM") {
      blockOk = SystemByte(fields);
      isBlock = !blockOk;  // a written system byte still goes to the parameter writer
    } else {
      isBlock = false;
    }
    if (!blockOk) {
      failed = true;
      break;
    }
    if (isBlock) continue;
    if (!writer_.WriteParameter(fields.first, fields.second)) {
      rows_.AddOutputRow("Communication failure!", "", kImageFailure);
      rows_.AddOutputRow("Operation cancelled!", "", kImageFailure);
      link_.Disconnect();
      reader_.Close();
      return UploadEnd::kParameterFailure;
    }
    if (fields.first == "END") break;
  }
  if (!writer_.WriteFunctionKeys()) {
    rows_.AddOutputRow("Communication failure!", "", kImageFailure);
    rows_.AddOutputRow("Operation cancelled!", "", kImageFailure);
    link_.Disconnect();
    failed = true;
  }
  // The end of the file is the upload's done row when every block and key went in.
  rows_.AddOutputRow("File END", " ", kImageInfo, failed ? RowKind::Information : RowKind::Success);
  reader_.Close();
  link_.Reset();
  link_.Disconnect();
  return UploadEnd::kFinished;
}

bool FileUpload::DataBlock(const ColonFields& fields) {
  const int16_t page = writer_.TargetPage();
  const auto start = static_cast<uint16_t>(ParseDecimal(fields.second));
  const int blockLine = lineNumber_;
  uint32_t n = 0;
  bool dropped = false;  // a data line was too long: the block's later bytes have no address
  while (auto line = NextLine()) {
    if (SplitColonFields(*line).first == "DATABLOCK_END") break;
    if (TooLong(*line)) {
      WarnTooLong(*line, "the DATABLOCK of line " + std::to_string(blockLine));
      dropped = true;
    }
    if (dropped) continue;
    for (uint8_t byte : ParseDataLine(*line)) {
      if (n < static_cast<uint32_t>(kMaxBlockBytes) + 1) {
        link_.SetEepByte(page, static_cast<int16_t>(start + n), byte);
      }
      ++n;
    }
  }
  if (dropped) return true;
  if (n > static_cast<uint32_t>(kMaxBlockBytes)) {
    rows_.AddOutputRow("DATABLOCK > 255 bytes", std::to_string(n), kImageFailure);
    return false;
  }
  rows_.AddOutputRow("Writing parameters...", Span(start, start + n), kImageStep);
  if (!FitsImage(page, start, n) || !WriteImageRange(link_, page, start, n)) {
    rows_.AddOutputRow("WriteEepromBlock Failure", std::to_string(n), kImageFailure);
    return false;
  }
  return true;
}

bool FileUpload::LaserParam(const ColonFields& fields) {
  rows_.AddOutputRow("Writing laser parameters..", "", kImageStep);
  int16_t frame[6] = {
      2, 3, 24, CutTo16(ParseDecimal(fields.second)), CutTo16(ParseDecimal(fields.third)), 3};
  if (!link_.SendAndWait(frame, 6, 3000)) {
    rows_.AddOutputRow("Writing laser parameters fail", "", kImageFailure);
    return false;
  }
  return true;
}

bool FileUpload::StringBlock(const ColonFields& fields) {
  const int16_t page = writer_.TargetPage();
  const auto address = static_cast<uint16_t>(ParseDecimal(fields.second));
  auto line = NextLine();
  if (!line) {
    // The text line is missing: nothing to write, and the file is malformed.
    rows_.AddOutputRow("WriteString to eeprom fail", "", kImageFailure);
    return false;
  }
  if (TooLong(*line)) {
    WarnTooLong(*line, "the STRING_BLOCK text");
    return true;
  }
  std::string text = *line;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  bool ok = FitsImage(page, address, static_cast<uint32_t>(text.size()));
  for (size_t done = 0; ok && done < text.size(); done += kMaxWriteBytes) {
    ok = link_.WriteStringToEeprom(static_cast<int16_t>(address + done), page,
                                   text.substr(done, kMaxWriteBytes));
  }
  if (ok && text.empty()) ok = link_.WriteStringToEeprom(static_cast<int16_t>(address), page, "");
  if (!ok) {
    rows_.AddOutputRow("WriteString to eeprom fail", text, kImageFailure);
    return false;
  }
  link_.SetEepromVal(static_cast<int16_t>(address + text.size()), 0, page);
  return true;
}

bool FileUpload::SetBlock(const ColonFields& fields) {
  const int16_t page = writer_.TargetPage();
  const auto start = static_cast<uint16_t>(ParseDecimal(fields.second));
  const auto count = static_cast<uint16_t>(ParseDecimal(fields.third));
  const int32_t value = ParseDecimal(fields.fourth);
  const bool fits = FitsImage(page, start, count);
  if (fits) {
    for (uint32_t a = start; a < uint32_t{start} + count; ++a) {
      link_.SetEepByte(page, static_cast<int16_t>(a), CutTo16(value));
    }
  }
  rows_.AddOutputRow("Set block...", Span(start, uint32_t{start} + count), kImageStep);
  if (!fits || !WriteImageRange(link_, page, start, count)) {
    rows_.AddOutputRow("Set Block Failure", std::to_string(value), kImageFailure);
    return false;
  }
  return true;
}

bool FileUpload::SystemByte(const ColonFields& fields) {
  const int32_t value = ParseDecimal(fields.third);
  if (value > 255) {
    rows_.AddOutputRow("SYSTEM value too big! (>255)", std::to_string(value), kImageFailure);
    return false;
  }
  link_.SetEepromVal(CutTo16(ParseDecimal(fields.second)), CutTo16(value), writer_.TargetPage());
  return true;
}

}  // namespace

UploadEnd UploadConfigurationFile(ParamLink& link, OutputRows& rows, ParameterWriter& writer,
                                  const std::string& path) {
  FileUpload upload(link, rows, writer);
  return upload.Run(path);
}

}  // namespace qelta
