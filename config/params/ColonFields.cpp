#include "params/ColonFields.h"

#include "halvex/WholeFile.h"

namespace qelta {

namespace {

// Text from `start` up to the next colon or the end of `text`.
std::string FieldFrom(const std::string& text, size_t start) {
  if (start >= text.size()) return {};
  const size_t colon = text.find(':', start);
  return text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
}

}  // namespace

ColonFields SplitColonFields(const std::string& line) {
  ColonFields fields;
  const size_t c1 = line.find(':');
  if (c1 == std::string::npos) {
    fields.first = line;
    fields.second = line;
    return fields;
  }
  fields.first = line.substr(0, c1);
  fields.second = FieldFrom(line, c1 + 1);
  // The third and fourth fields come from the line without its line end. Only a real line
  // feed is dropped, so a last line without one keeps all of its characters.
  std::string body = line;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  const size_t c2 = body.find(':', c1 + 1);
  if (c2 == std::string::npos) return fields;
  fields.third = FieldFrom(body, c2 + 1);
  const size_t c3 = body.find(':', c2 + 1);
  if (c3 == std::string::npos) return fields;
  fields.fourth = FieldFrom(body, c3 + 1);
  return fields;
}

bool LineReader::Open(const std::string& path) {
  Close();
  std::string raw;
  error_ = halvex::ReadWholeFile(path, kMaxFileSize, raw);
  if (error_ != 0) return false;
  content_.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    content_.push_back(raw[i]);
  }
  open_ = true;
  return true;
}

std::string LineReader::FailureText() const {
  return error_ == 0 ? std::string() : halvex::WholeFileErrorText(error_, kMaxFileSize);
}

void LineReader::Close() {
  open_ = false;
  content_.clear();
  pos_ = 0;
}

std::optional<std::string> LineReader::Next() {
  if (!open_ || pos_ >= content_.size() || maxPiece_ == 0) return std::nullopt;
  size_t end = pos_;
  while (end < content_.size() && end - pos_ < maxPiece_) {
    if (content_[end++] == '\n') break;
  }
  std::string piece = content_.substr(pos_, end - pos_);
  pos_ = end;
  return piece;
}

std::optional<std::string> LineReader::NextLine() {
  if (!open_ || pos_ >= content_.size()) return std::nullopt;
  const size_t feed = content_.find('\n', pos_);
  const size_t end = feed == std::string::npos ? content_.size() : feed + 1;
  std::string line = content_.substr(pos_, end - pos_);
  pos_ = end;
  return line;
}

}  // namespace qelta
