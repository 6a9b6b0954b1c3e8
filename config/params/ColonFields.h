// Lines of the configuration file and the device-information template: read in pieces of a
// bounded size and split into up to four colon fields, without trimming.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace qelta {

struct ColonFields {
  // Before the first colon, or the whole line (line feed included) when it has none.
  std::string first;
  // After the first colon up to the next one, or to the end of the line with its line feed.
  std::string second;
  // After the second and the third colon, each up to the next colon, without the line feed.
  std::string third;
  std::string fourth;
};

ColonFields SplitColonFields(const std::string& line);

// Reads a text file the way the configuration tools read it: each piece holds at most
// `maxPiece` characters of one line and keeps the line feed at its end; a longer line comes in
// several pieces. Windows line ends (CR LF) read as a single line feed.
class LineReader {
 public:
  explicit LineReader(size_t maxPiece) : maxPiece_(maxPiece) {}
  bool Open(const std::string& path);
  bool IsOpen() const { return open_; }
  void Close();
  std::optional<std::string> Next();

 private:
  size_t maxPiece_;
  bool open_ = false;
  std::string content_;
  size_t pos_ = 0;
};

}  // namespace qelta
