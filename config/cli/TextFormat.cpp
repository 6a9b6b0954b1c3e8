// The text format: a status mark and aligned columns; on a terminal rows appear as they come and
// a changed row is redrawn in place while it is still on the screen.
#include <map>

#include "app/SessionLog.h"
#include "cli/RowOutput.h"
#include "core/ControlCharacters.h"

namespace qelta::cli {
namespace {

constexpr std::size_t kNameWidth = 32;
constexpr std::size_t kValueWidth = 24;

const char* Mark(RowKind kind, bool utf8) {
  switch (kind) {
    case RowKind::Success:
      return utf8 ? "\u2713" : "+";
    case RowKind::Failure:
      return utf8 ? "\u2717" : "x";
    case RowKind::Warning:
      return "!";
    case RowKind::Information:
      return "i";
    case RowKind::Step:
      break;
  }
  return utf8 ? "\u00b7" : "-";
}

bool ContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Characters on the screen: UTF-8 sequences count once.
std::size_t Width(const std::string& text) {
  std::size_t width = 0;
  for (char c : text) width += ContinuationByte(c) ? 0 : 1;
  return width;
}

// The first `width` characters.
std::string Cut(const std::string& text, std::size_t width) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (ContinuationByte(text[i])) continue;
    if (seen++ == width) return text.substr(0, i);
  }
  return text;
}

std::string Column(const std::string& text) {
  return EscapeControlCharacters(SessionLog::OneLine(text));
}

class TextPrinter final : public RowPrinter {
 public:
  TextPrinter(std::ostream& out, std::ostream& err, const TerminalInfo& terminal)
      : RowPrinter(out, err), terminal_(terminal) {}

  void Added(const PrintedRow& r) override {
    if (terminal_.isTerminal) PrintRow(r);
  }

  void Changed(const PrintedRow& r, OutputListChange::Kind) override {
    if (!terminal_.isTerminal) return;
    const auto at = lineOf_.find(r.index);
    if (at == lineOf_.end()) return PrintRow(r);
    const long up = printed_ - at->second;
    if (at->second < foreignMark_ || up > terminal_.lines - 1) return PrintRow(r);
    const std::string n = std::to_string(up);
    Write("\x1b[" + n + "A\r\x1b[2K" + Fitted(r.row) + "\r\x1b[" + n + "B");
  }

  void Final(const PrintedRow& r) override {
    if (terminal_.isTerminal) {
      lineOf_.erase(r.index);  // the index is used again after the list is cleared
      return;
    }
    Write(TextLine(r.row, terminal_.utf8) + "\n");
  }

  void Result(const std::string& name, const std::string& value,
              const std::string& separator) override {
    const std::string shown = EscapeControlCharacters(value, LineBreaks::Keep);
    Write((separator.empty() ? shown : name + separator + shown) + "\n");
    // It may wrap: rows above are no longer where they were counted.
    ++printed_;
    foreignMark_ = printed_;
  }

  void ForeignOutput() override { foreignMark_ = printed_; }

 private:
  // One screen line: never wider than the terminal, so that a line is one line.
  std::string Fitted(const OutputRow& row) const {
    const std::string line = TextLine(row, terminal_.utf8);
    const int room = terminal_.columns > 1 ? terminal_.columns - 1 : 1;
    return Cut(line, static_cast<std::size_t>(room));
  }

  void PrintRow(const PrintedRow& r) {
    // From the line's start, over whatever stands there (a progress line on stderr).
    Write("\r\x1b[2K" + Fitted(r.row) + "\n");
    lineOf_[r.index] = printed_++;
  }

  TerminalInfo terminal_;
  long printed_ = 0;      // lines written so far
  long foreignMark_ = 0;  // lines before this one may have moved
  std::map<int, long> lineOf_;
};

}  // namespace

std::string TextLine(const OutputRow& row, bool utf8) {
  auto padded = [](const std::string& text, std::size_t width) {
    const std::size_t w = Width(text);
    return text + std::string(w < width ? width - w : 0, ' ');
  };
  std::string line = std::string(Mark(row.kind, utf8)) + ' ' +
                     padded(Column(row.text[0]), kNameWidth) + "  " +
                     padded(Column(row.text[1]), kValueWidth) + "  " + Column(row.text[2]);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::unique_ptr<RowPrinter> MakeTextPrinter(std::ostream& out, std::ostream& err,
                                            const TerminalInfo& terminal) {
  return std::make_unique<TextPrinter>(out, err, terminal);
}

}  // namespace qelta::cli
