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
// several pieces. Windows line ends (CR LF) read as a single line feed. Only a regular file of at
// most kMaxFileSize bytes opens; FailureText() then tells why another did not.
class LineReader {
 public:
  // Far above any configuration file or template.
  static constexpr size_t kMaxFileSize = size_t{1} << 20;

  explicit LineReader(size_t maxPiece) : maxPiece_(maxPiece) {}
  bool Open(const std::string& path);
  bool IsOpen() const { return open_; }
  void Close();
  std::optional<std::string> Next();
  // The next line whole however long, with its line feed (a last line may have none). Readers that
  // limit a line's length judge the whole line, instead of taking its tail for a line of its own.
  std::optional<std::string> NextLine();
  // Why the last Open failed ("No such file or directory", "file is larger than 1 MiB", ...).
  std::string FailureText() const;

 private:
  size_t maxPiece_;
  bool open_ = false;
  int error_ = 0;
  std::string content_;
  size_t pos_ = 0;
};

}  // namespace qelta
