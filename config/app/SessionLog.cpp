#include "app/SessionLog.h"

#include <ctime>

#include "core/ControlCharacters.h"

namespace {

std::string Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

}  // namespace

std::string SessionLog::OneLine(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return out;
}

std::string SessionLog::FormatLine(const std::string& time, const OutputRow& row) {
  return time + "\t" + std::to_string(row.image) + "\t" + LogText(row.text[0]) + "\t" +
         LogText(row.text[1]) + "\t" + LogText(row.text[2]) + "\n";
}

std::string SessionLog::LogText(const std::string& text) {
  // A device's or a file's control characters must not rewrite the terminal that shows the log.
  return qelta::EscapeControlCharacters(OneLine(text));
}

void SessionLog::LogRow(const OutputRow& row) {
  files_.AppendFile(Path(), FormatLine(Now(), row), 0644);
}

void SessionLog::Attach(OutputList& list) {
  list.AddListener([this](const OutputList& l, const OutputListChange& change) {
    switch (change.kind) {
      case OutputListChange::RowAdded:
      case OutputListChange::TextChanged:
      case OutputListChange::ImageChanged:
        if (l.ValidRow(change.row)) LogRow(l.Row(change.row));
        break;
      default:
        break;
    }
  });
}
